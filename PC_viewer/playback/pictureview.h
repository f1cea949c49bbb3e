// How the picture is looked at: the part of it shown (zoom and pan) and the adjustments
// (brightness, contrast, gamma, sharpening). One view for the single view and every pane of the
// grid, so that all panes zoom and pan together; it lasts while playing, stepping and in reverse.
// On screen only: the recordings never change, and a saved frame stays the frame as it is (the
// view is saved beside it).
#pragma once

#include "media/pictureadjust.h"

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>

class QPainter;

// The largest zoom: a native pixel over this many of the pane's (at the pane's own scale).
inline constexpr double kMaxPictureZoom = 32.0;
// One step of the keys and the context menu; a wheel notch (120) zooms by this too.
inline constexpr double kPictureZoomStep = 1.25;

struct tagPICTUREVIEW {
    // The part shown, as fractions of the picture's width and height: (0, 0, 1, 1) is the whole
    // picture stretched to the pane as it shows without zoom.
    QRectF region = QRectF(0, 0, 1, 1);
    tagPICTUREADJUST adjust;

    bool IsWhole() const { return region == QRectF(0, 0, 1, 1); }
    // Zoomed or adjusted: the picture on screen is not the frame as recorded.
    bool IsEnhanced() const { return !IsWhole() || !adjust.IsNeutral(); }
    bool operator==(const tagPICTUREVIEW &o) const { return region == o.region && adjust == o.adjust; }
    bool operator!=(const tagPICTUREVIEW &o) const { return !(*this == o); }
};

// Zooms by `factor` (above 1 in, below 1 out) keeping the picture's point under `at` (a fraction of
// the pane, 0 to 1 each way) where it is; never out beyond the whole picture nor in beyond
// kMaxPictureZoom, and always inside the picture.
tagPICTUREVIEW ZoomPictureAt(const tagPICTUREVIEW &view, const QPointF &at, double factor);
// Moves the part shown by `delta` fractions of the pane (a drag to the right moves the picture to
// the right, so the part shown moves left), held inside the picture.
tagPICTUREVIEW PanPicture(const tagPICTUREVIEW &view, const QPointF &delta);
// One native pixel on one pixel of a pane of `pane` size, around the centre of the part shown now
// (the whole picture where the pane is larger than the picture).
tagPICTUREVIEW PictureOneToOne(const tagPICTUREVIEW &view, const QSize &native, const QSize &pane);
// The whole picture again (the adjustments stay).
tagPICTUREVIEW WholePicture(const tagPICTUREVIEW &view);

// The part shown in native pixels of a picture of `native` size (rounded out to whole pixels).
QRect PictureRegionPixels(const tagPICTUREVIEW &view, const QSize &native);
// The part shown at native resolution with the adjustments: what "Save image" writes beside the
// frame and the report prints as the enhanced view.
QImage PictureViewImage(const QImage &native, const tagPICTUREVIEW &view);
// "region 480,270 960x540; brightness +0.20, gamma 0.80" (the parts that apply).
QString PictureViewText(const tagPICTUREVIEW &view, const QSize &native);

// The part `region` (native pixels) of the picture on show at `size`, as the engine makes it.
using PictureRegionFn = std::function<QImage(const QRect &region, const QSize &size)>;

// Draws the picture as the view shows it into `target`: the part of a picture of `native` size,
// made at the target's size by `part`, with the adjustments. Without zoom or adjustments `shown`
// (the picture already made at the target's size) is drawn as it is.
void DrawPictureView(QPainter &painter, const QRect &target, const QImage &shown, const QSize &native,
                     const PictureRegionFn &part, const tagPICTUREVIEW &view);
