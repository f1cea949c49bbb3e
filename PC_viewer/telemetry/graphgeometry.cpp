// Arithmetic of the G-sensor graph.
#include "telemetry/graphgeometry.h"

#include "telemetry/telemetryconst.h"

#include <QDateTime>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// a x b / c truncated, without forming a x b: positions are products of frame numbers, frame
// times in 100-ns units and pixel widths, which a long clip can push past 64 bits.
int64_t MulDiv(int64_t a, int64_t b, int64_t c)
{
    return (a / c) * b + ((a % c) * b) / c;
}

// A double as a pixel coordinate. Data files can carry any number (even "nan" or "1e38" reads
// as one), and converting such a value to int is undefined; keep the result far outside any
// window instead, and put a value that is not a number on the 0 g line.
int ToPixel(double v, int ifNaN)
{
    constexpr double kFar = 1 << 24;
    if (std::isnan(v))
        return ifNaN;
    return static_cast<int>(std::clamp(v, -kFar, kFar));
}

int ToPixel(int64_t v)
{
    constexpr int64_t kFar = 1 << 24;
    return static_cast<int>(std::clamp<int64_t>(v, -kFar, kFar));
}

} // namespace

CGraphGeometry::CGraphGeometry(int clientWidth, int clientHeight)
    : m_clientWidth(clientWidth), m_clientHeight(clientHeight),
      m_plotWidth(clientWidth - kGraphPanelWidth - kGraphRightMargin),
      m_plotHeight(clientHeight - kGraphVerticalMargin), m_midY(m_plotHeight / 2 + kGraphTopMargin)
{
}

int CGraphGeometry::PlotLeft() const
{
    return kGraphPanelWidth;
}

int CGraphGeometry::PlotRight() const
{
    return kGraphPanelWidth + m_plotWidth;
}

int CGraphGeometry::PlotTop() const
{
    return kGraphTopMargin;
}

int CGraphGeometry::PlotBottom() const
{
    return kGraphTopMargin + m_plotHeight;
}

bool CGraphGeometry::InPlot(int x, int y) const
{
    return x >= PlotLeft() && x <= PlotRight() && y >= PlotTop() && y <= PlotBottom();
}

int CGraphGeometry::VerticalGridX(int i) const
{
    return i * m_plotWidth / kGraphVerticalGridLines + kGraphPanelWidth;
}

int CGraphGeometry::HorizontalGridOffset(int j) const
{
    return (m_plotHeight / 2) * j / kGraphHorizontalGridLines;
}

int CGraphGeometry::AxisLabelY(int k, bool below) const
{
    const double d = (m_plotHeight / 2) * k / static_cast<double>(kGraphHorizontalGridLines);
    return static_cast<int>(below ? m_midY + d - 5 : m_midY - d - 5);
}

int CGraphGeometry::SampleY(double valueG, unsigned zoom) const
{
    return ToPixel(m_midY - (m_plotHeight * valueG / 2 / 2) * zoom, m_midY);
}

int CGraphGeometry::SampleX(int64_t relMs, int64_t durationMs) const
{
    // A clip shorter than a millisecond has all its drawn samples at its start.
    if (durationMs <= 0)
        return kGraphPanelWidth;
    return ToPixel(MulDiv(relMs, m_plotWidth, durationMs) + kGraphPanelWidth);
}

int CGraphGeometry::SpeedY(double speed, double axisTop) const
{
    if (!(axisTop > 0))
        return PlotBottom();
    return ToPixel(PlotBottom() - speed * m_plotHeight / axisTop, PlotBottom());
}

bool CGraphGeometry::SampleInClip(int64_t relMs, int64_t durationMs)
{
    return relMs >= 0 && relMs <= durationMs;
}

int CGraphGeometry::MarkerX(int64_t frame, int64_t frameTime, int64_t duration) const
{
    if (duration <= 0)
        return kGraphPanelWidth;
    return ToPixel(MulDiv(frame * frameTime, m_plotWidth, duration) + kGraphPanelWidth);
}

bool CGraphGeometry::FrameAt(int x, int y, int64_t frameCount, int64_t *frame) const
{
    // A plot squeezed to no width has only its left edge, and no frame can be told from another.
    if (!InPlot(x, y) || m_plotWidth <= 0)
        return false;
    *frame = MulDiv(x - kGraphPanelWidth, frameCount, m_plotWidth);
    return true;
}

