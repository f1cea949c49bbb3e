// Export of a range of recordings to MP4: burnt-in (decode, band, x264 + AAC) or copied.
#include "export/videoexport.h"

#include "base/frametime.h"
#include "export/rangepictures.h"
#include "export/regiontracker.h"
#include "media/framedecoder.h"
#include "media/frametable.h"
#include "media/mediainput.h"
#include "media/picture.h"
#include "media/videoorientation.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/imgutils.h>
}

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// Time base of the exported streams' clocks.
constexpr AVRational kOutTimeBase{1, 90000};
// A clip's decoding may take this long per group of pictures before it counts as stalled.
constexpr std::chrono::milliseconds kGroupTimeLimit{60000};
// Packets after the end of a lossless cut kept back in case an earlier picture refers to them.
constexpr size_t kCopyHoldBack = 16;
// How far the sound may run ahead of the pictures, in seconds.
constexpr double kSoundLead = 2.0;
// Sample rates AAC encodes.
constexpr int kAacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};

AVPixelFormat PlainPixelFormat(int format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        return AV_PIX_FMT_YUV440P;
    default:
        return static_cast<AVPixelFormat>(format);
    }
}

QString AvErrorText(int err)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

int64_t ToOut(int64_t value, AVRational from)
{
    return av_rescale_q(value, from, kOutTimeBase);
}

// Owning handle of an output file being written.
struct OutputDeleter {
    void operator()(AVFormatContext *p) const
    {
        if (p->pb)
            avio_closep(&p->pb);
        avformat_free_context(p);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AvSingleDeleter<AVAudioFifo, av_audio_fifo_free>>;

HRESULT OpenOutput(const QString &path, OutputPtr *out, QString *why)
{
    AVFormatContext *raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mp4", MediaPathBytes(path).constData()) < 0 || !raw) {
        *why = QStringLiteral("the MP4 writer is missing");
        return E_FAIL;
    }
    out->reset(raw);
    return S_OK;
}

HRESULT BeginFile(AVFormatContext *oc, const QString &path, QString *why)
{
    const int err = avio_open(&oc->pb, MediaPathBytes(path).constData(), AVIO_FLAG_WRITE);
    if (err < 0) {
        *why = QStringLiteral("cannot write '%1': %2").arg(path, ExportWriteErrorText(err));
        return E_FAIL;
    }
    AVDictionary *opts = nullptr;
    // The index at the front: the file plays while it is still being downloaded or copied.
    av_dict_set(&opts, "movflags", "+faststart", 0);
    const int hdr = avformat_write_header(oc, &opts);
    av_dict_free(&opts);
    if (hdr < 0) {
        *why = QStringLiteral("cannot write '%1': %2").arg(path, ExportWriteErrorText(hdr));
        return E_FAIL;
    }
    return S_OK;
}

} // namespace

QString ExportWriteErrorText(int avError)
{
    if (avError == AVERROR(ENOSPC) || avError == AVERROR(EFBIG))
        return QStringLiteral("the disk is full");
    return AvErrorText(avError);
}

namespace {

const struct {
    const char *name;
    ChannelLayout layout;
} kLayoutNames[] = {{"side", ChannelLayout::SideBySide}, {"pip", ChannelLayout::PictureInPicture}, {"grid", ChannelLayout::Grid}};

} // namespace

QStringList ChannelsOfRange(const QVector<tagEXPORTCLIP> &clips)
{
    QStringList names;
    for (const char *name : kChannelOrder)
        for (const tagEXPORTCLIP &c : clips)
            for (const tagCHANNELCLIP &ch : c.channels)
                if (ch.strName == QLatin1String(name) && !names.contains(ch.strName))
                    names << ch.strName;
    return names;
}

QString ExportLayoutName(ChannelLayout layout)
{
    for (const auto &n : kLayoutNames)
        if (n.layout == layout)
            return QLatin1String(n.name);
    return QStringLiteral("side");
}

bool ParseExportLayout(const QString &text, ChannelLayout *layout)
{
    for (const auto &n : kLayoutNames)
        if (text == QLatin1String(n.name)) {
            *layout = n.layout;
            return true;
        }
    return false;
}

QVector<QRect> ComposedPlaces(ChannelLayout layout, PipCorner corner, const QVector<QSize> &sizes, QSize *picture)
{
    QVector<QRect> places;
    *picture = QSize();
    if (sizes.isEmpty())
        return places;
    const auto even = [](double v) { return qMax(2, static_cast<int>(std::lround(v)) & ~1); };
    const auto shapeOf = [](const QSize &s) {
        return s.width() > 0 && s.height() > 0 ? double(s.width()) / s.height() : 16.0 / 9.0;
    };
    const int n = sizes.size();
    const double firstShape = shapeOf(sizes.first());
    // The first one's size, at most the width limit.
    QSize first((qMax(2, sizes.first().width()) + 1) & ~1, (qMax(2, sizes.first().height()) + 1) & ~1);
    if (first.width() > kComposedWidthLimit)
        first = QSize(kComposedWidthLimit, even(kComposedWidthLimit / firstShape));
    switch (n == 1 ? ChannelLayout::PictureInPicture : layout) {
    case ChannelLayout::SideBySide: {
        int h = first.height();
        QVector<int> widths;
        int total = 0;
        const auto measure = [&] {
            widths.clear();
            total = 0;
            for (const QSize &s : sizes) {
                widths << even(h * shapeOf(s));
                total += widths.last();
            }
        };
        measure();
        if (total > kComposedWidthLimit) {
            h = even(double(h) * kComposedWidthLimit / total);
            measure();
            while (total > kComposedWidthLimit && h > 2) {
                h -= 2;
                measure();
            }
        }
        int x = 0;
        for (int w : widths) {
            places << QRect(x, 0, w, h);
            x += w;
        }
        *picture = QSize(x, h);
        break;
    }
    case ChannelLayout::PictureInPicture: {
        *picture = first;
        places << QRect(QPoint(0, 0), first);
        constexpr int margin = 8;
        const bool right = corner == PipCorner::TopRight || corner == PipCorner::BottomRight;
        const bool bottom = corner == PipCorner::BottomLeft || corner == PipCorner::BottomRight;
        // A quarter of the width each, narrower when more than three must fit in the row.
        const int w = even(qMin(first.width() / 4.0, double(first.width() - margin * n) / (n - 1)));
        int x = right ? first.width() - margin - w : margin;
        for (int i = 1; i < n; ++i) {
            const int h = qMin(even(w / shapeOf(sizes.at(i))), (first.height() - 2 * margin) & ~1);
            const int y = bottom ? first.height() - margin - h : margin;
            places << QRect(x, y, w, qMax(2, h));
            x += right ? -(w + margin) : w + margin;
        }
        break;
    }
    case ChannelLayout::Grid: {
        const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
        const int rows = (n + columns - 1) / columns;
        QSize cell = first;
        if (cell.width() * columns > kComposedWidthLimit)
            cell = QSize(even(kComposedWidthLimit / columns), even(kComposedWidthLimit / columns / firstShape));
        for (int i = 0; i < n; ++i)
            places << QRect((i % columns) * cell.width(), (i / columns) * cell.height(), cell.width(), cell.height());
        *picture = QSize(columns * cell.width(), rows * cell.height());
        break;
    }
    }
    return places;
}

unsigned tagEXPORTOPTIONS::BandItems() const
{
    return bPrivacy ? nOverlay & ~kOverlayPrivateItems : nOverlay;
}

