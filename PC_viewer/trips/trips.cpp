// Gathering the catalogue's recordings into trips: grouping by time and kind, distance, top speed
// and events, in one pass over the records.
#include "trips/trips.h"

#include "base/clocktime.h"
#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"
#include "catalogue/datafileinfo.h"
#include "base/units.h"
#include "telemetry/graphgeometry.h"

#include <QDateTime>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

namespace {

// A gap longer than this (about 30 years) changes nothing and would overflow the sums.
constexpr int64_t kMaxGapMs = int64_t(1) << 50;

// Days since 1970-01-01 of a date; days beyond the month's end run on into the next month, as
// mktime has them.
int64_t DaysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// A time stamp's calendar fields as milliseconds (counted as if UTC): only differences between two
// of them are used, so no time zone is needed, and this runs for every fix. Accepts what TimeKey
// accepts.
bool WallMs(const SYSTEMTIME &st, int64_t *ms)
{
    if (st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 || st.wDay > 31 || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59)
        return false;
    const int64_t days = DaysFromCivil(2000 + st.wYear, st.wMonth, st.wDay);
    *ms = ((days * 24 + st.wHour) * 60 + st.wMinute) * 60000 + st.wSecond * 1000 + st.wMilliseconds;
    return true;
}

bool IsParking(int type)
{
    return type == RT_PARKING || type == RT_PARKING_MOTION || type == RT_PARKING_AUDIO;
}

// Where a recording's end lies past its start when its header gives no duration: its latest sample
// or fix within a recording's longest span; 0 when none.
int64_t TelemetrySpanMs(const tagDATAFILEINFO &rec, int64_t syncWall)
{
    int64_t span = 0;
    const auto take = [&](const SYSTEMTIME &t) {
        int64_t w = 0;
        if (WallMs(t, &w) && w - syncWall <= int64_t(kMaxRecordingSeconds) * 1000)
            span = std::max(span, w - syncWall);
    };
    for (const tagACCELINFO &a : rec.vecAccel)
        take(a.stTime);
    for (const tagGPSINFO &g : rec.vecGps)
        take(g.stTime);
    return span;
}

// One trip as its clips are added in time order.
class CTripBuilder
{
public:
    CTripBuilder(int kind, const tagTRIPSETTINGS &settings) : m_settings(settings)
    {
        m_trip.nKind = kind;
        m_trip.bHasTime = kind != TRIP_SINGLE;
    }

    // Adds the recording at `index` that starts at startMs (its time key; 0 without one) and
    // ends at endMs; eventMs is the moment of the maker's event it was kept for (-1: none told).
    void AddClip(int index, const tagDATAFILEINFO &rec, int64_t startMs, int64_t endMs, int64_t eventMs = -1)
    {
        if (m_trip.nClips == 0) {
            m_trip.nFirst = index;
            m_trip.llStartMs = startMs;
            m_trip.llEndMs = endMs;
        }
        m_trip.nLast = index;
        ++m_trip.nClips;
        m_trip.vecClips.append(tagTRIPCLIP{index, startMs, endMs});
        m_trip.llEndMs = std::max(m_trip.llEndMs, endMs);
        // The maker's event inside the recording is marked at its moment, whatever the kind.
        const bool eventInside = eventMs >= startMs && eventMs <= endMs && m_trip.bHasTime;
        if (eventInside || rec.nType == RT_EVENT || rec.nType == RT_USER) {
            tagTRIPEVENT e;
            e.nIndex = index;
            e.llTimeMs = eventInside ? eventMs : startMs;
            e.nReason = rec.nType == RT_USER ? TRIP_USER_RECORDING : TRIP_EVENT_RECORDING;
            m_trip.vecEvents.append(e);
        }
        int64_t syncWall = 0;
        if (rec.bValid != 1 || !WallMs(rec.stSyncTime, &syncWall))
            return;
        AddFixes(rec, startMs - syncWall);
        AddPeaks(index, rec, startMs - syncWall);
    }

    int Kind() const { return m_trip.nKind; }
    int64_t EndMs() const { return m_trip.llEndMs; }

