// The G-sensor graph's numbers: plot geometry, sample and marker positions, labels, zoom, seek
// clicks, frame keys and panel texts; the speed curve's axis and points.
#include "telemetry/graphgeometry.h"

#include "base/clocktime.h"
#include "catalogue/recordinfo.h"
#include "telemetry/accelgraphpainter.h"

#include "qstringprint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// A pane 400 x 220: plot 210 x 200 from x 180, y 10; the 0 g line at y 110.
const CGraphGeometry kPane(400, 220);

TEST(GraphGeometry, PlotArea)
{
    EXPECT_EQ(kPane.PlotWidth(), 210);
    EXPECT_EQ(kPane.PlotHeight(), 200);
    EXPECT_EQ(kPane.MidY(), 110);
    EXPECT_EQ(kPane.PlotRight(), 390);
    EXPECT_EQ(kPane.PlotBottom(), 210);
    // An odd plot height: the 0 g line and the grid use the halved height, rounded down.
    const CGraphGeometry odd(400, 221);
    EXPECT_EQ(odd.MidY(), 110);
    EXPECT_EQ(odd.HorizontalGridOffset(5), 100);
}

TEST(GraphGeometry, SampleHeights)
{
    const struct {
        double g;
        unsigned zoom;
        int y;
    } cases[] = {
        {1.0, 1, 60},   // one g is a quarter of the 200-pixel plot: 50 above the 0 g line
        {1.0, 8, -290}, // 400 above the line, outside the plot (nothing is clipped)
        {-2.0, 1, 210}, // -2 g is the bottom edge at zoom 1
        {2.0, 1, 10},   // +2 g the top edge
        {0.25, 8, 10},  // zoom 8 shows -0.25 g to +0.25 g
        {-0.25, 8, 210}, {0.0, 4, 110}, {-1.0, 2, 210},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kPane.SampleY(c.g, c.zoom), c.y) << c.g << " g at zoom " << c.zoom;
}

TEST(GraphGeometry, ValuesNoNumberCanHold)
{
    // A data file can hold "nan" or "1e38"; the pixel must still be a sane number.
    EXPECT_EQ(kPane.SampleY(std::numeric_limits<double>::quiet_NaN(), 1), kPane.MidY());
    EXPECT_LT(kPane.SampleY(1e38, 8), -1000000);
    EXPECT_GT(kPane.SampleY(-std::numeric_limits<double>::infinity(), 1), 1000000);
}

TEST(GraphGeometry, SamplePositionsAlongTheClip)
{
    const int64_t durationMs = 60000;
    EXPECT_EQ(kPane.SampleX(0, durationMs), 180);
    EXPECT_EQ(kPane.SampleX(durationMs, durationMs), 390);
    EXPECT_EQ(kPane.SampleX(30000, durationMs), 285);
    EXPECT_EQ(kPane.SampleX(299, durationMs), 181) << "299 x 210 / 60000 = 1.04, truncated";
    EXPECT_EQ(kPane.SampleX(0, 0), 180) << "a clip under a millisecond long";
    EXPECT_FALSE(CGraphGeometry::SampleInClip(-1, durationMs)) << "before the sync time";
    EXPECT_TRUE(CGraphGeometry::SampleInClip(0, durationMs));
    EXPECT_TRUE(CGraphGeometry::SampleInClip(durationMs, durationMs));
    EXPECT_FALSE(CGraphGeometry::SampleInClip(durationMs + 1, durationMs)) << "after the end";
}

TEST(GraphGeometry, MarkerPosition)
{
    const int64_t frameTime = 333333;
    const int64_t frames = 18000;
    const int64_t duration = frames * frameTime;
    EXPECT_EQ(kPane.MarkerX(0, frameTime, duration), 180);
    EXPECT_EQ(kPane.MarkerX(frames / 2, frameTime, duration), 285);
    EXPECT_EQ(kPane.MarkerX(frames, frameTime, duration), 390);
    EXPECT_EQ(kPane.MarkerX(500, frameTime, 0), 180) << "no duration: the marker stays at 180";
    EXPECT_EQ(kPane.MarkerX(500, frameTime, -1), 180);
}

