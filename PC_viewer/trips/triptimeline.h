// One trip laid out along a time axis, for the Trips window: its clips (boundaries, kinds, a second
// lane for a clip that overlaps the one before), its event markers, the speed curve and the G-sensor
// magnitude, the arithmetic between a content x and a time, and the drawing of any part of it into
// any QPainter.
//
// Cost. Build reads the trip's records once and keeps the two series (speed at each valid fix,
// |g| at each sample) on the trip's time axis. SetContentWidth reduces them to one column per
// pixel of the whole laid-out trip (lowest, highest, first and last speed; highest |g|), once per
// width. Drawing then touches only the columns, clips and markers inside the part being painted
// (found by binary search), so a repaint costs the same on a trip of ten clips and of two thousand.
//
// Time axis. Times are the trip's (see trips.h): time keys for a trip with a time, milliseconds
// from its start for a recording without one. A sample or fix lies at its clip's start plus (its
// time - the record's sync time), as the trip's events do. Content x of a time t is
// floor((t - start) x width / span) where span = end - start (at least 1 ms); column x covers the
// times from TimeOfX(x) up to TimeOfX(x + 1).
//
// |g| is the length of the acceleration with the rest value taken off Z (+1 g, or -1 g for a
// sensor mounted the other way up, as the trip's peaks count it): 0 at rest.
#pragma once

#include "trips/trips.h"
#include "base/units.h"

#include <QHash>
#include <QRect>
#include <QString>
#include <QVector>

#include <cstdint>
#include <utility>
#include <vector>

class CCorvanaDoc;
class QPainter;

// A note on a moment of one of the trip's clips (momentnotes.h), on the trip's time axis.
struct tagTIMELINENOTE {
    int nIndex = -1;        // catalogue index of the recording
    int64_t llFrame = 0;
    int64_t llOffsetMs = 0; // after the clip's start
    int64_t llTimeMs = 0;   // the clip's start plus that
    QString strText;
};

// A clip of the laid-out trip.
struct tagTIMELINECLIP {
    int nIndex = -1; // catalogue index
    int nType = RT_UNKNOWN;
    int64_t llStartMs = 0;
    int64_t llEndMs = 0;
    int nLane = 0; // 0, or 1 for a clip that starts before the end of the lane-0 clips before it
};

class CTripTimeline
{
public:
    static constexpr int kLanes = 2;
    // A wider layout would hold more columns than any screen needs to scroll through.
    static constexpr int kMaxContentWidth = 1 << 19;

    // Lays out `trip` of the loaded catalogue; speeds in `unit`. The content width stays.
    void Build(const CCorvanaDoc &doc, const tagTRIP &trip, SpeedUnit unit);
    void Clear();
    bool IsEmpty() const { return m_clips.isEmpty(); }

    bool HasTime() const { return m_hasTime; }
    int64_t StartMs() const { return m_startMs; }
    int64_t EndMs() const { return m_endMs; }
    SpeedUnit Unit() const { return m_unit; }
    const QVector<tagTIMELINECLIP> &Clips() const { return m_clips; }
    // In time order.
    const QVector<tagTRIPEVENT> &Events() const { return m_events; }
    // Position in Clips() of a catalogue index; -1 when the trip does not hold it.
    int ClipOfRecording(int index) const;
    // The clip an event was found in; -1 when none.
    int ClipOfEvent(int event) const;
    // The notes on the trip's clips, in time order; placed by Build, and again by PlaceNotes
    // when the card's notes change (nothing else of the layout moves).
    void PlaceNotes(const CCorvanaDoc &doc);
    const QVector<tagTIMELINENOTE> &Notes() const { return m_notes; }
    // The note whose mark is nearest to x, no more than `tolerance` pixels away; -1 when none.
    int NoteAt(int64_t x, int tolerance) const;
    // The fastest speed and the highest |g| of the trip (0 without any).
    double TopSpeed() const { return m_topSpeed; }
    double TopG() const { return m_topG; }
    bool HasSpeed() const { return !m_speedMs.empty(); }
    bool HasG() const { return !m_gMs.empty(); }