    // The trip with its peaks merged into events and all events in time order.
    tagTRIP Finish()
    {
        // A trip whose fixes never made a step has the speed of its only one.
        if (m_hasLast && !m_bStep)
            TakeSpeed(m_last);
        // Runs of peaks that lie within the merge time of each other are one event, whichever
        // clips they came from: sorted by start, a run joins the one before when it starts no
        // later than the merge time after that one's last peak.
        std::stable_sort(m_runs.begin(), m_runs.end(),
                         [](const PeakRun &a, const PeakRun &b) { return a.event.llTimeMs < b.event.llTimeMs; });
        int64_t lastMs = 0;
        for (int i = 0; i < m_runs.size(); ++i) {
            const PeakRun &r = m_runs[i];
            if (i > 0 && r.event.llTimeMs - lastMs <= kTripEventMergeMs) {
                m_trip.vecEvents.last().dPeakG = std::max(m_trip.vecEvents.last().dPeakG, r.event.dPeakG);
                lastMs = std::max(lastMs, r.lastMs);
            } else {
                m_trip.vecEvents.append(r.event);
                lastMs = r.lastMs;
            }
        }
        std::stable_sort(m_trip.vecEvents.begin(), m_trip.vecEvents.end(),
                         [](const tagTRIPEVENT &a, const tagTRIPEVENT &b) { return a.llTimeMs < b.llTimeMs; });
        return std::move(m_trip);
    }

private:
    struct Fix {
        double lat = 0.0, lon = 0.0;
        int64_t ms = 0;
        double kmh = -1.0; // -1: none
    };

    bool Plausible(const Fix &from, const Fix &to, double *metres) const
    {
        *metres = CGpxTrack::DistanceMetres(from.lat, from.lon, to.lat, to.lon);
        // metres per millisecond x 3600 = km/h
        return *metres * 3600.0 <= kTripMaxPlausibleKmh * double(to.ms - from.ms);
    }

    void AddFixes(const tagDATAFILEINFO &rec, int64_t toTripMs)
    {
        for (const tagGPSINFO &g : rec.vecGps) {
            if (g.cStatus != 'A' || !(std::fabs(g.dLat) <= 90.0) || !(std::fabs(g.dLon) <= 180.0))
                continue;
            const double kmh = SpeedInUnit(g.dSpeedKnots, SpeedUnit::Kmh);
            Fix f{g.dLat, g.dLon, 0, std::isfinite(kmh) && kmh >= 0.0 ? kmh : -1.0};
            if (!WallMs(g.stTime, &f.ms))
                continue;
            f.ms += toTripMs;
            if (m_hasLast && f.ms <= m_last.ms)
                continue;
            double metres = 0.0;
            if (!m_hasLast) {
                m_last = f;
                m_hasLast = true;
            } else if (const Fix *from = Plausible(m_last, f, &metres)   ? &m_last
                                         : Plausible(m_prev, f, &metres) ? &m_prev
                                                                         : nullptr) {
                m_trip.dDistanceMetres += metres;
                TakeSpeed(*from);
                TakeSpeed(f);
                m_last = f;
                m_bStep = true;
            }
            m_prev = f;
        }
    }

    void TakeSpeed(const Fix &f)
    {
        if (f.kmh >= 0.0 && (!m_trip.bHasMaxSpeed || f.kmh > m_trip.dMaxSpeedKmh)) {
            m_trip.dMaxSpeedKmh = f.kmh;
            m_trip.bHasMaxSpeed = true;
        }
    }

    // The clip's peaks as runs of samples each within the merge time of the one before, so that a
    // card whose samples all pass the threshold keeps one entry per run, not one per sample.
    void AddPeaks(int index, const tagDATAFILEINFO &rec, int64_t toTripMs)
    {
        const double threshold = m_settings.dPeakThresholdG;
        double sumZ = 0.0;
        for (const tagACCELINFO &a : rec.vecAccel)
            sumZ += std::isfinite(a.fZ) ? double(a.fZ) : 0.0;
        const double restZ = sumZ < 0.0 ? -1.0 : 1.0;
        bool open = false;
        for (const tagACCELINFO &a : rec.vecAccel) {
            const double x = std::fabs(double(a.fX)), y = std::fabs(double(a.fY)), z = std::fabs(double(a.fZ) - restZ);
            if (!(x > threshold || y > threshold || z > threshold))
                continue;
            const double g = std::max({x, y, z});
            int64_t ms = 0;
            if (!std::isfinite(g) || !WallMs(a.stTime, &ms))
                continue;
            ms += toTripMs;
            PeakRun *run = open ? &m_runs.last() : nullptr;
            if (run && ms >= run->lastMs && ms - run->lastMs <= kTripEventMergeMs) {
                run->lastMs = ms;
                run->event.dPeakG = std::max(run->event.dPeakG, g);
                continue;
            }
            PeakRun r;
            r.event.nIndex = index;
            r.event.llTimeMs = r.lastMs = ms;
            r.event.nReason = TRIP_GSENSOR_PEAK;
            r.event.dPeakG = g;
            m_runs.append(r);
            open = true;
        }
    }

