// CNovatekGps reads the GPS and G-sensor records that dash cams built on Novatek chips (Viofo,
// Kenwood, Azdome, Transcend, 70mai, Vantrue, Akaso, Nextbase and many more) write into their
// MP4 clips as "freeGPS " blocks, into the same fixes and samples as the GPMF and CAMM readers.
//
// Finding the blocks. A block starts with its size (32-bit big-endian) and the eight bytes
// "freeGPS "; offsets below count from its first byte. The clip's 'moov' may hold a 'gps ' box:
// four bytes we pass over, a 32-bit big-endian count, then that many pairs of 32-bit big-endian
// file offset and size, one block a second in recording order (pairs past the box's end are not
// there; a pair of zeros is an unused slot). Without that index, or when none of its blocks can be
// read, every top-level 'mdat' is searched byte by byte over its first kNovatekSearchBytes for a
// block; the later blocks of that 'mdat' lie on the same 0x8000-byte grid (0x4000 for blocks
// smaller than 0x8000), so from the first one only those places are probed.
//
// Layouts, tried in this order (all little-endian unless said; h m s, Y M D are 32-bit fields
// unless said; "DDMM" is degrees times 100 plus minutes; speeds in knots unless said):
//   Azdome, EEEkit  bytes from 18 XOR 0xAA give text: at 8 "YYYYMMDDhhmmss", at 38 N/S and eight
//                   digits of DDMM x 1e4, at 47 E/W and nine digits; at 57 eight digits of km/h
//                   (Azdome) or sign, four digits, three digits of km/h (EEEkit); accelerations as
//                   signed three-digit hundredths of g at 65 or else at 173
//   Nextbase NMEA   at 52 fourteen digits (the camera's clock, not used); an RMC sentence in the
//                   block gives the fix, a GGA the altitude; at 68 three int32 of g x 256
//   Viofo A119 v3, Kenwood  h m s Y M D at 16, 'A' N/S E/W at 40, float DDMM lat, lon at 0x2c,
//                   speed, course at 0x34; three int32 of g x 256 at 60 (all zero, or the
//                   counting pattern 1..6 of 16-bit values, is none). A year of 2000 or more is
//                   the camera's local clock: those fixes carry no UTC.
//   E-ACE           the same header, with lat and lon as 20-byte DDMM texts at 0x2c and 0x40,
//                   plain or base64 of an RC4 cipher ("luckychip gps", "customer aa gps" ...
//                   "customer ss gps"); float speed, course at 0x54 (its accelerations have no
//                   known scale and are not read)
//   LIGOGPSINFO     text at 16, 48 or 80: recognised, not read
//   Akaso           h m s at 48, 'A' at 60, float lat at 0x40 (N/S at 0x44), lon at 0x48 (E/W at
//                   0x4c), speed in km/h, course at 0x50; Y M D at 88; three int32 of g x 1000 at
//                   100, none when "x.xx" stands at 16 (the course then points 180 degrees off)
//   shifted RMC     at 60 an RMC sentence with 16 added to every byte
//   Akaso V1, Redtiger, EACHPAI  positions enciphered in a way not known: recognised, not read
//   Vantrue S1      'A' N/S E/W at 64, Y M D h m s at 68, float lon, lat, speed, course,
//                   altitude at 0x5c, three int32 of g x 1000 at 112
//   ATC             "ATC" at 0x45: a ring of 52-byte records from 0x30, each XORed with the key
//                   bytes at its 0x14 (bytes 0-0x14, 0x18-0x1b) and 0x1c (0x1c, 0x20-0x32): hour - 1,
//                   minute, second (bytes) at 0x0d, int32 lat, lon x 1e7 degrees at 0x10, 0x18,
//                   speed in m/s x 100 at 0x20, int16 course x 100 at 0x24, altitude in mm at 0x28,
//                   16-bit year, month, day bytes at 0x2c. Only records newer than the last one
//                   read are taken, and from the clip's first block only the newest (the rest of
//                   the ring is from before the clip).
//   Novatek type 2  h m s at 0x30, 'A' at 0x3c, double DDMM lat at 0x40 (N/S at 0x48), lon at
//                   0x50 (E/W at 0x58), speed, course at 0x60; Y M D at 0x70; three int32 of
//                   g x 1000 at 0x7c
//   INNOVV          from 16 records of 32 bytes: 'A' N/S E/W 0, float DDMM lat, lon, speed,
//                   course (no time; accelerations of unknown scale not read)
//   XBHT            from 16 records of 36 bytes: year - 2000, M D h m s, tenths (bytes) at 1,
//                   'A' N/S E/W at 8, uint32 DDMM x 1e4 lat, lon at 16, 16-bit km/h at 28; the
//                   receiver's time, taken as UTC
//   Vantrue N4      h m s at 16, 'A' at 28, double DDMM lat at 32 (N/S at 40), lon at 48 (E/W
//                   at 56), speed, course at 64; Y M D at 80; three int32 of g x 1000 at 92
//   Novatek type 3  (Viofo A119S, Transcend and most others) h m s Y M D at 0x30, 'A' N/S E/W 0
//                   at 0x48, float DDMM lat, lon, speed, course at 0x4c; with "IQS" at 16 int32
//                   lat, lon x 1e7 degrees, speed in m/s x 100 and float altitude in mm instead;
//                   in blocks of 0xb0 bytes or more, doubles at 0x70 (lat), 0x80 (lon) and 0xa0
//                   (altitude) replace them when within 0.001 of the floats (Transcend)
//   XGODY text      "YYYY/MM/DD hh:mm:ss" at 23, then "N:deg W:deg knots km/h x:g y:g z:g A:course"
//   70mai           'A' at 30, "VV" at 51, int32 DDMM x 1e5 lat, lon (signed) at 31, 35, km/h at
//                   43 (no time)
//   Nextbase binary (big-endian) records of 32 bytes from 0x30: m/s x 100, course x 100, 16-bit
//                   year, M D h m bytes, tenths of seconds, a byte, int32 lat, lon x 1e7 degrees
// A block whose status is 'V' (no satellite lock) in the type 3 or Viofo A119 v3 places gives no
// fix. Times are UTC unless said; G-sensor values are g on the camera's axes in the block's order.
//
// Times on the clip's timeline: each block stands for one second, so the n-th block (from 0,
// counting blocks that could not be read) is at n s. The first fix with a UTC time keeps its
// block's time; every later UTC fix is placed by its UTC difference from that one (a UTC time
// that would lie before the clip or more than kNovatekMaxClockSkew seconds away from its block
// is not believed: that fix keeps its block's time and no UTC). Fixes without UTC, and G-sensor
// samples, take their block's time (records of one block without times share its second
// evenly).
//
// Damage: a block outside the file, cut, without its signature, or whose layout is known but
// whose values no receiver gives (a date or time out of range, minutes of 60 or more, a latitude
// beyond 90 or a longitude beyond 180 degrees) is skipped and counted; a fix exactly at 0, 0 is
// none. Limits: kNovatekBlockBytes read of a block, the 'gps ' index up to kMaxMp4TableBytes, at
// most kMaxNovatekMediaBoxes 'mdat' boxes; every byte read (index, blocks, search, probes) comes
// out of the caller's budget; kMaxFixesPerFile fixes and kMaxSamplesPerFile samples. Reaching a
// limit sets bTooLarge.
#pragma once

