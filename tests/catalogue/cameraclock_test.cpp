// The camera's clock against GPS, the card's clock correction, and the SRT and KML files.
#include "catalogue/cameraclock.h"
#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"
#include "export/trackfiles.h"
#include "fixtures/telemetryclips.h"
#include "fixtures/testfiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using telemetryclips::Fix;

constexpr qint64 kHour = 3600 * 1000;

QString Cli()
{
    return testfiles::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
}

// 2014-10-17 01:15:00 UTC plus ms.
qint64 Utc(qint64 ms)
{
    return QDateTime(QDate(2014, 10, 17), QTime(1, 15), QTimeZone::utc()).toMSecsSinceEpoch() + ms;
}

// An NMEA log of a fix a second from `from`, driving north.
QByteArray Log(qint64 from, int fixes)
{
    QByteArray log;
    for (int i = 0; i < fixes; ++i) {
        Fix f;
        f.utcMs = from + i * 1000;
        f.lat = 37.5 + i * 0.0001;
        f.lon = 127.0;
        f.speed = 10.0;
        log += telemetryclips::NmeaSentence(telemetryclips::RmcBody("GP", f, 'A')) + "\r\n";
    }
    return log;
}

QString Clock(const SYSTEMTIME &t)
{
    return QString::asprintf("%02d %02d:%02d:%02d.%03d", t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

// A card of a Viofo front camera whose clip is named 10:15:02 (UTC+9) and whose log beside it
// starts at 01:15:00.5 UTC: the camera's clock runs 1.5 s ahead.
struct Card {
    QTemporaryDir dir;
    QString clip;
    Card()
    {
        clip = dir.filePath(QStringLiteral("2014_1017_101502_0001F.MP4"));
        testfiles::Write(clip, QByteArray(64, 'v'));
        testfiles::Write(dir.filePath(QStringLiteral("2014_1017_101502_0001F.nmea")), Log(Utc(500), 5));
    }
};

TEST(CameraClock, OffsetSplitsIntoZoneAndError)
{
    const struct {
        qint64 offset, zone, error;
    } cases[] = {
        {9 * kHour + 1500, 9 * kHour, 1500},
        {-(4 * kHour + kHour / 2) - 2000, -(4 * kHour + kHour / 2), -2000},
        {5 * kHour + 45 * 60000, 5 * kHour + 45 * 60000, 0},  // Nepal
        {9 * kHour + 8 * 60000, 9 * kHour + 15 * 60000, -7 * 60000}, // nearer the next quarter
        {20 * kHour, 0, 20 * kHour},                         // no zone: all error
        {-400 * 86400 * 1000LL, 0, -400 * 86400 * 1000LL},   // a camera that lost its date
    };
    for (const auto &c : cases) {
        int64_t zone = -1, error = -1;
        SplitCameraOffset(c.offset, &zone, &error);
        EXPECT_EQ(c.zone, zone) << c.offset;
        EXPECT_EQ(c.error, error) << c.offset;
    }
}

TEST(CameraClock, CorrectionTextsRead)
{
    const struct {
        const char *text;
        bool ok;
        qint64 ms;
    } cases[] = {{"+3600", true, 3600000}, {"-2.5", true, -2500}, {" 90 ", true, 90000}, {"-0.001", true, -1},
                 {"1e3", false, 0},        {"", false, 0},         {"+", false, 0},      {"3600s", false, 0},
                 {"999999999", false, 0}}; // beyond twenty years
    for (const auto &c : cases) {
        int64_t ms = 0;
        EXPECT_EQ(c.ok, ParseClockCorrection(QString::fromLatin1(c.text), &ms)) << c.text;
        if (c.ok)
            EXPECT_EQ(c.ms, ms) << c.text;
    }
}

// The list shows the camera's own time; the fixes keep their GPS time in UTC (GPX); a correction
// moves what is shown and never what GPS said.
TEST(CameraClock, AClipTakesItsCamerasClockAndTheCardsCorrection)
{
    Card card;
    const struct {
        std::optional<qint64> correction;
        const char *listed;
        const char *tip;
    } cases[] = {
        {std::nullopt, "2014/10/17 - 10:15:02.000", "UTC+09:00, the camera's clock 1.500 s ahead of GPS time"},
        {-1500, "2014/10/17 - 10:15:00.500", "UTC+09:00, the camera's clock 1.500 s ahead of GPS time; corrected by -1.500 s"},
        {-kHour, "2014/10/17 - 09:15:02.000", "; corrected by -3600.000 s"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.listed);
        SetClockCorrectionForAllCards(c.correction);
        CCorvanaDoc doc;
        doc.SetFolder(card.dir.path());
        doc.LoadFolder();
        ASSERT_EQ(1, doc.Count());
        const tagDATAFILEINFO &rec = doc.RecordRef(0);
        EXPECT_EQ(QString::fromLatin1(c.listed), RecordListText(rec, card.clip));
        EXPECT_TRUE(CameraClockText(rec).contains(QString::fromLatin1(c.tip))) << CameraClockText(rec).toStdString();
        ASSERT_EQ(5, rec.vecGps.size());
        // The first fix lies on the clip's start; its texts are the shown clock's.
        EXPECT_EQ(Clock(rec.stSyncTime), Clock(rec.vecGps.first().stTime));
        EXPECT_EQ(Clock(rec.stSyncTime).mid(3, 8), rec.vecGps.first().strTime);
        const QVector<tagGPSINFO> utc = FixesInUtc(rec);
        int64_t ms = 0;
        ASSERT_TRUE(WallClockMs(utc.first().stTime, &ms));
        EXPECT_EQ(Utc(500), ms);
        // The clip's own record (the command line's) agrees with the list.
        EXPECT_EQ(Clock(rec.stSyncTime), Clock(CCorvanaDoc::RecordOfClip(card.clip).stSyncTime));
    }
    SetClockCorrectionForAllCards(std::nullopt);
}

// A clip whose UTC came from its header, not from GPS, takes its name's time and tells no clock
// error.
TEST(CameraClock, AHeadersTimeIsTheCamerasOwn)
{
    tagDATAFILEINFO rec;
    rec.bValid = 1;
    rec.bHasUtcOffset = 1;
    WallClockTime(Utc(0), &rec.stSyncTime); // 01:15:00 shown: UTC on this computer's clock
    SYSTEMTIME name;
    WallClockTime(Utc(9 * kHour), &name);
    for (const int gps : {0, 1}) {
        tagDATAFILEINFO r = rec;
        r.bUtcFromGps = gps;
        ASSERT_TRUE(ApplyCameraClock(name, &r));
        EXPECT_EQ(Clock(name), Clock(r.stSyncTime));
        EXPECT_EQ(gps, r.bCameraClock);
        EXPECT_EQ(gps ? QStringLiteral("UTC+09:00, the camera's clock on GPS time") : QString(), CameraClockText(r));
    }
}

// The recorder's own card keeps its data file's times, moved by a correction as a whole.
TEST(CameraClock, TheRecordersCardMovesByTheCorrection)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("data")));
    testfiles::Write(dir.filePath(QStringLiteral("X20130512083000M.avi")), "RIFF");
    ASSERT_TRUE(testfiles::WriteSynced(dir.filePath(QStringLiteral("data/X20130512083000M.dat")), QStringLiteral("235959.500"),
                                       QStringLiteral("131231"),
                                       {QStringLiteral("$ACCELERATOR,235959.600,131231,0.1,0.2,1.0,"),
                                        QStringLiteral("$GPRMC,235959.700,A,3733.0000,N,12700.0000,E,10.0,90.0,311213,,,A")}));
    SetClockCorrectionForAllCards(1000);
    CCorvanaDoc doc;
    doc.SetFolder(dir.path());
    doc.LoadFolder();
    SetClockCorrectionForAllCards(std::nullopt);
    ASSERT_EQ(1, doc.Count());
    const tagDATAFILEINFO &rec = doc.RecordRef(0);
    EXPECT_EQ(QStringLiteral("2014/01/01 - 00:00:00.500"), RecordListText(rec, doc.MediaPathAt(0)));
    ASSERT_EQ(1, rec.vecAccel.size());
    EXPECT_EQ(QStringLiteral("01 00:00:00.600"), Clock(rec.vecAccel.first().stTime));
    ASSERT_EQ(1, rec.vecGps.size());
    EXPECT_EQ(QStringLiteral("00:00:00"), rec.vecGps.first().strTime);
    EXPECT_EQ(QStringLiteral("2014/01/01"), rec.vecGps.first().strDate);
    EXPECT_EQ(1000, rec.nClockCorrectionMs);
}

