// Runs the main window on a recording folder under a real (virtual) display, walks through a few
// things a user does and saves a screenshot of each step, for looking at the window without
// sitting in front of it. Not a test. Usage (the folder is modified only by a copy into OUTDIR):
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" frame_demo FOLDER OUTDIR
//   xvfb-run -a -s "-screen 0 1280x1024x24" frame_demo --telemetry FOLDER OUTDIR
//
// The second form plays the first recording and photographs the G-sensor graph (zoom 1 and 8,
// with the magnifier) and the map: with tiles from a stand-in tile server on loopback, without
// tiles, with its web server stopped (the offline page) and after the retry brought it back.
// Settings go to a temporary folder for that run.
#include "fixtures/wait.h"
#include "catalogue/corvanadoc.h"
#include "playback/mediaplayview.h"
#include "skin/commandids.h"
#include "shell/contentlistview.h"
#include "skin/global.h"
#include "shell/compositionroot.h"
#include "shell/mainframe.h"
#include "skin/prompt.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/localwebserver.h"
#include "telemetry/mapscripts.h"
#include "telemetry/mapview.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <functional>

#include <clocale>
#include <cstdio>

namespace {

void Wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

QString g_outDir;
QRect g_area;

void Shot(const QString &name, const QRect &area = QRect())
{
    QCoreApplication::processEvents();
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const QString path = g_outDir + QLatin1Char('/') + name;
    screen.copy(area.isNull() ? g_area : area).save(path);
    std::printf("%s\n", qPrintable(path));
}

// A pane's rectangle on the screen.
QRect ScreenRect(const QWidget *w)
{
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// A stand-in for a tile server: light "blocks" between white streets, so that the map looks like
// a town plan (not like the real town).
QByteArray StandInTile(int x, int y)
{
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor(242, 239, 233));
    QPainter p(&tile);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i <= 4; ++i) {
        const int at = i * 64 + ((x * 7 + y * 3 + i) % 5) * 4;
        p.setPen(QPen(QColor(200, 196, 188), 9));
        p.drawLine(at, 0, at, 256);
        p.drawLine(0, at, 256, at);
        p.setPen(QPen(Qt::white, 7));
        p.drawLine(at, 0, at, 256);
        p.drawLine(0, at, 256, at);
    }
    p.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    tile.save(&buffer, "PNG");
    return png;
}

