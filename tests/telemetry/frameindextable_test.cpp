// The frame-to-sample and frame-to-fix tables: the one-pass builders must give every frame what
// the per-frame scan gives it.
#include "playback/frameindextable.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int64_t kSync = 1368347415250; // any time key will do; the tables only use differences
constexpr int64_t k30Fps = 333333;       // 100-ns units
constexpr int64_t k25Fps = 400000;

// Keys at the given offsets in ms from the sync time.
std::vector<int64_t> At(std::initializer_list<int64_t> offsets)
{
    std::vector<int64_t> keys;
    for (int64_t o : offsets)
        keys.push_back(o == kNoTimeKey ? kNoTimeKey : kSync + o);
    return keys;
}

void ExpectSameSampleTable(const std::vector<int64_t> &keys, int64_t frameTime, int64_t frames,
                           const std::string &what)
{
    const CFrameIndexTable fast = BuildFrameToSample(keys, kSync, frameTime, frames);
    const CFrameIndexTable scan = ScanFrameToSample(keys, kSync, frameTime, frames);
    // Frame by frame, against the scan itself, so that a mismatch names its frame.
    for (int64_t f = -1; f <= frames + 1; ++f) {
        const int expected =
            (f >= 0 && f < frames && frameTime > 0) ? FindSampleForFrame(keys, kSync, frameTime, f) : -1;
        ASSERT_EQ(fast.Find(f), expected) << what << ", frame " << f;
    }
    EXPECT_EQ(fast, scan) << what;
}

void ExpectSameFixTables(const std::vector<int64_t> &keys, int64_t frameTime, int64_t frames,
                         const std::string &what)
{
    const FrameFixTables fast = BuildFrameToFix(keys, kSync, frameTime, frames);
    const FrameFixTables scan = ScanFrameToFix(keys, kSync, frameTime, frames);
    for (int64_t f = -1; f <= frames + 1; ++f) {
        const int expected =
            (f >= 0 && f <= frames && frameTime > 0) ? FindFixForFrame(keys, kSync, frameTime, f) : -1;
        ASSERT_EQ(fast.frameToFix.Find(f), expected) << what << ", frame " << f;
    }
    EXPECT_EQ(fast.frameToFix, scan.frameToFix) << what;
    EXPECT_EQ(fast.fixToFrame, scan.fixToFrame) << what;
}

struct TableCase {
    const char *name;
    std::vector<int64_t> keys; // offsets already applied
    int64_t frameTime;
    int64_t frames;
};

std::vector<TableCase> HandMadeCases()
{
    return {
        {"no samples", {}, k30Fps, 90},
        {"one sample per frame at 30 fps", At({0, 33, 66, 100, 133, 166, 200}), k30Fps, 7},
        {"frames with no sample", At({0, 250, 500, 1750}), k30Fps, 90},
        {"two samples in one slot", At({10, 20, 40, 41, 42}), k30Fps, 4},
        {"samples before the sync time", At({-500, -1, 0, 5, 40}), k30Fps, 4},
        {"only samples before the sync time", At({-900, -300, -1}), k30Fps, 30},
        {"samples after the clip's end", At({0, 3000, 3001, 99999}), k30Fps, 90},
        {"fixes more than a second apart", At({0, 2500, 5200, 5201, 9000}), k30Fps, 300},
        {"fixes exactly a second apart", At({0, 1000, 2000, 3000}), k25Fps, 100},
        {"out of time order", At({500, 100, 900, 50, 2000, 1500}), k30Fps, 90},
        {"a sample far out of order stops the scan", At({0, 100000, 200, 300}), k30Fps, 30},
        {"equal time stamps", At({100, 100, 100, 200, 200}), k30Fps, 10},
        {"time stamps without a key", At({kNoTimeKey, 0, kNoTimeKey, 66, kNoTimeKey}), k30Fps, 5},
        {"last frame exactly at the last sample", At({0, 3000}), 1000 * 10000, 3},
        {"frame time not a whole millisecond", At({0, 1, 2, 3, 40, 41, 80}), 133667, 5},
        {"slot shorter than a millisecond", At({0, 0, 1}), 5000, 10},
        {"25 fps", At({0, 40, 80, 120, 160, 199, 200}), k25Fps, 6},
    };
}

TEST(FrameTables, OnePassEqualsScanOnHandMadeCases)
{
    for (const TableCase &c : HandMadeCases()) {
        ExpectSameSampleTable(c.keys, c.frameTime, c.frames, c.name);
        ExpectSameFixTables(c.keys, c.frameTime, c.frames, c.name);
    }
}

