// MP4 box walker and the telemetry track reader on top of it. Tables are read box by box with
// their counts trusted only as far as the box's bytes reach, so a damaged or hostile file costs
// no more memory than its real tables.
#include "catalogue/mp4boxes.h"

#include "catalogue/blackvuegps.h"
#include "catalogue/camm.h"
#include "catalogue/gpmf.h"
#include "catalogue/garmingps.h"
#include "catalogue/mai70gps.h"
#include "catalogue/nextbasegps.h"
#include "catalogue/novatekgps.h"
#include "catalogue/sstargps.h"
#include "catalogue/teslasei.h"
#include "catalogue/thinkwaregps.h"

#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <vector>

bool IsMp4TextTrack(const tagMP4TRACK &track)
{
    return track.handler == "text" || track.sampleEntry == "text" || track.sampleEntry == "tx3g";
}

void ClampTrackFix(tagTRACKFIX *f)
{
    if (!std::isfinite(f->dLat) || !std::isfinite(f->dLon) || std::fabs(f->dLat) > 90.0 ||
        std::fabs(f->dLon) > 180.0) {
        f->dLat = f->dLon = 0.0;
        f->cStatus = 'V';
    }
    if (!std::isfinite(f->dAlt))
        f->dAlt = 0.0;
    if (!std::isfinite(f->dSpeed))
        f->dSpeed = 0.0;
    if (!std::isfinite(f->dCourse))
        f->dCourse = -1.0;
    if (!std::isfinite(f->dDop))
        f->dDop = -1.0;
}

