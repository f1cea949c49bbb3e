// Other cameras' telemetry in the catalogue: which source a clip takes, the time the list shows,
// and where the samples land on the clip's frames.
#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"
#include "playback/frameindextable.h"

#include "fixtures/testfiles.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

// An AVI that is only its main header: 40 ms a frame, `frames` frames.
QByteArray AviHeader(quint32 frames)
{
    QByteArray avih(56, '\0');
    qToLittleEndian<quint32>(40000, avih.data());
    qToLittleEndian<quint32>(frames, avih.data() + 16);
    return "RIFF" + QByteArray(4, '\0') + "AVI LIST" + QByteArray(4, '\0') + "hdrlavih" + QByteArray("\x38\0\0\0", 4) +
           avih;
}

// A card whose recorder is set to UTC+9 (Seoul, no daylight saving).
class ClipTelemetryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testfiles::Write(File("configuration/qx310_blackbox.conf"), "CITY_INDEX=116\r\n"));
    }
    QString File(const char *name) const { return root.filePath(QString::fromLatin1(name)); }
    int Find(const CCorvanaDoc &doc, const char *name) const
    {
        for (int i = 0; i < doc.Count(); ++i)
            if (doc.MediaPathAt(i) == File(name))
                return i;
        return -1;
    }
    QTemporaryDir root;
};

const char kRmc1[] = "$GNRMC,011500.00,A,3733.1234,N,12658.5678,E,10.0,90.0,120513,,,A*";
const char kRmc2[] = "$GNRMC,011501.00,A,3733.1334,N,12658.5678,E,10.0,90.0,120513,,,A*";

QByteArray Nmea(const QByteArray &body)
{
    quint8 sum = 0;
    for (char c : body.mid(1, body.size() - 2))
        sum ^= quint8(c);
    return body + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0') + "\r\n";
}

