// Drawing of the G-sensor graph, shared by the pane and the report.
#include "telemetry/accelgraphpainter.h"

#include "playback/frameindextable.h"
#include "telemetry/telemetryconst.h"
#include "telemetry/vehicletexts.h"

#include <QFontMetrics>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>

#include <cmath>

namespace {


const QRgb kAxisColours[3] = {kColourAxisX, kColourAxisY, kColourAxisZ};
const char *const kRowLabels[] = {
    "Cur.  :", "Max.  :", "Min.  :", "Spd.  :", "Dir.  :", "Time  :", "Frame :"};

void AxisValuesRow(QPainter &p, int row, const float values[3])
{
    for (int a = 0; a < 3; ++a) {
        p.setPen(QColor(kAxisColours[a]));
        DrawTextAt(p, kGraphValueX[a], CGraphGeometry::PanelRowY(row), GraphValueText(values[a]));
    }
}

// The box of the car's own state over the plot, away from the marker.
void DrawVehicleRows(QPainter &p, const CGraphGeometry &geo, const tagACCELFRAMEPARTS &parts)
{
    int left = geo.PlotLeft() + kGraphVehicleBoxGap;
    const int rightLeft = geo.PlotRight() - kGraphVehicleRightRoom - kGraphVehicleBoxWidth;
    const bool under = parts.nMarkerX > 0 && parts.nMarkerX + kGraphMarkerHalfWidth >= left &&
                       parts.nMarkerX - kGraphMarkerHalfWidth <= left + kGraphVehicleBoxWidth;
    if (under && rightLeft > left + kGraphVehicleBoxWidth)
        left = rightLeft;
    const int top = CGraphGeometry::PanelRowY(0) - 2;
    const int bottom = CGraphGeometry::PanelRowY(VEHICLE_ROWS) - 2;
    QColor fill(kColourVehicleBox);
    fill.setAlpha(kGraphVehicleBoxAlpha);
    p.fillRect(QRect(left, top, kGraphVehicleBoxWidth, bottom - top), fill);
    p.setPen(QColor(kColourGrid));
    p.drawRect(QRect(left, top, kGraphVehicleBoxWidth - 1, bottom - top - 1));
    p.setPen(Qt::black);
    for (int row = 0; row < VEHICLE_ROWS; ++row) {
        const int y = CGraphGeometry::PanelRowY(row);
        const QString label = QLatin1String(kVehicleRowLabels[row]) + QStringLiteral(" :");
        DrawTextAt(p, left + kGraphVehicleBoxGap, y, label);
        DrawTextAt(p, left + kGraphVehicleValueX, y, parts.strVehicle[row]);
    }
}

} // namespace

QFont ArialCellFont(int cellHeight)
{
    static QHash<int, QFont> cache;
    const auto found = cache.constFind(cellHeight);
    if (found != cache.constEnd())
        return *found;
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    int px = cellHeight;
    for (; px > 4; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).height() <= cellHeight)
            break;
    }
    cache.insert(cellHeight, f);
    return f;
}

