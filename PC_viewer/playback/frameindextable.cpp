// Frame-to-sample and frame-to-fix tables.
//
// A frame's entry is defined by a scan from the first sample (FindSampleForFrame): the first
// sample at or after the frame's start, provided it lies before the end of the frame's window;
// the scan gives up at the first sample past the window. Samples are kept in file order and
// never sorted, so the arrays need not be time-ordered, and the builders below must not assume
// it. What makes one pass possible is that frame starts only grow: the first sample at or after
// the start of frame f + 1 is never before the one for frame f, because every sample skipped for
// f lay before f's start and so before f + 1's. One pointer over the samples therefore serves all
// frames in order, and once it has passed the last sample no later frame has an entry.
#include "playback/frameindextable.h"

#include <climits>

int CFrameIndexTable::Find(int64_t frame) const
{
    if (frame < 0 || frame >= static_cast<int64_t>(m_index.size()))
        return -1;
    return m_index[static_cast<size_t>(frame)];
}

void CFrameIndexTable::Set(int frame, int index)
{
    if (frame < 0 || index < 0)
        return;
    const auto at = static_cast<size_t>(frame);
    if (at >= m_index.size())
        m_index.resize(at + 1, -1);
    if (m_index[at] == -1)
        ++m_count;
    m_index[at] = index;
}

void CFrameIndexTable::Clear()
{
    m_index.clear();
    m_count = 0;
}

std::vector<std::pair<int, int>> CFrameIndexTable::Entries() const
{
    std::vector<std::pair<int, int>> out;
    out.reserve(static_cast<size_t>(m_count));
    for (size_t f = 0; f < m_index.size(); ++f) {
        if (m_index[f] != -1)
            out.emplace_back(static_cast<int>(f), m_index[f]);
    }
    return out;
}

namespace {

template <typename Item> std::vector<int64_t> TimeKeysOf(const QVector<Item> &items)
{
    // A calendar conversion costs far more than the pass that uses the keys, and a recording has
    // ten samples a second: convert each minute once and add the seconds within it. Offsets of
    // local time only change on whole minutes, so this gives what TimeKey gives.
    std::vector<int64_t> keys;
    keys.reserve(static_cast<size_t>(items.size()));
    SYSTEMTIME minute;
    int64_t minuteKey = 0;
    bool minuteValid = false;
    bool haveMinute = false;
    for (const Item &item : items) {
        const SYSTEMTIME &st = item.stTime;
        if (!haveMinute || st.wYear != minute.wYear || st.wMonth != minute.wMonth || st.wDay != minute.wDay ||
            st.wHour != minute.wHour || st.wMinute != minute.wMinute) {
            minute = st;
            minute.wSecond = 0;
            minute.wMilliseconds = 0;
            minuteValid = TimeKey(minute, &minuteKey);
            haveMinute = true;
        }
        if (!minuteValid || st.wSecond > 59)
            keys.push_back(kNoTimeKey);
        else
            keys.push_back(minuteKey + st.wSecond * int64_t(1000) + st.wMilliseconds);
    }
    return keys;
}

// Frame numbers are int keys; a clip cannot have more frames than that.
int64_t LastFrame(int64_t frameCount, bool inclusive)
{
    const int64_t last = inclusive ? frameCount : frameCount - 1;
    return last > INT_MAX ? INT_MAX : last;
}

// The first entry of keys that is at or after windowStart, or -1 if it lies at or after
// windowEnd. Entries without a key are stepped over.
int ScanWindow(const std::vector<int64_t> &keys, int64_t windowStart, int64_t windowEnd)
{
    for (size_t i = 0; i < keys.size(); ++i) {
        const int64_t ms = keys[i];
        if (ms == kNoTimeKey)
            continue;
        if (windowStart <= ms && ms < windowEnd)
            return static_cast<int>(i);
        if (ms < windowEnd)
            continue;
        return -1;
    }
    return -1;
}

// One forward pass; windowMs is the width of every frame's window. onEntry(frame, index) is
// called for every frame that has an entry, in frame order.
template <typename OnEntry>
void ForwardPass(const std::vector<int64_t> &keys, int64_t startMs, int64_t frameTime, int64_t lastFrame,
                 int64_t windowMs, OnEntry onEntry)
{
    if (windowMs <= 0)
        return; // an empty window holds nothing
    const size_t n = keys.size();
    size_t p = 0;
    for (int64_t f = 0; f <= lastFrame; ++f) {
        const int64_t windowStart = FrameStartMs(startMs, frameTime, f);
        while (p < n && (keys[p] == kNoTimeKey || keys[p] < windowStart))
            ++p;
        if (p == n)
            return;
        if (keys[p] < windowStart + windowMs)
            onEntry(static_cast<int>(f), static_cast<int>(p));
    }
}

constexpr int64_t kFixWindowMs = 1000;

} // namespace

