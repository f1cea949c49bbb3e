// Brightness, contrast, gamma and sharpening of a picture, and bicubic enlargement of a region.
#include "media/pictureadjust.h"


#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

struct tagADJUSTNAME {
    const char *name;
    double tagPICTUREADJUST::*value;
    double min;
    double max;
};

const tagADJUSTNAME kAdjustNames[] = {
    {"brightness", &tagPICTUREADJUST::dBrightness, kBrightnessMin, kBrightnessMax},
    {"contrast", &tagPICTUREADJUST::dContrast, kContrastMin, kContrastMax},
    {"gamma", &tagPICTUREADJUST::dGamma, kGammaMin, kGammaMax},
    {"sharpen", &tagPICTUREADJUST::dSharpen, kSharpenMin, kSharpenMax},
};

// The luma table of `eq`: the limited-range luma code value in, the adjusted one out.
std::array<int, 256> LumaTable(const tagPICTUREADJUST &a)
{
    std::array<int, 256> lut{};
    const double g = 1.0 / a.dGamma;
    for (int i = 0; i < 256; ++i) {
        double v = a.dContrast * (i / 255.0 - 0.5) + 0.5 + a.dBrightness;
        if (v <= 0.0) {
            lut[static_cast<size_t>(i)] = 0;
            continue;
        }
        v = std::pow(v, g);
        lut[static_cast<size_t>(i)] = v >= 1.0 ? 255 : static_cast<int>(256.0 * v);
    }
    return lut;
}

inline int Clamp255(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// The luma change of `eq` carried into RGB: a picture decoded from limited-range video has R, G
// and B each 255/219 of a luma step apart per step, so adding the step to all three changes the
// luma alone.
void ApplyLuma(QImage &image, const std::array<int, 256> &lut)
{
    // delta[y] in 1/256 of an RGB step for every luma code value.
    std::array<int, 256> delta{};
    for (int y = 0; y < 256; ++y)
        delta[static_cast<size_t>(y)] =
            static_cast<int>(std::lround((lut[static_cast<size_t>(y)] - y) * 255.0 / 219.0 * 256.0));
    for (int row = 0; row < image.height(); ++row) {
        auto *p = reinterpret_cast<QRgb *>(image.scanLine(row));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = p[x];
            const int r = qRed(c), g = qGreen(c), b = qBlue(c);
            // BT.601, limited range, in 1/256 steps.
            const int luma = 16 + ((66 * r + 129 * g + 25 * b + 128) >> 8);
            const int d = delta[static_cast<size_t>(std::min(luma, 255))];
            p[x] = qRgb(Clamp255(r + ((d + 128) >> 8)), Clamp255(g + ((d + 128) >> 8)), Clamp255(b + ((d + 128) >> 8)));
        }
    }
}

// Unsharp mask: the picture plus `amount` times its difference from a 5 x 5 binomial blur. Each
// channel is blurred across (into 16-bit sums) and then down, four rows at a time in a ring.
void Sharpen(QImage &image, double amount)
{
    const int w = image.width(), h = image.height();
    if (w < 5 || h < 5)
        return;
    const int fixedAmount = static_cast<int>(std::lround(amount * 256.0));
    // Horizontal sums (x16) of five rows: the rows y-2 .. y+2 of the one being written.
    std::vector<uint16_t> ring(static_cast<size_t>(5) * static_cast<size_t>(w) * 3);
    const auto rowSums = [&](int y) { return ring.data() + static_cast<size_t>((y + 5) % 5) * static_cast<size_t>(w) * 3; };
    const auto blurRow = [&](int y) {
        const auto *p = reinterpret_cast<const uchar *>(image.constScanLine(std::clamp(y, 0, h - 1)));
        uint16_t *out = rowSums(y);
        // RGB32 in memory: B, G, R, X.
        const auto at = [&](int x, int c) { return static_cast<int>(p[std::clamp(x, 0, w - 1) * 4 + c]); };
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum;
                if (x >= 2 && x < w - 2) {
                    const uchar *q = p + (x - 2) * 4 + c;
                    sum = q[0] + 4 * q[4] + 6 * q[8] + 4 * q[12] + q[16];
                } else {
                    sum = at(x - 2, c) + 4 * at(x - 1, c) + 6 * at(x, c) + 4 * at(x + 1, c) + at(x + 2, c);
                }
                out[x * 3 + c] = static_cast<uint16_t>(sum);
            }
        }
    };
    // Rows are written after the rows they read below them were summed; the sums of a row
    // are made before the row itself is overwritten.
    for (int y = -2; y <= 1; ++y)
        blurRow(y);
    for (int y = 0; y < h; ++y) {
        blurRow(y + 2);
        const uint16_t *r0 = rowSums(y - 2), *r1 = rowSums(y - 1), *r2 = rowSums(y), *r3 = rowSums(y + 1),
                       *r4 = rowSums(y + 2);
        auto *p = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int i = x * 3 + c;
                const int blurred = (r0[i] + 4 * r1[i] + 6 * r2[i] + 4 * r3[i] + r4[i] + 128) >> 8;
                uchar &v = p[x * 4 + c];
                v = static_cast<uchar>(Clamp255(v + (((v - blurred) * fixedAmount + 128) >> 8)));
            }
        }
    }
}

} // namespace