void DrawTextAt(QPainter &p, int x, int y, const QString &text)
{
    p.drawText(QRect(x, y, 10000, 1000), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void DrawAccelGraphBackground(QPainter &p, const CGraphGeometry &geo, unsigned zoom)
{
    const QRect client(0, 0, geo.ClientWidth(), geo.ClientHeight());
    QLinearGradient gradient(0, 0, 0, client.height());
    gradient.setColorAt(0.0, QColor(kColourBackgroundTop));
    gradient.setColorAt(1.0, QColor(kColourBackgroundBottom));
    p.fillRect(client, gradient);

    const int left = geo.PlotLeft();
    const int top = geo.PlotTop();
    const int right = geo.PlotRight();
    const int bottom = geo.PlotBottom();
    const int mid = geo.MidY();
    const QPen axisPen(Qt::black, 1);
    const QPen gridPen(QColor(kColourGrid), 1, Qt::DotLine);

    p.setPen(axisPen);
    p.drawLine(left, mid, right, mid);
    p.drawLine(left, top, left, bottom);
    for (int i = 1; i <= kGraphVerticalGridLines; ++i) {
        const int x = geo.VerticalGridX(i);
        p.setPen(gridPen);
        p.drawLine(x, top, x, bottom);
        p.setPen(axisPen);
        p.drawLine(x, mid + kGraphTickHalfLength, x, mid - kGraphTickHalfLength);
    }
    for (int j = 1; j <= kGraphHorizontalGridLines; ++j) {
        const int d = geo.HorizontalGridOffset(j);
        for (const int y : {mid - d, mid + d}) {
            p.setPen(gridPen);
            p.drawLine(left, y, right, y);
            p.setPen(axisPen);
            p.drawLine(left - kGraphTickHalfLength, y, left + kGraphTickHalfLength, y);
        }
    }

    p.setFont(ArialCellFont(kGraphPanelFontPx));
    const char *heads[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        p.setPen(QColor(kAxisColours[a]));
        DrawTextAt(p, kGraphHeadX[a], CGraphGeometry::PanelRowY(GRAPH_ROW_HEADS), QLatin1String(heads[a]));
    }
    p.setPen(Qt::black);
    for (int row = GRAPH_ROW_CURRENT; row <= GRAPH_ROW_FRAME; ++row)
        DrawTextAt(p, kGraphLabelX, CGraphGeometry::PanelRowY(row), QLatin1String(kRowLabels[row - 1]));

    p.setFont(ArialCellFont(kGraphAxisFontPx));
    DrawTextAt(p, kGraphZeroLabelX, mid - 5, QStringLiteral("0"));
    for (int k = 1; k <= kGraphHorizontalGridLines; ++k) {
        DrawTextAt(p, kGraphAxisLabelX, geo.AxisLabelY(k, false), GraphAxisLabel(k, zoom, false));
        DrawTextAt(p, kGraphAxisLabelX, geo.AxisLabelY(k, true), GraphAxisLabel(k, zoom, true));
    }
}

tagACCELEXTREMES DrawAccelGraphCurves(QPainter &p, const CGraphGeometry &geo, const tagDATAFILEINFO &rec,
                                      int64_t startMs, int64_t durationMs, unsigned zoom)
{
    tagACCELEXTREMES ext;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    QPoint previous[3];
    bool started = false;
    const std::vector<int64_t> keys = SampleTimeKeys(rec);
    for (int i = 0; i < rec.vecAccel.size(); ++i) {
        if (keys[static_cast<size_t>(i)] == kNoTimeKey)
            continue;
        const int64_t rel = keys[static_cast<size_t>(i)] - startMs;
        if (!CGraphGeometry::SampleInClip(rel, durationMs))
            continue;
        const tagACCELINFO &s = rec.vecAccel[i];
        const float values[3] = {s.fX, s.fY, s.fZ};
        const int x = geo.SampleX(rel, durationMs);
        for (int a = 0; a < 3; ++a) {
            const QPoint pt(x, geo.SampleY(values[a], zoom));
            if (started) {
                p.setPen(QPen(QColor(kAxisColours[a]), 1));
                p.drawLine(previous[a], pt);
            }
            previous[a] = pt;
            if (values[a] > ext.fMax[a])
                ext.fMax[a] = values[a];
            if (values[a] < ext.fMin[a])
                ext.fMin[a] = values[a];
        }
        started = true;
    }
    p.setFont(ArialCellFont(kGraphPanelFontPx));
    AxisValuesRow(p, GRAPH_ROW_MAX, ext.fMax);
    AxisValuesRow(p, GRAPH_ROW_MIN, ext.fMin);
    p.restore();
    return ext;
}

QVector<tagSPEEDPOINT> SpeedCurvePoints(const tagDATAFILEINFO &rec, int64_t startMs, int64_t durationMs,
                                        SpeedUnit unit)
{
    QVector<tagSPEEDPOINT> points;
    const std::vector<int64_t> keys = FixTimeKeys(rec);
    bool joined = false;
    for (int i = 0; i < rec.vecGps.size(); ++i) {
        const int64_t key = keys[static_cast<size_t>(i)];
        if (key == kNoTimeKey)
            continue;
        const int64_t rel = key - startMs;
        if (!CGraphGeometry::SampleInClip(rel, durationMs))
            continue;
        const tagGPSINFO &g = rec.vecGps[i];
        const double speed = SpeedInUnit(g.dSpeedKnots, unit);
        if (g.cStatus != 'A' || !std::isfinite(speed) || speed < 0) {
            joined = false;
            continue;
        }
        points.append({rel, speed, joined});
        joined = true;
    }
    return points;
}

void DrawSpeedCurve(QPainter &p, const CGraphGeometry &geo, const tagDATAFILEINFO &rec, int64_t startMs,
                    int64_t durationMs, SpeedUnit unit)
{
    const QVector<tagSPEEDPOINT> points = SpeedCurvePoints(rec, startMs, durationMs, unit);
    if (points.isEmpty())
        return;
    double fastest = 0;
    for (const tagSPEEDPOINT &pt : points)
        fastest = std::max(fastest, pt.dSpeed);
    const tagSPEEDAXIS axis = SpeedAxisFor(fastest);

    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor colour(kColourSpeed);
    const int right = geo.PlotRight();
    p.setPen(QPen(colour, 1));
    p.drawLine(right, geo.PlotTop(), right, geo.PlotBottom());
    p.setFont(ArialCellFont(kGraphAxisFontPx));
    const QString unitName = unit == SpeedUnit::Mph ? QStringLiteral("mph") : QStringLiteral("km/h");
    const int ticks = static_cast<int>(std::lround(axis.dTop / axis.dStep));
    for (int k = 1; k <= ticks; ++k) {
        const double value = k * axis.dStep;
        const int y = geo.SpeedY(value, axis.dTop);
        p.drawLine(right - kGraphTickHalfLength, y, right + kGraphTickHalfLength, y);
        QString label = QString::number(static_cast<long long>(std::llround(value)));
        if (k == ticks)
            label += QLatin1Char(' ') + unitName;
        // Right-aligned against the axis, inside the plot: the margin beyond it is too narrow.
        p.drawText(QRect(right - kSpeedLabelGap - 1000, y - 5, 1000, 1000),
                   Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, label);
    }

    // A corrupt fix faster than the largest axis must not draw over the text panel.
    p.setClipRect(
        QRect(geo.PlotLeft(), geo.PlotTop(), geo.PlotWidth() + 1, geo.PlotBottom() - geo.PlotTop() + 1),
        Qt::IntersectClip);
    p.setPen(QPen(colour, kSpeedCurvePenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPoint previous;
    for (int i = 0; i < points.size(); ++i) {
        const tagSPEEDPOINT &pt = points[i];
        const QPoint at(geo.SampleX(pt.llRelMs, durationMs), geo.SpeedY(pt.dSpeed, axis.dTop));
        const bool alone = !pt.bJoined && (i + 1 == points.size() || !points[i + 1].bJoined);
        if (pt.bJoined)
            p.drawLine(previous, at);
        else if (alone)
            p.drawPoint(at); // a fix between two gaps still shows
        previous = at;
    }
    p.restore();
}

void DrawAccelGraphFrameParts(QPainter &p, const CGraphGeometry &geo, const tagACCELFRAMEPARTS &parts)
{
    p.save();
    p.setFont(ArialCellFont(kGraphPanelFontPx));
    if (parts.bValues)
        AxisValuesRow(p, GRAPH_ROW_CURRENT, parts.fValues);
    p.setPen(Qt::black);
    if (!parts.strFrame.isEmpty())
        DrawTextAt(p, kGraphFrameTextX, CGraphGeometry::PanelRowY(GRAPH_ROW_FRAME), parts.strFrame);
    if (!parts.strSpeed.isEmpty() || !parts.strDirection.isEmpty()) {
        DrawTextAt(p, kGraphTextX, CGraphGeometry::PanelRowY(GRAPH_ROW_SPEED), parts.strSpeed);
        DrawTextAt(p, kGraphTextX, CGraphGeometry::PanelRowY(GRAPH_ROW_DIRECTION), parts.strDirection);
    }
    if (!parts.strClock.isEmpty())
        DrawTextAt(p, kGraphTextX, CGraphGeometry::PanelRowY(GRAPH_ROW_TIME), parts.strClock);
    if (parts.bVehicleRows)
        DrawVehicleRows(p, geo, parts);

    if (parts.nMarkerX > 0) {
        p.setPen(QPen(QColor(kColourMarker), 2, Qt::DashLine));
        const int l = parts.nMarkerX - kGraphMarkerHalfWidth;
        const int r = parts.nMarkerX + kGraphMarkerHalfWidth;
        const QPoint outline[5] = {{l, geo.PlotTop()},
                                   {l, geo.PlotBottom()},
                                   {r, geo.PlotBottom()},
                                   {r, geo.PlotTop()},
                                   {l, geo.PlotTop()}};
        p.drawPolyline(outline, 5);
    }
    p.restore();
}
