// Per-frame costs of the telemetry panes during playback, on Qt's offscreen platform with a
// 10-minute clip at 30 frames a second (6,000 samples, 600 fixes): the graph's rebuild and its
// per-frame picture, and the map's OnUpdate, which during playback should be a table lookup.
// Run by hand:
//   QT_QPA_PLATFORM=offscreen build-telemetry/bench/telemetry/bench_telemetry_views
#include "catalogue/corvanadoc.h"
#include "fixtures/openedrecording.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/localwebserver.h"
#include "telemetry/mapview.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>

namespace {

constexpr int64_t kFrameTime = 333333;
constexpr int64_t kFrames = 10 * 60 * 30;

CAccelSensorGraphView *g_graph = nullptr;
CMapView *g_map = nullptr;

QString Stamp(const QTime &t)
{
    return t.toString(QStringLiteral("HHmmss.zzz"));
}

// A clip and its data file: samples at 10 Hz, fixes at 1 Hz.
bool WriteRecording(const QString &folder)
{
    QDir().mkpath(folder + "/data");
    QFile clip(folder + "/REC.avi");
    if (!clip.open(QIODevice::WriteOnly))
        return false;
    clip.write("clip");
    QFile data(folder + "/data/REC.dat");
    if (!data.open(QIODevice::WriteOnly))
        return false;
    const QTime sync(8, 30, 0);
    data.write("$SYNCTIME,083000.000,130512,\r\n");
    for (int i = 0; i < 6000; ++i) {
        const QTime t = sync.addMSecs(i * 100 + 7);
        data.write(QStringLiteral("$ACCELERATOR,%1,130512,%2,%3,%4,\r\n")
                       .arg(Stamp(t))
                       .arg(0.1 * ((i % 17) - 8), 0, 'f', 2)
                       .arg(-0.98 + 0.01 * (i % 9), 0, 'f', 2)
                       .arg(0.2 * ((i % 5) - 2), 0, 'f', 2)
                       .toLatin1());
        if (i % 10 == 0) {
            const int k = i / 10;
            data.write(QStringLiteral("$GPRMC,%1,A,%2,N,%3,E,21.5,87.3,120513,,\r\n")
                           .arg(Stamp(t.addMSecs(-7)))
                           .arg(3733.1234 + 0.01 * k, 0, 'f', 4)
                           .arg(12658.5678 + 0.01 * k, 0, 'f', 4)
                           .toLatin1());
        }
    }
    return true;
}

void BM_GraphRebuild(benchmark::State &state)
{
    for (auto _ : state)
        g_graph->RebuildGraph();
}
BENCHMARK(BM_GraphRebuild)->Unit(benchmark::kMillisecond);

// What one repaint composes per published frame (the picture copy, the panel rows, the marker).
void BM_GraphFramePicture(benchmark::State &state)
{
    int64_t frame = 0;
    for (auto _ : state) {
        g_graph->OnPositionChanged({frame, frame * kFrameTime, nullptr});
        QImage shot = g_graph->RenderGraphSnapshot();
        benchmark::DoNotOptimize(shot);
        frame = (frame + 7) % kFrames;
    }
}
BENCHMARK(BM_GraphFramePicture)->Unit(benchmark::kMicrosecond);

// The map's position notice for a frame whose fix is the one shown: the common case during playback.
void BM_MapOnUpdate_SameFix(benchmark::State &state)
{
    const int64_t frame = g_map->FixToFrame().Find(g_map->ShownFix());
    QObject player;
    const tagPLAYPOSITION position{frame, frame * kFrameTime, &player};
    for (auto _ : state)
        g_map->OnPositionChanged(position);
}
BENCHMARK(BM_MapOnUpdate_SameFix);

// The same with the lookup alone, as the baseline.
void BM_MapTableLookup(benchmark::State &state)
{
    const int64_t frame = g_map->FixToFrame().Find(g_map->ShownFix());
    for (auto _ : state)
        benchmark::DoNotOptimize(g_map->FrameToFix().Find(frame));
}
BENCHMARK(BM_MapTableLookup);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    CMapView::PrepareProcess(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid() || !WriteRecording(dir.path()))
        return 1;
    CCorvanaDoc doc;
    doc.SetFolder(dir.path());
    doc.LoadFolder();
    // What the playback controller tells the panes when recording 0 opens.
    CRecordingTelemetry telemetry;
    const tagOPENEDRECORDING opened = fixtures::OpenedRecording(doc, 0, kFrameTime, kFrames, &telemetry);

    CLocalWebServer server(QStringLiteral(PELLISTER_SOURCE_DIR "/server/www"));
    if (!server.Start()) {
        fprintf(stderr, "%s\n", qPrintable(server.ErrorString()));
        return 1;
    }
    CMapView map(&doc, &telemetry);
    map.SetMapPage(MapPageUrl(server.BaseUrl()) + QStringLiteral("?tiles=none"));
    map.OnRecordingOpened(opened);
    map.SetServerBase(server.BaseUrl());
    map.resize(373, 373);
    map.show();
    map.SetMapPageDue(1);
    map.OnInitialUpdate();
    const QDeadlineTimer deadline(30000);
    while (!map.IsRouteLoaded() && !deadline.hasExpired())
        QTest::qWait(20);
    if (!map.IsRouteLoaded()) {
        fprintf(stderr, "the map page did not load\n");
        return 1;
    }
    g_map = &map;

    CAccelSensorGraphView graph(&doc, &telemetry);
    graph.OnRecordingOpened(opened);
    graph.resize(651, 180);
    graph.show();
    graph.OnInitialUpdate();
    graph.RebuildGraph();
    g_graph = &graph;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
