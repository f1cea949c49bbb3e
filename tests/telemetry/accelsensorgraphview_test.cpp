// The G-sensor graph pane on Qt's offscreen platform, over a generated recording: the table and
// extremes it builds, the keys, clicks and wheel that seek and zoom, the marker it draws, and the
// speed curve on the pane and in the report.
#include "telemetry/accelsensorgraphview.h"

#include "catalogue/corvanadoc.h"
#include "fixtures/clipmaker.h"
#include "fixtures/testfiles.h"
#include "media/audiooutput.h"
#include "media/nullaudiooutput.h"
#include "playback/playbackcontroller.h"
#include "telemetry/graphkeycommands.h"
#include "telemetry/printview.h"
#include "telemetry/telemetryconst.h"
#include "qstringprint.h"

#include <QApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QApplication *App()
{
    static int argc = 1;
    static char name[] = "accelsensorgraphview_test";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return app;
}

constexpr int64_t kFrameTime = 333333; // 30 fps
constexpr int64_t kFrames = 300;       // 10 s

class GraphView : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        CAudioOutput::SetFactory([] { return std::make_unique<CNullAudioOutput>(); });
        ASSERT_TRUE(dir.isValid());
        // A clip of 300 small pictures at 30 a second, played by the real controller.
        ASSERT_FALSE(clipmaker::Make(dir.path(), QStringLiteral("REC_0001.avi"),
                                     {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=30", "-frames:v", "300", "-c:v",
                                      "mjpeg", "-threads", "1"})
                         .isEmpty());
        ASSERT_TRUE(testfiles::WriteLines(dir.filePath("data/REC_0001.dat"), DataLines()));
        doc.SetFolder(dir.path());
        doc.LoadFolder();
        ASSERT_EQ(doc.Count(), 1);
        playback = std::make_unique<CPlaybackController>(&doc);
        keys = std::make_unique<CGraphKeyCommands>(playback.get());
        view = std::make_unique<CAccelSensorGraphView>(&doc, &playback->Telemetry());
        // As the composition root wires them.
        QObject::connect(playback.get(), &CPlaybackController::RecordingOpened, view.get(),
                         &CAccelSensorGraphView::OnRecordingOpened);
        QObject::connect(playback.get(), &CPlaybackController::RecordingClosed, view.get(),
                         &CAccelSensorGraphView::OnRecordingClosed);
        QObject::connect(playback.get(), &CPlaybackController::PositionChanged, view.get(),
                         &CAccelSensorGraphView::OnPositionChanged);
        QObject::connect(view.get(), &CAccelSensorGraphView::SeekRequested, playback.get(),
                         [this](qint64 frame) { playback->Seek(frame, view.get()); });
        QObject::connect(view.get(), &CAccelSensorGraphView::GraphKey, keys.get(), &CGraphKeyCommands::Run);
        QObject::connect(keys.get(), &CGraphKeyCommands::ZoomRequested, view.get(), &CAccelSensorGraphView::ZoomStep);
        ASSERT_TRUE(playback->Open(0));
        ASSERT_EQ(playback->FrameCount(), kFrames);
        ASSERT_EQ(playback->FrameTime(), kFrameTime);
        view->resize(400, 220); // plot 210 x 200 from (180, 10)
        view->show();
        view->OnInitialUpdate();
        view->RebuildGraph();
    }

    // Sync at 08:30:15.250; one sample before it (never drawn or counted), samples in the clip,
    // and one after its end (10 s later).
    virtual QStringList DataLines() const
    {
        return {"$SYNCTIME,083015.250,130512,",
                "$ACCELERATOR,083015.100,130512,-3.00,3.00,0.50,",
                "$ACCELERATOR,083015.260,130512,0.02,-0.98,0.11,",
                "$ACCELERATOR,083015.270,130512,0.40,-1.20,0.10,",
                "$ACCELERATOR,083016.250,130512,-0.50,-0.90,0.30,",
                "$GPRMC,083015.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,",
                "$ACCELERATOR,083030.000,130512,1.90,1.90,1.90,"};
    }

    void SetPosition(int64_t frame) { playback->Seek(frame, nullptr); }

    QTemporaryDir dir;
    CCorvanaDoc doc;
    std::unique_ptr<CPlaybackController> playback;
    std::unique_ptr<CGraphKeyCommands> keys;
    std::unique_ptr<CAccelSensorGraphView> view;
};

TEST_F(GraphView, RebuildTakesTableAndExtremesFromTheRecord)
{
    EXPECT_TRUE(view->HasData());
    EXPECT_EQ(view->FrameToSample(), BuildFrameToSample(doc.RecordRef(0), kFrameTime, kFrames));
    EXPECT_EQ(view->FrameToSample().Find(0), 1) << ".260 is the first sample of frame 0";
    EXPECT_EQ(view->FrameToSample().Find(30), 3) << "16.250 is one second in";
    // Extremes over the samples inside the clip only: not -3.00/+3.00 (before the sync time) nor
    // +1.90 (after the end). Maxima start at -2 and minima at +2.
    EXPECT_FLOAT_EQ(view->Maximum(0), 0.40f);
    EXPECT_FLOAT_EQ(view->Minimum(0), -0.50f);
    EXPECT_FLOAT_EQ(view->Maximum(1), -0.90f);
    EXPECT_FLOAT_EQ(view->Minimum(1), -1.20f);
    EXPECT_FLOAT_EQ(view->Maximum(2), 0.30f);
    EXPECT_FLOAT_EQ(view->Minimum(2), 0.10f);
}

