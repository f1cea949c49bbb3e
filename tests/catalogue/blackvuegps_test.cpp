// BlackVue's 'free' box and the files beside its clips, written byte by byte from known values:
// read back, placed on the clip's timeline, taken by the catalogue and compared with exiftool.
#include "catalogue/blackvuegps.h"
#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"
#include "fixtures/mp4bytes.h"
#include "fixtures/telemetryclips.h"
#include "fixtures/testfiles.h"

#include <QMap>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace mp4bytes;
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

// The text as the camera writes it: an RMC and a GGA line per fix, both with the fix's time code.
QByteArray Text(const QVector<qint64> &codes, const QByteArray &timeCodes = {})
{
    QByteArray text;
    for (qint64 ms : codes) {
        const Fix f = At(ms);
        const QByteArray code = timeCodes.isNull() ? '[' + QByteArray::number(kStart + ms) + ']' : timeCodes;
        text += code + telemetryclips::NmeaSentence(telemetryclips::RmcBody("GP", f, 'A')) + "\r\n";
        text += code + telemetryclips::NmeaSentence(telemetryclips::GgaBody("GP", f)) + "\r\n";
    }
    return text;
}

QByteArray Record(qint64 ms, int x, int y, int z)
{
    return Be(quint64(ms), 4) + Be(quint16(qint16(x)), 2) + Be(quint16(qint16(y)), 2) + Be(quint16(qint16(z)), 2);
}

// Ten records a second: x counts up through zero, y is negative, z about 1 g.
QByteArray Records(int n)
{
    QByteArray r;
    for (int i = 0; i < n; ++i)
        r += Record(100 * i, i - 3, -2 - i, 98 + i);
    return r;
}

QByteArray Free(const QByteArray &text, const QByteArray &records, qint64 start = kStart)
{
    return Box("free", (start >= 0 ? Box("sttm", Be(quint64(start), 8)) : QByteArray()) + Box("ptnm", "clip.mp4")
                           + Box("gps ", text) + Box("3gf ", records));
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
         Clip(Free(Text({-500}) + Text({600}, "") + text, Records(2))), true, {0.25, 1.25, 2.25}, 1, 1, 2, 0},
        {"records ended by 0xffffffff", Clip(Free(text, Records(3) + Record(0xffffffff, 0, 0, 0) + Records(3))), true,
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
            EXPECT_EQ('A', f.cStatus);
            EXPECT_NEAR(e.lat, f.dLat, 1e-6);
            EXPECT_NEAR(e.lon, f.dLon, 1e-6); // west
            EXPECT_NEAR(e.speed, f.dSpeed, 1e-3);
            EXPECT_NEAR(e.alt, f.dAlt, 0.05);
            ASSERT_TRUE(f.bHasUtc);
            EXPECT_EQ(e.utcMs, f.nUtcMs);
        }
        ASSERT_EQ(c.records, out.vecAccel.size());
        for (int i = 0; i < c.records; ++i) {
            EXPECT_DOUBLE_EQ(0.1 * i, out.vecAccel[i].dTime);
            EXPECT_FLOAT_EQ((i - 3) / 10.0f, out.vecAccel[i].fX);
            EXPECT_FLOAT_EQ((-2 - i) / 10.0f, out.vecAccel[i].fY);
            EXPECT_FLOAT_EQ((98 + i) / 10.0f, out.vecAccel[i].fZ);
        }
        EXPECT_EQ(0, out.bTooLarge);
    }

    // Filler, another maker's 'free' box and a clip without one are no BlackVue clip.
    const QString other = dir.filePath(QStringLiteral("other.mp4"));
    ASSERT_TRUE(testfiles::Write(other, Clip(Box("free", Box("thmb", QByteArray(20, 'j'))))));
    tagTRACKTELEMETRY none;
    qint64 budget = kMaxDataFileBytes;
    EXPECT_FALSE(CBlackVueGps::ReadFile(other, &none, &budget));
    QString error;
    EXPECT_EQ(0, ReadMp4Telemetry(other, &none, &error));

    // The catalogue takes it as BlackVue's; a budget smaller than the text reads none of it.
    tagTRACKTELEMETRY viaMp4;
    ASSERT_EQ(1, ReadMp4Telemetry(dir.filePath(QStringLiteral("0.mp4")), &viaMp4));
    EXPECT_EQ(QByteArray("blackvue"), viaMp4.source);
    EXPECT_EQ(3, viaMp4.vecFix.size());
    tagTRACKTELEMETRY small;
    budget = 200;
    ASSERT_TRUE(CBlackVueGps::ReadFile(dir.filePath(QStringLiteral("0.mp4")), &small, &budget));
    EXPECT_EQ(0, small.vecFix.size());
    EXPECT_EQ(1, small.bTooLarge);
}

