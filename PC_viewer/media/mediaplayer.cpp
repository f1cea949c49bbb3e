// The 1x player thread and its sound feeder.
#include "mediaplayer.h"

#include "audiooutput.h"
#include "ffmpegptr.h"
#include "grapheventcallback.h"
#include "mediagraph.h"
#include "mediainput.h"
#include "mediasource.h"
#include "picture.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <vector>

namespace {

// Longest single sleep of the player, so that it answers a stop quickly.
constexpr auto PLAYER_TICK = std::chrono::milliseconds(10);
// Sound that stops advancing for this long no longer leads: the steady clock takes over.
constexpr int64_t AUDIO_STALL_100NS = 2000000;
constexpr int OUTPUT_CHANNELS = 2;

} // namespace

// Decodes the clip's sound from a position on, as 16-bit stereo, into the output.
class CMediaPlayer::CAudioFeeder
{
public:
    HRESULT Open(const QString &strPath, int64_t llStartTime)
    {
        HRESULT hr = m_input.OpenAudio(strPath, MEDIA_OPEN_TIME_LIMIT);
        if (FAILED(hr))
            return hr;
        m_input.KeepOnly(m_input.AudioIndex());
        AVStream *pStream = m_input.AudioStream();
        if (FAILED(m_input.OpenDecoder(m_input.AudioIndex(), -1, &m_pCodec)))
            return E_FAIL;
        m_nRate = std::clamp(m_pCodec->sample_rate, 8000, 192000);
        m_llStartTime = llStartTime;
        if (llStartTime > 0) {
            const int64_t llTs = av_rescale_q(llStartTime, AVRational{1, 10000000}, pStream->time_base);
            av_seek_frame(m_input.Format(), m_input.AudioIndex(), llTs, AVSEEK_FLAG_BACKWARD);
        }
        m_pPacket = MakeAvPacket();
        m_pFrame = MakeAvFrame();
        m_input.ClearTimeLimit();
        return m_pPacket && m_pFrame ? S_OK : E_OUTOFMEMORY;
    }

    int SampleRate() const { return m_nRate; }
    bool Ended() const { return m_bEnd && m_pending.empty(); }
    void SetGain(double dGain) { m_dGain = dGain; }

    // Writes what the output takes; decodes more when nothing is pending.
    void Feed(CAudioOutput *pOutput)
    {
        for (int nGuard = 0; nGuard < 64; ++nGuard) {
            if (!m_pending.empty()) {
                const int64_t llTaken =
                    pOutput->Write(m_pending.data(), static_cast<int64_t>(m_pending.size()));
                m_pending.erase(m_pending.begin(), m_pending.begin() + llTaken);
                if (!m_pending.empty())
                    return; // the output is full
            }
            if (m_bEnd || !DecodeMore())
                return;
        }
    }

private:
    bool DecodeMore()
    {
        m_input.SetTimeLimit(MEDIA_SEEK_TIME_LIMIT);
        for (;;) {
            const int nErr = avcodec_receive_frame(m_pCodec.get(), m_pFrame.get());
            if (nErr == 0) {
                Convert(m_pFrame.get());
                av_frame_unref(m_pFrame.get());
                return true;
            }
            if (nErr != AVERROR(EAGAIN)) {
                m_bEnd = true;
                return false;
            }
            const int nRead = av_read_frame(m_input.Format(), m_pPacket.get());
            if (nRead < 0) {
                avcodec_send_packet(m_pCodec.get(), nullptr);
                continue; // drains; then EOF ends the sound
            }
            if (m_pPacket->stream_index == m_input.AudioIndex())
                avcodec_send_packet(m_pCodec.get(), m_pPacket.get()); // damaged packets skipped
            av_packet_unref(m_pPacket.get());
        }
    }

