// Blurred regions: their key frames, their text form and the pixelation of a picture.
#include "export/blurregions.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>

QRect tagBLURREGION::KeyRectAt(int64_t n) const
{
    if (keys.isEmpty())
        return QRect();
    auto it = keys.upperBound(n);
    if (it == keys.cbegin())
        return it.value();
    return std::prev(it).value();
}

void tagBLURREGION::SetRect(int64_t n, const QRect &rect)
{
    if (!bFollow)
        keys.clear();
    keys.insert(n, rect);
}

bool ParseBlurRegion(const QString &text, QRect *rect, int64_t *frame, QString *why)
{
    static const QRegularExpression form(QStringLiteral(R"(^\s*(-?\d+),(-?\d+),(-?\d+),(-?\d+)(?:@(-?\d+))?\s*$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) {
        *why = QStringLiteral("--blur needs X,Y,W,H or X,Y,W,H@F (whole numbers), not '%1'").arg(text);
        return false;
    }
    bool ok[5] = {true, true, true, true, true};
    const int x = m.captured(1).toInt(&ok[0]);
    const int y = m.captured(2).toInt(&ok[1]);
    const int w = m.captured(3).toInt(&ok[2]);
    const int h = m.captured(4).toInt(&ok[3]);
    *frame = m.captured(5).isEmpty() ? -1 : m.captured(5).toLongLong(&ok[4]);
    if (std::find(std::begin(ok), std::end(ok), false) != std::end(ok)) {
        *why = QStringLiteral("a number of '%1' is too large").arg(text);
        return false;
    }
    if (w <= 0 || h <= 0) {
        *why = QStringLiteral("the region '%1' needs a width and a height above 0").arg(text);
        return false;
    }
    if (m.captured(5).startsWith(QLatin1Char('-'))) {
        *why = QStringLiteral("the frame of '%1' cannot be negative").arg(text);
        return false;
    }
    *rect = QRect(x, y, w, h);
    return true;
}

QString BlurRegionText(const QRect &rect, int64_t frame)
{
    QString text = QStringLiteral("%1,%2,%3,%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
    if (frame >= 0)
        text += QLatin1Char('@') + QString::number(frame);
    return text;
}

bool CheckBlurRegions(const QVector<tagBLURREGION> &regions, const QSize &picture, int64_t frames, QString *why)
{
    const QRect whole(QPoint(0, 0), picture);
    for (const tagBLURREGION &r : regions) {
        if (r.keys.isEmpty()) {
            *why = QStringLiteral("a blurred region has no rectangle");
            return false;
        }
        for (auto it = r.keys.cbegin(); it != r.keys.cend(); ++it) {
            const QRect &rect = it.value();
            const QString name = BlurRegionText(rect, -1);
            if (rect.width() <= 0 || rect.height() <= 0) {
                *why = QStringLiteral("the region %1 needs a width and a height above 0").arg(name);
                return false;
            }
            if (!whole.contains(rect)) {
                *why = QStringLiteral("the region %1 is not inside the picture (%2x%3)")
                           .arg(name)
                           .arg(picture.width())
                           .arg(picture.height());
                return false;
            }
            if (r.bFollow && (it.key() < 0 || it.key() >= frames)) {
                *why = QStringLiteral("the region %1 is marked at a frame outside the range (%2 pictures)")
                           .arg(name)
                           .arg(frames);
                return false;
            }
        }
    }
    return true;
}

QRect MapRect(const QRect &rect, const QSize &picture, const QRect &area)
{
    if (picture.isEmpty())
        return QRect();
    const double sx = double(area.width()) / picture.width();
    const double sy = double(area.height()) / picture.height();
    const int left = area.left() + int(std::floor(rect.left() * sx));
    const int top = area.top() + int(std::floor(rect.top() * sy));
    const int right = area.left() + int(std::ceil((rect.left() + rect.width()) * sx));
    const int bottom = area.top() + int(std::ceil((rect.top() + rect.height()) * sy));
    return QRect(left, top, right - left, bottom - top);
}

QRect BlendRect(const QRect &a, const QRect &b, double t)
{
    const auto mix = [t](int p, int q) { return int(std::lround(p + (q - p) * t)); };
    return QRect(mix(a.x(), b.x()), mix(a.y(), b.y()), mix(a.width(), b.width()), mix(a.height(), b.height()));
}

int BlurBlockSize(const QRect &rect)
{
    const int side = std::max(rect.width(), rect.height());
    return (std::max(kMinBlurBlock, (side + 5) / 6) + 1) & ~1;
}

void PixelateYuv420(uint8_t *const planes[3], const int strides[3], const QSize &size, const QRect &rect)
{
    // Even corners: a block of the brightness plane is whole blocks of the colour planes.
    const int x0 = std::max(0, rect.left() & ~1);
    const int y0 = std::max(0, rect.top() & ~1);
    const int x1 = std::min(size.width(), (rect.left() + rect.width() + 1) & ~1);
    const int y1 = std::min(size.height(), (rect.top() + rect.height() + 1) & ~1);
    if (x1 <= x0 || y1 <= y0)
        return;
    const int block = BlurBlockSize(rect);
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        const int px0 = x0 >> shift, py0 = y0 >> shift;
        const int px1 = (x1 + shift) >> shift, py1 = (y1 + shift) >> shift;
        const int b = block >> shift;
        for (int by = py0; by < py1; by += b) {
            const int ey = std::min(py1, by + b);
            for (int bx = px0; bx < px1; bx += b) {
                const int ex = std::min(px1, bx + b);
                long sum = 0;
                for (int y = by; y < ey; ++y) {
                    const uint8_t *row = planes[plane] + ptrdiff_t(y) * strides[plane];
                    for (int x = bx; x < ex; ++x)
                        sum += row[x];
                }
                const long count = long(ey - by) * (ex - bx);
                const uint8_t mean = uint8_t((sum + count / 2) / count);
                for (int y = by; y < ey; ++y)
                    std::memset(planes[plane] + ptrdiff_t(y) * strides[plane] + bx, mean, size_t(ex - bx));
            }
        }
    }
}
