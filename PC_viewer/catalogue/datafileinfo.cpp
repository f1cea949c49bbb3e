// Reader of the recorder's telemetry data files. Files are read in blocks and split into lines
// in place: a card holds thousands of them and every one is read at each folder load.
#include "catalogue/datafileinfo.h"

#include "catalogue/boundedlines.h"

#include "base/numparse.h"

#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

using pellister::TextToDouble;
using pellister::TruncToInt;

namespace {

// A piece of a line; positions are clamped the way a string's Mid/Right are.
struct Text {
    const char *p = nullptr;
    int n = 0;

    Text Mid(int start, int count) const
    {
        if (start >= n)
            return {p + n, 0};
        return {p + start, qMin(count, n - start)};
    }
    Text Right(int count) const
    {
        if (count <= 0)
            return {p + n, 0};
        if (count >= n)
            return *this;
        return {p + n - count, count};
    }
    double Number() const { return TextToDouble(p, p + n); }
    uint16_t Word() const
    {
        // Two plain digits are by far the most common field piece; anything else takes the
        // general conversion.
        if (n == 2 && p[0] >= '0' && p[0] <= '9' && p[1] >= '0' && p[1] <= '9')
            return static_cast<uint16_t>((p[0] - '0') * 10 + (p[1] - '0'));
        return static_cast<uint16_t>(TruncToInt(Number()));
    }
    bool Is(const char *s) const
    {
        return static_cast<size_t>(n) == std::strlen(s) && std::memcmp(p, s, n) == 0;
    }
};

constexpr int kMaxFields = 10; // tag and nine fields; later fields are never read

// Splits a line into the fields that a comma follows. Returns how many of them there are (the
// text after the last comma is not a field).
int SplitFields(const char *line, int length, Text *fields)
{
    int count = 0;
    int start = 0;
    for (int i = 0; i < length && count < kMaxFields; ++i) {
        if (line[i] == ',') {
            fields[count++] = {line + start, i - start};
            start = i + 1;
        }
    }
    return count;
}

bool TagEquals(const Text &tag, const char *upperTag)
{
    const int n = static_cast<int>(std::strlen(upperTag));
    if (tag.n != n)
        return false;
    for (int i = 0; i < n; ++i) {
        char c = tag.p[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != upperTag[i])
            return false;
    }
    return true;
}

// hhmmss.fff; the fraction is scaled by its own length, so ".2" is 200 ms and a time without a
// fraction reads its whole text as thousandths (083015 gives 83).
void ParseTimeField(const Text &t, SYSTEMTIME *st)
{
    st->wHour = t.Mid(0, 2).Word();
    st->wMinute = t.Mid(2, 2).Word();
    st->wSecond = t.Mid(4, 2).Word();
    const char *dot = static_cast<const char *>(std::memchr(t.p, '.', static_cast<size_t>(t.n)));
    const int dotIndex = dot ? static_cast<int>(dot - t.p) : -1;
    const int n = t.n - dotIndex - 1;
    static const double kScale[] = {1000.0, 100.0, 10.0, 1.0, 0.1, 0.01, 0.001, 0.0001};
    const double scale = n >= 0 && n < 8 ? kScale[n] : std::pow(10.0, 3 - n);
    const double ms = t.Right(n).Number() * scale;
    st->wMilliseconds = static_cast<uint16_t>(TruncToInt(ms));
}

// yymmdd, as $SYNCTIME and $ACCELERATOR write it.
void ParseDateYmd(const Text &d, SYSTEMTIME *st)
{
    st->wYear = d.Mid(0, 2).Word();
    st->wMonth = d.Mid(2, 2).Word();
    st->wDay = d.Right(2).Word();
}

// "%f" of a value: six decimals, exactly rounded, never the user's decimal comma.
QString FormatDegrees(double v)
{
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    return QString::fromLatin1(buf, r.ec == std::errc() ? static_cast<int>(r.ptr - buf) : 0);
}

// Joins short pieces of a field with separators, byte for byte, without a format round trip.
class CTextBuilder
{
public:
    CTextBuilder &operator<<(const Text &t)
    {
        const int n = qMin(t.n, kCapacity - m_len);
        std::memcpy(m_buf + m_len, t.p, static_cast<size_t>(n));
        m_len += n;
        return *this;
    }
    CTextBuilder &operator<<(const char *s) { return *this << Text{s, static_cast<int>(std::strlen(s))}; }
    QString ToString() const { return QString::fromLatin1(m_buf, m_len); }

private:
    static constexpr int kCapacity = 64;
    char m_buf[kCapacity];
    int m_len = 0;
};

void ParseCoordinate(const Text &field, double *raw, double *value, QString *text)
{
    *raw = field.Number();
    const int degrees = TruncToInt(*raw / 100);
    const double minutes = (*raw / 100 - degrees) * 100;
    *value = degrees + minutes / 60.0;
    *text = FormatDegrees(*value);
}

void ApplyHemisphere(const Text &field, const char *positive, double *value, QString *text)
{
    if (field.Is(positive))
        return;
    *value = -*value;
    text->prepend(QLatin1Char('-'));
}

// Lines are kept up to this length; no field the reader looks at lies further out in a line a
// recorder writes (they are under 100 bytes), and a runaway line in a broken file must not take
// memory.
constexpr size_t kMaxLine = 64 * 1024;

} // namespace