    void Convert(const AVFrame *pFrame)
    {
        if (!m_pResampler) {
            AVChannelLayout outLayout;
            av_channel_layout_default(&outLayout, OUTPUT_CHANNELS);
            AVChannelLayout inLayout;
            if (pFrame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
                av_channel_layout_copy(&inLayout, &pFrame->ch_layout) < 0)
                av_channel_layout_default(&inLayout, std::max(1, pFrame->ch_layout.nb_channels));
            SwrContext *pSwr = nullptr;
            const int nErr = swr_alloc_set_opts2(&pSwr, &outLayout, AV_SAMPLE_FMT_S16, m_nRate, &inLayout,
                                                 static_cast<AVSampleFormat>(pFrame->format),
                                                 pFrame->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&inLayout);
            if (nErr < 0 || swr_init(pSwr) < 0) {
                swr_free(&pSwr);
                m_bEnd = true;
                return;
            }
            m_pResampler.reset(pSwr);
        }
        // Sound before the start position is dropped, so that picture and sound start together.
        int nSkip = 0;
        const int64_t llTs = pFrame->best_effort_timestamp;
        if (llTs != AV_NOPTS_VALUE && m_llStartTime > 0) {
            const int64_t llTime =
                av_rescale_q(llTs, m_input.AudioStream()->time_base, AVRational{1, 10000000});
            if (llTime < m_llStartTime)
                nSkip = static_cast<int>(std::min<int64_t>(
                    pFrame->nb_samples, (m_llStartTime - llTime) * pFrame->sample_rate / 10000000));
        }
        const int nOutMax = swr_get_out_samples(m_pResampler.get(), pFrame->nb_samples);
        if (nOutMax <= 0)
            return;
        std::vector<int16_t> samples(static_cast<size_t>(nOutMax) * OUTPUT_CHANNELS);
        uint8_t *pOut[1] = {reinterpret_cast<uint8_t *>(samples.data())};
        const int nOut = swr_convert(m_pResampler.get(), pOut, nOutMax,
                                     const_cast<const uint8_t **>(pFrame->extended_data), pFrame->nb_samples);
        if (nOut <= 0)
            return;
        const int nSkipOut = static_cast<int>(int64_t(nSkip) * m_nRate / std::max(1, pFrame->sample_rate));
        if (nSkipOut >= nOut)
            return;
        const double dGain = m_dGain.load();
        const auto *pBegin = reinterpret_cast<const char *>(samples.data() + nSkipOut * OUTPUT_CHANNELS);
        const auto *pEnd = reinterpret_cast<const char *>(samples.data() + nOut * OUTPUT_CHANNELS);
        (void)dGain; // the output applies the gain
        m_pending.insert(m_pending.end(), pBegin, pEnd);
    }

    CMediaInput m_input;
    AVCodecContextPtr m_pCodec;
    SwrContextPtr m_pResampler;
    AVPacketPtr m_pPacket;
    AVFramePtr m_pFrame;
    std::vector<char> m_pending;
    int m_nRate = 48000;
    int64_t m_llStartTime = 0;
    std::atomic<double> m_dGain{1.0};
    bool m_bEnd = false;
};

CMediaPlayer::CMediaPlayer(CMediaGraph *pGraph, std::shared_ptr<CMediaSource> pSource, int64_t llStartFrame,
                           CAudioOutput *pAudio, double dGain)
    : m_pGraph(pGraph), m_pSource(std::move(pSource)), m_llStartFrame(llStartFrame), m_pAudio(pAudio),
      m_dGain(dGain)
{
}

CMediaPlayer::~CMediaPlayer()
{
    Stop();
}

void CMediaPlayer::Start()
{
    m_bStop = false;
    m_thread = std::thread(&CMediaPlayer::ThreadMain, this);
}

void CMediaPlayer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cvStop.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (m_pAudio)
        m_pAudio->Stop();
}

void CMediaPlayer::SetGain(double dGain)
{
    m_dGain = dGain;
    if (m_pAudio)
        m_pAudio->SetVolume(dGain);
}