#include "catalogue/mp4boxes.h"

#include <QByteArray>
#include <QString>
#include <QVector>

inline constexpr qint64 kNovatekBlockBytes = 4096;
inline constexpr qint64 kNovatekSearchBytes = 2 * 1024 * 1024;
inline constexpr int kMaxNovatekMediaBoxes = 64;
inline constexpr double kNovatekMaxClockSkew = 300.0;

// What one read of a clip met.
struct tagNOVATEKSTATS {
    int nBlocks = 0;   // blocks: index entries in use, or places where the search found one
    int nDecoded = 0;  // blocks that gave a fix or a G-sensor sample
    int nNoFix = 0;    // blocks of a known layout without a position (no lock)
    int nUnknown = 0;  // blocks of no known layout, or of one whose positions cannot be read
    int nDamaged = 0;  // blocks skipped as damaged (see above)
    bool bIndexed = false; // the blocks came through the 'gps ' index (else from the search)
};

class CNovatekGps
{
public:
    enum Result { Decoded, NoFix, Unknown, Damaged };

    explicit CNovatekGps(tagTRACKTELEMETRY *out);

    // Decodes the clip's next block: its bytes from the size field on (those past
    // kNovatekBlockBytes are not looked at). An empty array stands for a block that could not be
    // read; it counts as damaged and takes its second.
    Result AddBlock(const QByteArray &block);
    const tagNOVATEKSTATS &Stats() const { return m_stats; }

    // Reads the blocks of the MP4 file at path into *out (fixes and samples are added; nothing
    // else is changed but bTooLarge). *budget is the number of bytes that may still be read and is
    // lessened by what is read. True when the file holds at least one block, even one that gave
    // nothing.
    static bool ReadFile(const QString &path, tagTRACKTELEMETRY *out, qint64 *budget,
                         tagNOVATEKSTATS *stats = nullptr);

    // One decoded record, before it is placed on the clip's timeline.
    struct Record {
        bool bFix = false;
        double dLat = 0.0, dLon = 0.0; // degrees
        bool bAlt = false;
        double dAlt = 0.0;    // metres
        double dSpeed = 0.0;  // m/s
        double dCourse = -1.0;
        bool bUtc = false;
        qint64 nUtcMs = 0;
        bool bAccel = false;
        double dX = 0.0, dY = 0.0, dZ = 0.0; // g
    };

private:
    void Place(const Record &r, double blockTime);

    tagTRACKTELEMETRY *m_out;
    tagNOVATEKSTATS m_stats;
    int m_ordinal = 0;
    bool m_hasReference = false;
    qint64 m_referenceUtc = 0;
    double m_referenceTime = 0.0;
    qint64 m_lastAtcUtc = -1;
};
