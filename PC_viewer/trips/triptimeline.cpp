// A trip on its time axis: building the series, reducing them to columns, hit tests and drawing.
#include "trips/triptimeline.h"

#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"
#include "telemetry/accelgraphpainter.h"
#include "telemetry/graphgeometry.h"
#include "telemetry/telemetryconst.h"

#include <QDate>
#include <QDateTime>
#include <QLine>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Two speed points further apart than this are not joined by the curve (a receiver that said
// nothing for so long, or clips with a gap between them).
constexpr int64_t kJoinMs = 10000;
// Times further than this from the trip's start (about 139 years) are held there, and content x
// within kFarX: the products of the x arithmetic stay inside 64 bits.
constexpr int64_t kFarMs = int64_t(1) << 42;
constexpr int64_t kFarX = int64_t(1) << 20;

// A time stamp's calendar fields as milliseconds counted as if UTC, as the trips count them; the
// date's day number is kept between calls, since a clip's samples share their date.
class CWallClock
{
public:
    bool Ms(const SYSTEMTIME &st, int64_t *ms)
    {
        if (st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999)
            return false;
        if (st.wYear != m_year || st.wMonth != m_month || st.wDay != m_day) {
            const QDate d(2000 + st.wYear, st.wMonth, st.wDay);
            if (!d.isValid())
                return false;
            m_year = st.wYear;
            m_month = st.wMonth;
            m_day = st.wDay;
            m_dayMs = (d.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400000;
        }
        *ms = m_dayMs + ((st.wHour * 60 + st.wMinute) * 60 + st.wSecond) * int64_t(1000) + st.wMilliseconds;
        return true;
    }

private:
    int m_year = -1, m_month = -1, m_day = -1;
    int64_t m_dayMs = 0;
};

int64_t FloorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t CeilDiv(int64_t a, int64_t b)
{
    return -FloorDiv(-a, b);
}

QColor KindColour(int type)
{
    const int i = type >= RT_ORDINARY && type <= RT_PARKING_AUDIO ? type + 1 : 0;
    return QColor(kColourTimelineKinds[i]);
}

QColor EventColour(int reason)
{
    return QColor(kColourTimelineEvents[std::clamp(reason, 0, 2)]);
}

// The ruler's text of a tick: local clock time (with the date at midnight), or the time from the
// start for a recording without a time.
QString TickText(bool hasTime, int64_t ms, int64_t stepMs)
{
    if (!hasTime) {
        const int64_t s = std::max<int64_t>(0, ms) / 1000;
        return s >= 3600 ? QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                                             static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60))
                         : QString::asprintf("%lld:%02lld", static_cast<long long>(s / 60),
                                             static_cast<long long>(s % 60));
    }
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms);
    if (t.time().msecsSinceStartOfDay() == 0)
        return t.toString(QStringLiteral("yyyy-MM-dd"));
    return t.toString(stepMs >= 60000 ? QStringLiteral("hh:mm") : QStringLiteral("hh:mm:ss"));
}

} // namespace

// --- Building ------------------------------------------------------------------------------------

void CTripTimeline::Clear()
{
    m_hasTime = false;
    m_startMs = m_endMs = 0;
    m_clips.clear();
    m_clipReach.clear();
    m_events.clear();
    m_eventClips.clear();
    m_notes.clear();
    m_clipOfIndex.clear();
    m_topSpeed = m_topG = 0;
    m_speedMs.clear();
    m_speed.clear();
    m_speedJoined.clear();
    m_gMs.clear();
    m_g.clear();
    m_speedColumns.clear();
    m_gColumns.clear();
}

