// Other cameras' telemetry on the clip's own timeline, in the data-file reader's record.
#include "catalogue/cliptelemetry.h"

#include "catalogue/blackvuegps.h"
#include "catalogue/datafileinfo.h"
#include "catalogue/mp4boxes.h"
#include "catalogue/nmealog.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>
#include <QtEndian>

#include <cmath>
#include <cstdio>

namespace {

constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1852.0;
// Below this distance between neighbours a computed course is noise; the one before is kept.
constexpr double kMinCourseMetres = 1.0;

// One fix or sample on the clip's timeline, in milliseconds from the clip's start.
struct TimedFix {
    int64_t nMs = 0;
    char cStatus = 'V';
    double dLat = 0.0;
    double dLon = 0.0;
    double dSpeed = 0.0;   // metres per second
    double dCourse = -1.0; // -1: not given
};

struct TimedSample {
    int64_t nMs = 0;
    float fX = 0.0f, fY = 0.0f, fZ = 0.0f;
};

// The car's own state, on the same timeline.
struct TimedVehicle {
    int64_t nMs = 0;
    tagVEHICLEINFO state;
};

int64_t MsOf(double seconds)
{
    return std::isfinite(seconds) ? static_cast<int64_t>(std::llround(seconds * 1000.0)) : 0;
}

// Degrees as an NMEA field "ddmm.mmmmmm" or "dddmm.mmmmmm" and its hemisphere letter.
QByteArray Coordinate(double degrees, int degreeDigits, char positive, char negative)
{
    const double a = std::fabs(degrees);
    int whole = static_cast<int>(a);
    double minutes = (a - whole) * 60.0;
    // 59.9999996 minutes prints as 60.000000: carry into the degrees instead.
    if (minutes >= 59.9999995) {
        ++whole;
        minutes = 0.0;
    }
    return QByteArray::number(whole).rightJustified(degreeDigits, '0') +
           QByteArray::number(minutes, 'f', 6).rightJustified(9, '0') + ',' + (degrees < 0 ? negative : positive);
}

// A fix as the data-file reader makes it from a $GPRMC line of this time, so that numbers and
// texts are the recorder's own.
tagGPSINFO MakeFix(const SYSTEMTIME &t, const TimedFix &f, double course)
{
    char text[64];
    std::snprintf(text, sizeof text, "$GPRMC,%02d%02d%02d.%03d,%c,", t.wHour, t.wMinute, t.wSecond,
                  t.wMilliseconds, f.cStatus == 'A' ? 'A' : 'V');
    QByteArray line = text;
    line += Coordinate(f.dLat, 2, 'N', 'S') + ',' + Coordinate(f.dLon, 3, 'E', 'W') + ',';
    line += QByteArray::number(qMax(0.0, f.dSpeed) * kKnotsPerMetrePerSecond, 'f', 3) + ',';
    line += QByteArray::number(course, 'f', 2) + ',';
    std::snprintf(text, sizeof text, "%02d%02d%02d,,", t.wDay, t.wMonth, t.wYear % 100);
    line += text;
    tagGPSINFO fix;
    ParseRmcFields(line.constData(), static_cast<int>(line.size()), &fix);
    return fix;
}

// Courses the source did not give: the bearing from the fix before to the fix after (or from or
// to the one neighbour at the ends); the course before when they lie too close together.
QVector<double> Courses(const QVector<TimedFix> &fixes)
{
    QVector<double> out(fixes.size(), 0.0);
    double previous = 0.0;
    for (int i = 0; i < fixes.size(); ++i) {
        const TimedFix &f = fixes[i];
        if (f.dCourse >= 0.0) {
            previous = out[i] = f.dCourse;
            continue;
        }
        // A fix without a position (V) is no neighbour.
        const auto at = [&](int j) -> const TimedFix & {
            return j >= 0 && j < fixes.size() && fixes[j].cStatus == 'A' ? fixes[j] : f;
        };
        const TimedFix &a = at(i - 1);
        const TimedFix &b = at(i + 1);
        if (f.cStatus == 'A' && CGpxTrack::DistanceMetres(a.dLat, a.dLon, b.dLat, b.dLon) >= kMinCourseMetres)
            previous = CGpxTrack::BearingDegrees(a.dLat, a.dLon, b.dLat, b.dLon);
        out[i] = previous;
    }
    return out;
}

struct ClipStart {
    bool bKnown = false;
    int64_t nWallMs = 0;   // local wall-clock time of the clip's first frame
    bool bHasUtc = false;
    int64_t nOffsetMs = 0; // local minus UTC
    bool bFromGps = false; // the UTC time came from a fix, not from the container's clock
};

ClipStart StartFromUtc(int64_t utcMs, const CLocalClock &clock, bool fromGps = true)
{
    ClipStart s;
    s.bKnown = s.bHasUtc = true;
    s.bFromGps = fromGps;
    s.nOffsetMs = clock.OffsetMs(utcMs);
    s.nWallMs = utcMs + s.nOffsetMs;
    return s;
}

// The record of fixes and samples on the timeline of a clip that starts at `start`. bValid 0 when
// there is nothing to show.
tagDATAFILEINFO BuildRecord(const QVector<TimedFix> &fixes, const QVector<TimedSample> &samples, ClipStart start,
                            const QString &clipPath, int source, bool tooLarge,
                            const QVector<TimedVehicle> &vehicles = {})
{
    tagDATAFILEINFO rec;
    if (fixes.isEmpty() && samples.isEmpty() && vehicles.isEmpty())
        return rec;
    if (start.bKnown && !WallClockTime(start.nWallMs, &rec.stSyncTime))
        start = ClipStart();
    if (!start.bKnown) {
        // No clock: the times only place the samples on the clip's timeline.
        rec.bNoClock = 1;
        start.nWallMs = QDateTime(QDate(2000, 1, 1), QTime(0, 0), QTimeZone::utc()).toMSecsSinceEpoch();
        WallClockTime(start.nWallMs, &rec.stSyncTime);
    }
    rec.bValid = 1;
    rec.nSource = source;
    rec.bTooLarge = tooLarge ? 1 : 0;
    rec.bHasUtcOffset = start.bHasUtc ? 1 : 0;
    rec.bUtcFromGps = start.bHasUtc && start.bFromGps ? 1 : 0;
    rec.nUtcOffsetMs = start.nOffsetMs;
    rec.nType = RecordingTypeFromPath(DataFilePathForClip(clipPath));

    const QVector<double> courses = Courses(fixes);
    rec.vecGps.reserve(fixes.size());
    for (int i = 0; i < fixes.size(); ++i) {
        // A fix without a position (a receiver before its first lock) would draw the route to
        // 0, 0; its time has already served to place the clip.
        if (fixes[i].cStatus != 'A' && fixes[i].dLat == 0.0 && fixes[i].dLon == 0.0)
            continue;
        SYSTEMTIME t;
        if (WallClockTime(start.nWallMs + fixes[i].nMs, &t))
            rec.vecGps.append(MakeFix(t, fixes[i], courses[i]));
    }
    rec.vecAccel.reserve(samples.size());
    for (const TimedSample &s : samples) {
        tagACCELINFO a;
        if (!WallClockTime(start.nWallMs + s.nMs, &a.stTime))
            continue;
        a.fX = s.fX;
        a.fY = s.fY;
        a.fZ = s.fZ;
        rec.vecAccel.append(a);
    }
    rec.vecVehicle.reserve(vehicles.size());
    for (const TimedVehicle &v : vehicles) {
        tagVEHICLEINFO state = v.state;
        if (WallClockTime(start.nWallMs + v.nMs, &state.stTime))
            rec.vecVehicle.append(state);
    }
    return rec;
}

// UTC milliseconds of an NMEA fix: its RMC date and time, else the logger's time stamp.
bool NmeaFixUtc(const tagNMEAFIX &f, int64_t *utcMs)
{
    const SYSTEMTIME &t = f.fix.stTime;
    if (!f.fix.strDate.isEmpty() && !f.fix.strTime.isEmpty() && WallClockMs(t, utcMs))
        return true;
    if (f.bHasEpochMs) {
        *utcMs = f.nEpochMs;
        return true;
    }
    return false;
}

// Fixes at UTC times as a clip that starts at the first of them; those that go back in time are
// left out.
template <typename Item, typename UtcOf, typename Convert>
QVector<TimedFix> OnTimeline(const QVector<Item> &items, UtcOf utcOf, Convert convert, int64_t *startUtc)
{
    QVector<TimedFix> out;
    bool started = false;
    int64_t last = 0;
    for (const Item &item : items) {
        int64_t utc = 0;
        if (!utcOf(item, &utc) || (started && utc < last))
            continue;
        if (!started) {
            started = true;
            *startUtc = utc;
        }
        last = utc;
        TimedFix f = convert(item);
        f.nMs = utc - *startUtc;
        out.append(f);
    }
    return out;
}

TimedFix FromGpxPoint(const tagGPXPOINT &p)
{
    TimedFix f;
    f.cStatus = 'A';
    f.dLat = p.dLat;
    f.dLon = p.dLon;
    f.dSpeed = p.bHasSpeed ? p.dSpeed : 0.0;
    f.dCourse = p.bHasCourse ? p.dCourse : -1.0;
    return f;
}

bool GpxPointUtc(const tagGPXPOINT &p, int64_t *utcMs)
{
    *utcMs = p.nTimeMs;
    return true;
}

tagDATAFILEINFO FromNmeaLog(const CNmeaLog &log, const QString &clipPath, const CLocalClock &clock)
{
    int64_t startUtc = 0;
    const QVector<TimedFix> fixes = OnTimeline(log.Fixes(), NmeaFixUtc,
                                               [](const tagNMEAFIX &n) {
                                                   TimedFix f;
                                                   f.cStatus = n.fix.cStatus;
                                                   f.dLat = n.fix.dLat;
                                                   f.dLon = n.fix.dLon;
                                                   f.dSpeed = n.fix.dSpeedKnots / kKnotsPerMetrePerSecond;
                                                   f.dCourse = n.fix.dCourse;
                                                   return f;
                                               },
                                               &startUtc);
    if (fixes.isEmpty())
        return tagDATAFILEINFO();
    return BuildRecord(fixes, {}, StartFromUtc(startUtc, clock), clipPath, TS_NMEA, log.TooLarge());
}

tagDATAFILEINFO FromGpxLog(const QString &path, const QString &clipPath, const CLocalClock &clock)
{
    CGpxTrack track;
    if (!track.Load(path))
        return tagDATAFILEINFO();
    int64_t startUtc = 0;
    const QVector<TimedFix> fixes = OnTimeline(track.Points(), GpxPointUtc, FromGpxPoint, &startUtc);
    return BuildRecord(fixes, {}, StartFromUtc(startUtc, clock), clipPath, TS_GPX, track.TooLarge());
}

// The start of a clip from its own header or name, for tracks and clips without a time of their
// own.
ClipStart StartOfClip(const QDateTime &creationUtc, const QString &clipPath, const CLocalClock &clock)
{
    if (creationUtc.isValid())
        return StartFromUtc(creationUtc.toMSecsSinceEpoch(), clock, false);
    ClipStart s;
    if (NameTimeOfClip(clipPath, &s.nWallMs)) {
        s.bKnown = s.bHasUtc = true;
        // The name is local time; its offset is the one of the UTC time it stands for.
        s.nOffsetMs = clock.OffsetMs(s.nWallMs - clock.OffsetMs(s.nWallMs));
    }
    return s;
}

tagDATAFILEINFO FromMp4Track(const tagTRACKTELEMETRY &t, const QString &clipPath, const CLocalClock &clock)
{
    QVector<TimedFix> fixes;
    fixes.reserve(t.vecFix.size());
    const tagTRACKFIX *timed = nullptr;
    for (const tagTRACKFIX &f : t.vecFix) {
        if (f.bHasUtc && (!timed || (timed->cStatus != 'A' && f.cStatus == 'A')))
            timed = &f;
        TimedFix x;
        x.nMs = MsOf(f.dTime);
        x.cStatus = f.cStatus;
        x.dLat = f.dLat;
        x.dLon = f.dLon;
        x.dSpeed = f.dSpeed;
        x.dCourse = f.dCourse;
        fixes.append(x);
    }
    QVector<TimedSample> samples;
    samples.reserve(t.vecAccel.size());
    for (const tagTRACKSAMPLE &a : t.vecAccel)
        samples.append({MsOf(a.dTime), a.fX, a.fY, a.fZ});
    QVector<TimedVehicle> vehicles;
    vehicles.reserve(t.vecVehicle.size());
    for (const tagTRACKVEHICLE &v : t.vecVehicle)
        vehicles.append({MsOf(v.dTime), v.state});
    const ClipStart start = timed ? StartFromUtc(timed->nUtcMs - MsOf(timed->dTime), clock)
                                  : StartOfClip(t.creationUtc, clipPath, clock);
    const int named = TelemetrySourceFromName(QString::fromLatin1(t.source));
    const int source = t.source == "gpmd" ? TS_GPMF : named != TS_NONE ? named : TS_CAMM;
    return BuildRecord(fixes, samples, start, clipPath, source, t.bTooLarge, vehicles);
}

// BlackVue's files beside the clip: the fixes of its .gps log (none for none) and the records of
// its .3gf file.
tagDATAFILEINFO FromBlackVueFiles(const QVector<tagNMEAFIX> &fixes, bool tooLarge, const tagCLIPSOURCES &sources,
                                  const QDateTime &creationUtc, const CLocalClock &clock)
{
    tagTRACKTELEMETRY track;
    if (!CBlackVueGps::ReadBeside(fixes, sources.accelPath, &track))
        return tagDATAFILEINFO();
    track.creationUtc = creationUtc;
    if (tooLarge)
        track.bTooLarge = 1;
    return FromMp4Track(track, sources.clipPath, clock);
}

bool IsBlackVueLog(const QString &path, const CNmeaLog &log)
{
    return path.endsWith(QLatin1String(".gps"), Qt::CaseInsensitive) && CBlackVueGps::IsTimeCoded(log.Fixes());
}

bool IsMp4(const QString &path)
{
    return path.endsWith(QLatin1String(".mp4"), Qt::CaseInsensitive);
}

// Duration of an AVI from its main header: microseconds per frame x frames.
double AviDurationSeconds(QFile *file)
{
    const QByteArray head = file->read(4096);
    const int at = head.indexOf("avih");
    if (!head.startsWith("RIFF") || at < 0 || at + 8 + 20 > head.size())
        return 0.0;
    const uchar *p = reinterpret_cast<const uchar *>(head.constData()) + at + 8;
    const quint32 usPerFrame = qFromLittleEndian<quint32>(p);
    const quint32 frames = qFromLittleEndian<quint32>(p + 16);
    const double seconds = double(usPerFrame) * frames / 1e6;
    return seconds < 86400.0 ? seconds : 0.0;
}

} // namespace

