// `report`: the viewer's printed report of a moment of a clip, written as a PDF without a window.
// The document, the playback session, the graph and map panes and the report pane are the
// viewer's own, on the offscreen platform; the map page comes from the viewer's loopback server.
#include "cli/reportcommands.h"

#include "cli/climoment.h"
#include "cli/mediacommands.h"

#include "catalogue/corvanadoc.h"
#include "media/audiooutput.h"
#include "media/nullaudiooutput.h"
#include "playback/playbackcontroller.h"
#include "playback/playbackpane.h"
#include "playback/snapshot.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/localwebserver.h"
#include "telemetry/mapscripts.h"
#include "telemetry/mapview.h"
#include "telemetry/printview.h"

#include <QApplication>
#include <QGuiApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTimer>

namespace {

// The graph pane at the main window's graph height, as wide as its panel on paper.
constexpr QSize kGraphPaneSize(640, 180);
// The map pane of the main window's left column.
constexpr QSize kMapPaneSize(373, 373);
// How long the map page may take to come up (a first page starts the browser's processes).
constexpr int kMapWaitMs = 30000;
// The report takes the map picture once the page shows the moment, or after this long.
constexpr int kMapDrawnWaitMs = 10000;

using tagREPORTARGS = tagREPORTJOB;

int Usage(QTextStream &err, const QString &why)
{
    if (!why.isEmpty())
        err << "pellister-cli: report: " << why << "\n";
    err << "pellister-cli: report: usage: report CLIP --frame N [--grid K --marked i,j,...] "
           "[--paper A4|Letter] [--landscape] [--server URL] [--track FILE.gpx] OUT.pdf\n";
    return kExitUsage;
}

int ParseArgs(const tagCLIARGS &args, tagREPORTARGS *a, QTextStream &err)
{
    if (args.IsSet("landscape"))
        a->orientation = QPageLayout::Landscape;
    if (args.IsSet("paper")) {
        const QString value = args.Value("paper");
        if (value.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0)
            a->paper = QPageSize::A4;
        else if (value.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0)
            a->paper = QPageSize::Letter;
        else
            return Usage(err, QStringLiteral("--paper must be A4 or Letter, not '%1'").arg(value));
    }
    if (args.IsSet("server")) {
        const QString value = args.Value("server");
        a->strServer = value.endsWith(QLatin1Char('/')) ? value : value + QLatin1Char('/');
    }
    QString why;
    if (!ReadMoment(args, &a->moment, &why))
        return Usage(err, why);
    a->strClip = args.positional.at(0);
    a->strOut = args.positional.at(1);
    return kExitOk;
}

// Runs the event loop until done() holds or the time is up.
template <typename Done> bool WaitFor(Done done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// The clip's place in the catalogue of its own folder, as the list would hold it; -1 when the
// folder holds no such clip.
int FindClip(CCorvanaDoc &doc, const QString &clip)
{
    const QFileInfo info(clip);
    doc.SetFolder(info.absolutePath());
    doc.SetTrackFile(CliTrackFile());
    doc.LoadFolder();
    const QString wanted = info.canonicalFilePath();
    for (int i = 0; i < doc.Count(); ++i)
        if (QFileInfo(doc.MediaPathAt(i)).canonicalFilePath() == wanted)
            return i;
    return -1;
}

} // namespace

int PrintReportOfMoment(const tagREPORTJOB &a, const char *command, QTextStream &out, QTextStream &err, int *pages)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        err << "pellister-cli: " << command << ": needs a GUI application\n";
        return kExitFailed;
    }

    CAudioOutput::SetFactory([] { return std::make_unique<CNullAudioOutput>(); });
    CCorvanaDoc doc;
    const int index = QFileInfo(a.strClip).isFile() ? FindClip(doc, a.strClip) : -1;
    if (index < 0) {
        err << "pellister-cli: cannot open '" << a.strClip << "': "
            << MediaResultText(VFW_E_NOT_FOUND) << "\n";
        return kExitFailed;
    }
    CLocalWebServer server(CLocalWebServer::DefaultRootFolder());
    QString base = a.strServer;
    if (base.isEmpty()) {
        if (!server.Start())
            err << "pellister-cli: " << command << ": the map pages cannot be served: " << server.ErrorString() << "\n";
        base = server.BaseUrl();
    }
    // The panes the report reads, as the viewer's composition root wires them: the graph and the
    // map follow what playback tells them, the report pane reads the controller.
    CPlaybackController playback(&doc);
    CAccelSensorGraphView graph(&doc, &playback.Telemetry());
    graph.resize(kGraphPaneSize);
    auto map = std::make_unique<CMapView>(&doc, &playback.Telemetry());
    map->resize(kMapPaneSize);
    map->SetServerBase(base);
    map->SetMapPage(MapPageUrl(base));
    map->SetPositionOn(1);
    QObject::connect(&playback, &CPlaybackController::RecordingOpened, &graph, &CAccelSensorGraphView::OnRecordingOpened);
    QObject::connect(&playback, &CPlaybackController::RecordingOpened, map.get(), &CMapView::OnRecordingOpened);
    QObject::connect(&playback, &CPlaybackController::PositionChanged, &graph, &CAccelSensorGraphView::OnPositionChanged);
    QObject::connect(&playback, &CPlaybackController::PositionChanged, map.get(), &CMapView::OnPositionChanged);
    if (!playback.Open(index)) {
        err << "pellister-cli: cannot open '" << a.strClip << "': " << MediaResultText(playback.LastOpenResult()) << "\n";
        return kExitFailed;
    }
    map->show();
    graph.OnInitialUpdate();
    map->OnInitialUpdate();
    map->SetMapPageDue(1);
    map->StartMapLoad();
    graph.RebuildGraph();

    if (const int status = ShowMoment(playback, a.moment, a.strClip, command, out, err))
        return status;

    // The map page as the viewer would show it: the route loaded on the map page, or whichever
    // placeholder the view settled on; then its position for the frame.
    const auto settled = [&] {
        long w = 0, h = 0;
        const bool sized = SUCCEEDED(map->GetMapPageSize(&w, &h));
        const CMapView::PageKind page = map->Page();
        if (page == CMapView::PageKind::Map)
            return map->IsRouteLoaded() && sized;
        return page != CMapView::PageKind::None && page != CMapView::PageKind::Loading && map->IsPageComplete() &&
               sized;
    };
    const bool settledInTime = WaitFor(settled, kMapWaitMs);
    if (!settledInTime)
        err << "pellister-cli: " << command << ": the map page did not come up; its panel shows what there is\n";
    // The position again, now that the page has its route.
    playback.Seek(playback.Position(), nullptr);
    if (settledInTime && !map->WaitUntilDrawn(kMapWaitMs))
        err << "pellister-cli: " << command << ": the map page did not say within " << kMapWaitMs / 1000
            << " s that it had drawn the moment; its panel shows what there was\n";

    CPrintView printView(&playback);
    printView.SetGraphSource([&graph] { return graph.size(); }, [&graph](QPainter &p) { graph.PlotGraph(p); });
    printView.SetMapSource([&map] { return map->ReportPicture(kMapDrawnWaitMs); });
    printView.SetExtraPages(a.countExtraPages, a.drawExtraPage);

    const QString outPath = QFileInfo(a.strOut).absoluteFilePath();
    const QString partPath = outPath + QStringLiteral(".part");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(partPath);
    printer.setPageSize(QPageSize(a.paper));
    printer.setPageOrientation(a.orientation);
    printer.setDocName(QStringLiteral("Pellister Report"));
    const bool printed = printView.OnFilePrintDirect(&printer);
    // The report goes into place whole or not at all.
    if (!printed || !QFileInfo(partPath).isFile() ||
        (QFile::exists(outPath) && !QFile::remove(outPath)) || !QFile::rename(partPath, outPath)) {
        QFile::remove(partPath);
        err << "pellister-cli: " << command << ": cannot write '" << a.strOut << "'\n";
        return kExitFailed;
    }
    if (pages)
        *pages = printView.PageCount();
    return kExitOk;
}

