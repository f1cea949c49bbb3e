// CDataFileInfo turns one telemetry data file ($SYNCTIME, $ACCELERATOR, $GPRMC lines) into a
// tagDATAFILEINFO, and writes GPS fixes as a GPX 1.0 track.
#pragma once

#include "catalogue/recordinfo.h"

#include <QByteArray>

enum DataLineKind : int {
    DL_OTHER = -1,
    DL_SYNCTIME = 0,
    DL_GPRMC = 1,
    DL_ACCELERATOR = 2,
};

// Limits of one data file. A recording lasts at most kMaxRecordingSeconds (an hour; the
// recorder writes clips of a minute); a second of it holds at most kMaxSamplesPerSecond
// G-sensor samples and kMaxFixesPerSecond GPS fixes, and its file at most kMaxDataFileBytes
// (an hour at those rates writes about 40 MB). Reading stops at the first limit reached: what
// lies beyond counts as absent and the record's bTooLarge is set. A fix costs about 500 bytes
// in memory, so one file never takes more than about 60 MB however big it is.
inline constexpr int kMaxRecordingSeconds = 3600;
inline constexpr int kMaxSamplesPerSecond = 200;
inline constexpr int kMaxFixesPerSecond = 20;
inline constexpr int kMaxSamplesPerFile = kMaxSamplesPerSecond * kMaxRecordingSeconds;
inline constexpr int kMaxFixesPerFile = kMaxFixesPerSecond * kMaxRecordingSeconds;
inline constexpr qint64 kMaxDataFileBytes = 64 * 1024 * 1024;

// The product's web address, named in the GPX files we write.
extern const char kProductWebAddress[];

class CDataFileInfo
{
public:
    CDataFileInfo();

    // Empties the record and resets the scratch sample and the scratch fix's texts. The scratch
    // fix's numbers survive on purpose: a $GPRMC line that stops early keeps what the previous
    // fix held.
    void Reset();

    // Reads the data file at path (an empty path means the clip has none). Returns 1 when the file
    // began with an accepted $SYNCTIME line and held at least one further line; the record is then
    // valid. A file that cannot be opened is treated like a missing one (see OpenFailed()).
    int Load(const QString &path);

    // True when the last Load was given a path that could not be opened as a file.
    bool OpenFailed() const { return m_openFailed; }

    const tagDATAFILEINFO &Info() const { return m_info; }

    // The scratch fix's numbers that outlive Reset and so flow from one clip's last $GPRMC line
    // into the next clip's first one when that line stops early.
    struct GpsCarry {
        double dLatRaw = 0.0, dLonRaw = 0.0, dSpeedKnots = 0.0, dCourse = 0.0, dLat = 0.0, dLon = 0.0;
    };
    GpsCarry Carry() const;
    void SetCarry(const GpsCarry &carry);
    // Whether the last Load read any $GPRMC line, and whether its first one took numbers from
    // the carry (it stopped before the course field).
    bool ReadAnyFix() const { return m_readAnyFix; }
    bool FirstFixUsedCarry() const { return m_firstFixUsedCarry; }

    // Writes fixes as a GPX 1.0 track (CR LF, one blank before each line end). Returns 1 when the
    // whole file was written, 0 for no fixes or any failure; a failed write leaves no partial
    // file behind.
    static int WriteGpx(const QString &outputPath, const QVector<tagGPSINFO> &fixes);
    // The same bytes, for a given UTC time stamp of the header.
    static QByteArray FormatGpx(const QVector<tagGPSINFO> &fixes, const SYSTEMTIME &utcNow);

    // One line of a file, without its line end. Public for the line-level tests.
    static DataLineKind Classify(const char *line, int length);
    bool ParseSyncTime(const char *line, int length);
    // allowFastPath false forces the general field-by-field path (the tests compare both).
    bool ParseAccelerator(const char *line, int length, bool allowFastPath = true);
    void ParseGprmc(const char *line, int length);
    const tagACCELINFO &ScratchSample() const { return m_accel; }
    const tagGPSINFO &ScratchFix() const { return m_gps; }

private:
    // False when reading should stop: the file does not begin with a sync line, or a limit
    // has been reached.
    bool HandleLine(const char *line, int length, bool *synchronised, bool *hasData);

    tagDATAFILEINFO m_info;
    tagACCELINFO m_accel;
    tagGPSINFO m_gps;
    bool m_openFailed = false;
    bool m_readAnyFix = false;
    bool m_firstFixUsedCarry = false;
};

// Fills fix from the fields of an RMC sentence ("$GPRMC,time,status,lat,N,lon,E,knots,course,ddmmyy,"
// or the same with any other tag) the way the data-file reader does, with the display texts. Only
// the fields that a comma follows are read; the others keep what fix held.
void ParseRmcFields(const char *line, int length, tagGPSINFO *fix);

// Compass name of a whole-degree course ("N", "N-NE", ... "N-NW").
QString CompassName(int course);
