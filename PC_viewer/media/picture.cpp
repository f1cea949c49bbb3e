// Decoded pictures and their conversion to QImage.
#include "picture.h"

#include "picturecache.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace {

// The JPEG pixel formats are full-range versions of the plain ones; swscale wants the plain
// format with the range said explicitly.
AVPixelFormat PlainFormat(AVPixelFormat fmt, bool *pFullRange)
{
    *pFullRange = true;
    switch (fmt) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
    default: break;
    }
    *pFullRange = false;
    return fmt;
}

// The format swscale reads a frame as, and whether its samples are full range.
AVPixelFormat SourceFormat(const AVFrame *pFrame, bool *pFullRange)
{
    const AVPixelFormat format = PlainFormat(static_cast<AVPixelFormat>(pFrame->format), pFullRange);
    if (pFrame->color_range == AVCOL_RANGE_JPEG)
        *pFullRange = true;
    return format;
}

// The frame's colour matrix and range, into computer RGB.
void SetSourceColours(SwsContext *pScaler, const AVFrame *pFrame, bool bFullRange)
{
    const int *pCoeffs = sws_getCoefficients(pFrame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
    sws_setColorspaceDetails(pScaler, pCoeffs, bFullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                             1 << 16);
}

// swscale's vector code writes whole blocks: a line whose length is not a multiple of the block
// size is written past its end, and so is the last line of the picture. Lines are therefore
// padded to SCALER_ALIGN bytes and the buffer holds one spare line and SCALER_TAIL bytes more.
constexpr qsizetype SCALER_ALIGN = 64;
constexpr qsizetype SCALER_TAIL = 256;

void FreeScalerBuffer(void *pBuffer)
{
    av_free(pBuffer);
}

// An RGB32 image over a buffer the scaler may write to as it likes. The QImage owns it.
QImage AllocateScalerImage(const QSize &size)
{
    if (size.isEmpty() || size.width() > (1 << 16) || size.height() > (1 << 16))
        return QImage();
    const qsizetype nStride = (qsizetype(size.width()) * 4 + SCALER_ALIGN - 1) / SCALER_ALIGN * SCALER_ALIGN;
    const qsizetype nBytes = nStride * (size.height() + 1) + SCALER_TAIL;
    auto *pBuffer = static_cast<uchar *>(av_malloc(static_cast<size_t>(nBytes)));
    if (!pBuffer)
        return QImage();
    QImage image(pBuffer, size.width(), size.height(), nStride, QImage::Format_RGB32, FreeScalerBuffer,
                 pBuffer);
    if (image.isNull())
        av_free(pBuffer);
    return image;
}

} // namespace

CPicture::CPicture(const AVFrame *pFrame, tagVIDEOORIENTATION orientation) : m_orientation(orientation)
{
    AVFramePtr pRef = MakeAvFrame();
    if (pRef && av_frame_ref(pRef.get(), pFrame) == 0) {
        for (const AVBufferRef *pBuf : pRef->buf)
            if (pBuf)
                m_llPlaneBytes += static_cast<int64_t>(pBuf->size);
        m_pFrame = std::shared_ptr<AVFrame>(pRef.release(), [](AVFrame *p) { av_frame_free(&p); });
    }
    const bool bSwap = orientation.SwapsSides();
    m_nWidth = bSwap ? pFrame->height : pFrame->width;
    m_nHeight = bSwap ? pFrame->width : pFrame->height;
}

