// Shared pieces of the dash cams' own telemetry readers: sample reading on a budget, cue text,
// an RMC sentence and the range checks.
#include "catalogue/makergps.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QTime>
#include <QTimeZone>

#include <cmath>

namespace {

constexpr double kKnot = 1852.0 / 3600.0; // m/s

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A plain decimal ("12", "4529.87489"); false for anything else.
bool Decimal(const QByteArray &s, double *v)
{
    int digits = 0, points = 0;
    for (char c : s) {
        if (IsDigit(c))
            ++digits;
        else if (c == '.' && points == 0)
            ++points;
        else
            return false;
    }
    bool ok = false;
    *v = s.toDouble(&ok);
    return digits > 0 && ok && std::isfinite(*v);
}

// len digits of s from at.
bool Digits(const QByteArray &s, int at, int len, int *v)
{
    if (at < 0 || at + len > s.size())
        return false;
    int x = 0;
    for (int i = at; i < at + len; ++i) {
        if (!IsDigit(s[i]))
            return false;
        x = x * 10 + (s[i] - '0');
    }
    *v = x;
    return true;
}

int HexDigit(char c)
{
    return IsDigit(c) ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

} // namespace

void CountMakerRecord(tagMAKERGPSSTATS *stats, MakerRecordResult result)
{
    switch (result) {
    case MR_DECODED: ++stats->nDecoded; break;
    case MR_NOFIX: ++stats->nNoFix; break;
    case MR_DAMAGED: ++stats->nDamaged; break;
    case MR_OTHER: return;
    }
    ++stats->nRecords;
}

void ForEachTrackSample(CMp4Boxes *boxes, qint64 *budget, tagTRACKTELEMETRY *out,
                        const std::function<bool(const tagMP4TRACK &)> &wanted,
                        const std::function<void(const QByteArray &, double start)> &fn)
{
    for (const tagMP4TRACK &track : boxes->Tracks()) {
        if (!wanted(track))
            continue;
        for (const tagMP4SAMPLE &s : track.samples) {
            if (out->bTooLarge)
                return;
            if (s.nSize > *budget) {
                out->bTooLarge = 1;
                return;
            }
            *budget -= s.nSize;
            fn(boxes->ReadSample(s), s.dStart);
        }
    }
}

QByteArray Mp4CueText(const QByteArray &sample)
{
    QByteArray t = sample;
    static const QByteArray encd("\0\0\0\x0c" "encd\0\0\x01\0", 12);
    if (t.endsWith(encd))
        t.chop(encd.size());
    if (t.size() >= 2 && ((uchar(t[0]) << 8) | uchar(t[1])) == t.size() - 2)
        t.remove(0, 2);
    return t;
}

bool MakerUtcMs(int year, int month, int day, int hour, int minute, double seconds, qint64 *ms)
{
    if (year < 2000 || year > 2099 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        !(seconds >= 0.0 && seconds < 60.0))
        return false;
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;
    *ms = QDateTime(date, QTime(hour, minute), QTimeZone::utc()).toMSecsSinceEpoch() + std::llround(seconds * 1000.0);
    return true;
}

bool DdmmToDegrees(double ddmm, double maxDegrees, double *degrees)
{
    if (!std::isfinite(ddmm))
        return false;
    const double v = std::fabs(ddmm);
    const double whole = std::floor(v / 100.0);
    const double minutes = v - whole * 100.0;
    if (minutes >= 60.0)
        return false;
    const double d = whole + minutes / 60.0;
    if (d > maxDegrees)
        return false;
    *degrees = ddmm < 0 ? -d : d;
    return true;
}

MakerRecordResult ParseRmcText(const QByteArray &text, tagRMCFIX *fix)
{
    const auto capital = [&](qsizetype i) { return i >= 0 && text[i] >= 'A' && text[i] <= 'Z'; };
    qsizetype at = text.indexOf("RMC,");
    while (at >= 0 && !(capital(at - 2) && capital(at - 1)))
        at = text.indexOf("RMC,", at + 1);
    if (at < 0)
        return MR_OTHER;
    const qsizetype begin = at - 2;
    qsizetype end = begin;
    while (end < text.size() && uchar(text[end]) >= 0x20 && text[end] != ';' && text[end] != '$')
        ++end;
    QByteArray body = text.mid(begin, end - begin);
    if (const qsizetype star = body.indexOf('*'); star >= 0) {
        uchar sum = 0;
        for (qsizetype i = 0; i < star; ++i)
            sum ^= uchar(body[i]);
        const int hi = star + 1 < body.size() ? HexDigit(body[star + 1]) : -1;
        const int lo = star + 2 < body.size() ? HexDigit(body[star + 2]) : -1;
        if (hi < 0 || lo < 0 || sum != uchar(hi * 16 + lo))
            return MR_DAMAGED;
        body.truncate(star);
    }
    const QList<QByteArray> f = body.split(',');
    if (f.size() < 10)
        return MR_DAMAGED;
    if (f[2] == "V" || f[3].isEmpty() || f[5].isEmpty())
        return MR_NOFIX;
    int hour = 0, minute = 0, day = 0, month = 0, year = 0;
    double seconds = 0.0, lat = 0.0, lon = 0.0, knots = 0.0, course = -1.0;
    if ((f[2] != "A" && !f[2].isEmpty()) || !Digits(f[1], 0, 2, &hour) || !Digits(f[1], 2, 2, &minute) ||
        !Decimal(f[1].mid(4), &seconds) || f[9].size() != 6 || !Digits(f[9], 0, 2, &day) ||
        !Digits(f[9], 2, 2, &month) || !Digits(f[9], 4, 2, &year) || !Decimal(f[3], &lat) ||
        !(f[4] == "N" || f[4] == "S") || !Decimal(f[5], &lon) || !(f[6] == "E" || f[6] == "W") ||
        (!f[7].isEmpty() && !Decimal(f[7], &knots)) || (!f[8].isEmpty() && !Decimal(f[8], &course)))
        return MR_DAMAGED;
    // Two-digit years from 70 are of the last century, which no clip is from.
    if (!MakerUtcMs(year < 70 ? 2000 + year : 1900 + year, month, day, hour, minute, seconds, &fix->nUtcMs) ||
        !DdmmToDegrees(lat, 90.0, &fix->dLat) || !DdmmToDegrees(lon, 180.0, &fix->dLon) || course >= 360.0)
        return MR_DAMAGED;
    if (f[4] == "S")
        fix->dLat = -fix->dLat;
    if (f[6] == "W")
        fix->dLon = -fix->dLon;
    fix->dSpeed = knots * kKnot;
    fix->dCourse = course;
    return fix->dLat == 0.0 && fix->dLon == 0.0 ? MR_NOFIX : MR_DECODED;
}
