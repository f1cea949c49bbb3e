// "freeGPS " blocks of Novatek-based dash cams: finding them in a clip, telling their layouts
// apart and placing their records on the clip's timeline. Every field is read through bounds
// checks, so a cut or hostile block reads as zeros past its end and is then refused by the
// range checks, never read beyond.
#include "catalogue/novatekgps.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QPair>
#include <QTime>
#include <QTimeZone>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace {

using Record = CNovatekGps::Record;

constexpr double kKnot = 1852.0 / 3600.0; // m/s
constexpr double kKmh = 1.0 / 3.6;        // m/s
constexpr char kSignature[] = "freeGPS ";
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// A block's bytes; a field that does not lie wholly inside reads as zero.
class View
{
public:
    View(const uchar *p, qint64 n) : m_p(p), m_n(n) {}
    qint64 Size() const { return m_n; }
    bool Has(qint64 at, qint64 len) const { return at >= 0 && len >= 0 && at <= m_n - len; }
    uchar U8(qint64 at) const { return Has(at, 1) ? m_p[at] : 0; }
    char Ch(qint64 at) const { return char(U8(at)); }
    quint16 U16(qint64 at) const { return Has(at, 2) ? qFromLittleEndian<quint16>(m_p + at) : 0; }
    quint32 U32(qint64 at) const { return Has(at, 4) ? qFromLittleEndian<quint32>(m_p + at) : 0; }
    qint32 I32(qint64 at) const { return qint32(U32(at)); }
    quint16 Be16(qint64 at) const { return Has(at, 2) ? qFromBigEndian<quint16>(m_p + at) : 0; }
    quint32 Be32(qint64 at) const { return Has(at, 4) ? qFromBigEndian<quint32>(m_p + at) : 0; }
    float F32(qint64 at) const
    {
        const quint32 bits = U32(at);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    double F64(qint64 at) const
    {
        const quint64 bits = Has(at, 8) ? qFromLittleEndian<quint64>(m_p + at) : 0;
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    bool Is(qint64 at, const char *s, qint64 len) const { return Has(at, len) && std::memcmp(m_p + at, s, size_t(len)) == 0; }
    bool Zero(qint64 at, qint64 len) const
    {
        if (!Has(at, len))
            return false;
        return std::all_of(m_p + at, m_p + at + len, [](uchar c) { return c == 0; });
    }
    QByteArray Bytes(qint64 at, qint64 len) const
    {
        return Has(at, len) ? QByteArray(reinterpret_cast<const char *>(m_p + at), int(len)) : QByteArray();
    }

private:
    const uchar *m_p;
    qint64 m_n;
};

bool IsNs(char c) { return c == 'N' || c == 'S'; }
bool IsEw(char c) { return c == 'E' || c == 'W'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// len decimal digits of t at `at`.
bool Digits(const QByteArray &t, qsizetype at, int len, qint64 *v)
{
    if (at < 0 || at + len > t.size())
        return false;
    qint64 x = 0;
    for (int i = 0; i < len; ++i) {
        const char c = t[at + i];
        if (!IsDigit(c))
            return false;
        x = x * 10 + (c - '0');
    }
    *v = x;
    return true;
}

// A plain decimal ("12", "3745.1234", with a sign when allowed).
bool Decimal(const QByteArray &s, double *v, bool sign = false)
{
    qsizetype i = 0, digits = 0, points = 0;
    if (sign && !s.isEmpty() && (s[0] == '-' || s[0] == '+'))
        ++i;
    for (; i < s.size(); ++i) {
        if (IsDigit(s[i]))
            ++digits;
        else if (s[i] == '.' && points == 0)
            ++points;
        else
            return false;
    }
    if (digits == 0)
        return false;
    bool ok = false;
    *v = s.toDouble(&ok);
    return ok && std::isfinite(*v);
}

// Degrees from DDMM.MMMM (its sign aside); false when the minutes reach 60 or the degrees exceed
// maxDegrees.
bool FromDdmm(double v, double maxDegrees, double *degrees)
{
    v = std::fabs(v);
    if (!std::isfinite(v))
        return false;
    const double whole = std::floor(v / 100.0);
    const double minutes = v - whole * 100.0;
    if (minutes >= 60.0)
        return false;
    *degrees = whole + minutes / 60.0;
    return *degrees <= maxDegrees;
}

// The position in degrees, signed by the hemisphere letters; false when off the globe. Exactly
// 0, 0 is what receivers write without a lock: no fix.
bool SetPosition(Record *r, double lat, char ns, double lon, char ew)
{
    if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90.0 || std::fabs(lon) > 180.0)
        return false;
    r->dLat = ns == 'S' ? -std::fabs(lat) : std::fabs(lat);
    r->dLon = ew == 'W' ? -std::fabs(lon) : std::fabs(lon);
    r->bFix = !(lat == 0.0 && lon == 0.0);
    return true;
}

bool SetDdmm(Record *r, double lat, char ns, double lon, char ew)
{
    double a = 0.0, b = 0.0;
    return FromDdmm(lat, 90.0, &a) && FromDdmm(lon, 180.0, &b) && SetPosition(r, a, ns, b, ew);
}

// Signed DDMM values without letters.
bool SetSignedDdmm(Record *r, double lat, double lon)
{
    return SetDdmm(r, lat, lat < 0 ? 'S' : 'N', lon, lon < 0 ? 'W' : 'E');
}

// The receiver's UTC date and time; a year below 100 counts from 2000. False when out of range.
bool SetUtc(Record *r, qint64 year, qint64 month, qint64 day, qint64 hour, qint64 minute, double seconds)
{
    if (year >= 0 && year < 100)
        year += 2000;
    if (year < 2000 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || !(seconds >= 0.0 && seconds < 60.0))
        return false;
    const QDate date{int(year), int(month), int(day)};
    if (!date.isValid())
        return false;
    r->nUtcMs = QDateTime(date, QTime(int(hour), int(minute)), QTimeZone::utc()).toMSecsSinceEpoch() +
                std::llround(seconds * 1000.0);
    r->bUtc = true;
    return true;
}

void SetMotion(Record *r, double speed, double course)
{
    r->dSpeed = std::isfinite(speed) && speed > 0.0 ? speed : 0.0;
    r->dCourse = std::isfinite(course) && course > -360.0 && course < 720.0 ? std::fmod(course + 360.0, 360.0) : -1.0;
}

void SetAccel(Record *r, double x, double y, double z)
{
    if (std::isfinite(x) && std::isfinite(y) && std::isfinite(z)) {
        r->bAccel = true;
        r->dX = x;
        r->dY = y;
        r->dZ = z;
    }
}

// The outcome of decoding one block.
struct Decoding {
    CNovatekGps::Result result = CNovatekGps::Unknown;
    QVector<Record> records;
    bool bRing = false; // ATC: records of a ring buffer, to be sifted by time
};

bool Set(Decoding *d, CNovatekGps::Result result)
{
    d->result = result;
    d->records.clear();
    return true;
}

bool Finish(Decoding *d, const QVector<Record> &records)
{
    d->records = records;
    d->result = CNovatekGps::NoFix;
    for (const Record &r : records)
        if (r.bFix || r.bAccel)
            d->result = CNovatekGps::Decoded;
    return true;
}

bool Finish(Decoding *d, const Record &r)
{
    return Finish(d, QVector<Record>{r});
}

// Three int32 at `at` divided by scale.
void SetAccel32(Record *r, const View &b, qint64 at, double scale)
{
    SetAccel(r, b.I32(at) / scale, b.I32(at + 4) / scale, b.I32(at + 8) / scale);
}

// ---------------------------------------------------------------------------------------------
// NMEA text inside a block

// The fields of the first "<two capitals><kind>," sentence of text, up to its checksum or a byte
// below a space.
QList<QByteArray> SentenceFields(const QByteArray &text, const char *kind)
{
    const QByteArray key = QByteArray(kind) + ',';
    for (qsizetype at = text.indexOf(key); at >= 0; at = text.indexOf(key, at + 1)) {
        const auto capital = [&](qsizetype i) { return i >= 0 && text[i] >= 'A' && text[i] <= 'Z'; };
        if (!capital(at - 2) || !capital(at - 1))
            continue;
        const qsizetype begin = at + key.size();
        qsizetype end = begin;
        while (end < text.size() && uchar(text[end]) >= 0x20 && text[end] != '*')
            ++end;
        return text.mid(begin, end - begin).split(',');
    }
    return {};
}

// An RMC sentence of text into r: Unknown without one, NoFix for status V.
CNovatekGps::Result ParseRmc(const QByteArray &text, Record *r)
{
    const QList<QByteArray> f = SentenceFields(text, "RMC");
    if (f.isEmpty())
        return CNovatekGps::Unknown;
    if (f.size() > 1 && f[1] == "V")
        return CNovatekGps::NoFix;
    qint64 hour = 0, minute = 0, day = 0, month = 0, year = 0;
    double seconds = 0.0, lat = 0.0, lon = 0.0, speed = 0.0, course = kNone;
    if (f.size() < 9 || (!f[1].isEmpty() && f[1] != "A") || !Digits(f[0], 0, 2, &hour) ||
        !Digits(f[0], 2, 2, &minute) || !Decimal(f[0].mid(4), &seconds) || f[8].size() != 6 ||
        !Digits(f[8], 0, 2, &day) || !Digits(f[8], 2, 2, &month) || !Digits(f[8], 4, 2, &year) ||
        !Decimal(f[2], &lat) || f[3].size() != 1 || !IsNs(f[3][0]) || !Decimal(f[4], &lon) || f[5].size() != 1 ||
        !IsEw(f[5][0]) || (!f[6].isEmpty() && !Decimal(f[6], &speed)) || (!f[7].isEmpty() && !Decimal(f[7], &course)))
        return CNovatekGps::Damaged;
    // Two-digit years from 70 are of the last century, which no clip is from.
    if (!SetUtc(r, year < 70 ? 2000 + year : 1900 + year, month, day, hour, minute, seconds) ||
        !SetDdmm(r, lat, f[3][0], lon, f[5][0]))
        return CNovatekGps::Damaged;
    SetMotion(r, speed * kKnot, course);
    return r->bFix ? CNovatekGps::Decoded : CNovatekGps::NoFix;
}

// The altitude of a GGA sentence with a fix.
void ParseGgaAltitude(const QByteArray &text, Record *r)
{
    const QList<QByteArray> f = SentenceFields(text, "GGA");
    double quality = 0.0, alt = 0.0;
    if (f.size() > 8 && Decimal(f[5], &quality) && quality >= 1.0 && Decimal(f[8], &alt, true)) {
        r->bAlt = true;
        r->dAlt = alt;
    }
}

// ---------------------------------------------------------------------------------------------
// The layouts, in the order they are told apart. Each returns false when the block is not of
// its layout.

// Three signed hundredths of g ("+093-003-005") at `at`.
bool Hundredths(const QByteArray &t, qsizetype at, Record *r)
{
    double v[3];
    for (int i = 0; i < 3; ++i) {
        qint64 n = 0;
        const qsizetype p = at + 4 * i;
        if (p >= t.size() || (t[p] != '+' && t[p] != '-') || !Digits(t, p + 1, 3, &n))
            return false;
        v[i] = (t[p] == '-' ? -n : n) / 100.0;
    }
    SetAccel(r, v[0], v[1], v[2]);
    return true;
}

bool TryAzdome(const View &b, Decoding *d)
{
    if (!b.Is(18, "\xaa\xaa\xf2\xe1\xf0\xee\x54\x54", 8))
        return false;
    const qint64 n = std::min<qint64>(b.Size() - 18, 0x101);
    QByteArray t(int(n), '\0');
    for (qint64 i = 0; i < n; ++i)
        t[int(i)] = char(b.U8(18 + i) ^ 0xaa);
    Record r;
    qint64 y = 0, mo = 0, day = 0, h = 0, mi = 0, s = 0, lat = 0, lon = 0;
    if (t.size() > 47 && IsNs(t[38]) && Digits(t, 39, 8, &lat) && IsEw(t[47]) && Digits(t, 48, 9, &lon)) {
        if (!Digits(t, 8, 4, &y) || !Digits(t, 12, 2, &mo) || !Digits(t, 14, 2, &day) || !Digits(t, 16, 2, &h) ||
            !Digits(t, 18, 2, &mi) || !Digits(t, 20, 2, &s) || !SetUtc(&r, y, mo, day, h, mi, double(s)) ||
            !SetDdmm(&r, lat / 1e4, t[38], lon / 1e4, t[47]))
            return Set(d, CNovatekGps::Damaged);
        qint64 kmh = 0, unused = 0;
        if (!Digits(t, 57, 8, &kmh) &&
            !(t.size() > 57 && (t[57] == '+' || t[57] == '-') && Digits(t, 58, 4, &unused) && Digits(t, 62, 3, &kmh)))
            kmh = 0;
        SetMotion(&r, kmh * kKmh, kNone);
    }
    // Without a position the time is the camera's own clock: only the G-sensor is kept.
    if (!r.bFix)
        r.bUtc = false;
    if (!Hundredths(t, 65, &r))
        Hundredths(t, 173, &r);
    return Finish(d, r);
}

bool TryNextbaseText(const View &b, Decoding *d)
{
    qint64 unused = 0;
    const QByteArray all = b.Bytes(0, b.Size());
    if (!Digits(all, 52, 14, &unused))
        return false;
    Record r;
    const CNovatekGps::Result rmc = ParseRmc(all, &r);
    if (rmc == CNovatekGps::Damaged)
        return Set(d, rmc);
    if (r.bFix) {
        ParseGgaAltitude(all, &r);
        if (b.Has(68, 12))
            SetAccel32(&r, b, 68, 256.0);
    }
    return Finish(d, r);
}

// A 20-byte field of base64 text, padded with NULs.
bool IsBase64Field(const QByteArray &f)
{
    qsizetype i = 0;
    while (i < f.size() && (std::isalnum(uchar(f[i])) || f[i] == '+' || f[i] == '/'))
        ++i;
    if (i < 8)
        return false;
    for (int pad = 0; pad < 2 && i < f.size() && f[i] == '='; ++pad)
        ++i;
    return std::all_of(f.begin() + i, f.end(), [](char c) { return c == '\0'; });
}

// "DDDMM.MMMM" of at most maxWhole whole digits, then only NULs (when nulPadded).
bool IsDdmmText(const QByteArray &f, int maxWhole, bool nulPadded)
{
    qsizetype i = 0;
    while (i < f.size() && IsDigit(f[i]))
        ++i;
    if (i < 1 || i > maxWhole || i >= f.size() || f[i] != '.')
        return false;
    const qsizetype fraction = ++i;
    while (i < f.size() && IsDigit(f[i]))
        ++i;
    if (i == fraction)
        return false;
    return nulPadded ? std::all_of(f.begin() + i, f.end(), [](char c) { return c == '\0'; }) : i == f.size();
}

QByteArray Rc4(const QByteArray &data, const QByteArray &key)
{
    std::array<uchar, 256> s;
    std::iota(s.begin(), s.end(), 0);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + uchar(key[i % key.size()])) & 0xff;
        std::swap(s[i], s[j]);
    }
    QByteArray out = data;
    for (int n = 0, i = 0, j = 0; n < out.size(); ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::swap(s[i], s[j]);
        out[n] = char(uchar(out[n]) ^ s[(s[i] + s[j]) & 0xff]);
    }
    return out;
}