QImage CPicture::ToImage(const AVFrame *pFrame, QSize size, tagVIDEOORIENTATION orientation)
{
    if (!pFrame || pFrame->width <= 0 || pFrame->height <= 0 || !pFrame->data[0])
        return QImage();
    // Scaled as stored, then turned: the asked size is the size on screen.
    if (!size.isValid() || size.isEmpty())
        size = QSize(pFrame->width, pFrame->height);
    else
        size = OrientedSize(size, orientation);
    bool bFullRange = false;
    const AVPixelFormat srcFormat = SourceFormat(pFrame, &bFullRange);
    // One scaler per thread, reused while the sizes stay the same. Large pictures are converted
    // on two threads: the conversion is on the path of every new picture shown.
    struct Scaler {
        SwsContextPtr pContext;
        int nSrcW = 0, nSrcH = 0, nDstW = 0, nDstH = 0;
        AVPixelFormat srcFormat = AV_PIX_FMT_NONE;
    };
    thread_local Scaler tlsScaler;
    const bool bSameSize = size.width() == pFrame->width && size.height() == pFrame->height;
    if (!tlsScaler.pContext || tlsScaler.nSrcW != pFrame->width || tlsScaler.nSrcH != pFrame->height ||
        tlsScaler.nDstW != size.width() || tlsScaler.nDstH != size.height() ||
        tlsScaler.srcFormat != srcFormat) {
        tlsScaler = Scaler();
        SwsContextPtr pContext(sws_alloc_context());
        if (!pContext)
            return QImage();
        av_opt_set_int(pContext.get(), "srcw", pFrame->width, 0);
        av_opt_set_int(pContext.get(), "srch", pFrame->height, 0);
        av_opt_set_int(pContext.get(), "src_format", srcFormat, 0);
        av_opt_set_int(pContext.get(), "dstw", size.width(), 0);
        av_opt_set_int(pContext.get(), "dsth", size.height(), 0);
        av_opt_set_int(pContext.get(), "dst_format", AV_PIX_FMT_RGB32, 0);
        av_opt_set_int(pContext.get(), "sws_flags", bSameSize ? SWS_POINT : SWS_AREA, 0);
        av_opt_set_int(pContext.get(), "threads",
                       int64_t(pFrame->width) * pFrame->height >= 640 * 480 ? 2 : 1, 0);
        if (sws_init_context(pContext.get(), nullptr, nullptr) < 0)
            return QImage();
        tlsScaler = Scaler{std::move(pContext), pFrame->width, pFrame->height,
                           size.width(),        size.height(), srcFormat};
    }
    SwsContext *pScaler = tlsScaler.pContext.get();
    SetSourceColours(pScaler, pFrame, bFullRange);
    QImage image = AllocateScalerImage(size);
    if (image.isNull())
        return QImage();
    uint8_t *pDst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int nDstStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(pScaler, pFrame->data, pFrame->linesize, 0, pFrame->height, pDst, nDstStride) <= 0)
        return QImage();
    return ApplyOrientation(image, orientation);
}

namespace {

// The frame's planes moved to the region's top left corner; false for a format whose planes are
// not whole bytes per pixel, or a corner between chroma samples.
bool CutPlanes(const AVFrame *pFrame, const QRect &region, const uint8_t *planes[4])
{
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(pFrame->format));
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)))
        return false;
    if (region.x() % (1 << desc->log2_chroma_w) || region.y() % (1 << desc->log2_chroma_h))
        return false;
    for (int p = 0; p < 4; ++p)
        planes[p] = nullptr;
    for (int c = 0; c < desc->nb_components; ++c) {
        const AVComponentDescriptor &comp = desc->comp[c];
        const bool chroma = (c == 1 || c == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
        const int x = chroma ? region.x() >> desc->log2_chroma_w : region.x();
        const int y = chroma ? region.y() >> desc->log2_chroma_h : region.y();
        if (!pFrame->data[comp.plane])
            return false;
        const uint8_t *at = pFrame->data[comp.plane] + static_cast<ptrdiff_t>(y) * pFrame->linesize[comp.plane] +
                            static_cast<ptrdiff_t>(x) * comp.step;
        // Components sharing a plane (NV12's U and V) share its corner.
        planes[comp.plane] = at;
    }
    return true;
}

} // namespace