TEST_F(GraphView, FrameKeysSeekAndTellTheOtherViews)
{
    std::vector<const QObject *> origins;
    QObject::connect(playback.get(), &CPlaybackController::PositionChanged,
                     [&](const tagPLAYPOSITION &p) { origins.push_back(p.pOrigin); });
    const struct {
        int key;
        int64_t from;
        int64_t to;
    } cases[] = {
        {Qt::Key_End, 17, kFrames},
        {Qt::Key_Right, kFrames, kFrames}, // nothing past the frame count
        {Qt::Key_Left, kFrames, kFrames - 1},
        {Qt::Key_Home, 17, 0},
        {Qt::Key_Left, 0, 0},
        {Qt::Key_Right, 0, 1},
    };
    for (const auto &c : cases) {
        SetPosition(c.from);
        origins.clear();
        QTest::keyClick(view.get(), static_cast<Qt::Key>(c.key));
        EXPECT_EQ(playback->Position(), c.to) << c.key << " from " << c.from;
        EXPECT_EQ(view->FrameParts().strFrame, GraphFrameText(c.to, kFrames)) << "the panel follows";
        ASSERT_EQ(origins.size(), 1u) << c.key;
        EXPECT_EQ(origins.front(), keys.get()) << "moved in the key table's name, so every pane follows";
    }
}

TEST_F(GraphView, ZoomByKeysAndWheel)
{
    QTest::keyClick(view.get(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(view->Zoom(), 2u);
    QTest::keyClick(view.get(), Qt::Key_Plus); // the main keyboard's + does not zoom
    EXPECT_EQ(view->Zoom(), 2u);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(view.get(), Qt::Key_PageUp);
    EXPECT_EQ(view->Zoom(), 8u);
    QTest::keyClick(view.get(), Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(view->Zoom(), 4u);

    QWheelEvent down(QPointF(300, 100), view->mapToGlobal(QPointF(300, 100)), QPoint(), QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.get(), &down);
    EXPECT_EQ(view->Zoom(), 2u);
    QWheelEvent up(QPointF(300, 100), view->mapToGlobal(QPointF(300, 100)), QPoint(), QPoint(0, 120),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.get(), &up);
    EXPECT_EQ(view->Zoom(), 4u);
    EXPECT_EQ(view->FrameToSample().Count(),
              BuildFrameToSample(doc.RecordRef(0), kFrameTime, kFrames).Count())
        << "a zoom rebuilds the table as well";
}

TEST_F(GraphView, ClicksSeek)
{
    SetPosition(42);
    QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(180, 100));
    EXPECT_EQ(playback->Position(), 0);
    QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(390, 100));
    EXPECT_EQ(playback->Position(), kFrames);
    QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(285, 5));
    EXPECT_EQ(playback->Position(), kFrames) << "above the plot: no seek";
    QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(285, 100));
    EXPECT_EQ(playback->Position(), 150);
    EXPECT_EQ(playback->LastPosition().pOrigin, view.get()) << "asked for in the graph's name";
}

TEST_F(GraphView, MarkerFollowsThePosition)
{
    SetPosition(kFrames / 2);
    const QImage shot = view->RenderGraphSnapshot();
    // Frame 150 of a clip of exactly 10 s: 150 x 333333 / 100000000 of the 210-pixel plot from x 180.
    EXPECT_EQ(view->MarkerX(), 284);
    ASSERT_EQ(shot.size(), QSize(400, 220));
    // The marker's left edge, a dashed red line at x 280.
    int red = 0;
    for (int y = 10; y <= 210; ++y)
        red += shot.pixelColor(280, y) == QColor(255, 0, 0);
    EXPECT_GT(red, 20);
    // Nothing red at a column the marker does not cover.
    for (int y = 10; y <= 210; ++y)
        ASSERT_NE(shot.pixelColor(250, y), QColor(255, 0, 0)) << y;
}

TEST_F(GraphView, ResetAndResize)
{
    QTest::keyClick(view.get(), Qt::Key_PageUp);
    SetPosition(10);
    view->RenderGraphSnapshot();
    view->ResetGraph();
    EXPECT_EQ(view->Zoom(), 1u);
    EXPECT_EQ(view->MarkerX(), -1);
    EXPECT_FALSE(view->HasData());

    // A resize rebuilds once the view is initialised, and not before.
    view->resize(500, 300);
    EXPECT_TRUE(view->HasData());
    CAccelSensorGraphView fresh(&doc, &playback->Telemetry());
    fresh.OnRecordingOpened(playback->Recording());
    fresh.show();
    fresh.resize(500, 300);
    EXPECT_FALSE(fresh.HasData());
    EXPECT_FALSE(fresh.IsInitialised());
}

