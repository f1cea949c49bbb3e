// Telemetry of a clip that the recorder's data file does not describe: a log beside the clip
// (NMEA, GPX), a day's GPX track the user added, or a track inside the clip (GoPro GPMF, Camera
// Motion Metadata), turned into the record the data-file reader gives, so that every view reads it
// unchanged.
//
// Time base. The views place a sample or fix on frame f when its time minus the record's sync time
// falls in f's slot. So the sync time here is the clip's start and every sample and fix gets
// start + its time on the clip's own timeline, all as local wall-clock time:
// - in-clip tracks give each sample's time from the container (seconds from the clip's start);
//   the start itself comes from the first fix that tells UTC (GPSU, GPS9's time, CAMM type 6),
//   else from the movie's creation time (UTC), else from a "YYYYMMDD_HHMMSS" in the file name
//   (already local), else from nothing: the record then has no clock (bNoClock);
// - a log beside the clip belongs to that clip: the clip starts at its first fix that tells UTC
//   (its date and time), and every fix lies at its own UTC time;
// - a day's track covers many clips: a clip without telemetry of its own takes the points between
//   its start (movie creation time or name time) and its end (start + duration), at their UTC.
// UTC becomes local time by the time-zone setting (CLocalClock), taken once at the clip's start,
// so a clip's own times never jump.
//
// What each fix keeps: position, speed and course, through the data-file reader's own RMC rules
// (the same numbers and texts); a course the source does not give is the bearing between the
// neighbouring fixes. Fixes with status V are kept, as the recorder's are, unless they have no
// position at all. A fix that cannot be placed in time, or that lies before the one before it (a
// log whose clock went back), is left out.
// Altitude has no place in the record. A car that records its own state with every picture
// (Tesla) gives it too, as vehicle entries on the same timeline as the samples.
#pragma once

#include "catalogue/gpxtrack.h"
#include "catalogue/recordinfo.h"

#include <QString>
#include <QVector>

// How UTC becomes the local time that the list and the panels show: a fixed difference (the
// recorder's configured time zone) or, without one, this computer's time zone.
class CLocalClock
{
public:
    CLocalClock() = default;
    explicit CLocalClock(double hours);
    // Milliseconds to add to a UTC time stamp to give the local one.
    int64_t OffsetMs(int64_t utcMs) const;

private:
    bool m_fixed = false;
    int64_t m_offsetMs = 0;
};

// A wall-clock time in milliseconds (calendar fields counted as if UTC) as a SYSTEMTIME; false for
// a year outside 2000..2099, which the record's two-digit year cannot hold.
bool WallClockTime(int64_t wallMs, SYSTEMTIME *st);
// The other way round; false when st has no place in the calendar.
bool WallClockMs(const SYSTEMTIME &st, int64_t *wallMs);

// The start of a clip from a "YYYYMMDD_HHMMSS" (or "YYYYMMDD-HHMMSS") in its file name, as
// wall-clock milliseconds; false when the name holds no such valid time.
bool NameTimeOfClip(const QString &clipPath, int64_t *wallMs);

// A clip's duration in seconds from its container's header (MP4 'mvhd', AVI 'avih'); 0 when
// unknown.
double ClipDurationSeconds(const QString &clipPath);

// When a clip without telemetry began and how long it lasts, for pairing it with a day's track.
struct tagCLIPCLOCK {
    bool bKnown = false;
    int64_t nStartUtcMs = 0;
    double dDuration = 0.0; // seconds; 0 when unknown
};

// The files that may describe a clip besides the recorder's data file.
struct tagCLIPSOURCES {
    QString clipPath;
    QString nmeaPath; // <base>.nmea, .gps or .log
    QString gpxPath;  // <base>.gpx
    QString accelPath; // <base>.3gf (BlackVue's G-sensor)
};

struct tagCLIPTELEMETRY {
    tagDATAFILEINFO info; // bValid 0 when nothing was read
    QString strSourcePath; // the log read beside the clip; "" otherwise
    tagCLIPCLOCK clipClock; // filled when info is empty: for pairing with a day's track
};

// Reads the first of: the NMEA log, the GPX log, a track inside the clip (MP4 only), the .3gf
// G-sensor file alone. A source that gives nothing (missing, damaged, no fix or sample) passes on
// to the next. A .gps log whose every fix carries a "[ms]" time code is BlackVue's: its fixes lie
// at their time codes from the first one and the .3gf beside it adds the G-sensor
// (CBlackVueGps), source "blackvue".
tagCLIPTELEMETRY ReadClipTelemetry(const tagCLIPSOURCES &sources, const CLocalClock &clock);

// The record of a clip without telemetry from a day's track: the points (sorted by time) that
// lie in the clip's span. False, and *out untouched, when the clip's time or duration is unknown or
// no point lies in its span.
bool RecordFromTrack(const QVector<tagGPXPOINT> &points, const tagCLIPCLOCK &clipClock, const CLocalClock &clock,
                     const QString &clipPath, tagDATAFILEINFO *out);

// The record's fixes with their times in UTC where the record knows its offset (for GPX files,
// whose times are UTC); the recorder's own fixes are given as they are.
QVector<tagGPSINFO> FixesInUtc(const tagDATAFILEINFO &rec);