const char kProductWebAddress[] = "http://www.pellister.com";

QString CompassName(int course)
{
    struct Sector {
        double upTo;
        QString name;
    };
    // Shared texts: every fix of a card holds one of these without a copy of its own.
    static const Sector kSectors[] = {
        {33.75, QStringLiteral("N-NE")},  {56.25, QStringLiteral("NE")},    {78.75, QStringLiteral("E-NE")},
        {101.25, QStringLiteral("E")},    {123.75, QStringLiteral("E-SE")}, {146.25, QStringLiteral("SE")},
        {168.75, QStringLiteral("S-SE")}, {191.25, QStringLiteral("S")},    {213.75, QStringLiteral("S-SW")},
        {236.25, QStringLiteral("SW")},   {258.75, QStringLiteral("W-SW")}, {281.25, QStringLiteral("W")},
        {303.75, QStringLiteral("W-NW")}, {326.25, QStringLiteral("NW")},   {348.75, QStringLiteral("N-NW")},
    };
    static const QString kNorth = QStringLiteral("N");
    const double c = course;
    if (c >= 348.75 || c < 11.25)
        return kNorth;
    for (const Sector &s : kSectors) {
        if (c < s.upTo)
            return s.name;
    }
    return kNorth;
}

CDataFileInfo::CDataFileInfo()
{
    Reset();
}

CDataFileInfo::GpsCarry CDataFileInfo::Carry() const
{
    return {m_gps.dLatRaw, m_gps.dLonRaw, m_gps.dSpeedKnots, m_gps.dCourse, m_gps.dLat, m_gps.dLon};
}

void CDataFileInfo::SetCarry(const GpsCarry &c)
{
    m_gps.dLatRaw = c.dLatRaw;
    m_gps.dLonRaw = c.dLonRaw;
    m_gps.dSpeedKnots = c.dSpeedKnots;
    m_gps.dCourse = c.dCourse;
    m_gps.dLat = c.dLat;
    m_gps.dLon = c.dLon;
}

void CDataFileInfo::Reset()
{
    m_info.bValid = 0;
    m_info.nType = RT_UNKNOWN;
    m_info.stSyncTime = SYSTEMTIME();
    m_info.vecGps.clear();
    m_info.vecAccel.clear();
    m_info.bTooLarge = 0;
    m_accel = tagACCELINFO();
    m_gps.stTime = SYSTEMTIME();
    m_gps.cStatus = 'V';
    m_gps.strDate = QStringLiteral(" ");
    m_gps.strTime = QStringLiteral(" ");
    m_gps.strDirection = QStringLiteral(" ");
    m_gps.strLat = QStringLiteral("37");
    m_gps.strLon = QStringLiteral("127");
    m_gps.strSpeed = QStringLiteral("0 Km");
}

DataLineKind CDataFileInfo::Classify(const char *line, int length)
{
    const char *comma = static_cast<const char *>(std::memchr(line, ',', static_cast<size_t>(length)));
    if (!comma)
        return DL_OTHER;
    const Text tag{line, static_cast<int>(comma - line)};
    // The tag's length picks the one candidate worth comparing.
    switch (tag.n) {
    case 9: return TagEquals(tag, "$SYNCTIME") ? DL_SYNCTIME : DL_OTHER;
    case 6: return TagEquals(tag, "$GPRMC") ? DL_GPRMC : DL_OTHER;
    case 12: return TagEquals(tag, "$ACCELERATOR") ? DL_ACCELERATOR : DL_OTHER;
    default: break;
    }
    return DL_OTHER;
}

