// The process-wide decoded-picture cache.
#include "picturecache.h"

#include "picture.h"

#include <algorithm>

#include <unistd.h>

CPictureCache &CPictureCache::Instance()
{
    static CPictureCache s_cache;
    return s_cache;
}

int64_t CPictureCache::DefaultLimit(int64_t llPhysical)
{
    return std::clamp<int64_t>(llPhysical / 32, PICTURE_CACHE_DEFAULT_BYTES, int64_t(512) * 1024 * 1024);
}

int64_t CPictureCache::PhysicalMemory()
{
    const long nPages = sysconf(_SC_PHYS_PAGES);
    const long nPageSize = sysconf(_SC_PAGESIZE);
    return nPages > 0 && nPageSize > 0 ? int64_t(nPages) * nPageSize : 0;
}

std::shared_ptr<CPicture> CPictureCache::Find(uint64_t llSource, int64_t llFrame)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_slots.find({llSource, llFrame});
    if (it == m_slots.end())
        return nullptr;
    m_lru.splice(m_lru.begin(), m_lru, it->second.itLru);
    return it->second.pPicture;
}

bool CPictureCache::Contains(uint64_t llSource, int64_t llFrame) const
{
    QMutexLocker lock(&m_mutex);
    return m_slots.count({llSource, llFrame}) != 0;
}

void CPictureCache::Insert(uint64_t llSource, int64_t llFrame, std::shared_ptr<CPicture> pPicture)
{
    if (!pPicture)
        return;
    const int64_t llBytes = pPicture->Bytes();
    QMutexLocker lock(&m_mutex);
    const Key key{llSource, llFrame};
    auto it = m_slots.find(key);
    if (it != m_slots.end()) {
        m_llBytes -= it->second.llBytes;
        it->second.pPicture = std::move(pPicture);
        it->second.llBytes = llBytes;
        m_lru.splice(m_lru.begin(), m_lru, it->second.itLru);
    } else {
        m_lru.push_front(key);
        m_slots.emplace(key, Slot{std::move(pPicture), llBytes, m_lru.begin()});
    }
    m_llBytes += llBytes;
    TrimLocked();
}

void CPictureCache::RemoveSource(uint64_t llSource)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = m_slots.begin(); it != m_slots.end();) {
        if (it->first.llSource == llSource) {
            m_llBytes -= it->second.llBytes;
            m_lru.erase(it->second.itLru);
            it = m_slots.erase(it);
        } else {
            ++it;
        }
    }
}

void CPictureCache::RemoveUnusedAbove(uint64_t llSource, int64_t llFrame)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = m_slots.begin(); it != m_slots.end();) {
        if (it->first.llSource == llSource && it->first.llFrame > llFrame &&
            it->second.pPicture.use_count() == 1) {
            m_llBytes -= it->second.llBytes;
            m_lru.erase(it->second.itLru);
            it = m_slots.erase(it);
        } else {
            ++it;
        }
    }
}

int64_t CPictureCache::RoomBesideShown() const
{
    QMutexLocker lock(&m_mutex);
    int64_t llShown = 0;
    for (const auto &slot : m_slots)
        if (slot.second.pPicture.use_count() > 1)
            llShown += slot.second.llBytes;
    return std::max<int64_t>(0, m_llLimit - llShown);
}

size_t CPictureCache::PeakCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_nPeakCount;
}

void CPictureCache::Grow(int64_t)
{
    // Which slot grew is not known here, and a picture may be in no slot at all (evicted but
    // still shown): count again from the pictures.
    QMutexLocker lock(&m_mutex);
    RecountLocked();
    TrimLocked();
}

void CPictureCache::RecountLocked()
{
    m_llBytes = 0;
    for (auto &slot : m_slots) {
        slot.second.llBytes = slot.second.pPicture->Bytes();
        m_llBytes += slot.second.llBytes;
    }
}

void CPictureCache::TrimLocked()
{
    // A picture a graph shows stays whole whatever the limit: dropping it here would free no
    // memory, only make the next pane that shows it decode or convert it again. Of the others,
    // least recently used first: native RGB images go first (cheap to make again, and only
    // snapshots and the report need them), then the decoded frames of pictures that keep an
    // image at the size they are shown (large pictures then still fit a whole group of pictures
    // at screen size, so that stepping backwards decodes each group once), then the pictures.
    const auto inUse = [](const Slot &slot) { return slot.pPicture.use_count() > 1; };
    for (int64_t (CPicture::*drop)() : {&CPicture::DropImage, &CPicture::DropFrame}) {
        for (auto it = m_lru.rbegin(); m_llBytes > m_llLimit && it != m_lru.rend(); ++it) {
            const auto itSlot = m_slots.find(*it);
            if (itSlot == m_slots.end() || inUse(itSlot->second))
                continue;
            const int64_t llFreed = (itSlot->second.pPicture.get()->*drop)();
            itSlot->second.llBytes -= llFreed;
            m_llBytes -= llFreed;
        }
    }
    for (auto it = m_lru.end(); m_llBytes > m_llLimit && it != m_lru.begin();) {
        --it;
        const auto itSlot = m_slots.find(*it);
        if (itSlot == m_slots.end() || inUse(itSlot->second))
            continue;
        m_llBytes -= itSlot->second.llBytes;
        m_slots.erase(itSlot);
        it = m_lru.erase(it);
    }
    if (m_llBytes > m_llPeak)
        m_llPeak = m_llBytes;
    if (m_slots.size() > m_nPeakCount)
        m_nPeakCount = m_slots.size();
}

void CPictureCache::SetLimit(int64_t llBytes)
{
    QMutexLocker lock(&m_mutex);
    m_llLimit = llBytes > 0 ? llBytes : 0;
    TrimLocked();
}

int64_t CPictureCache::Limit() const
{
    QMutexLocker lock(&m_mutex);
    return m_llLimit;
}

int64_t CPictureCache::Bytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_llBytes;
}

size_t CPictureCache::Count() const
{
    QMutexLocker lock(&m_mutex);
    return m_slots.size();
}

int64_t CPictureCache::PeakBytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_llPeak;
}

void CPictureCache::ResetPeak()
{
    QMutexLocker lock(&m_mutex);
    m_llPeak = m_llBytes;
    m_nPeakCount = m_slots.size();
}
