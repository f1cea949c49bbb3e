// The conversion of decoded pictures to RGB on its own, for the run under valgrind: the scaler's
// vector code is not built with the sanitizers, so a write past a picture shows only there. The
// program loads Qt, swscale and avutil alone; the decoders' libraries pull in code valgrind
// cannot run on every machine. Exits 0 when every picture came out at its size and colour.
#include "media/picture.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Widths and heights the scaler's vector code handles differently: lines that are no multiple
// of its block, odd sizes, the common broadcast and laptop sizes, 4K.
const QSize kSizes[] = {{826, 540},  {828, 540},  {827, 541},   {161, 121},   {720, 480},
                        {854, 480},  {1366, 768}, {1440, 1080}, {3840, 2160}, {2, 2}};
// What the decoders of the clips we read give: H.264 and HEVC, MJPEG in its three samplings.
const AVPixelFormat kFormats[] = {AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUV444P,  AV_PIX_FMT_YUVJ420P,
                                  AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_NV12};

// A grey frame: luma nLuma, neutral chroma. Odd sizes round the chroma planes up, as decoders do.
AVFrame *GreyFrame(AVPixelFormat format, QSize size, int nLuma)
{
    AVFrame *pFrame = av_frame_alloc();
    if (!pFrame)
        return nullptr;
    pFrame->format = format;
    pFrame->width = size.width();
    pFrame->height = size.height();
    if (av_frame_get_buffer(pFrame, 0) < 0) {
        av_frame_free(&pFrame);
        return nullptr;
    }
    const AVPixFmtDescriptor *pDesc = av_pix_fmt_desc_get(format);
    for (int nPlane = 0; nPlane < 4 && pFrame->data[nPlane]; ++nPlane) {
        const bool bChroma = nPlane > 0;
        const int nLines = bChroma ? AV_CEIL_RSHIFT(size.height(), pDesc->log2_chroma_h) : size.height();
        for (int y = 0; y < nLines; ++y)
            std::memset(pFrame->data[nPlane] + std::ptrdiff_t(y) * pFrame->linesize[nPlane],
                        bChroma ? 128 : nLuma, static_cast<size_t>(pFrame->linesize[nPlane]));
    }
    return pFrame;
}

bool Near(QRgb pixel, int nGrey)
{
    return std::abs(qRed(pixel) - nGrey) <= 3 && std::abs(qGreen(pixel) - nGrey) <= 3 &&
           std::abs(qBlue(pixel) - nGrey) <= 3;
}

// The converted picture has the asked size and is grey everywhere it is looked at.
bool Check(const QImage &image, QSize expected, int nGrey, const char *pWhat, AVPixelFormat format, QSize size)
{
    const int w = image.width(), h = image.height();
    bool bGood = image.size() == expected;
    if (bGood)
        for (const QPoint p : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(w / 2, h / 2), QPoint(0, h - 1),
                               QPoint(w - 1, h - 1)})
            bGood = bGood && Near(image.pixel(p), nGrey);
    if (!bGood)
        std::printf("%s %dx%d %s: got %dx%d\n", pWhat, size.width(), size.height(),
                    av_get_pix_fmt_name(format), w, h);
    return bGood;
}

} // namespace

int main()
{
    int nChecked = 0, nFailed = 0;
    for (const QSize size : kSizes) {
        for (const AVPixelFormat format : kFormats) {
            // Limited range luma 180 is grey 191 on screen; full range shows it as it is.
            const bool bFull = format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
                               format == AV_PIX_FMT_YUVJ444P;
            const int nGrey = bFull ? 180 : (180 - 16) * 255 / 219;
            AVFrame *pFrame = GreyFrame(format, size, 180);
            if (!pFrame) {
                std::printf("no %s frame of %dx%d\n", av_get_pix_fmt_name(format), size.width(), size.height());
                return 2;
            }
            const tagVIDEOORIENTATION quarter{90, false};
            const struct {
                const char *pWhat;
                QSize asked;
                tagVIDEOORIENTATION orientation;
                QSize expected;
            } conversions[] = {
                {"native", QSize(), {}, size},
                {"list thumbnail", QSize(110, 80), {}, QSize(110, 80)},
                {"odd thumbnail", QSize(97, 61), {}, QSize(97, 61)},
                {"quarter turn", QSize(), quarter, size.transposed()},
                {"quarter turn scaled", QSize(61, 97), quarter, QSize(61, 97)},
            };
            for (const auto &c : conversions) {
                ++nChecked;
                if (!Check(CPicture::ToImage(pFrame, c.asked, c.orientation), c.expected, nGrey, c.pWhat, format,
                           size))
                    ++nFailed;
            }
            // The picture's own cache of images goes the same way.
            CPicture picture(pFrame);
            ++nChecked;
            if (!Check(picture.ShownImage(QSize(97, 61)), QSize(97, 61), nGrey, "shown", format, size))
                ++nFailed;
            av_frame_free(&pFrame);
        }
    }
    std::printf("%d conversions checked, %d wrong\n", nChecked, nFailed);
    return nFailed == 0 ? 0 : 1;
}
