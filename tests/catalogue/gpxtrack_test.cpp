#include "catalogue/datafileinfo.h"
#include "catalogue/gpxtrack.h"

#include "fixtures/testfiles.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

CGpxTrack ReadBytes(const QByteArray &bytes)
{
    return testfiles::ReadFromBytes<CGpxTrack>(bytes);
}

// time lat lon, then ele, speed and course as given (s) or computed (c).
QStringList Describe(const CGpxTrack &track)
{
    QStringList out;
    for (const tagGPXPOINT &p : track.Points()) {
        QString s = QStringLiteral("%1 %2 %3").arg(p.nTimeMs).arg(p.dLat, 0, 'f', 6).arg(p.dLon, 0, 'f', 6);
        if (p.bHasEle)
            s += QStringLiteral(" ele=%1").arg(p.dEle);
        if (p.bHasSpeed)
            s += QStringLiteral(" speed=%1%2").arg(p.dSpeed, 0, 'f', 3).arg(p.bSpeedComputed ? "c" : "s");
        if (p.bHasCourse)
            s += QStringLiteral(" course=%1%2").arg(p.dCourse, 0, 'f', 1).arg(p.bCourseComputed ? "c" : "s");
        out << s;
    }
    return out;
}

const QByteArray kGpx11Head =
    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
    "xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\"><trk><trkseg>";

QByteArray Gpx11(const QByteArray &points)
{
    return kGpx11Head + points + "</trkseg></trk></gpx>";
}

TEST(GpxTrack, Documents)
{
    struct Case {
        const char *name;
        QByteArray input;
        QStringList points;
        int skipped;
        bool unsorted;
        bool error;
    };
    // 2013-05-12T08:30:15Z is 1368347415000 ms; a minute of arc is 1853.251 m on the mean sphere.
    const Case cases[] = {
        {"GPX 1.0 with speed and course",
         "<gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\"><trk><trkseg>"
         "<trkpt lat=\"37.5\" lon=\"-126.25\"><ele>12.5</ele><time>2013-05-12T08:30:15Z</time>"
         "<course>87.3</course><speed>11.06</speed></trkpt></trkseg></trk></gpx>",
         {QStringLiteral("1368347415000 37.500000 -126.250000 ele=12.5 speed=11.060s course=87.3s")}, 0, false, false},
        {"GPX 1.1, extension speed, offset time, computed course",
         Gpx11("<trkpt lat=\"0\" lon=\"0\"><time>2013-05-12T10:30:15.250+02:00</time><extensions>"
               "<gpxtpx:TrackPointExtension><gpxtpx:speed>3.5</gpxtpx:speed></gpxtpx:TrackPointExtension>"
               "</extensions></trkpt><trkpt lat=\"0\" lon=\"0.0166666667\"><time>2013-05-12T08:30:25.250</time>"
               "</trkpt>"),
         {QStringLiteral("1368347415250 0.000000 0.000000 speed=3.500s course=90.0c"),
          QStringLiteral("1368347425250 0.000000 0.016667 speed=185.325c course=90.0c")},
         0, false, false},
        {"missing time, bad numbers and out of range skip the point; a bad ele drops only ele",
         Gpx11("<trkpt lat=\"1\" lon=\"2\"></trkpt>"
               "<trkpt lat=\"x\" lon=\"2\"><time>2013-05-12T08:30:15Z</time></trkpt>"
               "<trkpt lat=\"91\" lon=\"2\"><time>2013-05-12T08:30:15Z</time></trkpt>"
               "<trkpt lat=\"1\" lon=\"nan\"><time>2013-05-12T08:30:15Z</time></trkpt>"
               "<trkpt lat=\"1\" lon=\"2\"><time>yesterday</time></trkpt>"
               "<trkpt lat=\"1\" lon=\"2\"><ele>high</ele><time>2013-05-12T08:30:15Z</time></trkpt>"),
         {QStringLiteral("1368347415000 1.000000 2.000000")}, 5, false, false},
        {"unsorted segments are sorted, waypoints and routes skipped",
         "<gpx version=\"1.1\"><wpt lat=\"5\" lon=\"5\"><time>2013-05-12T08:30:00Z</time></wpt>"
         "<rte><rtept lat=\"6\" lon=\"6\"><time>2013-05-12T08:30:00Z</time></rtept></rte><trk>"
         "<trkseg><trkpt lat=\"1\" lon=\"0\"><time>2013-05-12T08:30:16Z</time></trkpt></trkseg>"
         "<trkseg><trkpt lat=\"0\" lon=\"0\"><time>2013-05-12T08:30:15Z</time></trkpt></trkseg></trk></gpx>",
         {QStringLiteral("1368347415000 0.000000 0.000000 speed=111195.080c course=0.0c"),
          QStringLiteral("1368347416000 1.000000 0.000000 speed=111195.080c course=0.0c")},
         0, true, false},
        {"cut file keeps the points before the cut",
         kGpx11Head + "<trkpt lat=\"1\" lon=\"2\"><time>2013-05-12T08:30:15Z</time></trkpt><trkpt lat=\"3\"",
         {QStringLiteral("1368347415000 1.000000 2.000000")}, 0, false, true},
        {"not GPX", "<kml><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2013-05-12T08:30:15Z</time></trkpt></trkseg></kml>",
         {}, 0, false, true},
        {"a document type declaration is refused",
         "<!DOCTYPE gpx [<!ENTITY a \"aaaa\">]><gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>&a;</time>"
         "</trkpt></trkseg></trk></gpx>",
         {}, 0, false, true},
    };
    for (const Case &c : cases) {
        const CGpxTrack track = ReadBytes(c.input);
        EXPECT_EQ(Describe(track), c.points) << c.name << ": " << Describe(track).join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(track.SkippedPoints(), c.skipped) << c.name;
        EXPECT_EQ(track.WasUnsorted(), c.unsorted) << c.name;
        EXPECT_EQ(!track.Error().isEmpty(), c.error) << c.name << " " << track.Error().toStdString();
        EXPECT_FALSE(track.TooLarge()) << c.name;
    }
}