TEST(GraphGeometry, GridLines)
{
    EXPECT_EQ(kPane.VerticalGridX(1), 188);
    EXPECT_EQ(kPane.VerticalGridX(25), 390);
    EXPECT_EQ(kPane.HorizontalGridOffset(1), 20);
    EXPECT_EQ(kPane.HorizontalGridOffset(5), 100);
}

TEST(GraphGeometry, AxisLabels)
{
    const struct {
        unsigned zoom;
        const char *texts[5];
    } cases[] = {
        {1, {"+0.40", "+0.80", "+1.20", "+1.60", "+2.00"}},
        {2, {"+0.20", "+0.40", "+0.60", "+0.80", "+1.00"}},
        {4, {"+0.10", "+0.20", "+0.30", "+0.40", "+0.50"}},
        {8, {"+0.05", "+0.10", "+0.15", "+0.20", "+0.25"}},
    };
    for (const auto &c : cases) {
        for (int k = 1; k <= 5; ++k) {
            const QString above = QString::fromLatin1(c.texts[k - 1]);
            QString below = above;
            below[0] = QLatin1Char('-');
            EXPECT_EQ(GraphAxisLabel(k, c.zoom, false), above) << "zoom " << c.zoom << ", k " << k;
            EXPECT_EQ(GraphAxisLabel(k, c.zoom, true), below) << "zoom " << c.zoom << ", k " << k;
        }
    }
    // Labels sit 5 pixels above their grid line.
    EXPECT_EQ(kPane.AxisLabelY(1, false), 85);
    EXPECT_EQ(kPane.AxisLabelY(1, true), 125);
    EXPECT_EQ(kPane.AxisLabelY(5, false), 5);
    EXPECT_EQ(kPane.AxisLabelY(5, true), 205);
}

TEST(GraphGeometry, ZoomLimits)
{
    EXPECT_EQ(GraphZoomIn(1), 2u);
    EXPECT_EQ(GraphZoomIn(4), 8u);
    EXPECT_EQ(GraphZoomIn(8), 8u) << "zoom in from 8 stays at 8";
    EXPECT_EQ(GraphZoomOut(8), 4u);
    EXPECT_EQ(GraphZoomOut(2), 1u);
    EXPECT_EQ(GraphZoomOut(1), 1u) << "zoom out from 1 stays at 1";
}

TEST(GraphGeometry, ClicksSeek)
{
    const int64_t frames = 18000;
    const struct {
        int x, y;
        bool seeks;
        int64_t frame;
    } cases[] = {
        {180, 100, true, 0},                               // left edge: frame 0
        {390, 100, true, frames},                          // right edge: the frame count itself
        {285, 100, true, 9000},   {181, 100, true, 85},    // 1 x 18000 / 210 = 85.7, truncated
        {180, 9, false, 0},                                // above the plot
        {180, 10, true, 0},       {300, 210, true, 10285}, // bottom edge
        {300, 211, false, 0},     {179, 100, false, 0},    // on the panel
        {391, 100, false, 0},
    };
    for (const auto &c : cases) {
        int64_t frame = -1;
        EXPECT_EQ(kPane.FrameAt(c.x, c.y, frames, &frame), c.seeks) << c.x << ", " << c.y;
        if (c.seeks) {
            EXPECT_EQ(frame, c.frame) << c.x << ", " << c.y;
        }
    }
    // A pane squeezed to the panel's width: the plot has no width and no frame to seek.
    int64_t frame = -1;
    EXPECT_FALSE(CGraphGeometry(190, 220).FrameAt(180, 50, frames, &frame));
    EXPECT_FALSE(CGraphGeometry(100, 220).FrameAt(180, 50, frames, &frame));
}