namespace {

int RunReport(const tagCLIARGS &args, QTextStream &out, QTextStream &err)
{
    tagREPORTARGS a;
    if (const int status = ParseArgs(args, &a, err); status != kExitOk)
        return status;
    int pages = 0;
    if (const int status = PrintReportOfMoment(a, "report", out, err, &pages); status != kExitOk)
        return status;
    out << "file=" << QFileInfo(a.strOut).absoluteFilePath() << "\n"
        << "pages=" << pages << "\n";
    return kExitOk;
}

} // namespace

std::unique_ptr<QCoreApplication> MakeCliApplication(int &argc, char **argv)
{
    // The command is the first argument that is no option of every command (nor such an option's
    // value).
    const char *command = nullptr;
    for (int i = 1; i < argc && !command; ++i) {
        if (qstrcmp(argv[i], "--clock-offset") == 0)
            ++i;
        else if (qstrncmp(argv[i], "--", 2) != 0)
            command = argv[i];
    }
    if (command && (qstrcmp(command, "report") == 0 || qstrcmp(command, "evidence") == 0)) {
        // The report draws with the viewer's panes: a GUI application, without a screen unless
        // one is asked for.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        CMapView::PrepareProcess(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
        return std::make_unique<QApplication>(argc, argv);
    }
    if (argc > 1 && qstrcmp(argv[1], "export") == 0) {
        // The telemetry band is drawn with the viewer's fonts: a GUI application without a screen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

QVector<CliCommand> ReportCommands()
{
    return {
        {"report", "CLIP --frame N [--grid K --marked i,j,...] [--paper A4|Letter] [--landscape] [--server URL] "
                   "[--track FILE.gpx] OUT.pdf",
         "Print the viewer's report of the clip with the video on frame N (with a grid of K panes "
         "started at N: of its marked panes) to OUT.pdf: the summary page with the map and the "
         "G-sensor graph, then one \"Frame info\" page per pane. The map page comes from the "
         "viewer's own loopback server, or from URL. Prints file= and pages= (exit 0).",
         2, 2, &RunReport, true,
         kMomentOptions + QVector<CliOption>{{"paper", "A4|Letter"}, {"landscape", nullptr}, {"server", "URL"}}},
    };
}
