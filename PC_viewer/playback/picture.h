// One decoded picture: the decoder's frame as it came out (shared, not copied) and, made on first
// use, its RGB QImage at native size. Shared by every graph showing it.
#pragma once

#include "ffmpegptr.h"

#include <QImage>
#include <QMutex>

#include <cstdint>

class CPicture
{
public:
    // Takes a new reference to the frame's buffers.
    explicit CPicture(const AVFrame *pFrame);

    // The picture as RGB32 at native size; converted once, then shared.
    QImage Image() const;
    bool HasImage() const;
    // Lets go of the RGB image (made again on the next Image()); returns the bytes freed.
    int64_t DropImage();
    // Memory held: decoded planes, plus the RGB image once made.
    int64_t Bytes() const;
    int Width() const { return m_pFrame->width; }
    int Height() const { return m_pFrame->height; }
    const AVFrame *Frame() const { return m_pFrame.get(); }

    // Converts any decoded frame to RGB32 (used by the thumbnailer too). Null on failure.
    static QImage ToImage(const AVFrame *pFrame, QSize size = QSize());

private:
    AVFramePtr m_pFrame;
    int64_t m_llPlaneBytes = 0;
    mutable QMutex m_mutex;
    mutable QImage m_image;
};