qint64 WallMs(const SYSTEMTIME &t)
{
    int64_t ms = 0;
    EXPECT_TRUE(WallClockMs(t, &ms));
    return ms;
}

// Older models' .gps and .3gf beside the clip: a .gps log of time codes is BlackVue's, with the
// .3gf's samples; a log without them stays a plain NMEA log; a .3gf alone gives the G-sensor.
TEST(BlackVue, FilesBesideTheClipAreTheCamerasOwn)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto file = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };
    for (const char *clip : {"front.mp4", "plain.mp4", "g_20211018_144910.mp4", "UPPER.MP4"})
        ASSERT_TRUE(testfiles::Write(file(clip), "clip"));
    ASSERT_TRUE(testfiles::Write(file("front.gps"), Text({250, 1250, 2250})));
    ASSERT_TRUE(testfiles::Write(file("front.3gf"), Records(20)));
    ASSERT_TRUE(testfiles::Write(file("plain.gps"), Text({250, 1250}, "")));
    ASSERT_TRUE(testfiles::Write(file("plain.3gf"), Records(20)));
    ASSERT_TRUE(testfiles::Write(file("g_20211018_144910.3gf"), Records(20)));
    ASSERT_TRUE(testfiles::Write(file("UPPER.GPS"), Text({250, 1250})));
    const struct {
        const char *clip;
        int source, fixes, samples;
        const char *dataPath;
    } cases[] = {
        {"front.mp4", TS_BLACKVUE, 3, 20, "front.gps"},
        {"plain.mp4", TS_NMEA, 2, 0, "plain.gps"},
        {"g_20211018_144910.mp4", TS_BLACKVUE, 0, 20, "g_20211018_144910.3gf"},
        {"UPPER.MP4", TS_BLACKVUE, 2, 0, "UPPER.GPS"},
    };
    CCorvanaDoc doc;
    doc.SetFolder(dir.path());
    doc.LoadFolder();
    const auto rowOf = [&](const char *clip) {
        for (int i = 0; i < doc.Count(); ++i)
            if (doc.MediaPathAt(i) == file(clip))
                return i;
        return -1;
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.clip);
        const int row = rowOf(c.clip);
        ASSERT_GE(row, 0);
        const tagDATAFILEINFO &rec = doc.RecordRef(row);
        EXPECT_EQ(c.source, rec.nSource);
        EXPECT_EQ(file(c.dataPath), doc.DataPathAt(row));
        ASSERT_EQ(c.fixes, rec.vecGps.size());
        ASSERT_EQ(c.samples, rec.vecAccel.size());
        const QVector<tagGPSINFO> utc = FixesInUtc(rec);
        for (int i = 0; i < c.fixes; ++i) {
            EXPECT_EQ(At(250 + 1000 * i).utcMs, WallMs(utc[i].stTime));
            EXPECT_NEAR(At(250 + 1000 * i).lon, rec.vecGps[i].dLon, 1e-6);
        }
        // Beside the clip there is no start time: the first time code starts the clip, the
        // G-sensor's time codes count from it.
        for (int i = 0; i < c.samples; ++i) {
            const qint64 start = c.fixes ? WallMs(rec.vecGps[0].stTime) : WallMs(rec.stSyncTime);
            EXPECT_EQ(start + 100 * i, WallMs(rec.vecAccel[i].stTime));
            EXPECT_FLOAT_EQ((98 + i) / 10.0f, rec.vecAccel[i].fZ);
        }
    }
    // The clip without a log starts at its name's time.
    ASSERT_GE(rowOf("g_20211018_144910.mp4"), 0);
    EXPECT_EQ(QStringLiteral("2021/10/18 - 14:49:10.000"), RecordListText(doc.RecordRef(rowOf("g_20211018_144910.mp4")), QString()));
}

