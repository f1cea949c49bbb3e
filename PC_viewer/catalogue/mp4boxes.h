// CMp4Boxes finds the telemetry tracks of an MP4 (ISO base media) file and their samples, reading
// only the boxes it needs by seeking; ReadMp4Telemetry turns a GoPro GPMF ('gpmd') or a Camera
// Motion Metadata ('camm') track, or else a dash cam's "freeGPS " blocks, into fixes and G-sensor
// samples; the telemetry some cars write into their video (CTeslaSei) is read from the video track's
// samples.
//
// What is read: the top-level boxes up to 'moov'; in it 'mvhd' (creation time) and every 'trak'
// with its 'tkhd' (track id), 'mdia/mdhd' (time scale), 'mdia/hdlr' (handler type) and the first
// sample entry of 'stbl/stsd'. For tracks whose sample entry is 'gpmd', 'camm' or 'ssmd', and for
// text tracks (IsMp4TextTrack), the sample table
// ('stts', 'stsz' or 'stz2', 'stsc', 'stco' or 'co64') is turned into a list of samples: file
// offset, size, start and duration in seconds on the track's own timeline (its first sample starts
// at 0; edit lists and composition offsets are not applied). Other tracks list no samples, but
// 'avc1' tracks when the caller asks for video samples: their sample tables too, and from 'avcC' the
// size of the length before each NAL unit.
//
// Limits: every count in a table is checked against the bytes its box holds before anything is
// reserved; sizes are 64-bit ('largesize', size 0 = to the end of the enclosing box or file);
// boxes nest at most kMaxMp4Depth deep and one file is walked through at most kMaxMp4Boxes boxes; a
// table box is read up to kMaxMp4TableBytes; a track lists at most kMaxMp4SamplesPerTrack samples
// and a sample is read only up to kMaxMp4SampleBytes. The samples of one file are read up to
// kMaxDataFileBytes in all. What lies beyond a limit counts as absent and TooLarge() says so; what
// a cut file lacks counts as absent and Truncated() says so.
#pragma once

#include "catalogue/datafileinfo.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QVector>
#include <QtEndian>

inline constexpr int kMaxMp4Depth = 16;
inline constexpr int kMaxMp4Boxes = 100000;
inline constexpr qint64 kMaxMp4TableBytes = 16 * 1024 * 1024;
inline constexpr int kMaxMp4SamplesPerTrack = kMaxSamplesPerFile + kMaxFixesPerFile;
inline constexpr qint64 kMaxMp4SampleBytes = 4 * 1024 * 1024;

// One sample of a track: where its bytes lie and when it plays, in seconds on the track's timeline.
struct tagMP4SAMPLE {
    qint64 nOffset = 0;
    qint64 nSize = 0;
    double dStart = 0.0;
    double dDuration = 0.0;
};

struct tagMP4TRACK {
    quint32 nTrackId = 0;
    QByteArray handler;      // 'hdlr' handler type, e.g. "vide", "soun", "meta"
    QByteArray sampleEntry;  // first 'stsd' entry type, e.g. "avc1", "gpmd", "camm"
    quint32 nTimeScale = 0;  // ticks per second ('mdhd'); 0 when missing
    QVector<tagMP4SAMPLE> samples; // only for 'gpmd', 'camm', 'ssmd' and text tracks (and 'avc1'
                                   // when asked)
    int nNalLengthSize = 0;  // 'avc1' when asked: 1, 2 or 4 bytes ('avcC'); 0 when unknown
};

// A QuickTime text track (handler 'text') or a track of text cues ('text' or 'tx3g' sample entry).
bool IsMp4TextTrack(const tagMP4TRACK &track);

// One GPS fix read from another camera's telemetry.
struct tagTRACKFIX {
    double dTime = 0.0;       // seconds from the clip's start (the track's timeline)
    bool bHasUtc = false;
    qint64 nUtcMs = 0;        // UTC, milliseconds since 1970, when the source gives the time
    char cStatus = 'V';       // 'A' a valid fix, 'V' none (kept: the consumer decides)
    double dLat = 0.0;        // degrees, north positive
    double dLon = 0.0;        // degrees, east positive
    double dAlt = 0.0;        // metres
    double dSpeed = 0.0;      // metres per second over ground
    double dCourse = -1.0;    // degrees clockwise from north, -1 when the source gives none
    double dDop = -1.0;       // dilution of precision, -1 when the source gives none
};

// A fix whose position is not a number or off the globe counts as none ('V' at 0, 0); other
// values that are not numbers become 0 (altitude, speed) or "none" (-1: course, precision).
void ClampTrackFix(tagTRACKFIX *fix);

// Four-character codes and big-endian fields, as MP4 boxes and GPMF write them.
constexpr quint32 FourCC(const char *s)
{
    return (quint32(quint8(s[0])) << 24) | (quint32(quint8(s[1])) << 16) | (quint32(quint8(s[2])) << 8) |
           quint32(quint8(s[3]));
}
inline quint32 Be32(const uchar *p)
{
    return qFromBigEndian<quint32>(p);
}
inline quint64 Be64(const uchar *p)
{
    return qFromBigEndian<quint64>(p);
}

// A box header read from its first bytes `head` (8, or 16 for a 64-bit size), the box starting at
// pos inside a parent that ends at end: its type, where its payload starts and where it ends (size
// 0 runs to the parent's end; a box longer than what is left, a cut file, ends there and sets
// *cut). False when there is no header there, or its size is smaller than the header itself.
struct tagMP4BOXHEADER {
    quint32 type = 0;
    qint64 payload = 0;
    qint64 end = 0;
    bool cut = false;
};
bool ParseMp4BoxHeader(const QByteArray &head, qint64 pos, qint64 end, tagMP4BOXHEADER *box);

