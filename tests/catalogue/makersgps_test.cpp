// The dash cams' own telemetry outside the "freeGPS " blocks (Thinkware's text cues, Garmin's PNDM
// cues and 'uuid' box, SigmaStar's 'ssmd' track, 70mai's 'GPS ' box, Nextbase's 'gdat' box), written
// byte by byte from known values, decoded, found in MP4 files and compared with exiftool.
#include "catalogue/garmingps.h"
#include "catalogue/mai70gps.h"
#include "catalogue/nextbasegps.h"
#include "catalogue/sstargps.h"
#include "catalogue/thinkwaregps.h"
#include "fixtures/makerclips.h"
#include "fixtures/telemetryclips.h"
#include "fixtures/testfiles.h"

#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

using namespace makerclips;

const qint64 kStartUtc = QDateTime(QDate(2019, 5, 24), QTime(10, 20, 30), QTimeZone::utc()).toMSecsSinceEpoch();

// A fix i seconds into the clip; its speed is a whole number of the layout's unit, so that every
// layout writes it exactly.
using Point = MakerPoint;
Point At(int i, bool southEast = false)
{
    const double sign = southEast ? -1 : 1;
    return {kStartUtc + 1000 * i, sign * (37.75205 + 0.0003 * i), -sign * (122.425 + 0.0004 * i), 20.0 + i};
}

// sized: after a 32-bit size, as some of the cameras write it.
QByteArray PndmCue(const Point &p, bool sized = false)
{
    const QByteArray c = "PNDM" + Be(0, 4) + Be(quint64(p.speed), 2) + Be(0, 2) + Be(quint32(Semicircles(p.lat)), 4) +
                         Be(quint32(Semicircles(p.lon)), 4) + Be(0x1234, 4);
    return sized ? Be(c.size() + 4, 4) + c : c;
}

