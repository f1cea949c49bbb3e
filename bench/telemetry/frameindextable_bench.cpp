// Building the frame-to-sample and frame-to-fix tables of a 10-minute clip at 30 frames a second
// (6,000 G-sensor samples at 10 Hz, 600 GPS fixes at 1 Hz): the one-pass builders against the
// per-frame scans, in the same run. Run by hand:
//   build-telemetry/bench/telemetry/bench_telemetry
#include "playback/frameindextable.h"

#include <QDateTime>
#include <benchmark/benchmark.h>

namespace {

constexpr int64_t kFrameTime = 333333; // 30 fps in 100-ns units
constexpr int64_t kFrames = 10 * 60 * 30;
constexpr int kSamples = 6000;
constexpr int kFixes = 600;

SYSTEMTIME Stamp(const QDateTime &t)
{
    SYSTEMTIME st;
    st.wYear = static_cast<uint16_t>(t.date().year() - 2000);
    st.wMonth = static_cast<uint16_t>(t.date().month());
    st.wDay = static_cast<uint16_t>(t.date().day());
    st.wHour = static_cast<uint16_t>(t.time().hour());
    st.wMinute = static_cast<uint16_t>(t.time().minute());
    st.wSecond = static_cast<uint16_t>(t.time().second());
    st.wMilliseconds = static_cast<uint16_t>(t.time().msec());
    return st;
}

const tagDATAFILEINFO &Clip()
{
    static const tagDATAFILEINFO rec = [] {
        tagDATAFILEINFO r;
        r.bValid = 1;
        const QDateTime sync(QDate(2013, 5, 12), QTime(8, 30, 15, 250));
        r.stSyncTime = Stamp(sync);
        for (int i = 0; i < kSamples; ++i) {
            tagACCELINFO a;
            a.stTime = Stamp(sync.addMSecs(i * 100 + 7));
            r.vecAccel.push_back(a);
        }
        for (int i = 0; i < kFixes; ++i) {
            tagGPSINFO g;
            g.stTime = Stamp(sync.addMSecs(i * 1000 + 420));
            r.vecGps.push_back(g);
        }
        return r;
    }();
    return rec;
}

int64_t SyncKey()
{
    int64_t ms = 0;
    TimeKey(Clip().stSyncTime, &ms);
    return ms;
}

// What a view does when a recording is opened: both tables from the record, time keys included.
void BM_BothTables_OnePass(benchmark::State &state)
{
    const tagDATAFILEINFO &rec = Clip();
    for (auto _ : state) {
        CFrameIndexTable samples = BuildFrameToSample(rec, kFrameTime, kFrames);
        FrameFixTables fixes = BuildFrameToFix(rec, kFrameTime, kFrames);
        benchmark::DoNotOptimize(samples);
        benchmark::DoNotOptimize(fixes);
    }
}
BENCHMARK(BM_BothTables_OnePass)->Unit(benchmark::kMillisecond);

// The per-frame scans, given the time keys already computed (the scans as defined would compute
// a key for every sample they step over, which costs far more still).
void BM_BothTables_Scan(benchmark::State &state)
{
    const std::vector<int64_t> sampleKeys = SampleTimeKeys(Clip());
    const std::vector<int64_t> fixKeys = FixTimeKeys(Clip());
    const int64_t sync = SyncKey();
    for (auto _ : state) {
        CFrameIndexTable samples = ScanFrameToSample(sampleKeys, sync, kFrameTime, kFrames);
        FrameFixTables fixes = ScanFrameToFix(fixKeys, sync, kFrameTime, kFrames);
        benchmark::DoNotOptimize(samples);
        benchmark::DoNotOptimize(fixes);
    }
}
BENCHMARK(BM_BothTables_Scan)->Unit(benchmark::kMillisecond);

// The passes alone, on the same precomputed keys as the scans.
void BM_BothTables_OnePass_Keys(benchmark::State &state)
{
    const std::vector<int64_t> sampleKeys = SampleTimeKeys(Clip());
    const std::vector<int64_t> fixKeys = FixTimeKeys(Clip());
    const int64_t sync = SyncKey();
    for (auto _ : state) {
        CFrameIndexTable samples = BuildFrameToSample(sampleKeys, sync, kFrameTime, kFrames);
        FrameFixTables fixes = BuildFrameToFix(fixKeys, sync, kFrameTime, kFrames);
        benchmark::DoNotOptimize(samples);
        benchmark::DoNotOptimize(fixes);
    }
}
BENCHMARK(BM_BothTables_OnePass_Keys)->Unit(benchmark::kMillisecond);

// The time keys alone (one calendar conversion per sample and fix).
void BM_TimeKeys(benchmark::State &state)
{
    for (auto _ : state) {
        std::vector<int64_t> s = SampleTimeKeys(Clip());
        std::vector<int64_t> f = FixTimeKeys(Clip());
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(f);
    }
}
BENCHMARK(BM_TimeKeys)->Unit(benchmark::kMillisecond);

// What a repaint or a position update does per frame: two table lookups.
void BM_FrameLookup(benchmark::State &state)
{
    const CFrameIndexTable samples = BuildFrameToSample(Clip(), kFrameTime, kFrames);
    const FrameFixTables fixes = BuildFrameToFix(Clip(), kFrameTime, kFrames);
    int64_t frame = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(samples.Find(frame));
        benchmark::DoNotOptimize(fixes.frameToFix.Find(frame));
        frame = (frame + 1) % kFrames;
    }
}
BENCHMARK(BM_FrameLookup);

} // namespace

BENCHMARK_MAIN();