std::vector<int64_t> SampleTimeKeys(const tagDATAFILEINFO &rec)
{
    return TimeKeysOf(rec.vecAccel);
}

std::vector<int64_t> FixTimeKeys(const tagDATAFILEINFO &rec)
{
    return TimeKeysOf(rec.vecGps);
}

std::vector<int64_t> VehicleTimeKeys(const tagDATAFILEINFO &rec)
{
    return TimeKeysOf(rec.vecVehicle);
}


int FindSampleForFrame(const std::vector<int64_t> &sampleMs, int64_t startMs, int64_t frameTime,
                       int64_t frame)
{
    const int64_t frameMs = FrameStartMs(startMs, frameTime, frame);
    return ScanWindow(sampleMs, frameMs, frameMs + frameTime / 10000);
}

int FindFixForFrame(const std::vector<int64_t> &fixMs, int64_t startMs, int64_t frameTime, int64_t frame)
{
    const int64_t frameMs = FrameStartMs(startMs, frameTime, frame);
    return ScanWindow(fixMs, frameMs, frameMs + kFixWindowMs);
}

CFrameIndexTable BuildFrameToSample(const std::vector<int64_t> &sampleMs, int64_t startMs, int64_t frameTime,
                                    int64_t frameCount)
{
    CFrameIndexTable table;
    if (frameTime <= 0)
        return table;
    ForwardPass(sampleMs, startMs, frameTime, LastFrame(frameCount, false), frameTime / 10000,
                [&](int f, int i) { table.Set(f, i); });
    return table;
}

FrameFixTables BuildFrameToFix(const std::vector<int64_t> &fixMs, int64_t startMs, int64_t frameTime,
                               int64_t frameCount)
{
    FrameFixTables tables;
    if (frameTime <= 0)
        return tables;
    ForwardPass(fixMs, startMs, frameTime, LastFrame(frameCount, true), kFixWindowMs, [&](int f, int i) {
        tables.frameToFix.Set(f, i);
        tables.fixToFrame.Set(i, f);
    });
    return tables;
}

CFrameIndexTable ScanFrameToSample(const std::vector<int64_t> &sampleMs, int64_t startMs, int64_t frameTime,
                                   int64_t frameCount)
{
    CFrameIndexTable table;
    if (frameTime <= 0)
        return table;
    const int64_t last = LastFrame(frameCount, false);
    for (int64_t f = 0; f <= last; ++f) {
        const int s = FindSampleForFrame(sampleMs, startMs, frameTime, f);
        if (s != -1)
            table.Set(static_cast<int>(f), s);
    }
    return table;
}

FrameFixTables ScanFrameToFix(const std::vector<int64_t> &fixMs, int64_t startMs, int64_t frameTime,
                              int64_t frameCount)
{
    FrameFixTables tables;
    if (frameTime <= 0)
        return tables;
    const int64_t last = LastFrame(frameCount, true);
    for (int64_t f = 0; f <= last; ++f) {
        const int i = FindFixForFrame(fixMs, startMs, frameTime, f);
        if (i != -1) {
            tables.frameToFix.Set(static_cast<int>(f), i);
            tables.fixToFrame.Set(i, static_cast<int>(f));
        }
    }
    return tables;
}

CFrameIndexTable BuildFrameToSample(const tagDATAFILEINFO &rec, int64_t frameTime, int64_t frameCount)
{
    int64_t startMs = 0;
    if (rec.bValid != 1 || rec.vecAccel.isEmpty() || !TimeKey(rec.stSyncTime, &startMs))
        return {};
    return BuildFrameToSample(SampleTimeKeys(rec), startMs, frameTime, frameCount);
}

FrameFixTables BuildFrameToFix(const tagDATAFILEINFO &rec, int64_t frameTime, int64_t frameCount)
{
    int64_t startMs = 0;
    if (rec.bValid != 1 || rec.vecGps.isEmpty() || !TimeKey(rec.stSyncTime, &startMs))
        return {};
    return BuildFrameToFix(FixTimeKeys(rec), startMs, frameTime, frameCount);
}

CFrameIndexTable BuildFrameToVehicle(const tagDATAFILEINFO &rec, int64_t frameTime, int64_t frameCount)
{
    int64_t startMs = 0;
    if (rec.bValid != 1 || rec.vecVehicle.isEmpty() || !TimeKey(rec.stSyncTime, &startMs))
        return {};
    return BuildFrameToSample(VehicleTimeKeys(rec), startMs, frameTime, frameCount);
}