namespace {

// Tracks whose samples are listed: the telemetry tracks, and text tracks, where some dash cams
// write their GPS as cues; and H.264 video when asked (some cars write their telemetry into the
// video's own NAL units).
bool SamplesWanted(const tagMP4TRACK &track, bool videoSamples)
{
    const QByteArray &entry = track.sampleEntry;
    return entry == "gpmd" || entry == "camm" || entry == "ssmd" || IsMp4TextTrack(track) ||
           (videoSamples && entry == "avc1");
}

// Bytes of an 'stsd' box read for an 'avc1' entry: its fixed fields and the boxes after them up to
// 'avcC' (usually the first).
constexpr qint64 kAvcEntryHeadBytes = 512;
// An 'avc1' sample entry's fixed fields (VisualSampleEntry), before its child boxes.
constexpr int kVisualSampleEntryBytes = 86;

// The NAL length size (1, 2 or 4) from the 'avcC' box among the children of the first sample
// entry of an 'stsd' payload; 0 when it is not there or says 3.
int NalLengthSize(const QByteArray &stsd)
{
    const uchar *p = reinterpret_cast<const uchar *>(stsd.constData());
    const qint64 n = stsd.size();
    if (n < 16)
        return 0;
    const qint64 entryEnd = std::min<qint64>(n, 8 + qint64(Be32(p + 8)));
    for (qint64 at = 8 + kVisualSampleEntryBytes; at + 8 <= entryEnd;) {
        const quint32 size = Be32(p + at);
        if (Be32(p + at + 4) == FourCC("avcC")) {
            if (size < 13 || at + 13 > entryEnd)
                return 0;
            const int length = (p[at + 12] & 3) + 1;
            return length == 3 ? 0 : length;
        }
        if (size < 8)
            return 0;
        at += size;
    }
    return 0;
}


QByteArray TagText(quint32 tag)
{
    QByteArray t(4, '\0');
    for (int i = 0; i < 4; ++i)
        t[i] = char(tag >> (24 - 8 * i));
    return t;
}

// A table box's payload after its version and flags.
struct Table {
    const uchar *p = nullptr;
    qint64 n = 0;
    explicit Table(const QByteArray &payload)
    {
        if (payload.size() >= 4) {
            p = reinterpret_cast<const uchar *>(payload.constData()) + 4;
            n = payload.size() - 4;
        }
    }
    quint8 Version() const { return p ? p[-4] : 0; }
};

// Seconds between 1904-01-01 and 1970-01-01.
constexpr qint64 kMp4EpochOffset = 2082844800;

struct SampleTables {
    QByteArray stts, stsz, stz2, stsc, stco, co64;
};

// Builds the sample list from the tables. Sets *tooLarge at the sample cap and *damaged when a
// table claims more than it holds or samples lie past the end of the file.
QVector<tagMP4SAMPLE> BuildSamples(const SampleTables &t, quint32 timeScale, qint64 fileSize, bool *tooLarge,
                                   bool *damaged)
{
    QVector<tagMP4SAMPLE> out;
    if (timeScale == 0)
        return out;

    // Sample sizes: a constant or a list of 32-, 16-, 8- or 4-bit fields.
    quint32 constantSize = 0;
    quint64 count = 0;
    int fieldBits = 32;
    const uchar *sizes = nullptr;
    qint64 sizeBytes = 0;
    if (!t.stsz.isEmpty()) {
        Table s(t.stsz);
        if (s.n < 8)
            return out;
        constantSize = Be32(s.p);
        count = Be32(s.p + 4);
        sizes = s.p + 8;
        sizeBytes = s.n - 8;
    } else if (!t.stz2.isEmpty()) {
        Table s(t.stz2);
        if (s.n < 8)
            return out;
        fieldBits = s.p[3];
        if (fieldBits != 4 && fieldBits != 8 && fieldBits != 16) {
            *damaged = true;
            return out;
        }
        count = Be32(s.p + 4);
        sizes = s.p + 8;
        sizeBytes = s.n - 8;
    } else {
        return out;
    }
    if (constantSize == 0) {
        const quint64 held = quint64(sizeBytes) * 8 / quint64(fieldBits);
        if (count > held) {
            *damaged = true;
            count = held;
        }
    } else if (count > quint64(fileSize) / constantSize) {
        // More samples of that size than the whole file holds.
        *damaged = true;
        count = quint64(fileSize) / constantSize;
    }
    if (count > quint64(kMaxMp4SamplesPerTrack)) {
        *tooLarge = true;
        count = kMaxMp4SamplesPerTrack;
    }
    auto sizeOf = [&](quint64 i) -> qint64 {
        if (constantSize)
            return constantSize;
        switch (fieldBits) {
        case 32: return Be32(sizes + 4 * i);
        case 16: return (qint64(sizes[2 * i]) << 8) | sizes[2 * i + 1];
        case 8: return sizes[i];
        default: return (i & 1) ? (sizes[i / 2] & 0x0f) : (sizes[i / 2] >> 4);
        }
    };

    // Chunk offsets.
    std::vector<qint64> chunks;
    {
        const bool wide = t.co64.size() > 0;
        Table c(wide ? t.co64 : t.stco);
        if (c.n < 4)
            return out;
        quint64 n = Be32(c.p);
        const int width = wide ? 8 : 4;
        const quint64 held = quint64(c.n - 4) / width;
        if (n > held) {
            *damaged = true;
            n = held;
        }
        chunks.reserve(size_t(n));
        for (quint64 i = 0; i < n; ++i) {
            const quint64 off = wide ? Be64(c.p + 4 + 8 * i) : Be32(c.p + 4 + 4 * i);
            chunks.push_back(off > quint64(fileSize) ? fileSize : qint64(off));
        }
    }

    // Sample-to-chunk runs: (first chunk, samples per chunk), first chunks rising from 1.
    struct Run { quint32 first, perChunk; };
    std::vector<Run> runs;
    {
        Table c(t.stsc);
        if (c.n < 4)
            return out;
        quint64 n = Be32(c.p);
        const quint64 held = quint64(c.n - 4) / 12;
        if (n > held) {
            *damaged = true;
            n = held;
        }
        runs.reserve(size_t(n));
        for (quint64 i = 0; i < n; ++i) {
            const Run r{Be32(c.p + 4 + 12 * i), Be32(c.p + 8 + 12 * i)};
            if (r.first == 0 || (!runs.empty() && r.first <= runs.back().first)) {
                *damaged = true;
                break;
            }
            runs.push_back(r);
        }
    }

    // Time to sample: (count, delta) runs.
    Table stts(t.stts);
    quint64 timeRuns = stts.n >= 4 ? Be32(stts.p) : 0;
    if (timeRuns > quint64(std::max<qint64>(stts.n - 4, 0)) / 8) {
        *damaged = true;
        timeRuns = quint64(std::max<qint64>(stts.n - 4, 0)) / 8;
    }

    out.reserve(int(std::min<quint64>(count, 4096)));
    quint64 sample = 0, timeRun = 0, leftInRun = 0, ticks = 0;
    quint32 delta = 0;
    size_t run = 0;
    for (size_t chunk = 0; chunk < chunks.size() && sample < count; ++chunk) {
        while (run + 1 < runs.size() && runs[run + 1].first <= chunk + 1)
            ++run;
        if (runs.empty() || runs[run].first > chunk + 1)
            continue;
        qint64 offset = chunks[chunk];
        for (quint32 k = 0; k < runs[run].perChunk && sample < count; ++k, ++sample) {
            while (leftInRun == 0 && timeRun < timeRuns) {
                leftInRun = Be32(stts.p + 4 + 8 * timeRun);
                delta = Be32(stts.p + 8 + 8 * timeRun);
                ++timeRun;
            }
            if (leftInRun == 0) {
                *damaged = true; // more samples than durations: the rest last no time
                delta = 0;
            } else {
                --leftInRun;
            }
            const qint64 size = sizeOf(sample);
            if (offset + size > fileSize) {
                *damaged = true;
                return out;
            }
            tagMP4SAMPLE s;
            s.nOffset = offset;
            s.nSize = size;
            s.dStart = double(ticks) / timeScale;
            s.dDuration = double(delta) / timeScale;
            out.push_back(s);
            offset += size;
            ticks += delta;
        }
    }
    if (sample < count)
        *damaged = true;
    return out;
}

} // namespace

