// Frame-to-sample and frame-to-fix tables: which G-sensor sample and which GPS fix belong to each
// frame of the playing clip. The graph, the map and the report only look these tables up.
#pragma once

#include "base/frametime.h"
#include "catalogue/recordinfo.h"

#include <cstdint>
#include <utility>
#include <vector>

// Marks a sample or fix whose time stamp has no place in the calendar (TimeKey refused it). Such
// an entry belongs to no frame; scans step over it.
constexpr int64_t kNoTimeKey = INT64_MIN;

// Frame number to array index. Frames are numbered from 0; the table holds only frames that have
// an entry. Frame numbers beyond the int range never have one.
class CFrameIndexTable
{
public:
    // Index stored for the frame, or -1.
    int Find(int64_t frame) const;
    bool Contains(int64_t frame) const { return Find(frame) != -1; }
    bool IsEmpty() const { return m_count == 0; }
    // Number of frames that have an entry.
    int Count() const { return m_count; }

    void Set(int frame, int index);
    void Clear();

    // (frame, index) pairs in frame order.
    std::vector<std::pair<int, int>> Entries() const;

    bool operator==(const CFrameIndexTable &o) const { return Entries() == o.Entries(); }
    bool operator!=(const CFrameIndexTable &o) const { return !(*this == o); }

private:
    // Dense by frame: lookups during playback are one bounds check and one load.
    std::vector<int> m_index;
    int m_count = 0;
};

// Both directions of the frame-to-fix mapping. fixToFrame holds, per fix, the last frame that
// maps to it; the map pane's Left and Right keys step through it.
struct FrameFixTables {
    CFrameIndexTable frameToFix;
    CFrameIndexTable fixToFrame;
};

// Millisecond time keys of a record's samples and fixes, in array order (kNoTimeKey where the
// time stamp has none).
std::vector<int64_t> SampleTimeKeys(const tagDATAFILEINFO &rec);
std::vector<int64_t> FixTimeKeys(const tagDATAFILEINFO &rec);
std::vector<int64_t> VehicleTimeKeys(const tagDATAFILEINFO &rec);


// The first sample, in array order, that lies in frame f's slot [start of f, start of f + frame
// time), found by scanning from index 0 and giving up at the first sample at or after the slot's
// end; -1 when there is none. This is the reference definition of the mapping: cost is linear in
// the samples for every frame.
int FindSampleForFrame(const std::vector<int64_t> &sampleMs, int64_t startMs, int64_t frameTime,
                       int64_t frame);

// The first fix, in array order, that lies within one second from the start of frame f, scanning
// from index 0 and giving up at the first fix a second or more after it; -1 when there is none.
int FindFixForFrame(const std::vector<int64_t> &fixMs, int64_t startMs, int64_t frameTime, int64_t frame);

// The frame-to-sample table for frames 0 .. frameCount - 1, built in one forward pass over frames
// and samples together. Every frame gets what FindSampleForFrame gives it. A frame time of 0 or
// less gives an empty table (see ScanFrameToSample).
CFrameIndexTable BuildFrameToSample(const std::vector<int64_t> &sampleMs, int64_t startMs, int64_t frameTime,
                                    int64_t frameCount);

// The frame-to-fix tables for frames 0 .. frameCount inclusive, in one forward pass. Every frame
// gets what FindFixForFrame gives it. A frame time of 0 or less gives empty tables.
FrameFixTables BuildFrameToFix(const std::vector<int64_t> &fixMs, int64_t startMs, int64_t frameTime,
                               int64_t frameCount);

// The same tables by one FindSampleForFrame / FindFixForFrame scan per frame: the reference the
// one-pass builders are tested and measured against. With a frame time of 0 or less no frame has
// a place in time (every frame would start at the sync time), so these give empty tables too.
CFrameIndexTable ScanFrameToSample(const std::vector<int64_t> &sampleMs, int64_t startMs, int64_t frameTime,
                                   int64_t frameCount);
FrameFixTables ScanFrameToFix(const std::vector<int64_t> &fixMs, int64_t startMs, int64_t frameTime,
                              int64_t frameCount);

// The tables of a whole record, as the views build them when a recording is opened: empty unless
// the record is valid and its sync time has a time key.
CFrameIndexTable BuildFrameToSample(const tagDATAFILEINFO &rec, int64_t frameTime, int64_t frameCount);
FrameFixTables BuildFrameToFix(const tagDATAFILEINFO &rec, int64_t frameTime, int64_t frameCount);
// Frame -> the car's own state (vecVehicle), by the samples' rule; empty when the record has none.
CFrameIndexTable BuildFrameToVehicle(const tagDATAFILEINFO &rec, int64_t frameTime, int64_t frameCount);
