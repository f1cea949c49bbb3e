// Tesla's SEI telemetry: messages written as the car writes them into an ffmpeg clip, read back
// point by point and each payload checked against protoc --decode_raw; SEI and NAL walking,
// emulation prevention, damaged and hostile messages, and a clip without any.
#include "catalogue/cliptelemetry.h"
#include "catalogue/teslasei.h"
#include "fixtures/teslaclip.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using teslaclip::Frame;

// Ten pictures: north and west, every gear, blinker, brake and autopilot state; picture 3 at
// 0, 0 and picture 5 off the globe (no fix, but their state), picture 7 cut short (nothing),
// picture 8 with fields the reader does not know.
QVector<Frame> Frames()
{
    QVector<Frame> frames;
    for (int i = 0; i < 10; ++i) {
        Frame f;
        f.gear = i % 4;
        f.frame = 1000 + i;
        f.speed = 12.5f + i;
        f.accelerator = 10.0f * i;
        f.steering = -45.25f + 10 * i;
        f.left = i % 3 == 1 || i == 9;
        f.right = i % 3 == 2 || i == 9;
        f.brake = i % 2;
        f.autopilot = i % 4;
        f.lat = 37.5 + 0.001 * i;
        f.lon = -122.25 - 0.001 * i;
        f.heading = i == 4 ? -10.0 : 5.0 * i;
        f.ax = 0.5 * i;
        f.ay = -kStandardGravity;
        f.az = 1.0;
        f.fill = 1 + i % 5;
        frames.append(f);
    }
    frames[3].lat = frames[3].lon = 0;
    frames[5].lat = 95.0;
    frames[7].cut = 3;
    frames[8].extra = teslaclip::Key(20, 2) + "\x01x" + teslaclip::Key(99, 0) + "\x05";
    return frames;
}

