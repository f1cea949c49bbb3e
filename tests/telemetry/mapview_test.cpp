// The map pane in headless Qt WebEngine against the real map page, served by the viewer's own
// loopback server: the sequence of pages, the exact call strings the page receives (it records
// them), position updates during playback, "Display position off", the keys, and going offline
// and back.
#include "fixtures/wait.h"
#include "telemetry/mapview.h"

#include "catalogue/corvanadoc.h"
#include "fixtures/openedrecording.h"
#include "fixtures/testfiles.h"
#include "qstringprint.h"
#include "telemetry/localwebserver.h"
#include "version.h"

#include <QApplication>
#include <QBuffer>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QSet>
#include <QPainter>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 20000; // a first page load in a fresh browser process takes a while

QApplication *App()
{
    static int argc = 1;
    static char name[] = "mapview_test";
    static char *argv[] = {name, nullptr};
    static QApplication *app = [] {
        if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
        CMapView::PrepareProcess(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
        return new QApplication(argc, argv);
    }();
    return app;
}

// The same, for a number of milliseconds in which nothing may happen.
void Idle(int ms)
{
    QTest::qWait(ms);
}

// Keeps the browser on this machine: whatever the page asks of any other host (map tiles) fails,
// as it would offline.
class LoopbackOnly : public QWebEngineUrlRequestInterceptor
{
public:
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const QUrl url = info.requestUrl();
        const bool local = url.scheme() == QLatin1String("qrc") || url.scheme() == QLatin1String("data") ||
                           url.host() == QLatin1String("127.0.0.1");
        if (!local) {
            blocked.append(url.toString());
            info.block(true);
        }
    }
    QStringList blocked;
};

// The fixes of the generated recordings, as the viewer formats them.
const char *const kFix0 = "new GLatLng(37.552057, 126.976130)";
const char *const kFix1 = "new GLatLng(37.552500, 126.976667)";
const char *const kFix2 = "new GLatLng(37.553000, 126.977333)";
const char *const kOther = "new GLatLng(35.179553, 129.075642)";

