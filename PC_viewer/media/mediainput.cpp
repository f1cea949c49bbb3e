// Opening media files with a deadline on every blocking call.
#include "mediainput.h"

#include <QFileInfo>
#include <QtGlobal>

#include <mutex>

namespace {

int64_t SteadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool IsAttachedPicture(const AVStream *pStream)
{
    return (pStream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

} // namespace

HRESULT CMediaInput::OpenDecoder(int nStream, int nThreads, AVCodecContextPtr *ppCodec,
                                 const std::function<void(AVCodecContext *)> &configure) const
{
    if (!ppCodec)
        return E_POINTER;
    ppCodec->reset();
    if (!m_pFormat || nStream < 0 || nStream >= static_cast<int>(m_pFormat->nb_streams))
        return E_UNEXPECTED;
    const AVStream *pStream = m_pFormat->streams[nStream];
    const AVCodec *pDecoder = avcodec_find_decoder(pStream->codecpar->codec_id);
    if (!pDecoder)
        return VFW_E_CANNOT_RENDER;
    AVCodecContextPtr pCodec(avcodec_alloc_context3(pDecoder));
    if (!pCodec)
        return E_OUTOFMEMORY;
    if (avcodec_parameters_to_context(pCodec.get(), pStream->codecpar) < 0)
        return VFW_E_CANNOT_RENDER;
    pCodec->pkt_timebase = pStream->time_base;
    if (nThreads >= 0) {
        pCodec->thread_count = nThreads;
        pCodec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    if (configure)
        configure(pCodec.get());
    if (avcodec_open2(pCodec.get(), pDecoder, nullptr) < 0)
        return VFW_E_CANNOT_RENDER;
    *ppCodec = std::move(pCodec);
    return S_OK;
}

QByteArray MediaPathBytes(const QString &strPath)
{
    // Always through the file protocol: a name like "http:x.avi" or "concat:a|b" is a file.
    return "file:" + strPath.toUtf8();
}

CMediaInput::CMediaInput()
{
    // FFmpeg's own messages would go to the viewer's console; the engine reports by result
    // code. PELLISTER_FFMPEG_LOG=1 brings them back for debugging.
    static std::once_flag s_logLevel;
    std::call_once(s_logLevel, [] {
        av_log_set_level(qEnvironmentVariableIsSet("PELLISTER_FFMPEG_LOG") ? AV_LOG_INFO : AV_LOG_QUIET);
    });
}
CMediaInput::~CMediaInput() = default;

int CMediaInput::InterruptCallback(void *pOpaque)
{
    auto *pThis = static_cast<CMediaInput *>(pOpaque);
    if (pThis->m_bAbort.load())
        return 1;
    const int64_t llDeadline = pThis->m_llDeadlineNs.load();
    if (llDeadline != 0 && SteadyNowNs() > llDeadline) {
        pThis->m_bTimedOut.store(true);
        return 1;
    }
    return 0;
}

void CMediaInput::SetTimeLimit(std::chrono::milliseconds limit)
{
    m_bTimedOut.store(false);
    m_llDeadlineNs.store(SteadyNowNs() + std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count());
}

void CMediaInput::ClearTimeLimit()
{
    m_llDeadlineNs.store(0);
}

bool CMediaInput::TimedOut() const
{
    if (m_bTimedOut.load())
        return true;
    const int64_t llDeadline = m_llDeadlineNs.load();
    return llDeadline != 0 && SteadyNowNs() > llDeadline;
}

HRESULT CMediaInput::ReadError(int nAvError) const
{
    if (TimedOut())
        return VFW_E_TIMEOUT;
    if (m_bAbort.load())
        return E_FAIL;
    if (nAvError == AVERROR(ENOENT) || nAvError == AVERROR(EACCES) || nAvError == AVERROR(EIO) ||
        nAvError == AVERROR(EISDIR) || nAvError == AVERROR(EPERM))
        return VFW_E_NOT_FOUND;
    return E_FAIL;
}

HRESULT CMediaInput::OpenFormat(const QString &strPath, std::chrono::milliseconds timeLimit)
{
    m_pFormat.reset();
    m_nVideo = m_nAudio = -1;
    if (strPath.isEmpty())
        return E_UNEXPECTED;
    const QFileInfo info(strPath);
    if (!info.exists() || !info.isFile() || !info.isReadable())
        return VFW_E_NOT_FOUND;

    AVFormatContext *pFormat = avformat_alloc_context();
    if (!pFormat)
        return E_OUTOFMEMORY;
    pFormat->interrupt_callback.callback = &CMediaInput::InterruptCallback;
    pFormat->interrupt_callback.opaque = this;
    SetTimeLimit(timeLimit);
    const QByteArray path = MediaPathBytes(strPath);
    // Only the containers recorders write, read from local files: a file named .avi that is
    // really a playlist, or any other format whose demuxer opens further files or addresses,
    // is refused.
    pFormat->format_whitelist = av_strdup(kMediaFormatWhitelist);
    AVDictionary *pOptions = nullptr;
    av_dict_set(&pOptions, "protocol_whitelist", "file", 0);
    // On failure avformat_open_input frees the context itself.
    const int nErr = avformat_open_input(&pFormat, path.constData(), nullptr, &pOptions);
    av_dict_free(&pOptions);
    if (nErr < 0) {
        if (TimedOut())
            return VFW_E_TIMEOUT;
        const HRESULT hr = ReadError(nErr);
        return hr == VFW_E_NOT_FOUND ? hr : VFW_E_CANNOT_RENDER;
    }
    m_pFormat.reset(pFormat);
    return S_OK;
}

HRESULT CMediaInput::Open(const QString &strPath, std::chrono::milliseconds timeLimit)
{
    HRESULT hr = OpenFormat(strPath, timeLimit);
    if (FAILED(hr))
        return hr;
    // The demuxers we meet (MP4, AVI) describe their streams in the header; probing the streams
    // would decode the first picture only to throw it away.
    int64_t nBestVideoArea = -1;
    for (unsigned i = 0; i < m_pFormat->nb_streams; ++i) {
        const AVStream *pStream = m_pFormat->streams[i];
        const AVCodecParameters *pPar = pStream->codecpar;
        if (pPar->codec_type == AVMEDIA_TYPE_VIDEO && !IsAttachedPicture(pStream)) {
            const int64_t nArea = int64_t(pPar->width) * pPar->height;
            if (nArea > nBestVideoArea) {
                nBestVideoArea = nArea;
                m_nVideo = static_cast<int>(i);
            }
        } else if (pPar->codec_type == AVMEDIA_TYPE_AUDIO && m_nAudio < 0) {
            m_nAudio = static_cast<int>(i);
        }
    }
    if (m_nVideo < 0) {
        // Sound alone (or nothing we know) does not make a clip.
        hr = m_nAudio >= 0 ? E_UNEXPECTED : VFW_E_CANNOT_RENDER;
        m_pFormat.reset();
        return hr;
    }
    const AVCodecParameters *pPar = m_pFormat->streams[m_nVideo]->codecpar;
    if (!avcodec_find_decoder(pPar->codec_id) || pPar->width <= 0 || pPar->height <= 0) {
        m_pFormat.reset();
        return VFW_E_CANNOT_RENDER;
    }
    if (m_nAudio >= 0 && !avcodec_find_decoder(m_pFormat->streams[m_nAudio]->codecpar->codec_id))
        m_nAudio = -1;
    return S_OK;
}

HRESULT CMediaInput::OpenAudio(const QString &strPath, std::chrono::milliseconds timeLimit)
{
    HRESULT hr = OpenFormat(strPath, timeLimit);
    if (FAILED(hr))
        return hr;
    for (unsigned i = 0; i < m_pFormat->nb_streams; ++i) {
        const AVCodecParameters *pPar = m_pFormat->streams[i]->codecpar;
        if (pPar->codec_type == AVMEDIA_TYPE_AUDIO && avcodec_find_decoder(pPar->codec_id)) {
            m_nAudio = static_cast<int>(i);
            break;
        }
    }
    if (m_nAudio < 0) {
        m_pFormat.reset();
        return E_UNEXPECTED;
    }
    return S_OK;
}

AVStream *CMediaInput::VideoStream() const
{
    return m_pFormat && m_nVideo >= 0 ? m_pFormat->streams[m_nVideo] : nullptr;
}

AVStream *CMediaInput::AudioStream() const
{
    return m_pFormat && m_nAudio >= 0 ? m_pFormat->streams[m_nAudio] : nullptr;
}

tagVIDEOORIENTATION CMediaInput::VideoOrientation() const
{
    const AVStream *pStream = VideoStream();
    if (!pStream)
        return {};
    size_t nSize = 0;
    const uint8_t *pData = av_stream_get_side_data(pStream, AV_PKT_DATA_DISPLAYMATRIX, &nSize);
    if (!pData || nSize < 9 * sizeof(int32_t))
        return {};
    return OrientationOfMatrix(reinterpret_cast<const int32_t *>(pData));
}

void CMediaInput::KeepOnly(int nStream)
{
    if (!m_pFormat)
        return;
    for (unsigned i = 0; i < m_pFormat->nb_streams; ++i)
        m_pFormat->streams[i]->discard = static_cast<int>(i) == nStream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
}