// protoc --decode_raw of one message: field number and value text of each top-level line.
QVector<QPair<int, QString>> DecodeRaw(const QByteArray &message, bool *ok)
{
    QProcess protoc;
    protoc.start(QStringLiteral("protoc"), {QStringLiteral("--decode_raw")});
    *ok = protoc.waitForStarted(10000);
    if (!*ok)
        return {};
    protoc.write(message);
    protoc.closeWriteChannel();
    *ok = protoc.waitForFinished(30000) && protoc.exitStatus() == QProcess::NormalExit &&
          protoc.exitCode() == 0;
    QVector<QPair<int, QString>> fields;
    for (const QString &line :
         QString::fromUtf8(protoc.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const int colon = line.indexOf(QLatin1String(": "));
        if (colon > 0 && !line.startsWith(' '))
            fields.append({line.left(colon).toInt(), line.mid(colon + 2)});
    }
    return fields;
}

template <typename T> quint64 Bits(T v)
{
    quint64 b = 0;
    std::memcpy(&b, &v, sizeof v);
    return b;
}

// What our decoder holds for a field, in protoc's notation (varints as numbers, fixed32 and
// fixed64 as hexadecimal bits); empty for a field it does not read.
QString Ours(const tagTESLAFRAME &f, int field)
{
    const auto hex = [](quint64 bits, int digits) {
        return QStringLiteral("0x%1").arg(bits, digits, 16, QLatin1Char('0'));
    };
    const double doubles[] = {f.dLat, f.dLon, f.dHeading, f.dAccel[0], f.dAccel[1], f.dAccel[2]};
    switch (field) {
    case 1: return QString::number(f.nVersion);
    case 2: return QString::number(f.nGear);
    case 3: return QString::number(f.nFrame);
    case 4: return hex(Bits(f.fSpeed), 8);
    case 5: return hex(Bits(f.fAccelerator), 8);
    case 6: return hex(Bits(f.fSteering), 8);
    case 7: return QString::number(f.bBlinkerLeft);
    case 8: return QString::number(f.bBlinkerRight);
    case 9: return QString::number(f.bBrake);
    case 10: return QString::number(f.nAutopilot);
    default: return field >= 11 && field <= 16 ? hex(Bits(doubles[field - 11]), 16) : QString();
    }
}

TEST(TeslaSei, GeneratedClipReadsBackPointByPointAndEveryPayloadAsProtocReadsIt)
{
    QTemporaryDir dir;
    const QVector<Frame> frames = Frames();
    const QString clip = teslaclip::Make(dir.path(), QStringLiteral("2025-11-20_14-05-33-front.mp4"), frames);
    ASSERT_FALSE(clip.isEmpty());

    // Each sample's payload, as our walk finds it, against protoc's reading of the same bytes.
    CMp4Boxes boxes;
    ASSERT_TRUE(boxes.Open(clip, true));
    ASSERT_EQ(4, boxes.Tracks().first().nNalLengthSize);
    const QVector<tagMP4SAMPLE> &samples = boxes.Tracks().first().samples;
    ASSERT_EQ(10, samples.size());
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        qint64 need = 0;
        int damaged = 0;
        const QVector<QByteArray> messages =
            CTeslaSei::Messages(boxes.ReadSample(samples[i]), 4, &need, &damaged);
        ASSERT_EQ(1, messages.size());
        EXPECT_EQ(teslaclip::Message(frames[i]), messages[0]) << "emulation prevention undone";
        bool ok = false;
        const QVector<QPair<int, QString>> raw = DecodeRaw(messages[0], &ok);
        tagTESLAFRAME f;
        ASSERT_EQ(ok, CTeslaSei::Decode(messages[0], &f)) << "protoc and we agree on damage";
        if (!ok)
            continue;
        ASSERT_GE(raw.size(), 8);
        for (const auto &field : raw) {
            if (field.first <= 16)
                EXPECT_EQ(field.second, Ours(f, field.first)) << "field " << field.first;
            else
                EXPECT_TRUE(Ours(f, field.first).isEmpty());
        }
    }

    tagTRACKTELEMETRY track;
    ASSERT_EQ(1, ReadMp4Telemetry(clip, &track));
    EXPECT_EQ("tesla", track.source);
    EXPECT_EQ(0, track.bTooLarge);
    ASSERT_EQ(7, track.vecFix.size()); // 3 at 0, 0, 5 off the globe, 7 cut
    ASSERT_EQ(9, track.vecAccel.size());
    ASSERT_EQ(9, track.vecVehicle.size());
    int fix = 0, other = 0;
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        const Frame &in = frames[i];
        if (i == 7)
            continue;
        if (i != 3 && i != 5) {
            const tagTRACKFIX &f = track.vecFix[fix++];
            EXPECT_NEAR(0.1 * i, f.dTime, 1e-9);
            EXPECT_EQ('A', f.cStatus);
            EXPECT_FALSE(f.bHasUtc);
            EXPECT_DOUBLE_EQ(in.lat, f.dLat);
            EXPECT_DOUBLE_EQ(in.lon, f.dLon);
            EXPECT_DOUBLE_EQ(double(in.speed), f.dSpeed);
            EXPECT_DOUBLE_EQ(i == 4 ? 350.0 : in.heading, f.dCourse);
        }
        const tagTRACKSAMPLE &s = track.vecAccel[other];
        EXPECT_NEAR(0.1 * i, s.dTime, 1e-9);
        EXPECT_FLOAT_EQ(float(in.ax / kStandardGravity), s.fX);
        EXPECT_FLOAT_EQ(-1.0f, s.fY);
        EXPECT_FLOAT_EQ(float(in.az / kStandardGravity), s.fZ);
        const tagTRACKVEHICLE &v = track.vecVehicle[other++];
        EXPECT_NEAR(0.1 * i, v.dTime, 1e-9);
        EXPECT_EQ(in.gear, v.state.nGear);
        EXPECT_EQ(in.accelerator, v.state.fAccelerator);
        EXPECT_EQ(in.steering, v.state.fSteering);
        EXPECT_EQ(int(in.left), v.state.bBlinkerLeft);
        EXPECT_EQ(int(in.right), v.state.bBlinkerRight);
        EXPECT_EQ(int(in.brake), v.state.bBrake);
        EXPECT_EQ(in.autopilot, v.state.nAutopilot);
    }

    tagTESLASTATS stats;
    tagTRACKTELEMETRY again;
    qint64 budget = kMaxDataFileBytes;
    ASSERT_TRUE(CTeslaSei::ReadFile(clip, &again, &budget, &stats));
    EXPECT_EQ(10, stats.nMessages);
    EXPECT_EQ(9, stats.nDecoded);
    EXPECT_EQ(1, stats.nDamaged);
    EXPECT_EQ(2, stats.nNoFix);
    // Only the heads of the samples were read: the first one's x264 SEI and ours, then ours.
    const qint64 used = kMaxDataFileBytes - budget;
    EXPECT_LE(used, kTeslaMaxHeadBytes + 10 * kTeslaSampleHeadBytes);

    // A budget that runs out keeps what came before it.
    tagTRACKTELEMETRY poor;
    budget = used / 2;
    ASSERT_TRUE(CTeslaSei::ReadFile(clip, &poor, &budget));
    EXPECT_EQ(1, poor.bTooLarge);
    EXPECT_GT(poor.vecVehicle.size(), 0);
    EXPECT_LT(poor.vecVehicle.size(), 9);

    // In the catalogue's record: the car's state at the clip's start plus its time, the source.
    tagCLIPSOURCES sources;
    sources.clipPath = clip;
    const tagCLIPTELEMETRY rec = ReadClipTelemetry(sources, CLocalClock(1.0));
    ASSERT_EQ(1, rec.info.bValid);
    EXPECT_EQ(TS_TESLA, rec.info.nSource);
    EXPECT_EQ(0, rec.info.bNoClock);
    ASSERT_EQ(9, rec.info.vecVehicle.size());
    const SYSTEMTIME &t = rec.info.vecVehicle[8].stTime; // picture 9, 15:05:33.900 an hour east of UTC
    EXPECT_EQ(15, t.wHour);
    EXPECT_EQ(33, t.wSecond);
    EXPECT_EQ(900, t.wMilliseconds);
    EXPECT_EQ(VG_DRIVE, rec.info.vecVehicle[8].nGear);
    EXPECT_EQ(7, rec.info.vecGps.size());
}