void CTripTimeline::Build(const CCorvanaDoc &doc, const tagTRIP &trip, SpeedUnit unit)
{
    Clear();
    m_unit = unit;
    m_hasTime = trip.bHasTime;
    CWallClock wall;

    struct SpeedPoint {
        int64_t ms;
        float v;
        bool joinable; // no void fix of its clip right before it
    };
    std::vector<SpeedPoint> speeds;
    std::vector<std::pair<int64_t, float>> gs;

    for (const tagTRIPCLIP &c : trip.vecClips) {
        if (c.nIndex < 0 || c.nIndex >= doc.Count())
            continue;
        const tagDATAFILEINFO &rec = doc.RecordRef(c.nIndex);
        tagTIMELINECLIP clip{c.nIndex, rec.nType, c.llStartMs, std::max(c.llStartMs, c.llEndMs), 0};
        int64_t syncWall = 0;
        const bool synced = rec.bValid == 1 && wall.Ms(rec.stSyncTime, &syncWall);
        if (!m_hasTime) {
            // A recording without a time is laid out from 0 over its header's duration, or over
            // its own samples and fixes when the header tells none.
            clip.llStartMs = 0;
            clip.llEndMs = std::llround(ClipDurationSeconds(doc.MediaPathAt(c.nIndex)) * 1000.0);
            if (clip.llEndMs <= 0 && synced) {
                const auto reach = [&](const SYSTEMTIME &st) {
                    int64_t ms = 0;
                    if (wall.Ms(st, &ms) && ms - syncWall <= int64_t(kMaxRecordingSeconds) * 1000)
                        clip.llEndMs = std::max(clip.llEndMs, ms - syncWall);
                };
                for (const tagACCELINFO &a : rec.vecAccel)
                    reach(a.stTime);
                for (const tagGPSINFO &g : rec.vecGps)
                    reach(g.stTime);
            }
            clip.llEndMs = std::max<int64_t>(clip.llEndMs, 0);
        }
        m_clips.append(clip);
        if (!synced)
            continue;

        // Fixes and samples inside the clip, as the G-sensor graph takes them.
        const int64_t toTrip = clip.llStartMs - syncWall;
        const int64_t duration = clip.llEndMs - clip.llStartMs;
        bool voidBefore = false;
        for (const tagGPSINFO &g : rec.vecGps) {
            int64_t ms = 0;
            if (!wall.Ms(g.stTime, &ms) || !CGraphGeometry::SampleInClip(ms - syncWall, duration))
                continue;
            const double v = SpeedInUnit(g.dSpeedKnots, unit);
            if (g.cStatus != 'A' || !std::isfinite(v) || v < 0 || v > 1e9) {
                voidBefore = true; // the receiver knew nothing here
                continue;
            }
            speeds.push_back({ms + toTrip, static_cast<float>(v), !voidBefore});
            voidBefore = false;
        }
        double sumZ = 0;
        for (const tagACCELINFO &a : rec.vecAccel)
            sumZ += std::isfinite(a.fZ) ? double(a.fZ) : 0.0;
        const double rest = sumZ < 0 ? -1.0 : 1.0;
        for (const tagACCELINFO &a : rec.vecAccel) {
            int64_t ms = 0;
            if (!wall.Ms(a.stTime, &ms) || !CGraphGeometry::SampleInClip(ms - syncWall, duration))
                continue;
            const double z = double(a.fZ) - rest;
            const double g = std::sqrt(double(a.fX) * a.fX + double(a.fY) * a.fY + z * z);
            if (std::isfinite(g) && g < 1e6)
                gs.emplace_back(ms + toTrip, static_cast<float>(g));
        }
    }
    if (m_clips.isEmpty())
        return;

    // Clips by start; the trip gives them so, but a recording without a time starts at 0 anyway.
    std::stable_sort(m_clips.begin(), m_clips.end(),
                     [](const tagTIMELINECLIP &a, const tagTIMELINECLIP &b) { return a.llStartMs < b.llStartMs; });
    int64_t laneZeroEnd = INT64_MIN;
    int64_t reach = INT64_MIN;
    m_clipReach.reserve(static_cast<size_t>(m_clips.size()));
    for (int i = 0; i < m_clips.size(); ++i) {
        tagTIMELINECLIP &clip = m_clips[i];
        clip.nLane = clip.llStartMs < laneZeroEnd ? 1 : 0;
        if (clip.nLane == 0)
            laneZeroEnd = clip.llEndMs;
        reach = std::max(reach, clip.llEndMs);
        m_clipReach.push_back(reach);
        m_clipOfIndex.insert(clip.nIndex, i);
    }
    m_startMs = m_hasTime ? std::min(trip.llStartMs, m_clips.first().llStartMs) : 0;
    m_endMs = std::max({m_hasTime ? trip.llEndMs : 0, reach, m_startMs + 1});

    m_events = trip.vecEvents;
    m_eventClips.reserve(m_events.size());
    for (const tagTRIPEVENT &e : m_events)
        m_eventClips.append(ClipOfRecording(e.nIndex));
    PlaceNotes(doc);

    // The series in time order: overlapping clips interleave. A point continues the curve from the
    // one before it when its own clip had no void fix between them and they lie close in time.
    std::stable_sort(speeds.begin(), speeds.end(), [](const SpeedPoint &a, const SpeedPoint &b) { return a.ms < b.ms; });
    m_speedMs.reserve(speeds.size());
    m_speed.reserve(speeds.size());
    m_speedJoined.reserve(speeds.size());
    for (size_t i = 0; i < speeds.size(); ++i) {
        const bool near = i > 0 && speeds[i].ms - speeds[i - 1].ms <= kJoinMs;
        m_speedMs.push_back(speeds[i].ms);
        m_speed.push_back(speeds[i].v);
        m_speedJoined.push_back(near && speeds[i].joinable);
        m_topSpeed = std::max(m_topSpeed, double(speeds[i].v));
    }
    std::stable_sort(gs.begin(), gs.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    m_gMs.reserve(gs.size());
    m_g.reserve(gs.size());
    for (const auto &[ms, g] : gs) {
        m_gMs.push_back(ms);
        m_g.push_back(g);
        m_topG = std::max(m_topG, double(g));
    }
    Decimate();
}

void CTripTimeline::PlaceNotes(const CCorvanaDoc &doc)
{
    m_notes.clear();
    const QVector<tagMOMENTNOTE> &notes = doc.Notes().Notes();
    if (notes.isEmpty())
        return;
    QHash<QString, int> clipOfPath;
    for (int i = 0; i < m_clips.size(); ++i)
        if (m_clips[i].nIndex >= 0 && m_clips[i].nIndex < doc.Count())
            clipOfPath.insert(doc.NoteClipAt(m_clips[i].nIndex), i);
    for (const tagMOMENTNOTE &n : notes) {
        const auto it = clipOfPath.constFind(n.strClip);
        if (it == clipOfPath.cend())
            continue;
        const tagTIMELINECLIP &c = m_clips[it.value()];
        m_notes.append({c.nIndex, n.llFrame, n.llOffsetMs, c.llStartMs + std::min(n.llOffsetMs, kFarMs), n.strText});
    }
    std::stable_sort(m_notes.begin(), m_notes.end(),
                     [](const tagTIMELINENOTE &a, const tagTIMELINENOTE &b) { return a.llTimeMs < b.llTimeMs; });
}

int CTripTimeline::NoteAt(int64_t x, int tolerance) const
{
    const auto first = std::partition_point(m_notes.cbegin(), m_notes.cend(),
                                            [&](const tagTIMELINENOTE &n) { return XOfTime(n.llTimeMs) < x - tolerance; });
    int best = -1;
    int64_t bestDistance = 0;
    for (auto it = first; it != m_notes.cend() && XOfTime(it->llTimeMs) <= x + tolerance; ++it) {
        const int64_t d = std::llabs(XOfTime(it->llTimeMs) - x);
        if (best == -1 || d < bestDistance) {
            best = static_cast<int>(it - m_notes.cbegin());
            bestDistance = d;
        }
    }
    return best;
}

int CTripTimeline::ClipOfRecording(int index) const
{
    return m_clipOfIndex.value(index, -1);
}

int CTripTimeline::ClipOfEvent(int event) const
{
    return event >= 0 && event < m_eventClips.size() ? m_eventClips[event] : -1;
}

// --- Content x and time --------------------------------------------------------------------------

void CTripTimeline::SetContentWidth(int width)
{
    width = std::clamp(width, 1, kMaxContentWidth);
    if (width == m_width)
        return;
    m_width = width;
    Decimate();
}

int64_t CTripTimeline::XOfTime(int64_t ms) const
{
    const int64_t span = std::clamp<int64_t>(m_endMs - m_startMs, 1, kFarMs);
    const int64_t d = std::clamp<int64_t>(ms - m_startMs, -kFarMs, kFarMs);
    return FloorDiv(d * m_width, span);
}

int64_t CTripTimeline::TimeOfX(int64_t x) const
{
    const int64_t span = std::clamp<int64_t>(m_endMs - m_startMs, 1, kFarMs);
    x = std::clamp<int64_t>(x, -kFarX, kFarX);
    return m_startMs + CeilDiv(x * span, m_width);
}

int CTripTimeline::ClipAt(int64_t x, int lane) const
{
    if (m_clips.isEmpty() || x < 0 || x >= m_width)
        return -1;
    const int64_t t0 = TimeOfX(x);
    const int64_t t1 = std::max(TimeOfX(x + 1), t0 + 1);
    // The clips that start before the column ends, walked back while any before them reaches in.
    auto last = std::partition_point(m_clips.cbegin(), m_clips.cend(),
                                     [t1](const tagTIMELINECLIP &c) { return c.llStartMs < t1; });
    int best = -1;
    for (int j = static_cast<int>(last - m_clips.cbegin()) - 1; j >= 0 && m_clipReach[static_cast<size_t>(j)] >= t0; --j) {
        const tagTIMELINECLIP &c = m_clips[j];
        // A clip of no length still owns the column it stands in.
        if (std::max(c.llEndMs, c.llStartMs + 1) <= t0)
            continue;
        if (c.nLane == lane)
            return j;
        if (best == -1 || c.nLane < m_clips[best].nLane)
            best = j;
    }
    return best;
}

std::pair<int, int> CTripTimeline::ClipsBetween(int64_t x0, int64_t x1) const
{
    const int64_t t0 = TimeOfX(x0), t1 = TimeOfX(x1 + 1);
    const auto first = std::partition_point(m_clipReach.cbegin(), m_clipReach.cend(),
                                            [t0](int64_t reach) { return reach < t0; });
    const auto end = std::partition_point(m_clips.cbegin(), m_clips.cend(),
                                          [t1](const tagTIMELINECLIP &c) { return c.llStartMs <= t1; });
    const int a = static_cast<int>(first - m_clipReach.cbegin());
    return {a, std::max(a, static_cast<int>(end - m_clips.cbegin()))};
}

std::pair<int, int> CTripTimeline::EventsBetween(int64_t x0, int64_t x1) const
{
    const auto first = std::partition_point(m_events.cbegin(), m_events.cend(),
                                            [&](const tagTRIPEVENT &e) { return XOfTime(e.llTimeMs) < x0; });
    const auto end = std::partition_point(first, m_events.cend(),
                                          [&](const tagTRIPEVENT &e) { return XOfTime(e.llTimeMs) <= x1; });
    return {static_cast<int>(first - m_events.cbegin()), static_cast<int>(end - m_events.cbegin())};
}

int CTripTimeline::EventAt(int64_t x, int tolerance) const
{
    const auto [first, end] = EventsBetween(x - tolerance, x + tolerance);
    int best = -1;
    int64_t bestDistance = 0;
    for (int i = first; i < end; ++i) {
        const int64_t d = std::llabs(XOfTime(m_events[i].llTimeMs) - x);
        if (best == -1 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

void CTripTimeline::Decimate()
{
    m_speedColumns.assign(IsEmpty() ? 0 : static_cast<size_t>(m_width), tagSPEEDCOLUMN());
    m_gColumns.assign(IsEmpty() ? 0 : static_cast<size_t>(m_width), -1.0f);
    if (IsEmpty())
        return;
    const int64_t last = m_width - 1;
    for (size_t i = 0; i < m_speedMs.size(); ++i) {
        tagSPEEDCOLUMN &c = m_speedColumns[static_cast<size_t>(std::clamp<int64_t>(XOfTime(m_speedMs[i]), 0, last))];
        const float v = m_speed[i];
        if (!c.bAny) {
            c.fLow = c.fHigh = c.fFirst = v;
            c.bAny = true;
            c.bJoined = m_speedJoined[i];
        }
        c.fLow = std::min(c.fLow, v);
        c.fHigh = std::max(c.fHigh, v);
        c.fLast = v;
    }
    for (size_t i = 0; i < m_gMs.size(); ++i) {
        float &c = m_gColumns[static_cast<size_t>(std::clamp<int64_t>(XOfTime(m_gMs[i]), 0, last))];
        c = std::max(c, m_g[i]);
    }
}

// --- Layout and drawing --------------------------------------------------------------------------

tagTIMELINEROWS TimelineRows(const QRect &area)
{
    tagTIMELINEROWS r;
    r.nLaneHeight = kTimelineLaneHeight;
    int y = area.top();
    r.ruler = QRect(area.left(), y, area.width(), kTimelineRulerHeight);
    y += kTimelineRulerHeight;
    r.markers = QRect(area.left(), y, area.width(), kTimelineMarkerRowHeight);
    y += kTimelineMarkerRowHeight;
    r.band = QRect(area.left(), y, area.width(), CTripTimeline::kLanes * kTimelineLaneHeight);
    y += r.band.height() + 2;
    r.curves = QRect(area.left(), y, area.width(), std::max(0, area.bottom() + 1 - y));
    return r;
}

int TimelineLaneAt(const QRect &area, int y)
{
    const tagTIMELINEROWS rows = TimelineRows(area);
    if (y < rows.band.top() || y > rows.band.bottom())
        return -1;
    return std::min((y - rows.band.top()) / rows.nLaneHeight, CTripTimeline::kLanes - 1);
}

int64_t TimelineTickStepMs(double pixelsPerMs)
{
    static const int64_t kSteps[] = {1000,     2000,     5000,     10000,    15000,     30000,    60000,
                                     120000,   300000,   600000,   900000,   1800000,   3600000,  7200000,
                                     10800000, 21600000, 43200000, 86400000, 172800000, 604800000};
    for (const int64_t step : kSteps)
        if (double(step) * pixelsPerMs >= kTimelineTickSpacing)
            return step;
    return kSteps[std::size(kSteps) - 1];
}

void DrawTripTimeline(QPainter &p, const QRect &area, const QRect &dirty, const CTripTimeline &tl,
                      const tagTIMELINEVIEW &view)
{
    const QRect paint = dirty & area;
    if (paint.isEmpty())
        return;
    p.save();
    p.setClipRect(paint);
    p.setRenderHint(QPainter::Antialiasing, false);
    const tagTIMELINEROWS rows = TimelineRows(area);
    p.fillRect(paint, Qt::white);
    p.fillRect(rows.curves & paint, QColor(kColourTimelineCurves));
    if (tl.IsEmpty()) {
        p.restore();
        return;
    }

    // Content x <-> the painter's x (sx for points near the painted part; sxHeld for the ends of
    // clips, which may lie anywhere); the columns in the painted part.
    const auto sx = [&](int64_t cx) { return static_cast<int>(area.left() + cx - view.llScrollX); };
    const auto sxHeld = [&](int64_t cx) {
        const int64_t x = area.left() + cx - view.llScrollX;
        return static_cast<int>(std::clamp<int64_t>(x, paint.left() - 64, paint.right() + 64));
    };
    const int64_t c0 = view.llScrollX + (paint.left() - area.left());
    const int64_t c1 = view.llScrollX + (paint.right() - area.left());
    const int64_t lastColumn = tl.ContentWidth() - 1;
    const QFont font = ArialCellFont(kTimelineFontPx + 3);
    p.setFont(font);

    // Ruler and grid: ticks at whole steps of local time, their labels right of them.
    const double pxPerMs = double(tl.ContentWidth()) / double(std::max<int64_t>(1, tl.EndMs() - tl.StartMs()));
    const int64_t step = TimelineTickStepMs(pxPerMs);
    const int64_t local = tl.HasTime() ? QDateTime::fromMSecsSinceEpoch(tl.StartMs()).offsetFromUtc() * int64_t(1000) : 0;
    const int64_t from = tl.TimeOfX(c0 - kTimelineTickSpacing) + local;
    QVector<QLine> grid, ticks;
    p.setPen(Qt::black);
    // A trip longer than the ruler's longest step can mark has no ticks.
    const bool ruled = double(step) * pxPerMs >= kTimelineTickSpacing / 2.0;
    for (int64_t t = FloorDiv(from, step) * step - local; ruled && tl.XOfTime(t) <= c1; t += step) {
        const int64_t cx = tl.XOfTime(t);
        if (cx < 0 || cx > lastColumn)
            continue;
        const int x = sx(cx);
        ticks.append(QLine(x, rows.ruler.bottom() - 5, x, rows.ruler.bottom()));
        grid.append(QLine(x, rows.curves.top(), x, rows.curves.bottom()));
        p.drawText(QRect(x + 3, rows.ruler.top(), 200, rows.ruler.height() - 2), Qt::AlignLeft | Qt::AlignVCenter,
                   TickText(tl.HasTime(), tl.HasTime() ? t : t - tl.StartMs(), step));
    }
    p.drawLine(paint.left(), rows.ruler.bottom(), paint.right(), rows.ruler.bottom());
    p.drawLines(ticks);
    p.setPen(QColor(kColourTimelineGrid));
    p.drawLines(grid);

    // Clips: the ones that start before the painted part ends and reach into it.
    const QVector<tagTIMELINECLIP> &clips = tl.Clips();
    const auto [k0, k1] = tl.ClipsBetween(c0, c1);
    QVector<QLine> edges;
    for (int i = k0; i < k1; ++i) {
        const tagTIMELINECLIP &c = clips[i];
        const int64_t cx1 = tl.XOfTime(c.llEndMs);
        if (cx1 < c0)
            continue;
        const int x0 = sxHeld(tl.XOfTime(c.llStartMs));
        const int x1 = std::max(x0 + 1, sxHeld(cx1));
        const int y = rows.band.top() + c.nLane * rows.nLaneHeight;
        p.fillRect(QRect(x0, y + 1, x1 - x0, rows.nLaneHeight - 2), KindColour(c.nType));
        edges.append(QLine(x0, y, x0, y + rows.nLaneHeight - 1));
    }
    p.setPen(QColor(kColourTimelineClipEdge));
    p.drawLines(edges);

    // |g| as bars from the bottom, the speed over them; each with its scale at the left.
    const int top = rows.curves.top() + 2, bottom = rows.curves.bottom() - 1;
    const int height = std::max(1, bottom - top);
    const double gTop = std::max(kTimelineGAxisMin, std::ceil(tl.TopG() * 2.0) / 2.0);
    const tagSPEEDAXIS axis = SpeedAxisFor(tl.TopSpeed());
    const int64_t a = std::max<int64_t>(c0, 0), b = std::min<int64_t>(c1, lastColumn);
    QVector<QLine> bars;
    const std::vector<float> &gColumns = tl.GColumns();
    for (int64_t c = a; c <= b; ++c) {
        const float g = gColumns[static_cast<size_t>(c)];
        if (g > 0) {
            const int x = sx(c);
            bars.append(QLine(x, bottom, x, bottom - static_cast<int>(std::lround(std::min(1.0, g / gTop) * height))));
        }
    }
    p.setPen(QColor(kColourTimelineG));
    p.drawLines(bars);

    const auto speedY = [&](float v) {
        return bottom - static_cast<int>(std::lround(std::min(1.0, double(v) / axis.dTop) * height));
    };
    const std::vector<CTripTimeline::tagSPEEDCOLUMN> &speed = tl.SpeedColumns();
    QVector<QLine> curve;
    // The column before the painted part that a joined first column continues from.
    int64_t previous = -1;
    for (int64_t c = a - 1; c >= 0; --c) {
        if (speed[static_cast<size_t>(c)].bAny) {
            previous = c;
            break;
        }
        if (a - c > 4096)
            break; // too far off to be joined to anything painted here
    }
    for (int64_t c = a; c <= b; ++c) {
        const CTripTimeline::tagSPEEDCOLUMN &col = speed[static_cast<size_t>(c)];
        if (!col.bAny)
            continue;
        const int x = sx(c);
        if (col.bJoined && previous >= 0)
            curve.append(QLine(sx(previous), speedY(speed[static_cast<size_t>(previous)].fLast), x, speedY(col.fFirst)));
        curve.append(QLine(x, speedY(col.fLow), x, speedY(col.fHigh)));
        previous = c;
    }
    // The first joined column after the painted part closes the last line.
    for (int64_t c = b + 1; previous >= 0 && c <= lastColumn && c - b <= 4096; ++c) {
        const CTripTimeline::tagSPEEDCOLUMN &col = speed[static_cast<size_t>(c)];
        if (!col.bAny)
            continue;
        if (col.bJoined)
            curve.append(QLine(sx(previous), speedY(speed[static_cast<size_t>(previous)].fLast), sx(c), speedY(col.fFirst)));
        break;
    }
    // The graph's pen width, as lines of one pixel side by side: the raster engine draws those
    // without its stroker, which costs more than the rest of the picture when zoomed out.
    p.setPen(QPen(QColor(kColourSpeed), 1));
    for (int k = 0; k < kSpeedCurvePenWidth; ++k) {
        p.drawLines(curve);
        for (QLine &l : curve)
            l.translate(l.dx() == 0 ? 1 : 0, l.dx() == 0 ? 0 : 1);
    }

    // The scales, at the top of the curves (only of a curve the trip has).
    const QString unitName = tl.Unit() == SpeedUnit::Mph ? QStringLiteral("mph") : QStringLiteral("km/h");
    int labelY = rows.curves.top() + 2;
    if (tl.HasSpeed()) {
        p.setPen(QColor(kColourSpeed));
        p.drawText(QRect(area.left() + 4, labelY, 200, 16), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("%1 %2").arg(std::llround(axis.dTop)).arg(unitName));
        labelY += 16;
    }
    if (tl.HasG()) {
        p.setPen(QColor(kColourTimelineG).darker(150));
        p.drawText(QRect(area.left() + 4, labelY, 200, 16), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("|g| %1").arg(gTop, 0, 'f', 1));
    }

    // Event markers: a line down through the clips and curves, and a triangle in their row.
    const auto [e0, e1] = tl.EventsBetween(c0 - kTimelineMarkerHalfWidth, c1 + kTimelineMarkerHalfWidth);
    for (int i = e0; i < e1; ++i) {
        const tagTRIPEVENT &e = tl.Events()[i];
        QColor colour = EventColour(e.nReason);
        colour.setAlpha(170);
        p.setPen(colour);
        const int x = sx(tl.XOfTime(e.llTimeMs));
        p.drawLine(x, rows.band.top(), x, rows.curves.bottom());
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int i = e0; i < e1; ++i) {
        const tagTRIPEVENT &e = tl.Events()[i];
        const int x = sx(tl.XOfTime(e.llTimeMs));
        const QColor colour = EventColour(e.nReason);
        const int h = kTimelineMarkerHalfWidth;
        const QPolygon triangle({QPoint(x - h, rows.markers.top() + 1), QPoint(x + h, rows.markers.top() + 1),
                                 QPoint(x, rows.markers.bottom())});
        p.setPen(i == view.nSelectedEvent ? QPen(Qt::black, 2) : QPen(colour.darker(130), 1));
        p.setBrush(colour);
        p.drawPolygon(triangle);
    }
    p.setBrush(Qt::NoBrush);
    p.setRenderHint(QPainter::Antialiasing, false);

    // Note marks: a square in the markers' row over a line down through the clips and curves.
    const QVector<tagTIMELINENOTE> &notes = tl.Notes();
    const auto noteFirst = std::partition_point(notes.cbegin(), notes.cend(), [&](const tagTIMELINENOTE &n) {
        return tl.XOfTime(n.llTimeMs) < c0 - kTimelineNoteHalfWidth;
    });
    for (auto it = noteFirst; it != notes.cend() && tl.XOfTime(it->llTimeMs) <= c1 + kTimelineNoteHalfWidth; ++it) {
        const int x = sx(tl.XOfTime(it->llTimeMs));
        const int h = kTimelineNoteHalfWidth;
        p.setPen(QColor(kColourTimelineNote));
        p.drawLine(x, rows.band.top(), x, rows.curves.bottom());
        p.setPen(QColor(kColourTimelineNote).darker(150));
        p.setBrush(QColor(kColourTimelineNote));
        p.drawRect(QRect(x - h, rows.markers.top() + 1, 2 * h, std::min(2 * h, rows.markers.height() - 2)));
        p.setBrush(Qt::NoBrush);
    }

    if (view.bCursor) {
        const int64_t cx = tl.XOfTime(view.llCursorMs);
        if (cx >= c0 - 1 && cx <= c1 + 1) {
            p.setPen(QPen(Qt::black, 1, Qt::DashLine));
            p.drawLine(sx(cx), rows.markers.top(), sx(cx), rows.curves.bottom());
        }
    }
    if (view.bCurrent) {
        const int64_t cx = tl.XOfTime(view.llCurrentMs);
        if (cx >= c0 - 6 && cx <= c1 + 6) {
            const int x = sx(cx);
            p.setPen(QPen(QColor(kColourMarker), 2));
            p.drawLine(x, rows.ruler.top() + 6, x, area.bottom());
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(kColourMarker));
            p.drawPolygon(QPolygon({QPoint(x - 5, rows.ruler.top()), QPoint(x + 5, rows.ruler.top()),
                                    QPoint(x, rows.ruler.top() + 7)}));
            p.setBrush(Qt::NoBrush);
        }
    }
    p.restore();
}