TEST(CameraClock, CardsKeepTheirCorrection)
{
    QTemporaryDir dir;
    const QString inner = dir.filePath(QStringLiteral("DCIM/Movie"));
    ASSERT_TRUE(QDir().mkpath(inner));
    KeepClockCorrection(dir.path(), -2500);
    EXPECT_EQ(-2500, ClockCorrectionOfCard(dir.path()));
    EXPECT_EQ(-2500, ClockCorrectionOfClip(inner + QStringLiteral("/a.MP4")));
    SetClockCorrectionForAllCards(7000);
    EXPECT_EQ(7000, ClockCorrectionOfClip(inner + QStringLiteral("/a.MP4")));
    SetClockCorrectionForAllCards(std::nullopt);
    KeepClockCorrection(dir.path(), 0);
    EXPECT_EQ(0, ClockCorrectionOfCard(dir.path()));
}

// The evidence package states the camera's zone and clock error, and with a correction the
// recorded range beside the corrected one.
TEST(CameraClock, TheEvidencePackageStatesTheCamerasClock)
{
    Card card;
    QFile::remove(card.clip);
    ASSERT_FALSE(telemetryclips::WritePlainClip(card.dir.path(), QFileInfo(card.clip).fileName(), 2,
                                                telemetryclips::Utc(Utc(0)))
                     .isEmpty());
    QTemporaryDir out;
    const struct {
        QStringList options;
        const char *has[3];
    } cases[] = {
        {{}, {"\"time_zone\": \"UTC+09:00 (the camera's clock against GPS time)\"", "\"clock_offset_ms\": 1500", nullptr}},
        {{QStringLiteral("--clock-offset=-1.5")},
         {"\"clock_correction_ms\": -1500", "(2014-10-17 10:15:00.500)",
          "recorded range 2014-10-17 10:15:02.000 to 2014-10-17 10:15:02.333"}},
    };
    int n = 0;
    for (const auto &c : cases) {
        const QString folder = out.filePath(QString::number(n++));
        const auto r = testfiles::Run(Cli(), c.options + QStringList{QStringLiteral("evidence"), card.clip, QStringLiteral("--from"),
                                                                     QStringLiteral("0"), QStringLiteral("--to"), QStringLiteral("10"), folder});
        ASSERT_EQ(0, r.exitCode) << r.err.constData();
        QFile manifest(folder + QStringLiteral("/manifest.json"));
        ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
        const QByteArray text = manifest.readAll();
        for (const char *has : c.has)
            if (has)
                EXPECT_TRUE(text.contains(has)) << has << "\n" << text.constData();
    }
}

