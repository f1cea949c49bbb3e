// The zoom, pan and adjustments of the picture on show.
#include "playback/pictureview.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QRectF kWhole(0, 0, 1, 1);

// A region of the given size around `centre`, moved inside the picture.
QRectF HeldInside(QSizeF size, QPointF centre)
{
    size = size.boundedTo(QSizeF(1, 1));
    const double w = size.width(), h = size.height();
    const double x = std::clamp(centre.x() - w / 2, 0.0, 1.0 - w);
    const double y = std::clamp(centre.y() - h / 2, 0.0, 1.0 - h);
    const QRectF r(x, y, w, h);
    // Back to the exact whole picture, so that IsWhole holds after zooming out all the way.
    if (w >= 1.0 - 1e-9 && h >= 1.0 - 1e-9)
        return kWhole;
    return r;
}

} // namespace

tagPICTUREVIEW ZoomPictureAt(const tagPICTUREVIEW &view, const QPointF &at, double factor)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return view;
    tagPICTUREVIEW out = view;
    const QRectF &r = view.region;
    const QPointF a(std::clamp(at.x(), 0.0, 1.0), std::clamp(at.y(), 0.0, 1.0));
    // The picture's point under the cursor.
    const QPointF p(r.left() + a.x() * r.width(), r.top() + a.y() * r.height());
    const double minSide = 1.0 / kMaxPictureZoom;
    const double w = std::clamp(r.width() / factor, minSide, 1.0);
    const double h = std::clamp(r.height() / factor, minSide, 1.0);
    // The same point under the cursor: left = p - a * w.
    const QPointF centre(p.x() - a.x() * w + w / 2, p.y() - a.y() * h + h / 2);
    out.region = HeldInside(QSizeF(w, h), centre);
    return out;
}

tagPICTUREVIEW PanPicture(const tagPICTUREVIEW &view, const QPointF &delta)
{
    tagPICTUREVIEW out = view;
    const QRectF &r = view.region;
    out.region = HeldInside(r.size(), r.center() - QPointF(delta.x() * r.width(), delta.y() * r.height()));
    return out;
}

tagPICTUREVIEW PictureOneToOne(const tagPICTUREVIEW &view, const QSize &native, const QSize &pane)
{
    if (native.isEmpty() || pane.isEmpty())
        return view;
    tagPICTUREVIEW out = view;
    const QSizeF size(double(pane.width()) / native.width(), double(pane.height()) / native.height());
    out.region = HeldInside(size, view.region.center());
    return out;
}

tagPICTUREVIEW WholePicture(const tagPICTUREVIEW &view)
{
    tagPICTUREVIEW out = view;
    out.region = kWhole;
    return out;
}

QRect PictureRegionPixels(const tagPICTUREVIEW &view, const QSize &native)
{
    const QRectF &r = view.region;
    const int left = static_cast<int>(std::floor(r.left() * native.width() + 1e-6));
    const int top = static_cast<int>(std::floor(r.top() * native.height() + 1e-6));
    const int right = static_cast<int>(std::ceil(r.right() * native.width() - 1e-6));
    const int bottom = static_cast<int>(std::ceil(r.bottom() * native.height() - 1e-6));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(QRect(QPoint(0, 0), native));
}

QImage PictureViewImage(const QImage &native, const tagPICTUREVIEW &view)
{
    if (native.isNull())
        return QImage();
    const QRect region = PictureRegionPixels(view, native.size());
    return AdjustPicture(native.copy(region).convertToFormat(QImage::Format_RGB32), view.adjust);
}

QString PictureViewText(const tagPICTUREVIEW &view, const QSize &native)
{
    QStringList parts;
    if (!view.IsWhole()) {
        const QRect r = PictureRegionPixels(view, native);
        parts << QStringLiteral("region %1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
    const QString adjust = PictureAdjustText(view.adjust);
    if (!adjust.isEmpty())
        parts << adjust;
    return parts.join(QStringLiteral("; "));
}

void DrawPictureView(QPainter &painter, const QRect &target, const QImage &shown, const QSize &native,
                     const PictureRegionFn &part, const tagPICTUREVIEW &view)
{
    if (target.isEmpty())
        return;
    if (!view.IsEnhanced() || native.isEmpty() || !part) {
        if (!shown.isNull())
            painter.drawImage(target, shown);
        return;
    }
    // The whole picture is made at the pane's size already: only the adjustments remain.
    if (view.IsWhole() && shown.size() == target.size()) {
        painter.drawImage(target, AdjustPicture(shown, view.adjust));
        return;
    }
    // The part converted from the decoded frame straight to the pane's size: never the whole
    // picture at native size, at every step of playback.
    const QImage picture = part(PictureRegionPixels(view, native), target.size());
    if (picture.isNull()) {
        if (!shown.isNull())
            painter.drawImage(target, shown);
        return;
    }
    painter.drawImage(target, AdjustPicture(picture, view.adjust));
}
