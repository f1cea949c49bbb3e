// BlackVue's 'free' box and the files beside its clips, written byte by byte from known values:
// read back, placed on the clip's timeline, taken by the catalogue and compared with exiftool.
#include "catalogue/blackvuegps.h"
#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"
#include "fixtures/exiftooldocs.h"
#include "fixtures/makerclips.h"
#include "fixtures/telemetryclips.h"
#include "fixtures/testfiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace makerclips;
using telemetryclips::Fix;

// The camera's clock at the recording's start; the receiver's UTC runs 9 h behind it.
constexpr qint64 kStart = 1634568490000; // 2021-10-18 14:48:10
constexpr qint64 kUtcLag = 9 * 3600 * 1000;

// A fix of the drive, `ms` after the start on the camera's clock.
Fix At(qint64 ms)
{
    Fix f;
    f.utcMs = kStart - kUtcLag + ms;
    f.lat = 37.5512 + ms * 1e-8;
    f.lon = -126.9881 - ms * 2e-8;
    f.alt = 41.5 + ms / 1000.0;
    f.speed = 12.5 + ms / 2000.0;
    f.course = 87.0;
    return f;
}

// The text as the camera writes it, of the fixes at the given times on the camera's clock.
QByteArray Text(const QVector<qint64> &codes, bool timeCodes = true)
{
    QVector<Fix> fixes;
    for (qint64 ms : codes)
        fixes << At(ms);
    return BlackVueText(fixes, kUtcLag, timeCodes);
}

// Ten records a second: x counts up through zero, y is negative, z about 1 g.
QByteArray Records(int n)
{
    QByteArray r;
    for (int i = 0; i < n; ++i)
        r += BlackVueRecord(100 * i, i - 3, -2 - i, 10 + i);
    return r;
}

QByteArray Free(const QByteArray &text, const QByteArray &records, qint64 start = kStart)
{
    return BlackVueFree(text, records, start);
}

// A clip of our own bytes: filler, ffmpeg's empty 'free', media data and the movie box, with
// BlackVue's box before or after 'moov'.
QByteArray Clip(const QByteArray &free, bool beforeMoov = false)
{
    const QByteArray head = Box("ftyp", "isom" + Be(512, 4) + "isomiso2mp41") + Box("free", {})
                            + Box("mdat", QByteArray(3000, 'v'));
    const QByteArray moov = Box("moov", FullBox("mvhd", 0, QByteArray(96, 0)));
    return beforeMoov ? head + free + moov : head + moov + free;
}