    // --- Content x and time --------------------------------------------------------------------
    // The whole trip is `width` pixels wide (1 to kMaxContentWidth); the series are reduced to it.
    void SetContentWidth(int width);
    int ContentWidth() const { return m_width; }
    // floor((t - start) x width / span), not clamped (negative before the start).
    int64_t XOfTime(int64_t ms) const;
    // The first time whose x is x: start + ceil(x x span / width).
    int64_t TimeOfX(int64_t x) const;
    // The clip in column x: of those whose span meets the column, the one in `lane` if any, else
    // the one in the lowest lane (the latest starting of equals); -1 in a gap or outside the trip.
    int ClipAt(int64_t x, int lane) const;
    // The event whose marker is nearest to x, no more than `tolerance` pixels away; -1 when none.
    int EventAt(int64_t x, int tolerance) const;
    // Clips that may show in columns x0 to x1: the first one whose span, or a span before it,
    // reaches column x0, and one past the last that starts by column x1.
    std::pair<int, int> ClipsBetween(int64_t x0, int64_t x1) const;
    // Events whose x lies in [x0, x1]: the first one and one past the last.
    std::pair<int, int> EventsBetween(int64_t x0, int64_t x1) const;

    // --- Columns --------------------------------------------------------------------------------
    struct tagSPEEDCOLUMN {
        float fLow = 0, fHigh = 0, fFirst = 0, fLast = 0;
        bool bAny = false;
        bool bJoined = false; // the column's first point continues the curve from the column before
    };
    const std::vector<tagSPEEDCOLUMN> &SpeedColumns() const { return m_speedColumns; }
    // Highest |g| per column; -1 where no sample lies.
    const std::vector<float> &GColumns() const { return m_gColumns; }

private:
    void Decimate();

    bool m_hasTime = false;
    int64_t m_startMs = 0;
    int64_t m_endMs = 0;
    SpeedUnit m_unit = SpeedUnit::Kmh;
    QVector<tagTIMELINECLIP> m_clips;      // by start
    std::vector<int64_t> m_clipReach;      // per clip: the latest end of it and the clips before
    QVector<tagTRIPEVENT> m_events;
    QVector<int> m_eventClips;
    QVector<tagTIMELINENOTE> m_notes;
    QHash<int, int> m_clipOfIndex;
    double m_topSpeed = 0;
    double m_topG = 0;

    // The series in time order.
    std::vector<int64_t> m_speedMs;
    std::vector<float> m_speed;
    std::vector<bool> m_speedJoined;
    std::vector<int64_t> m_gMs;
    std::vector<float> m_g;

    int m_width = 1;
    std::vector<tagSPEEDCOLUMN> m_speedColumns;
    std::vector<float> m_gColumns;
};

// What the view adds to the trip: where it is scrolled to and what it marks.
struct tagTIMELINEVIEW {
    int64_t llScrollX = 0;     // content x at the area's left edge
    bool bCurrent = false;     // the playing position lies in this trip
    int64_t llCurrentMs = 0;
    bool bCursor = false;      // the keyboard's place
    int64_t llCursorMs = 0;
    int nSelectedEvent = -1;   // the marker the keyboard stands on
};

// The rows of the timeline inside its area, top to bottom: time ruler, event markers and note
// marks (a square with a line down through the clips and curves), the clip band (two lanes), the
// curves.
struct tagTIMELINEROWS {
    QRect ruler, markers, band, curves;
    int nLaneHeight = 0;
};
tagTIMELINEROWS TimelineRows(const QRect &area);
// The lane at y (0 or 1); -1 outside the clip band.
int TimelineLaneAt(const QRect &area, int y);
// Half the width in pixels that a click may miss a marker by.
constexpr int kTimelineMarkerHalfWidth = 5;
// The ruler's tick step in milliseconds for this many pixels per millisecond: the shortest of the
// usual steps (1 s ... 1 day) whose ticks lie at least kTimelineTickSpacing pixels apart.
constexpr int kTimelineTickSpacing = 90;
int64_t TimelineTickStepMs(double pixelsPerMs);

// Half the width of a note's mark.
constexpr int kTimelineNoteHalfWidth = 4;

// Paints the part `dirty` of the timeline laid out in `area` (both in the painter's coordinates),
// scrolled and marked as `view` says. Only the columns, clips and markers inside `dirty` are drawn.
void DrawTripTimeline(QPainter &p, const QRect &area, const QRect &dirty, const CTripTimeline &timeline,
                      const tagTIMELINEVIEW &view);
