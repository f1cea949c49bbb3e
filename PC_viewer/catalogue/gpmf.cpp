// GPMF payload reader: walks the KLV tree, gathers each stream's sticky items and turns its
// GPS5, GPS9 and ACCL items into fixes and samples, and the payload's GLPI or GPRI structures,
// timed by its SYST pairs, into fixes.
#include "catalogue/gpmf.h"

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr double kStandardGravity = 9.80665;
constexpr int kMaxNesting = 8;
constexpr int kMaxScales = 64;
constexpr qint64 kSecondsFrom1970To2000 = 946684800;
constexpr double kSecondsFrom1970To2100 = 4102444800.0;
constexpr size_t kMaxClockPairs = 64;

struct Klv {
    quint32 key = 0;
    char type = 0;
    int structSize = 0;
    int repeat = 0;
    const uchar *data = nullptr;
    qint64 size = 0; // structSize * repeat, all inside the payload
};

// Reads the item at p with n bytes left. False when fewer than a header remain or the item claims
// more bytes than there are; *next is where the following item begins (after the padding).
bool ReadKlv(const uchar *p, qint64 n, Klv *k, qint64 *next)
{
    if (n < 8)
        return false;
    k->key = Be32(p);
    k->type = char(p[4]);
    k->structSize = p[5];
    k->repeat = (p[6] << 8) | p[7];
    k->size = qint64(k->structSize) * k->repeat;
    k->data = p + 8;
    if (k->size > n - 8)
        return false;
    *next = std::min<qint64>(n, 8 + ((k->size + 3) & ~qint64(3)));
    return true;
}

int TypeSize(char t)
{
    switch (t) {
    case 'b': case 'B': case 'c': return 1;
    case 's': case 'S': return 2;
    case 'l': case 'L': case 'f': case 'q': return 4;
    case 'd': case 'j': case 'J': case 'Q': return 8;
    default: return 0;
    }
}