// The fixes and records of a clip give back what was written, on the timeline of the right
// start; what cannot be placed is counted.
TEST(BlackVue, FixesAndRecordsLandOnTheClipTimeline)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray text = Text({250, 1250, 2250});
    const QByteArray cut = Clip(Free(text, Records(4)));
    const struct {
        const char *name;
        QByteArray file;
        bool fromSttm;
        QVector<double> times; // of the fixes, s
        int noTimeCode, beforeStart, records, cut;
    } cases[] = {
        {"after moov, from sttm", Clip(Free(text, Records(5))), true, {0.25, 1.25, 2.25}, 0, 0, 5, 0},
        {"before moov, no sttm", Clip(Free(text, Records(5), -1), true), false, {0.0, 1.0, 2.0}, 0, 0, 5, 0},
        {"sttm of another day", Clip(Free(text, Records(5), kStart - 86400000)), false, {0.0, 1.0, 2.0}, 0, 0, 5, 0},
        {"a fix without a time code, one before the start",
         Clip(Free(Text({-500}) + Text({600}, false) + text, Records(2))), true, {0.25, 1.25, 2.25}, 1, 1, 2, 0},
        {"records ended by 0xffffffff", Clip(Free(text, Records(3) + BlackVueRecord(0xffffffff, 0, 0, 0) + Records(3))), true,
         {0.25, 1.25, 2.25}, 0, 0, 3, 0},
        {"records ended by the box's zeros", Clip(Free(text, Records(4) + QByteArray(50, '\0'))), true,
         {0.25, 1.25, 2.25}, 0, 0, 4, 0},
        {"a record cut short", Clip(Free(text, Records(4).chopped(3))), true, {0.25, 1.25, 2.25}, 0, 0, 3, 1},
        {"file cut in the last fix", cut.left(cut.lastIndexOf("$GPRMC") + 40), true, {0.25, 1.25}, 0, 0, 0, 0},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QStringLiteral("%1.mp4").arg(n++));
        ASSERT_TRUE(testfiles::Write(path, c.file));
        tagTRACKTELEMETRY out;
        tagBLACKVUESTATS stats;
        qint64 budget = kMaxDataFileBytes;
        ASSERT_TRUE(CBlackVueGps::ReadFile(path, &out, &budget, &stats));
        EXPECT_LT(kMaxDataFileBytes - budget, c.file.size() - 2900); // the media data are not read
        EXPECT_EQ(c.fromSttm, stats.bStartTime);
        EXPECT_EQ(c.noTimeCode, stats.nNoTimeCode);
        EXPECT_EQ(c.beforeStart, stats.nBeforeStart);
        EXPECT_EQ(c.cut, stats.nCutRecords);
        ASSERT_EQ(c.times.size(), out.vecFix.size());
        for (int i = 0; i < c.times.size(); ++i) {
            const Fix e = At(qint64(std::lround((c.times[i] + (c.fromSttm ? 0.0 : 0.25)) * 1000)));
            const tagTRACKFIX &f = out.vecFix[i];
            EXPECT_DOUBLE_EQ(c.times[i], f.dTime);
            EXPECT_TRUE(f.cStatus == 'A' && f.bHasUtc);
            EXPECT_EQ(e.utcMs, f.nUtcMs);
            EXPECT_NEAR(e.lat, f.dLat, 1e-6);
            EXPECT_NEAR(e.lon, f.dLon, 1e-6); // west
            EXPECT_NEAR(e.speed, f.dSpeed, 1e-3);
            EXPECT_NEAR(e.alt, f.dAlt, 0.05); // from the GGA
        }
        ASSERT_EQ(c.records, out.vecAccel.size());
        for (int i = 0; i < c.records; ++i) {
            const tagTRACKSAMPLE &a = out.vecAccel[i];
            EXPECT_TRUE(a.dTime == i / 10.0 && a.fX == (i - 3) / 10.0f && a.fY == (-2 - i) / 10.0f &&
                        a.fZ == (10 + i) / 10.0f)
                << i << ": " << a.dTime << " " << a.fX << " " << a.fY << " " << a.fZ;
        }
        EXPECT_EQ(0, out.bTooLarge);
    }
    // Another maker's 'free' box is none of BlackVue's; a budget smaller than the text reads none.
    ASSERT_TRUE(testfiles::Write(dir.filePath(QStringLiteral("other.mp4")), Clip(Box("free", Box("thmb", "jpeg")))));
    tagTRACKTELEMETRY none, small;
    qint64 budget = 200;
    EXPECT_FALSE(CBlackVueGps::ReadFile(dir.filePath(QStringLiteral("other.mp4")), &none, &budget));
    budget = 200;
    ASSERT_TRUE(CBlackVueGps::ReadFile(dir.filePath(QStringLiteral("0.mp4")), &small, &budget));
    EXPECT_TRUE(small.vecFix.isEmpty() && small.bTooLarge);
}

qint64 WallMs(const SYSTEMTIME &t)
{
    int64_t ms = 0;
    EXPECT_TRUE(WallClockMs(t, &ms));
    return ms;
}