bool tagTRACKTELEMETRY::AddFix(const tagTRACKFIX &fix)
{
    if (vecFix.size() >= kMaxFixesPerFile) {
        bTooLarge = 1;
        return false;
    }
    vecFix.push_back(fix);
    return true;
}

bool tagTRACKTELEMETRY::AddSample(const tagTRACKSAMPLE &sample)
{
    if (vecAccel.size() >= kMaxSamplesPerFile) {
        bTooLarge = 1;
        return false;
    }
    vecAccel.push_back(sample);
    return true;
}

bool tagTRACKTELEMETRY::AddVehicle(const tagTRACKVEHICLE &vehicle)
{
    if (vecVehicle.size() >= kMaxSamplesPerFile) {
        bTooLarge = 1;
        return false;
    }
    vecVehicle.push_back(vehicle);
    return true;
}

bool ParseMp4BoxHeader(const QByteArray &head, qint64 pos, qint64 end, tagMP4BOXHEADER *box)
{
    if (end - pos < 8 || head.size() < 8)
        return false;
    const uchar *p = reinterpret_cast<const uchar *>(head.constData());
    quint64 size = Be32(p);
    box->type = Be32(p + 4);
    box->payload = pos + 8;
    if (size == 1) {
        if (end - pos < 16 || head.size() < 16)
            return false;
        size = Be64(p + 8);
        box->payload = pos + 16;
    } else if (size == 0) {
        size = quint64(end - pos);
    }
    if (size < quint64(box->payload - pos))
        return false; // a size smaller than its own header: nothing after it can be trusted
    box->cut = size > quint64(end - pos);
    box->end = box->cut ? end : pos + qint64(size);
    return true;
}