// E-ACE's enciphered lat and lon texts: the first of its keys that gives two DDMM texts.
bool Decipher(const QByteArray &lat, const QByteArray &lon, double *a, double *b)
{
    const QByteArray rawLat = QByteArray::fromBase64(lat.left(lat.indexOf('\0') < 0 ? lat.size() : lat.indexOf('\0')));
    const QByteArray rawLon = QByteArray::fromBase64(lon.left(lon.indexOf('\0') < 0 ? lon.size() : lon.indexOf('\0')));
    for (char c = 'a' - 1; c <= 's'; ++c) {
        const QByteArray key = c < 'a' ? QByteArray("luckychip gps") : "customer " + QByteArray(2, c) + " gps";
        const QByteArray x = Rc4(rawLat, key), y = Rc4(rawLon, key);
        if (IsDdmmText(x, 4, false) && IsDdmmText(y, 5, false))
            return Decimal(x, a) && Decimal(y, b);
    }
    return false;
}

// Viofo A119 v3 and Kenwood (floats), E-ACE (texts): h m s Y M D at 16.
bool TryHeader16(const View &b, Decoding *d)
{
    if (!(b.Zero(37, 3) && b.Ch(40) == 'A' && IsNs(b.Ch(41)) && IsEw(b.Ch(42)) && b.U8(43) == 0))
        return false;
    Record r;
    const qint64 year = b.U32(28);
    if (!SetUtc(&r, year, b.U32(32), b.U32(36), b.U32(16), b.U32(20), b.U32(24)))
        return Set(d, CNovatekGps::Damaged);
    bool notBase64 = true, notText = true;
    const QByteArray lat = b.Bytes(0x2c, 20), lon = b.Bytes(0x40, 20);
    if (b.Size() >= 0x78) {
        notBase64 = !IsBase64Field(lat) || !IsBase64Field(lon);
        notText = !IsDdmmText(lat, 5, true) || !IsDdmmText(lon, 5, true);
    }
    if (notBase64 && notText) {
        if (b.Size() < 72)
            return Set(d, CNovatekGps::Damaged);
        if (year >= 2000)
            r.bUtc = false; // a whole year: the camera's local clock, of an unknown zone
        if (!SetDdmm(&r, b.F32(0x2c), b.Ch(41), b.F32(0x30), b.Ch(42)))
            return Set(d, CNovatekGps::Damaged);
        SetMotion(&r, b.F32(0x34) * kKnot, b.F32(0x38));
        if (!b.Zero(60, 12) && !b.Is(60, "\x01\0\x02\0\x03\0\x04\0\x05\0\x06\0", 12))
            SetAccel32(&r, b, 60, 256.0);
        return Finish(d, r);
    }
    double a = 0.0, c = 0.0;
    if (notBase64) {
        Decimal(lat.left(lat.indexOf('\0') < 0 ? lat.size() : lat.indexOf('\0')), &a);
        Decimal(lon.left(lon.indexOf('\0') < 0 ? lon.size() : lon.indexOf('\0')), &c);
    } else if (!Decipher(lat, lon, &a, &c)) {
        return Set(d, CNovatekGps::Unknown);
    }
    if (!SetDdmm(&r, a, b.Ch(41), c, b.Ch(42)))
        return Set(d, CNovatekGps::Damaged);
    SetMotion(&r, b.F32(0x54) * kKnot, b.F32(0x58));
    return Finish(d, r);
}