class MapView : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ASSERT_TRUE(dir.isValid());
        // Recording 0: three fixes a second apart from its sync time. Recording 1, a day later:
        // one fix.
        ASSERT_TRUE(testfiles::Write(dir.filePath("A.avi"), "clip"));
        ASSERT_TRUE(testfiles::WriteLines(
            dir.filePath("data/A.dat"), {"$SYNCTIME,083015.000,130512,",
                                         "$GPRMC,083015.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,",
                                         "$GPRMC,083016.000,A,3733.1500,N,12658.6000,E,22.0,88.0,120513,,",
                                         "$GPRMC,083017.000,A,3733.1800,N,12658.6400,E,23.0,90.0,120513,,"}));
        ASSERT_TRUE(testfiles::Write(dir.filePath("B.avi"), "clip"));
        ASSERT_TRUE(testfiles::WriteLines(dir.filePath("data/B.dat"),
                                          {"$SYNCTIME,090000.000,130513,",
                                           "$GPRMC,090000.000,A,3510.7732,N,12904.5385,E,0.0,0.0,130513,,"}));
        doc.SetFolder(dir.path());
        doc.LoadFolder();
        ASSERT_EQ(doc.Count(), 2);

        server = std::make_unique<CLocalWebServer>(testfiles::SourceDir() + "/server/www");
        ASSERT_TRUE(server->Start()) << server->ErrorString().toStdString();
        view = std::make_unique<CMapView>(&doc, &telemetry);
        // No tiles: the test talks to nothing but the loopback server.
        view->SetMapPage(MapPageUrl(server->BaseUrl()) + "?tiles=none");
        // A seek asked for by the map comes back to it as the controller tells it.
        QObject::connect(view.get(), &CMapView::SeekRequested, [this](qint64 frame) {
            position = frame;
            view->OnPositionChanged({frame, frame * 333333, view.get()});
        });
        Open(0);
        view->page()->profile()->setUrlRequestInterceptor(&interceptor);
        view->SetServerBase(server->BaseUrl());
        view->resize(373, 373);
        view->show();
        requested = std::make_unique<QSignalSpy>(view.get(), &CMapView::PageRequested);
        completed = std::make_unique<QSignalSpy>(view.get(), &CMapView::PageCompleted);
    }

    void TearDown() override
    {
        if (view)
            view->page()->profile()->setUrlRequestInterceptor(nullptr);
        view.reset();
        QTest::qWait(50);
    }

    QList<CMapView::PageKind> Requested() const
    {
        QList<CMapView::PageKind> kinds;
        for (const QList<QVariant> &args : *requested)
            kinds << args.at(0).value<CMapView::PageKind>();
        return kinds;
    }

    // Runs a script in the page and returns its result.
    QVariant Evaluate(const QString &script)
    {
        QVariant result;
        bool done = false;
        view->page()->runJavaScript(script, [&](const QVariant &v) {
            result = v;
            done = true;
        });
        EXPECT_TRUE(WaitFor([&] { return done; })) << script.toStdString();
        return result;
    }

    QStringList Calls()
    {
        const QVariant v = Evaluate(QStringLiteral("JSON.stringify(window.__calls || null)"));
        QStringList calls;
        for (const QJsonValue &c : QJsonDocument::fromJson(v.toString().toUtf8()).array())
            calls << c.toString();
        return calls;
    }

    QJsonObject State()
    {
        const QVariant v = Evaluate(QStringLiteral("JSON.stringify(window.__mapState())"));
        return QJsonDocument::fromJson(v.toString().toUtf8()).object();
    }

    // Start-up until the routes are in the map page.
    void OpenWithRoutes()
    {
        QSignalSpy routes(view.get(), &CMapView::RoutesLoaded);
        view->SetMapPageDue(1); // as after a recording was opened from the list
        view->OnInitialUpdate();
        ASSERT_TRUE(WaitFor([&] { return view->Page() == CMapView::PageKind::Map && view->IsRouteLoaded(); }))
            << "page " << static_cast<int>(view->Page());
    }

    // What the playback controller tells the pane when recording `index` opens (90 frames at 30
    // a second) or none is open; the tables are the recording's, as the controller builds them.
    void Open(int index)
    {
        view->OnRecordingOpened(fixtures::OpenedRecording(doc, index, 333333, 90, &telemetry));
    }
    void Close()
    {
        telemetry.Clear();
        view->OnRecordingClosed();
    }

    void PublishFrame(int64_t frame)
    {
        position = frame;
        QObject player; // another view publishes the frame
        view->OnPositionChanged({frame, frame * 333333, &player});
    }

    QTemporaryDir dir;
    CCorvanaDoc doc;
    CRecordingTelemetry telemetry;
    int64_t position = 0;
    LoopbackOnly interceptor;
    std::unique_ptr<CLocalWebServer> server;
    std::unique_ptr<CMapView> view;
    std::unique_ptr<QSignalSpy> requested;
    std::unique_ptr<QSignalSpy> completed;
};