TEST_F(GraphView, WithoutARecordingOnlyTheBackground)
{
    playback->Close();
    view->ResetGraph();
    view->RebuildGraph();
    EXPECT_FALSE(view->HasData());
    // Keys that need other panes do nothing when they are missing.
    QTest::keyClick(view.get(), Qt::Key_Space);
    QTest::keyClick(view.get(), Qt::Key_Up);
    QTest::keyClick(view.get(), Qt::Key_Delete);
    EXPECT_FALSE(view->RenderGraphSnapshot().isNull());
}

TEST_F(GraphView, MagnifierWhileTheRightButtonIsHeld)
{
    QTest::mousePress(view.get(), Qt::RightButton, Qt::NoModifier, QPoint(300, 100));
    EXPECT_TRUE(view->IsMagnifierOn());
    QTest::mouseRelease(view.get(), Qt::RightButton, Qt::NoModifier, QPoint(300, 100));
    EXPECT_FALSE(view->IsMagnifierOn());
}

// Fixes a second apart from 1 s into the clip, a void one at 3 s: 18.52, 37.04, (void), 90.0072, 74.08
// and 50.004 km/h. The fastest gives an axis from 0 to 100 km/h (60 mph) over the 200-pixel plot.
class SpeedGraph : public GraphView
{
protected:
    QStringList DataLines() const override
    {
        QStringList lines = GraphView::DataLines();
        const char *const fixes[] = {"16.250,A", "17.250,A", "18.250,V", "19.250,A", "20.250,A", "21.250,A"};
        const char *const knots[] = {"10.0", "20.0", "30.0", "48.6", "40.0", "27.0"};
        for (int i = 0; i < 6; ++i)
            lines << QStringLiteral("$GPRMC,0830%1,3733.1234,N,12658.5678,E,%2,87.3,120513,,")
                         .arg(QLatin1String(fixes[i]), QLatin1String(knots[i]));
        return lines;
    }
};

// The rows of column x (every column when x is -1) drawn in the curve's colour.
QList<int> SpeedRows(const QImage &image, int x = -1)
{
    QList<int> rows;
    for (int c = x < 0 ? 0 : x; c <= (x < 0 ? image.width() - 1 : x); ++c)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixel(c, y) == QColor(kColourSpeed).rgb())
                rows << y;
    return rows;
}

TEST_F(SpeedGraph, OffByDefaultAndDrawnAtEachFixsSpeedWhenSwitchedOn)
{
    EXPECT_FALSE(view->IsSpeedCurveOn());
    EXPECT_TRUE(SpeedRows(view->grab().toImage()).isEmpty());

    // x = 180 + rel x 210 / 10000; y = 210 - speed x 200 / axis top.
    const struct {
        SpeedUnit unit;
        int x;
        int y; // -1: nothing drawn in that column
    } cases[] = {
        {SpeedUnit::Kmh, 201, 172}, {SpeedUnit::Kmh, 222, 135}, {SpeedUnit::Kmh, 243, -1}, // the void fix
        {SpeedUnit::Kmh, 264, 29},  {SpeedUnit::Kmh, 306, 109}, {SpeedUnit::Kmh, 325, -1}, // after the last
        {SpeedUnit::Mph, 264, 23},  {SpeedUnit::Mph, 306, 106},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << SpeedUnitName(c.unit).toStdString() << " x " << c.x);
        view->SetSpeedCurve(true, c.unit);
        const QList<int> rows = SpeedRows(view->grab().toImage(), c.x);
        int nearest = c.y < 0 ? -1 : 1000; // distance of the closest row to the fix's y
        for (int y : rows)
            nearest = std::min(nearest, std::abs(y - c.y));
        EXPECT_EQ(rows.isEmpty(), c.y < 0);
        EXPECT_LE(nearest, 1);
    }
    EXPECT_GE(SpeedRows(view->grab().toImage(), 390).size(), 200) << "the axis on the plot's right edge";
    view->SetSpeedCurve(false, SpeedUnit::Mph);
    EXPECT_TRUE(SpeedRows(view->grab().toImage()).isEmpty());
}

TEST_F(SpeedGraph, TheReportDrawsTheCurveWhenItIsOn)
{
    CPrintView report(playback.get());
    report.SetGraphSource([this] { return view->size(); }, [this](QPainter &p) { view->PlotGraph(p); });
    const auto graphBand = [&] {
        QImage page(1000, 1414, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter p(&page);
        DrawReportPage(p, page.size(), report.CollectReport(), 1);
        p.end();
        return page.copy(CReportGeometry(page.width(), page.height()).GraphBand());
    };
    EXPECT_TRUE(SpeedRows(graphBand()).isEmpty());
    view->SetSpeedCurve(true, SpeedUnit::Kmh);
    EXPECT_GT(SpeedRows(graphBand()).size(), 300);
}

} // namespace
