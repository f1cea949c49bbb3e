// One decoded picture: the decoder's frame as it came out (shared, not copied) and, made on first
// use, its RGB QImage at native size. Shared by every graph showing it.
#pragma once

#include "ffmpegptr.h"
#include "videoorientation.h"

#include <QImage>
#include <QMutex>

#include <cstdint>

class CPicture
{
public:
    // Takes a new reference to the frame's buffers; the picture is shown turned as `orientation`
    // says.
    explicit CPicture(const AVFrame *pFrame, tagVIDEOORIENTATION orientation = {});

    // The picture as RGB32 at native size, turned for display; converted once, then shared.
    QImage Image() const;
    bool HasImage() const;
    // Lets go of the RGB image (made again on the next Image()); returns the bytes freed.
    int64_t DropImage();
    // Memory held: decoded planes, plus the RGB image once made.
    int64_t Bytes() const;
    // Size on screen (the stored size, sides swapped by a quarter turn).
    int Width() const { return m_orientation.SwapsSides() ? m_pFrame->height : m_pFrame->width; }
    int Height() const { return m_orientation.SwapsSides() ? m_pFrame->width : m_pFrame->height; }
    tagVIDEOORIENTATION Orientation() const { return m_orientation; }
    const AVFrame *Frame() const { return m_pFrame.get(); }

    // Converts any decoded frame to RGB32, turned as `orientation` says and scaled to `size` (the
    // size on screen; empty: native). Every picture that leaves the engine comes from here (view,
    // thumbnails, snapshots, the report). Null on failure.
    static QImage ToImage(const AVFrame *pFrame, QSize size = QSize(), tagVIDEOORIENTATION orientation = {});

private:
    AVFramePtr m_pFrame;
    tagVIDEOORIENTATION m_orientation;
    int64_t m_llPlaneBytes = 0;
    mutable QMutex m_mutex;
    mutable QImage m_image;
};