// Random arrays as a recorder could write them: mostly increasing, with jitter, repeats, gaps,
// stray stamps before the sync time or far in the future, and garbage without a key.
TEST(FrameTables, OnePassEqualsScanOnRandomRecordings)
{
    std::mt19937_64 rng(20130512);
    const int64_t frameTimes[] = {k30Fps, k25Fps, 333667, 166833, 10000, 9999, 1000000, 417083};
    for (int round = 0; round < 400; ++round) {
        const int64_t frameTime = frameTimes[round % std::size(frameTimes)];
        const int64_t frames = std::uniform_int_distribution<int64_t>(0, 600)(rng);
        const int count = std::uniform_int_distribution<int>(0, 120)(rng);
        const int64_t clipMs = frames * frameTime / 10000;
        std::vector<int64_t> keys;
        int64_t t = std::uniform_int_distribution<int64_t>(-300, 300)(rng);
        for (int i = 0; i < count; ++i) {
            const int kind = std::uniform_int_distribution<int>(0, 19)(rng);
            if (kind == 0) {
                keys.push_back(kNoTimeKey);
            } else if (kind == 1) {
                keys.push_back(kSync + std::uniform_int_distribution<int64_t>(-2000, clipMs + 2000)(rng));
            } else {
                t += std::uniform_int_distribution<int64_t>(0, 2 * (clipMs + 1) / (count + 1) + 3)(rng);
                keys.push_back(kSync + t);
            }
        }
        const std::string what = "round " + std::to_string(round);
        ExpectSameSampleTable(keys, frameTime, frames, what);
        ExpectSameFixTables(keys, frameTime, frames, what);
    }
}

// What the mapping means, on cases small enough to work out by hand.
TEST(FrameTables, SampleTableMeaning)
{
    // 30 fps: frame f covers [f x 33.3333 ms] truncated .. + 33 ms.
    const std::vector<int64_t> keys = At({-5, 10, 20, 70, 95, 2000});
    const CFrameIndexTable t = BuildFrameToSample(keys, kSync, k30Fps, 4);
    EXPECT_EQ(t.Find(0), 1) << "the first of two samples in the slot [0, 33)";
    EXPECT_EQ(t.Find(1), -1) << "no sample in [33, 66)";
    EXPECT_EQ(t.Find(2), 3) << "70 lies in [66, 99)";
    EXPECT_EQ(t.Find(3), -1) << "95 lies in frame 2's slot, not in [99, 132)";
    EXPECT_EQ(t.Find(4), -1) << "the sample table ends before the frame count";
    EXPECT_EQ(t.Count(), 2);
    for (const auto &[frame, index] : t.Entries())
        EXPECT_NE(index, 0) << "a sample before the sync time belongs to no frame";
}

TEST(FrameTables, FixTableMeaning)
{
    // 25 fps: frame f starts at 40 f ms and its window runs one second from there. Frames 0 to
    // 100 (the frame count itself included).
    const std::vector<int64_t> keys = At({0, 2500, 2600, 4000});
    const FrameFixTables t = BuildFrameToFix(keys, kSync, k25Fps, 100);
    const struct {
        int64_t frame;
        int fix;
        const char *why;
    } expected[] = {
        {0, 0, "fix 0 at the frame's start"},
        {1, -1, "fix 0 is behind; 2500 is more than a second after 40"},
        {37, -1, "[1480, 2480) holds nothing"},
        {38, 1, "[1520, 2520) holds 2500"},
        {62, 1, "[2480, 3480): 2500 comes before 2600"},
        {63, 2, "[2520, 3520): 2500 is behind"},
        {65, 2, "[2600, 3600) starts on 2600"},
        {66, -1, "[2640, 3640): a gap of more than a second follows"},
        {75, -1, "[3000, 4000) ends just before 4000"},
        {76, 3, "[3040, 4040)"},
        {100, 3, "the frame count is mapped too"},
        {101, -1, "past the frame count"},
    };
    for (const auto &e : expected)
        EXPECT_EQ(t.frameToFix.Find(e.frame), e.fix) << "frame " << e.frame << ": " << e.why;
    // The last frame that shows each fix: where Left and Right in the map jump to.
    EXPECT_EQ(t.fixToFrame.Find(0), 0);
    EXPECT_EQ(t.fixToFrame.Find(1), 62);
    EXPECT_EQ(t.fixToFrame.Find(2), 65);
    EXPECT_EQ(t.fixToFrame.Find(3), 100);
    EXPECT_EQ(t.fixToFrame.Find(4), -1);
}