// Every layout gives back the values written, at the cue's or record's time.
TEST(Makers, RecordsGiveTheValuesWritten)
{
    using Decoder = std::function<void(tagTRACKTELEMETRY *)>;
    const Point p = At(0), q = At(1, true);
    const struct {
        const char *name;
        Decoder decode;
        QVector<Point> points;
        double unit; // m/s per unit of the layout's speed
        bool utc;
        double tolerance; // degrees
    } cases[] = {
        {"Thinkware, north and west", [&](auto *o) { CThinkwareGps::AddCue(Cue(ThinkwareCue(p)), 0, o); }, {p}, kKnot, true, 1e-6},
        {"Thinkware, south and east, no length", [&](auto *o) { CThinkwareGps::AddCue(ThinkwareCue(q), 1, o); }, {q}, kKnot, true, 1e-6},
        {"Garmin PNDM", [&](auto *o) { CGarminGps::AddCue(Cue(PndmCue(p)), 0, o); }, {p}, kMph, false, 1e-7},
        {"Garmin PNDM after its size", [&](auto *o) { CGarminGps::AddCue(Cue(PndmCue(q, true)), 1, o); }, {q}, kMph, false, 1e-7},
        {"Garmin box", [&](auto *o) { tagMAKERGPSSTATS s; CGarminGps::AddBox(GarminBox({GarminRecord(p), GarminRecord(q)}), o, &s); },
         {p, q}, kMph, true, 1e-7},
        {"SigmaStar", [&](auto *o) { CSstarGps::AddSample(SstarGps(p), 0, o); CSstarGps::AddSample(SstarGps(q), 1, o); },
         {p, q}, kKnot, true, 1e-9},
        {"70mai", [&](auto *o) { tagMAKERGPSSTATS s; CMai70Gps::AddBox(Mai70Box({p, q}), o, &s); }, {p, q}, kKmh, false, 2e-5},
        {"Nextbase, numbers and texts", [&](auto *o) { tagMAKERGPSSTATS s; CNextbaseGps::AddBox(GdatBox({GdatRecord(p), GdatRecord(q, "Z", true)}), o, &s); },
         {p, q}, kMph, true, 1e-7},
        {"Nextbase, no zone", [&](auto *o) { tagMAKERGPSSTATS s; CNextbaseGps::AddBox(GdatBox({GdatRecord(p, ""), GdatRecord(q, "")}), o, &s); },
         {p, q}, kMph, false, 1e-7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tagTRACKTELEMETRY out;
        c.decode(&out);
        ASSERT_EQ(c.points.size(), out.vecFix.size());
        for (int i = 0; i < c.points.size(); ++i) {
            const Point &e = c.points[i];
            const tagTRACKFIX &f = out.vecFix[i];
            EXPECT_EQ('A', f.cStatus);
            EXPECT_NEAR(e.lat, f.dLat, c.tolerance);
            EXPECT_NEAR(e.lon, f.dLon, c.tolerance);
            EXPECT_NEAR(e.speed * c.unit, f.dSpeed, 1e-9);
            EXPECT_DOUBLE_EQ(double(e.utc - kStartUtc) / 1000, f.dTime);
            ASSERT_EQ(c.utc, f.bHasUtc);
            if (c.utc) {
                EXPECT_EQ(e.utc, f.nUtcMs);
            }
        }
    }

    tagTRACKTELEMETRY accel;
    EXPECT_EQ(MR_DECODED, CSstarGps::AddSample(SstarAccel(0.5f, -0.25f, 1.0f), 2.5, &accel));
    ASSERT_EQ(1, accel.vecAccel.size());
    EXPECT_EQ(2.5, accel.vecAccel[0].dTime);
    EXPECT_EQ(-0.25f, accel.vecAccel[0].fY);
}

// A record without a lock gives no fix; a damaged one none either, and is counted as such.
TEST(Makers, DamagedAndVoidRecordsGiveNoFix)
{
    const Point p = At(0);
    QByteArray badSum = ThinkwareCue(p), noLock = SstarGps(p), month13 = SstarGps(p), letter = Mai70Record(p, 0);
    badSum[badSum.indexOf('*') + 2] = badSum[badSum.indexOf('*') + 2] == '0' ? '1' : '0';
    noLock.replace(0, 8, Le(4294967295.0));
    month13[23] = 13;
    letter[16] = '?';
    QByteArray sixtyMinutes = ThinkwareCue(p);
    sixtyMinutes.replace(sixtyMinutes.indexOf(",A,") + 5, 2, "60");
    sixtyMinutes.truncate(sixtyMinutes.indexOf('*')); // no checksum to give it away
    const auto box = [](const QByteArray &payload, int kind) { // 1 Garmin, 0 70mai, 2 Nextbase
        tagTRACKTELEMETRY out;
        tagMAKERGPSSTATS s;
        if (kind == 1)
            CGarminGps::AddBox(payload, &out, &s);
        else if (kind == 2)
            CNextbaseGps::AddBox(payload, &out, &s);
        else
            CMai70Gps::AddBox(payload, &out, &s);
        return !out.vecFix.isEmpty() ? MR_DECODED : s.nDamaged ? MR_DAMAGED : s.nNoFix ? MR_NOFIX : MR_OTHER;
    };
    Point before2000 = p, nowhere = p;
    before2000.utc = 0;
    nowhere.lat = nowhere.lon = 0;
    tagTRACKTELEMETRY longClip;
    longClip.dDuration = 3;
    const struct {
        const char *name;
        std::function<MakerRecordResult(tagTRACKTELEMETRY *)> decode;
        MakerRecordResult result;
    } cases[] = {
        {"Thinkware, wrong checksum", [&](auto *o) { return CThinkwareGps::AddCue(badSum, 0, o); }, MR_DAMAGED},
        {"Thinkware, 60 minutes", [&](auto *o) { return CThinkwareGps::AddCue(sixtyMinutes, 0, o); }, MR_DAMAGED},
        {"Thinkware, cut", [&](auto *o) { return CThinkwareGps::AddCue(ThinkwareCue(p).left(60), 0, o); }, MR_DAMAGED},
        {"Thinkware, no lock", [&](auto *o) { return CThinkwareGps::AddCue("gsensori,4,512,1,2,3;" + Summed("GNRMC,,V,,,,,,,,,,N"), 0, o); }, MR_NOFIX},
        {"Thinkware, no sentence yet", [&](auto *o) { return CThinkwareGps::AddCue("gsensori,4,512,1,2,3;CAR,0", 0, o); }, MR_NOFIX},
        {"a subtitle", [&](auto *o) { return CThinkwareGps::AddCue(Cue("Hello"), 0, o); }, MR_OTHER},
        {"PNDM, cut", [&](auto *o) { return CGarminGps::AddCue(PndmCue(p).left(19), 0, o); }, MR_DAMAGED},
        {"PNDM at 0, 0", [&](auto *o) { return CGarminGps::AddCue(PndmCue(nowhere), 0, o); }, MR_NOFIX},
        {"Garmin box, before 2000", [&](auto *) { return box(GarminBox({GarminRecord(before2000)}), 1); }, MR_DAMAGED},
        {"Garmin box, cut record", [&](auto *) { return box(GarminBox({GarminRecord(p).left(19)}), 1); }, MR_DAMAGED},
        {"another uuid", [&](auto *) { return box(QByteArray(16, 'u') + GarminRecord(p), 1); }, MR_OTHER},
        {"SigmaStar, no lock", [&](auto *o) { return CSstarGps::AddSample(noLock, 0, o); }, MR_NOFIX},
        {"SigmaStar, month 13", [&](auto *o) { return CSstarGps::AddSample(month13, 0, o); }, MR_DAMAGED},
        {"SigmaStar, G-sensor not a number", [&](auto *o) { return CSstarGps::AddSample(SstarAccel(NAN, 0, 1), 0, o); }, MR_DAMAGED},
        {"SigmaStar, 32 bytes of a picture", [&](auto *o) { return CSstarGps::AddSample(QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(28, 'j'), 0, o); }, MR_DAMAGED},
        {"70mai, no hemisphere", [&](auto *) { return box(letter, 0); }, MR_DAMAGED},
        {"70mai, 0, 0", [&](auto *) { return box(Mai70Record(nowhere, 0), 0); }, MR_NOFIX},
        {"Nextbase, status V", [&](auto *) { return box(GdatBox({GdatRecord(p, "Z", false, "V")}), 2); }, MR_NOFIX},
        {"Nextbase, no time", [&](auto *) { return box(GdatBox({GdatRecord(p, "Z").replace("2019-05-24T", "")}), 2); }, MR_DAMAGED},
        {"Nextbase, latitude 91", [&](auto *) { Point n = p; n.lat = 91; return box(GdatBox({GdatRecord(n)}), 2); }, MR_DAMAGED},
        {"Nextbase, earlier than the first", [&](auto *) {
             tagTRACKTELEMETRY t;
             tagMAKERGPSSTATS s;
             CNextbaseGps::AddBox(GdatBox({GdatRecord(At(1)), GdatRecord(p)}), &t, &s);
             return t.vecFix.size() == 1 && s.nDamaged == 1 ? MR_DAMAGED : MR_OTHER;
         }, MR_DAMAGED},
        {"Nextbase, cut JSON", [&](auto *) { return box(GdatBox({GdatRecord(p)}).left(40), 2); }, MR_DAMAGED},
        {"70mai, past the clip's end", [&](auto *o) { *o = longClip; tagMAKERGPSSTATS s; CMai70Gps::AddBox(Mai70Record(p, 5), o, &s); return s.nDamaged ? MR_DAMAGED : MR_OTHER; }, MR_DAMAGED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tagTRACKTELEMETRY out;
        EXPECT_EQ(c.result, c.decode(&out));
        EXPECT_EQ(0, out.vecFix.size());
        EXPECT_EQ(0, out.vecAccel.size());
    }
}

// ---------------------------------------------------------------------------------------------
// Files

// A file of a movie header of 3 s and the given boxes in 'moov' and after it.
QByteArray Movie(const QByteArray &inMoov, const QByteArray &after = {})
{
    const QByteArray mvhd = FullBox("mvhd", 0, Longs({0, 0, 1000, 3000, 0x10000}) + Be(0x100, 2) + QByteArray(10, 0) +
                                                   Longs({0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000}) +
                                                   QByteArray(24, 0) + Be(2, 4));
    return Box("ftyp", "isom" + Be(512, 4) + "isom") + Box("moov", mvhd + inMoov) + after;
}

// What the cross-check below does not show: PNDM cues of a subtitle track, the G-sensor and the
// pictures of an 'ssmd' track, a cut box, a subtitle track that is no maker's; the byte budget.
TEST(Makers, ClipsAreFoundInTheirPlaces)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QVector<Point> ps{At(0), At(1), At(2)};
    QVector<QByteArray> thinkware, pndm, sstar;
    for (const Point &p : ps) {
        thinkware << Cue(ThinkwareCue(p));
        pndm << Cue(PndmCue(p));
        sstar << SstarGps(p) << SstarAccel(0, 0, 1);
    }
    sstar << QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(2000, 'j'); // a preview picture
    QByteArray cutMai70 = Movie({}, Box("GPS ", Mai70Box(ps)));
    cutMai70.chop(kMai70RecordBytes + 10); // the last record and the empty one cut away
    const struct {
        const char *name;
        QByteArray bytes;
        const char *source; // nullptr: no telemetry
        int fixes, samples;
        double step = 1; // seconds from fix to fix
    } cases[] = {
        {"a subtitle", telemetryclips::TrackOnlyMp4(TextTrack({Cue("Hello"), Cue("World")}, "tx3g", "sbtl")), nullptr, 0, 0},
        {"garmin cues", telemetryclips::TrackOnlyMp4(TextTrack(pndm, "tx3g", "sbtl")), "garmin", 3, 0},
        {"sstar", telemetryclips::TrackOnlyMp4(TextTrack(sstar, "ssmd", "meta")), "sstar", 3, 3, 2}, // a G-sensor sample between
        {"70mai, cut", cutMai70, "70mai", 2, 0},
        {"nextbase", Movie({}, Box("gdat", GdatBox({GdatRecord(ps[0]), GdatRecord(ps[1]), GdatRecord(ps[2])}))), "nextbase", 3, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".mp4"));
        ASSERT_TRUE(testfiles::Write(path, c.bytes));
        tagTRACKTELEMETRY out;
        ASSERT_EQ(c.source ? 1 : 0, ReadMp4Telemetry(path, &out));
        EXPECT_EQ(QByteArray(c.source), out.source);
        ASSERT_EQ(c.fixes, out.vecFix.size());
        EXPECT_EQ(c.samples, out.vecAccel.size());
        for (int i = 0; i < c.fixes; ++i)
            EXPECT_DOUBLE_EQ(i * c.step, out.vecFix[i].dTime);
        EXPECT_EQ(0, out.bTooLarge);
    }

    // A budget of one and a half cues reads one; a box larger than the budget is not read.
    const QString path = dir.filePath(QStringLiteral("thinkware.mp4"));
    ASSERT_TRUE(testfiles::Write(path, telemetryclips::TrackOnlyMp4(TextTrack(thinkware))));
    ASSERT_TRUE(testfiles::Write(dir.filePath(QStringLiteral("70mai.mp4")), Movie({}, Box("GPS ", Mai70Box(ps)))));
    CMp4Boxes boxes;
    ASSERT_TRUE(boxes.Open(path));
    tagTRACKTELEMETRY out;
    qint64 budget = thinkware[0].size() * 3 / 2;
    EXPECT_TRUE(CThinkwareGps::Read(&boxes, &out, &budget));
    EXPECT_EQ(1, out.vecFix.size());
    EXPECT_EQ(1, out.bTooLarge);
    tagTRACKTELEMETRY none;
    tagMAKERGPSSTATS stats;
    budget = 3 * kMai70RecordBytes;
    EXPECT_TRUE(CMai70Gps::Read(dir.filePath(QStringLiteral("70mai.mp4")), &none, &budget, &stats));
    EXPECT_EQ(0, none.vecFix.size());
    EXPECT_EQ(1, none.bTooLarge);
    EXPECT_EQ(1, stats.nDamaged);
}