TEST(TeslaSei, SeiMessagesAreFoundByTheirMarkerOnly)
{
    const QByteArray message = teslaclip::Message(Frames()[2]);
    const QByteArray longOne =
        message + teslaclip::Key(30, 2) + teslaclip::Varint(300) + QByteArray(300, '\0');
    const QByteArray uuid = teslaclip::SeiNumber(5) + teslaclip::SeiNumber(17) + QByteArray(17, '\xdc');
    const QByteArray noEnd = "\x42\x42\x70" + message;
    const QByteArray unmarked =
        '\x06' +
        teslaclip::Escape(teslaclip::SeiNumber(5) + teslaclip::SeiNumber(int(noEnd.size())) + noEnd + '\x80');
    QByteArray cut = teslaclip::SeiNal(message);
    cut[2] = char(message.size() + 40); // the size claims more than the unit holds
    const struct {
        const char *name;
        QByteArray nal;
        QByteArray found; // empty: none
        int damaged;
    } cases[] = {
        {"one 0x42", teslaclip::SeiNal(message, 1), message, 0},
        {"a size over 255 (0xFF continuation), zeros escaped", teslaclip::SeiNal(longOne, 4), longOne, 0},
        {"after another maker's user data", teslaclip::SeiNal(message, 3, uuid), message, 0},
        {"after a payload of type 261", teslaclip::SeiNal(message, 3, "\xff\x06\x01\x42"), message, 0},
        {"no 0x42 before the 0x69", teslaclip::SeiNal(message, 0), {}, 0},
        {"no 0x69 after the 0x42", unmarked, {}, 0},
        {"the size claims more than the unit holds", cut, {}, 1},
    };
    for (const auto &c : cases) {
        int damaged = 0;
        const QVector<QByteArray> got = CTeslaSei::MessagesOfSei(c.nal, &damaged);
        EXPECT_EQ(c.found.isEmpty() ? 0 : 1, got.size()) << c.name;
        if (!got.isEmpty() && !c.found.isEmpty())
            EXPECT_EQ(c.found, got[0]) << c.name;
        EXPECT_EQ(c.damaged, damaged) << c.name;
    }
    EXPECT_NE(-1, teslaclip::SeiNal(longOne, 4).indexOf(QByteArray("\0\0\3", 3))) << "the case escapes";

    // Length-prefixed units up to the first slice, for each length size; an SEI cut by the end
    // of what was read asks for the rest.
    for (int size : {1, 2, 4}) {
        const auto unit = [&](const QByteArray &nal) {
            QByteArray b;
            for (int i = size - 1; i >= 0; --i)
                b.append(char(nal.size() >> (8 * i)));
            return b + nal;
        };
        const QByteArray sei = teslaclip::SeiNal(message);
        const QByteArray head = unit("\x09\xf0") + QByteArray(size, '\0') + unit(sei) + unit("\x65\x88\x84") +
                                unit(teslaclip::SeiNal(teslaclip::Message(Frames()[4])));
        qint64 need = -1;
        int damaged = 0;
        const QVector<QByteArray> got = CTeslaSei::Messages(head, size, &need, &damaged);
        ASSERT_EQ(1, got.size()) << size;
        EXPECT_EQ(message, got[0]) << size;
        EXPECT_EQ(0, need) << size;
        const qint64 seiEnd = 2 + size + size + size + sei.size();
        EXPECT_TRUE(CTeslaSei::Messages(head.left(int(seiEnd) - 1), size, &need, &damaged).isEmpty()) << size;
        EXPECT_EQ(seiEnd, need) << size;
    }
}