TEST(FrameTables, UnusableFrameTimesGiveEmptyTables)
{
    const std::vector<int64_t> keys = At({0, 10, 500});
    for (int64_t frameTime : {int64_t(0), int64_t(-k30Fps)}) {
        EXPECT_TRUE(BuildFrameToSample(keys, kSync, frameTime, 100).IsEmpty()) << frameTime;
        EXPECT_TRUE(BuildFrameToFix(keys, kSync, frameTime, 100).frameToFix.IsEmpty()) << frameTime;
        EXPECT_TRUE(ScanFrameToFix(keys, kSync, frameTime, 100).frameToFix.IsEmpty()) << frameTime;
    }
    EXPECT_TRUE(BuildFrameToSample(keys, kSync, k30Fps, 0).IsEmpty());
    EXPECT_EQ(BuildFrameToFix(keys, kSync, k30Fps, 0).frameToFix.Find(0), 0)
        << "a clip of no frames still has position 0";
    EXPECT_TRUE(BuildFrameToFix(keys, kSync, k30Fps, -5).frameToFix.IsEmpty());
}

TEST(FrameTables, FrameStartDoesNotOverflow)
{
    // Two billion frames of an hour each: the product overflows 64 bits, the start must not.
    const int64_t hour = int64_t(36000000000);
    EXPECT_EQ(FrameStartMs(0, hour, 2000000000), int64_t(2000000000) * 3600000);
    EXPECT_EQ(FrameStartMs(kSync, k30Fps, 3), kSync + 99);
    EXPECT_EQ(FrameStartMs(kSync, k30Fps, 30), kSync + 999);
}

TEST(FrameTables, FrameAtAMomentIsTheLastToStartByIt)
{
    // 30 pictures a second: frame 1 starts at 33 ms, frame 3 at 99, frame 4 at 133 (truncated).
    const struct {
        int64_t ms, frameTime, frame;
    } cases[] = {
        {0, k30Fps, 0},   {32, k30Fps, 0},       {33, k30Fps, 1},         {99, k30Fps, 3},
        {132, k30Fps, 3}, {133, k30Fps, 4},      {999, k30Fps, 30},       {-5, k30Fps, 0},
        {700, 1000000, 7}, {699, 1000000, 6},    {1000, 0, 0},            {1000, -333333, 0},
        {int64_t(1) << 62, 1, int64_t(1) << 50},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(FrameAtMs(c.ms, c.frameTime), c.frame) << c.ms << " ms, frame time " << c.frameTime;
        if (c.frameTime > 0 && c.ms >= 0 && c.frame < (int64_t(1) << 50)) {
            EXPECT_LE(FrameStartMs(0, c.frameTime, c.frame), c.ms);
        }
    }
}

TEST(FrameTable, LookupOutsideTheTable)
{
    CFrameIndexTable t;
    EXPECT_EQ(t.Find(0), -1);
    t.Set(5, 2);
    t.Set(5, 3);
    t.Set(-1, 4);
    EXPECT_EQ(t.Find(5), 3);
    EXPECT_EQ(t.Count(), 1);
    EXPECT_EQ(t.Find(4), -1);
    EXPECT_EQ(t.Find(6), -1);
    EXPECT_EQ(t.Find(-1), -1);
    EXPECT_EQ(t.Find(int64_t(1) << 40), -1);
    t.Clear();
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_EQ(t.Find(5), -1);
}

// --- whole records, with real time stamps -------------------------------------------------

SYSTEMTIME Stamp(int hour, int minute, int second, int ms)
{
    SYSTEMTIME st;
    st.wYear = 13;
    st.wMonth = 5;
    st.wDay = 12;
    st.wHour = static_cast<uint16_t>(hour);
    st.wMinute = static_cast<uint16_t>(minute);
    st.wSecond = static_cast<uint16_t>(second);
    st.wMilliseconds = static_cast<uint16_t>(ms);
    return st;
}

tagDATAFILEINFO Record()
{
    tagDATAFILEINFO rec;
    rec.bValid = 1;
    rec.nType = RT_ORDINARY;
    rec.stSyncTime = Stamp(8, 30, 15, 250);
    // Samples at 8:30:15.200 (before the sync), .250, .260, .300, then one with a broken hour,
    // then 8:30:16.000 (across a second boundary).
    for (const SYSTEMTIME &st : {Stamp(8, 30, 15, 200), Stamp(8, 30, 15, 250), Stamp(8, 30, 15, 260),
                                 Stamp(8, 30, 15, 300), Stamp(25, 0, 0, 0), Stamp(8, 30, 16, 0)}) {
        tagACCELINFO a;
        a.stTime = st;
        rec.vecAccel.push_back(a);
        tagGPSINFO g;
        g.stTime = st;
        rec.vecGps.push_back(g);
    }
    return rec;
}

