// Exact decoding of any picture of a clip.
#include "framedecoder.h"

#include "frametable.h"

#include <QFile>

namespace {

// Earlier key frames tried when a picture did not come out from its own key frame (open groups
// of pictures, key flags that lie).
constexpr int KEY_RETRIES = 2;

} // namespace

CFrameDecoder::CFrameDecoder(std::shared_ptr<const CFrameTable> pTable, QString strPath, int nThreads)
    : m_pTable(std::move(pTable)), m_strPath(std::move(strPath)), m_nThreads(nThreads),
      m_pPacket(MakeAvPacket()), m_pFrame(MakeAvFrame())
{
}

CFrameDecoder::~CFrameDecoder() = default;

HRESULT CFrameDecoder::Open(std::chrono::milliseconds timeLimit)
{
    if (!m_pPacket || !m_pFrame)
        return E_OUTOFMEMORY;
    HRESULT hr = m_input.Open(m_strPath, timeLimit);
    if (FAILED(hr))
        return hr;
    m_input.KeepOnly(m_input.VideoIndex());
    hr = m_input.OpenDecoder(m_input.VideoIndex(), m_nThreads, &m_pCodec);
    if (FAILED(hr))
        return hr;
    m_input.ClearTimeLimit();
    m_llNext = m_pTable->DirectRead() ? -1 : 0; // a fresh demuxer stands at the first packet
    m_bFlushed = true;
    return S_OK;
}

int64_t CFrameDecoder::CostTo(int64_t llTarget) const
{
    const int64_t llFromKey = llTarget - m_pTable->GroupStart(llTarget) + 1;
    if (m_llNext >= 0 && !m_bDrained && m_llNext <= llTarget && m_llNext >= m_pTable->GroupStart(llTarget))
        return llTarget - m_llNext + 1;
    // A seek costs about a picture's worth of reading and flushing on top.
    return llFromKey + 1;
}

HRESULT CFrameDecoder::SeekToKey(size_t nKey, bool bByBytes)
{
    const CFrameTable::Key &key = m_pTable->Keys()[nKey];
    avcodec_flush_buffers(m_pCodec.get());
    m_bFlushed = true;
    m_bDrained = false;
    m_llLastOut = key.llFrame - 1;
    if (m_pTable->DirectRead()) {
        m_nNextPacket = key.nPacket;
        m_bLanded = true;
        return S_OK;
    }
    int nErr;
    if (bByBytes || key.llFrame == 0) {
        // The start of the file: a landing nobody can get wrong.
        nErr = avformat_seek_file(m_input.Format(), m_input.VideoIndex(), INT64_MIN,
                                  m_pTable->Keys().front().llDts, m_pTable->Keys().front().llDts,
                                  AVSEEK_FLAG_BACKWARD);
        if (nErr < 0)
            nErr = av_seek_frame(m_input.Format(), -1, 0, AVSEEK_FLAG_BYTE);
    } else {
        nErr = av_seek_frame(m_input.Format(), m_input.VideoIndex(), key.llDts, AVSEEK_FLAG_BACKWARD);
    }
    if (nErr < 0)
        return m_input.ReadError(nErr);
    // Demuxers have been seen to report success and land elsewhere: the first packet is checked.
    m_bLanded = false;
    m_llLandingPts = key.llPts;
    return S_OK;
}

HRESULT CFrameDecoder::ReadPacket(AVPacket *pPacket, bool *pEnd)
{
    *pEnd = false;
    if (m_pTable->DirectRead()) {
        const auto &packets = m_pTable->Packets();
        if (m_nNextPacket >= packets.size()) {
            *pEnd = true;
            return S_OK;
        }
        const CFrameTable::Packet &entry = packets[m_nNextPacket++];
        AVIOContext *pIo = m_input.Format()->pb;
        if (avio_seek(pIo, entry.llPos, SEEK_SET) < 0)
            return m_input.ReadError(AVERROR(EIO));
        if (av_new_packet(pPacket, entry.nSize) < 0)
            return E_OUTOFMEMORY;
        const int nRead = avio_read(pIo, pPacket->data, entry.nSize);
        if (nRead != entry.nSize) {
            av_packet_unref(pPacket);
            return m_input.ReadError(nRead < 0 ? nRead : AVERROR(EIO));
        }
        pPacket->pts = pPacket->dts = entry.llPts;
        pPacket->flags = entry.bKey ? AV_PKT_FLAG_KEY : 0;
        pPacket->stream_index = m_input.VideoIndex();
        return S_OK;
    }
    for (;;) {
        const int nErr = av_read_frame(m_input.Format(), pPacket);
        if (nErr == AVERROR_EOF) {
            *pEnd = true;
            return S_OK;
        }
        if (nErr < 0) {
            if (m_input.TimedOut() || m_input.Aborted())
                return m_input.ReadError(nErr);
            // A damaged stretch ends the stream for us; what was decoded so far stays valid.
            *pEnd = true;
            return S_OK;
        }
        if (pPacket->stream_index == m_input.VideoIndex() && pPacket->size > 0)
            return S_OK;
        av_packet_unref(pPacket);
    }
}