int64_t CMediaPlayer::Clock()
{
    const auto now = std::chrono::steady_clock::now();
    const int64_t llStart = m_llStartFrame * m_pSource->FrameTime();
    if (m_pFeeder) {
        const int64_t llAudio = llStart + m_pAudio->PlayedUSecs() * 10;
        if (llAudio != m_llLastAudioClock) {
            m_llLastAudioClock = llAudio;
            m_lastAudioChange = now;
            return llAudio;
        }
        const int64_t llStalled =
            std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_lastAudioChange).count() / 100;
        // Sound ended or starved: time goes on regardless.
        if (m_pFeeder->Ended() || llStalled > AUDIO_STALL_100NS)
            return llAudio + llStalled;
        return llAudio;
    }
    return llStart + std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_wallStart).count() / 100;
}

void CMediaPlayer::ThreadMain()
{
    const int64_t llFrameTime = m_pSource->FrameTime();
    const int64_t llCount = m_pSource->FrameCount();
    if (m_pAudio) {
        auto pFeeder = std::make_unique<CAudioFeeder>();
        if (SUCCEEDED(pFeeder->Open(m_pSource->Path(), m_llStartFrame * llFrameTime)) &&
            m_pAudio->Start(pFeeder->SampleRate(), OUTPUT_CHANNELS)) {
            m_pAudio->SetVolume(m_dGain.load());
            pFeeder->Feed(m_pAudio);
            m_pFeeder = std::move(pFeeder);
        }
    }
    m_wallStart = std::chrono::steady_clock::now();
    m_lastAudioChange = m_wallStart;
    m_llLastAudioClock = -1;

    int64_t llNext = m_llStartFrame + 1;
    bool bCompleted = false;
    // The next picture, fetched and converted to the size it is shown before it is due, so that
    // at its time it only has to be handed over.
    std::shared_ptr<CPicture> pReady;
    int64_t llReady = -1;
    const auto prepare = [&](int64_t llFrame, std::shared_ptr<CPicture> *ppPicture) {
        m_pSource->Hint(llFrame, +1);
        const HRESULT hr = m_pSource->GetPicture(llFrame, MEDIA_SEEK_TIME_LIMIT, ppPicture);
        if (FAILED(hr)) {
            m_pGraph->PostGraphEvent(EC_USERABORT, hr, 0);
            return false;
        }
        (void)(*ppPicture)->ShownImage(m_pGraph->ShownSize());
        return true;
    };
    for (;;) {
        if (m_pFeeder)
            m_pFeeder->Feed(m_pAudio);
        if (llNext < llCount && llReady != llNext) {
            if (!prepare(llNext, &pReady))
                break;
            llReady = llNext;
        }
        const int64_t llClock = Clock();
        std::chrono::nanoseconds wait = PLAYER_TICK;
        if (llNext < llCount) {
            const int64_t llDue = llNext * llFrameTime;
            if (llClock >= llDue) {
                // Late pictures are passed over: the one for the present moment is shown.
                const int64_t llTarget = std::max(llNext, std::min(llCount - 1, llClock / llFrameTime));
                std::shared_ptr<CPicture> pPicture = pReady;
                if (llTarget != llReady && !prepare(llTarget, &pPicture))
                    break;
                m_pGraph->SetCurrentPicture(pPicture, llTarget, llTarget * llFrameTime);
                llNext = llTarget + 1;
                continue;
            }
            wait =
                std::min<std::chrono::nanoseconds>(wait, std::chrono::nanoseconds((llDue - llClock) * 100));
        } else if (!bCompleted && llClock >= m_pSource->Duration()) {
            m_pGraph->SetCurrentPicture(nullptr, -1, m_pSource->Duration());
            m_pGraph->PostGraphEvent(EC_COMPLETE, S_OK, 0);
            bCompleted = true;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_cvStop.wait_for(lock, wait, [&] { return m_bStop; }))
            break;
    }
    m_pFeeder.reset();
}