// ---------------------------------------------------------------------------------------------
// exiftool

struct ExifDoc {
    double sampleTime = NAN, timeCode = NAN, lat = NAN, lon = NAN, speed = NAN; // s, degrees, km/h
    qint64 utc = -1;
    QVector<double> accel;
};

// "[DocN] Tag: value" lines of exiftool -G3 -s -s, by document.
QMap<int, ExifDoc> ExifDocs(const QByteArray &listing)
{
    static const QRegularExpression line(QStringLiteral("^\\[Doc(\\d+)\\] (\\w+): (.*)$"));
    static const QRegularExpression time(
        QStringLiteral("^(\\d{4}):(\\d\\d):(\\d\\d) (\\d\\d):(\\d\\d):(\\d\\d(?:\\.\\d+)?)Z$"));
    QMap<int, ExifDoc> docs;
    for (const QByteArray &raw : listing.split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw.trimmed()));
        if (!m.hasMatch())
            continue;
        ExifDoc &d = docs[m.captured(1).toInt()];
        const QString tag = m.captured(2), value = m.captured(3);
        const QRegularExpressionMatch t = time.match(value);
        if (tag == QLatin1String("SampleTime"))
            d.sampleTime = value.toDouble();
        else if (tag == QLatin1String("TimeCode"))
            d.timeCode = value.toDouble();
        else if (tag == QLatin1String("GPSLatitude"))
            d.lat = value.toDouble();
        else if (tag == QLatin1String("GPSLongitude"))
            d.lon = value.toDouble();
        else if (tag == QLatin1String("GPSSpeed"))
            d.speed = value.toDouble();
        else if (tag == QLatin1String("Accelerometer"))
            for (const QString &v : value.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                d.accel << v.toDouble();
        else if (tag == QLatin1String("GPSDateTime") && t.hasMatch())
            d.utc = QDateTime(QDate(t.captured(1).toInt(), t.captured(2).toInt(), t.captured(3).toInt()),
                              QTime(t.captured(4).toInt(), t.captured(5).toInt()), QTimeZone::utc())
                        .toMSecsSinceEpoch() + std::llround(t.captured(6).toDouble() * 1000);
    }
    return docs;
}