HRESULT CFrameDecoder::Run(int64_t llTarget, const PictureSink &sink, bool *pFound, bool *pOvershot)
{
    *pFound = *pOvershot = false;
    for (;;) {
        if (m_input.TimedOut())
            return VFW_E_TIMEOUT;
        if (m_input.Aborted())
            return E_FAIL;
        // Take out every picture the decoder has ready.
        for (;;) {
            const int nErr = avcodec_receive_frame(m_pCodec.get(), m_pFrame.get());
            if (nErr == AVERROR(EAGAIN))
                break;
            if (nErr == AVERROR_EOF) {
                m_bDrained = true;
                m_llNext = -1;
                return S_OK;
            }
            if (nErr < 0)
                return E_FAIL;
            ++m_llDecoded;
            int64_t llFrame = m_pTable->FrameOfPts(m_pFrame->best_effort_timestamp);
            if (llFrame < 0)
                llFrame = m_llLastOut + 1; // no usable stamp: pictures come out in order
            m_llLastOut = llFrame;
            const bool bWanted = sink(llFrame, m_pFrame.get());
            av_frame_unref(m_pFrame.get());
            if (llFrame == llTarget) {
                *pFound = true;
                m_llNext = llTarget + 1;
                return S_OK;
            }
            if (llFrame > llTarget) {
                *pOvershot = true;
                m_llNext = llFrame + 1;
                return S_OK;
            }
            if (!bWanted)
                return E_FAIL;
        }
        if (m_bDrained)
            return S_OK;
        bool bEnd = false;
        HRESULT hr = ReadPacket(m_pPacket.get(), &bEnd);
        if (FAILED(hr))
            return hr;
        if (bEnd) {
            avcodec_send_packet(m_pCodec.get(), nullptr);
            m_bDrained = true; // no more input; the loop above drains what is left
            // Keep receiving until EOF comes out.
            for (;;) {
                const int nErr = avcodec_receive_frame(m_pCodec.get(), m_pFrame.get());
                if (nErr < 0) {
                    m_llNext = -1;
                    return S_OK;
                }
                ++m_llDecoded;
                int64_t llFrame = m_pTable->FrameOfPts(m_pFrame->best_effort_timestamp);
                if (llFrame < 0)
                    llFrame = m_llLastOut + 1;
                m_llLastOut = llFrame;
                sink(llFrame, m_pFrame.get());
                av_frame_unref(m_pFrame.get());
                if (llFrame == llTarget) {
                    *pFound = true;
                    m_llNext = -1;
                    return S_OK;
                }
                if (llFrame > llTarget) {
                    *pOvershot = true;
                    m_llNext = -1;
                    return S_OK;
                }
            }
        }
        if (!m_bLanded) {
            m_bLanded = true;
            const int64_t llTs = m_pPacket->pts != AV_NOPTS_VALUE ? m_pPacket->pts : m_pPacket->dts;
            if (llTs == AV_NOPTS_VALUE || llTs > m_llLandingPts || !(m_pPacket->flags & AV_PKT_FLAG_KEY)) {
                av_packet_unref(m_pPacket.get());
                return S_FALSE; // landed after the key frame: the caller seeks from the start
            }
        }
        const int nErr = avcodec_send_packet(m_pCodec.get(), m_pPacket.get());
        av_packet_unref(m_pPacket.get());
        m_bFlushed = false;
        if (nErr == AVERROR(EAGAIN)) {
            // Cannot happen with the receive loop above; treated as a broken decoder.
            return E_FAIL;
        }
        // A damaged packet is skipped: its picture will be missing, which the caller sees.
    }
}

HRESULT CFrameDecoder::DecodeTo(int64_t llTarget, std::chrono::milliseconds timeLimit,
                                const PictureSink &sink)
{
    if (!m_pCodec)
        return E_UNEXPECTED;
    if (llTarget < 0 || llTarget >= m_pTable->FrameCount())
        return E_INVALIDARG;
    m_input.SetTimeLimit(timeLimit);
    size_t nKey = m_pTable->KeyIndexForFrame(llTarget);
    bool bGoOn =
        m_llNext >= 0 && !m_bDrained && m_llNext <= llTarget && m_llNext >= m_pTable->Keys()[nKey].llFrame;
    bool bFromStart = false;
    bool bFound = false;
    HRESULT hr = E_FAIL;
    for (int nTry = 0; nTry <= KEY_RETRIES + 1 && !bFound; ++nTry) {
        if (!bGoOn) {
            hr = SeekToKey(nKey, bFromStart);
            if (FAILED(hr))
                break;
        }
        bGoOn = false;
        bool bOvershot = false;
        hr = Run(llTarget, sink, &bFound, &bOvershot);
        if (FAILED(hr))
            break;
        if (bFound)
            break;
        m_llNext = -1;
        if (hr == S_FALSE && !bFromStart) {
            // Wrong landing: start from the first key frame and read forward.
            bFromStart = true;
            nKey = 0;
            continue;
        }
        // The picture did not come out from this key frame: start one group earlier.
        hr = E_FAIL;
        if (nKey == 0)
            break;
        --nKey;
    }
    if (!bFound) {
        m_llNext = -1;
        if (SUCCEEDED(hr))
            hr = E_FAIL;
    } else {
        hr = S_OK;
    }
    m_input.ClearTimeLimit();
    return hr;
}