// Layouts whose positions cannot be read.
bool TryUnreadable(const View &b, Decoding *d)
{
    for (qint64 at : {16, 48, 80})
        if (b.Is(at, "LIGOGPSINFO\0", 12) && b.Size() >= at + 0x84)
            return Set(d, CNovatekGps::Unknown);
    return false;
}

bool TryAkaso(const View &b, Decoding *d)
{
    if (!(b.Ch(60) == 'A' && b.Zero(61, 3) && IsNs(b.Ch(0x44)) && b.Zero(0x45, 3) && IsEw(b.Ch(0x4c)) &&
          b.Zero(0x4d, 3)))
        return false;
    Record r;
    if (b.Size() < 112 || !SetUtc(&r, b.U32(88), b.U32(92), b.U32(96), b.U32(48), b.U32(52), b.U32(56)) ||
        !SetDdmm(&r, b.F32(0x40), b.Ch(0x44), b.F32(0x48), b.Ch(0x4c)))
        return Set(d, CNovatekGps::Damaged);
    if (b.Is(16, "x.xx", 4)) {
        SetMotion(&r, b.F32(0x50) * kKmh, b.F32(0x54) + 180.0);
    } else {
        SetMotion(&r, b.F32(0x50) * kKmh, b.F32(0x54));
        SetAccel32(&r, b, 100, 1000.0);
    }
    return Finish(d, r);
}

