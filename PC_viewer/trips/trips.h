// Trips: the recordings of a loaded catalogue gathered into whole drives and parking periods, each
// with its span of time, distance, top speed and events, for the Trips window and
// `pellister-cli trips`.
//
// The time of a recording is its sync time as a local time key (OrderingKey: TimeKey of
// stSyncTime, milliseconds since the epoch); its end is that time plus the clip's duration from
// its container header (ClipDurationSeconds), or, when the header gives none, plus the span of the
// clip's own samples and fixes (their latest time minus the sync time, within
// kMaxRecordingSeconds). A recording without a time (no data, no clock, a sync time outside the
// calendar) has no place on a timeline.
//
// Which recordings make one trip. The timed recordings are taken in time order (the catalogue's
// order after a load; stable for equal times). Each joins the trip before it when
//   - it is of the same group: drive (Ordinary, Event, User, Audio, and Unknown, which is what
//     another camera's clips and the recorder's unnamed kinds read) or parking (Parking,
//     P-Motion, P-Audio). A parking clip right after a drive starts a parking period, whatever
//     the gap, and a drive after it starts a new drive;
//   - and it starts no later than the trip's end so far plus the gap setting (at exactly the gap
//     it still joins). The trip's end so far is the latest end of its clips, so an Event clip
//     that lies inside a longer clip does not cut the drive short.
// A trip starts at its first clip's time and ends at the latest end of its clips (with clips one
// after another: the start of the last clip plus its duration). Every recording without a time is
// a trip of its own, of kind single, after all timed trips, in catalogue order.
//
// Distance: the haversine lengths (CGpxTrack::DistanceMetres) between the trip's fixes in time
// order, across its clips. Only fixes with status A, a position on the globe and a time count.
// A fix's time is its clip's time plus (fix time - sync time), so the recorder's clock and the
// GPS clock need not agree; a fix no later than the last one counted repeats a stretch already
// covered (clips that overlap) and is passed over. A step that implies more than
// kTripMaxPlausibleKmh is ignored: it is measured from the last fix counted, and failing that
// from the fix just before (so that one bad fix, even the first, costs nothing); a fix that fails
// both counts for nothing.
// Top speed: the largest speed of the fixes at either end of a counted step (of the only fix when
// no step counts), in km/h as the telemetry CSV gives it (SpeedInUnit); none without such a fix.
//
// Events: every Event and User recording (a marker at its start), and G-sensor peaks: samples
// where |X|, |Y| or |Z - 1| exceeds the threshold setting (|Z + 1| in a clip whose Z reads -1 g at
// rest, as a sensor mounted the other way up gives it: one whose samples' Z adds up below 0), a
// peak no more than kTripEventMergeMs after the previous one being the same happening (so a shake
// that goes on is one event, marked at its first sample). Peaks are merged by time across the
// whole trip, so the same shock seen by two overlapping clips counts once; the recording markers
// are never merged away. A peak's time is its clip's time plus (sample time - sync time). The
// events of a trip are in time order.
//
// A recording without a time (kind single) has the same figures on its own timeline: its start is
// 0 and its event times are milliseconds from its start (a sync time outside the calendar gives
// no timeline: then only the recording's kind can make an event).
//
// Clock texts (TripClockText) are the local time of a time key, as the list and the panel show
// it: "2013-05-12 08:30:15.250".
//
// Cost: one pass over the records, plus one header read per timed clip for its duration (on a
// few threads).
#pragma once

#include "catalogue/recordinfo.h"
#include "export/trackfiles.h"

#include <QString>
#include <QVector>

#include <cstdint>

class CCorvanaDoc;

inline constexpr double kDefaultTripGapSeconds = 60.0;
inline constexpr double kDefaultTripPeakThresholdG = 0.5;
inline constexpr int64_t kTripEventMergeMs = 2000;
inline constexpr double kTripMaxPlausibleKmh = 300.0;

enum TripKind : int {
    TRIP_DRIVE = 0,
    TRIP_PARKING = 1,
    TRIP_SINGLE = 2,
};
// "drive", "parking", "single".
QString TripKindName(int kind);

enum TripEventReason : int {
    TRIP_EVENT_RECORDING = 0, // an Event recording
    TRIP_USER_RECORDING = 1,  // a User recording
    TRIP_GSENSOR_PEAK = 2,
};

struct tagTRIPEVENT {
    int nIndex = -1;      // catalogue index of the recording
    int64_t llTimeMs = 0; // time key (for a trip without a time: from its start)
    int nReason = TRIP_EVENT_RECORDING;
    double dPeakG = 0.0;  // a peak's largest |X|, |Y| or |Z - 1|; 0 for a recording
};

struct tagTRIPSETTINGS {
    // Values that are not a number, or below 0, count as the default.
    double dGapSeconds = kDefaultTripGapSeconds;
    double dPeakThresholdG = kDefaultTripPeakThresholdG;
};

// One clip of a trip on its time line.
struct tagTRIPCLIP {
    int nIndex = -1;       // catalogue index
    int64_t llStartMs = 0; // time key (0 in a trip without a time)
    int64_t llEndMs = 0;   // its start plus its duration (0 in a trip without a time)
};

struct tagTRIP {
    int nKind = TRIP_SINGLE;
    // Catalogue indices of its first and last clip in time; after a load (oldest first) its clips
    // are exactly nFirst..nLast.
    int nFirst = -1;
    int nLast = -1;
    int nClips = 0;
    bool bHasTime = false; // false for kind single
    int64_t llStartMs = 0; // time keys
    int64_t llEndMs = 0;
    double dDistanceMetres = 0.0;
    bool bHasMaxSpeed = false;
    double dMaxSpeedKmh = 0.0;
    QVector<tagTRIPEVENT> vecEvents;
    // Its clips in time order (the order they joined the trip), with the spans that decided it.
    QVector<tagTRIPCLIP> vecClips;
};

// The trips of the loaded catalogue (see above).
QVector<tagTRIP> BuildTrips(const CCorvanaDoc &doc, const tagTRIPSETTINGS &settings = tagTRIPSETTINGS());

// The trip's route for a map: its fixes that count for the distance (status A, on the globe, with
// a time), in time order, as the recording holds them. At most maxPoints (2 or more): a longer
// route keeps evenly spaced fixes, always its first and last.
QVector<tagGPSINFO> TripRoute(const CCorvanaDoc &doc, const tagTRIP &trip, int maxPoints);

// "YYYY-MM-DD hh:mm:ss.mmm" of a time key in local time; "" when it has no calendar date.
QString TripClockText(int64_t timeKeyMs);

// The trips as KML placemarks: one per trip with fixes ("Drive 1", "Parking 2", "Single 3"),
// described by its start and end, its number of clips, distance and top speed in `unit`.
QVector<tagKMLPLACE> TripPlaces(const CCorvanaDoc &doc, SpeedUnit unit);