bool tagBUDGETEDFILE::Open(const QString &path, qint64 *bytes, tagTRACKTELEMETRY *telemetry)
{
    budget = bytes;
    out = telemetry;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    size = file.size();
    return true;
}

QByteArray tagBUDGETEDFILE::Read(qint64 pos, qint64 n)
{
    if (n <= 0 || pos < 0 || pos > size - n)
        return {};
    if (n > *budget) {
        out->bTooLarge = 1;
        return {};
    }
    *budget -= n;
    if (!file.seek(pos))
        return {};
    QByteArray bytes = file.read(n);
    return bytes.size() == n ? bytes : QByteArray();
}

bool tagBUDGETEDFILE::ReadBox(qint64 pos, qint64 end, tagMP4BOXHEADER *box)
{
    return end - pos >= 8 && ParseMp4BoxHeader(Read(pos, std::min<qint64>(16, end - pos)), pos, end, box);
}

bool CMp4Boxes::ReadHeader(qint64 pos, qint64 parentEnd, Box *box)
{
    if (parentEnd - pos < 8 || ++m_boxCount > kMaxMp4Boxes) {
        if (m_boxCount > kMaxMp4Boxes)
            m_tooLarge = true;
        return false;
    }
    QByteArray head;
    if (m_file.seek(pos))
        head = m_file.read(std::min<qint64>(16, parentEnd - pos));
    tagMP4BOXHEADER h;
    if (!ParseMp4BoxHeader(head, pos, parentEnd, &h)) {
        // A header the file stops inside is a cut file; a size too small for itself is damage.
        if (head.size() < 8 || (head.size() < 16 && Be32(reinterpret_cast<const uchar *>(head.constData())) == 1))
            m_truncated = true;
        return false;
    }
    box->type = h.type;
    box->start = pos;
    box->payload = h.payload;
    box->end = h.end;
    if (h.cut)
        m_truncated = true;
    return true;
}

QByteArray CMp4Boxes::ReadPayload(const Box &box, qint64 cap)
{
    if (box.end - box.payload > cap)
        m_tooLarge = true;
    return ReadHead(box, cap);
}

QByteArray CMp4Boxes::ReadHead(const Box &box, qint64 n)
{
    n = qMin(n, box.end - box.payload);
    if (!m_file.seek(box.payload))
        return {};
    QByteArray data = m_file.read(n);
    if (data.size() != n)
        m_truncated = true;
    return data;
}

template <typename Fn> void CMp4Boxes::ForEachChild(qint64 start, qint64 end, int depth, Fn &&fn)
{
    if (depth > kMaxMp4Depth) {
        m_tooLarge = true;
        return;
    }
    Box box;
    for (qint64 pos = start; ReadHeader(pos, end, &box); pos = box.end) {
        fn(box);
        if (box.end <= pos)
            break;
    }
}

bool CMp4Boxes::Open(const QString &path, bool videoSamples)
{
    m_videoSamples = videoSamples;
    m_file.close();
    m_file.setFileName(path);
    m_tracks.clear();
    m_creation = QDateTime();
    m_error.clear();
    m_boxCount = 0;
    m_tooLarge = m_truncated = false;
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot open %1: %2").arg(path, m_file.errorString());
        return false;
    }
    m_fileSize = m_file.size();
    bool found = false;
    ForEachChild(0, m_fileSize, 0, [&](const Box &b) {
        if (b.type == FourCC("moov") && !found) {
            found = true;
            ReadMoov(b);
        }
    });
    if (!found)
        m_error = QStringLiteral("%1 holds no movie box").arg(path);
    return found;
}

