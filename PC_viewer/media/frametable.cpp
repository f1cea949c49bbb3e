// Measuring a clip in pictures: from the container's index when it is exact, else by reading
// every video packet (truncated AVI, MP4 whose pictures are reordered).
#include "frametable.h"

#include "ffmpegptr.h"
#include "mediainput.h"

#include <QFile>

#include <algorithm>

namespace {

// How many packets of the file are compared with the index before the index is trusted.
constexpr int INDEX_CHECK_PACKETS = 48;

bool SkippedPacket(const AVPacket *pPacket)
{
    return pPacket->size <= 0 || (pPacket->flags & AV_PKT_FLAG_DISCARD) != 0;
}

} // namespace

HRESULT CFrameTable::Build(CMediaInput &input, const QString &strPath)
{
    AVStream *pStream = input.VideoStream();
    if (!pStream)
        return E_UNEXPECTED;
    m_timeBase = pStream->time_base;
    if (m_timeBase.num <= 0 || m_timeBase.den <= 0)
        return VFW_E_INVALID_FILE_FORMAT;

    bool bUsable = false;
    HRESULT hr = BuildFromIndex(input, &bUsable);
    if (FAILED(hr))
        return hr;
    if (!bUsable) {
        hr = BuildByScan(strPath);
        if (FAILED(hr))
            return hr;
    }

    double dFrameSeconds = 0.0;
    for (AVRational rate : {pStream->avg_frame_rate, pStream->r_frame_rate}) {
        if (rate.num > 0 && rate.den > 0) {
            dFrameSeconds = av_q2d(av_inv_q(rate));
            break;
        }
    }
    return Finish(dFrameSeconds);
}

HRESULT CFrameTable::BuildFromIndex(CMediaInput &input, bool *pUsable)
{
    *pUsable = false;
    AVStream *pStream = input.VideoStream();
    const int nEntries = avformat_index_get_entries_count(pStream);
    if (nEntries <= 0)
        return S_OK;
    // An index written before the data was (a recording cut short), or one that claims more
    // pictures than the file has bytes, is not believed: room is reserved only for what the
    // file can hold.
    const int64_t llFileSize = avio_size(input.Format()->pb);
    const AVIndexEntry *pLast = avformat_index_get_entry(pStream, nEntries - 1);
    if (llFileSize > 0 && (nEntries > llFileSize || (pLast && pLast->pos + pLast->size > llFileSize)))
        return S_OK;

    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(nEntries));
    for (int i = 0; i < nEntries; ++i) {
        const AVIndexEntry *pEntry = avformat_index_get_entry(pStream, i);
        if (!pEntry || pEntry->size <= 0 || (pEntry->flags & AVINDEX_DISCARD_FRAME))
            continue;
        // An index in decode order is the presentation order only without reordering, which
        // shows as strictly rising time stamps here and pts == dts in the packets below.
        if (!entries.empty() && pEntry->timestamp <= entries.back().llDts)
            return S_OK;
        entries.push_back(
            {pEntry->timestamp, pEntry->timestamp, pEntry->pos, (pEntry->flags & AVINDEX_KEYFRAME) != 0});
    }
    if (entries.empty())
        return S_OK;

    input.KeepOnly(input.VideoIndex());
    AVPacketPtr pPacket = MakeAvPacket();
    size_t nChecked = 0;
    input.SetTimeLimit(MEDIA_SEEK_TIME_LIMIT);
    while (nChecked < entries.size() && nChecked < static_cast<size_t>(INDEX_CHECK_PACKETS)) {
        const int nErr = av_read_frame(input.Format(), pPacket.get());
        if (nErr < 0) {
            if (input.TimedOut())
                return VFW_E_TIMEOUT;
            break;
        }
        const bool bOurs = pPacket->stream_index == input.VideoIndex() && !SkippedPacket(pPacket.get());
        if (bOurs) {
            const Entry &entry = entries[nChecked++];
            if (pPacket->pts == AV_NOPTS_VALUE || pPacket->pts != pPacket->dts ||
                pPacket->dts != entry.llDts) {
                av_packet_unref(pPacket.get());
                return S_OK;
            }
        }
        av_packet_unref(pPacket.get());
    }
    input.ClearTimeLimit();
    if (nChecked == 0)
        return S_OK;
    m_decodeOrder = std::move(entries);
    m_bFromIndex = true;
    *pUsable = true;
    return S_OK;
}