TEST(GpxTrack, WindowQuery)
{
    QVector<tagGPXPOINT> points(5);
    const qint64 times[] = {1000, 2000, 2000, 3000, 4000};
    for (int i = 0; i < 5; ++i) {
        points[i].nTimeMs = times[i];
        points[i].dLat = i;
    }
    struct Case {
        qint64 start, end;
        QVector<int> lats;
    };
    const Case cases[] = {
        {2000, 3000, {1, 2}}, {0, 1000, {}},       {0, 1001, {0}},     {3000, 99999, {3, 4}},
        {4001, 5000, {}},     {3000, 2000, {}},    {1000, 4001, {0, 1, 2, 3, 4}},
    };
    for (const Case &c : cases) {
        QVector<int> lats;
        for (const tagGPXPOINT &p : CGpxTrack::PointsInWindow(points, c.start, c.end))
            lats << static_cast<int>(p.dLat);
        EXPECT_EQ(lats, c.lats) << c.start << ".." << c.end;
    }
}

TEST(GpxTrack, LimitsAndFiles)
{
    QByteArray many;
    const QByteArray pt = "<trkpt lat=\"1\" lon=\"2\"><time>2013-05-12T08:30:15Z</time></trkpt>";
    many.reserve(pt.size() * (kMaxFixesPerFile + 1));
    for (int i = 0; i <= kMaxFixesPerFile; ++i)
        many += pt;
    const CGpxTrack big = ReadBytes(Gpx11(many));
    EXPECT_EQ(big.Points().size(), kMaxFixesPerFile);
    EXPECT_TRUE(big.TooLarge());

    QTemporaryDir dir;
    CGpxTrack track;
    EXPECT_FALSE(track.Load(dir.path()));
    EXPECT_TRUE(track.OpenFailed());
    const QString path = dir.filePath(QStringLiteral("t.gpx"));
    ASSERT_TRUE(testfiles::Write(path, Gpx11(pt)));
    EXPECT_TRUE(track.Load(path));
    EXPECT_FALSE(track.OpenFailed());
    EXPECT_EQ(track.Points().size(), 1);
}

} // namespace