void CMp4Boxes::ReadMoov(const Box &moov)
{
    ForEachChild(moov.payload, moov.end, 1, [&](const Box &b) {
        if (b.type == FourCC("mvhd")) {
            const QByteArray payload = ReadHead(b, 64);
            Table t(payload);
            quint64 secs = 0;
            quint32 scale = 0;
            quint64 duration = 0;
            if (t.Version() == 1 && t.n >= 8) {
                secs = Be64(t.p);
                if (t.n >= 28) {
                    scale = Be32(t.p + 16);
                    duration = Be64(t.p + 20);
                }
            } else if (t.Version() == 0 && t.n >= 4) {
                secs = Be32(t.p);
                if (t.n >= 16) {
                    scale = Be32(t.p + 8);
                    duration = Be32(t.p + 12);
                }
            }
            // All ones means unknown; a movie longer than a day is not a clip.
            if (scale > 0 && duration > 0 && duration != ~quint64(0) && duration / scale < 86400)
                m_duration = double(duration) / scale;
            // Zero means unknown; beyond the year 9999 is nonsense.
            if (secs > 0 && secs < quint64(kMp4EpochOffset) + 253402300800ULL)
                m_creation = QDateTime::fromSecsSinceEpoch(qint64(secs) - kMp4EpochOffset, QTimeZone::utc());
        } else if (b.type == FourCC("trak")) {
            ReadTrak(b);
        }
    });
}

void CMp4Boxes::ReadTrak(const Box &trak)
{
    tagMP4TRACK track;
    SampleTables tables;
    Box stbl;
    bool haveStbl = false;
    ForEachChild(trak.payload, trak.end, 2, [&](const Box &b) {
        if (b.type == FourCC("tkhd")) {
            const QByteArray payload = ReadHead(b, 64);
            Table t(payload);
            const qint64 at = t.Version() == 1 ? 16 : 8;
            if (t.n >= at + 4)
                track.nTrackId = Be32(t.p + at);
        } else if (b.type == FourCC("mdia")) {
            ForEachChild(b.payload, b.end, 3, [&](const Box &m) {
                if (m.type == FourCC("mdhd")) {
                    const QByteArray payload = ReadHead(m, 64);
                    Table t(payload);
                    const qint64 at = t.Version() == 1 ? 16 : 8;
                    if (t.n >= at + 4)
                        track.nTimeScale = Be32(t.p + at);
                } else if (m.type == FourCC("hdlr")) {
                    const QByteArray payload = ReadHead(m, 64);
                    Table t(payload);
                    if (t.n >= 8)
                        track.handler = TagText(Be32(t.p + 4));
                } else if (m.type == FourCC("minf")) {
                    ForEachChild(m.payload, m.end, 4, [&](const Box &s) {
                        if (s.type == FourCC("stbl")) {
                            stbl = s;
                            haveStbl = true;
                        }
                    });
                }
            });
        }
    });
    if (haveStbl) {
        // The sample entry decides whether the tables are wanted, so it is read first.
        ForEachChild(stbl.payload, stbl.end, 5, [&](const Box &s) {
            if (s.type == FourCC("stsd")) {
                QByteArray payload = ReadHead(s, 64);
                Table t(payload);
                if (t.n >= 12 && Be32(t.p) > 0)
                    track.sampleEntry = TagText(Be32(t.p + 8));
                if (m_videoSamples && track.sampleEntry == "avc1") {
                    payload = ReadHead(s, kAvcEntryHeadBytes);
                    track.nNalLengthSize = NalLengthSize(payload);
                }
            }
        });
        if (SamplesWanted(track, m_videoSamples)) {
            ForEachChild(stbl.payload, stbl.end, 5, [&](const Box &s) {
                const struct { const char *name; QByteArray *into; } wanted[] = {
                    {"stts", &tables.stts}, {"stsz", &tables.stsz}, {"stz2", &tables.stz2},
                    {"stsc", &tables.stsc}, {"stco", &tables.stco}, {"co64", &tables.co64}};
                for (const auto &w : wanted) {
                    if (s.type == FourCC(w.name) && w.into->isEmpty())
                        *w.into = ReadPayload(s, kMaxMp4TableBytes);
                }
            });
            track.samples = BuildSamples(tables, track.nTimeScale, m_fileSize, &m_tooLarge, &m_truncated);
        }
    }
    m_tracks.push_back(track);
}

