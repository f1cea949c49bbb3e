// CTeslaSei reads the telemetry that Tesla cars (firmware 2025.44.25 and later) write into the
// H.264 video of each camera's clip, one message per picture, into the same fixes and samples as
// the other readers, and the car's own state (gear, pedal, steering, blinkers, brake, autopilot)
// into the track's vehicle entries.
//
// Where it lies. Every sample of the 'avc1' track is a run of NAL units, each after its length
// ('avcC' gives the length's size). Before the picture's first slice (NAL types 1 to 5) stands an
// SEI NAL unit (type 6). Its RBSP (the bytes after the NAL header, each 00 00 03 read as 00 00) is
// a run of SEI messages: a payload type and a payload size, each a run of 0xFF bytes adding 255
// and one last byte, then that many bytes; the RBSP ends with the trailing-bits byte 0x80. The
// car's message is of type 5 (user data unregistered) and its payload is a run of 0x42 bytes, one
// 0x69, then a protobuf message that runs to the payload's end (never past the trailing byte).
//
// The message (protobuf wire format; a field left out is 0 or false):
//   1 varint  version             2 varint  gear (0 P, 1 D, 2 R, 3 N)
//   3 varint  frame number        4 fixed32 speed (float, m/s)
//   5 fixed32 accelerator pedal (float, percent)   6 fixed32 steering wheel angle (float, degrees)
//   7, 8 varint  left, right blinker               9 varint  brake applied
//   10 varint autopilot (0 none, 1 self-driving, 2 autosteer, 3 traffic-aware cruise)
//   11, 12 fixed64 latitude, longitude (double, degrees)   13 fixed64 heading (double, degrees)
//   14, 15, 16 fixed64 linear acceleration x, y, z (double, m/s^2)
// Fields of other numbers, or of a wire type other than the one above, are passed over.
//
// What each message gives, at its sample's start on the track's timeline (in decode order, as
// the other tracks' samples: composition offsets are not applied): a fix when its position is one a receiver
// gives (not 0, 0, within +-90 and +-180 degrees), with the speed and the heading; a G-sensor sample of the
// three accelerations in g (divided by 9.80665) when the message holds any of them; and always
// the car's state.
//
// Damage and limits: a message cut short, with a varint longer than ten bytes, a length beyond
// its end, a field number 0 or a wire type that no message uses (groups, 6, 7) is skipped and
// counted. Of each sample only its first kTeslaSampleHeadBytes are read, and up to
// kTeslaMaxHeadBytes when the NAL units before the slice reach further (longer ones are counted
// as damaged); at most kMaxTeslaNalsPerSample NAL units are looked at. When none of the first
// kTeslaProbeSamples samples holds such a message the clip counts as holding none and nothing
// more is read. Every byte read comes out of the caller's budget; kMaxFixesPerFile fixes,
// kMaxSamplesPerFile samples and vehicle entries. Reaching a limit sets bTooLarge.
#pragma once

#include "catalogue/mp4boxes.h"

#include <QByteArray>
#include <QString>
#include <QVector>

inline constexpr int kTeslaProbeSamples = 8;
inline constexpr qint64 kTeslaSampleHeadBytes = 512;
inline constexpr qint64 kTeslaMaxHeadBytes = 4096;
inline constexpr int kMaxTeslaNalsPerSample = 32;
inline constexpr double kStandardGravity = 9.80665;

// One decoded message.
struct tagTESLAFRAME {
    quint32 nVersion = 0;
    int nGear = VG_PARK;
    quint64 nFrame = 0;
    float fSpeed = 0.0f;       // m/s
    float fAccelerator = 0.0f; // percent
    float fSteering = 0.0f;    // degrees
    bool bBlinkerLeft = false;
    bool bBlinkerRight = false;
    bool bBrake = false;
    int nAutopilot = AP_NONE;
    double dLat = 0.0, dLon = 0.0, dHeading = 0.0; // degrees
    bool bAccel = false;                           // any of the accelerations was given
    double dAccel[3] = {0.0, 0.0, 0.0};            // m/s^2
};

// What one read of a clip met.
struct tagTESLASTATS {
    int nSamples = 0;  // video samples looked at
    int nMessages = 0; // the car's SEI messages found
    int nDecoded = 0;  // messages decoded
    int nNoFix = 0;    // decoded messages without a position
    int nDamaged = 0;  // messages skipped as damaged, and samples whose NAL units could not be walked
};

class CTeslaSei
{
public:
    // The car's messages (protobuf bytes) among the NAL units of a sample's first bytes, up to its
    // first slice; lengthSize is the NAL length's size (1, 2 or 4). *needBytes is set to the
    // number of the sample's bytes needed to walk further when head ends inside a NAL unit before
    // the slice (0 when head was enough); *damaged counts SEI that are cut or malformed.
    static QVector<QByteArray> Messages(const QByteArray &head, int lengthSize, qint64 *needBytes,
                                        int *damaged);
    // The messages of one SEI NAL unit (its header byte first).
    static QVector<QByteArray> MessagesOfSei(const QByteArray &nal, int *damaged);
    // Decodes one message; false when it is damaged (see above).
    static bool Decode(const QByteArray &message, tagTESLAFRAME *out);
    // Adds what one frame gives at time seconds to *out.
    static void AddFrame(const tagTESLAFRAME &frame, double time, tagTRACKTELEMETRY *out,
                         tagTESLASTATS *stats);

    // Reads the messages of the first 'avc1' track of the MP4 file at path into *out (fixes,
    // samples and vehicle entries are added; nothing else is changed but bTooLarge). *budget is
    // the number of bytes that may still be read and is lessened by what is read. True when the
    // clip holds at least one message, even one that gave nothing.
    static bool ReadFile(const QString &path, tagTRACKTELEMETRY *out, qint64 *budget,
                         tagTESLASTATS *stats = nullptr);
};