int ExportQualityCrf(ExportQuality quality)
{
    switch (quality) {
    case ExportQuality::High:
        return 17;
    case ExportQuality::Small:
        return 26;
    case ExportQuality::Normal:
    default:
        return 20;
    }
}

// What Prepare learns about one clip.
struct CVideoExporter::Clip {
    tagEXPORTCLIP spec;
    std::shared_ptr<CFrameTable> table;
    tagVIDEOORIENTATION orientation;
    QSize shown;          // picture size as shown (display matrix applied)
    bool bHasSound = false;
    int64_t llFrom = 0;   // first picture written
    int64_t llTo = 0;     // last picture written (inclusive)
    AVRational frameRate{0, 1};
    // Composed export: one per chosen channel, in the order they are laid out. A camera this
    // recording lacks has no path.
    struct Camera {
        QString strName;
        QString strPath;
        bool bMain = false;
        int nOffsetFrames = 0; // starts this many of its frames after the main camera
        std::shared_ptr<CFrameTable> table;
        tagVIDEOORIENTATION orientation;
        QSize shown;
    };
    std::vector<Camera> cameras;

    int64_t Frames() const { return llTo - llFrom + 1; }
    // Length of its part of the export in the output clock: from its first picture to the end of
    // its last one.
    int64_t OutLength() const
    {
        const AVRational tb = table->TimeBase();
        return ToOut(table->PtsOfFrame(llTo) - table->PtsOfFrame(llFrom), tb) +
               av_rescale_q(table->FrameTime(), AVRational{1, 10000000}, kOutTimeBase);
    }
};

CVideoExporter::CVideoExporter(QVector<tagEXPORTCLIP> clips, tagEXPORTOPTIONS options)
    : m_clips(std::move(clips)), m_options(options)
{
}

CVideoExporter::~CVideoExporter() = default;

HRESULT CVideoExporter::Prepare(QString *why)
{
    m_measured.clear();
    if (m_clips.isEmpty()) {
        *why = QStringLiteral("no recording to export");
        return E_INVALIDARG;
    }
    if (m_options.bCopy && (!m_options.blur.isEmpty() || m_options.bPrivacy)) {
        *why = QStringLiteral("a lossless cut keeps the pictures and tags as recorded; blurred regions and a privacy "
                              "copy need the pictures encoded (export without --copy)");
        return E_INVALIDARG;
    }
    int64_t total = 0;
    for (int i = 0; i < m_clips.size(); ++i) {
        auto c = std::make_unique<Clip>();
        c->spec = m_clips.at(i);
        CMediaInput input;
        HRESULT hr = input.Open(c->spec.strPath, MEDIA_OPEN_TIME_LIMIT);
        auto table = std::make_shared<CFrameTable>();
        if (SUCCEEDED(hr))
            hr = table->Build(input, c->spec.strPath);
        if (FAILED(hr)) {
            *why = QStringLiteral("cannot open '%1'").arg(c->spec.strPath);
            return hr;
        }
        c->table = table;
        c->orientation = input.VideoOrientation();
        const AVCodecParameters *par = input.VideoStream()->codecpar;
        c->shown = OrientedSize(QSize(par->width, par->height), c->orientation);
        c->bHasSound = input.AudioStream() != nullptr;
        c->frameRate = input.VideoStream()->avg_frame_rate;
        const int64_t count = table->FrameCount();
        c->llFrom = i == 0 ? c->spec.llFrom : 0;
        c->llTo = (i == m_clips.size() - 1 && c->spec.llTo >= 0) ? c->spec.llTo : count - 1;
        if (c->llFrom < 0 || c->llFrom >= count || c->llTo < 0 || c->llTo >= count) {
            *why = QStringLiteral("frame %1 is not in '%2' (frames 0 to %3)")
                       .arg(c->llFrom < 0 || c->llFrom >= count ? c->llFrom : c->llTo)
                       .arg(FileNameOfPath(c->spec.strPath))
                       .arg(count - 1);
            return E_INVALIDARG;
        }
        if (c->llTo < c->llFrom) {
            *why = QStringLiteral("the range ends (frame %1) before it starts (frame %2)").arg(c->llTo).arg(c->llFrom);
            return E_INVALIDARG;
        }
        if (m_options.bCopy && i == 0)
            c->llFrom = table->GroupStart(c->llFrom);
        hr = MeasureSlots(c.get(), why);
        if (FAILED(hr))
            return hr;
        total += av_rescale_q(c->OutLength(), kOutTimeBase, AVRational{1, 10000000});
        m_measured.push_back(std::move(c));
    }
    for (const QString &name : m_options.channels) {
        bool bSeen = false;
        for (const auto &m : m_measured)
            for (const Clip::Camera &s : m->cameras)
                bSeen = bSeen || (s.strName == name && (s.bMain || !s.strPath.isEmpty()));
        if (!bSeen) {
            *why = QStringLiteral("no recording of the range has a '%1' camera").arg(name);
            return E_INVALIDARG;
        }
    }
    if (total > kExportLimit100ns) {
        *why = QStringLiteral("the range is %1 minutes long; an export takes at most %2 minutes")
                   .arg(total / 600000000.0, 0, 'f', 1)
                   .arg(kExportLimit100ns / 600000000);
        return E_INVALIDARG;
    }
    if (!CheckBlurRegions(m_options.blur, FirstPictureSize(), TotalFrames(), why))
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CVideoExporter::MeasureSlots(Clip *c, QString *why) const
{
    if (m_options.channels.isEmpty())
        return S_OK;
    if (m_options.bCopy) {
        *why = QStringLiteral("a lossless cut holds one camera; cameras are composed only with the pictures encoded");
        return E_INVALIDARG;
    }
    QStringList names;
    for (const QString &name : m_options.channels) {
        if (ChannelRank(name) < 0) {
            QStringList known;
            for (const char *k : kChannelOrder)
                known << QLatin1String(k);
            *why = QStringLiteral("unknown camera '%1' (cameras: %2)").arg(name, known.join(','));
            return E_INVALIDARG;
        }
        if (!names.contains(name))
            names << name;
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return ChannelRank(a) < ChannelRank(b); });
    QVector<tagCHANNELCLIP> channels = c->spec.channels;
    if (channels.isEmpty())
        channels.append({QString::fromLatin1(kChannelFront), c->spec.strPath});
    const QString mainPath = QFileInfo(c->spec.strPath).absoluteFilePath();
    for (const QString &name : names) {
        Clip::Camera slot;
        slot.strName = name;
        for (const tagCHANNELCLIP &ch : channels)
            if (ch.strName == name) {
                slot.strPath = QFileInfo(ch.strMediaPath).absoluteFilePath();
                slot.nOffsetFrames = ch.nOffsetFrames;
            }
        slot.bMain = !slot.strPath.isEmpty() && slot.strPath == mainPath;
        if (slot.bMain) {
            slot.table = c->table;
            slot.orientation = c->orientation;
            slot.shown = c->shown;
        } else if (!slot.strPath.isEmpty()) {
            CMediaInput input;
            HRESULT hr = input.Open(slot.strPath, MEDIA_OPEN_TIME_LIMIT);
            auto table = std::make_shared<CFrameTable>();
            if (SUCCEEDED(hr))
                hr = table->Build(input, slot.strPath);
            if (FAILED(hr)) {
                *why = QStringLiteral("cannot open '%1'").arg(slot.strPath);
                return hr;
            }
            slot.table = table;
            slot.orientation = input.VideoOrientation();
            const AVCodecParameters *par = input.VideoStream()->codecpar;
            slot.shown = OrientedSize(QSize(par->width, par->height), slot.orientation);
        }
        c->cameras.push_back(slot);
    }
    return S_OK;
}