    const tagTRIPSETTINGS m_settings;
    tagTRIP m_trip;
    // Recording markers go straight into the trip; peaks wait for Finish(), which merges them by
    // time over the whole trip.
    struct PeakRun {
        tagTRIPEVENT event; // at the run's first peak
        int64_t lastMs = 0;
    };
    QVector<PeakRun> m_runs;
    // The last fix counted (at first the first usable one), and the last usable one.
    Fix m_last, m_prev;
    bool m_hasLast = false;
    bool m_bStep = false; // a step has been counted
};

// The header durations of the clips, read on a few threads: a card's worth of small reads is most
// of what trips cost beyond the load.
std::vector<double> HeaderDurations(const QStringList &paths)
{
    const int count = static_cast<int>(paths.size());
    std::vector<double> seconds(static_cast<size_t>(count), 0.0);
    const auto read = [&](int i) {
        try {
            seconds[static_cast<size_t>(i)] = ClipDurationSeconds(paths.at(i));
        } catch (const std::exception &) {
            // Out of memory on a header: the clip's telemetry gives its span instead.
        }
    };
    // A few dozen headers are read at once here; a card's worth on a few threads.
    constexpr int kPerThread = 64;
    if (count < 2 * kPerThread) {
        for (int i = 0; i < count; ++i)
            read(i);
        return seconds;
    }
    QVector<int> indexes(count);
    std::iota(indexes.begin(), indexes.end(), 0);
    QThreadPool pool;
    pool.setMaxThreadCount(qBound(1, QThread::idealThreadCount(), 4));
    QtConcurrent::blockingMap(&pool, indexes, read);
    return seconds;
}

// The end of a timed recording: its start plus the header's duration, else its telemetry's span.
int64_t EndOfClip(double seconds, const tagDATAFILEINFO &rec, int64_t startMs)
{
    if (seconds > 0.0)
        return startMs + std::llround(seconds * 1000.0);
    int64_t syncWall = 0;
    return WallMs(rec.stSyncTime, &syncWall) ? startMs + TelemetrySpanMs(rec, syncWall) : startMs;
}

tagTRIPSETTINGS Sane(tagTRIPSETTINGS s)
{
    if (!(s.dGapSeconds >= 0.0) || !std::isfinite(s.dGapSeconds))
        s.dGapSeconds = kDefaultTripGapSeconds;
    if (!(s.dPeakThresholdG >= 0.0) || !std::isfinite(s.dPeakThresholdG))
        s.dPeakThresholdG = kDefaultTripPeakThresholdG;
    return s;
}

} // namespace

QString TripKindName(int kind)
{
    switch (kind) {
    case TRIP_DRIVE: return QStringLiteral("drive");
    case TRIP_PARKING: return QStringLiteral("parking");
    default: return QStringLiteral("single");
    }
}

QVector<tagTRIP> BuildTrips(const CCorvanaDoc &doc, const tagTRIPSETTINGS &given)
{
    const tagTRIPSETTINGS settings = Sane(given);
    const int64_t gapMs = std::min<int64_t>(std::llround(std::min(settings.dGapSeconds * 1000.0, 1e18)), kMaxGapMs);

    std::vector<std::pair<int64_t, int>> timed;
    std::vector<int> untimed;
    timed.reserve(static_cast<size_t>(doc.Count()));
    for (int i = 0; i < doc.Count(); ++i) {
        int64_t key = 0;
        if (OrderingKey(doc.RecordRef(i), &key))
            timed.emplace_back(key, i);
        else
            untimed.push_back(i);
    }
    // The catalogue is in this order after a load already; a list sorted newest first is not.
    std::stable_sort(timed.begin(), timed.end(),
                     [](const std::pair<int64_t, int> &a, const std::pair<int64_t, int> &b) { return a.first < b.first; });

    QStringList paths;
    paths.reserve(static_cast<int>(timed.size()));
    for (const auto &clip : timed)
        paths.append(doc.MediaPathAt(clip.second));
    const std::vector<double> durations = HeaderDurations(paths);

    QVector<tagTRIP> trips;
    std::unique_ptr<CTripBuilder> trip;
    for (size_t t = 0; t < timed.size(); ++t) {
        const auto [startMs, index] = timed[t];
        const tagDATAFILEINFO &rec = doc.RecordRef(index);
        const int kind = IsParking(rec.nType) ? TRIP_PARKING : TRIP_DRIVE;
        const int64_t endMs = EndOfClip(durations[t], rec, startMs);
        if (trip && (kind != trip->Kind() || startMs > trip->EndMs() + gapMs)) {
            trips.append(trip->Finish());
            trip.reset();
        }
        if (!trip)
            trip = std::make_unique<CTripBuilder>(kind, settings);
        const tagRECORDINGCLIPS clips = doc.ClipsAt(index);
        int64_t eventMs = -1;
        if (!clips.bEventTime || !TimeKey(clips.stEventTime, &eventMs))
            eventMs = -1;
        trip->AddClip(index, rec, startMs, endMs, eventMs);
    }
    if (trip)
        trips.append(trip->Finish());
    for (int index : untimed) {
        CTripBuilder single(TRIP_SINGLE, settings);
        single.AddClip(index, doc.RecordRef(index), 0, 0);
        tagTRIP t = single.Finish();
        t.llStartMs = t.llEndMs = 0;
        trips.append(std::move(t));
    }
    return trips;
}