bool TryShiftedRmc(const View &b, Decoding *d)
{
    if (!(b.Is(60, "4W`b]S<", 7) && b.Size() >= 140))
        return false;
    QByteArray t(80, '\0');
    for (int i = 0; i < 80; ++i)
        t[i] = char(b.U8(60 + i) >= 16 ? b.U8(60 + i) - 16 : 0);
    Record r;
    const CNovatekGps::Result rmc = ParseRmc(t, &r);
    if (rmc == CNovatekGps::Damaged || rmc == CNovatekGps::Unknown)
        return Set(d, CNovatekGps::Damaged);
    return Finish(d, r);
}

bool TryEnciphered(const View &b, Decoding *d)
{
    // Akaso V1, Redtiger F7N: month and day at 64 and 68, 'A' N/S E/W at 72, enciphered doubles.
    const bool akasoV1 = b.U8(64) >= 1 && b.U8(64) <= 12 && b.Zero(65, 3) && b.U8(68) >= 1 && b.U8(68) <= 31 &&
                         b.Zero(69, 3) && b.Ch(72) == 'A' && IsNs(b.Ch(73)) && IsEw(b.Ch(74)) && b.Zero(75, 5);
    // EACHPAI: enciphered text after a payload length of 0xac.
    const bool eachpai = b.U32(12) == 0xac && b.Size() >= 132;
    return (akasoV1 || eachpai) && Set(d, CNovatekGps::Unknown);
}

