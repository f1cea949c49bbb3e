// A video decoder that reaches any picture of a clip exactly: from the last key frame at or before
// it, checking where the demuxer really landed, or by going on from where it stopped last.
#pragma once

#include "ffmpegptr.h"
#include "mediainput.h"
#include "mediaresult.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class CFrameTable;

class CFrameDecoder
{
public:
    // Receives every picture decoded on the way (frame number, frame); returns false to stop.
    using PictureSink = std::function<bool(int64_t, const AVFrame *)>;

    CFrameDecoder(std::shared_ptr<const CFrameTable> pTable, QString strPath, int nThreads);
    ~CFrameDecoder();

    HRESULT Open(std::chrono::milliseconds timeLimit);
    // Decodes up to and including picture llTarget, handing each picture from the start point on
    // to sink. VFW_E_TIMEOUT past the time limit, E_FAIL when the picture cannot be decoded.
    HRESULT DecodeTo(int64_t llTarget, std::chrono::milliseconds timeLimit, const PictureSink &sink);
    // The picture the decoder would give next without seeking; -1 when a seek is needed.
    int64_t NextFrame() const { return m_llNext; }
    // Pictures to decode before llTarget comes out, from here.
    int64_t CostTo(int64_t llTarget) const;
    // Thread-safe: cuts off a DecodeTo in progress.
    void Abort() { m_input.Abort(); }
    // Pictures decoded since construction (benchmarks count them).
    int64_t DecodedCount() const { return m_llDecoded.load(); }

private:
    HRESULT SeekToKey(size_t nKey, bool bByBytes);
    HRESULT ReadPacket(AVPacket *pPacket, bool *pEnd);
    HRESULT Run(int64_t llTarget, const PictureSink &sink, bool *pFound, bool *pOvershot);

    std::shared_ptr<const CFrameTable> m_pTable;
    QString m_strPath;
    int m_nThreads;
    CMediaInput m_input;
    AVCodecContextPtr m_pCodec;
    AVPacketPtr m_pPacket;
    AVFramePtr m_pFrame;
    int64_t m_llNext = -1;               // next picture out when going on
    int64_t m_llLastOut = -1;            // last picture handed out, for pictures without a known stamp
    size_t m_nNextPacket = 0;            // direct reading: next packet of the table
    bool m_bFlushed = true;              // decoder holds nothing from an earlier run
    bool m_bDrained = false;             // end of stream sent: a seek must come first
    bool m_bLanded = false;              // first packet after a seek not yet checked
    int64_t m_llLandingPts = 0;          // where the seek should land
    std::atomic<int64_t> m_llDecoded{0}; // read by other threads for statistics
};
