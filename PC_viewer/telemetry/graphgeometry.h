// Arithmetic of the G-sensor graph: where the plot lies in the client area, where a sample, a
// grid line, a label or the frame marker is drawn, which frame a click seeks, what the zoom and
// frame keys do, and the texts of the panel. Pure functions, so that the widget only draws and
// the numbers are tested here.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>

class CGraphGeometry
{
public:
    // Client area of the graph pane in pixels.
    CGraphGeometry(int clientWidth, int clientHeight);

    int ClientWidth() const { return m_clientWidth; }
    int ClientHeight() const { return m_clientHeight; }
    int PlotWidth() const { return m_plotWidth; }   // client width - 190
    int PlotHeight() const { return m_plotHeight; } // client height - 20
    int MidY() const { return m_midY; }             // y of the 0 g line
    int PlotLeft() const;                           // 180
    int PlotRight() const;                          // 180 + plot width
    int PlotTop() const;                            // 10
    int PlotBottom() const;                         // 10 + plot height

    // The plot rectangle, edges included (a click on x = PlotRight() is inside).
    bool InPlot(int x, int y) const;

    // x of vertical grid line i (1 to 25).
    int VerticalGridX(int i) const;
    // Distance of horizontal grid line j (1 to 5) above and below the 0 g line.
    int HorizontalGridOffset(int j) const;
    // y of the axis label of line k (1 to 5) above (negative false) or below the 0 g line.
    int AxisLabelY(int k, bool below) const;

    // y of a value in g at a zoom factor: one g is plot height / 4 pixels at zoom 1. Values beyond
    // the plot lie beyond it (nothing is clipped).
    int SampleY(double valueG, unsigned zoom) const;
    // x of a sample relMs after the sync time in a clip durationMs long.
    int SampleX(int64_t relMs, int64_t durationMs) const;
    // y of a speed on the speed curve's own axis: 0 on the plot's bottom edge, axisTop on its top
    // edge (axisTop above 0; see SpeedAxisFor).
    int SpeedY(double speed, double axisTop) const;
    // Whether a sample relMs after the sync time is drawn and counted in the extremes.
    static bool SampleInClip(int64_t relMs, int64_t durationMs);

    // x of the current-frame marker (durations in 100-ns units).
    int MarkerX(int64_t frame, int64_t frameTime, int64_t duration) const;

    // The frame a left click or drag at (x, y) seeks: (x - 180) x frameCount / plot width; false
    // when the point is outside the plot or the plot has no width.
    bool FrameAt(int x, int y, int64_t frameCount, int64_t *frame) const;

    // The magnifier: the area around the cursor that is enlarged, and where it is drawn.
    static QRect MagnifierSource(QPoint cursor);
    static QRect MagnifierTarget(QPoint cursor);

    // y of panel row k (0 to 7).
    static int PanelRowY(int row);

private:
    int m_clientWidth;
    int m_clientHeight;
    int m_plotWidth;
    int m_plotHeight;
    int m_midY;
};

// The speed curve's axis for the largest speed drawn: ticks every dStep (1, 2, 5, 10, 20, 25, 50,
// 100, 200, 250, ...) up to dTop, the speed rounded up to a whole step, with at most five ticks
// above 0. The axis reaches at least 10 (a clip standing still still has a scale to sit on).
struct tagSPEEDAXIS {
    double dTop = 0;
    double dStep = 0;
};
tagSPEEDAXIS SpeedAxisFor(double maxSpeed);

// Zoom steps: in doubles up to 8, out halves down to 1.
unsigned GraphZoomIn(unsigned zoom);
unsigned GraphZoomOut(unsigned zoom);

// Text of axis label k (1 to 5) at a zoom: +k x 0.4 / zoom g, or its negative, as "%+1.2f".
QString GraphAxisLabel(int k, unsigned zoom, bool below);

// What a key does in the graph pane (and in the panes that forward keys to it).
enum class GraphKeyAction {
    None,
    PlayPause,   // Space
    ZoomIn,      // Page Up, numeric-pad +
    ZoomOut,     // Page Down, numeric-pad -
    ToEnd,       // End
    ToStart,     // Home
    StepBack,    // Left
    StepForward, // Right
    Volume,      // Up, Down: to the play control bar's volume slider
    SoundToggle, // Delete
};

// qtKey is a Qt::Key; keypad is set when the key came from the numeric pad (only the pad's + and
// - zoom).
GraphKeyAction GraphKeyActionFor(int qtKey, bool keypad);

// The current frame after a frame key; other actions leave it as it is. Frames run from 0 to the
// frame count (one past the last picture, where End puts the position).
int64_t FrameAfterGraphKey(GraphKeyAction action, int64_t current, int64_t frameCount);

// Whether the action moves the position (the view then repaints and tells the other views).
bool GraphKeyMovesFrame(GraphKeyAction action);

// Panel texts.
QString GraphValueText(float value);                                 // "%+1.2f"
QString GraphDirectionText(const QString &direction, double course); // "%s(%3.2f°)"
// "%d/%d" of the frame and the frame count, each from its low 32 bits.
QString GraphFrameText(int64_t frame, int64_t frameCount);