bool TryVantrueS1(const View &b, Decoding *d)
{
    if (!(b.Ch(64) == 'A' && IsNs(b.Ch(65)) && IsEw(b.Ch(66)) && b.U8(67) == 0))
        return false;
    Record r;
    if (b.Size() < 124 || !SetUtc(&r, b.U32(68), b.U32(72), b.U32(76), b.U32(80), b.U32(84), b.U32(88)) ||
        !SetDdmm(&r, b.F32(0x60), b.Ch(65), b.F32(0x5c), b.Ch(66)))
        return Set(d, CNovatekGps::Damaged);
    SetMotion(&r, b.F32(0x64) * kKnot, b.F32(0x68));
    r.bAlt = true;
    r.dAlt = b.F32(0x6c);
    SetAccel32(&r, b, 112, 1000.0);
    return Finish(d, r);
}

bool TryAtc(const View &b, Decoding *d)
{
    if (!b.Is(0x45, "ATC", 3))
        return false;
    QVector<Record> records;
    for (qint64 at = 0x30; at + 52 < b.Size(); at += 52) {
        uchar x[52];
        for (int i = 0; i < 52; ++i)
            x[i] = b.U8(at + i);
        const uchar key1 = x[0x14], key2 = x[0x1c];
        for (int i = 0; i < 52; ++i) {
            if (i <= 0x14 || (i >= 0x18 && i <= 0x1b))
                x[i] ^= key1;
            else if (i == 0x1c || (i >= 0x20 && i <= 0x32))
                x[i] ^= key2;
        }
        const View v(x, 52);
        Record r;
        const double lat = v.I32(0x10) / 1e7, lon = v.I32(0x18) / 1e7;
        if (!SetUtc(&r, v.U16(0x2c), v.U8(0x2e), v.U8(0x2f), (v.U8(0x0d) + 1) & 0xff, v.U8(0x0e), v.U8(0x0f)) ||
            !SetPosition(&r, lat, lat < 0 ? 'S' : 'N', lon, lon < 0 ? 'W' : 'E') || !r.bFix)
            continue; // an empty or broken slot of the ring
        SetMotion(&r, v.I32(0x20) / 100.0, qint16(v.U16(0x24)) / 100.0);
        r.bAlt = true;
        r.dAlt = v.I32(0x28) / 1000.0;
        records.append(r);
    }
    d->bRing = true;
    return Finish(d, records);
}

bool TryType2(const View &b, Decoding *d)
{
    if (!(b.Ch(60) == 'A' && b.U8(61) == 0 && IsNs(b.Ch(0x48)) && b.U8(0x49) == 0 && IsEw(b.Ch(0x58)) &&
          b.U8(0x59) == 0 && b.Size() >= 0x88))
        return false;
    Record r;
    if (!SetUtc(&r, b.U32(0x70), b.U32(0x74), b.U32(0x78), b.U32(0x30), b.U32(0x34), b.U32(0x38)) ||
        !SetDdmm(&r, b.F64(0x40), b.Ch(0x48), b.F64(0x50), b.Ch(0x58)))
        return Set(d, CNovatekGps::Damaged);
    SetMotion(&r, b.F64(0x60) * kKnot, b.F64(0x68));
    SetAccel32(&r, b, 0x7c, 1000.0);
    return Finish(d, r);
}

bool TryInnovv(const View &b, Decoding *d)
{
    if (!(b.Ch(16) == 'A' && IsNs(b.Ch(17)) && IsEw(b.Ch(18)) && b.U8(19) == 0))
        return false;
    QVector<Record> records;
    for (qint64 at = 0; b.Has(at, 32);) {
        if (!(b.Ch(at) == 'A' && IsNs(b.Ch(at + 1)) && IsEw(b.Ch(at + 2)) && b.U8(at + 3) == 0)) {
            ++at;
            continue;
        }
        Record r;
        if (SetDdmm(&r, b.F32(at + 4), b.Ch(at + 1), b.F32(at + 8), b.Ch(at + 2))) {
            SetMotion(&r, b.F32(at + 12) * kKnot, b.F32(at + 16));
            records.append(r);
        }
        at += 32;
    }
    return records.isEmpty() ? Set(d, CNovatekGps::Damaged) : Finish(d, records);
}

bool TryXbht(const View &b, Decoding *d)
{
    if (!(b.U8(20) <= 0x18 && b.U8(21) <= 0x3b && b.U8(22) <= 0x3b && b.U8(23) <= 9 && b.Ch(24) == 'A' &&
          IsNs(b.Ch(25)) && IsEw(b.Ch(26))))
        return false;
    QVector<Record> records;
    for (qint64 at = 0; b.Has(at, 36);) {
        if (!(b.U8(at + 7) <= 9 && b.Ch(at + 8) == 'A' && IsNs(b.Ch(at + 9)) && IsEw(b.Ch(at + 10)))) {
            ++at;
            continue;
        }
        Record r;
        if (SetUtc(&r, b.U8(at + 1), b.U8(at + 2), b.U8(at + 3), b.U8(at + 4), b.U8(at + 5),
                   b.U8(at + 6) + b.U8(at + 7) / 10.0) &&
            SetDdmm(&r, b.U32(at + 16) / 1e4, b.Ch(at + 9), b.U32(at + 20) / 1e4, b.Ch(at + 10))) {
            SetMotion(&r, b.U16(at + 28) * kKmh, kNone);
            records.append(r);
        }
        at += 36;
    }
    return records.isEmpty() ? Set(d, CNovatekGps::Damaged) : Finish(d, records);
}