void PressRight(QWidget *w, const QPoint &at, bool down)
{
    QCursor::setPos(w->mapToGlobal(at));
    QMouseEvent e(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, at, w->mapToGlobal(at),
                  Qt::RightButton, down ? Qt::RightButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

// Real message boxes, photographed and then answered; folders come from the script.
class CDemoPrompt : public IPrompt
{
public:
    explicit CDemoPrompt(QString folder) : m_folder(std::move(folder)) {}
    QString nextShot;

    PromptAnswer ShowMessage(QWidget *parent, const QString &text, PromptButtons buttons, bool) override
    {
        QMessageBox box(
            QMessageBox::Information, QString::fromLatin1(kPromptCaption), text,
            buttons == PromptButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent);
        const QString shot = nextShot;
        nextShot.clear();
        QTimer::singleShot(700, &box, [&box, shot] {
            if (!shot.isEmpty())
                Shot(shot);
            box.done(QMessageBox::No);
        });
        box.exec();
        return PromptAnswer::No;
    }
    tagFOLDERCHOICE ChooseFolder(QWidget *, const QString &, const QString &) override
    {
        return {true, m_folder};
    }

private:
    QString m_folder;
};

// The graph and the map while a recording plays; see the file's head.
int RunTelemetry(const QString &folder)
{
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("PellisterDemo"));
    QCoreApplication::setApplicationName(QStringLiteral("frame_demo"));

    // The map pages come from a server of the demo's own, so that it can be stopped.
    CLocalWebServer www(CLocalWebServer::DefaultRootFolder());
    if (!www.Start()) {
        std::fprintf(stderr, "frame_demo: %s\n", qPrintable(www.ErrorString()));
        return 1;
    }
    QSettings().setValue(QStringLiteral("server"), www.BaseUrl());
    QHttpServer tiles;
    tiles.route(QStringLiteral("/tiles/<arg>/<arg>/<arg>"), [](int, int x, const QString &y) {
        return QHttpServerResponse("image/png", StandInTile(x, y.section(QLatin1Char('.'), 0, 0).toInt()));
    });
    const quint16 tilePort = tiles.listen(QHostAddress::LocalHost, 0);
    const QString tileTemplate = QStringLiteral("http://127.0.0.1:%1/tiles/{z}/{x}/{y}.png").arg(tilePort);

    CDemoPrompt prompt(g_outDir + QStringLiteral("/copy"));
    CPromptScope scope(prompt);
    CCorvanaDoc doc;
    CCompositionRoot viewer(&doc);
    CMainFrame &frame = *viewer.Frame();
    frame.move(0, 0);
    frame.show();
    Wait(500);
    g_area = frame.frameGeometry();
    CAccelSensorGraphView *graph = frame.GraphView();
    CMapView *map = frame.MapView();
    viewer.SetFolderAndLoad(folder);
    Wait(1500);

    int routeLoads = 0;
    QObject::connect(map, &CMapView::RoutesLoaded, [&routeLoads] { ++routeLoads; });
    auto openWithRoutes = [&](int row, const QString &page) {
        map->SetMapPage(page);
        const int before = routeLoads;
        frame.ListView()->Open(row);
        if (!WaitFor([&] { return routeLoads > before; }, 20000))
            std::fprintf(stderr, "frame_demo: the routes did not load (page %d)\n",
                         static_cast<int>(map->Page()));
    };
    const QString mapPage = MapPageUrl(www.BaseUrl());
    // The second recording drives through town; its route shows at street level.
    openWithRoutes(1, mapPage + QStringLiteral("?tiles=") +
                          QString::fromLatin1(QUrl::toPercentEncoding(tileTemplate)));
    Wait(1500); // tiles

    frame.Command(ID_MEDIA_PLAY);
    Wait(6000);
    Shot(QStringLiteral("t01-playing-zoom1.png"));
    Shot(QStringLiteral("t01-graph-zoom1.png"), ScreenRect(graph));
    Shot(QStringLiteral("t01-map-tiles.png"), ScreenRect(map));
    const QPoint onCurve(180 + (graph->width() - 190) / 3, graph->height() / 2);
    PressRight(graph, onCurve, true);
    Wait(200);
    Shot(QStringLiteral("t02-graph-magnifier-zoom1.png"), ScreenRect(graph));
    PressRight(graph, onCurve, false);

    for (int i = 0; i < 3; ++i) {
        QKeyEvent zoomIn(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
        QApplication::sendEvent(graph, &zoomIn);
    }
    Wait(1500);
    Shot(QStringLiteral("t03-playing-zoom8.png"));
    Shot(QStringLiteral("t03-graph-zoom8.png"), ScreenRect(graph));
    PressRight(graph, onCurve, true);
    Wait(200);
    Shot(QStringLiteral("t04-graph-magnifier-zoom8.png"), ScreenRect(graph));
    PressRight(graph, onCurve, false);
    frame.Command(ID_MEDIA_PAUSE);

    // No tiles: the route over the world outline.
    openWithRoutes(0, mapPage + QStringLiteral("?tiles=none"));
    frame.Command(ID_MEDIA_PLAY);
    Wait(3000);
    Shot(QStringLiteral("t05-map-no-tiles.png"), ScreenRect(map));
    Shot(QStringLiteral("t05-playing-no-tiles.png"));
    frame.Command(ID_MEDIA_PAUSE);

    // The server goes away: the offline page, until the retry finds it back.
    const quint16 port = www.Port();
    www.Stop();
    map->StartMapLoad();
    if (!WaitFor([&] { return map->Page() == CMapView::PageKind::Offline && map->IsPageComplete(); },
                   15000))
        std::fprintf(stderr, "frame_demo: no offline page\n");
    Wait(500);
    Shot(QStringLiteral("t06-map-offline.png"), ScreenRect(map));
    const int before = routeLoads;
    if (!www.Start(port))
        std::fprintf(stderr, "frame_demo: %s\n", qPrintable(www.ErrorString()));
    if (!WaitFor([&] { return routeLoads > before; }, 15000))
        std::fprintf(stderr, "frame_demo: the map did not come back\n");
    Wait(1000);
    Shot(QStringLiteral("t07-map-back-online.png"), ScreenRect(map));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    CMapView::PrepareProcess(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const bool telemetry = argc == 4 && QByteArray(argv[1]) == "--telemetry";
    if (argc != 3 && !telemetry) {
        std::fprintf(stderr, "usage: frame_demo [--telemetry] FOLDER OUTDIR\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[argc - 2]);
    g_outDir = QString::fromLocal8Bit(argv[argc - 1]);
    QDir().mkpath(g_outDir + QStringLiteral("/copy"));

    CGlobal skin;
    skin.LoadDefaults();
    if (telemetry)
        return RunTelemetry(folder);
    CDemoPrompt prompt(g_outDir + QStringLiteral("/copy"));
    CPromptScope scope(prompt);

    CCorvanaDoc doc;
    CCompositionRoot viewer(&doc);
    CMainFrame &frame = *viewer.Frame();
    frame.move(0, 0);
    frame.show();
    Wait(500);
    g_area = frame.frameGeometry();
    Shot(QStringLiteral("01-empty.png"));

    viewer.SetFolderAndLoad(folder);
    Wait(2500); // thumbnails fill in
    Shot(QStringLiteral("02-list.png"));

    frame.ListView()->Open(0);
    Wait(300);
    Shot(QStringLiteral("03-opened.png"));
    frame.Command(ID_MEDIA_PLAY);
    Wait(2500);
    Shot(QStringLiteral("04-playing.png"));
    frame.Command(ID_SPEED_4X);
    Wait(1500);
    Shot(QStringLiteral("05-playing-4x.png"));
    frame.Command(ID_MEDIA_PAUSE);

    QMenu *media = frame.MenuPopup(1);
    const QRect title = frame.Caption().ElementRect(CSkinCaption::ElementMenuTitle, 1);
    media->popup(frame.mapToGlobal(title.bottomLeft()));
    Wait(500);
    Shot(QStringLiteral("06-menu.png"));
    media->close();

    frame.ListView()->selectRow(1);
    prompt.nextShot = QStringLiteral("07-copy-message.png");
    frame.ListView()->Command(32906);
    prompt.nextShot = QStringLiteral("08-delete-question.png");
    frame.ListView()->Command(32907);
    Wait(300);
    return 0;
}