// A real H.264 clip with BlackVue's box appended: exiftool -ee and we give the same fixes (time on
// the clip, UTC, position, speed) and G-sensor records; the same text and records beside a copy
// of the clip give the same fixes, their clip started at the first time code.
TEST(CrossCheck, BlackVueAgreesWithExiftool)
{
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    ASSERT_FALSE(exiftool.isEmpty()) << "exiftool missing (scripts/setup --tests installs it)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString video = telemetryclips::WritePlainClip(dir.path(), QStringLiteral("video.mp4"), 4,
                                                         telemetryclips::Utc(At(0).utcMs));
    ASSERT_FALSE(video.isEmpty());
    QFile f(video);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray clip = f.readAll();
    const QByteArray text = Text({250, 1250, 2250, 3250}) + QByteArray(64, '\0');
    const QByteArray records = Records(38) + Record(0xffffffff, 0, 0, 0);
    const QString path = dir.filePath(QStringLiteral("inclip.mp4"));
    ASSERT_TRUE(testfiles::Write(path, clip + Free(text, records)));
    const QString beside = dir.filePath(QStringLiteral("beside.mp4"));
    ASSERT_TRUE(testfiles::Write(beside, clip));
    ASSERT_TRUE(testfiles::Write(dir.filePath(QStringLiteral("beside.gps")), text));
    ASSERT_TRUE(testfiles::Write(dir.filePath(QStringLiteral("beside.3gf")), records));

    tagTRACKTELEMETRY ours;
    ASSERT_EQ(1, ReadMp4Telemetry(path, &ours));
    EXPECT_EQ(QByteArray("blackvue"), ours.source);
    const auto listing = testfiles::Run(exiftool, {QStringLiteral("-ee"), QStringLiteral("-n"), QStringLiteral("-a"),
                                                   QStringLiteral("-G3"), QStringLiteral("-s"), QStringLiteral("-s"), path});
    ASSERT_EQ(0, listing.exitCode) << listing.err.constData();
    QVector<ExifDoc> fixes, accel;
    for (const ExifDoc &d : ExifDocs(listing.out)) {
        if (!std::isnan(d.lat))
            fixes << d;
        if (d.accel.size() == 3)
            accel << d;
    }
    ASSERT_EQ(4, fixes.size());
    ASSERT_EQ(fixes.size(), ours.vecFix.size());
    const tagDATAFILEINFO rec = CCorvanaDoc::RecordOfClip(path), besideRec = CCorvanaDoc::RecordOfClip(beside);
    EXPECT_EQ(TS_BLACKVUE, rec.nSource);
    EXPECT_EQ(TS_BLACKVUE, besideRec.nSource);
    ASSERT_EQ(fixes.size(), rec.vecGps.size());
    ASSERT_EQ(fixes.size(), besideRec.vecGps.size());
    const QVector<tagGPSINFO> utc = FixesInUtc(rec), besideUtc = FixesInUtc(besideRec);
    for (int i = 0; i < fixes.size(); ++i) {
        SCOPED_TRACE(i);
        const ExifDoc &b = fixes[i];
        const tagTRACKFIX &a = ours.vecFix[i];
        EXPECT_NEAR(b.sampleTime, a.dTime, 1e-9);
        EXPECT_NEAR(b.lat, a.dLat, 1e-6);
        EXPECT_NEAR(b.lon, a.dLon, 1e-6);
        EXPECT_NEAR(b.speed / 3.6, a.dSpeed, 1e-4);
        EXPECT_EQ(b.utc, a.nUtcMs);
        EXPECT_EQ(b.utc, WallMs(utc[i].stTime));
        EXPECT_EQ(b.utc, WallMs(besideUtc[i].stTime));
        EXPECT_NEAR(b.lat, besideRec.vecGps[i].dLat, 1e-6);
    }
    ASSERT_EQ(38, accel.size());
    ASSERT_EQ(accel.size(), ours.vecAccel.size());
    ASSERT_EQ(accel.size(), rec.vecAccel.size());
    ASSERT_EQ(accel.size(), besideRec.vecAccel.size());
    for (int i = 0; i < accel.size(); ++i) {
        SCOPED_TRACE(i);
        const tagTRACKSAMPLE &a = ours.vecAccel[i];
        EXPECT_NEAR(accel[i].timeCode, a.dTime, 1e-9);
        EXPECT_NEAR(accel[i].accel[0], a.fX, 1e-6);
        EXPECT_NEAR(accel[i].accel[1], a.fY, 1e-6);
        EXPECT_NEAR(accel[i].accel[2], a.fZ, 1e-6);
        EXPECT_FLOAT_EQ(a.fZ, besideRec.vecAccel[i].fZ);
        // Beside the clip the first time code, 250 ms after the start, starts the clip.
        EXPECT_EQ(WallMs(rec.vecAccel[i].stTime) + 250, WallMs(besideRec.vecAccel[i].stTime));
    }
}

} // namespace