bool ParsePictureAdjust(const QString &text, tagPICTUREADJUST *adjust, QString *why)
{
    tagPICTUREADJUST a;
    QStringList seen;
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        const QString name = item.left(eq).trimmed().toLower();
        const tagADJUSTNAME *found = nullptr;
        for (const tagADJUSTNAME &n : kAdjustNames)
            if (name == QLatin1String(n.name))
                found = &n;
        if (eq < 0 || !found) {
            *why = QStringLiteral("'%1' is not one of brightness=, contrast=, gamma=, sharpen=").arg(item);
            return false;
        }
        if (seen.contains(name)) {
            *why = QStringLiteral("%1 is given twice").arg(name);
            return false;
        }
        seen << name;
        bool ok = false;
        const double v = item.mid(eq + 1).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v) || v < found->min || v > found->max) {
            *why = QStringLiteral("%1 must be a number from %2 to %3, not '%4'")
                       .arg(name)
                       .arg(found->min)
                       .arg(found->max)
                       .arg(item.mid(eq + 1));
            return false;
        }
        a.*(found->value) = v;
    }
    if (seen.isEmpty()) {
        *why = QStringLiteral("no adjustment given (brightness=B,contrast=C,gamma=G[,sharpen=S])");
        return false;
    }
    *adjust = a;
    return true;
}

QString PictureAdjustText(const tagPICTUREADJUST &a)
{
    QStringList parts;
    if (a.dBrightness != 0.0)
        parts << QString::asprintf("brightness %+.2f", a.dBrightness);
    if (a.dContrast != 1.0)
        parts << QString::asprintf("contrast %.2f", a.dContrast);
    if (a.dGamma != 1.0)
        parts << QString::asprintf("gamma %.2f", a.dGamma);
    if (a.dSharpen != 0.0)
        parts << QString::asprintf("sharpen %.2f", a.dSharpen);
    return parts.join(QStringLiteral(", "));
}

QImage AdjustPicture(const QImage &image, const tagPICTUREADJUST &adjust)
{
    if (adjust.IsNeutral() || image.isNull())
        return image;
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    if (adjust.dBrightness != 0.0 || adjust.dContrast != 1.0 || adjust.dGamma != 1.0)
        ApplyLuma(out, LumaTable(adjust));
    if (adjust.dSharpen > 0.0)
        Sharpen(out, adjust.dSharpen);
    return out;
}

namespace {

QImage ScaleRegion(const QImage &image, const QRect &region, const QSize &size, int flags)
{
    const QRect r = region.intersected(image.rect());
    if (r.isEmpty())
        return QImage();
    const QImage src = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    const QSize outSize = size.isEmpty() ? r.size() : size;
    if (outSize == r.size())
        return src.copy(r);
    // swscale's vector code reads and writes whole blocks past a line's end and the last line:
    // both pictures are padded (to 16 pixels and two spare lines) and cut back afterwards.
    const auto padded = [](int width) { return (width + 15) / 16 * 16; };
    QImage in(padded(r.width()), r.height() + 2, QImage::Format_RGB32);
    QImage out(padded(outSize.width()), outSize.height() + 2, QImage::Format_RGB32);
    if (in.isNull() || out.isNull())
        return QImage();
    in.fill(Qt::black);
    {
        QPainter p(&in);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(0, 0), src, r);
    }
    // RGB32 is B, G, R, X in memory on little-endian machines (the only ones we build for).
    std::unique_ptr<SwsContext, void (*)(SwsContext *)> sws(
        sws_getContext(r.width(), r.height(), AV_PIX_FMT_BGR0, outSize.width(), outSize.height(), AV_PIX_FMT_BGR0,
                       flags, nullptr, nullptr, nullptr),
        sws_freeContext);
    if (!sws)
        return QImage();
    const uint8_t *srcPlanes[1] = {in.constBits()};
    const int srcStride[1] = {static_cast<int>(in.bytesPerLine())};
    uint8_t *dstPlanes[1] = {out.bits()};
    const int dstStride[1] = {static_cast<int>(out.bytesPerLine())};
    if (sws_scale(sws.get(), srcPlanes, srcStride, 0, r.height(), dstPlanes, dstStride) != outSize.height())
        return QImage();
    return out.copy(QRect(QPoint(0, 0), outSize));
}

} // namespace

QImage ScaleRegionBicubic(const QImage &image, const QRect &region, const QSize &size)
{
    return ScaleRegion(image, region, size, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT);
}