TEST(TrackFiles, SubtitlesGiveACueASecond)
{
    Card card;
    const tagDATAFILEINFO rec = CCorvanaDoc::RecordOfClip(card.clip);
    // 7.5 s of clip: eight cues; fixes end at 4.5 s, so cues from 7 s on (2 s past) say no GPS.
    const QByteArray srt = FormatSrt(rec, 7.5, SpeedUnit::Kmh);
    EXPECT_EQ(8, srt.count("\r\n\r\n"));
    EXPECT_TRUE(srt.startsWith("1\r\n00:00:00,000 --> 00:00:01,000\r\n2014-10-17 10:15:02\r\n35 Km/h  37.500000, 127.000000\r\n\r\n"))
        << srt.left(120).constData();
    EXPECT_TRUE(srt.contains("7\r\n00:00:06,000 --> 00:00:07,000\r\n2014-10-17 10:15:08\r\n35 Km/h  37.500400"));
    EXPECT_TRUE(srt.endsWith("8\r\n00:00:07,000 --> 00:00:07,500\r\n2014-10-17 10:15:09\r\nno GPS\r\n\r\n"));
    EXPECT_TRUE(FormatSrt(rec, 1, SpeedUnit::Mph).contains("22 mph"));
}

TEST(TrackFiles, KmlOfAClipAndOfAFoldersTrips)
{
    Card card;
    QTemporaryDir out;
    const struct {
        QString source;
        int status;
        const char *has;
    } cases[] = {
        {card.clip, 0, "<name>2014_1017_101502_0001F.MP4</name>"},
        {card.dir.path(), 0, "<name>Drive 1</name>"},
        {out.path(), 1, nullptr}, // a folder without GPS: nothing written
    };
    for (const auto &c : cases) {
        const QString kml = out.filePath(QStringLiteral("t.kml"));
        QFile::remove(kml);
        const auto r = testfiles::Run(Cli(), {QStringLiteral("kml"), c.source, kml});
        EXPECT_EQ(c.status, r.exitCode) << r.err.constData();
        QFile f(kml);
        if (!c.has) {
            EXPECT_FALSE(f.exists());
            continue;
        }
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        EXPECT_TRUE(text.contains(c.has)) << text.constData();
        EXPECT_TRUE(text.contains("<coordinates>127.0000000,37.5000000,0 127.0000000,37.5001000,0"));
        EXPECT_EQ(1, text.count("<Placemark>"));
    }
    // Names are text, whatever they hold; a place without a fix is left out.
    tagGPSINFO fix;
    fix.cStatus = 'A';
    fix.dLat = 1;
    fix.dLon = 2;
    tagGPSINFO none;
    const QByteArray kml = FormatKml(QStringLiteral("a<b>&c"), {{QStringLiteral("x&y"), QString(), {fix}}, {QStringLiteral("z"), QString(), {none}}});
    EXPECT_TRUE(kml.contains("<name>a&lt;b&gt;&amp;c</name>"));
    EXPECT_TRUE(kml.contains("<Point>"));
    EXPECT_EQ(1, kml.count("<Placemark>"));

    const auto bad = testfiles::Run(Cli(), {QStringLiteral("srt"), card.clip, out.filePath(QStringLiteral("a.srt")),
                                            QStringLiteral("--units"), QStringLiteral("knots")});
    EXPECT_EQ(2, bad.exitCode);
    const auto offset = testfiles::Run(Cli(), {QStringLiteral("--clock-offset"), QStringLiteral("-1.5"), QStringLiteral("srt"),
                                               card.clip, out.filePath(QStringLiteral("a.srt"))});
    ASSERT_EQ(0, offset.exitCode) << offset.err.constData();
    QFile srt(out.filePath(QStringLiteral("a.srt")));
    ASSERT_TRUE(srt.open(QIODevice::ReadOnly));
    EXPECT_TRUE(srt.readAll().contains("2014-10-17 10:15:00\r\n"));
}

} // namespace