// A clip's file read unbuffered (readers probe a few bytes far apart) out of a byte budget.
struct tagTRACKTELEMETRY;
struct tagBUDGETEDFILE {
    QFile file;
    qint64 size = 0;
    qint64 *budget = nullptr;
    tagTRACKTELEMETRY *out = nullptr;

    // Opens path; false when it cannot be.
    bool Open(const QString &path, qint64 *bytes, tagTRACKTELEMETRY *telemetry);
    // n bytes at pos; empty when they do not lie in the file, cannot be read, or exceed the
    // budget (which sets the telemetry's bTooLarge).
    QByteArray Read(qint64 pos, qint64 n);
    // The box at pos within [pos, end); a box longer than what is left (a cut file) ends there.
    bool ReadBox(qint64 pos, qint64 end, tagMP4BOXHEADER *box);
};

// One G-sensor sample: acceleration in g on the camera's axes.
struct tagTRACKSAMPLE {
    double dTime = 0.0;       // seconds from the clip's start
    float fX = 0.0f;
    float fY = 0.0f;
    float fZ = 0.0f;
};

// The car's own state at one moment (Tesla's clips); its stTime is not used, dTime places it.
struct tagTRACKVEHICLE {
    double dTime = 0.0;       // seconds from the clip's start
    tagVEHICLEINFO state;
};

struct tagTRACKTELEMETRY {
    QVector<tagTRACKFIX> vecFix;
    QVector<tagTRACKSAMPLE> vecAccel;
    QVector<tagTRACKVEHICLE> vecVehicle; // at most kMaxSamplesPerFile entries
    // 1 when the source held more than a recording can (kMaxFixesPerFile, kMaxSamplesPerFile,
    // the MP4 limits above): the arrays keep what came first.
    int bTooLarge = 0;
    QByteArray source;     // the track's sample entry, "gpmd" or "camm", or for a clip without
                           // such a track the source name of the dash cam's or car's place that
                           // gave it ("novatek", "tesla", ...); empty without any
    QDateTime creationUtc; // the movie's creation time, invalid when unknown
    double dDuration = 0;  // the movie's duration in seconds, 0 when unknown

    // Appends unless the array is full, in which case bTooLarge is set. False when full.
    bool AddFix(const tagTRACKFIX &fix);
    bool AddSample(const tagTRACKSAMPLE &sample);
    bool AddVehicle(const tagTRACKVEHICLE &vehicle);
};

class CMp4Boxes
{
public:
    // Walks the file's boxes. False when it cannot be opened or holds no readable 'moov'
    // (Error() says why); a damaged 'moov' still gives what was read before the damage.
    // videoSamples: list the samples of 'avc1' tracks too.
    bool Open(const QString &path, bool videoSamples = false);

    QString Error() const { return m_error; }
    const QVector<tagMP4TRACK> &Tracks() const { return m_tracks; }
    // 'mvhd' creation time in UTC; invalid when the file gives none (0) or none was found.
    QDateTime CreationTimeUtc() const { return m_creation; }
    // 'mvhd' duration in seconds; 0 when the file gives none.
    double DurationSeconds() const { return m_duration; }
    bool TooLarge() const { return m_tooLarge; }
    bool Truncated() const { return m_truncated; }

    // The bytes of one sample; empty when they cannot be read or exceed kMaxMp4SampleBytes.
    QByteArray ReadSample(const tagMP4SAMPLE &sample);
    // The first n bytes of one sample (all of it when shorter); empty when they cannot be read.
    QByteArray ReadSampleHead(const tagMP4SAMPLE &sample, qint64 n);

private:
    struct Box {
        quint32 type = 0;
        qint64 start = 0;
        qint64 payload = 0; // first byte after the header
        qint64 end = 0;
    };
    bool ReadHeader(qint64 pos, qint64 parentEnd, Box *box);
    // A table box's payload up to cap bytes; a longer one sets TooLarge().
    QByteArray ReadPayload(const Box &box, qint64 cap);
    // The first n bytes of a box whose rest is not needed (mvhd, tkhd, mdhd, hdlr, stsd).
    QByteArray ReadHead(const Box &box, qint64 n);
    template <typename Fn> void ForEachChild(qint64 start, qint64 end, int depth, Fn &&fn);
    void ReadMoov(const Box &moov);
    void ReadTrak(const Box &trak);

    QFile m_file;
    qint64 m_fileSize = 0;
    int m_boxCount = 0;
    QString m_error;
    QVector<tagMP4TRACK> m_tracks;
    QDateTime m_creation;
    double m_duration = 0.0;
    bool m_tooLarge = false;
    bool m_truncated = false;
    bool m_videoSamples = false;
};

// Reads the first 'gpmd' track of an MP4 file, or else its first 'camm' track, or else the text
// cues, 'ssmd' samples or boxes of the makers that write their own (CThinkwareGps, CGarminGps,
// CSstarGps, CMai70Gps, CNextbaseGps), or else its "freeGPS " blocks (CNovatekGps), or else the
// SEI of a car's video (CTeslaSei), into *out, with the movie's creation time and duration whether or not it has
// any. Returns 1 when such a track, cue, box, block or SEI was found (even when it gave nothing),
// 0 otherwise; *error (optional) says why nothing was read.
int ReadMp4Telemetry(const QString &path, tagTRACKTELEMETRY *out, QString *error = nullptr);
