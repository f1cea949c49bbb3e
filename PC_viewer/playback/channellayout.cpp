#include "playback/channellayout.h"

#include <cmath>

QVector<QRect> ChannelRects(ChannelLayout layout, PipCorner corner, const QRect &area, int count)
{
    QVector<QRect> rects;
    if (count <= 1 || area.isEmpty()) {
        rects.fill(area, qMax(count, 1));
        return rects;
    }
    switch (layout) {
    case ChannelLayout::PictureInPicture: {
        // The others a quarter of the area's width each, in a row along the chosen corner's side.
        rects << area;
        const int w = qMax(1, area.width() / 4), h = qMax(1, area.height() / 4), margin = 8;
        const bool right = corner == PipCorner::TopRight || corner == PipCorner::BottomRight;
        const bool bottom = corner == PipCorner::BottomLeft || corner == PipCorner::BottomRight;
        for (int i = 1; i < count; ++i) {
            const int x = right ? area.right() + 1 - margin - i * w - (i - 1) * margin
                                : area.left() + margin + (i - 1) * (w + margin);
            const int y = bottom ? area.bottom() + 1 - margin - h : area.top() + margin;
            rects << QRect(x, y, w, h).intersected(area);
        }
        break;
    }
    case ChannelLayout::SideBySide: {
        for (int i = 0; i < count; ++i) {
            const int x0 = area.left() + area.width() * i / count, x1 = area.left() + area.width() * (i + 1) / count;
            rects << QRect(x0, area.top(), x1 - x0, area.height());
        }
        break;
    }
    case ChannelLayout::Grid: {
        const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
        const int rows = (count + columns - 1) / columns;
        for (int i = 0; i < count; ++i) {
            const int c = i % columns, r = i / columns;
            const int x0 = area.left() + area.width() * c / columns, x1 = area.left() + area.width() * (c + 1) / columns;
            const int y0 = area.top() + area.height() * r / rows, y1 = area.top() + area.height() * (r + 1) / rows;
            rects << QRect(x0, y0, x1 - x0, y1 - y0);
        }
        break;
    }
    }
    return rects;
}