double Value(char t, const uchar *p)
{
    switch (t) {
    case 'b': return qint8(p[0]);
    case 'B': return p[0];
    case 's': return qint16((p[0] << 8) | p[1]);
    case 'S': return quint16((p[0] << 8) | p[1]);
    case 'l': return qint32(Be32(p));
    case 'L': return Be32(p);
    case 'q': return qint32(Be32(p)) / 65536.0;
    case 'f': {
        const quint32 bits = Be32(p);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    case 'd': {
        const quint64 bits = Be64(p);
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    case 'j': return double(qint64(Be64(p)));
    case 'J': return double(Be64(p));
    case 'Q': return double(qint64(Be64(p))) / 4294967296.0;
    default: return 0.0;
    }
}

struct Field {
    char type;
    int offset;
};

// The fields of one structure of an item: its own type repeated, or the stream's TYPE for '?'.
// Empty when the structure size does not fit the types.
std::vector<Field> Layout(const Klv &k, const QByteArray &complexType)
{
    std::vector<Field> fields;
    if (k.type == '?') {
        int offset = 0;
        for (char t : complexType) {
            const int n = TypeSize(t);
            if (n == 0)
                return {};
            fields.push_back({t, offset});
            offset += n;
        }
        if (offset != k.structSize)
            return {};
        return fields;
    }
    const int n = TypeSize(k.type);
    if (n == 0 || k.type == 'c' || k.structSize == 0 || k.structSize % n != 0)
        return {};
    for (int offset = 0; offset < k.structSize; offset += n)
        fields.push_back({k.type, offset});
    return fields;
}

// A data item kept until its stream has been read, with the sticky items in force at it.
struct Pending {
    Klv klv;
    std::vector<Field> fields;
    std::vector<double> scales;
};

// Divisor of field i; false when it is zero or not a number.
bool Scale(const std::vector<double> &scales, size_t i, double *divisor)
{
    *divisor = scales.empty() ? 1.0 : scales.size() == 1 ? scales[0] : i < scales.size() ? scales[i] : 1.0;
    return std::isfinite(*divisor) && *divisor != 0.0;
}

// Reads the row'th structure of an item, each field divided by its scale. False on a zero divisor.
bool Row(const Pending &item, int row, size_t count, double *values)
{
    const uchar *p = item.klv.data + qint64(row) * item.klv.structSize;
    for (size_t i = 0; i < count; ++i) {
        double divisor;
        if (!Scale(item.scales, i, &divisor))
            return false;
        values[i] = Value(item.fields[i].type, p + item.fields[i].offset) / divisor;
    }
    return true;
}

// "yymmddhhmmss.sss" as UTC milliseconds since 1970.
bool ParseGpsu(const Klv &k, qint64 *ms)
{
    if (k.size < 16 || (k.type != 'U' && k.type != 'c'))
        return false;
    const char *s = reinterpret_cast<const char *>(k.data);
    auto num = [&](int at, int len, int *v) {
        *v = 0;
        for (int i = at; i < at + len; ++i) {
            if (s[i] < '0' || s[i] > '9')
                return false;
            *v = *v * 10 + (s[i] - '0');
        }
        return true;
    };
    int yy, mo, dd, hh, mi, ss, mss;
    if (!num(0, 2, &yy) || !num(2, 2, &mo) || !num(4, 2, &dd) || !num(6, 2, &hh) || !num(8, 2, &mi)
        || !num(10, 2, &ss) || s[12] != '.' || !num(13, 3, &mss))
        return false;
    const QDate date(2000 + yy, mo, dd);
    const QTime time(hh, mi, ss, mss);
    if (!date.isValid() || !time.isValid())
        return false;
    *ms = QDateTime(date, time, QTimeZone::utc()).toMSecsSinceEpoch();
    return true;
}

char StatusOfFix(double fix)
{
    return fix >= 2.0 && fix <= 3.0 ? 'A' : 'V';
}

class StreamReader
{
public:
    StreamReader(double start, double duration, tagTRACKTELEMETRY *out)
        : m_start(start), m_duration(duration), m_out(out), m_fixesBefore(out->vecFix.size())
    {
    }

    int Skipped() const { return m_skipped; }

    // After the payload's last stream: its GLPI, else its GPRI, unless GPS5 or GPS9 gave fixes.
    void Finish()
    {
        if (m_out->vecFix.size() > m_fixesBefore || m_positions.empty())
            return;
        std::sort(m_clock.begin(), m_clock.end());
        const bool estimated = std::any_of(m_positions.begin(), m_positions.end(),
                                           [](const Pending &p) { return p.klv.key == FourCC("GLPI"); });
        for (const Pending &item : m_positions)
            if ((item.klv.key == FourCC("GLPI")) == estimated)
                EmitPosition(item);
    }

    void Read(const uchar *p, qint64 n)
    {
        std::vector<double> scales;
        QByteArray complexType;
        std::vector<Pending> gps5, gps9, accl;
        double fix = -1.0;
        bool haveUtc = false;
        qint64 utcMs = 0;
        double dop = -1.0;
        Klv k;
        qint64 next = 0;
        for (; ReadKlv(p, n, &k, &next); p += next, n -= next) {
            switch (k.key) {
            case FourCC("SCAL"): {
                scales.clear();
                const int size = TypeSize(k.type);
                for (qint64 at = 0; size > 0 && at + size <= k.size && scales.size() < kMaxScales; at += size)
                    scales.push_back(Value(k.type, k.data + at));
                break;
            }
            case FourCC("TYPE"):
                complexType = k.type == 'c' ? QByteArray(reinterpret_cast<const char *>(k.data), int(k.size))
                                            : QByteArray();
                while (complexType.endsWith('\0'))
                    complexType.chop(1);
                break;
            case FourCC("GPSF"):
                if (TypeSize(k.type) > 0 && k.type != 'c' && k.size >= TypeSize(k.type))
                    fix = Value(k.type, k.data);
                break;
            case FourCC("GPSU"):
                haveUtc = ParseGpsu(k, &utcMs);
                break;
            case FourCC("GPSP"):
                if (TypeSize(k.type) > 0 && k.type != 'c' && k.size >= TypeSize(k.type))
                    dop = Value(k.type, k.data) / 100.0;
                break;
            case FourCC("GPRI"):
            case FourCC("GLPI"):
            case FourCC("SYST"): {
                Pending item{k, Layout(k, complexType), scales};
                const size_t need = k.key == FourCC("GLPI") ? 9 : k.key == FourCC("GPRI") ? 8 : 2;
                // One divisor for all fields or one each; any other count belongs to something else.
                if (item.fields.size() < need || (scales.size() > 1 && scales.size() != item.fields.size())) {
                    ++m_skipped;
                    break;
                }
                if (k.key == FourCC("SYST"))
                    AddClock(item);
                else
                    m_positions.push_back(item);
                break;
            }
            case FourCC("GPS5"):
            case FourCC("GPS9"):
            case FourCC("ACCL"): {
                Pending item{k, Layout(k, k.key == FourCC("GPS9") && k.type == '?' && complexType.isEmpty()
                                              ? QByteArray("lllllllSS")
                                              : complexType),
                             scales};
                const size_t need = k.key == FourCC("GPS5") ? 5 : k.key == FourCC("GPS9") ? 9 : 3;
                if (item.fields.size() < need)
                    break; // a type or structure these values cannot be read from
                (k.key == FourCC("GPS5") ? gps5 : k.key == FourCC("GPS9") ? gps9 : accl).push_back(item);
                break;
            }
            default:
                break;
            }
        }
        for (const Pending &item : gps5)
            EmitGps5(item, fix, haveUtc, utcMs, dop);
        for (const Pending &item : gps9)
            EmitGps9(item);
        for (const Pending &item : accl)
            EmitAccl(item);
    }

private:
    double TimeOf(int row, int rows) const { return m_start + m_duration * row / rows; }

    void EmitGps5(const Pending &item, double fix, bool haveUtc, qint64 utcMs, double dop)
    {
        double v[5];
        for (int row = 0; row < item.klv.repeat; ++row) {
            if (!Row(item, row, 5, v))
                return;
            tagTRACKFIX f;
            f.dTime = TimeOf(row, item.klv.repeat);
            Fill(&f, v);
            f.cStatus = fix >= 0.0 ? StatusOfFix(fix) : (v[0] == 0.0 && v[1] == 0.0 ? 'V' : 'A');
            f.dDop = dop;
            if (haveUtc) {
                f.bHasUtc = true;
                f.nUtcMs = utcMs + qint64(std::llround((f.dTime - TimeOf(0, item.klv.repeat)) * 1000.0));
            }
            if (!Add(&f))
                return;
        }
    }

    void EmitGps9(const Pending &item)
    {
        double v[9];
        for (int row = 0; row < item.klv.repeat; ++row) {
            if (!Row(item, row, 9, v))
                return;
            tagTRACKFIX f;
            f.dTime = TimeOf(row, item.klv.repeat);
            Fill(&f, v);
            f.cStatus = StatusOfFix(v[8]);
            f.dDop = v[7];
            // Days since 2000 and seconds of the day; a nonsense day leaves the fix without time.
            if (v[5] >= 0.0 && v[5] < 40000.0 && v[6] >= 0.0 && v[6] < 86401.0) {
                f.bHasUtc = true;
                f.nUtcMs = (kSecondsFrom1970To2000 + qint64(v[5]) * 86400) * 1000 + std::llround(v[6] * 1000.0);
            }
            if (!Add(&f))
                return;
        }
    }

    void AddClock(const Pending &item)
    {
        double v[2];
        for (int row = 0; row < item.klv.repeat && m_clock.size() < kMaxClockPairs; ++row) {
            if (Row(item, row, 2, v) && std::isfinite(v[0]) && std::isfinite(v[1]))
                m_clock.push_back({v[0], v[1]});
        }
    }

    // UTC of a system time through the SYST pairs (sorted); false without pairs or outside
    // 2000..2099.
    bool SystemToUtc(double system, qint64 *ms) const
    {
        if (m_clock.empty() || !std::isfinite(system))
            return false;
        double utc = m_clock[0].second + (system - m_clock[0].first);
        if (m_clock.size() > 1) {
            const auto above = std::upper_bound(m_clock.begin(), m_clock.end(), std::make_pair(system, -HUGE_VAL));
            const size_t hi = std::clamp<size_t>(size_t(above - m_clock.begin()), 1, m_clock.size() - 1);
            const auto &a = m_clock[hi - 1], &b = m_clock[hi];
            utc = b.first == a.first ? a.second + (system - a.first)
                                     : a.second + (b.second - a.second) * (system - a.first) / (b.first - a.first);
        }
        if (!(utc >= double(kSecondsFrom1970To2000) && utc < kSecondsFrom1970To2100))
            return false;
        *ms = std::llround(utc * 1000.0);
        return true;
    }

    void EmitPosition(const Pending &item)
    {
        const bool raw = item.klv.key == FourCC("GPRI");
        double v[9];
        for (int row = 0; row < item.klv.repeat; ++row) {
            if (!Row(item, row, raw ? 8 : 9, v))
                return;
            tagTRACKFIX f;
            f.dTime = TimeOf(row, item.klv.repeat);
            f.dLat = v[1];
            f.dLon = v[2];
            f.dAlt = v[3];
            f.dSpeed = raw ? v[6] : std::hypot(v[5], v[6]);
            const double course = raw ? v[7] : v[8];
            f.dCourse = course >= 0.0 && course < 360.0 ? course : course == 360.0 ? 0.0 : -1.0;
            f.cStatus = v[1] == 0.0 && v[2] == 0.0 ? 'V' : 'A';
            f.bHasUtc = SystemToUtc(v[0], &f.nUtcMs);
            if (!Add(&f))
                return;
        }
    }

    void EmitAccl(const Pending &item)
    {
        double v[3];
        for (int row = 0; row < item.klv.repeat; ++row) {
            if (!Row(item, row, 3, v))
                return;
            tagTRACKSAMPLE s;
            s.dTime = TimeOf(row, item.klv.repeat);
            s.fX = float(-v[1] / kStandardGravity);
            s.fY = float(v[0] / kStandardGravity);
            s.fZ = float(v[2] / kStandardGravity);
            if (!m_out->AddSample(s))
                return;
        }
    }

    static void Fill(tagTRACKFIX *f, const double *v)
    {
        f->dLat = v[0];
        f->dLon = v[1];
        f->dAlt = v[2];
        f->dSpeed = v[3];
    }

    bool Add(tagTRACKFIX *f)
    {
        ClampTrackFix(f);
        return m_out->AddFix(*f);
    }

    double m_start;
    double m_duration;
    tagTRACKTELEMETRY *m_out;
    qsizetype m_fixesBefore;
    std::vector<Pending> m_positions;               // the payload's GPRI and GLPI
    std::vector<std::pair<double, double>> m_clock; // SYST: system time, UTC (s)
    int m_skipped = 0;
};

void Walk(const uchar *p, qint64 n, int depth, StreamReader *reader)
{
    if (depth > kMaxNesting)
        return;
    Klv k;
    qint64 next = 0;
    for (; ReadKlv(p, n, &k, &next); p += next, n -= next) {
        if (k.type != 0)
            continue;
        if (k.key == FourCC("STRM"))
            reader->Read(k.data, k.size);
        else
            Walk(k.data, k.size, depth + 1, reader);
    }
}

} // namespace

void CGpmf::ParsePayload(const char *data, qint64 size, double start, double duration, tagTRACKTELEMETRY *out,
                         tagGPMFSTATS *stats)
{
    if (!data || size <= 0 || !out)
        return;
    StreamReader reader(start, duration, out);
    Walk(reinterpret_cast<const uchar *>(data), size, 0, &reader);
    reader.Finish();
    if (stats)
        stats->nSkipped += reader.Skipped();
}