TEST(GraphGeometry, KeyActions)
{
    const struct {
        int key;
        bool keypad;
        GraphKeyAction action;
    } cases[] = {
        {Qt::Key_Space, false, GraphKeyAction::PlayPause},
        {Qt::Key_PageUp, false, GraphKeyAction::ZoomIn},
        {Qt::Key_PageDown, false, GraphKeyAction::ZoomOut},
        {Qt::Key_Plus, true, GraphKeyAction::ZoomIn},
        {Qt::Key_Minus, true, GraphKeyAction::ZoomOut},
        {Qt::Key_Plus, false, GraphKeyAction::None}, // only the numeric pad's + zooms
        {Qt::Key_Minus, false, GraphKeyAction::None},
        {Qt::Key_End, false, GraphKeyAction::ToEnd},
        {Qt::Key_Home, false, GraphKeyAction::ToStart},
        {Qt::Key_Left, false, GraphKeyAction::StepBack},
        {Qt::Key_Right, false, GraphKeyAction::StepForward},
        {Qt::Key_Up, false, GraphKeyAction::Volume},
        {Qt::Key_Down, false, GraphKeyAction::Volume},
        {Qt::Key_Delete, false, GraphKeyAction::SoundToggle},
        {Qt::Key_F5, false, GraphKeyAction::None},
        {Qt::Key_A, false, GraphKeyAction::None},
    };
    for (const auto &c : cases)
        EXPECT_EQ(GraphKeyActionFor(c.key, c.keypad), c.action) << c.key << " " << c.keypad;
}

TEST(GraphGeometry, FrameKeysAtTheEdges)
{
    const int64_t frames = 300;
    const struct {
        GraphKeyAction action;
        int64_t from;
        int64_t to;
    } cases[] = {
        {GraphKeyAction::StepForward, frames, frames}, // Right at the frame count: nothing
        {GraphKeyAction::StepForward, frames - 1, frames},
        {GraphKeyAction::StepBack, 0, 0}, // Left at frame 0: nothing
        {GraphKeyAction::StepBack, 1, 0},
        {GraphKeyAction::ToEnd, 17, frames}, // End: the frame count itself
        {GraphKeyAction::ToStart, 17, 0},
        {GraphKeyAction::ZoomIn, 17, 17},
        {GraphKeyAction::PlayPause, 17, 17},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FrameAfterGraphKey(c.action, c.from, frames), c.to)
            << static_cast<int>(c.action) << " from " << c.from;
    EXPECT_TRUE(GraphKeyMovesFrame(GraphKeyAction::ToEnd));
    EXPECT_FALSE(GraphKeyMovesFrame(GraphKeyAction::ZoomIn));
    EXPECT_FALSE(GraphKeyMovesFrame(GraphKeyAction::Volume));
}

TEST(GraphGeometry, Magnifier)
{
    const QPoint cursor(300, 100);
    EXPECT_EQ(CGraphGeometry::MagnifierSource(cursor), QRect(280, 85, 40, 30));
    EXPECT_EQ(CGraphGeometry::MagnifierTarget(cursor), QRect(220, 40, 160, 120));
}

TEST(GraphGeometry, PanelTexts)
{
    EXPECT_EQ(CGraphGeometry::PanelRowY(0), 20);
    EXPECT_EQ(CGraphGeometry::PanelRowY(7), 146);
    EXPECT_EQ(GraphValueText(-0.98f), QStringLiteral("-0.98"));
    EXPECT_EQ(GraphValueText(0.0f), QStringLiteral("+0.00"));
    EXPECT_EQ(GraphValueText(-2.0f), QStringLiteral("-2.00"));
    EXPECT_EQ(GraphDirectionText(QStringLiteral("E"), 87.0), QString::fromUtf8("E(87.00\u00b0)"));
    EXPECT_EQ(GraphDirectionText(QStringLiteral("N"), 5.0), QString::fromUtf8("N(5.00\u00b0)"));
    EXPECT_EQ(GraphFrameText(5, 18000), QStringLiteral("5/18000"));
    // Frame numbers print from their low 32 bits.
    EXPECT_EQ(GraphFrameText((int64_t(1) << 32) + 7, (int64_t(1) << 32) + 9), QStringLiteral("7/9"));
    EXPECT_EQ(GraphFrameText(int64_t(0x80000000), 0), QStringLiteral("-2147483648/0"));
}

