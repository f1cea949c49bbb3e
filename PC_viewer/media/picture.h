// One decoded picture: the decoder's frame as it came out (shared, not copied) and, made on first
// use, its RGB QImage at native size and its RGB QImage at the size a pane shows it. Shared by
// every graph showing it. Under memory pressure the cache may take the decoded frame away from a
// picture that keeps its shown image: such a picture can still be shown at that size, and a
// native picture of it is decoded again (CMediaSource::GetPicture with bWithFrame).
#pragma once

#include "ffmpegptr.h"
#include "videoorientation.h"

#include <QImage>
#include <QMutex>

#include <cstdint>
#include <memory>

class CPicture
{
public:
    // Takes a new reference to the frame's buffers; the picture is shown turned as `orientation`
    // says.
    explicit CPicture(const AVFrame *pFrame, tagVIDEOORIENTATION orientation = {});

    // The picture as RGB32 at native size, turned for display; converted once, then shared. Null
    // once the decoded frame was let go.
    QImage Image() const;
    bool HasImage() const;
    // The picture as RGB32 at `size` (the size on screen), turned for display: converted on the
    // calling thread the first time that size is asked for, then kept until another size is. Null
    // when the decoded frame was let go and no image of that size is kept. An empty size asks for
    // the native picture.
    QImage ShownImage(QSize size) const;
    // The shown image last made, whatever its size (null: none).
    QImage AnyShownImage() const;
    // Lets go of the RGB image at native size (made again on the next Image()); returns the bytes
    // freed.
    int64_t DropImage();
    // Lets go of the decoded frame when a shown image stays to show; returns the bytes freed.
    int64_t DropFrame();
    bool HasFrame() const;
    // Memory held: decoded planes, plus the RGB images once made.
    int64_t Bytes() const;
    // Size on screen (the stored size, sides swapped by a quarter turn).
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    tagVIDEOORIENTATION Orientation() const { return m_orientation; }
    // The decoded frame (null once let go); kept alive by the returned reference.
    std::shared_ptr<const AVFrame> Frame() const;

    // Converts any decoded frame to RGB32, turned as `orientation` says and scaled to `size` (the
    // size on screen; empty: native). Every picture that leaves the engine comes from here (view,
    // thumbnails, snapshots, the report). Null on failure.
    static QImage ToImage(const AVFrame *pFrame, QSize size = QSize(), tagVIDEOORIENTATION orientation = {});
    // The part `region` (pixels of the picture on screen) converted straight to `size`, without
    // the whole picture and without keeping anything: what a zoomed view paints at every step.
    // Made from the native image where the frame is gone, turned, or of a format whose planes
    // cannot be cut. Null on failure.
    QImage RegionImage(const QRect &region, const QSize &size) const;

private:
    // The image kept in *pSlot, made from the decoded frame at `size` (empty: native) unless the
    // slot holds one of that size already.
    QImage MakeImage(QImage *pSlot, QSize size) const;

    std::shared_ptr<AVFrame> m_pFrame; // null once let go
    tagVIDEOORIENTATION m_orientation;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int64_t m_llPlaneBytes = 0;
    mutable QMutex m_mutex;
    mutable QImage m_image;
    mutable QImage m_shown;
};