bool TryVantrueN4(const View &b, Decoding *d)
{
    if (!(b.Ch(28) == 'A' && IsNs(b.Ch(40)) && IsEw(b.Ch(56))))
        return false;
    Record r;
    if (b.Size() < 104 || !SetUtc(&r, b.U32(80), b.U32(84), b.U32(88), b.U32(16), b.U32(20), b.U32(24)) ||
        !SetDdmm(&r, b.F64(32), b.Ch(40), b.F64(48), b.Ch(56)))
        return Set(d, CNovatekGps::Damaged);
    SetMotion(&r, b.F64(64) * kKnot, b.F64(72));
    SetAccel32(&r, b, 92, 1000.0);
    return Finish(d, r);
}

bool TryType3(const View &b, Decoding *d)
{
    if (!(b.Ch(0x48) == 'A' && IsNs(b.Ch(0x49)) && IsEw(b.Ch(0x4a)) && b.U8(0x4b) == 0))
        return false;
    Record r;
    if (b.Size() < 0x5c || !SetUtc(&r, b.U32(0x3c), b.U32(0x40), b.U32(0x44), b.U32(0x30), b.U32(0x34), b.U32(0x38)))
        return Set(d, CNovatekGps::Damaged);
    const bool iqs = b.Is(16, "IQS", 3);
    double lat = iqs ? std::fabs(b.I32(0x4c) / 1e7) : b.F32(0x4c);
    double lon = iqs ? std::fabs(b.I32(0x50) / 1e7) : b.F32(0x50);
    if (iqs) {
        SetMotion(&r, b.I32(0x54) / 100.0, kNone);
        r.bAlt = true;
        r.dAlt = b.F32(0x58) / 1000.0;
    } else {
        SetMotion(&r, b.F32(0x54) * kKnot, b.F32(0x58));
    }
    // Transcend repeats the position as doubles, with the altitude.
    if (b.Size() >= 0xb0 && std::fabs(b.F64(0x70) - lat) < 0.001 && std::fabs(b.F64(0x80) - lon) < 0.001) {
        lat = b.F64(0x70);
        lon = b.F64(0x80);
        r.bAlt = true;
        r.dAlt = b.F64(0xa0);
    }
    if (!(iqs ? SetPosition(&r, lat, b.Ch(0x49), lon, b.Ch(0x4a)) : SetDdmm(&r, lat, b.Ch(0x49), lon, b.Ch(0x4a))))
        return Set(d, CNovatekGps::Damaged);
    return Finish(d, r);
}

bool TryXgodyText(const View &b, Decoding *d)
{
    const QByteArray all = b.Bytes(0, std::min<qint64>(b.Size(), kNovatekBlockBytes));
    qint64 y = 0, mo = 0, day = 0, h = 0, mi = 0, s = 0;
    if (!(Digits(all, 23, 4, &y) && all.size() > 43 && all[27] == '/' && Digits(all, 28, 2, &mo) && all[30] == '/' &&
          Digits(all, 31, 2, &day) && all[33] == ' ' && Digits(all, 34, 2, &h) && all[36] == ':' &&
          Digits(all, 37, 2, &mi) && all[39] == ':' && Digits(all, 40, 2, &s) && all[42] == ' ' &&
          (all[43] == 'N' || all[43] == 'S' || all[43] == '|')))
        return false;
    const qsizetype nul = all.indexOf('\0', 43);
    const QList<QByteArray> tokens = all.mid(43, nul < 0 ? -1 : nul - 43).split(' ');
    bool hasLat = false, hasLon = false, hasSpeed = false;
    double lat = 0.0, lon = 0.0, speed = 0.0, course = kNone;
    char ns = 'N', ew = 'E';
    QVector<double> accel;
    for (const QByteArray &token : tokens) {
        double v = 0.0;
        if (token.size() > 2 && std::isalpha(uchar(token[0])) && token[1] == ':' && Decimal(token.mid(2), &v, true)) {
            const char c = token[0];
            if (c == 'N' || c == 'S')
                lat = v, ns = c, hasLat = true;
            else if (c == 'E' || c == 'W')
                lon = v, ew = c, hasLon = true;
            else if ((c == 'x' || c == 'y' || c == 'z') && accel.size() < 3)
                accel.append(v);
            else if (c == 'A')
                course = v;
        } else if (hasLon && !hasSpeed && token.contains('.') && Decimal(token, &v)) {
            speed = v * kKnot; // shown as km/h, written in knots
            hasSpeed = true;
        }
    }
    Record r;
    if (hasLat && hasLon) {
        if (!SetUtc(&r, y, mo, day, h, mi, double(s)) || !SetPosition(&r, lat, ns, lon, ew))
            return Set(d, CNovatekGps::Damaged);
        SetMotion(&r, speed, course);
    }
    if (accel.size() == 3)
        SetAccel(&r, accel[0], accel[1], accel[2]);
    return Finish(d, r);
}