QImage CPicture::RegionImage(const QRect &region, const QSize &size) const
{
    std::shared_ptr<AVFrame> pFrame;
    {
        QMutexLocker lock(&m_mutex);
        pFrame = m_pFrame;
    }
    const QRect whole(0, 0, m_nWidth, m_nHeight);
    // Cut at even pixels, where every chroma sample of the usual formats begins.
    QRect r = region.intersected(whole);
    r.setLeft(r.left() & ~1);
    r.setTop(r.top() & ~1);
    if (r.isEmpty() || size.isEmpty())
        return QImage();
    const uint8_t *planes[4] = {nullptr, nullptr, nullptr, nullptr};
    if (!pFrame || !m_orientation.IsIdentity() || !CutPlanes(pFrame.get(), r, planes)) {
        const QImage native = Image();
        return native.isNull() ? native
                               : native.copy(r).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    bool bFullRange = false;
    const AVPixelFormat srcFormat = SourceFormat(pFrame.get(), &bFullRange);
    // One scaler per thread, kept while the sizes stay (a pan moves the corner only).
    struct Scaler {
        SwsContextPtr pContext;
        QSize src, dst;
        AVPixelFormat format = AV_PIX_FMT_NONE;
    };
    thread_local Scaler tls;
    if (!tls.pContext || tls.src != r.size() || tls.dst != size || tls.format != srcFormat) {
        tls = Scaler();
        SwsContextPtr pContext(sws_getContext(r.width(), r.height(), srcFormat, size.width(), size.height(),
                                              AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!pContext)
            return QImage();
        tls = Scaler{std::move(pContext), r.size(), size, srcFormat};
    }
    SetSourceColours(tls.pContext.get(), pFrame.get(), bFullRange);
    QImage image = AllocateScalerImage(size);
    if (image.isNull())
        return QImage();
    uint8_t *pDst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int nDstStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(tls.pContext.get(), planes, pFrame->linesize, 0, r.height(), pDst, nDstStride) <= 0)
        return QImage();
    return image;
}

QImage CPicture::MakeImage(QImage *pSlot, QSize size) const
{
    std::shared_ptr<AVFrame> pFrame;
    {
        QMutexLocker lock(&m_mutex);
        if (!pSlot->isNull() && (size.isEmpty() || pSlot->size() == size))
            return *pSlot;
        if (!m_pFrame)
            return QImage();
        pFrame = m_pFrame;
    }
    // Converted outside the lock: the cache may meanwhile let go of the frame (this reference
    // keeps it alive) or of other images.
    const QImage image = ToImage(pFrame.get(), size, m_orientation);
    if (image.isNull())
        return image;
    {
        QMutexLocker lock(&m_mutex);
        if (!pSlot->isNull() && (size.isEmpty() || pSlot->size() == size))
            return *pSlot;
        *pSlot = image;
    }
    CPictureCache::Instance().Grow(image.sizeInBytes());
    return image;
}

QImage CPicture::Image() const
{
    return MakeImage(&m_image, QSize());
}

QImage CPicture::ShownImage(QSize size) const
{
    if (!size.isValid() || size.isEmpty() || size == QSize(m_nWidth, m_nHeight))
        return Image();
    return MakeImage(&m_shown, size);
}

QImage CPicture::AnyShownImage() const
{
    QMutexLocker lock(&m_mutex);
    return m_shown.isNull() ? m_image : m_shown;
}

bool CPicture::HasImage() const
{
    QMutexLocker lock(&m_mutex);
    return !m_image.isNull();
}

int64_t CPicture::DropImage()
{
    QMutexLocker lock(&m_mutex);
    const int64_t llBytes = m_image.isNull() ? 0 : m_image.sizeInBytes();
    m_image = QImage();
    return llBytes;
}

int64_t CPicture::DropFrame()
{
    QMutexLocker lock(&m_mutex);
    if (!m_pFrame || m_shown.isNull())
        return 0;
    m_pFrame.reset();
    return m_llPlaneBytes;
}

bool CPicture::HasFrame() const
{
    QMutexLocker lock(&m_mutex);
    return m_pFrame != nullptr;
}

std::shared_ptr<const AVFrame> CPicture::Frame() const
{
    QMutexLocker lock(&m_mutex);
    return m_pFrame;
}

int64_t CPicture::Bytes() const
{
    QMutexLocker lock(&m_mutex);
    return (m_pFrame ? m_llPlaneBytes : 0) + (m_image.isNull() ? 0 : m_image.sizeInBytes()) +
           (m_shown.isNull() ? 0 : m_shown.sizeInBytes());
}
