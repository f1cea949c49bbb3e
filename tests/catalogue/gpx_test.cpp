#include "catalogue/datafileinfo.h"

#include "fixtures/testfiles.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QVector<tagGPSINFO> TwoFixTrack()
{
    CDataFileInfo reader;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data/t.dat"));
    testfiles::WriteLines(
        path, {
                  QStringLiteral("$SYNCTIME,083015.250,130512,"),
                  QStringLiteral("$GPRMC,083015.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,"),
                  QStringLiteral("$GPRMC,083016.250,V,3733.2000,S,00012.0000,W,0.0,359.9,120513,,"),
              });
    reader.Load(path);
    return reader.Info().vecGps;
}

SYSTEMTIME FixedUtc()
{
    SYSTEMTIME t;
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = 7;
    t.wHour = 9;
    t.wMinute = 5;
    t.wSecond = 3;
    return t;
}

// To update the golden file after an intended change of the format:
//   build/tests/catalogue/test_catalogue --gtest_filter=Gpx.MatchesTheGoldenFile with
//   PELLISTER_UPDATE_GOLDEN=1 in the environment, then review the diff.
TEST(Gpx, MatchesTheGoldenFile)
{
    const QByteArray bytes = CDataFileInfo::FormatGpx(TwoFixTrack(), FixedUtc());
    const QString golden = testfiles::SourceDir() + QStringLiteral("/tests/catalogue/golden/two_fixes.gpx");
    if (qEnvironmentVariableIsSet("PELLISTER_UPDATE_GOLDEN")) {
        ASSERT_TRUE(testfiles::Write(golden, bytes));
    }
    QFile f(golden);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << golden.toStdString();
    EXPECT_EQ(f.readAll(), bytes);
}

TEST(Gpx, ByteLayout)
{
    const QByteArray bytes = CDataFileInfo::FormatGpx(TwoFixTrack(), FixedUtc());
    EXPECT_TRUE(
        bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?> \r\n<gpx \r\n\tversion=\"1.0\" \r\n"));
    EXPECT_TRUE(bytes.endsWith("\t\t</trkseg> \r\n\t</trk> \r\n</gpx>"));
    EXPECT_TRUE(bytes.contains("\t<time>2026-12-07T09:05:03Z</time> \r\n"));
    EXPECT_TRUE(bytes.contains("\t<bounds minlat=\"-37.553333\" minlon=\"-0.200000\" maxlat=\"37.552057\" "
                               "maxlon=\"126.976130\"/> \r\n"));
    EXPECT_TRUE(bytes.contains("\t\t\t<trkpt lat=\"-37.553333\" lon=\"-0.200000\"> \r\n"
                               "\t\t\t\t<time>2013-05-12T08:30:16.250Z</time> \r\n"
                               "\t\t\t\t<course>359.000000</course> \r\n"
                               "\t\t\t\t<speed>0.000000</speed> \r\n"
                               "\t\t\t</trkpt> \r\n"));
    EXPECT_FALSE(bytes.contains("\n\n"));
    EXPECT_EQ(bytes.count("\r\n"), bytes.count("\n"));
}

TEST(Gpx, OneFixHasEqualBoundsAndNoFixesNoFile)
{
    QVector<tagGPSINFO> one = TwoFixTrack().mid(0, 1);
    const QByteArray bytes = CDataFileInfo::FormatGpx(one, FixedUtc());
    EXPECT_TRUE(bytes.contains(
        "minlat=\"37.552057\" minlon=\"126.976130\" maxlat=\"37.552057\" maxlon=\"126.976130\""));

    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("none.gpx"));
    EXPECT_EQ(0, CDataFileInfo::WriteGpx(out, {}));
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(0, CDataFileInfo::WriteGpx(dir.filePath(QStringLiteral("no/such/folder/x.gpx")), one));
}

// Other GPX readers must take what we write: gpsbabel converts it back with the same points and
// times, and xmllint finds it well formed.
TEST(Gpx, ReadBackByGpsbabelAndXmllint)
{
    const QString gpsbabel = QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (gpsbabel.isEmpty() || xmllint.isEmpty())
        FAIL() << "gpsbabel or xmllint missing (scripts/setup installs them)";
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("track.gpx"));
    ASSERT_EQ(1, CDataFileInfo::WriteGpx(out, TwoFixTrack()));

    const auto lint = testfiles::Run(xmllint, {QStringLiteral("--noout"), out});
    EXPECT_EQ(0, lint.exitCode) << lint.err.constData();

    const auto babel =
        testfiles::Run(gpsbabel, {QStringLiteral("-t"), QStringLiteral("-i"), QStringLiteral("gpx"),
                                  QStringLiteral("-f"), out, QStringLiteral("-o"), QStringLiteral("unicsv"),
                                  QStringLiteral("-F"), QStringLiteral("-")});
    ASSERT_EQ(0, babel.exitCode) << babel.err.constData();
    const QList<QByteArray> lines = babel.out.trimmed().split('\n');
    ASSERT_EQ(3, lines.size()) << babel.out.constData();
    const QList<QByteArray> header = lines[0].trimmed().split(',');
    const int lat = header.indexOf("Latitude"), lon = header.indexOf("Longitude");
    const int date = header.indexOf("Date"), time = header.indexOf("Time");
    ASSERT_GE(lat, 0);
    ASSERT_GE(lon, 0);
    ASSERT_GE(date, 0);
    ASSERT_GE(time, 0);
    const QList<QByteArray> p1 = lines[1].trimmed().split(','), p2 = lines[2].trimmed().split(',');
    EXPECT_NEAR(37.552057, p1[lat].toDouble(), 1e-6);
    EXPECT_NEAR(126.976130, p1[lon].toDouble(), 1e-6);
    EXPECT_NEAR(-37.553333, p2[lat].toDouble(), 1e-6);
    EXPECT_NEAR(-0.2, p2[lon].toDouble(), 1e-6);
    EXPECT_EQ("2013/05/12", p1[date]);
    EXPECT_TRUE(p1[time].startsWith("08:30:15")) << p1[time].constData();
    EXPECT_TRUE(p2[time].startsWith("08:30:16")) << p2[time].constData();
}

} // namespace