CLocalClock::CLocalClock(double hours)
    : m_fixed(std::isfinite(hours) && std::fabs(hours) <= 14.0), m_offsetMs(m_fixed ? std::llround(hours * 3600000.0) : 0)
{
}

int64_t CLocalClock::OffsetMs(int64_t utcMs) const
{
    if (m_fixed)
        return m_offsetMs;
    return int64_t(QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc()) * 1000;
}

bool WallClockTime(int64_t wallMs, SYSTEMTIME *st)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(wallMs, QTimeZone::utc());
    const QDate d = t.date();
    const QTime c = t.time();
    if (!d.isValid() || d.year() < 2000 || d.year() > 2099)
        return false;
    *st = SYSTEMTIME();
    st->wYear = static_cast<uint16_t>(d.year() - 2000);
    st->wMonth = static_cast<uint16_t>(d.month());
    st->wDay = static_cast<uint16_t>(d.day());
    st->wHour = static_cast<uint16_t>(c.hour());
    st->wMinute = static_cast<uint16_t>(c.minute());
    st->wSecond = static_cast<uint16_t>(c.second());
    st->wMilliseconds = static_cast<uint16_t>(c.msec());
    return true;
}

bool WallClockMs(const SYSTEMTIME &st, int64_t *wallMs)
{
    const QDate d(2000 + st.wYear, st.wMonth, st.wDay);
    const QTime c(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    if (!d.isValid() || !c.isValid())
        return false;
    *wallMs = QDateTime(d, c, QTimeZone::utc()).toMSecsSinceEpoch();
    return true;
}

bool NameTimeOfClip(const QString &clipPath, int64_t *wallMs)
{
    static const QRegularExpression kStamp(QStringLiteral("(?<!\\d)(20\\d\\d)(\\d\\d)(\\d\\d)[_-](\\d\\d)(\\d\\d)(\\d\\d)(?!\\d)"));
    const QRegularExpressionMatch m = kStamp.match(FileNameOfPath(clipPath));
    if (!m.hasMatch())
        return false;
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime t(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!d.isValid() || !t.isValid())
        return false;
    *wallMs = QDateTime(d, t, QTimeZone::utc()).toMSecsSinceEpoch();
    return true;
}

double ClipDurationSeconds(const QString &clipPath)
{
    if (IsMp4(clipPath)) {
        CMp4Boxes boxes;
        return boxes.Open(clipPath) ? boxes.DurationSeconds() : 0.0;
    }
    QFile file(clipPath);
    return file.open(QIODevice::ReadOnly) ? AviDurationSeconds(&file) : 0.0;
}

tagCLIPTELEMETRY ReadClipTelemetry(const tagCLIPSOURCES &sources, const CLocalClock &clock)
{
    tagCLIPTELEMETRY out;
    if (!sources.nmeaPath.isEmpty()) {
        CNmeaLog log;
        log.Load(sources.nmeaPath);
        out.info = IsBlackVueLog(sources.nmeaPath, log)
                       ? FromBlackVueFiles(log.Fixes(), log.TooLarge(), sources, QDateTime(), clock)
                       : FromNmeaLog(log, sources.clipPath, clock);
        if (out.info.bValid == 1) {
            out.strSourcePath = sources.nmeaPath;
            return out;
        }
    }
    if (!sources.gpxPath.isEmpty()) {
        out.info = FromGpxLog(sources.gpxPath, sources.clipPath, clock);
        if (out.info.bValid == 1) {
            out.strSourcePath = sources.gpxPath;
            return out;
        }
    }
    QDateTime creation;
    double duration = 0.0;
    if (IsMp4(sources.clipPath)) {
        tagTRACKTELEMETRY track;
        if (ReadMp4Telemetry(sources.clipPath, &track) == 1) {
            out.info = FromMp4Track(track, sources.clipPath, clock);
            if (out.info.bValid == 1)
                return out;
        }
        creation = track.creationUtc;
        duration = track.dDuration;
    } else {
        duration = ClipDurationSeconds(sources.clipPath);
    }
    if (!sources.accelPath.isEmpty()) {
        out.info = FromBlackVueFiles({}, false, sources, creation, clock);
        if (out.info.bValid == 1) {
            out.strSourcePath = sources.accelPath;
            return out;
        }
    }
    out.info = tagDATAFILEINFO();
    const ClipStart start = StartOfClip(creation, sources.clipPath, clock);
    out.clipClock.bKnown = start.bKnown;
    out.clipClock.nStartUtcMs = start.nWallMs - start.nOffsetMs;
    out.clipClock.dDuration = duration;
    return out;
}

bool RecordFromTrack(const QVector<tagGPXPOINT> &points, const tagCLIPCLOCK &clipClock, const CLocalClock &clock,
                     const QString &clipPath, tagDATAFILEINFO *out)
{
    if (!clipClock.bKnown || !(clipClock.dDuration > 0.0))
        return false;
    const int64_t start = clipClock.nStartUtcMs;
    const QVector<tagGPXPOINT> inside = CGpxTrack::PointsInWindow(points, start, start + MsOf(clipClock.dDuration));
    if (inside.isEmpty())
        return false;
    QVector<TimedFix> fixes;
    fixes.reserve(inside.size());
    for (const tagGPXPOINT &p : inside) {
        TimedFix f = FromGpxPoint(p);
        f.nMs = p.nTimeMs - start;
        fixes.append(f);
    }
    const tagDATAFILEINFO rec = BuildRecord(fixes, {}, StartFromUtc(start, clock), clipPath, TS_GPX, false);
    if (rec.bValid != 1)
        return false;
    *out = rec;
    return true;
}

QVector<tagGPSINFO> FixesInUtc(const tagDATAFILEINFO &rec)
{
    if (!rec.bHasUtcOffset)
        return rec.vecGps;
    QVector<tagGPSINFO> out = rec.vecGps;
    for (tagGPSINFO &g : out) {
        int64_t wall = 0;
        SYSTEMTIME utc;
        if (WallClockMs(g.stTime, &wall) && WallClockTime(wall - rec.nUtcOffsetMs, &utc))
            g.stTime = utc;
    }
    return out;
}