int64_t CVideoExporter::TotalFrames() const
{
    int64_t n = 0;
    for (const auto &c : m_measured)
        n += c->Frames();
    return n;
}

int64_t CVideoExporter::TotalDuration() const
{
    int64_t t = 0;
    for (const auto &c : m_measured)
        t += c->OutLength();
    return av_rescale_q(t, kOutTimeBase, AVRational{1, 10000000});
}

QVector<CVideoExporter::Span> CVideoExporter::Spans() const
{
    QVector<Span> spans;
    for (const auto &c : m_measured)
        spans.append({c->spec.strPath, c->llFrom, c->llTo, c->table->FrameTime(), c->table->FrameCount()});
    return spans;
}

int64_t CVideoExporter::CopyStartFrame() const
{
    return m_measured.empty() ? -1 : m_measured.front()->llFrom;
}

QSize CVideoExporter::FirstPictureSize() const
{
    return m_measured.empty() ? QSize() : m_measured.front()->shown;
}

HRESULT CVideoExporter::Run(const QString &outPath, const Progress &progress, tagEXPORTRESULT *result,
                            QString *why)
{
    if (m_measured.empty()) {
        const HRESULT hr = Prepare(why);
        if (FAILED(hr))
            return hr;
    }
    const QString target = QFileInfo(outPath).absoluteFilePath();
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    tagEXPORTRESULT r;
    HRESULT hr = m_options.bCopy ? RunCopy(part, progress, &r, why) : RunEncode(part, progress, &r, why);
    if (SUCCEEDED(hr) && Cancelled())
        hr = E_ABORT;
    if (SUCCEEDED(hr)) {
        // Into place whole: an earlier file of that name goes only once the new one is complete.
        if ((QFile::exists(target) && !QFile::remove(target)) || !QFile::rename(part, target)) {
            *why = QStringLiteral("cannot write '%1'").arg(target);
            hr = E_FAIL;
        }
    }
    if (FAILED(hr)) {
        QFile::remove(part);
        if (hr == E_ABORT)
            *why = QStringLiteral("cancelled");
        return hr;
    }
    r.strFile = target;
    if (result)
        *result = r;
    return S_OK;
}

namespace {

// The sound side of a burnt-in export: every clip's sound resampled to one format, cut or padded
// to its clip's picture length, and fed to the AAC encoder in whole encoder frames.
class CSoundTrack
{
public:
    // The sound is made on a thread of its own beside the pictures: the muxer is shared under
    // writeLock, and pace(seconds) holds the sound back until the pictures have come near it.
    HRESULT Open(AVFormatContext *oc, int rate, int channels, std::mutex *writeLock,
                 std::function<void(double)> pace, QString *why)
    {
        m_nChannels = channels;
        m_pWriteLock = writeLock;
        m_pace = std::move(pace);
        const AVCodec *aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!aac) {
            *why = QStringLiteral("no AAC encoder");
            return E_FAIL;
        }
        m_enc.reset(avcodec_alloc_context3(aac));
        if (!m_enc)
            return E_OUTOFMEMORY;
        m_enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
        m_enc->sample_rate = rate;
        av_channel_layout_default(&m_enc->ch_layout, m_nChannels);
        m_enc->bit_rate = 64000 * m_nChannels;
        m_enc->time_base = AVRational{1, rate};
        if (oc->oformat->flags & AVFMT_GLOBALHEADER)
            m_enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(m_enc.get(), aac, nullptr) < 0) {
            *why = QStringLiteral("the AAC encoder does not open");
            return E_FAIL;
        }
        m_stream = avformat_new_stream(oc, nullptr);
        if (!m_stream)
            return E_OUTOFMEMORY;
        m_stream->time_base = m_enc->time_base;
        avcodec_parameters_from_context(m_stream->codecpar, m_enc.get());
        m_fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, m_nChannels, 4096));
        m_frame = MakeAvFrame();
        m_packet = MakeAvPacket();
        return m_fifo && m_frame && m_packet ? S_OK : E_OUTOFMEMORY;
    }
    int Rate() const { return m_enc->sample_rate; }

    // Appends one clip's sound from t0 (seconds, the clip's own clock) for `samples` samples at
    // the export's rate; missing sound becomes silence.
    HRESULT AddClip(AVFormatContext *oc, const QString &path, bool bHasSound, double t0, int64_t samples,
                    const std::function<bool()> &cancelled, QString *why)
    {
        int64_t written = 0;
        if (bHasSound) {
            const HRESULT hr = DecodeClip(oc, path, t0, samples, &written, cancelled, why);
            if (FAILED(hr))
                return hr;
        }
        return Silence(oc, samples - written, why);
    }

    HRESULT Finish(AVFormatContext *oc, QString *why)
    {
        HRESULT hr = Drain(oc, true, why);
        if (FAILED(hr))
            return hr;
        return Encode(oc, nullptr, why);
    }