TEST(FrameTables, RecordTablesFollowTheTimeStamps)
{
    const tagDATAFILEINFO rec = Record();
    const CFrameIndexTable samples = BuildFrameToSample(rec, k30Fps, 30);
    EXPECT_EQ(samples.Find(0), 1) << ".250 and .260 share frame 0; the first counts";
    EXPECT_EQ(samples.Find(1), 3) << ".300 is 50 ms in: frame 1 covers [33, 66)";
    EXPECT_EQ(samples.Find(22), 5) << "16.000 is 750 ms in: frame 22 covers [733, 766)";
    EXPECT_EQ(samples.Count(), 3);

    int64_t start = 0;
    ASSERT_TRUE(TimeKey(rec.stSyncTime, &start));
    const std::vector<int64_t> keys = SampleTimeKeys(rec);
    ASSERT_EQ(keys.size(), 6u);
    EXPECT_EQ(keys[4], kNoTimeKey);
    EXPECT_EQ(samples, ScanFrameToSample(keys, start, k30Fps, 30));
    EXPECT_EQ(BuildFrameToFix(rec, k30Fps, 30).frameToFix,
              ScanFrameToFix(FixTimeKeys(rec), start, k30Fps, 30).frameToFix);
}

// The keys of a record are those TimeKey gives each time stamp, in and across minutes, hours,
// days and a change to summer time, and for stamps outside the calendar.
TEST(FrameTables, RecordTimeKeysAreTheTimeKeys)
{
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    std::mt19937 rng(7);
    tagDATAFILEINFO rec;
    auto add = [&](int month, int day, int hour, int minute, int second, int ms) {
        SYSTEMTIME st;
        st.wYear = 13;
        st.wMonth = static_cast<uint16_t>(month);
        st.wDay = static_cast<uint16_t>(day);
        st.wHour = static_cast<uint16_t>(hour);
        st.wMinute = static_cast<uint16_t>(minute);
        st.wSecond = static_cast<uint16_t>(second);
        st.wMilliseconds = static_cast<uint16_t>(ms);
        tagACCELINFO a;
        a.stTime = st;
        rec.vecAccel.push_back(a);
    };
    // Ten samples a second through the night summer time began (31 March 2013, 02:00 -> 03:00).
    for (int i = 0; i < 3 * 3600 * 10; i += 7) {
        const int s = 3600 + i / 10; // from 01:00
        add(3, 31, s / 3600, (s / 60) % 60, s % 60, (i % 10) * 100 + static_cast<int>(rng() % 100));
    }
    // Jumps that keep the minute: another hour, day, month.
    add(5, 12, 8, 30, 15, 0);
    add(5, 12, 9, 30, 16, 0);
    add(5, 13, 9, 30, 17, 0);
    add(6, 13, 9, 30, 18, 0);
    add(12, 31, 23, 59, 59, 999);
    add(1, 1, 0, 0, 0, 0);
    add(5, 12, 8, 30, 60, 0);    // second 60
    add(5, 12, 8, 61, 0, 0);     // minute 61
    add(13, 12, 8, 30, 15, 0);   // month 13
    add(5, 12, 8, 30, 15, 1500); // more than a second of milliseconds, as a stamp can carry
    const std::vector<int64_t> keys = SampleTimeKeys(rec);
    ASSERT_EQ(keys.size(), static_cast<size_t>(rec.vecAccel.size()));
    for (int i = 0; i < rec.vecAccel.size(); ++i) {
        int64_t expected = 0;
        if (!TimeKey(rec.vecAccel[i].stTime, &expected))
            expected = kNoTimeKey;
        ASSERT_EQ(keys[static_cast<size_t>(i)], expected) << "sample " << i;
    }
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
}

TEST(FrameTables, RecordsThatGiveNoTable)
{
    struct Case {
        const char *name;
        void (*spoil)(tagDATAFILEINFO &);
    };
    const Case cases[] = {
        {"not valid", [](tagDATAFILEINFO &r) { r.bValid = 0; }},
        {"sync time outside the calendar", [](tagDATAFILEINFO &r) { r.stSyncTime.wMonth = 13; }},
        {"no samples or fixes",
         [](tagDATAFILEINFO &r) {
             r.vecAccel.clear();
             r.vecGps.clear();
         }},
    };
    for (const Case &c : cases) {
        tagDATAFILEINFO rec = Record();
        c.spoil(rec);
        EXPECT_TRUE(BuildFrameToSample(rec, k30Fps, 30).IsEmpty()) << c.name;
        EXPECT_TRUE(BuildFrameToFix(rec, k30Fps, 30).frameToFix.IsEmpty()) << c.name;
    }
}

} // namespace