QVector<tagGPSINFO> TripRoute(const CCorvanaDoc &doc, const tagTRIP &trip, int maxPoints)
{
    // The fixes at either end of the steps the distance counts (see CTripBuilder::AddFixes), so
    // that a fix that jumps away draws no spike; the only fix when no step counts.
    struct Fix {
        const tagGPSINFO *g = nullptr;
        int64_t ms = 0;
    };
    QVector<tagGPSINFO> route;
    Fix last, prev;
    const tagGPSINFO *appended = nullptr;
    const auto plausible = [](const Fix &from, const Fix &to) {
        const double metres = CGpxTrack::DistanceMetres(from.g->dLat, from.g->dLon, to.g->dLat, to.g->dLon);
        return metres * 3600.0 <= kTripMaxPlausibleKmh * double(to.ms - from.ms);
    };
    for (const tagTRIPCLIP &clip : trip.vecClips) {
        if (clip.nIndex < 0 || clip.nIndex >= doc.Count())
            continue;
        const tagDATAFILEINFO &rec = doc.RecordRef(clip.nIndex);
        int64_t syncWall = 0;
        if (rec.bValid != 1 || !WallMs(rec.stSyncTime, &syncWall))
            continue;
        for (const tagGPSINFO &g : rec.vecGps) {
            Fix f{&g, 0};
            if (g.cStatus != 'A' || !(std::fabs(g.dLat) <= 90.0) || !(std::fabs(g.dLon) <= 180.0) ||
                !WallMs(g.stTime, &f.ms))
                continue;
            f.ms += clip.llStartMs - syncWall;
            if (last.g && f.ms <= last.ms)
                continue;
            if (!last.g) {
                last = f;
            } else if (const Fix *from = plausible(last, f) ? &last : plausible(prev, f) ? &prev : nullptr) {
                if (appended != from->g)
                    route.append(*from->g);
                route.append(g);
                appended = &g;
                last = f;
            }
            prev = f;
        }
    }
    if (route.isEmpty() && last.g)
        route.append(*last.g);
    maxPoints = std::max(maxPoints, 2);
    if (route.size() <= maxPoints)
        return route;
    QVector<tagGPSINFO> thinned;
    thinned.reserve(maxPoints);
    const int64_t n = route.size();
    for (int64_t i = 0; i < maxPoints; ++i)
        thinned.append(route.at(static_cast<int>(i * (n - 1) / (maxPoints - 1))));
    return thinned;
}

QString TripClockText(int64_t timeKeyMs)
{
    int ms = 0;
    const QDateTime dt = LocalTimeOfKey(timeKeyMs, &ms);
    if (!dt.isValid())
        return QString();
    return dt.toString(QStringLiteral("yyyy-MM-dd ")) + GraphClockText(timeKeyMs);
}

namespace {
// The route of a trip on a globe needs no more than this many points.
constexpr int kMaxKmlRoutePoints = 20000;
} // namespace

QVector<tagKMLPLACE> TripPlaces(const CCorvanaDoc &doc, SpeedUnit unit)
{
    QVector<tagKMLPLACE> places;
    const QVector<tagTRIP> trips = BuildTrips(doc);
    for (int i = 0; i < trips.size(); ++i) {
        const tagTRIP &trip = trips[i];
        tagKMLPLACE place;
        QString kind = TripKindName(trip.nKind);
        kind[0] = kind[0].toUpper();
        place.strName = QStringLiteral("%1 %2").arg(kind).arg(i + 1);
        QStringList facts;
        if (trip.bHasTime)
            facts << QStringLiteral("%1 to %2").arg(TripClockText(trip.llStartMs), TripClockText(trip.llEndMs));
        facts << QStringLiteral("clips: %1").arg(trip.nClips);
        const bool miles = unit == SpeedUnit::Mph;
        facts << QString::asprintf("%.2f %s", trip.dDistanceMetres / (miles ? 1609.344 : 1000.0), miles ? "mi" : "km");
        if (trip.bHasMaxSpeed)
            facts << QString::asprintf("top speed %.0f %s", miles ? trip.dMaxSpeedKmh / 1.609344 : trip.dMaxSpeedKmh,
                                       miles ? "mph" : "km/h");
        place.strDescription = facts.join(QStringLiteral(", "));
        place.fixes = TripRoute(doc, trip, kMaxKmlRoutePoints);
        places.append(place);
    }
    return places;
}