bool Try70mai(const View &b, Decoding *d)
{
    if (!(b.Ch(30) == 'A' && b.Is(51, "VV", 2)))
        return false;
    Record r;
    if (!SetSignedDdmm(&r, b.I32(31) / 1e5, b.I32(35) / 1e5))
        return Set(d, CNovatekGps::Damaged);
    SetMotion(&r, b.I32(43) * kKmh, kNone);
    return Finish(d, r);
}

// Nextbase 512G: big-endian records of 32 bytes, their fields from 0x32.
bool TryNextbaseBinary(const View &b, Decoding *d)
{
    QVector<Record> records;
    for (qint64 at = 0x32; b.Has(at, 21); at += 0x20) {
        Record r;
        const double lat = qint32(b.Be32(at + 13)) / 1e7, lon = qint32(b.Be32(at + 17)) / 1e7;
        if (!SetUtc(&r, b.Be16(at + 4), b.U8(at + 6), b.U8(at + 7), b.U8(at + 8), b.U8(at + 9), b.Be16(at + 10) / 10.0) ||
            b.Be16(at + 4) < 2000 || !SetPosition(&r, lat, lat < 0 ? 'S' : 'N', lon, lon < 0 ? 'W' : 'E'))
            break;
        SetMotion(&r, b.Be16(at) / 100.0, qint16(b.Be16(at + 2)) / 100.0);
        records.append(r);
    }
    return !records.isEmpty() && Finish(d, records);
}

// Blocks of the two commonest layouts written before the receiver has a lock.
bool TryVoid(const View &b, Decoding *d)
{
    const bool type3 = b.Ch(0x48) == 'V' && b.U8(0x4b) == 0;
    const bool header16 = b.Zero(37, 3) && b.Ch(40) == 'V' && b.U8(43) == 0;
    return (type3 || header16) && Set(d, CNovatekGps::NoFix);
}

void Decode(const View &b, Decoding *d)
{
    using Layout = bool (*)(const View &, Decoding *);
    static const Layout kLayouts[] = {TryAzdome,    TryNextbaseText, TryHeader16, TryUnreadable, TryAkaso,
                                      TryShiftedRmc, TryEnciphered,  TryVantrueS1, TryAtc,       TryType2,
                                      TryInnovv,    TryXbht,         TryVantrueN4, TryType3,     TryXgodyText,
                                      Try70mai,     TryNextbaseBinary, TryVoid};
    for (Layout layout : kLayouts)
        if (layout(b, d))
            return;
    d->result = CNovatekGps::Unknown;
}

// ---------------------------------------------------------------------------------------------
// The file
using Source = tagBUDGETEDFILE;
using Box = tagMP4BOXHEADER;

bool ReadBox(Source *s, qint64 pos, qint64 end, Box *box)
{
    return s->ReadBox(pos, end, box);
}

// The first block that starts in [from, to), or -1.
qint64 Search(Source *s, qint64 from, qint64 to)
{
    constexpr qint64 kChunk = 64 * 1024;
    for (qint64 at = from; at < to; at += kChunk) {
        const qint64 n = std::min(kChunk, to - at);
        const QByteArray c = s->Read(at, std::min(n + 11, s->size - at));
        if (c.size() < 12)
            return -1;
        for (qsizetype k = c.indexOf(kSignature, 4); k >= 0 && k - 4 < n; k = c.indexOf(kSignature, k + 1)) {
            const quint32 size = Be32(reinterpret_cast<const uchar *>(c.constData()) + k - 4);
            if (size >= 12 && size < 0x1000000)
                return at + k - 4;
        }
    }
    return -1;
}

} // namespace

CNovatekGps::CNovatekGps(tagTRACKTELEMETRY *out) : m_out(out) {}

CNovatekGps::Result CNovatekGps::AddBlock(const QByteArray &block)
{
    const double blockTime = m_ordinal++;
    ++m_stats.nBlocks;
    const View b(reinterpret_cast<const uchar *>(block.constData()), std::min<qint64>(block.size(), kNovatekBlockBytes));
    Decoding d;
    if (b.Is(4, kSignature, 8))
        Decode(b, &d);
    else
        d.result = Damaged;
    if (d.bRing) {
        // The ring holds the last records up to now: those newer than the last one read, and of
        // the clip's first block only the newest.
        std::stable_sort(d.records.begin(), d.records.end(),
                         [](const Record &x, const Record &y) { return x.nUtcMs < y.nUtcMs; });
        QVector<Record> fresh;
        for (const Record &r : d.records)
            if (r.nUtcMs > m_lastAtcUtc)
                fresh.append(r);
        if (m_lastAtcUtc < 0 && fresh.size() > 1)
            fresh.remove(0, fresh.size() - 1);
        if (!fresh.isEmpty())
            m_lastAtcUtc = fresh.last().nUtcMs;
        Finish(&d, fresh);
    }
    switch (d.result) {
    case Decoded: ++m_stats.nDecoded; break;
    case NoFix: ++m_stats.nNoFix; break;
    case Unknown: ++m_stats.nUnknown; break;
    case Damaged: ++m_stats.nDamaged; break;
    }
    if (d.result == Decoded) {
        const int n = d.records.size();
        for (int i = 0; i < n; ++i)
            Place(d.records[i], blockTime + double(i) / n);
    }
    return d.result;
}