QRect CGraphGeometry::MagnifierSource(QPoint cursor)
{
    return QRect(cursor.x() - kMagnifierSourceWidth / 2, cursor.y() - kMagnifierSourceHeight / 2,
                 kMagnifierSourceWidth, kMagnifierSourceHeight);
}

QRect CGraphGeometry::MagnifierTarget(QPoint cursor)
{
    const int w = kMagnifierSourceWidth * kMagnifierScale;
    const int h = kMagnifierSourceHeight * kMagnifierScale;
    return QRect(cursor.x() - w / 2, cursor.y() - h / 2, w, h);
}

int CGraphGeometry::PanelRowY(int row)
{
    return kGraphRowStep * row + kGraphRowTop;
}

tagSPEEDAXIS SpeedAxisFor(double maxSpeed)
{
    // Not a number, or beyond anything a vehicle does: the largest axis, so that the loop below
    // always ends.
    const double top =
        std::isnan(maxSpeed) ? kSpeedAxisMinTop : std::clamp(maxSpeed, kSpeedAxisMinTop, kSpeedAxisMaxTop);
    tagSPEEDAXIS axis;
    for (double decade = 1;; decade *= 10) {
        // 2.5 only from 25 on, so that every tick reads as a whole number.
        for (const double mantissa : {1.0, 2.0, 2.5, 5.0}) {
            if (mantissa == 2.5 && decade < 10)
                continue;
            const double step = mantissa * decade;
            const double ticks = std::ceil(top / step);
            if (ticks <= kSpeedAxisMaxTicks) {
                axis.dStep = step;
                axis.dTop = ticks * step;
                return axis;
            }
        }
    }
}

unsigned GraphZoomIn(unsigned zoom)
{
    return std::clamp(zoom * 2, kGraphZoomMin, kGraphZoomMax);
}

unsigned GraphZoomOut(unsigned zoom)
{
    return std::clamp(zoom / 2, kGraphZoomMin, kGraphZoomMax);
}

QString GraphAxisLabel(int k, unsigned zoom, bool below)
{
    const double v = k * kGraphLabelStepG / std::max(zoom, kGraphZoomMin);
    return QString::asprintf("%+1.2f", below ? -v : v);
}

GraphKeyAction GraphKeyActionFor(int qtKey, bool keypad)
{
    switch (qtKey) {
    case Qt::Key_Space: return GraphKeyAction::PlayPause;
    case Qt::Key_PageUp: return GraphKeyAction::ZoomIn;
    case Qt::Key_PageDown: return GraphKeyAction::ZoomOut;
    case Qt::Key_Plus: return keypad ? GraphKeyAction::ZoomIn : GraphKeyAction::None;
    case Qt::Key_Minus: return keypad ? GraphKeyAction::ZoomOut : GraphKeyAction::None;
    case Qt::Key_End: return GraphKeyAction::ToEnd;
    case Qt::Key_Home: return GraphKeyAction::ToStart;
    case Qt::Key_Left: return GraphKeyAction::StepBack;
    case Qt::Key_Right: return GraphKeyAction::StepForward;
    case Qt::Key_Up:
    case Qt::Key_Down: return GraphKeyAction::Volume;
    case Qt::Key_Delete: return GraphKeyAction::SoundToggle;
    default: return GraphKeyAction::None;
    }
}

int64_t FrameAfterGraphKey(GraphKeyAction action, int64_t current, int64_t frameCount)
{
    switch (action) {
    case GraphKeyAction::ToEnd: return frameCount;
    case GraphKeyAction::ToStart: return 0;
    case GraphKeyAction::StepBack: return current > 0 ? current - 1 : current;
    case GraphKeyAction::StepForward: return current < frameCount ? current + 1 : current;
    default: return current;
    }
}

bool GraphKeyMovesFrame(GraphKeyAction action)
{
    return action == GraphKeyAction::ToEnd || action == GraphKeyAction::ToStart ||
           action == GraphKeyAction::StepBack || action == GraphKeyAction::StepForward;
}

QString GraphValueText(float value)
{
    return QString::asprintf("%+1.2f", static_cast<double>(value));
}

QString GraphDirectionText(const QString &direction, double course)
{
    return direction + QLatin1Char('(') + QString::asprintf("%3.2f", course) + QChar(0x00B0) +
           QLatin1Char(')');
}

QString GraphFrameText(int64_t frame, int64_t frameCount)
{
    const auto low32 = [](int64_t v) {
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
    };
    return QString::asprintf("%d/%d", low32(frame), low32(frameCount));
}
