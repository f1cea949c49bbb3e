// Decoded pictures and their conversion to QImage.
#include "picture.h"

#include "picturecache.h"

extern "C" {
#include <libavutil/opt.h>
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

} // namespace

CPicture::CPicture(const AVFrame *pFrame) : m_pFrame(MakeAvFrame())
{
    if (m_pFrame && av_frame_ref(m_pFrame.get(), pFrame) == 0) {
        for (const AVBufferRef *pBuf : m_pFrame->buf)
            if (pBuf)
                m_llPlaneBytes += static_cast<int64_t>(pBuf->size);
    }
}

QImage CPicture::ToImage(const AVFrame *pFrame, QSize size)
{
    if (!pFrame || pFrame->width <= 0 || pFrame->height <= 0 || !pFrame->data[0])
        return QImage();
    if (!size.isValid() || size.isEmpty())
        size = QSize(pFrame->width, pFrame->height);
    bool bFullRange = false;
    const AVPixelFormat srcFormat = PlainFormat(static_cast<AVPixelFormat>(pFrame->format), &bFullRange);
    if (pFrame->color_range == AVCOL_RANGE_JPEG)
        bFullRange = true;
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
    const int *pCoeffs =
        sws_getCoefficients(pFrame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
    sws_setColorspaceDetails(pScaler, pCoeffs, bFullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                             1 << 16, 1 << 16);
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    uint8_t *pDst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int nDstStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(pScaler, pFrame->data, pFrame->linesize, 0, pFrame->height, pDst, nDstStride) <= 0)
        return QImage();
    return image;
}

QImage CPicture::Image() const
{
    bool bMade = false;
    QImage image;
    {
        QMutexLocker lock(&m_mutex);
        if (m_image.isNull()) {
            m_image = ToImage(m_pFrame.get());
            bMade = !m_image.isNull();
        }
        image = m_image;
    }
    if (bMade)
        CPictureCache::Instance().Grow(image.sizeInBytes());
    return image;
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

int64_t CPicture::Bytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_llPlaneBytes + (m_image.isNull() ? 0 : m_image.sizeInBytes());
}
