// The G-sensor graph and the map in the main window: opening a recording rebuilds the graph and
// loads the map page from the viewer's own loopback server, playback moves the graph's marker and
// the map's position together, a folder load resets both, the map commands, the keys the panes
// hand each other, and a clean shut-down of the server. The browser runs headless; every wait
// has a time-out.
#include "framefixture.h"

#include "fixtures/testfiles.h"
#include "skin/bitmapslider.h"
#include "playback/playbackpane.h"
#include "playback/playcontrolview.h"
#include "skin/commandids.h"
#include "telemetry/graphgeometry.h"
#include "telemetry/localwebserver.h"
#include "telemetry/mapscripts.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWebEnginePage>

using namespace frametest;

namespace {

constexpr int kPageWaitMs = 20000; // a first page in a fresh browser process takes a while

// Recording 0 of the card: 15 pictures at 10 a second (frame time 100 ms). A G-sensor sample
// every 100 ms from the sync time on (the fixture writes the one at 0 ms), and three GPS fixes
// 0.7 s apart, so frame 0 has fix 0, frames 1 to 7 fix 1 and frames 8 to 14 fix 2.
constexpr int kFixStepMs = 700;
constexpr int kFixCount = 3;

QString Ms(int ms)
{
    return QStringLiteral("0830%1.%2")
        .arg(ms / 1000, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

// x, y, z of sample k (k >= 1); sample 0 is the fixture's (0.1, 0.2, 0.9).
double SampleX(int k)
{
    return -0.5 + 0.1 * k;
}

QStringList TelemetryLines()
{
    QStringList lines;
    for (int k = 1; k < kMp4Frames; ++k)
        lines << QStringLiteral("$ACCELERATOR,%1,130512,%2,0.3,1.1,")
                     .arg(Ms(100 * k))
                     .arg(SampleX(k), 0, 'f', 2);
    const char *const positions[kFixCount] = {"3733.1234,N,12658.5678,E", "3733.1500,N,12658.6000,E",
                                              "3733.1800,N,12658.6400,E"};
    for (int i = 0; i < kFixCount; ++i)
        lines << QStringLiteral("$GPRMC,%1,A,%2,%3.0,%4.0,120513,,")
                     .arg(Ms(kFixStepMs * i), QLatin1String(positions[i]))
                     .arg(20 + i)
                     .arg(80 + 5 * i);
    return lines;
}

std::vector<tagTESTCLIP> CardWithTracks()
{
    return {
        {QStringLiteral("20130512_083000N.mp4"), ClipKind::Mp4, QStringLiteral("083000.000"),
         TelemetryLines()},
        {QStringLiteral("20130512_083010N.avi"),
         ClipKind::Avi,
         QStringLiteral("083010.000"),
         {QStringLiteral("$GPRMC,083010.000,A,3510.7732,N,12904.5385,E,0.0,0.0,120513,,"),
          QStringLiteral("$GPRMC,083011.000,A,3510.7800,N,12904.5400,E,3.0,10.0,120513,,")}},
    };
}

// The leftmost and rightmost column holding a pixel of the marker's red; (-1, -1) for none.
std::pair<int, int> RedColumns(const QImage &image)
{
    int first = -1, last = -1;
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    for (int x = 0; x < img.width(); ++x) {
        for (int y = 0; y < img.height(); ++y) {
            if (img.pixel(x, y) == qRgb(255, 0, 0)) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

class TelemetryTest : public FrameTest
{
protected:
    void SetUp() override
    {
        FrameTest::SetUp();
        m_map = m_frame->MapView();
        m_graph = m_frame->GraphView();
        m_requested = std::make_unique<QSignalSpy>(m_map, &CMapView::PageRequested);
    }

    void TearDown() override
    {
        m_requested.reset();
        FrameTest::TearDown();
    }

    // Loads the card and opens recording `row`; waits until the map page holds its routes.
    void OpenWithRoutes(const CTestCard &card, int row = 0)
    {
        LoadCard(card);
        // The test page draws no tiles; nothing but the loopback server is asked.
        m_frame->MapView()->SetMapPage(m_frame->MapView()->MapPage() + QStringLiteral("?tiles=none"));
        ASSERT_TRUE(OpenAndWaitForRoutes(row)) << "page " << static_cast<int>(m_map->Page());
        // The route load ends with the first position; the page has it once its call is recorded.
        ASSERT_TRUE(WaitFor([this] { return Calls().contains(QStringLiteral("setCurrentPosition(0)")); },
                            kPageWaitMs));
    }

    // Opens row `row` and waits for the route load that follows; true when it went into the
    // map page.
    bool OpenAndWaitForRoutes(int row)
    {
        QSignalSpy routes(m_map, &CMapView::RoutesLoaded);
        if (!OpenRow(row) || !WaitFor([&] { return !routes.isEmpty(); }, kPageWaitMs))
            return false;
        return m_map->Page() == CMapView::PageKind::Map;
    }

    QVariant Evaluate(const QString &script)
    {
        QVariant result;
        bool done = false;
        m_map->page()->runJavaScript(script, [&](const QVariant &v) {
            result = v;
            done = true;
        });
        EXPECT_TRUE(WaitFor([&] { return done; }, kPageWaitMs)) << script.toStdString();
        return result;
    }

    // Every call the map page received, in order (the page records them).
    QStringList Calls()
    {
        const QVariant v = Evaluate(QStringLiteral("JSON.stringify(window.__calls || [])"));
        QStringList calls;
        for (const QJsonValue &c : QJsonDocument::fromJson(v.toString().toUtf8()).array())
            calls << c.toString();
        return calls;
    }

    // The index of the current-position marker the page shows; -1 for none.
    int PagePosition()
    {
        const QVariant v =
            Evaluate(QStringLiteral("JSON.stringify(window.__mapState ? window.__mapState() : {})"));
        const QJsonObject current = QJsonDocument::fromJson(v.toString().toUtf8())
                                        .object()
                                        .value(QStringLiteral("current"))
                                        .toObject();
        return current.isEmpty() ? -1 : current.value(QStringLiteral("index")).toInt(-1);
    }

    // What the play view does on each step: a new position in its own name.
    void Publish(qint64 frame)
    {
        m_ctl->Seek(frame, m_ctl->MainSession());
    }

    void SendKey(QWidget *widget, int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &press);
    }

    // x of the marker for a frame: the share of the clip played, across the plot.
    qint64 ExpectedMarkerX(qint64 frame) const
    {
        const qint64 plotWidth = m_graph->width() - 190;
        return 180 + frame * m_ctl->FrameTime() * plotWidth / m_ctl->Duration();
    }

    CMapView *m_map = nullptr;
    CAccelSensorGraphView *m_graph = nullptr;
    std::unique_ptr<QSignalSpy> m_requested;
};

} // namespace

TEST_F(TelemetryTest, OpeningARecordingRebuildsTheGraphAndLoadsTheMapPageFromTheLoopbackServer)
{
    CTestCard card(CardWithTracks());
    ASSERT_TRUE(card.IsValid());
    const CLocalWebServer *server = m_root->LocalWebServer();
    ASSERT_NE(server, nullptr) << "no server is configured, so the viewer serves the pages itself";
    ASSERT_TRUE(server->IsRunning()) << server->ErrorString().toStdString();

    LoadCard(card);
    m_frame->MapView()->SetMapPage(m_frame->MapView()->MapPage() + QStringLiteral("?tiles=none"));
    QSignalSpy routes(m_map, &CMapView::RoutesLoaded);
    const QRect speedRows(50, 92, 130, 36);
    const QImage none = m_graph->RenderGraphSnapshot().copy(speedRows);
    ASSERT_TRUE(OpenRow(0));

    // The graph is rebuilt at once: every frame has the sample taken in its slot.
    EXPECT_EQ(m_graph->HasData(), 1);
    for (int f = 0; f < kMp4Frames; ++f)
        EXPECT_EQ(m_graph->FrameToSample().Find(f), f) << "frame " << f;
    EXPECT_NEAR(m_graph->Maximum(0), SampleX(kMp4Frames - 1), 1e-6);
    EXPECT_NEAR(m_graph->Minimum(2), 0.9, 1e-6);
    // Speed and heading come from the recording's own tables, at once, whatever the map does.
    EXPECT_NE(m_graph->RenderGraphSnapshot().copy(speedRows), none) << "speed and heading rows stayed empty";

    ASSERT_TRUE(WaitFor([&] { return !routes.isEmpty(); }, kPageWaitMs));
    ASSERT_EQ(m_map->Page(), CMapView::PageKind::Map);
    const QUrl page = m_map->url();
    EXPECT_EQ(page.host(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(page.port(), server->Port());
    // Below the server's secret prefix, which nothing outside the viewer knows.
    const QString prefix = QUrl(server->BaseUrl()).path();
    EXPECT_EQ(prefix.size(), 34) << prefix.toStdString();
    EXPECT_EQ(page.path(), prefix + QStringLiteral("corvana_mapview/google_map_world.html"));
    ASSERT_GE(m_requested->size(), 2);
    EXPECT_EQ(m_requested->at(m_requested->size() - 2).at(0).value<CMapView::PageKind>(),
              CMapView::PageKind::Loading);

    for (const auto &[frame, fix] : std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {7, 1}, {8, 2}, {14, 2}})
        EXPECT_EQ(m_map->FrameToFix().Find(frame), fix) << "frame " << frame;
    EXPECT_EQ(m_map->FrameToFix().Find(kMp4Frames), -1) << "no fix in the second after the last frame";
    ASSERT_TRUE(
        WaitFor([this] { return Calls().contains(QStringLiteral("setCurrentPosition(0)")); }, kPageWaitMs));
    const QStringList calls = Calls();
    EXPECT_EQ(calls.value(0), QStringLiteral("initWholeRoute()"));
    EXPECT_EQ(calls.filter(QStringLiteral("createContentMarker(")).size(), 2)
        << "one per recording with a fix";
    EXPECT_EQ(calls.filter(QStringLiteral("createMarker(")).size(), kFixCount);
}

TEST_F(TelemetryTest, PlayingMovesTheGraphMarkerAndTheMapPositionInStep)
{
    CTestCard card(CardWithTracks());
    ASSERT_TRUE(card.IsValid());
    OpenWithRoutes(card);
    const int callsBefore = static_cast<int>(Calls().size());

    struct tagSTEP {
        qint64 frame;
        int markerX;
        std::pair<int, int> red;
        int shownFix;
    };
    std::vector<tagSTEP> steps;
    // Connected after the panes, so it sees each publish after they have taken it.
    // Disconnected with the test's locals, before the frame goes.
    QObject watcher;
    QObject::connect(m_ctl, &CPlaybackController::PositionChanged, &watcher, [&](const tagPLAYPOSITION &p) {
        if (p.pOrigin != m_ctl->MainSession())
            return;
        const QImage shown = m_graph->grab().toImage(); // a repaint, as the screen gets it
        steps.push_back({m_ctl->Position(), m_graph->MarkerX(), RedColumns(shown), m_map->ShownFix()});
    });
    ASSERT_TRUE(m_frame->Command(ID_MEDIA_PLAY));
    ASSERT_TRUE(WaitUntilNotRunning(20000));
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps.back().frame, kMp4Frames) << "played to the end";

    int lastFix = 0;
    for (const tagSTEP &s : steps) {
        SCOPED_TRACE(s.frame);
        EXPECT_EQ(s.markerX, ExpectedMarkerX(s.frame));
        // The dashed red outline is 8 pixels wide around the marker and the only red drawn.
        EXPECT_GE(s.red.first, s.markerX - 5);
        EXPECT_LE(s.red.second, s.markerX + 5);
        EXPECT_GE(s.red.first, 0) << "no marker drawn";
        // The map never shows a fix ahead of the picture, and never goes back while playing.
        const int fix = m_map->FrameToFix().Find(s.frame);
        if (fix != -1) {
            EXPECT_LE(s.shownFix, fix);
        }
        EXPECT_GE(s.shownFix, lastFix);
        lastFix = s.shownFix;
    }

    // The last frame with a fix within a second is frame 14 (fix 2); the page ends there.
    ASSERT_TRUE(WaitFor([this] { return PagePosition() == kFixCount - 1; }, kPageWaitMs));
    EXPECT_EQ(m_map->ShownFix(), kFixCount - 1);
    const QStringList sent = Calls().mid(callsBefore).filter(QStringLiteral("setCurrentPosition("));
    ASSERT_FALSE(sent.isEmpty());
    EXPECT_EQ(sent.last(), QStringLiteral("setCurrentPosition(2)"));
    for (int i = 1; i < sent.size(); ++i)
        EXPECT_LT(sent[i - 1], sent[i]) << "positions go forward only";
}

TEST_F(TelemetryTest, LoadingAFolderResetsTheGraphAndTheMapRoute)
{
    CTestCard card(CardWithTracks());
    CTestCard other({{QStringLiteral("20130512_090000N.avi"), ClipKind::Avi, QStringLiteral("090000.000")}});
    ASSERT_TRUE(card.IsValid() && other.IsValid());
    OpenWithRoutes(card);
    SendKey(m_graph, Qt::Key_PageUp);
    Publish(8);
    ASSERT_TRUE(WaitFor([this] { return PagePosition() == 2; }, kPageWaitMs));
    m_graph->grab();
    ASSERT_EQ(m_graph->Zoom(), 2u);
    ASSERT_GT(m_graph->MarkerX(), 0);

    LoadCard(other);
    EXPECT_EQ(m_graph->HasData(), 0);
    EXPECT_TRUE(m_graph->FrameToSample().IsEmpty());
    EXPECT_EQ(m_graph->Zoom(), 1u);
    EXPECT_EQ(m_graph->MarkerX(), -1);
    EXPECT_EQ(RedColumns(m_graph->grab().toImage()).first, -1) << "no marker after the reset";
    EXPECT_EQ(m_map->IsRouteLoaded(), 0);
    EXPECT_TRUE(m_map->FrameToFix().IsEmpty()) << "no speed and heading of the old folder";
    // The page with the old folder's routes gives way to the idle page.
    ASSERT_TRUE(
        WaitFor([this] { return m_map->Page() == CMapView::PageKind::Idle && m_map->IsPageComplete(); },
                kPageWaitMs));
    EXPECT_EQ(m_requested->at(m_requested->size() - 1).at(0).value<CMapView::PageKind>(),
              CMapView::PageKind::Idle);
}

TEST_F(TelemetryTest, DisplayPositionOffStopsPositionCallsAndOnResumesThem)
{
    CTestCard card(CardWithTracks());
    ASSERT_TRUE(card.IsValid());
    OpenWithRoutes(card);

    ASSERT_TRUE(m_frame->Command(ID_MAP_POSITION_OFF));
    EXPECT_FALSE(m_frame->Action(ID_MAP_POSITION_OFF)->isEnabled());
    EXPECT_TRUE(m_frame->Action(ID_MAP_POSITION_ON)->isEnabled());
    const int calls = static_cast<int>(Calls().size());
    for (qint64 frame : {3, 8, 12})
        Publish(frame);
    QTest::qWait(300);
    EXPECT_EQ(Calls().size(), calls) << "the position stays while playing";
    EXPECT_EQ(m_map->ShownFix(), 0);
    EXPECT_EQ(PagePosition(), 0);

    ASSERT_TRUE(m_frame->Command(ID_MAP_POSITION_ON));
    EXPECT_FALSE(m_frame->Action(ID_MAP_POSITION_ON)->isEnabled());
    Publish(13);
    ASSERT_TRUE(WaitFor([this] { return PagePosition() == 2; }, kPageWaitMs));
    EXPECT_EQ(Calls().mid(calls).filter(QStringLiteral("setCurrentPosition(")),
              QStringList{QStringLiteral("setCurrentPosition(2)")});
}

TEST_F(TelemetryTest, GoogleMapShowsTheIdlePageUntilTheNextRecordingIsOpened)
{
    CTestCard card(CardWithTracks());
    ASSERT_TRUE(card.IsValid());
    OpenWithRoutes(card);
    const QString base = m_root->LocalWebServer()->BaseUrl();

    m_requested->clear();
    ASSERT_TRUE(m_frame->Command(ID_MAP_GOOGLE_MAP));
    EXPECT_EQ(m_frame->MapView()->MapPage(), MapPageUrl(base));
    ASSERT_TRUE(WaitFor([this] { return m_requested->size() >= 2; }, kPageWaitMs));
    EXPECT_EQ(m_requested->at(0).at(0).value<CMapView::PageKind>(), CMapView::PageKind::Loading);
    EXPECT_EQ(m_requested->at(1).at(0).value<CMapView::PageKind>(), CMapView::PageKind::Idle);
    EXPECT_EQ(m_map->MapPageDue(), 1);

    ASSERT_TRUE(OpenAndWaitForRoutes(1)) << "the map page returns with the next recording opened";
    EXPECT_EQ(m_map->url().toString(), MapPageUrl(base));
    EXPECT_EQ(m_map->FrameToFix().Find(0), 0);
}

TEST_F(TelemetryTest, DeletingTheLastRecordingTakesItsRouteOffTheMap)
{
    CTestCard card({CardWithTracks().front()});
    ASSERT_TRUE(card.IsValid());
    OpenWithRoutes(card);
    m_requested->clear();
    m_list->selectRow(0);
    m_prompt.QueueAnswer(PromptAnswer::Yes);
    ASSERT_TRUE(m_list->Command(32907));
    EXPECT_EQ(m_doc->Count(), 0);
    ASSERT_TRUE(WaitFor([this] { return m_map->Page() == CMapView::PageKind::Idle; }, kPageWaitMs));
    EXPECT_EQ(m_map->IsRouteLoaded(), 0);
    EXPECT_EQ(m_graph->HasData(), 0);
}

TEST_F(TelemetryTest, KeysReachTheGraphFromEveryPaneAndTheGraphReachesTheControlBar)
{
    CTestCard card(ThreeRecordings());
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    ASSERT_TRUE(OpenRow(0));
    m_list->setFocus();

    SendKey(m_list, Qt::Key_Right);
    EXPECT_EQ(m_ctl->Position(), 1) << "list";
    SendKey(m_frame->ControlBar(), Qt::Key_End);
    EXPECT_EQ(m_ctl->Position(), kMp4Frames) << "control bar";
    SendKey(m_play, Qt::Key_Left);
    EXPECT_EQ(m_ctl->Position(), kMp4Frames - 1) << "video pane";
    SendKey(m_map, Qt::Key_Home);
    EXPECT_EQ(m_ctl->Position(), 0) << "map";
    EXPECT_EQ(ShownFrame(), 0) << "the video follows the graph's seek";

    SendKey(m_map, Qt::Key_Space);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Running) << "Space in the map plays";
    SendKey(m_list, Qt::Key_Space);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused) << "Space in the list pauses";

    // The graph hands Up, Down and Delete to the control bar.
    CPlayControlView *bar = m_frame->ControlBar();
    const int volume = bar->VolumeSlider()->GetPos();
    SendKey(m_graph, Qt::Key_Down);
    EXPECT_NE(bar->VolumeSlider()->GetPos(), volume);
    ASSERT_TRUE(bar->IsSoundOn());
    SendKey(m_graph, Qt::Key_Delete);
    EXPECT_FALSE(bar->IsSoundOn());
    SendKey(m_list, Qt::Key_Delete);
    EXPECT_TRUE(bar->IsSoundOn()) << "Delete in the list only toggles the sound";
    EXPECT_EQ(m_list->RowCount(), 3);

    // The right button in the map opens the main window's "Map(&M)" menu.
    QMenu *mapMenu = m_frame->MenuPopups().value(3);
    ASSERT_NE(mapMenu, nullptr);
    QWidget *input = m_map->focusProxy() ? m_map->focusProxy() : m_map;
    const QPoint at(40, 40);
    QMouseEvent press(QEvent::MouseButtonPress, at, input->mapToGlobal(at), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(input, &press);
    ASSERT_TRUE(WaitFor([&] { return mapMenu->isVisible(); }, 5000));
    EXPECT_EQ(mapMenu->title(), QStringLiteral("Map(&M)"));
    mapMenu->close();
}

TEST_F(TelemetryTest, TheTimeRowIsTheFirstPanesTime)
{
    CTestCard card(ThreeRecordings());
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    ASSERT_TRUE(OpenRow(0)); // 10 pictures a second from 08:30:00.000
    const auto timeRow = [this] { return m_graph->FrameParts().strClock; };
    const auto timeOf = [](int frame) {
        return QStringLiteral("08:30:%1.%2").arg(frame / 10, 2, 10, QLatin1Char('0')).arg(frame % 10 * 100, 3, 10,
                                                                                          QLatin1Char('0'));
    };
    SendKey(m_graph, Qt::Key_Right);
    ASSERT_EQ(timeRow(), timeOf(1));
    ASSERT_TRUE(m_frame->Command(ID_VIEW_X4));
    for (int frame : {2, 3}) {
        SendKey(m_graph, Qt::Key_Right);
        EXPECT_EQ(m_graph->FrameParts().strFrame, GraphFrameText(frame, kMp4Frames));
        EXPECT_EQ(timeRow(), timeOf(frame));
    }
    ASSERT_TRUE(m_frame->Command(ID_MEDIA_TO_END));
    EXPECT_EQ(m_play->Session()->Pane(0)->ShownFrame(), kMp4Frames - 4);
    EXPECT_EQ(timeRow(), timeOf(kMp4Frames - 4));
    ASSERT_TRUE(m_frame->Command(ID_VIEW_SINGLE));
    EXPECT_EQ(timeRow(), timeOf(kMp4Frames - 4));
}

TEST_F(TelemetryTest, ClosingTheWindowStopsTheLoopbackServer)
{
    const CLocalWebServer *server = m_root->LocalWebServer();
    ASSERT_TRUE(server && server->IsRunning());
    const quint16 port = server->Port();
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(socket.waitForConnected(5000)) << "the server answers while the window is open";
    }
    ASSERT_TRUE(
        WaitFor([this] { return m_map->Page() == CMapView::PageKind::Idle && m_map->IsPageComplete(); },
                kPageWaitMs));
    m_root.reset();
    m_frame = nullptr;
    m_ctl = nullptr;

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_FALSE(socket.waitForConnected(2000)) << "the port is closed";
#ifdef Q_OS_LINUX
    // And its thread is gone: its run has ended, and the system thread ends a moment later (once
    // its thread-local data is cleaned up).
    const auto serverThreadAlive = [] {
        for (const QString &task :
             QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("pellister-www"))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(WaitFor([&] { return !serverThreadAlive(); }, 5000));
#endif
}