TEST(MapViewBrowser, SandboxIsTurnedOffOnlyForRoot)
{
    const struct {
        bool root;
        bool headless;
        QByteArray flags;
    } cases[] = {
        {false, false, ""},
        {false, true, "--disable-gpu"},
        {true, false, "--no-sandbox --disable-gpu"},
        {true, true, "--no-sandbox --disable-gpu"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CMapView::BrowserFlagsFor(c.root, c.headless), c.flags) << c.root << c.headless;
}

TEST_F(MapView, LoadingPageThenMapPageWithEveryCallInOrder)
{
    OpenWithRoutes();
    EXPECT_EQ(Requested().value(0), CMapView::PageKind::Loading);
    EXPECT_EQ(Requested().value(1), CMapView::PageKind::Map);
    EXPECT_EQ(view->MapPageDue(), 1) << "set again by the route load";
    const QStringList expected = {
        "initWholeRoute()",
        QString("createContentMarker(%1, 0, new Array('2013/05/12', '08:30:15'))").arg(kFix0),
        QString("createContentMarker(%1, 1, new Array('2013/05/13', '09:00:00'))").arg(kOther),
        "initSingleRoute()",
        "clearHomeMarker()",
        QString("createMarker(%1, 0, new Array('2013/05/12', '08:30:15'))").arg(kFix0),
        QString("createMarker(%1, 1, new Array('2013/05/12', '08:30:16'))").arg(kFix1),
        QString("createMarker(%1, 2, new Array('2013/05/12', '08:30:17'))").arg(kFix2),
        QString("setMapPosition(%1)").arg(kFix0),
        "setCurrentPosition(0)",
        QString("setMapPosition(%1)").arg(kFix0),
    };
    ASSERT_TRUE(WaitFor([&] { return Calls().size() >= expected.size(); }));
    EXPECT_EQ(Calls(), expected);

    const QJsonObject st = State();
    EXPECT_EQ(st.value("starts").toArray().size(), 2);
    EXPECT_EQ(st.value("route").toArray().size(), 3);
    EXPECT_EQ(st.value("current").toObject().value("index").toInt(), 0);
    EXPECT_TRUE(st.value("offline").toBool()) << "no tiles were asked for";
    // The frame-to-fix table: frame 30 starts 999 ms in, so fix 1 (1000 ms) is its fix; frame 90
    // starts at 2999 ms, with no fix in the second after it.
    EXPECT_EQ(view->FrameToFix(), BuildFrameToFix(doc.RecordRef(0), 333333, 90).frameToFix);
    EXPECT_EQ(view->FrameToFix().Find(30), 1);
    EXPECT_EQ(view->FrameToFix().Find(60), 2);
    EXPECT_EQ(view->FrameToFix().Find(90), -1);
}

TEST_F(MapView, NaverPagePassesTheCoordinateTexts)
{
    view->SetMapPage(NaverMapPageUrl(server->BaseUrl()));
    OpenWithRoutes();
    EXPECT_EQ(view->Flavour(), MapFlavour::Naver);
    ASSERT_TRUE(WaitFor([&] { return Calls().size() >= 11; }));
    const QStringList calls = Calls();
    EXPECT_EQ(calls.value(1), "createContentMarker(new NLatLng(37.552057, 126.976130), 0, "
                              "new Array('2013/05/12', '08:30:15'))");
    EXPECT_EQ(calls.value(6), "createMarker(new NLatLng(37.552500, 126.976667), 1, "
                              "new Array('2013/05/12', '08:30:16'))");
    EXPECT_EQ(calls.value(10), "setMapPosition(new NLatLng(37.552057, 126.976130))");
    // The page asked for OpenStreetMap tiles; none came, and it went on over the outline.
    ASSERT_TRUE(WaitFor([&] { return State().value("offline").toBool(); }));
    EXPECT_FALSE(interceptor.blocked.isEmpty());
}

TEST_F(MapView, AMapPageWithoutServerIsLookedForOnTheServer)
{
    view->SetMapPage(QStringLiteral("corvana_mapview/google_map_world.html?tiles=none"));
    OpenWithRoutes();
    EXPECT_EQ(view->url().toString(), server->BaseUrl() + "corvana_mapview/google_map_world.html?tiles=none");
    EXPECT_EQ(view->Flavour(), MapFlavour::Google);
}

TEST_F(MapView, OnlineWithTilesFromALoopbackTileServer)
{
    // A stand-in tile server: the same small picture for every tile.
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor(230, 236, 222));
    QPainter(&tile).drawRect(0, 0, 255, 255);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    tile.save(&buffer, "PNG");
    QHttpServer tiles;
    int served = 0;
    tiles.route("/tiles/<arg>/<arg>/<arg>", [&](int, int, const QString &) {
        ++served;
        return QHttpServerResponse("image/png", png);
    });
    const quint16 port = tiles.listen(QHostAddress::LocalHost, 0);
    ASSERT_NE(port, 0);
    const QString templ = QString("http://127.0.0.1:%1/tiles/{z}/{x}/{y}.png").arg(port);
    view->SetMapPage(MapPageUrl(server->BaseUrl()) + "?tiles=" + QUrl::toPercentEncoding(templ));

    OpenWithRoutes();
    ASSERT_TRUE(WaitFor([&] { return State().value("tilesLoaded").toInt() > 0; }));
    const QJsonObject st = State();
    EXPECT_FALSE(st.value("offline").toBool());
    EXPECT_EQ(st.value("zoom").toInt(), 15) << "online, the route is shown at street level";
    EXPECT_GT(served, 0);
}

