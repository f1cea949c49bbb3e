// The report of a 25-pane grid at 1080p against what its pictures cost to come by, in one run, on
// Qt's offscreen platform: the time to decode the 25 pictures (one media graph, frame by frame)
// plus one picture of the map pane, and the time to print the 26-page report to PDF from the
// panes (pictures held, map grabbed, graph drawn, pages written); the PDF's size.
// Run by hand:
//   build/bench/telemetry/bench_report [OUT.pdf]
#include "catalogue/corvanadoc.h"
#include "media/audiooutput.h"
#include "media/mediagraph.h"
#include "media/nullaudiooutput.h"
#include "playback/playbackpane.h"
#include "playback/playbacksession.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/localwebserver.h"
#include "telemetry/mapscripts.h"
#include "telemetry/mapview.h"
#include "playback/playbackcontroller.h"
#include "telemetry/printview.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

constexpr int kPanes = 25;
constexpr int kStart = 40;

bool MakeRecording(const QString &folder)
{
    QDir().mkpath(folder + "/data");
    const int rc = QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30",
                                                "-frames:v", "150", "-c:v", "libx264", "-g", "30", "-pix_fmt", "yuv420p",
                                                folder + "/20130512_083000E.mp4"});
    QFile data(folder + "/data/20130512_083000E.dat");
    if (rc != 0 || !data.open(QIODevice::WriteOnly))
        return false;
    data.write("$SYNCTIME,083000.000,130512,\r\n");
    const QTime sync(8, 30, 0);
    for (int i = 0; i < 50; ++i) {
        const QTime t = sync.addMSecs(i * 100 + 7);
        data.write(QStringLiteral("$ACCELERATOR,%1,130512,%2,-0.98,0.10,\r\n")
                       .arg(t.toString("HHmmss.zzz"))
                       .arg(0.1 * ((i % 17) - 8), 0, 'f', 2)
                       .toLatin1());
        if (i % 10 == 0)
            data.write(QStringLiteral("$GPRMC,%1,A,%2,N,12658.5678,E,21.5,87.3,120513,,\r\n")
                           .arg(t.addMSecs(-7).toString("HHmmss.zzz"))
                           .arg(3733.1234 + 0.01 * i, 0, 'f', 4)
                           .toLatin1());
    }
    return true;
}

template <typename Done> bool WaitFor(Done done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    CMapView::PrepareProcess(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
    QApplication app(argc, argv);
    CAudioOutput::SetFactory([] { return std::make_unique<CNullAudioOutput>(); });

    QTemporaryDir dir;
    if (!dir.isValid() || !MakeRecording(dir.path()))
        return 1;
    const QString pdf = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath("report.pdf");
    CCorvanaDoc doc;
    doc.SetFolder(dir.path());
    doc.LoadFolder();

    CLocalWebServer server(CLocalWebServer::DefaultRootFolder());
    if (!server.Start())
        return 1;

    // Decoding the 25 pictures, before anything else has decoded (and cached) them.
    QElapsedTimer clock;
    {
        CMediaGraph graph;
        if (FAILED(graph.OpenMedia(doc.MediaPathAt(0))))
            return 1;
        clock.start();
        for (int f = kStart; f < kStart + kPanes; ++f) {
            graph.SeekToFrame(f);
            if (graph.CurrentImage().isNull())
                return 1;
        }
    }
    const double decodeMs = clock.nsecsElapsed() / 1e6;

    CPlaybackController playback(&doc);
    CPlaybackSession &session = *playback.MainSession();
    CAccelSensorGraphView graph(&doc, &playback.Telemetry());
    graph.resize(640, 180);
    CMapView map(&doc, &playback.Telemetry());
    map.resize(373, 373);
    map.SetServerBase(server.BaseUrl());
    map.SetMapPage(MapPageUrl(server.BaseUrl()));
    QObject::connect(&playback, &CPlaybackController::RecordingOpened, &graph, &CAccelSensorGraphView::OnRecordingOpened);
    QObject::connect(&playback, &CPlaybackController::RecordingOpened, &map, &CMapView::OnRecordingOpened);
    QObject::connect(&playback, &CPlaybackController::PositionChanged, &graph, &CAccelSensorGraphView::OnPositionChanged);
    QObject::connect(&playback, &CPlaybackController::PositionChanged, &map, &CMapView::OnPositionChanged);
    if (!playback.Open(0))
        return 1;
    map.show();
    graph.OnInitialUpdate();
    map.OnInitialUpdate();
    map.SetMapPageDue(1);
    map.StartMapLoad();
    graph.RebuildGraph();
    playback.Seek(kStart, nullptr);
    session.SetLayout(1, kPanes, false);
    for (int i = 0; i < kPanes; ++i)
        session.Pane(i)->SetMarked(1);
    long w = 0, h = 0;
    if (!WaitFor([&] { return map.IsRouteLoaded() && SUCCEEDED(map.GetMapPageSize(&w, &h)); }, 30000))
        std::fprintf(stderr, "the map page did not load\n");
    QTest::qWait(500);

    clock.restart();
    QImage shot(static_cast<int>(w > 0 ? w : 373), static_cast<int>(h > 0 ? h : 373), QImage::Format_ARGB32);
    map.DrawMapToImage(&shot);
    const double grabMs = clock.nsecsElapsed() / 1e6;

    CPrintView view(&playback);
    view.SetGraphSource([&graph] { return graph.size(); }, [&graph](QPainter &p) { graph.PlotGraph(p); });
    view.SetMapSource([&map] { return map.ReportPicture(10000); });
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    clock.restart();
    const bool printed = view.OnFilePrintDirect(&printer);
    const double reportMs = clock.nsecsElapsed() / 1e6;

    std::printf("pages=%d printed=%d\n", view.PageCount(), printed ? 1 : 0);
    std::printf("decode_25_pictures_ms=%.1f map_grab_ms=%.1f baseline_ms=%.1f\n", decodeMs, grabMs, decodeMs + grabMs);
    std::printf("report_ms=%.1f ratio=%.2f pdf_bytes=%lld\n", reportMs, reportMs / (decodeMs + grabMs),
                static_cast<long long>(QFileInfo(pdf).size()));
    return printed ? 0 : 1;
}