void CNovatekGps::Place(const Record &r, double blockTime)
{
    double time = blockTime;
    bool utc = false;
    if (r.bFix && r.bUtc) {
        if (!m_hasReference) {
            m_hasReference = true;
            m_referenceUtc = r.nUtcMs;
            m_referenceTime = blockTime;
        }
        const double t = m_referenceTime + double(r.nUtcMs - m_referenceUtc) / 1000.0;
        if (t >= 0.0 && std::fabs(t - blockTime) <= kNovatekMaxClockSkew) {
            time = t;
            utc = true;
        }
    }
    if (r.bFix) {
        tagTRACKFIX f;
        f.dTime = time;
        f.bHasUtc = utc;
        f.nUtcMs = utc ? r.nUtcMs : 0;
        f.cStatus = 'A';
        f.dLat = r.dLat;
        f.dLon = r.dLon;
        f.dAlt = r.bAlt ? r.dAlt : 0.0;
        f.dSpeed = r.dSpeed;
        f.dCourse = r.dCourse;
        ClampTrackFix(&f);
        m_out->AddFix(f);
    }
    if (r.bAccel) {
        tagTRACKSAMPLE s;
        s.dTime = time;
        s.fX = float(r.dX);
        s.fY = float(r.dY);
        s.fZ = float(r.dZ);
        m_out->AddSample(s);
    }
}

bool CNovatekGps::ReadFile(const QString &path, tagTRACKTELEMETRY *out, qint64 *budget, tagNOVATEKSTATS *stats)
{
    Source src;
    if (!src.Open(path, budget, out))
        return false;

    // Top-level boxes: the media data, and the movie box's 'gps ' index.
    QVector<QPair<qint64, qint64>> media;
    QByteArray index;
    bool haveMoov = false;
    int boxes = 0;
    Box box;
    for (qint64 pos = 0; ReadBox(&src, pos, src.size, &box) && ++boxes <= kMaxMp4Boxes; pos = box.end) {
        if (box.type == FourCC("mdat")) {
            if (media.size() < kMaxNovatekMediaBoxes)
                media.append({box.payload, box.end});
            else
                out->bTooLarge = 1;
        } else if (box.type == FourCC("moov") && !haveMoov) {
            haveMoov = true;
            Box child;
            for (qint64 at = box.payload; ReadBox(&src, at, box.end, &child) && ++boxes <= kMaxMp4Boxes; at = child.end) {
                if (child.type == FourCC("gps ")) {
                    const qint64 n = child.end - child.payload;
                    if (n > kMaxMp4TableBytes)
                        out->bTooLarge = 1;
                    index = src.Read(child.payload, std::min(n, kMaxMp4TableBytes));
                    break;
                }
            }
        }
    }
    if (boxes > kMaxMp4Boxes)
        out->bTooLarge = 1;

    CNovatekGps reader(out);
    tagNOVATEKSTATS fromIndex;
    if (index.size() >= 8) {
        const uchar *p = reinterpret_cast<const uchar *>(index.constData());
        const quint64 count = std::min<quint64>(Be32(p + 4), quint64(index.size() - 8) / 8);
        for (quint64 i = 0; i < count && !out->bTooLarge; ++i) {
            const qint64 offset = Be32(p + 8 + 8 * i), size = Be32(p + 12 + 8 * i);
            if (offset == 0 && size == 0)
                continue; // an unused slot
            QByteArray block;
            if (size >= 12 && offset <= src.size - size)
                block = src.Read(offset, std::min(size, kNovatekBlockBytes));
            if (out->bTooLarge)
                break;
            reader.AddBlock(block);
        }
        reader.m_stats.bIndexed = reader.m_stats.nBlocks > 0;
        if (reader.m_stats.nBlocks > 0 && reader.m_stats.nDamaged == reader.m_stats.nBlocks) {
            // Nothing of the index could be read: its blocks are looked for in the media data,
            // timed afresh.
            fromIndex = reader.m_stats;
            reader = CNovatekGps(out);
        }
    }
    if (!reader.m_stats.bIndexed || reader.m_stats.nBlocks == 0) {
        for (const auto &m : media) {
            if (out->bTooLarge)
                break;
            const qint64 first = Search(&src, m.first, std::min(m.second, m.first + kNovatekSearchBytes));
            if (first < 0)
                continue;
            const QByteArray head = src.Read(first, 12);
            const qint64 stride = head.size() == 12 && Be32(reinterpret_cast<const uchar *>(head.constData())) >= 0x8000
                                      ? 0x8000
                                      : 0x4000;
            for (qint64 pos = first; pos <= m.second - 12 && !out->bTooLarge;) {
                qint64 next = pos + stride;
                const QByteArray h = src.Read(pos, 12);
                if (h.size() == 12 && std::memcmp(h.constData() + 4, kSignature, 8) == 0) {
                    const qint64 size = Be32(reinterpret_cast<const uchar *>(h.constData()));
                    QByteArray block;
                    if (size >= 12 && size <= m.second - pos)
                        block = src.Read(pos, std::min(size, kNovatekBlockBytes));
                    if (out->bTooLarge)
                        break;
                    reader.AddBlock(block);
                    if (size > stride)
                        next = pos + (size + stride - 1) / stride * stride;
                }
                pos = next;
            }
        }
    }
    tagNOVATEKSTATS all = reader.m_stats;
    all.nBlocks += fromIndex.nBlocks;
    all.nDamaged += fromIndex.nDamaged;
    if (stats)
        *stats = all;
    return all.nBlocks > 0;
}