TEST_F(MapView, TilesSeenOnlineShowAgainAfterTheTileServerHasGone)
{
    // A tile server that, as real ones do, lets its tiles be kept for a day.
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor(40, 150, 90));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    tile.save(&buffer, "PNG");
    auto tiles = std::make_unique<QHttpServer>();
    QSet<QByteArray> agents;
    int served = 0;
    tiles->route("/tiles/<arg>/<arg>/<arg>", [&](int, int, const QString &, const QHttpServerRequest &request) {
        ++served;
        agents.insert(request.value("User-Agent"));
        QHttpServerResponse response("image/png", png);
        response.setHeader("Cache-Control", "public, max-age=86400");
        return response;
    });
    const quint16 port = tiles->listen(QHostAddress::LocalHost, 0);
    ASSERT_NE(port, 0);
    const QString templ = QString("http://127.0.0.1:%1/tiles/{z}/{x}/{y}.png").arg(port);
    CMapView::SetTileSource(templ, QString());
    view->SetMapPage(MapPageUrl(server->BaseUrl()));

    // The viewer's own kind of profile, its files in a folder of the test's.
    QTemporaryDir profileDir;
    ASSERT_TRUE(profileDir.isValid());
    std::unique_ptr<QWebEngineProfile> profile;
    const auto openView = [&] {
        if (view)
            view->page()->profile()->setUrlRequestInterceptor(nullptr);
        requested.reset();
        completed.reset();
        view.reset();
        profile.reset(CMapView::MakeCachingProfile(profileDir.path(), 8 << 20, nullptr));
        profile->setUrlRequestInterceptor(&interceptor);
        CMapView::SetBrowserProfile(profile.get());
        view = std::make_unique<CMapView>(&doc, &telemetry);
        CMapView::SetBrowserProfile(nullptr);
        view->SetMapPage(MapPageUrl(server->BaseUrl()));
        view->SetServerBase(server->BaseUrl());
        Open(0);
        view->resize(373, 373);
        view->show();
    };
    // The route at street level with every tile the map asked for in place; returns the tiles
    // shown (their addresses), empty when they did not all come.
    const auto tilesShown = [&] {
        OpenWithRoutes();
        const QString complete = "Array.from(document.querySelectorAll('img.leaflet-tile'))"
                                 ".every((t) => t.complete && t.naturalWidth == 256)";
        const bool all = WaitFor([&] {
            return Evaluate("document.querySelectorAll('img.leaflet-tile').length > 0 && " + complete +
                            " && window.__mapState().zoom == 15")
                .toBool();
        });
        QStringList shown = Evaluate("Array.from(document.querySelectorAll('img.leaflet-tile'))"
                                     ".map((t) => t.src).sort().join(' ')")
                                .toString()
                                .split(' ', Qt::SkipEmptyParts);
        return all ? shown : QStringList();
    };

    openView();
    EXPECT_EQ(profile->httpCacheMaximumSize(), 8 << 20);
    const QStringList online = tilesShown();
    ASSERT_FALSE(online.isEmpty());
    EXPECT_EQ(QUrlQuery(view->url()).queryItemValue("tiles", QUrl::FullyDecoded), templ);
    EXPECT_GT(served, 0);
    ASSERT_EQ(agents.size(), 1);
    EXPECT_EQ(agents.values().front(), QByteArray("Pellister/") + PELLISTER_VERSION_STRING +
                                           " (Corvana map view; +http://www.pellister.com)");

    // The tile server goes; a new view on a new profile of the same folder (the viewer started
    // again) shows the same tiles, from the disk cache, and stays on them.
    tiles.reset();
    const int servedOnline = served;
    openView();
    const QStringList offline = tilesShown();
    EXPECT_EQ(offline, online);
    const QJsonObject st = State();
    EXPECT_FALSE(st.value("offline").toBool());
    EXPECT_EQ(st.value("tileErrors").toInt(), 0);
    EXPECT_GT(st.value("tilesLoaded").toInt(), 0);
    EXPECT_EQ(served, servedOnline);

    CMapView::SetTileSource(QString(), QString());
    view->page()->profile()->setUrlRequestInterceptor(nullptr);
    view.reset(); // before its profile
    profile.reset();
}

TEST_F(MapView, TablesOfAnotherRecordingAreNotKept)
{
    OpenWithRoutes();
    ASSERT_FALSE(view->FrameToFix().IsEmpty());
    // The list opens recording 1 (a single fix): the map reads its tables, not recording 0's, and
    // shows no route for one fix.
    Open(1);
    view->StartMapLoad();
    EXPECT_EQ(view->FrameToFix(), BuildFrameToFix(doc.RecordRef(1), 333333, 90).frameToFix);
    ASSERT_TRUE(WaitFor([&] { return view->Page() == CMapView::PageKind::Idle; }));
    EXPECT_FALSE(view->IsRouteLoaded());
}