private:
    HRESULT DecodeClip(AVFormatContext *oc, const QString &path, double t0, int64_t samples, int64_t *written,
                       const std::function<bool()> &cancelled, QString *why)
    {
        CMediaInput input;
        if (FAILED(input.OpenAudio(path, MEDIA_OPEN_TIME_LIMIT)))
            return S_OK; // no sound to be had: silence
        const int index = input.AudioIndex();
        input.KeepOnly(index);
        AVCodecContextPtr dec;
        if (FAILED(input.OpenDecoder(index, -1, &dec)))
            return S_OK;
        AVStream *st = input.AudioStream();
        const AVRational tb = st->time_base;
        if (t0 > 0.5)
            av_seek_frame(input.Format(), index, static_cast<int64_t>((t0 - 0.5) / av_q2d(tb)), AVSEEK_FLAG_BACKWARD);
        SwrContextPtr swr;
        {
            SwrContext *raw = nullptr;
            if (swr_alloc_set_opts2(&raw, &m_enc->ch_layout, AV_SAMPLE_FMT_FLTP, Rate(), &dec->ch_layout,
                                    dec->sample_fmt, dec->sample_rate, 0, nullptr) < 0 ||
                swr_init(raw) < 0) {
                swr_free(&raw);
                return S_OK;
            }
            swr.reset(raw);
        }
        AVPacketPtr pkt = MakeAvPacket();
        AVFramePtr in = MakeAvFrame();
        std::vector<uint8_t *> planes(2, nullptr);
        bool bEnd = false;
        bool bSourceEnd = false;
        while (!bEnd && *written < samples) {
            if (cancelled())
                return E_ABORT;
            input.SetTimeLimit(MEDIA_SEEK_TIME_LIMIT);
            const int rd = bSourceEnd ? AVERROR_EOF : av_read_frame(input.Format(), pkt.get());
            if (rd < 0) {
                bSourceEnd = true;
                avcodec_send_packet(dec.get(), nullptr);
            } else {
                const bool ours = pkt->stream_index == index;
                if (ours)
                    avcodec_send_packet(dec.get(), pkt.get());
                av_packet_unref(pkt.get());
                if (!ours)
                    continue;
            }
            while (avcodec_receive_frame(dec.get(), in.get()) == 0) {
                const int64_t pts = in->best_effort_timestamp;
                // Where this block lands in the export, in samples from the clip's start.
                const int64_t at =
                    pts == AV_NOPTS_VALUE ? *written
                                          : static_cast<int64_t>(std::llround((pts * av_q2d(tb) - t0) * Rate())) -
                                                swr_get_delay(swr.get(), Rate());
                const int room = swr_get_out_samples(swr.get(), in->nb_samples);
                if (room <= 0) {
                    av_frame_unref(in.get());
                    continue;
                }
                AVFramePtr out = MakeAvFrame();
                out->format = AV_SAMPLE_FMT_FLTP;
                out->sample_rate = Rate();
                av_channel_layout_copy(&out->ch_layout, &m_enc->ch_layout);
                out->nb_samples = room;
                if (av_frame_get_buffer(out.get(), 0) < 0)
                    return E_OUTOFMEMORY;
                const int got = swr_convert(swr.get(), out->data, room, const_cast<const uint8_t **>(in->extended_data),
                                            in->nb_samples);
                av_frame_unref(in.get());
                if (got <= 0)
                    continue;
                int64_t first = 0; // samples of this block to skip
                int64_t count = got;
                if (at > *written + 1) {
                    // A hole in the sound (or sound that starts late): silence up to it.
                    const HRESULT hr = Silence(oc, qMin<int64_t>(at, samples) - *written, why);
                    if (FAILED(hr))
                        return hr;
                    *written = qMin<int64_t>(at, samples);
                } else if (at < *written) {
                    first = qMin<int64_t>(count, *written - at);
                }
                count -= first;
                count = qMin<int64_t>(count, samples - *written);
                if (count > 0) {
                    for (int c = 0; c < m_nChannels; ++c)
                        planes[c] = out->data[c] + first * sizeof(float);
                    if (av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void **>(planes.data()),
                                            static_cast<int>(count)) < count)
                        return E_OUTOFMEMORY;
                    *written += count;
                    const HRESULT hr = Drain(oc, false, why);
                    if (FAILED(hr))
                        return hr;
                }
                if (*written >= samples)
                    break;
            }
            if (bSourceEnd)
                bEnd = true;
        }
        return S_OK;
    }

    HRESULT Silence(AVFormatContext *oc, int64_t samples, QString *why)
    {
        std::vector<float> zeros(1024, 0.0f);
        void *planes[2] = {zeros.data(), zeros.data()};
        while (samples > 0) {
            const int n = static_cast<int>(qMin<int64_t>(samples, 1024));
            if (av_audio_fifo_write(m_fifo.get(), planes, n) < n)
                return E_OUTOFMEMORY;
            samples -= n;
            const HRESULT hr = Drain(oc, false, why);
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }

    // Encodes whole encoder frames from the FIFO (and the rest at the end).
    HRESULT Drain(AVFormatContext *oc, bool bAll, QString *why)
    {
        const int size = m_enc->frame_size > 0 ? m_enc->frame_size : 1024;
        while (av_audio_fifo_size(m_fifo.get()) >= size || (bAll && av_audio_fifo_size(m_fifo.get()) > 0)) {
            const int n = qMin(size, av_audio_fifo_size(m_fifo.get()));
            av_frame_unref(m_frame.get());
            m_frame->format = AV_SAMPLE_FMT_FLTP;
            m_frame->sample_rate = Rate();
            av_channel_layout_copy(&m_frame->ch_layout, &m_enc->ch_layout);
            m_frame->nb_samples = n;
            if (av_frame_get_buffer(m_frame.get(), 0) < 0)
                return E_OUTOFMEMORY;
            av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void **>(m_frame->data), n);
            m_frame->pts = m_llSamples;
            m_llSamples += n;
            if (m_pace)
                m_pace(double(m_llSamples) / Rate());
            const HRESULT hr = Encode(oc, m_frame.get(), why);
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }

    HRESULT Encode(AVFormatContext *oc, AVFrame *frame, QString *why)
    {
        if (avcodec_send_frame(m_enc.get(), frame) < 0 && frame) {
            *why = QStringLiteral("the sound could not be encoded");
            return E_FAIL;
        }
        while (avcodec_receive_packet(m_enc.get(), m_packet.get()) == 0) {
            av_packet_rescale_ts(m_packet.get(), m_enc->time_base, m_stream->time_base);
            m_packet->stream_index = m_stream->index;
            int err = 0;
            {
                const std::lock_guard<std::mutex> lock(*m_pWriteLock);
                err = av_interleaved_write_frame(oc, m_packet.get());
            }
            if (err < 0) {
                *why = ExportWriteErrorText(err);
                return E_FAIL;
            }
        }
        return S_OK;
    }

    int m_nChannels = 2;
    std::mutex *m_pWriteLock = nullptr;
    std::function<void(double)> m_pace;
    AVCodecContextPtr m_enc;
    AVStream *m_stream = nullptr;
    AudioFifoPtr m_fifo;
    AVFramePtr m_frame;
    AVPacketPtr m_packet;
    int64_t m_llSamples = 0;
};

// The export's sound format from a clip's: its rate where AAC has it (else 48 kHz), mono or
// stereo as recorded (more channels are mixed down to two). False without sound.
bool SoundFormatFor(const QString &path, int *rate, int *channels)
{
    CMediaInput input;
    if (FAILED(input.OpenAudio(path, MEDIA_OPEN_TIME_LIMIT)))
        return false;
    const AVCodecParameters *par = input.AudioStream()->codecpar;
    *rate = 48000;
    for (int r : kAacRates)
        if (r == par->sample_rate)
            *rate = r;
    *channels = par->ch_layout.nb_channels == 1 ? 1 : 2;
    return true;
}

// Pictures into the output frame: the source picture on top (converted straight to the encoder's
// format when it needs no turning), the band below.
class CPictureComposer
{
public:
    CPictureComposer(QSize picture, int band) : m_picture(picture), m_band(band) {}

    QSize OutputSize() const { return QSize(m_picture.width(), m_picture.height() + m_band); }