HRESULT CFrameTable::BuildByScan(const QString &strPath)
{
    CMediaInput scan;
    HRESULT hr = scan.Open(strPath, MEDIA_OPEN_TIME_LIMIT);
    if (FAILED(hr))
        return hr;
    scan.KeepOnly(scan.VideoIndex());
    scan.SetTimeLimit(MEDIA_OPEN_TIME_LIMIT);
    m_decodeOrder.clear();
    m_packets.clear();

    // Packets are later read straight from the file when their data is found where the demuxer
    // says (data at pos, or after an 8-byte chunk header); checked on the first packets.
    QFile file(strPath);
    const bool bFileOpen = file.open(QIODevice::ReadOnly);
    int64_t llDataOffset = -1;
    bool bDirect = bFileOpen;
    constexpr int CHECKED_PACKETS = 3;

    AVPacketPtr pPacket = MakeAvPacket();
    int64_t llLastTs = AV_NOPTS_VALUE;
    for (;;) {
        const int nErr = av_read_frame(scan.Format(), pPacket.get());
        if (nErr < 0) {
            if (scan.TimedOut())
                return VFW_E_TIMEOUT;
            break; // end of file, or the end of what a cut-off recording holds
        }
        if (pPacket->stream_index != scan.VideoIndex() || SkippedPacket(pPacket.get()) ||
            (pPacket->flags & AV_PKT_FLAG_CORRUPT)) {
            av_packet_unref(pPacket.get());
            continue;
        }
        int64_t llTs = pPacket->pts != AV_NOPTS_VALUE ? pPacket->pts : pPacket->dts;
        if (llTs == AV_NOPTS_VALUE)
            llTs = llLastTs == AV_NOPTS_VALUE ? 0 : llLastTs + 1;
        llLastTs = llTs;
        const int64_t llDts = pPacket->dts != AV_NOPTS_VALUE ? pPacket->dts : llTs;
        const bool bKey = (pPacket->flags & AV_PKT_FLAG_KEY) != 0;
        m_decodeOrder.push_back({llTs, llDts, pPacket->pos, bKey});

        if (bDirect && pPacket->pos < 0)
            bDirect = false;
        if (bDirect && m_packets.size() < static_cast<size_t>(CHECKED_PACKETS)) {
            const int nCompare = std::min(pPacket->size, 64);
            bool bFound = false;
            for (int64_t llOffset : {int64_t(0), int64_t(8)}) {
                if (llDataOffset >= 0 && llOffset != llDataOffset)
                    continue;
                if (!file.seek(pPacket->pos + llOffset))
                    continue;
                const QByteArray bytes = file.read(nCompare);
                if (bytes.size() == nCompare &&
                    std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const char *>(pPacket->data))) {
                    llDataOffset = llOffset;
                    bFound = true;
                    break;
                }
            }
            bDirect = bFound;
        }
        if (bDirect)
            m_packets.push_back({pPacket->pos + llDataOffset, pPacket->size, bKey, llTs});
        av_packet_unref(pPacket.get());
    }
    if (!bDirect)
        m_packets.clear();
    return S_OK;
}

HRESULT CFrameTable::Finish(double dFrameSeconds)
{
    if (m_decodeOrder.empty())
        return VFW_E_INVALID_FILE_FORMAT;
    m_pts.clear();
    m_pts.reserve(m_decodeOrder.size());
    for (const Entry &entry : m_decodeOrder)
        m_pts.push_back(entry.llPts);
    std::sort(m_pts.begin(), m_pts.end());
    // Two pictures at one time stamp leave no way to tell them apart (nor a frame time).
    if (std::adjacent_find(m_pts.begin(), m_pts.end()) != m_pts.end())
        return VFW_E_INVALID_FILE_FORMAT;

    m_keys.clear();
    for (size_t i = 0; i < m_decodeOrder.size(); ++i) {
        const Entry &entry = m_decodeOrder[i];
        if (!entry.bKey && i != 0)
            continue;
        const int64_t llFrame = FrameOfPts(entry.llPts);
        if (!m_keys.empty() && llFrame <= m_keys.back().llFrame)
            continue;
        // A stream that does not begin with a key frame is decoded from its first packet.
        m_keys.push_back({i == 0 ? 0 : llFrame, entry.llPts, entry.llDts, entry.llPos, i});
    }

    const int64_t llCount = FrameCount();
    if (llCount >= 2) {
        const int64_t llSpan = m_pts.back() - m_pts.front();
        // The last picture lasts as long as the average one.
        m_llDuration = av_rescale(llSpan * llCount, int64_t(m_timeBase.num) * 10000000,
                                  int64_t(m_timeBase.den) * (llCount - 1));
    } else {
        m_llDuration = static_cast<int64_t>(dFrameSeconds * 1e7 + 0.5);
    }
    if (m_llDuration <= 0)
        return VFW_E_INVALID_FILE_FORMAT;
    m_llFrameTime = m_llDuration / llCount;
    if (m_llFrameTime <= 0)
        return VFW_E_INVALID_FILE_FORMAT;
    m_decodeOrder.clear();
    m_decodeOrder.shrink_to_fit();
    return S_OK;
}

int64_t CFrameTable::FrameOfPts(int64_t llPts) const
{
    const auto it = std::lower_bound(m_pts.begin(), m_pts.end(), llPts);
    if (it == m_pts.end() || *it != llPts)
        return -1;
    return it - m_pts.begin();
}

size_t CFrameTable::KeyIndexForFrame(int64_t llFrame) const
{
    const auto it = std::upper_bound(m_keys.begin(), m_keys.end(), llFrame,
                                     [](int64_t f, const Key &key) { return f < key.llFrame; });
    return it == m_keys.begin() ? 0 : static_cast<size_t>(it - m_keys.begin() - 1);
}

int64_t CFrameTable::GroupEnd(int64_t llFrame) const
{
    const size_t k = KeyIndexForFrame(llFrame);
    return k + 1 < m_keys.size() ? m_keys[k + 1].llFrame : FrameCount();
}
