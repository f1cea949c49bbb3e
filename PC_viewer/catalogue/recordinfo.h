// What the viewer keeps about one recording: its kind, sync time, G-sensor samples and GPS fixes,
// and the naming rules that pair a clip with its data file and read the kind from the name.
#pragma once

#include <QString>
#include <QVector>
#include <cstdint>

// Calendar time as the recorder writes it. The year holds two digits (13 for 2013); day of week is
// always 0. Every member keeps only the low 16 bits of what was parsed.
struct SYSTEMTIME {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;

    bool operator==(const SYSTEMTIME &o) const;
    bool operator!=(const SYSTEMTIME &o) const { return !(*this == o); }
};

enum RecordingType : int {
    RT_UNKNOWN = -1,
    RT_ORDINARY = 0,
    RT_EVENT = 1,
    RT_USER = 2,
    RT_AUDIO = 3,
    RT_PARKING = 4,
    RT_PARKING_MOTION = 5,
    RT_PARKING_AUDIO = 6,
};

// "Ordinary", "Event", ... ; any value outside 0..6 reads "Unknown".
QString RecordingTypeName(int type);

// One G-sensor sample.
struct tagACCELINFO {
    SYSTEMTIME stTime;
    float fX = 0.0f;
    float fY = 0.0f;
    float fZ = 0.0f;
};

// The car's own state at one moment, as a car that records it with every picture gives it
// (Tesla's clips). Values are the car's: a gear or autopilot state it added later keeps its number.
enum VehicleGear : int { VG_PARK = 0, VG_DRIVE = 1, VG_REVERSE = 2, VG_NEUTRAL = 3 };
enum AutopilotState : int { AP_NONE = 0, AP_SELF_DRIVING = 1, AP_AUTOSTEER = 2, AP_TRAFFIC_AWARE_CRUISE = 3 };
struct tagVEHICLEINFO {
    SYSTEMTIME stTime;
    int nGear = VG_PARK;
    float fAccelerator = 0.0f; // pedal position, percent
    float fSteering = 0.0f;    // steering wheel angle, degrees
    int bBlinkerLeft = 0;
    int bBlinkerRight = 0;
    int bBrake = 0;
    int nAutopilot = AP_NONE;
};

// One GPS fix with its display texts.
struct tagGPSINFO {
    SYSTEMTIME stTime;
    char cStatus = 'V';
    double dLatRaw = 0.0;
    double dLonRaw = 0.0;
    double dSpeedKnots = 0.0;
    double dCourse = 0.0;
    QString strDate;
    QString strTime;
    QString strLat;
    QString strLon;
    QString strSpeed;
    QString strDirection;
    double dLat = 0.0;
    double dLon = 0.0;
};

// Where a recording's telemetry came from: the recorder's data file, a log beside the clip, a
// track the user added, or a track inside the clip.
enum TelemetrySource : int {
    TS_NONE = 0,
    TS_DAT,
    TS_NMEA,
    TS_GPX,
    TS_GPMF,
    TS_CAMM,
    TS_NOVATEK,
    TS_BLACKVUE,
    TS_70MAI,
    TS_THINKWARE,
    TS_SSTAR,
    TS_GARMIN,
    TS_NEXTBASE,
    TS_TESLA,
};

// "dat", "nmea", "gpx", "gpmf", "camm", "novatek", "blackvue", "70mai", "thinkware", "sstar",
// "garmin", "nextbase", "tesla"; "" for TS_NONE and anything else.
QString TelemetrySourceName(int source);
// The other way round; TS_NONE for a name that is none of these.
int TelemetrySourceFromName(const QString &name);

// One recording's telemetry; a value type (copies copy the arrays).
struct tagDATAFILEINFO {
    int bValid = 0;
    int nType = RT_UNKNOWN;
    SYSTEMTIME stSyncTime;
    QVector<tagGPSINFO> vecGps;
    QVector<tagACCELINFO> vecAccel;
    // The car's own state, time-stamped like the samples; at most kMaxSamplesPerFile entries.
    // Empty for every source but a car's clips, and then no view shows anything of it.
    QVector<tagVEHICLEINFO> vecVehicle;
    // 1 when the data file held more than a recording can (see CDataFileInfo's limits): the
    // arrays keep what came before the limit and the rest counts as absent.
    int bTooLarge = 0;
    int nSource = TS_NONE;
    // Telemetry from other cameras: 1 when nothing told the wall-clock time of the recording.
    // The times then only place samples on the clip's own timeline (from stSyncTime, which is
    // 2000/01/01 00:00:00), and the record has no place in time (see OrderingKey).
    int bNoClock = 0;
    // Telemetry whose times were UTC: the milliseconds added to UTC to give the local times
    // stored here (the time-zone setting at the recording's start).
    int bHasUtcOffset = 0;
    int64_t nUtcOffsetMs = 0;
    // That UTC came from the GPS fixes (not from the clip's own header).
    int bUtcFromGps = 0;
    // Another maker's clip whose name tells the camera's clock time: that time places the
    // recording in the list and its order when its telemetry gives no clock (or there is none).
    int bHasNameTime = 0;
    SYSTEMTIME stNameTime;
    // Another maker's clip whose name tells the camera's clock and whose telemetry tells GPS time:
    // the camera's time minus UTC at the clip's start (the card's time zone plus the camera clock's
    // error). The times here are then the camera's own and nUtcOffsetMs is this offset (also
    // without GPS time, when the clip's header told UTC).
    int bCameraClock = 0;
    int64_t nCameraOffsetMs = 0;
    // The card's clock correction, already added to every time here (and to nUtcOffsetMs): the
    // recorded time is the shown one minus this.
    int64_t nClockCorrectionMs = 0;
};

// Data-file path of a clip: <clip folder>/data/<clip base name>.dat, cut at the last path
// separator and the last dot. Accepts both '/' and '\\' as separators.
QString DataFilePathForClip(const QString &clipPath);

// Kind of a recording from its data-file path (character rules on the file name and "PARKING"
// anywhere in the path).
int RecordingTypeFromPath(const QString &dataFilePath);

// Local calendar time of a time stamp in milliseconds since the epoch (year 2000 + two-digit year,
// daylight saving left to the C library). Returns false for a time stamp outside the calendar
// (month 13, hour 25, ...), which has no key.
bool TimeKey(const SYSTEMTIME &st, int64_t *keyMs);

// Ordering key of a record with bValid 1, else of the time its clip's name tells; false when
// that time has no key or the record has no clock.
bool OrderingKey(const tagDATAFILEINFO &rec, int64_t *keyMs);

// The list's "Contents List" text of a recording: its start time
// ("2013/05/12 - 08:30:15.250") when it has data with a clock, else the time its name tells,
// else "File name : x.avi". A data file that
// was too large to read whole adds kTooLargeListNote to the time.
extern const char kTooLargeListNote[];
QString RecordListText(const tagDATAFILEINFO &rec, const QString &mediaPath);

// File name part of a path (after the last separator).
QString FileNameOfPath(const QString &path);

// True when `path` exists and its real place (every link on the way followed) is `root` or lies
// below it; `root` is a canonical path (QFileInfo::canonicalFilePath). False for an empty root.
bool IsInsideFolder(const QString &path, const QString &root);