    // The source picture into the top of dst.
    bool ComposePicture(const AVFrame *src, const tagVIDEOORIENTATION &orientation, AVFrame *dst)
    {
        return ComposeInto(0, src, orientation, dst, QRect(QPoint(0, 0), m_picture), true);
    }
    // A channel's picture into its place `area` (even corners and sides) of dst; slot numbers
    // the channels so that each keeps its own converters.
    bool ComposeInto(size_t slot, const AVFrame *src, const tagVIDEOORIENTATION &orientation, AVFrame *dst,
                     const QRect &area, bool bFillAround)
    {
        if (m_slots.size() <= slot)
            m_slots.resize(slot + 1);
        Slot &s = m_slots[slot];
        const QSize shown = OrientedSize(QSize(src->width, src->height), orientation);
        const QRect place = Placement(shown, area);
        if (bFillAround && place.size() != area.size())
            FillBlack(dst, area);
        if (orientation.IsIdentity()) {
            const AVPixelFormat fmt = PlainPixelFormat(src->format);
            return Scale(&s.top, src->width, src->height, fmt, src->data, src->linesize, dst, place,
                         src->color_range == AVCOL_RANGE_JPEG || fmt != src->format);
        }
        // Turned pictures go through an RGB picture, turned exactly (pixels moved).
        const QImage turned = CPicture::ToImage(src, QSize(), orientation);
        if (turned.isNull())
            return false;
        return ComposeImage(&s.turned, turned, dst, place);
    }
    // "no picture" in a channel's place: the channel has no picture at this moment.
    bool ComposeNoPicture(size_t slot, AVFrame *dst, const QRect &area)
    {
        if (m_slots.size() <= slot)
            m_slots.resize(slot + 1);
        Slot &s = m_slots[slot];
        if (s.noPicture.size() != area.size()) {
            s.noPicture = QImage(area.size(), QImage::Format_RGB32);
            if (s.noPicture.isNull())
                return false;
            s.noPicture.fill(Qt::black);
            QPainter painter(&s.noPicture);
            QFont font = painter.font();
            font.setPixelSize(qMax(8, area.height() / 12));
            painter.setFont(font);
            painter.setPen(QColor(160, 160, 160));
            painter.drawText(s.noPicture.rect(), Qt::AlignCenter, QStringLiteral("no picture"));
        }
        return ComposeImage(&s.image, s.noPicture, dst, area);
    }
    // The whole picture area black (the gaps of a composed layout).
    void FillPicture(AVFrame *dst) const { FillBlack(dst, QRect(QPoint(0, 0), m_picture)); }
    // The band (RGB32, the output's width) into the bottom of dst.
    bool ComposeBand(const QImage &band, AVFrame *dst)
    {
        return ComposeImage(&m_bandScaler, band, dst, QRect(0, m_picture.height(), m_picture.width(), m_band));
    }

private:
    struct Scaler {
        SwsContextPtr ctx;
        int w = 0, h = 0;
        AVPixelFormat fmt = AV_PIX_FMT_NONE;
        QSize to;
    };
    struct Slot {
        Scaler top, turned, image;
        QImage noPicture;
    };

    bool ComposeImage(Scaler *s, const QImage &image, AVFrame *dst, const QRect &to)
    {
        const uint8_t *planes[4] = {image.constBits(), nullptr, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
        return Scale(s, image.width(), image.height(), AV_PIX_FMT_RGB32, planes, strides, dst, to, true);
    }

    // Converts the source into rows [top, top + height) of the yuv420p destination.
    // Where a picture of that size goes: the whole picture area when it has the export's size
    // (or misses it by the odd line an even size adds); otherwise as large as fits with its shape
    // kept, centred on black (a later clip of the range recorded at another size).
    QRect Placement(const QSize &shown, const QRect &area) const
    {
        if (std::abs(shown.width() - area.width()) <= 1 && std::abs(shown.height() - area.height()) <= 1)
            return area;
        const double scale = qMin(double(area.width()) / shown.width(), double(area.height()) / shown.height());
        const int w = qBound(2, int(shown.width() * scale) & ~1, area.width());
        const int h = qBound(2, int(shown.height() * scale) & ~1, area.height());
        return QRect(area.left() + (((area.width() - w) / 2) & ~1), area.top() + (((area.height() - h) / 2) & ~1), w, h);
    }

    void FillBlack(AVFrame *dst, const QRect &area) const
    {
        for (int y = area.top(); y <= area.bottom(); ++y)
            memset(dst->data[0] + ptrdiff_t(y) * dst->linesize[0] + area.left(), 16, size_t(area.width()));
        for (int plane = 1; plane < 3; ++plane)
            for (int y = area.top() / 2; y < (area.bottom() + 1) / 2; ++y)
                memset(dst->data[plane] + ptrdiff_t(y) * dst->linesize[plane] + area.left() / 2, 128,
                       size_t(area.width() / 2));
    }

    // Converts the source into the rectangle `to` (even corners and sides) of the yuv420p
    // destination.
    bool Scale(Scaler *s, int w, int h, AVPixelFormat fmt, const uint8_t *const planes[], const int strides[],
               AVFrame *dst, const QRect &to, bool bFullRange)
    {
        if (!s->ctx || s->w != w || s->h != h || s->fmt != fmt || s->to != to.size()) {
            s->ctx.reset(sws_getContext(w, h, fmt, to.width(), to.height(), AV_PIX_FMT_YUV420P,
                                        QSize(w, h) == to.size() ? SWS_POINT : SWS_BICUBIC, nullptr, nullptr,
                                        nullptr));
            s->w = w;
            s->h = h;
            s->fmt = fmt;
            s->to = to.size();
            if (!s->ctx)
                return false;
            sws_setColorspaceDetails(s->ctx.get(), sws_getCoefficients(SWS_CS_DEFAULT), bFullRange ? 1 : 0,
                                     sws_getCoefficients(SWS_CS_DEFAULT), 0, 0, 1 << 16, 1 << 16);
        }
        uint8_t *out[4] = {
            dst->data[0] + ptrdiff_t(to.top()) * dst->linesize[0] + to.left(),
            dst->data[1] + ptrdiff_t(to.top() / 2) * dst->linesize[1] + to.left() / 2,
            dst->data[2] + ptrdiff_t(to.top() / 2) * dst->linesize[2] + to.left() / 2, nullptr};
        return sws_scale(s->ctx.get(), planes, strides, 0, h, out, dst->linesize) > 0;
    }

    QSize m_picture;
    int m_band;
    std::vector<Slot> m_slots;
    Scaler m_bandScaler;
};

// Another channel's pictures for a composed export, asked for in the order of the main
// channel's moments (each the same as before or later): decoded forwards, one held.
class CChannelFeed
{
public:
    CChannelFeed(std::shared_ptr<CFrameTable> table, const QString &path, int offsetFrames)
        : m_table(table), m_decoder(std::move(table), path, 0), m_held(MakeAvFrame()), m_offset(offsetFrames)
    {
    }

    HRESULT Open() { return m_decoder.Open(MEDIA_OPEN_TIME_LIMIT); }
    // The picture for the main channel's frame of a clip of mainFrames frames lasting
    // mainDuration; null where the channel has none (it is shorter, or nothing could be decoded
    // yet). A picture that cannot be decoded has the one before standing in for it.
    const AVFrame *PictureFor(int64_t mainFrame, int64_t mainDuration, int64_t mainFrames)
    {
        const int64_t n =
            ChannelFrameOfMoment(mainFrame, mainDuration, mainFrames, m_table->Duration(), m_table->FrameCount(), m_offset);
        if (n < 0 || !m_held)
            return nullptr;
        if (n != m_llHeld && n >= m_llSkipUntil) {
            const int64_t before = m_llHeld;
            const HRESULT hr = m_decoder.DecodeTo(n, kGroupTimeLimit, [&](int64_t k, const AVFrame *frame) {
                if (k <= n) {
                    av_frame_unref(m_held.get());
                    m_llHeld = av_frame_ref(m_held.get(), frame) == 0 ? k : -1;
                }
                return k < n;
            });
            // Do not try the rest of a damaged group again for every picture.
            if (FAILED(hr) || m_llHeld == before)
                m_llSkipUntil = m_table->GroupEnd(n);
        }
        return m_llHeld >= 0 ? m_held.get() : nullptr;
    }

private:
    std::shared_ptr<CFrameTable> m_table;
    CFrameDecoder m_decoder;
    AVFramePtr m_held;
    int m_offset;
    int64_t m_llHeld = -1;
    int64_t m_llSkipUntil = 0;
};

} // namespace

