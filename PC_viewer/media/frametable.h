// The frame table of a clip: the time stamp of every picture in presentation order, the key
// frames a decode may start from, and the clip's exact frame count, duration and frame time.
#pragma once

#include "mediaresult.h"

extern "C" {
#include <libavutil/rational.h>
}

#include <QString>

#include <chrono>
#include <cstdint>
#include <vector>

class CMediaInput;

class CFrameTable
{
public:
    // One key frame: where a decode can start.
    struct Key {
        int64_t llFrame = 0; // presentation index of the key picture
        int64_t llPts = 0;   // its time stamp (stream time base)
        int64_t llDts = 0;   // the demuxer's seek time stamp
        int64_t llPos = -1;  // byte position of its packet
        size_t nPacket = 0;  // its place in Packets() (decode order), when packets are kept
    };
    // One video packet in decode order; kept when the container has no usable index, so that
    // the decoder can read packets straight from the file.
    struct Packet {
        int64_t llPos = 0; // first byte of the packet's data
        int32_t nSize = 0;
        bool bKey = false;
        int64_t llPts = 0;
    };

    // Measures the clip open in input (which is left at an unknown read position). Uses the
    // container's index when it matches the packets, else reads every video packet.
    // VFW_E_INVALID_FILE_FORMAT when the clip has no picture or no measurable frame time.
    HRESULT Build(CMediaInput &input, const QString &strPath);

    int64_t FrameCount() const { return static_cast<int64_t>(m_pts.size()); }
    int64_t Duration() const { return m_llDuration; }   // 100 ns
    int64_t FrameTime() const { return m_llFrameTime; } // 100 ns
    AVRational TimeBase() const { return m_timeBase; }
    bool FromIndex() const { return m_bFromIndex; }
    bool DirectRead() const { return !m_packets.empty(); }

    // Presentation index of a picture time stamp; -1 when no picture has it.
    int64_t FrameOfPts(int64_t llPts) const;
    int64_t PtsOfFrame(int64_t llFrame) const { return m_pts[static_cast<size_t>(llFrame)]; }
    // The last key frame whose picture is at or before frame n (index into Keys()).
    size_t KeyIndexForFrame(int64_t llFrame) const;
    const std::vector<Key> &Keys() const { return m_keys; }
    const std::vector<Packet> &Packets() const { return m_packets; }
    // First frame of the key frame group that holds frame n.
    int64_t GroupStart(int64_t llFrame) const { return m_keys[KeyIndexForFrame(llFrame)].llFrame; }
    // First frame after the group that holds frame n (the frame count for the last group).
    int64_t GroupEnd(int64_t llFrame) const;

private:
    HRESULT BuildFromIndex(CMediaInput &input, bool *pUsable);
    HRESULT BuildByScan(const QString &strPath);
    HRESULT Finish(double dFallbackFrameSeconds);

    struct Entry {
        int64_t llPts;
        int64_t llDts;
        int64_t llPos;
        bool bKey;
    };
    std::vector<Entry> m_decodeOrder; // while building
    std::vector<int64_t> m_pts;       // presentation order, ascending
    std::vector<Key> m_keys;
    std::vector<Packet> m_packets;
    AVRational m_timeBase{1, 1};
    int64_t m_llDuration = 0;
    int64_t m_llFrameTime = 0;
    bool m_bFromIndex = false;
};