QByteArray CMp4Boxes::ReadSample(const tagMP4SAMPLE &sample)
{
    if (sample.nSize <= 0 || sample.nSize > kMaxMp4SampleBytes || !m_file.isOpen()
        || !m_file.seek(sample.nOffset))
        return {};
    QByteArray data = m_file.read(sample.nSize);
    if (data.size() != sample.nSize)
        return {};
    return data;
}

QByteArray CMp4Boxes::ReadSampleHead(const tagMP4SAMPLE &sample, qint64 n)
{
    n = std::min(n, sample.nSize);
    if (n <= 0 || !m_file.isOpen() || !m_file.seek(sample.nOffset))
        return {};
    QByteArray data = m_file.read(n);
    if (data.size() != n)
        return {};
    return data;
}

int ReadMp4Telemetry(const QString &path, tagTRACKTELEMETRY *out, QString *error)
{
    *out = tagTRACKTELEMETRY();
    CMp4Boxes boxes;
    if (!boxes.Open(path)) {
        if (error)
            *error = boxes.Error();
        return 0;
    }
    out->creationUtc = boxes.CreationTimeUtc();
    out->dDuration = boxes.DurationSeconds();
    const tagMP4TRACK *chosen = nullptr;
    for (const char *entry : {"gpmd", "camm"}) {
        for (const tagMP4TRACK &t : boxes.Tracks()) {
            if (!chosen && t.sampleEntry == entry)
                chosen = &t;
        }
    }
    if (!chosen) {
        // The dash cams' own places, tried in turn; the first that holds telemetry gives it. They
        // share one budget for the file: no sample of a GPMF or CAMM track has been read.
        qint64 budget = kMaxDataFileBytes;
        const auto found = [&](const char *source) {
            out->source = source;
            if (boxes.TooLarge())
                out->bTooLarge = 1;
            return 1;
        };
        // The text tracks, 'ssmd' tracks and boxes of these makers are told by their headers
        // alone: they go before the search for blocks.
        if (CThinkwareGps::Read(&boxes, out, &budget))
            return found("thinkware");
        if (CGarminGps::Read(path, &boxes, out, &budget))
            return found("garmin");
        if (CSstarGps::Read(&boxes, out, &budget))
            return found("sstar");
        if (CMai70Gps::Read(path, out, &budget))
            return found("70mai");
        if (CNextbaseGps::Read(path, out, &budget))
            return found("nextbase");
        if (CBlackVueGps::ReadFile(path, out, &budget))
            return found("blackvue");
        if (CNovatekGps::ReadFile(path, out, &budget))
            return found("novatek");
        if (CTeslaSei::ReadFile(path, out, &budget))
            return found("tesla");
        if (error)
            *error = QStringLiteral("%1 holds no telemetry track and no dash cam's GPS blocks").arg(path);
        return 0;
    }
    const bool gpmf = chosen->sampleEntry == "gpmd";
    out->source = chosen->sampleEntry;
    qint64 budget = kMaxDataFileBytes;
    for (const tagMP4SAMPLE &s : chosen->samples) {
        if (s.nSize > budget) {
            out->bTooLarge = 1;
            break;
        }
        budget -= s.nSize;
        const QByteArray bytes = boxes.ReadSample(s);
        if (bytes.isEmpty())
            continue;
        if (gpmf)
            CGpmf::ParsePayload(bytes.constData(), bytes.size(), s.dStart, s.dDuration, out);
        else
            CCamm::ParseSample(bytes.constData(), bytes.size(), s.dStart, s.dDuration, out);
        if (out->bTooLarge)
            break;
    }
    if (boxes.TooLarge())
        out->bTooLarge = 1;
    return 1;
}