HRESULT CVideoExporter::RunEncode(const QString &partPath, const Progress &progress, tagEXPORTRESULT *result,
                                  QString *why)
{
    HRESULT hr = S_OK;
    const Clip &first = *m_measured.front();
    // The followed regions are tracked through the range before the first picture is written.
    const int64_t tracked = TrackedPictures(m_options.blur, TotalFrames());
    tagREGIONTRACKS tracks;
    tracks.regions = m_options.blur;
    tracks.rects = QVector<QVector<QRect>>(m_options.blur.size());
    if (tracked > 0) {
        CRangePictures pictures(Spans());
        hr = pictures.Open(why);
        if (SUCCEEDED(hr))
            hr = TrackRegions(
                pictures, m_options.blur, [this] { return Cancelled(); },
                [&](int64_t done, int64_t) {
                    if (progress)
                        progress(done, tracked + TotalFrames());
                },
                &tracks, why);
        if (FAILED(hr))
            return hr;
    }
    // Even sides: the encoder's colour planes are half the size of its brightness plane.
    QSize picture((first.shown.width() + 1) & ~1, (first.shown.height() + 1) & ~1);
    // Cameras composed: their places laid out for the first recording's pictures (a camera it
    // lacks takes the main one's size).
    const bool bComposed = !first.cameras.empty();
    QVector<QRect> places;
    if (bComposed) {
        QVector<QSize> sizes;
        for (const Clip::Camera &s : first.cameras)
            sizes << (s.shown.isEmpty() ? first.shown : s.shown);
        places = ComposedPlaces(m_options.layout, m_options.corner, sizes, &picture);
    }
    // Where the main camera's picture is: the blurred regions are in its pixels.
    QRect mainArea(QPoint(0, 0), picture);
    if (bComposed) {
        mainArea = places.first();
        for (size_t i = 0; i < first.cameras.size(); ++i)
            if (first.cameras[i].bMain)
                mainArea = places.at(static_cast<int>(i));
    }
    // Without any item there is no band: the pictures as they are.
    const unsigned bandItems = m_options.BandItems();
    const int band = bandItems ? OverlayBandHeight(picture) : 0;
    CPictureComposer composer(picture, band);
    const QSize outSize = composer.OutputSize();

    OutputPtr oc;
    hr = OpenOutput(partPath, &oc, why);
    if (FAILED(hr))
        return hr;

    const AVCodec *x264 = avcodec_find_encoder_by_name("libx264");
    if (!x264) {
        *why = QStringLiteral("the H.264 encoder (libx264) is missing from FFmpeg");
        return E_FAIL;
    }
    AVCodecContextPtr enc(avcodec_alloc_context3(x264));
    if (!enc)
        return E_OUTOFMEMORY;
    enc->width = outSize.width();
    enc->height = outSize.height();
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = kOutTimeBase;
    enc->framerate = first.frameRate.num > 0 && first.frameRate.den > 0
                         ? first.frameRate
                         : av_d2q(1e7 / static_cast<double>(first.table->FrameTime()), 100000);
    enc->sample_aspect_ratio = AVRational{1, 1};
    if (oc->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary *encOpts = nullptr;
    av_dict_set(&encOpts, "preset", "veryfast", 0);
    av_dict_set(&encOpts, "crf", QByteArray::number(ExportQualityCrf(m_options.quality)).constData(), 0);
    const int opened = avcodec_open2(enc.get(), x264, &encOpts);
    av_dict_free(&encOpts);
    if (opened < 0) {
        *why = QStringLiteral("the H.264 encoder does not open: %1").arg(AvErrorText(opened));
        return E_FAIL;
    }
    AVStream *vst = avformat_new_stream(oc.get(), nullptr);
    if (!vst)
        return E_OUTOFMEMORY;
    vst->time_base = kOutTimeBase;
    vst->avg_frame_rate = enc->framerate;
    avcodec_parameters_from_context(vst->codecpar, enc.get());

    int soundRate = 0, soundChannels = 0;
    if (m_options.bSound)
        for (const auto &c : m_measured)
            if (c->bHasSound && SoundFormatFor(c->spec.strPath, &soundRate, &soundChannels))
                break;
    std::unique_ptr<CSoundTrack> sound;
    std::mutex writeLock;
    std::atomic<double> pictureSeconds{0};
    std::atomic<bool> picturesDone{false};
    std::atomic<bool> picturesFailed{false};
    if (soundRate > 0) {
        sound = std::make_unique<CSoundTrack>();
        hr = sound->Open(oc.get(), soundRate, soundChannels, &writeLock,
                         [&](double seconds) {
                             // A couple of seconds ahead at most: the file stays interleaved and
                             // the muxer holds little.
                             while (seconds > pictureSeconds.load() + kSoundLead && !picturesDone.load() &&
                                    !picturesFailed.load() &&
                                    !Cancelled())
                                 std::this_thread::sleep_for(std::chrono::milliseconds(2));
                         },
                         why);
        if (FAILED(hr))
            return hr;
    }
    hr = BeginFile(oc.get(), partPath, why);
    if (FAILED(hr))
        return hr;

    AVFramePtr out = MakeAvFrame();
    AVPacketPtr pkt = MakeAvPacket();
    if (!out || !pkt)
        return E_OUTOFMEMORY;
    out->format = AV_PIX_FMT_YUV420P;
    out->width = outSize.width();
    out->height = outSize.height();
    if (av_frame_get_buffer(out.get(), 0) < 0)
        return E_OUTOFMEMORY;
    QImage bandImage;
    if (band > 0) {
        bandImage = QImage(outSize.width(), band, QImage::Format_RGB32);
        if (bandImage.isNull())
            return E_OUTOFMEMORY;
    }

    const auto writePackets = [&](AVFrame *frame) -> HRESULT {
        if (avcodec_send_frame(enc.get(), frame) < 0 && frame) {
            *why = QStringLiteral("a picture could not be encoded");
            return E_FAIL;
        }
        while (avcodec_receive_packet(enc.get(), pkt.get()) == 0) {
            av_packet_rescale_ts(pkt.get(), enc->time_base, vst->time_base);
            pkt->stream_index = vst->index;
            int err = 0;
            {
                const std::lock_guard<std::mutex> lock(writeLock);
                err = av_interleaved_write_frame(oc.get(), pkt.get());
            }
            if (err < 0) {
                *why = ExportWriteErrorText(err);
                return E_FAIL;
            }
        }
        return S_OK;
    };

    const int64_t total = TotalFrames();
    // The sound of every clip, made beside the pictures; joined on every way out.
    HRESULT soundResult = S_OK;
    QString soundWhy;
    std::thread soundThread;
    if (sound) {
        soundThread = std::thread([&] {
            for (const auto &cp : m_measured) {
                const Clip &c = *cp;
                const double t0 = c.table->PtsOfFrame(c.llFrom) * av_q2d(c.table->TimeBase());
                const int64_t samples = av_rescale_q(c.OutLength(), kOutTimeBase, AVRational{1, sound->Rate()});
                soundResult = sound->AddClip(
                    oc.get(), c.spec.strPath, c.bHasSound, t0, samples,
                    [&] { return Cancelled() || picturesFailed.load(); }, &soundWhy);
                if (FAILED(soundResult))
                    return;
            }
            soundResult = sound->Finish(oc.get(), &soundWhy);
        });
    }
    struct Joiner {
        std::thread &t;
        std::atomic<bool> &failed;
        bool bSucceeded = false;
        ~Joiner()
        {
            if (!bSucceeded)
                failed.store(true);
            if (t.joinable())
                t.join();
        }
    } joiner{soundThread, picturesFailed};
    int64_t done = 0;
    int64_t offset = 0; // output clock at the clip's first picture
    int64_t lastPts = -1;
    int64_t standIns = 0;
    for (const auto &cp : m_measured) {
        const Clip &c = *cp;
        const CClipOverlay overlay(c.spec.record, c.spec.strPath, c.table->FrameTime(), c.table->FrameCount());
        CFrameDecoder decoder(c.table, c.spec.strPath, 0);
        hr = decoder.Open(MEDIA_OPEN_TIME_LIMIT);
        if (FAILED(hr)) {
            *why = QStringLiteral("cannot open '%1'").arg(c.spec.strPath);
            return hr;
        }
        // The other cameras of this recording, each decoded forwards beside the main one.
        std::vector<std::unique_ptr<CChannelFeed>> feeds(c.cameras.size());
        for (size_t i = 0; i < c.cameras.size(); ++i) {
            const Clip::Camera &s = c.cameras[i];
            if (s.bMain || s.strPath.isEmpty())
                continue;
            feeds[i] = std::make_unique<CChannelFeed>(s.table, s.strPath, s.nOffsetFrames);
            hr = feeds[i]->Open();
            if (FAILED(hr)) {
                *why = QStringLiteral("cannot open '%1'").arg(s.strPath);
                return hr;
            }
        }
        const auto composeChannels = [&](int64_t n, const AVFrame *frame) -> bool {
            composer.FillPicture(out.get());
            for (size_t i = 0; i < c.cameras.size(); ++i) {
                const AVFrame *shown = nullptr;
                tagVIDEOORIENTATION orientation;
                if (c.cameras[i].bMain) {
                    shown = frame;
                    orientation = c.orientation;
                } else if (feeds[i]) {
                    shown = feeds[i]->PictureFor(n, c.table->Duration(), c.table->FrameCount());
                    orientation = c.cameras[i].orientation;
                }
                const QRect &area = places.at(static_cast<int>(i));
                if (!(shown ? composer.ComposeInto(i, shown, orientation, out.get(), area, false)
                              : composer.ComposeNoPicture(i, out.get(), area)))
                    return false;
            }
            return true;
        };
        const AVRational tb = c.table->TimeBase();
        const int64_t basePts = c.table->PtsOfFrame(c.llFrom);
        int64_t next = c.llFrom;
        bool bHavePicture = false;
        HRESULT sinkResult = S_OK;

        // Picture n of the clip, whose picture part is already in `out`: its band, then the encoder.
        const auto encodeFrame = [&](int64_t n) -> HRESULT {
            // The regions at this place of the range; a picture standing in for a lost one is
            // blurred again where the regions are now (never less).
            for (int r = 0; r < tracks.regions.size(); ++r)
                PixelateYuv420(out->data, out->linesize, outSize,
                               MapRect(tracks.At(r, done), first.shown, mainArea).intersected(mainArea));
            if (band > 0) {
                {
                    QPainter painter(&bandImage);
                    DrawTelemetryOverlay(painter, bandImage.rect(), overlay.Texts(n, m_options.unit), bandItems);
                }
                if (!composer.ComposeBand(bandImage, out.get())) {
                    *why = QStringLiteral("the telemetry band could not be converted");
                    return E_FAIL;
                }
            }
            int64_t pts = offset + ToOut(c.table->PtsOfFrame(n) - basePts, tb);
            if (pts <= lastPts)
                pts = lastPts + 1;
            lastPts = pts;
            out->pts = pts;
            pictureSeconds.store(pts * av_q2d(kOutTimeBase));
            ++done;
            if (progress)
                progress(tracked + done, tracked + total);
            return writePackets(out.get());
        };
        const auto sink = [&](int64_t n, const AVFrame *frame) -> bool {
            if (Cancelled()) {
                sinkResult = E_ABORT;
                return false;
            }
            if (n < next)
                return true;
            if (n > c.llTo)
                return false;
            if (av_frame_make_writable(out.get()) < 0) {
                sinkResult = E_OUTOFMEMORY;
                return false;
            }
            // A picture the decoder could not give: the one before stands in, so that time and
            // sound stay in step.
            while (next < n && bHavePicture) {
                ++standIns;
                sinkResult = encodeFrame(next++);
                if (FAILED(sinkResult) || av_frame_make_writable(out.get()) < 0)
                    return false;
            }
            if (!(bComposed ? composeChannels(n, frame) : composer.ComposePicture(frame, c.orientation, out.get()))) {
                *why = QStringLiteral("a picture of '%1' could not be converted").arg(c.spec.strPath);
                sinkResult = E_FAIL;
                return false;
            }
            bHavePicture = true;
            next = n + 1;
            sinkResult = encodeFrame(n);
            return SUCCEEDED(sinkResult) && next <= c.llTo;
        };
        while (next <= c.llTo && SUCCEEDED(sinkResult)) {
            const int64_t target = qMin(c.llTo, c.table->GroupEnd(next) - 1);
            const int64_t before = next;
            const HRESULT dr = decoder.DecodeTo(target, kGroupTimeLimit, sink);
            if (FAILED(sinkResult))
                break;
            if (next == before) {
                if (!bHavePicture) {
                    *why = QStringLiteral("picture %1 of '%2' cannot be decoded").arg(next).arg(c.spec.strPath);
                    return SUCCEEDED(dr) ? E_FAIL : dr;
                }
                // Damaged group: the last good picture stands in for the group's pictures.
                while (next <= target && SUCCEEDED(sinkResult)) {
                    ++standIns;
                    sinkResult = av_frame_make_writable(out.get()) < 0 ? E_OUTOFMEMORY : encodeFrame(next++);
                }
            }
        }
        if (FAILED(sinkResult))
            return sinkResult;
        offset += c.OutLength();
    }
    hr = writePackets(nullptr);
    picturesDone.store(true);
    if (FAILED(hr))
        return hr;
    joiner.bSucceeded = true;
    if (soundThread.joinable())
        soundThread.join();
    if (FAILED(soundResult)) {
        *why = soundWhy;
        return soundResult;
    }
    const int err = av_write_trailer(oc.get());
    if (err < 0) {
        *why = ExportWriteErrorText(err);
        return E_FAIL;
    }
    if (oc->pb && oc->pb->error < 0) {
        *why = ExportWriteErrorText(oc->pb->error);
        return E_FAIL;
    }
    avio_closep(&oc->pb);
    result->llFrames = done;
    result->llDuration = av_rescale_q(offset, kOutTimeBase, AVRational{1, 10000000});
    result->llStandIns = standIns;
    return S_OK;
}

HRESULT CVideoExporter::RunCopy(const QString &partPath, const Progress &progress, tagEXPORTRESULT *result,
                                QString *why)
{
    OutputPtr oc;
    HRESULT hr = OpenOutput(partPath, &oc, why);
    if (FAILED(hr))
        return hr;
    const Clip &first = *m_measured.front();
    CMediaInput probe;
    hr = probe.Open(first.spec.strPath, MEDIA_OPEN_TIME_LIMIT);
    if (FAILED(hr)) {
        *why = QStringLiteral("cannot open '%1'").arg(first.spec.strPath);
        return hr;
    }
    const AVCodecParameters *vpar = probe.VideoStream()->codecpar;
    if (avformat_query_codec(oc->oformat, vpar->codec_id, FF_COMPLIANCE_NORMAL) != 1) {
        *why = QStringLiteral("the pictures (%1) cannot be copied into MP4; export without --copy")
                   .arg(QString::fromUtf8(avcodec_get_name(vpar->codec_id)));
        return E_FAIL;
    }
    AVStream *vst = avformat_new_stream(oc.get(), nullptr);
    if (!vst)
        return E_OUTOFMEMORY;
    avcodec_parameters_copy(vst->codecpar, vpar);
    vst->codecpar->codec_tag = 0;
    vst->time_base = probe.VideoStream()->time_base;
    // The display matrix travels with the copied pictures.
    size_t sideSize = 0;
    const uint8_t *side = av_stream_get_side_data(probe.VideoStream(), AV_PKT_DATA_DISPLAYMATRIX, &sideSize);
    if (side && sideSize > 0) {
        uint8_t *copy = av_stream_new_side_data(vst, AV_PKT_DATA_DISPLAYMATRIX, sideSize);
        if (copy)
            memcpy(copy, side, sideSize);
    }
    AVStream *ast = nullptr;
    AVCodecID soundCodec = AV_CODEC_ID_NONE;
    if (m_options.bSound && probe.AudioStream()) {
        const AVCodecParameters *apar = probe.AudioStream()->codecpar;
        if (avformat_query_codec(oc->oformat, apar->codec_id, FF_COMPLIANCE_NORMAL) != 1) {
            *why = QStringLiteral("the sound (%1) cannot be copied into MP4; use --no-sound or export without --copy")
                       .arg(QString::fromUtf8(avcodec_get_name(apar->codec_id)));
            return E_FAIL;
        }
        ast = avformat_new_stream(oc.get(), nullptr);
        if (!ast)
            return E_OUTOFMEMORY;
        avcodec_parameters_copy(ast->codecpar, apar);
        ast->codecpar->codec_tag = 0;
        ast->time_base = probe.AudioStream()->time_base;
        soundCodec = apar->codec_id;
    }
    hr = BeginFile(oc.get(), partPath, why);
    if (FAILED(hr))
        return hr;

    const int64_t total = TotalFrames();
    int64_t done = 0;
    int64_t offset = 0; // output clock at the clip's first picture
    AVPacketPtr pkt = MakeAvPacket();
    for (const auto &cp : m_measured) {
        const Clip &c = *cp;
        CMediaInput input;
        hr = input.Open(c.spec.strPath, MEDIA_OPEN_TIME_LIMIT);
        if (FAILED(hr)) {
            *why = QStringLiteral("cannot open '%1'").arg(c.spec.strPath);
            return hr;
        }
        const AVCodecParameters *p = input.VideoStream()->codecpar;
        if (p->codec_id != vpar->codec_id || p->width != vpar->width || p->height != vpar->height ||
            (ast && (!input.AudioStream() || input.AudioStream()->codecpar->codec_id != soundCodec))) {
            *why = QStringLiteral("'%1' is not recorded like '%2'; a lossless cut cannot join them, export "
                                  "without --copy")
                       .arg(FileNameOfPath(c.spec.strPath), FileNameOfPath(first.spec.strPath));
            return E_FAIL;
        }
        const AVRational vtb = c.table->TimeBase();
        const int64_t startPts = c.table->PtsOfFrame(c.llFrom);
        const int64_t endPts = c.table->PtsOfFrame(c.llTo);
        const double t0 = startPts * av_q2d(vtb);
        const double t1 = t0 + c.OutLength() * av_q2d(kOutTimeBase);
        const CFrameTable::Key &key = c.table->Keys()[c.table->KeyIndexForFrame(c.llFrom)];
        input.SetTimeLimit(MEDIA_SEEK_TIME_LIMIT);
        if (c.llFrom > 0 &&
            av_seek_frame(input.Format(), input.VideoIndex(), key.llDts, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(input.Format(), -1, 0, AVSEEK_FLAG_BACKWARD);
        const double outOffsetSec = offset * av_q2d(kOutTimeBase);
        std::deque<AVPacketPtr> held; // pictures after the end, written only if an earlier one needs them
        bool bStarted = false;
        bool bVideoDone = false;
        bool bSoundDone = ast == nullptr;
        const auto write = [&](AVPacket *pk, AVStream *from, AVStream *to) -> HRESULT {
            const int64_t shift = static_cast<int64_t>(std::llround((outOffsetSec - t0) / av_q2d(from->time_base)));
            if (pk->pts != AV_NOPTS_VALUE)
                pk->pts += shift;
            if (pk->dts != AV_NOPTS_VALUE)
                pk->dts += shift;
            av_packet_rescale_ts(pk, from->time_base, to->time_base);
            pk->stream_index = to->index;
            pk->pos = -1;
            const int err = av_interleaved_write_frame(oc.get(), pk);
            if (err < 0) {
                *why = ExportWriteErrorText(err);
                return E_FAIL;
            }
            return S_OK;
        };
        while (!(bVideoDone && bSoundDone)) {
            if (Cancelled())
                return E_ABORT;
            input.SetTimeLimit(MEDIA_SEEK_TIME_LIMIT);
            if (av_read_frame(input.Format(), pkt.get()) < 0)
                break;
            if (pkt->stream_index == input.VideoIndex() && !bVideoDone) {
                const int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
                if (!bStarted) {
                    // The cut starts at the key picture; a picture before it in time (an open group's
                    // leading pictures) cannot be shown without the group before.
                    if (!(pkt->flags & AV_PKT_FLAG_KEY) || pts < startPts) {
                        av_packet_unref(pkt.get());
                        continue;
                    }
                    bStarted = true;
                }
                if (pts > endPts) {
                    if (held.size() >= kCopyHoldBack) {
                        bVideoDone = true;
                        av_packet_unref(pkt.get());
                        continue;
                    }
                    AVPacketPtr keep = MakeAvPacket();
                    av_packet_move_ref(keep.get(), pkt.get());
                    held.push_back(std::move(keep));
                    continue;
                }
                if (pts < startPts) {
                    av_packet_unref(pkt.get());
                    continue;
                }
                for (auto &h : held) {
                    hr = write(h.get(), input.VideoStream(), vst);
                    if (FAILED(hr))
                        return hr;
                    ++done;
                }
                held.clear();
                hr = write(pkt.get(), input.VideoStream(), vst);
                av_packet_unref(pkt.get());
                if (FAILED(hr))
                    return hr;
                ++done;
                if (progress)
                    progress(qMin(done, total), total);
            } else if (ast && input.AudioStream() && pkt->stream_index == input.AudioIndex()) {
                const double at = pkt->pts == AV_NOPTS_VALUE ? t0 : pkt->pts * av_q2d(input.AudioStream()->time_base);
                if (at >= t1)
                    bSoundDone = true;
                if (at >= t0 && at < t1) {
                    hr = write(pkt.get(), input.AudioStream(), ast);
                    if (FAILED(hr))
                        return hr;
                }
                av_packet_unref(pkt.get());
            } else {
                av_packet_unref(pkt.get());
            }
        }
        offset += c.OutLength();
    }
    const int err = av_write_trailer(oc.get());
    if (err < 0 || (oc->pb && oc->pb->error < 0)) {
        *why = ExportWriteErrorText(err < 0 ? err : oc->pb->error);
        return E_FAIL;
    }
    avio_closep(&oc->pb);
    result->llFrames = done;
    result->llDuration = av_rescale_q(offset, kOutTimeBase, AVRational{1, 10000000});
    result->llCopyFrom = first.llFrom;
    return S_OK;
}