TEST(GraphGeometry, ClockTextReadsTheTimeKeyBack)
{
    // The clock row turns a time key (local time) back into a wall-clock time.
    SYSTEMTIME st;
    st.wYear = 13;
    st.wMonth = 5;
    st.wDay = 12;
    st.wHour = 8;
    st.wMinute = 30;
    st.wSecond = 15;
    st.wMilliseconds = 250;
    int64_t key = 0;
    ASSERT_TRUE(TimeKey(st, &key));
    EXPECT_EQ(GraphClockText(key), QStringLiteral("08:30:15.250"));
    EXPECT_EQ(GraphClockText(key + 44750), QStringLiteral("08:31:00.000"));
    st.wHour = 23;
    st.wMinute = 59;
    st.wSecond = 59;
    st.wMilliseconds = 999;
    ASSERT_TRUE(TimeKey(st, &key));
    EXPECT_EQ(GraphClockText(key), QStringLiteral("23:59:59.999"));
    EXPECT_EQ(GraphClockText(key + 1), QStringLiteral("00:00:00.000"));
}

TEST(GraphGeometry, SpeedAxisRoundsUpToAPleasantStep)
{
    const struct {
        double fastest, top, step;
    } cases[] = {
        {0, 10, 2},           {10.1, 15, 5},   {87, 100, 20},
        {101, 125, 25},       {260, 300, 100}, {std::numeric_limits<double>::quiet_NaN(), 10, 2},
        {1e300, 1e6, 200000}, // a corrupt fix: the largest axis, and the search still ends
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fastest);
        EXPECT_DOUBLE_EQ(SpeedAxisFor(c.fastest).dTop, c.top);
        EXPECT_DOUBLE_EQ(SpeedAxisFor(c.fastest).dStep, c.step);
    }
}

TEST(GraphGeometry, SpeedCurvePointsAreTheValidFixesInsideTheClip)
{
    // Sync 08:30:15.250, a clip 10 s long. Per fix: second, status, knots; month 13 has no key.
    tagDATAFILEINFO rec;
    rec.stSyncTime = {13, 5, 0, 12, 8, 30, 15, 250};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        uint16_t second, month;
        char status;
        double knots;
    } fixes[] = {{15, 5, 'A', 99}, {16, 5, 'A', 10},  {17, 13, 'A', 99}, {18, 5, 'A', 20}, {19, 5, 'V', 30},
                 {20, 5, 'A', 40}, {21, 5, 'A', nan}, {22, 5, 'A', 27},  {23, 5, 'A', 5},  {26, 5, 'A', 99}};
    for (const auto &f : fixes) {
        tagGPSINFO g;
        g.stTime = {13, f.month, 0, 12, 8, 30, f.second, 0};
        g.cStatus = f.status;
        g.dSpeedKnots = f.knots;
        rec.vecGps.append(g);
    }
    int64_t startMs = 0;
    ASSERT_TRUE(TimeKey(rec.stSyncTime, &startMs));
    // Before the sync time, without a key and after the end: left out; void or not a number:
    // left out and the curve broken.
    const tagSPEEDPOINT expected[] = {{750, 18.52, false},
                                      {2750, 37.04, true},
                                      {4750, 74.08, false},
                                      {6750, 50.004, false},
                                      {7750, 9.26, true}};
    const QVector<tagSPEEDPOINT> kmh = SpeedCurvePoints(rec, startMs, 10000, SpeedUnit::Kmh);
    const QVector<tagSPEEDPOINT> mph = SpeedCurvePoints(rec, startMs, 10000, SpeedUnit::Mph);
    ASSERT_EQ(kmh.size(), 5);
    ASSERT_EQ(mph.size(), 5);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(kmh[i].llRelMs, expected[i].llRelMs);
        EXPECT_EQ(kmh[i].bJoined, expected[i].bJoined);
        EXPECT_NEAR(kmh[i].dSpeed, expected[i].dSpeed, 1e-9);
        EXPECT_NEAR(mph[i].dSpeed, expected[i].dSpeed / 1.609344, 1e-4); // a mile is 1.609344 km
    }
    EXPECT_EQ(kPane.SpeedY(0, 100), 210) << "0 on the plot's bottom edge";
    EXPECT_EQ(kPane.SpeedY(100, 100), 10) << "the axis top on its top edge";
}

} // namespace
