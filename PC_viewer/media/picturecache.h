// The decoded-picture cache shared by every graph of the process: keyed by source and frame,
// bounded in bytes (a setting; by default a share of the machine's memory, DefaultLimit), least
// recently used pictures dropped first; pictures a graph is showing are never dropped (that
// would free nothing).
#pragma once

#include <QMutex>

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

class CPicture;

// The least the default limit gives, whatever the machine.
constexpr int64_t PICTURE_CACHE_DEFAULT_BYTES = int64_t(256) * 1024 * 1024;

class CPictureCache
{
public:
    static CPictureCache &Instance();
    // The limit for a machine with `llPhysical` bytes of memory: a thirty-second of it, within
    // 256 MB and 512 MB (a group of 4K pictures fits either way, at screen size when not whole).
    static int64_t DefaultLimit(int64_t llPhysical);
    // This machine's memory in bytes (0 when unknown).
    static int64_t PhysicalMemory();

    std::shared_ptr<CPicture> Find(uint64_t llSource, int64_t llFrame);
    bool Contains(uint64_t llSource, int64_t llFrame) const;
    void Insert(uint64_t llSource, int64_t llFrame, std::shared_ptr<CPicture> pPicture);
    void RemoveSource(uint64_t llSource);
    // Drops the pictures of a source above a frame that nobody but the cache holds.
    void RemoveUnusedAbove(uint64_t llSource, int64_t llFrame);
    // Bytes the limit leaves beside the pictures on screen (which the cache never drops).
    int64_t RoomBesideShown() const;
    // Most pictures held at once since the last reset.
    size_t PeakCount() const;
    // A cached picture made its RGB image: count the bytes and trim.
    void Grow(int64_t llBytes);

    void SetLimit(int64_t llBytes);
    int64_t Limit() const;
    int64_t Bytes() const;
    size_t Count() const;
    // Highest byte count seen since the last reset (benchmarks report it).
    int64_t PeakBytes() const;
    void ResetPeak();

private:
    struct Key {
        uint64_t llSource;
        int64_t llFrame;
        bool operator==(const Key &o) const { return llSource == o.llSource && llFrame == o.llFrame; }
    };
    struct KeyHash {
        size_t operator()(const Key &k) const
        {
            return std::hash<uint64_t>()(k.llSource * 0x9E3779B97F4A7C15ull ^
                                         static_cast<uint64_t>(k.llFrame));
        }
    };
    struct Slot {
        std::shared_ptr<CPicture> pPicture;
        int64_t llBytes;
        std::list<Key>::iterator itLru;
    };

    void TrimLocked();
    void RecountLocked();

    mutable QMutex m_mutex;
    std::unordered_map<Key, Slot, KeyHash> m_slots;
    std::list<Key> m_lru; // front = most recently used
    int64_t m_llBytes = 0;
    int64_t m_llPeak = 0;
    size_t m_nPeakCount = 0;
    int64_t m_llLimit = DefaultLimit(PhysicalMemory());
};