TEST_F(ClipTelemetryTest, EachClipTakesTheFirstSourceThatGivesSomething)
{
    const QByteArray log = Nmea(kRmc1) + Nmea(kRmc2);
    const QByteArray gpx = "<gpx><trk><trkseg><trkpt lat=\"37.5\" lon=\"127.0\"><time>2013-05-12T01:20:00Z</time>"
                           "</trkpt></trkseg></trk></gpx>";
    // The data file wins over a log; a data file without data lets the log speak; a log without a
    // fix lets the next source speak; the name's time stands when nothing else tells one.
    ASSERT_TRUE(testfiles::Write(File("a.avi"), AviHeader(25)));
    ASSERT_TRUE(testfiles::WriteSynced(File("data/a.dat"), QStringLiteral("083015.250"), QStringLiteral("130512"),
                                       {QStringLiteral("$ACCELERATOR,083015.300,130512,0.02,-0.98,0.11,")}));
    ASSERT_TRUE(testfiles::Write(File("a.nmea"), log));
    ASSERT_TRUE(testfiles::Write(File("b.avi"), AviHeader(25)));
    ASSERT_TRUE(testfiles::Write(File("data/b.dat"), "not a data file\n"));
    // A fix before the first lock has no position: it starts the clip but is no fix.
    ASSERT_TRUE(testfiles::Write(File("data/B.LOG"), Nmea("$GNRMC,011459.00,V,,,,,,,120513,,,N*") + log));
    ASSERT_TRUE(testfiles::Write(File("c.mp4"), "clip"));
    ASSERT_TRUE(testfiles::Write(File("c.gps"), "$GPTXT,no fix yet*00\r\n"));
    ASSERT_TRUE(testfiles::Write(File("c.gpx"), gpx));
    ASSERT_TRUE(testfiles::Write(File("d_20130512_102000.avi"), AviHeader(25)));

    CCorvanaDoc doc;
    doc.SetFolder(root.path());
    doc.LoadFolder();
    const struct {
        const char *clip;
        const char *source;
        const char *list;
        const char *dataPath;
        int fixes;
    } cases[] = {
        {"a.avi", "dat", "2013/05/12 - 08:30:15.250", "data/a.dat", 0},
        {"b.avi", "nmea", "2013/05/12 - 10:14:59.000", "data/B.LOG", 2},
        {"c.mp4", "gpx", "2013/05/12 - 10:20:00.000", "c.gpx", 1},
        {"d_20130512_102000.avi", "", "File name : d_20130512_102000.avi", "", 0},
    };
    for (const auto &c : cases) {
        const int i = Find(doc, c.clip);
        ASSERT_GE(i, 0) << c.clip;
        const tagDATAFILEINFO &rec = doc.RecordRef(i);
        EXPECT_EQ(QString::fromLatin1(c.source), TelemetrySourceName(rec.nSource)) << c.clip;
        EXPECT_EQ(QString::fromLatin1(c.list), RecordListText(rec, doc.MediaPathAt(i))) << c.clip;
        EXPECT_EQ(*c.dataPath ? File(c.dataPath) : QString(), doc.DataPathAt(i)) << c.clip;
        EXPECT_EQ(c.fixes, rec.vecGps.size()) << c.clip;
    }
    // Fixes read from a log carry the recorder's texts, in local time, and go out to GPX in UTC.
    const tagDATAFILEINFO &b = doc.RecordRef(Find(doc, "b.avi"));
    EXPECT_EQ(QStringLiteral("10:15:01"), b.vecGps[1].strTime);
    EXPECT_EQ(QStringLiteral("2013/05/12"), b.vecGps[1].strDate);
    EXPECT_EQ(b.vecGps[1].strLat, QStringLiteral("37.552223"));
    EXPECT_EQ(QStringLiteral("18 Km/h"), b.vecGps[1].strSpeed);
    EXPECT_EQ(1, FixesInUtc(b)[1].stTime.wHour);

    // A day's track gives the named clip the points of its 1 s (25 frames of 40 ms).
    const QString track = File("day.gpx");
    ASSERT_TRUE(testfiles::Write(
        track, "<gpx><trk><trkseg>"
               "<trkpt lat=\"37.4\" lon=\"127.0\"><time>2013-05-12T01:19:59.900Z</time></trkpt>"
               "<trkpt lat=\"37.5\" lon=\"127.0\"><time>2013-05-12T01:20:00.000Z</time></trkpt>"
               "<trkpt lat=\"37.5\" lon=\"127.1\"><time>2013-05-12T01:20:00.999Z</time></trkpt>"
               "<trkpt lat=\"37.6\" lon=\"127.1\"><time>2013-05-12T01:20:01.000Z</time></trkpt>"
               "</trkseg></trk></gpx>"));
    QString why;
    EXPECT_FALSE(doc.SetTrackFile(File("c.mp4"), &why));
    EXPECT_FALSE(why.isEmpty());
    ASSERT_TRUE(doc.SetTrackFile(track, &why)) << why.toStdString();
    doc.LoadFolder();
    const tagDATAFILEINFO &d = doc.RecordRef(Find(doc, "d_20130512_102000.avi"));
    EXPECT_EQ(QStringLiteral("gpx"), TelemetrySourceName(d.nSource));
    EXPECT_EQ(QStringLiteral("2013/05/12 - 10:20:00.000"), RecordListText(d, QString()));
    ASSERT_EQ(2, d.vecGps.size());
    EXPECT_EQ(999, d.vecGps[1].stTime.wMilliseconds);
    EXPECT_EQ(QString(), doc.DataPathAt(Find(doc, "d_20130512_102000.avi")));
    // The track never replaces a clip's own telemetry.
    EXPECT_EQ(QStringLiteral("dat"), TelemetrySourceName(doc.RecordRef(Find(doc, "a.avi")).nSource));
}

TEST(ClipTelemetry, SamplesLandOnTheFramesOfTheirClipTime)
{
    // A log's fixes at 0 s, 1 s and 2.5 s from the clip's start: at 30 frames a second they
    // belong to frames 0, 30 and 75 (and none after the last), whatever the time of day.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString clip = dir.filePath(QStringLiteral("x.mp4"));
    ASSERT_TRUE(testfiles::Write(clip, "clip"));
    ASSERT_TRUE(testfiles::Write(dir.filePath(QStringLiteral("x.nmea")),
                                 Nmea("$GPRMC,235959.50,A,3733.1234,N,12658.5678,E,1,0,311213,,,A*") +
                                     Nmea("$GPRMC,000000.50,A,3733.1234,N,12658.5678,E,1,0,010114,,,A*") +
                                     Nmea("$GPRMC,000002.00,A,3733.1234,N,12658.5678,E,1,0,010114,,,A*")));
    const tagDATAFILEINFO rec = CCorvanaDoc::RecordOfClip(clip);
    ASSERT_EQ(3, rec.vecGps.size());
    const int64_t frameTime = 333333; // 100 ns
    int64_t startMs = 0;
    ASSERT_TRUE(TimeKey(rec.stSyncTime, &startMs));
    const FrameFixTables tables = BuildFrameToFix(FixTimeKeys(rec), startMs, frameTime, 90);
    for (const auto &[frame, fix] : {std::pair{0, 0}, {30, 1}, {75, 2}, {76, -1}})
        EXPECT_EQ(fix, tables.frameToFix.Find(frame)) << frame;
}

} // namespace
