// Pictures of an export range by place.
#include "export/rangepictures.h"

#include "media/framedecoder.h"
#include "media/frametable.h"
#include "media/mediainput.h"
#include "media/picture.h"

namespace {

// A clip's group of pictures may take this long to decode before it counts as stalled.
constexpr std::chrono::milliseconds kGroupTimeLimit{60000};

} // namespace

struct CRangePictures::Clip {
    CVideoExporter::Span span;
    std::shared_ptr<CFrameTable> table;
    tagVIDEOORIENTATION orientation;
    QSize shown;
    int64_t llFirstIndex = 0; // its first picture's place in the range
    std::unique_ptr<CFrameDecoder> decoder;
};

CRangePictures::CRangePictures(QVector<CVideoExporter::Span> spans)
{
    int64_t index = 0;
    for (const CVideoExporter::Span &s : spans) {
        auto c = std::make_unique<Clip>();
        c->span = s;
        c->llFirstIndex = index;
        index += s.llTo - s.llFrom + 1;
        m_clips.push_back(std::move(c));
    }
    m_llCount = index;
}

CRangePictures::~CRangePictures() = default;

HRESULT CRangePictures::Open(QString *why)
{
    for (auto &c : m_clips) {
        CMediaInput input;
        HRESULT hr = input.Open(c->span.strPath, MEDIA_OPEN_TIME_LIMIT);
        auto table = std::make_shared<CFrameTable>();
        if (SUCCEEDED(hr))
            hr = table->Build(input, c->span.strPath);
        if (SUCCEEDED(hr) && table->FrameCount() <= c->span.llTo)
            hr = E_INVALIDARG;
        if (FAILED(hr)) {
            *why = QStringLiteral("cannot open '%1'").arg(c->span.strPath);
            return hr;
        }
        c->table = table;
        c->orientation = input.VideoOrientation();
        const AVCodecParameters *par = input.VideoStream()->codecpar;
        c->shown = OrientedSize(QSize(par->width, par->height), c->orientation);
        c->decoder = std::make_unique<CFrameDecoder>(table, c->span.strPath, 0);
        hr = c->decoder->Open(MEDIA_OPEN_TIME_LIMIT);
        if (FAILED(hr)) {
            *why = QStringLiteral("cannot open '%1'").arg(c->span.strPath);
            return hr;
        }
    }
    return S_OK;
}

QSize CRangePictures::FirstSize() const
{
    return m_clips.empty() ? QSize() : m_clips.front()->shown;
}

HRESULT CRangePictures::Walk(int64_t first, int64_t last, QSize size, QImage::Format format, const Sink &sink,
                             const std::function<bool()> &cancelled)
{
    if (size.isEmpty())
        size = FirstSize();
    for (auto &cp : m_clips) {
        Clip &c = *cp;
        if (!c.decoder)
            return E_UNEXPECTED;
        const int64_t clipLast = c.llFirstIndex + (c.span.llTo - c.span.llFrom);
        if (clipLast < first || c.llFirstIndex > last)
            continue;
        const int64_t from = c.span.llFrom + std::max<int64_t>(0, first - c.llFirstIndex);
        const int64_t to = c.span.llFrom + (std::min(last, clipLast) - c.llFirstIndex);
        int64_t next = from;
        bool bStopped = false;
        HRESULT sinkResult = S_OK;
        const auto take = [&](int64_t n, const AVFrame *frame) -> bool {
            if (cancelled && cancelled()) {
                sinkResult = E_ABORT;
                return false;
            }
            if (n < next)
                return true;
            if (n > to)
                return false;
            next = n + 1;
            QImage picture = CPicture::ToImage(frame, size, c.orientation);
            if (!picture.isNull() && picture.format() != format)
                picture = picture.convertToFormat(format);
            if (!picture.isNull() && !sink(c.llFirstIndex + (n - c.span.llFrom), picture)) {
                bStopped = true;
                return false;
            }
            return next <= to;
        };
        while (next <= to && !bStopped && SUCCEEDED(sinkResult)) {
            const int64_t target = std::min(to, c.table->GroupEnd(next) - 1);
            const int64_t before = next;
            c.decoder->DecodeTo(target, kGroupTimeLimit, take);
            // A group that gives nothing is passed over.
            if (next == before)
                next = target + 1;
        }
        if (FAILED(sinkResult))
            return sinkResult;
        if (bStopped)
            return S_OK;
    }
    return S_OK;
}

QImage CRangePictures::Picture(int64_t index, QSize size)
{
    QImage out;
    Walk(index, index, size, QImage::Format_RGB32, [&](int64_t, const QImage &picture) {
        out = picture;
        return false;
    });
    return out;
}
