// CBlackVueGps reads the GPS and G-sensor that BlackVue (Pittasoft) dash cams record with their
// clips, into the same fixes and samples as the other in-clip readers.
//
// Where it lies. Newer models write it inside the MP4 clip: a top-level 'free' box (before or
// after 'moov') whose payload is a run of boxes of their own, each a 32-bit big-endian size
// (header included), a four-character type and its bytes. The first of them is one of 'cprt',
// 'sttm', 'ptnm', 'ptrh', 'thum', 'gps ' or '3gf ' (which tells this 'free' box from filler);
// read are
//   'sttm'  the recording's start: 64-bit big-endian milliseconds since 1970 of the camera's clock
//   'gps '  NMEA 0183 text, every line prefixed with "[milliseconds]" of the same clock, padded
//           with NULs
//   '3gf '  records of 10 bytes: a 32-bit big-endian time code in milliseconds from the
//           recording's start, then the G-sensor's x, y and z as signed 16-bit big-endian tenths
//           of g; a time code of 0xffffffff, or a record of zeros after the first, ends them
// and the others are passed over. Older models write the same text and records as files beside
// the clip: <clip>.gps and <clip>.3gf.
//
// The text is read by the NMEA log reader (RMC sentences make the fixes, a GGA of the same time
// adds the altitude, checksums are checked). A fix takes its RMC line's time code; on the clip's
// timeline it lies at that time code less the start, which is 'sttm' when the clip has one and
// the first time code lies within kBlackVueMaxStartSkewMs of it, else the first time code of the
// text. Its UTC is the RMC's own date and time. A G-sensor record lies at its time code.
//
// Damage: a fix without a time code, or before the start, is left out and counted; a record cut
// short at the end is counted. Limits: at most kMaxMp4Boxes top-level boxes and kMaxBlackVueBoxes
// boxes inside the 'free' box are walked; the text and the records are read up to
// kMaxMp4TableBytes each in a clip (kMaxDataFileBytes beside it); every byte read in a clip comes
// out of the caller's budget; kMaxFixesPerFile fixes and kMaxSamplesPerFile samples. Reaching a
// limit sets bTooLarge.
#pragma once

#include "catalogue/mp4boxes.h"
#include "catalogue/nmealog.h"

#include <QByteArray>
#include <QString>
#include <QVector>

inline constexpr int kMaxBlackVueBoxes = 64;
inline constexpr qint64 kBlackVueMaxStartSkewMs = 3600 * 1000;
inline constexpr int kBlackVueRecordBytes = 10;

// What one read met.
struct tagBLACKVUESTATS {
    bool bStartTime = false; // the start came from 'sttm'
    int nFixes = 0;          // fixes placed
    int nNoTimeCode = 0;     // fixes left out: no time code on their RMC line
    int nBeforeStart = 0;    // fixes left out: their time code lies before the start
    int nRecords = 0;        // G-sensor records placed
    int nCutRecords = 0;     // bytes at the end too few for a record (0 or 1)
};

class CBlackVueGps
{
public:
    // Places the fixes of the text (as the NMEA log reader gave them) and the '3gf ' records on
    // the clip's timeline, into *out. startMs is 'sttm', or null when there is none.
    static void Place(const QVector<tagNMEAFIX> &fixes, const QByteArray &records, const qint64 *startMs,
                      tagTRACKTELEMETRY *out, tagBLACKVUESTATS *stats = nullptr);

    // True when the fixes are those of a BlackVue text: there are some, and each has its time code.
    static bool IsTimeCoded(const QVector<tagNMEAFIX> &fixes);

    // Reads the 'free' box of the MP4 file at path into *out (fixes and samples are added; nothing
    // else is changed but bTooLarge). *budget is the number of bytes that may still be read and is
    // lessened by what is read. True when the file holds such a box, even one that gave nothing.
    static bool ReadFile(const QString &path, tagTRACKTELEMETRY *out, qint64 *budget,
                         tagBLACKVUESTATS *stats = nullptr);

    // The files beside a clip: the fixes of its .gps log (empty for none) and its .3gf file (an
    // empty path for none). Sets out->source to "blackvue"; true when they gave a fix or a sample.
    static bool ReadBeside(const QVector<tagNMEAFIX> &fixes, const QString &accelPath, tagTRACKTELEMETRY *out,
                           tagBLACKVUESTATS *stats = nullptr);
};