// ---------------------------------------------------------------------------------------------
// exiftool

// "[DocN] Tag: value" lines of exiftool -G3 -s -s, by document: those with a position.
QVector<QMap<QString, QString>> ExifFixes(const QByteArray &listing)
{
    QMap<int, QMap<QString, QString>> docs;
    for (const QByteArray &line : listing.split('\n')) {
        const int close = line.indexOf("] "), colon = line.indexOf(": ");
        if (line.startsWith("[Doc") && close > 4 && colon > close)
            docs[line.mid(4, close - 4).toInt()][QString::fromLatin1(line.mid(close + 2, colon - close - 2))] =
                QString::fromLatin1(line.mid(colon + 2).trimmed());
    }
    QVector<QMap<QString, QString>> fixes;
    for (const auto &d : docs)
        if (d.contains(QStringLiteral("GPSLatitude")))
            fixes << d;
    return fixes;
}
qint64 ExifUtcMs(const QString &v)
{
    QDateTime t = QDateTime::fromString(v.left(19), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    t.setTimeZone(QTimeZone::utc());
    const int dot = v.indexOf(QLatin1Char('.'));
    return t.toMSecsSinceEpoch() + (dot > 0 ? std::llround(v.mid(dot, v.indexOf(QLatin1Char('Z')) - dot).toDouble() * 1000) : 0);
}

// Clips of a real H.264 video with the telemetry in its place as the cameras write it: exiftool
// -ee and ReadMp4Telemetry give the same fixes (position, speed, time), and pellister-cli's
// catalogue names each clip's source.
TEST(CrossCheck, MakersAgreeWithExiftool)
{
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    ASSERT_FALSE(exiftool.isEmpty()) << "exiftool is missing (scripts/setup --tests installs it)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString video =
        telemetryclips::WritePlainClip(dir.path(), QStringLiteral("video.mp4"), 4, telemetryclips::Utc(kStartUtc));
    ASSERT_FALSE(video.isEmpty());
    QFile f(video);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray base = f.readAll();
    f.close();
    ASSERT_TRUE(QFile::remove(video));

    QVector<Point> ps;
    QVector<QByteArray> thinkware, pndm, garmin, sstar, gdat;
    for (int i = 0; i < 4; ++i) {
        ps << At(i, i == 2);
        thinkware << Cue(ThinkwareCue(ps[i]));
        pndm << Cue(PndmCue(ps[i], i == 1));
        garmin << GarminRecord(ps[i]);
        sstar << SstarGps(ps[i]);
        gdat << GdatRecord(ps[i]);
    }
    const auto withTrack = [&](const telemetryclips::Track &t) {
        QByteArray clip = base;
        QString error;
        return telemetryclips::AddTrack(&clip, t, &error) ? clip : QByteArray();
    };
    const struct {
        const char *name;
        QByteArray clip;
        const char *source;
        double exifSpeedUnit; // m/s per unit of exiftool's GPSSpeed
    } cases[] = {
        {"thinkware", withTrack(TextTrack(thinkware)), "thinkware", kKmh},
        {"garmin cues", withTrack(TextTrack(pndm)), "garmin", kKmh},
        {"garmin box", InMoov(base, [&](const QByteArray &type, const QByteArray &box) {
             return type == "mvhd" ? box + Box("uuid", GarminBox(garmin)) : box;
         }), "garmin", kMph},
        {"70mai", AfterMoov(base, Box("GPS ", Mai70Box(ps))), "70mai", kKmh},
        // exiftool 12.57 reads neither 'ssmd' nor 'gdat': in the catalogue only.
        {"sstar", withTrack(TextTrack(sstar, "ssmd", "meta")), "sstar", 0},
        {"nextbase", base + Box("gdat", GdatBox(gdat)), "nextbase", 0},
    };
    QMap<QString, QByteArray> sources;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.clip.isEmpty());
        const QString path = dir.filePath(QString::fromLatin1(c.name).replace(QLatin1Char(' '), QLatin1Char('_')) + QStringLiteral(".mp4"));
        ASSERT_TRUE(testfiles::Write(path, c.clip));
        sources[path] = c.source;
        tagTRACKTELEMETRY ours;
        ASSERT_EQ(1, ReadMp4Telemetry(path, &ours));
        EXPECT_EQ(QByteArray(c.source), ours.source);
        ASSERT_EQ(4, ours.vecFix.size());
        if (c.exifSpeedUnit == 0)
            continue;
        // Times without a zone are the movie's (UTC, as ffmpeg writes it).
        const auto listing = testfiles::Run(exiftool, {QStringLiteral("-api"), QStringLiteral("QuickTimeUTC"), QStringLiteral("-ee"),
                                                       QStringLiteral("-n"), QStringLiteral("-a"), QStringLiteral("-G3"),
                                                       QStringLiteral("-s"), QStringLiteral("-s"), path});
        ASSERT_EQ(0, listing.exitCode) << listing.err.constData();
        const auto theirs = ExifFixes(listing.out);
        ASSERT_EQ(4, theirs.size()) << listing.out.constData();
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            const auto &b = theirs[i];
            const tagTRACKFIX &a = ours.vecFix[i];
            EXPECT_NEAR(b[QStringLiteral("GPSLatitude")].toDouble(), a.dLat, 1e-9);
            EXPECT_NEAR(b[QStringLiteral("GPSLongitude")].toDouble(), a.dLon, 1e-9);
            EXPECT_NEAR(b[QStringLiteral("GPSSpeed")].toDouble() * c.exifSpeedUnit, a.dSpeed, 1e-4);
            const qint64 utc = a.bHasUtc ? a.nUtcMs : ours.creationUtc.toMSecsSinceEpoch() + std::llround(a.dTime * 1000);
            EXPECT_EQ(ExifUtcMs(b[QStringLiteral("GPSDateTime")]), utc);
            if (b.contains(QStringLiteral("SampleTime"))) {
                EXPECT_DOUBLE_EQ(b[QStringLiteral("SampleTime")].toDouble(), a.dTime);
            }
        }
    }

    const auto r = testfiles::Run(testfiles::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli"),
                                  {QStringLiteral("catalogue"), dir.path()});
    ASSERT_EQ(0, r.exitCode) << r.err.constData();
    QMap<QString, QByteArray> listed;
    for (const QByteArray &line : r.out.split('\n')) {
        const QList<QByteArray> columns = line.split('\t');
        if (columns.size() > 7)
            listed[QString::fromUtf8(columns[3])] = columns[7];
    }
    EXPECT_EQ(sources, listed) << r.out.constData();
}

} // namespace