bool CDataFileInfo::ParseSyncTime(const char *line, int length)
{
    Text f[kMaxFields];
    const int count = SplitFields(line, length, f);
    if (count > 1)
        ParseTimeField(f[1], &m_info.stSyncTime);
    if (count > 2)
        ParseDateYmd(f[2], &m_info.stSyncTime);
    return count > 2;
}

namespace {

// The shape the recorder writes ten times a second:
//   $ACCELERATOR,hhmmss.f[f[f]],yymmdd,[-]d[.d...],[-]d[.d...],[-]d[.d...],
// read in one pass. Anything else returns false and takes the general path, which gives the
// same result for this shape.
class CAccelScanner
{
public:
    CAccelScanner(const char *line, int length) : m_p(line + 13), m_end(line + length) {}

    bool Scan(tagACCELINFO *out)
    {
        int h, m, s, frac, fracDigits;
        if (!TwoDigits(&h) || !TwoDigits(&m) || !TwoDigits(&s) || !Take('.'))
            return false;
        if (!Digits(&frac, &fracDigits) || fracDigits < 1 || fracDigits > 3 || !Take(','))
            return false;
        int yy, mo, dd;
        if (!TwoDigits(&yy) || !TwoDigits(&mo) || !TwoDigits(&dd) || !Take(','))
            return false;
        double x, y, z;
        if (!Decimal(&x) || !Decimal(&y) || !Decimal(&z))
            return false;
        static const int kScale[] = {0, 100, 10, 1};
        out->stTime.wHour = static_cast<uint16_t>(h);
        out->stTime.wMinute = static_cast<uint16_t>(m);
        out->stTime.wSecond = static_cast<uint16_t>(s);
        out->stTime.wMilliseconds = static_cast<uint16_t>(frac * kScale[fracDigits]);
        out->stTime.wYear = static_cast<uint16_t>(yy);
        out->stTime.wMonth = static_cast<uint16_t>(mo);
        out->stTime.wDay = static_cast<uint16_t>(dd);
        out->fX = static_cast<float>(x);
        out->fY = static_cast<float>(y);
        out->fZ = static_cast<float>(z);
        return true;
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    bool Take(char c)
    {
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }
    bool TwoDigits(int *v)
    {
        if (m_end - m_p < 2 || !IsDigit(m_p[0]) || !IsDigit(m_p[1]))
            return false;
        *v = (m_p[0] - '0') * 10 + (m_p[1] - '0');
        m_p += 2;
        return true;
    }
    bool Digits(int *v, int *count)
    {
        *v = 0;
        *count = 0;
        while (m_p < m_end && IsDigit(*m_p) && *count < 9) {
            *v = *v * 10 + (*m_p++ - '0');
            ++*count;
        }
        return !(m_p < m_end && IsDigit(*m_p));
    }
    // A plain decimal followed by its comma; the same division the general conversion does.
    bool Decimal(double *v)
    {
        static const double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
        const bool negative = Take('-');
        int whole, wholeDigits, frac = 0, fracDigits = 0;
        if (!Digits(&whole, &wholeDigits) || wholeDigits == 0 || wholeDigits > 6)
            return false;
        if (Take('.') && (!Digits(&frac, &fracDigits) || fracDigits > 8))
            return false;
        if (!Take(','))
            return false;
        const double mantissa = static_cast<double>(
            static_cast<int64_t>(whole) * static_cast<int64_t>(kPow10[fracDigits]) + frac);
        *v = fracDigits ? mantissa / kPow10[fracDigits] : mantissa;
        if (negative)
            *v = -*v;
        return true;
    }

    const char *m_p;
    const char *m_end;
};

} // namespace

bool CDataFileInfo::ParseAccelerator(const char *line, int length, bool allowFastPath)
{
    if (allowFastPath && length > 13 && line[12] == ',' && CAccelScanner(line, length).Scan(&m_accel))
        return true;
    Text f[kMaxFields];
    const int count = SplitFields(line, length, f);
    if (count > 1)
        ParseTimeField(f[1], &m_accel.stTime);
    if (count > 2)
        ParseDateYmd(f[2], &m_accel.stTime);
    if (count > 3)
        m_accel.fX = static_cast<float>(f[3].Number());
    if (count > 4)
        m_accel.fY = static_cast<float>(f[4].Number());
    if (count > 5)
        m_accel.fZ = static_cast<float>(f[5].Number());
    return count > 5;
}

void CDataFileInfo::ParseGprmc(const char *line, int length)
{
    ParseRmcFields(line, length, &m_gps);
}

void ParseRmcFields(const char *line, int length, tagGPSINFO *fix)
{
    Text f[kMaxFields];
    const int count = SplitFields(line, length, f);
    tagGPSINFO &g = *fix;
    if (count > 1) {
        ParseTimeField(f[1], &g.stTime);
        g.strTime =
            (CTextBuilder() << f[1].Mid(0, 2) << ":" << f[1].Mid(2, 2) << ":" << f[1].Mid(4, 2)).ToString();
    }
    if (count > 2)
        g.cStatus = f[2].Is("A") ? 'A' : 'V';
    if (count > 3)
        ParseCoordinate(f[3], &g.dLatRaw, &g.dLat, &g.strLat);
    if (count > 4)
        ApplyHemisphere(f[4], "N", &g.dLat, &g.strLat);
    if (count > 5)
        ParseCoordinate(f[5], &g.dLonRaw, &g.dLon, &g.strLon);
    if (count > 6)
        ApplyHemisphere(f[6], "E", &g.dLon, &g.strLon);
    if (count > 7) {
        g.dSpeedKnots = f[7].Number();
        char kmh[32];
        const auto r = std::to_chars(kmh, kmh + sizeof kmh, TruncToInt(g.dSpeedKnots * 1.85166));
        g.strSpeed = (CTextBuilder() << Text{kmh, static_cast<int>(r.ptr - kmh)} << " Km/h").ToString();
    }
    if (count > 8) {
        const int course = TruncToInt(f[8].Number());
        g.dCourse = course;
        g.strDirection = CompassName(course);
    }
    if (count > 9) {
        const Text &d = f[9];
        g.stTime.wDay = d.Mid(0, 2).Word();
        g.stTime.wMonth = d.Mid(2, 2).Word();
        g.stTime.wYear = d.Right(2).Word();
        g.strDate =
            (CTextBuilder() << "20" << d.Right(2) << "/" << d.Mid(2, 2) << "/" << d.Mid(0, 2)).ToString();
    }
}

// Returns false when reading should stop (the file does not begin with a sync line).
bool CDataFileInfo::HandleLine(const char *line, int length, bool *synchronised, bool *hasData)
{
    if (length > 0 && line[length - 1] == '\r')
        --length;
    if (!*synchronised) {
        if (Classify(line, length) == DL_SYNCTIME && ParseSyncTime(line, length))
            *synchronised = true;
        return *synchronised;
    }
    *hasData = true;
    switch (Classify(line, length)) {
    case DL_GPRMC:
        if (m_info.vecGps.size() >= kMaxFixesPerFile) {
            m_info.bTooLarge = 1;
            return false;
        }
        if (!m_readAnyFix) {
            m_readAnyFix = true;
            Text f[kMaxFields];
            m_firstFixUsedCarry = SplitFields(line, length, f) <= 8;
        }
        ParseGprmc(line, length);
        m_info.vecGps.append(m_gps);
        break;
    case DL_ACCELERATOR:
        if (ParseAccelerator(line, length)) {
            if (m_info.vecAccel.size() >= kMaxSamplesPerFile) {
                m_info.bTooLarge = 1;
                return false;
            }
            m_info.vecAccel.append(m_accel);
        }
        break;
    default: break;
    }
    return true;
}

int CDataFileInfo::Load(const QString &path)
{
    Reset();
    m_openFailed = false;
    m_readAnyFix = false;
    m_firstFixUsedCarry = false;
    bool synchronised = false;
    bool hasData = false;
    if (!path.isEmpty()) {
        m_info.nType = RecordingTypeFromPath(path);
        QFile file;
        if (!OpenRegularFile(path, &file)) {
            m_openFailed = true;
        } else {
            // Whatever follows the byte limit is beyond what a recording writes, the line begun
            // included.
            const bool cut = ReadBoundedLines(&file, kMaxDataFileBytes, kMaxLine, [&](const char *line, int length) {
                return HandleLine(line, length, &synchronised, &hasData);
            });
            if (cut && synchronised)
                m_info.bTooLarge = 1;
        }
    }
    if (hasData)
        m_info.bValid = 1;
    else
        Reset();
    return hasData ? 1 : 0;
}
