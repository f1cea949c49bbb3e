// GPMF payloads, CAMM packets and MP4 files are built here byte by byte, so every value read back
// is known.
#include "catalogue/camm.h"
#include "catalogue/gpmf.h"
#include "catalogue/mp4boxes.h"
#include "fixtures/exiftooldocs.h"
#include "fixtures/makerclips.h"
#include "fixtures/telemetryclips.h"
#include "fixtures/testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

namespace {

using namespace makerclips;

const QByteArray kGps5Scal = Klv("SCAL", 'l', 4, 5, Longs({10000000, 10000000, 1000, 1000, 100}));

// Two GPS5 samples with fix, time and precision.
QByteArray Gps5Stream()
{
    return Nest("STRM", Klv("GPSF", 'L', 4, 1, Longs({3})) + Klv("GPSU", 'U', 16, 1, "230415103020.500")
                            + Klv("GPSP", 'S', 2, 1, Be(150, 2)) + kGps5Scal
                            + Klv("GPS5", 'l', 20, 2,
                                  Longs({375000000, -1220000000, 12345, 5000, 510})
                                      + Longs({375000100, -1219999900, 12400, 6000, 610})));
}

void Parse(const QByteArray &payload, tagTRACKTELEMETRY *out, double start = 10.0, double duration = 1.0)
{
    CGpmf::ParsePayload(payload.constData(), payload.size(), start, duration, out);
}

TEST(Gpmf, ReadsGps5Gps9AndAccelerationWithTheirScales)
{
    const QByteArray accl = Nest("STRM", Klv("SCAL", 's', 2, 1, Be(100, 2))
                                             + Klv("ACCL", 's', 6, 4,
                                                   Longs({981, -196, 0}, 2) + Longs({0, 0, 981}, 2)
                                                       + Longs({-981, 981, 0}, 2) + Longs({0, 0, 0}, 2)));
    const QByteArray gps9 = Nest("STRM", Klv("TYPE", 'c', 9, 1, "lllllllSS")
                                             + Klv("SCAL", 'l', 4, 9,
                                                   Longs({10000000, 10000000, 1000, 1000, 100, 1, 1000, 100, 1}))
                                             + Klv("GPS9", '?', 32, 1,
                                                   Longs({-337000000, 1512000000, 20000, 2500, 300, 8500, 3600500})
                                                       + Be(250, 2) + Be(2, 2)));
    tagTRACKTELEMETRY out;
    Parse(Nest("DEVC", Klv("DVNM", 'c', 6, 1, "Camera") + Gps5Stream() + accl + gps9), &out);

    ASSERT_EQ(3, out.vecFix.size());
    const tagTRACKFIX &a = out.vecFix[0], &b = out.vecFix[1], &c = out.vecFix[2];
    EXPECT_DOUBLE_EQ(37.5, a.dLat);
    EXPECT_DOUBLE_EQ(-122.0, a.dLon);
    EXPECT_DOUBLE_EQ(12.345, a.dAlt);
    EXPECT_DOUBLE_EQ(5.0, a.dSpeed);
    EXPECT_EQ('A', a.cStatus);
    EXPECT_DOUBLE_EQ(1.5, a.dDop);
    EXPECT_DOUBLE_EQ(10.0, a.dTime);
    EXPECT_DOUBLE_EQ(10.5, b.dTime);
    EXPECT_DOUBLE_EQ(37.50001, b.dLat);
    ASSERT_TRUE(a.bHasUtc && b.bHasUtc);
    EXPECT_EQ(QDateTime(QDate(2023, 4, 15), QTime(10, 30, 20, 500), QTimeZone::utc()).toMSecsSinceEpoch(), a.nUtcMs);
    EXPECT_EQ(a.nUtcMs + 500, b.nUtcMs);
    // GPS9: its own time (day 8500 after 2000-01-01, 3600.5 s), DOP and a 2D fix.
    EXPECT_DOUBLE_EQ(-33.7, c.dLat);
    EXPECT_DOUBLE_EQ(151.2, c.dLon);
    EXPECT_DOUBLE_EQ(2.5, c.dSpeed);
    EXPECT_DOUBLE_EQ(2.5, c.dDop);
    EXPECT_EQ('A', c.cStatus);
    EXPECT_EQ(QDateTime(QDate(2000, 1, 1).addDays(8500), QTime(1, 0, 0, 500), QTimeZone::utc()).toMSecsSinceEpoch(),
              c.nUtcMs);

    // Y, -X, Z of the camera, in m/s² times 100.
    ASSERT_EQ(4, out.vecAccel.size());
    EXPECT_NEAR(0.19986, out.vecAccel[0].fX, 1e-4);
    EXPECT_NEAR(1.00034, out.vecAccel[0].fY, 1e-4);
    EXPECT_NEAR(1.00034, out.vecAccel[1].fZ, 1e-4);
    EXPECT_NEAR(-1.00034, out.vecAccel[2].fX, 1e-4);
    EXPECT_DOUBLE_EQ(10.75, out.vecAccel[3].dTime);
}

TEST(Gpmf, DamagedItemsAreSkippedAndNothingIsReadOutsideThePayload)
{
    const QByteArray good = Gps5Stream();
    const struct {
        const char *name;
        QByteArray payload;
        int fixes;
        char status;
    } cases[] = {
        {"size past the end", (Nest("DEVC", good) + Nest("DEVC", good)).left(good.size() + 8 + 40), 2, 'A'},
        {"huge repeat", Nest("DEVC", good + Klv("STRM", 0, 4, 65535, Longs({0}))), 2, 'A'},
        {"GPS5 as text", Nest("DEVC", Nest("STRM", kGps5Scal + Klv("GPS5", 'c', 20, 1, QByteArray(20, 'x')))), 0, 0},
        {"GPS5 of three values", Nest("DEVC", Nest("STRM", Klv("GPS5", 'l', 12, 1, Longs({1, 2, 3})))), 0, 0},
        {"zero divisor", Nest("DEVC", Nest("STRM", Klv("SCAL", 'l', 4, 1, Longs({0}))
                                                       + Klv("GPS5", 'l', 20, 1, Longs({1, 2, 3, 4, 5})))), 0, 0},
        {"no lock", Nest("DEVC", Nest("STRM", Klv("GPSF", 'L', 4, 1, Longs({0})) + kGps5Scal
                                                  + Klv("GPS5", 'l', 20, 1, Longs({375000000, 10, 0, 0, 0})))), 1, 'V'},
        {"complex without its TYPE", Nest("DEVC", Nest("STRM", Klv("GPS5", '?', 20, 1, Longs({1, 2, 3, 4, 5})))), 0, 0},
        {"cut header", good.left(5), 0, 0},
    };
    for (const auto &c : cases) {
        tagTRACKTELEMETRY out;
        Parse(c.payload, &out);
        ASSERT_EQ(c.fixes, out.vecFix.size()) << c.name;
        if (c.fixes) {
            EXPECT_EQ(c.status, out.vecFix[0].cStatus) << c.name;
        }
    }
}

// The Karma drone's streams: SYST pairs of system time (us) and UTC (ms), GLPI (position
// estimate) and GPRI (the receiver's fix) as complex structures of their TYPE.
const qint64 kSystUtcMs = 1683964800000; // 2023-05-13 08:00:00 UTC at 100 s of system time
// Two pairs, a stream each (as exiftool reads them).
const QByteArray kSyst = Syst({100000000, kSystUtcMs}) + Syst({200000000, kSystUtcMs + 100000});
// System time in us, speed in cm/s, course in hundredths of a degree.
QByteArray Gpri(qint64 us, qint64 lat, qint64 lon, qint64 speed, qint64 course)
{
    return Nest("STRM", Klv("TYPE", 'c', 10, 1, "JlllSSSSBB")
                            + Klv("SCAL", 'l', 4, 10,
                                  Longs({1000000, 10000000, 10000000, 1000, 100, 100, 100, 100, 1, 1}))
                            + Klv("GPRI", '?', 30, 1, Be(quint64(us), 8) + Longs({lat, lon, 54321})
                                                          + Longs({150, 250, speed, course}, 2) + "\x03\x09"));
}

// GLPI and GPRI give fixes like GPS5's: position, ground speed, course, UTC through SYST; one
// place of positions a payload; a structure that cannot be read is skipped and counted.
TEST(Gpmf, KarmaStructuresGiveFixes)
{
    const QByteArray glpi = Glpi(GlpiRow(120500, 375000000, -1222500000, 300, -400, 30650) + QByteArray(28, 0));
    const QByteArray gpri = Gpri(120250000, -337000000, 1512000000, 550, 9000), junk(28, 1);
    const qint64 gps5Utc = QDateTime(QDate(2023, 4, 15), QTime(10, 30, 20, 500), QTimeZone::utc()).toMSecsSinceEpoch();
    const struct {
        const char *name;
        QByteArray payload;
        int fixes, skipped;
        double lat, lon, alt, speed, course;
        qint64 utc; // of the first fix, -1 for none
    } cases[] = {
        {"GLPI", kSyst + glpi, 2, 0, 37.5, -122.25, 12.345, 5.0, 306.5, kSystUtcMs + 20500},
        {"GPRI", gpri + kSyst, 1, 0, -33.7, 151.2, 54.321, 5.5, 90.0, kSystUtcMs + 20250},
        {"GLPI over GPRI", gpri + glpi + kSyst, 2, 0, 37.5, -122.25, 12.345, 5.0, 306.5, kSystUtcMs + 20500},
        {"GPS5 over both", Gps5Stream() + glpi + gpri, 2, 0, 37.5, -122.0, 12.345, 5.0, -1.0, gps5Utc},
        {"no SYST", glpi, 2, 0, 37.5, -122.25, 12.345, 5.0, 306.5, -1},
        {"SYST of two pairs", Syst({100000000, kSystUtcMs, 200000000, kSystUtcMs + 100000}) + glpi, 2, 0, 37.5,
         -122.25, 12.345, 5.0, 306.5, kSystUtcMs + 20500},
        {"one SYST pair", Syst({120000000, kSystUtcMs}) + glpi, 2, 0, 37.5, -122.25, 12.345, 5.0, 306.5,
         kSystUtcMs + 500},
        {"heading unknown", kSyst + Glpi(GlpiRow(121000, 1, 2, 0, 700, 65535)), 1, 0, 1e-7, 2e-7, 12.345, 7.0, -1.0,
         kSystUtcMs + 21000},
        {"TYPE longer than the structure", Glpi(junk, "LllllsssSS"), 0, 1, 0, 0, 0, 0, 0, -1},
        {"structure longer than its TYPE", Glpi(QByteArray(32, 1), "LllllsssS", 32), 0, 1, 0, 0, 0, 0, 0, -1},
        {"TYPE of a letter that is no number", Glpi(junk, "LllllsssF"), 0, 1, 0, 0, 0, 0, 0, -1},
        {"TYPE of too few fields", Glpi(QByteArray(20, 1), "Lllll", 20), 0, 1, 0, 0, 0, 0, 0, -1},
        {"SCAL of three divisors", Glpi(junk, "LllllsssS", 28, Longs({1, 2, 3})), 0, 1, 0, 0, 0, 0, 0, -1},
        {"SYST of one field", Nest("STRM", Klv("SYST", 'J', 8, 1, Be(1, 8))) + glpi, 2, 1, 37.5, -122.25, 12.345, 5.0,
         306.5, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tagTRACKTELEMETRY out;
        tagGPMFSTATS stats;
        const QByteArray payload = Nest("DEVC", c.payload);
        CGpmf::ParsePayload(payload.constData(), payload.size(), 10.0, 1.0, &out, &stats);
        EXPECT_EQ(c.skipped, stats.nSkipped);
        ASSERT_EQ(c.fixes, out.vecFix.size());
        EXPECT_TRUE(out.vecAccel.isEmpty());
        if (!c.fixes)
            continue;
        const tagTRACKFIX &f = out.vecFix[0];
        EXPECT_EQ('A', f.cStatus);
        EXPECT_NEAR(c.lat, f.dLat, 1e-9);
        EXPECT_NEAR(c.lon, f.dLon, 1e-9);
        EXPECT_NEAR(c.alt, f.dAlt, 1e-9);
        EXPECT_NEAR(c.speed, f.dSpeed, 1e-9);
        EXPECT_NEAR(c.course, f.dCourse, 1e-9);
        EXPECT_EQ(c.utc, f.bHasUtc ? f.nUtcMs : -1);
        // The second GLPI row is all zeros: no position, half a second on.
        if (c.fixes == 2 && c.course != -1.0) {
            EXPECT_EQ('V', out.vecFix[1].cStatus);
            EXPECT_DOUBLE_EQ(10.5, out.vecFix[1].dTime);
        }
    }
}

// A real H.264 clip with a Karma's 'gpmd' track (SYST, and GLPI or GPRI, every second): exiftool
// -ee gives the same GLPI fixes, and with -u the same GPRI fixes (position, speed, course, UTC).
TEST(CrossCheck, KarmaStructuresAgreeWithExiftool)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile video(
        telemetryclips::WritePlainClip(dir.path(), QStringLiteral("video.mp4"), 3, telemetryclips::Utc(kSystUtcMs)));
    ASSERT_TRUE(video.open(QIODevice::ReadOnly));
    const QByteArray base = video.readAll();
    for (const bool raw : {false, true}) {
        SCOPED_TRACE(raw ? "GPRI" : "GLPI");
        telemetryclips::Track track;
        track.entry = "gpmd";
        for (int s = 0; s < 3; ++s) {
            // Two estimates a second or one receiver's fix, 0.25 s of system time after the second.
            const qint64 ms = 100250 + 1000 * s, lat = 375000000 + 1234 * s, lon = -1222500000 - 4321 * s;
            track.samples << Nest("DEVC", kSyst + (raw ? Gpri(ms * 1000, lat, lon, 550 + 10 * s, 9000 + 125 * s)
                                                       : Glpi(GlpiRow(ms, lat, lon, 300 + s, -400, 30650 + s)
                                                              + GlpiRow(ms + 500, lat + 99, lon - 99, 0, 700, 120))));
            track.durations << 1000;
        }
        QByteArray clip = base;
        QString error;
        ASSERT_TRUE(telemetryclips::AddTrack(&clip, track, &error)) << error.toStdString();
        const QString path = dir.filePath(raw ? QStringLiteral("gpri.mp4") : QStringLiteral("glpi.mp4"));
        ASSERT_TRUE(testfiles::Write(path, clip));
        tagTRACKTELEMETRY ours;
        ASSERT_EQ(1, ReadMp4Telemetry(path, &ours));
        const exiftooldocs::Docs docs =
            exiftooldocs::Read(path, raw ? QStringList{QStringLiteral("-u")} : QStringList(), &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        const QString x = raw ? QStringLiteral("Raw") : QString();
        int i = 0;
        for (const auto &doc : docs) {
            const QStringList lat = doc.value(QStringLiteral("GPSLatitude") + x);
            for (int k = 0; k < lat.size(); ++k, ++i) {
                SCOPED_TRACE(i);
                ASSERT_LT(i, ours.vecFix.size());
                const auto v = [&](const QString &tag) { return doc.value(tag).value(k).toDouble(); };
                const tagTRACKFIX &a = ours.vecFix[i];
                EXPECT_NEAR(lat[k].toDouble(), a.dLat, 1e-9);
                EXPECT_NEAR(v(QStringLiteral("GPSLongitude") + x), a.dLon, 1e-9);
                EXPECT_NEAR(raw ? v(QStringLiteral("GPSSpeedRaw"))
                                : std::hypot(v(QStringLiteral("GPSSpeedX")), v(QStringLiteral("GPSSpeedY"))),
                            a.dSpeed, 1e-9);
                EXPECT_NEAR(v(QStringLiteral("GPSTrack") + x), a.dCourse, 1e-9);
                EXPECT_EQ(exiftooldocs::Utc(doc.value(QStringLiteral("GPSDateTime") + x).value(k)),
                          a.bHasUtc ? a.nUtcMs : -2);
                EXPECT_DOUBLE_EQ(raw ? i : i / 2 + (i % 2) * 0.5, a.dTime);
            }
        }
        EXPECT_EQ(raw ? 3 : 6, i);
        EXPECT_EQ(i, ours.vecFix.size());
    }
}

QByteArray CammGps(double gpsTime, qint32 fix, double lat, double lon, float east, float north)
{
    return CammPacket(6, Le(gpsTime) + Le(fix) + Le(lat) + Le(lon) + Le(120.5f) + Le(3.0f) + Le(4.0f)
                             + Le(east) + Le(north) + Le(0.5f) + Le(0.2f));
}

TEST(Camm, PacketsGiveFixesAndSamples)
{
    const QByteArray accel = CammPacket(3, Le(0.0f) + Le(9.80665f) + Le(-19.6133f));
    // 1 368 000 000 s after 1980-01-06 in GPS time is 2023-05-13 08:00:00 UTC less 18 leap seconds.
    const qint64 utcMs = (315964800LL + 1368000000LL - 18) * 1000 + 250;
    const struct {
        const char *name;
        QByteArray sample;
        int fixes, samples;
    } cases[] = {
        {"acceleration", accel, 0, 1},
        {"GPS", CammGps(1368000000.25, 3, 48.5, 2.25, 3.0f, -4.0f), 1, 0},
        {"no fix", CammGps(0, 0, 0, 0, 0, 0), 1, 0},
        {"minimal GPS", CammPacket(5, Le(-12.5) + Le(130.0) + Le(55.0)), 1, 0},
        {"known types passed over", CammPacket(0, QByteArray(12, 1)) + CammPacket(1, QByteArray(8, 1))
                                        + CammPacket(2, QByteArray(12, 1)) + CammPacket(7, QByteArray(12, 1)) + accel,
         0, 1},
        {"unknown type ends the sample", accel + CammPacket(9, QByteArray(12, 0)) + accel, 0, 1},
        {"cut packet", accel + accel.left(10), 0, 1},
    };
    for (const auto &c : cases) {
        tagTRACKTELEMETRY out;
        CCamm::ParseSample(c.sample.constData(), c.sample.size(), 4.0, 0.5, &out);
        ASSERT_EQ(c.fixes, out.vecFix.size()) << c.name;
        ASSERT_EQ(c.samples, out.vecAccel.size()) << c.name;
    }

    tagTRACKTELEMETRY out;
    const QByteArray both = CammGps(1368000000.25, 3, 48.5, 2.25, 3.0f, -4.0f) + accel
        + CammPacket(5, Le(-12.5) + Le(130.0) + Le(55.0));
    CCamm::ParseSample(both.constData(), both.size(), 4.0, 0.6, &out);
    ASSERT_EQ(2, out.vecFix.size());
    ASSERT_EQ(1, out.vecAccel.size());
    const tagTRACKFIX &gps = out.vecFix[0], &minimal = out.vecFix[1];
    EXPECT_EQ('A', gps.cStatus);
    EXPECT_DOUBLE_EQ(48.5, gps.dLat);
    EXPECT_DOUBLE_EQ(2.25, gps.dLon);
    EXPECT_DOUBLE_EQ(120.5, gps.dAlt);
    EXPECT_DOUBLE_EQ(5.0, gps.dSpeed);
    EXPECT_NEAR(143.13, gps.dCourse, 0.01); // east 3, south 4
    ASSERT_TRUE(gps.bHasUtc);
    EXPECT_EQ(utcMs, gps.nUtcMs);
    EXPECT_DOUBLE_EQ(4.0, gps.dTime);
    EXPECT_DOUBLE_EQ(4.2, out.vecAccel[0].dTime);
    EXPECT_NEAR(1.0, out.vecAccel[0].fY, 1e-6);
    EXPECT_NEAR(-2.0, out.vecAccel[0].fZ, 1e-6);
    EXPECT_DOUBLE_EQ(-12.5, minimal.dLat);
    EXPECT_DOUBLE_EQ(55.0, minimal.dAlt);
    EXPECT_FALSE(minimal.bHasUtc);
    EXPECT_NEAR(4.4, minimal.dTime, 1e-12);
}

// An MP4 file with a video track (no samples read) and one telemetry track.
struct Mp4Spec {
    QByteArray entry = "gpmd";
    QVector<QByteArray> samples;
    quint32 timeScale = 1000;
    quint32 delta = 1001;
    bool co64 = false;          // 64-bit chunk offsets and an 'mdat' with a largesize
    qint64 claimedSamples = -1; // an 'stsz' that claims this many samples of constant size 16
    bool moovFirst = false;
};

QByteArray MakeMp4(const Mp4Spec &spec)
{
    const QByteArray ftyp = Box("ftyp", "isom" + Be(512, 4) + "isomiso2mp41");
    QByteArray media;
    for (const QByteArray &s : spec.samples)
        media += s;
    const QByteArray mdatHeader = spec.co64 ? Be(1, 4) + "mdat" + Be(16 + media.size(), 8) : Be(8 + media.size(), 4) + "mdat";
    // The movie box's size does not depend on the offsets in it.
    const auto moov = [&](qint64 first) {

    QByteArray sizes, offsets;
    qint64 at = first;
    for (const QByteArray &s : spec.samples) {
        sizes += Be(s.size(), 4);
        offsets += spec.co64 ? Be(at, 8) : Be(at, 4);
        at += s.size();
    }
    const int n = spec.samples.size();
    const QByteArray stsz = spec.claimedSamples >= 0 ? FullBox("stsz", 0, Be(16, 4) + Be(spec.claimedSamples, 4))
                                                     : FullBox("stsz", 0, Be(0, 4) + Be(n, 4) + sizes);
    const QByteArray stbl = Box("stbl", FullBox("stsd", 0, Be(1, 4) + Box(spec.entry.constData(), QByteArray(8, 0)))
                                            + FullBox("stts", 0, Be(1, 4) + Be(n, 4) + Be(spec.delta, 4))
                                            + FullBox("stsc", 0, Be(1, 4) + Be(1, 4) + Be(1, 4) + Be(1, 4)) + stsz
                                            + FullBox(spec.co64 ? "co64" : "stco", 0, Be(n, 4) + offsets));
    auto trak = [&](quint32 id, const char *handler, const QByteArray &stblBox) {
        return Box("trak", FullBox("tkhd", 0, Be(0, 4) + Be(0, 4) + Be(id, 4) + QByteArray(72, 0))
                               + Box("mdia", FullBox("mdhd", 1, Be(0, 8) + Be(0, 8) + Be(spec.timeScale, 4) + Be(0, 8))
                                                 + FullBox("hdlr", 0, Be(0, 4) + QByteArray(handler, 4) + QByteArray(13, 0))
                                                 + Box("minf", stblBox)));
    };
    const QByteArray video = Box("stbl", FullBox("stsd", 0, Be(1, 4) + Box("avc1", QByteArray(78, 0))));
    // 2023-05-13 08:00:00 UTC in seconds since 1904.
    const QByteArray mvhd = FullBox("mvhd", 0, Be(1683964800LL + 2082844800LL, 4) + QByteArray(92, 0));
    return Box("moov", mvhd + trak(1, "vide", video) + trak(2, "meta", stbl));
    };
    if (spec.moovFirst) {
        const qint64 size = moov(0).size();
        return ftyp + moov(ftyp.size() + size + mdatHeader.size()) + mdatHeader + media;
    }
    return ftyp + mdatHeader + media + moov(ftyp.size() + mdatHeader.size());
}

QString WriteFile(const QTemporaryDir &dir, const char *name, const QByteArray &bytes)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << name;
    return path;
}

QByteArray GpmfSample(int i)
{
    return Nest("DEVC", Nest("STRM", Klv("GPSF", 'L', 4, 1, Longs({3})) + kGps5Scal
                                         + Klv("GPS5", 'l', 20, 1, Longs({375000000 + i, -1220000000, 0, 1000 * i, 0}))));
}

TEST(Mp4Boxes, FindsTheTelemetryTrackAndItsSamples)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Mp4Spec gpmd;
    for (int i = 0; i < 3; ++i)
        gpmd.samples << GpmfSample(i);
    Mp4Spec camm;
    camm.entry = "camm";
    camm.co64 = true;
    camm.timeScale = 90000;
    camm.delta = 9000;
    camm.samples << CammPacket(3, Le(0.0f) + Le(0.0f) + Le(9.80665f)) << CammGps(1368000000, 3, 1, 2, 0, 0);
    const QByteArray gpmdFile = MakeMp4(gpmd);
    Mp4Spec huge = gpmd;
    huge.claimedSamples = 1000000000;
    Mp4Spec moovFirst = gpmd;
    moovFirst.moovFirst = true;