// A real H.264 clip with BlackVue's box appended: exiftool -ee and we give the same fixes (clip
// time, UTC, position, speed) and G-sensor records. The same text and records beside a copy of
// the clip give the same, that clip started at the first time code; a .gps log without time codes
// stays a plain NMEA log, and a .3gf alone gives the G-sensor from the name's time.
TEST(CrossCheck, BlackVueAgreesWithExiftool)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto file = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };
    const QString video = telemetryclips::WritePlainClip(dir.path(), QStringLiteral("video.mp4"), 4,
                                                         telemetryclips::Utc(At(0).utcMs));
    ASSERT_FALSE(video.isEmpty());
    QFile f(video);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray clip = f.readAll(), text = Text({250, 1250, 2250, 3250}) + QByteArray(64, '\0');
    const QByteArray records = Records(38) + BlackVueRecord(0xffffffff, 0, 0, 0);
    const struct { const char *name; QByteArray bytes; } files[] = {
        {"inclip.mp4", clip + Free(text, records)}, {"beside.mp4", clip}, {"beside.GPS", text},
        {"beside.3gf", records}, {"plain.mp4", clip}, {"plain.gps", Text({250, 1250}, false)},
        {"g_20211018_144910.mp4", "clip"}, {"g_20211018_144910.3gf", records}};
    for (const auto &w : files)
        ASSERT_TRUE(testfiles::Write(file(w.name), w.bytes));

    tagTRACKTELEMETRY ours;
    ASSERT_EQ(1, ReadMp4Telemetry(file("inclip.mp4"), &ours));
    EXPECT_EQ(QByteArray("blackvue"), ours.source);
    QString error;
    QVector<QMap<QString, QStringList>> fixes, accel;
    for (const auto &doc : exiftooldocs::Read(file("inclip.mp4"), {}, &error))
        (doc.contains(QStringLiteral("GPSLatitude")) ? fixes : accel) << doc;
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const tagDATAFILEINFO rec = CCorvanaDoc::RecordOfClip(file("inclip.mp4")),
                          besides = CCorvanaDoc::RecordOfClip(file("beside.mp4"));
    ASSERT_EQ(4, fixes.size());
    ASSERT_EQ(38, accel.size());
    for (const tagDATAFILEINFO *r : {&rec, &besides}) {
        EXPECT_EQ(TS_BLACKVUE, r->nSource);
        ASSERT_EQ(fixes.size(), r->vecGps.size());
        ASSERT_EQ(accel.size(), r->vecAccel.size());
    }
    ASSERT_EQ(fixes.size(), ours.vecFix.size());
    ASSERT_EQ(accel.size(), ours.vecAccel.size());
    const QVector<tagGPSINFO> utc = FixesInUtc(rec), besideUtc = FixesInUtc(besides);
    for (int i = 0; i < fixes.size(); ++i) {
        SCOPED_TRACE(i);
        const auto value = [&](const char *tag) {
            return fixes[i].value(QString::fromLatin1(tag)).value(0).toDouble();
        };
        const tagTRACKFIX &a = ours.vecFix[i];
        const qint64 theirUtc = exiftooldocs::Utc(fixes[i].value(QStringLiteral("GPSDateTime")).value(0));
        EXPECT_NEAR(value("SampleTime"), a.dTime, 1e-9);
        EXPECT_NEAR(value("GPSLatitude"), a.dLat, 1e-6);
        EXPECT_NEAR(value("GPSLongitude"), a.dLon, 1e-6);
        EXPECT_NEAR(value("GPSSpeed") / 3.6, a.dSpeed, 1e-4);
        EXPECT_EQ(theirUtc, a.nUtcMs);
        EXPECT_EQ(theirUtc, WallMs(utc[i].stTime));
        EXPECT_EQ(theirUtc, WallMs(besideUtc[i].stTime));
    }
    for (int i = 0; i < accel.size(); ++i) {
        SCOPED_TRACE(i);
        const QStringList xyz = accel[i].value(QStringLiteral("Accelerometer")).value(0).split(QLatin1Char(' '));
        const tagTRACKSAMPLE &a = ours.vecAccel[i];
        ASSERT_EQ(3, xyz.size());
        EXPECT_NEAR(accel[i].value(QStringLiteral("TimeCode")).value(0).toDouble(), a.dTime, 1e-9);
        EXPECT_NEAR(xyz[0].toDouble(), a.fX, 1e-6);
        EXPECT_NEAR(xyz[1].toDouble(), a.fY, 1e-6);
        EXPECT_NEAR(xyz[2].toDouble(), a.fZ, 1e-6);
        // Beside the clip the first time code, 250 ms after the start, starts the clip.
        EXPECT_EQ(WallMs(rec.vecAccel[i].stTime) + 250, WallMs(besides.vecAccel[i].stTime));
    }

    const tagDATAFILEINFO plain = CCorvanaDoc::RecordOfClip(file("plain.mp4")),
                          named = CCorvanaDoc::RecordOfClip(file("g_20211018_144910.mp4"));
    EXPECT_EQ(TS_NMEA, plain.nSource);
    EXPECT_EQ(2, plain.vecGps.size());
    EXPECT_EQ(TS_BLACKVUE, named.nSource);
    EXPECT_EQ(0, named.vecGps.size());
    ASSERT_EQ(38, named.vecAccel.size());
    EXPECT_EQ(QStringLiteral("2021/10/18 - 14:49:10.000"), RecordListText(named, QString()));
    EXPECT_EQ(WallMs(named.stSyncTime) + 3700, WallMs(named.vecAccel[37].stTime));

    // Copying, deleting and packaging a recording take both files beside its clip.
    CCorvanaDoc doc;
    doc.SetFolder(dir.path());
    doc.LoadFolder();
    int listed = 0;
    for (int i = 0; i < doc.Count(); ++i) {
        if (doc.MediaPathAt(i) == file("beside.mp4") && ++listed)
            EXPECT_EQ(doc.DataFilesAt(i), (QStringList{file("beside.GPS"), file("beside.3gf")}));
    }
    EXPECT_EQ(1, listed);
}

} // namespace
