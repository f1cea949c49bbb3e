// CNmeaLog reads an NMEA 0183 log that another camera or a GPS logger writes beside a clip
// (<clip base name> with one of kNmeaLogSuffixes) into GPS fixes shaped like the data-file
// reader's, so that the views can show them.
//
// What is read:
// - RMC sentences of any talker ($GPRMC, $GNRMC, $GLRMC, $GARMC, $BDRMC, $INRMC, ...) make the
//   fixes, parsed by the data-file reader's own RMC rules (ParseRmcFields): the same numbers and
//   the same texts (strDate 20yy/mm/dd, strTime hh:mm:ss, strLat/strLon six decimals, strSpeed
//   km/h, strDirection compass name). A fix with status V keeps cStatus 'V'; the consumer decides
//   whether to show it. One difference: a time without a fraction ("123519") has 0 milliseconds.
// - GGA sentences of any talker add the altitude (metres above mean sea level, field 9) to the
//   fix of the same time of day, whether the GGA comes before or after its RMC. A GGA without a
//   position (quality 0) or without an altitude adds nothing. GGA alone makes no fix.
// - Everything else (GSA, GSV, VTG, proprietary sentences, text) is skipped.
//
// Time base: NMEA times are UTC and are kept as read (UTC) in stTime, with the two-digit year of
// the RMC date; the consumer applies the time-zone setting. A line may begin with
// "[milliseconds since the epoch]", the logger's own clock; that stamp is kept beside the fix.
//
// Damage: a sentence runs from its '$' to the next '$', control byte (NUL, CR, ...) or line end,
// so glued sentences, NUL runs and CR, LF or CR LF line ends all split cleanly. A checksum "*hh",
// when present, must match, else the sentence is dropped (counted in BadChecksums()); a sentence
// without one is used only when it reaches the field after the date (RMC) or after the altitude
// (GGA), so a cut sentence never gives a half-read fix. Two RMC sentences of the same date and
// time (two talkers of one receiver) give one fix: the first, unless only the later one is valid.
//
// Order: fixes stay in file order. A fix earlier than the one before it (a receiver reset, logs
// glued together) is kept where it is and sets TimeWentBack(): dropping it would lose track that
// is really there, and sorting would hide a jump that the consumer may want to show or split at.
//
// Limits: those of the data-file reader (kMaxDataFileBytes read, kMaxFixesPerFile fixes); a line
// is kept up to kMaxNmeaLineBytes. What lies beyond counts as absent and TooLarge() is set.
#pragma once

#include "catalogue/recordinfo.h"

#include <QtGlobal>

class QIODevice;

// File suffixes of an NMEA log beside a clip, compared case-insensitively.
inline constexpr const char *kNmeaLogSuffixes[] = {"nmea", "gps", "log"};
// Longest line kept; an NMEA sentence has at most 82 bytes, and a line of glued sentences a few.
inline constexpr int kMaxNmeaLineBytes = 4096;

// One fix of an NMEA log.
struct tagNMEAFIX {
    tagGPSINFO fix;           // UTC, as read
    double dAltitude = 0.0;   // metres above mean sea level, from the GGA of the same time
    bool bHasAltitude = false;
    qint64 nEpochMs = 0;      // the line's "[ms since the epoch]" prefix
    bool bHasEpochMs = false;
};

class CNmeaLog
{
public:
    // Reads the log at path; returns true when it gave at least one fix. A path that is not a
    // readable regular file gives no fixes and sets OpenFailed().
    bool Load(const QString &path);
    // Reads an open device to its end (or to the limits). Returns true when it gave a fix.
    bool Read(QIODevice *device);

    const QVector<tagNMEAFIX> &Fixes() const { return m_fixes; }
    bool OpenFailed() const { return m_openFailed; }
    bool TooLarge() const { return m_tooLarge; }
    bool TimeWentBack() const { return m_timeWentBack; }
    int BadChecksums() const { return m_badChecksums; }

private:
    void Clear();
    // False when a limit has been reached.
    bool HandleLine(const char *line, int length);
    bool HandleSentence(const char *s, int length, bool hasEpoch, qint64 epochMs);
    bool AddRmc(const char *body, int length, bool hasEpoch, qint64 epochMs);
    void AddGga(const char *body, int length);

    QVector<tagNMEAFIX> m_fixes;
    // The latest GGA altitude not yet given to a fix, by its time of day.
    int m_pendingGgaMs = -1;
    double m_pendingAltitude = 0.0;
    qint64 m_lastTimeOrder = -1; // of the last fix with a readable time
    int m_lastFixMs = -1;        // time of day of the last fix, -1 when unreadable
    bool m_openFailed = false;
    bool m_tooLarge = false;
    bool m_timeWentBack = false;
    int m_badChecksums = 0;
};