    const struct {
        const char *name;
        QByteArray file;
        int samples;
        double lastStart;
        bool truncated;
    } cases[] = {
        {"gpmd", gpmdFile, 3, 2.002, false},
        {"camm with 64-bit sizes", MakeMp4(camm), 2, 0.1, false},
        {"stsz claims 10^9 samples", MakeMp4(huge), 3, 2.002, true},
        {"media cut in its last sample", MakeMp4(moovFirst).chopped(4), 2, 1.001, true},
    };
    for (const auto &c : cases) {
        CMp4Boxes boxes;
        ASSERT_TRUE(boxes.Open(WriteFile(dir, c.name, c.file))) << c.name;
        EXPECT_EQ(QDateTime(QDate(2023, 5, 13), QTime(8, 0), QTimeZone::utc()), boxes.CreationTimeUtc()) << c.name;
        ASSERT_EQ(2, boxes.Tracks().size()) << c.name;
        const tagMP4TRACK &video = boxes.Tracks()[0], &meta = boxes.Tracks()[1];
        EXPECT_EQ("vide", video.handler);
        EXPECT_EQ("avc1", video.sampleEntry);
        EXPECT_TRUE(video.samples.isEmpty());
        EXPECT_EQ(2u, meta.nTrackId);
        EXPECT_EQ("meta", meta.handler);
        ASSERT_EQ(c.samples, meta.samples.size()) << c.name;
        EXPECT_DOUBLE_EQ(c.lastStart, meta.samples.last().dStart) << c.name;
        EXPECT_EQ(c.truncated, boxes.Truncated()) << c.name;
        if (!c.truncated) {
            EXPECT_FALSE(boxes.TooLarge()) << c.name; // headers longer than what is read of them are no limit
            // Each sample reads back as the bytes put in.
            const Mp4Spec &spec = std::strcmp(c.name, "gpmd") == 0 ? gpmd : camm;
            for (int i = 0; i < c.samples; ++i)
                EXPECT_EQ(spec.samples[i], boxes.ReadSample(meta.samples[i])) << c.name << i;
        }
    }

    // Cut before the movie box: nothing to read; cut inside it: what came before the cut.
    const int moovAt = gpmdFile.indexOf("moov") - 4;
    CMp4Boxes cut;
    EXPECT_FALSE(cut.Open(WriteFile(dir, "cut before", gpmdFile.left(moovAt))));
    ASSERT_TRUE(cut.Open(WriteFile(dir, "cut inside", gpmdFile.left(gpmdFile.size() - 60))));
    EXPECT_TRUE(cut.Truncated());
    ASSERT_EQ(2, cut.Tracks().size());
    EXPECT_TRUE(cut.Tracks()[1].samples.isEmpty());

    tagTRACKTELEMETRY out;
    ASSERT_EQ(1, ReadMp4Telemetry(WriteFile(dir, "read", gpmdFile), &out));
    ASSERT_EQ(3, out.vecFix.size());
    EXPECT_DOUBLE_EQ(1.001, out.vecFix[1].dTime);
    EXPECT_DOUBLE_EQ(2.0, out.vecFix[2].dSpeed);
    QString error;
    EXPECT_EQ(0, ReadMp4Telemetry(dir.filePath("missing.mp4"), &out, &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