TEST_F(MapView, PositionFollowsPlaybackAndStopsWhenSwitchedOff)
{
    OpenWithRoutes();
    ASSERT_TRUE(WaitFor([&] { return Calls().size() == 11; }));

    PublishFrame(10); // still fix 0: only a table lookup, nothing sent
    PublishFrame(30);
    PublishFrame(60);
    ASSERT_TRUE(WaitFor([&] { return State().value("current").toObject().value("index").toInt() == 2; }));
    const QStringList calls = Calls();
    // Updates coalesce: fix 1 may be skipped, but the page ends on fix 2 and gets nothing else.
    const QStringList tail = calls.mid(11);
    ASSERT_GE(tail.size(), 2);
    EXPECT_EQ(tail.mid(tail.size() - 2),
              QStringList({"setCurrentPosition(2)", QString("setMapPosition(%1)").arg(kFix2)}));
    for (const QString &c : tail)
        EXPECT_TRUE(c.startsWith("setCurrentPosition(") || c.startsWith("setMapPosition("))
            << c.toStdString();
    EXPECT_EQ(view->ShownFix(), 2);

    // "Display position off": the position stays where it is during playback.
    view->SetPositionOn(0);
    PublishFrame(30);
    Idle(300);
    EXPECT_EQ(Calls().size(), calls.size());
    EXPECT_EQ(view->ShownFix(), 2);
}

TEST_F(MapView, LeftAndRightStepThroughTheFixes)
{
    OpenWithRoutes();
    QWidget *input = view->focusProxy() ? view->focusProxy() : view.get();
    QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(input, &left);
    EXPECT_EQ(view->ShownFix(), 0) << "no fix before the first";
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(input, &right);
    EXPECT_EQ(view->ShownFix(), 1);
    EXPECT_EQ(position, view->FixToFrame().Find(1)) << "the last frame of fix 1";
    QApplication::sendEvent(input, &right);
    QApplication::sendEvent(input, &right);
    EXPECT_EQ(view->ShownFix(), 2) << "Right at the last fix does nothing";
    // Left and Right move the position even with the position display off.
    view->SetPositionOn(0);
    QApplication::sendEvent(input, &left);
    EXPECT_EQ(view->ShownFix(), 1);
}

TEST_F(MapView, F5IsSwallowed)
{
    OpenWithRoutes();
    QSignalSpy loads(view.get(), &QWebEngineView::loadStarted);
    QWidget *input = view->focusProxy() ? view->focusProxy() : view.get();
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    EXPECT_TRUE(QApplication::sendEvent(input, &f5));
    Idle(300);
    EXPECT_EQ(loads.count(), 0);
}

TEST_F(MapView, GoogleMapCommandShowsTheIdlePage)
{
    OpenWithRoutes();
    requested->clear();
    view->SetMapPageDue(0); // what the "Google Map" command does before StartMapLoad
    view->StartMapLoad();
    ASSERT_TRUE(WaitFor([&] { return Requested().contains(CMapView::PageKind::Idle); }));
    EXPECT_EQ(Requested().first(), CMapView::PageKind::Loading);
    EXPECT_EQ(view->MapPageDue(), 1);
}

TEST_F(MapView, TheDecisionHoldsWhenTheCheckAnswersAfterTheLoadingPage)
{
    OpenWithRoutes();
    // A server whose root answers only when the test lets it: long after the loading page has
    // completed and a route load 100 ms after it would have run.
    QTcpServer slow;
    ASSERT_TRUE(slow.listen(QHostAddress::LocalHost, 0));
    view->SetServerBase(QString("http://127.0.0.1:%1/").arg(slow.serverPort()));
    requested->clear();
    completed->clear();
    QSignalSpy routes(view.get(), &CMapView::RoutesLoaded);

    view->SetMapPageDue(0); // what the "Google Map" command does before StartMapLoad
    view->StartMapLoad();
    ASSERT_TRUE(WaitFor([&] { return !completed->isEmpty() && slow.hasPendingConnections(); }));
    EXPECT_EQ(completed->first().at(0).value<CMapView::PageKind>(), CMapView::PageKind::Loading);
    Idle(400);
    EXPECT_TRUE(routes.isEmpty()) << "nothing is loaded into the loading page";
    QTcpSocket *check = slow.nextPendingConnection();
    ASSERT_TRUE(WaitFor([&] { return check->bytesAvailable() > 0 || check->waitForReadyRead(10); }));
    check->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    check->flush();
    ASSERT_TRUE(WaitFor([&] { return requested->size() >= 2; }));
    EXPECT_EQ(requested->at(1).at(0).value<CMapView::PageKind>(), CMapView::PageKind::Idle);
    EXPECT_EQ(view->MapPageDue(), 1);
}