TEST(TeslaSei, DamagedAndHostileMessagesAreRefusedUnknownFieldsPassedOver)
{
    const QByteArray ff9 = QByteArray(9, '\xff');
    const struct {
        const char *name;
        QByteArray bytes;
        bool ok;
    } cases[] = {
        {"empty: every field 0", {}, true},
        {"uint64 of ten bytes", "\x08" + ff9 + "\x01", true},
        {"varint of eleven bytes", "\x08" + ff9 + "\x81\x01", false},
        {"varint beyond 64 bits", "\x08" + ff9 + "\x02", false},
        {"key without its end", "\x80", false},
        {"varint without its end", "\x08\x80", false},
        {"length beyond the end", "\x12\xff\xff\xff\xff\x0f\x01", false},
        {"field 0", QByteArray("\x00\x01", 2), false},
        {"group start", "\x0b", false},
        {"wire type 7", "\x0f", false},
        {"fixed64 cut", "\x59\x01\x02", false},
        {"fixed32 cut", "\x25\x01", false},
        {"latitude as a varint, unknown field 99", "\x58\x05\x98\x06\x07", true},
        {"negative gear", "\x10" + ff9 + "\x01", true},
    };
    for (const auto &c : cases) {
        tagTESLAFRAME f;
        f.nGear = 77;
        EXPECT_EQ(c.ok, CTeslaSei::Decode(c.bytes, &f)) << c.name;
        if (!c.ok)
            EXPECT_EQ(77, f.nGear) << c.name << ": nothing of a refused message is kept";
    }
    tagTESLAFRAME f;
    ASSERT_TRUE(CTeslaSei::Decode("\x08" + ff9 + "\x01", &f));
    EXPECT_EQ(0xffffffffu, f.nVersion);
    ASSERT_TRUE(CTeslaSei::Decode("\x58\x05\x98\x06\x07", &f));
    EXPECT_EQ(0.0, f.dLat);
    ASSERT_TRUE(CTeslaSei::Decode("\x10" + ff9 + "\x01", &f));
    EXPECT_EQ(-1, f.nGear);

    // A message whose values no car gives: a fix only from a position on the globe, samples only
    // from numbers.
    tagTRACKTELEMETRY t;
    tagTESLASTATS stats;
    tagTESLAFRAME bad;
    bad.dLat = std::nan("");
    bad.dLon = 10.0;
    bad.bAccel = true;
    bad.dAccel[1] = INFINITY;
    CTeslaSei::AddFrame(bad, 0.0, &t, &stats);
    EXPECT_TRUE(t.vecFix.isEmpty());
    EXPECT_TRUE(t.vecAccel.isEmpty());
    EXPECT_EQ(1, t.vecVehicle.size());
}

TEST(TeslaSei, ClipWithoutTheCarsSeiCostsItsFirstSamplesOnly)
{
    QTemporaryDir dir;
    const QString clip = clipmaker::Make(dir.path(), QStringLiteral("plain.mp4"),
                                         {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=3",
                                          "-c:v", "libx264", "-pix_fmt", "yuv420p"});
    ASSERT_FALSE(clip.isEmpty());
    tagTRACKTELEMETRY t;
    tagTESLASTATS stats;
    qint64 budget = kMaxDataFileBytes;
    EXPECT_FALSE(CTeslaSei::ReadFile(clip, &t, &budget, &stats));
    EXPECT_EQ(kTeslaProbeSamples, stats.nSamples);
    EXPECT_LE(kMaxDataFileBytes - budget, kTeslaMaxHeadBytes + kTeslaProbeSamples * kTeslaSampleHeadBytes);
    EXPECT_TRUE(t.vecVehicle.isEmpty());
    QString error;
    EXPECT_EQ(0, ReadMp4Telemetry(clip, &t, &error));
}

} // namespace