TEST_F(MapView, OfflineWhileTheServerIsDownAndBackAfterTheRetry)
{
    OpenWithRoutes();
    const quint16 port = server->Port();
    server->Stop();
    requested->clear();
    view->StartMapLoad();
    ASSERT_TRUE(WaitFor([&] { return view->Page() == CMapView::PageKind::Offline; }));
    EXPECT_EQ(view->IsOnline(), 0);

    // The server comes back on the same address; within the 5-second retry the map returns.
    ASSERT_TRUE(server->Start(port)) << server->ErrorString().toStdString();
    ASSERT_TRUE(WaitFor([&] { return view->Page() == CMapView::PageKind::Map && view->IsRouteLoaded(); }));
    const QList<CMapView::PageKind> pages = Requested();
    ASSERT_GE(pages.size(), 4);
    EXPECT_EQ(pages.mid(0, 2),
              QList<CMapView::PageKind>({CMapView::PageKind::Loading, CMapView::PageKind::Offline}));
    EXPECT_EQ(pages.mid(pages.size() - 2),
              QList<CMapView::PageKind>({CMapView::PageKind::Loading, CMapView::PageKind::Map}));
}

TEST_F(MapView, OnlyTheLastOfQuickChecksDecides)
{
    view->SetMapPageDue(1);
    view->StartMapLoad();
    view->StartMapLoad();
    view->StartMapLoad();
    ASSERT_TRUE(WaitFor([&] { return view->IsRouteLoaded(); }));
    Idle(500);
    EXPECT_EQ(Requested().count(CMapView::PageKind::Map), 1);
    EXPECT_EQ(Requested().count(CMapView::PageKind::Idle), 0);
}

TEST_F(MapView, OneFixMeansNoRouteAndTheIdlePage)
{
    Open(1); // recording B has a single fix
    view->SetMapPageDue(1);
    view->OnInitialUpdate();
    ASSERT_TRUE(WaitFor([&] { return Requested().contains(CMapView::PageKind::Idle); }));
    EXPECT_FALSE(view->IsRouteLoaded());
}

TEST_F(MapView, ATripsRouteShowsWithOrWithoutACurrentRecording)
{
    Close();
    view->OnInitialUpdate();
    ASSERT_TRUE(WaitFor([&] { return view->Page() == CMapView::PageKind::Idle && view->IsPageComplete(); }));
    // Nothing is current, yet the map page comes for the trip's route.
    view->SetTripRoute(doc.RecordRef(0).vecGps);
    ASSERT_TRUE(WaitFor([&] { return view->Page() == CMapView::PageKind::Map && view->IsRouteLoaded(); }));
    ASSERT_TRUE(WaitFor([&] { return State().value("trip").toArray().size() == 3; }));
    EXPECT_EQ(State().value("route").toArray().size(), 0);
    // A recording opened meanwhile draws its route over the trip's, which stays.
    Open(1);
    view->LoadRoutes();
    ASSERT_TRUE(WaitFor([&] { return State().value("route").toArray().size() == 1; }));
    EXPECT_EQ(State().value("trip").toArray().size(), 3);
    view->SetTripRoute({});
    EXPECT_TRUE(WaitFor([&] { return State().value("trip").toArray().isEmpty(); }));
}

TEST_F(MapView, PageSizeAndPictureForTheReport)
{
    long w = 0, h = 0;
    EXPECT_EQ(view->GetMapPageSize(&w, &h), E_UNEXPECTED) << "no page yet";
    OpenWithRoutes();
    ASSERT_TRUE(WaitFor([&] { return view->GetMapPageSize(&w, &h) == S_OK; }));
    EXPECT_EQ(w, 373);
    EXPECT_GT(h, 0);
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(Qt::black);
    EXPECT_TRUE(view->DrawMapToImage(&image));
}

} // namespace
