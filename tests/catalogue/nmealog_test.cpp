#include "catalogue/datafileinfo.h"
#include "catalogue/nmealog.h"

#include "fixtures/testfiles.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// One line per fix: date, UTC time with milliseconds, status, position, speed text, course,
// then the altitude and the logger's stamp when the fix has them.
QStringList Describe(const CNmeaLog &log)
{
    QStringList out;
    for (const tagNMEAFIX &f : log.Fixes()) {
        const tagGPSINFO &g = f.fix;
        QString s = QStringLiteral("%1 %2.%3 %4 %5 %6 %7 %8")
                        .arg(g.strDate, g.strTime)
                        .arg(g.stTime.wMilliseconds, 3, 10, QLatin1Char('0'))
                        .arg(QChar::fromLatin1(g.cStatus))
                        .arg(g.strLat, g.strLon, g.strSpeed, g.strDirection);
        if (f.bHasAltitude)
            s += QStringLiteral(" alt=%1").arg(f.dAltitude);
        if (f.bHasEpochMs)
            s += QStringLiteral(" at=%1").arg(f.nEpochMs);
        out << s;
    }
    return out;
}

CNmeaLog ReadBytes(const QByteArray &bytes)
{
    return testfiles::ReadFromBytes<CNmeaLog>(bytes);
}

// The textbook sentences of one epoch, checksums as published with them.
const QByteArray kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
const QByteArray kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";
const QString kFix = QStringLiteral("2094/03/23 12:35:19.000 A 48.117300 11.516667 41 Km/h E");

TEST(NmeaLog, Sentences)
{
    struct Case {
        const char *name;
        QByteArray input;
        QStringList fixes;
        int badChecksums;
        bool wentBack;
    };
    const Case cases[] = {
        {"checksum good, GGA after its RMC", kRmc + "\r\n" + kGga + "\r\n", {kFix + " alt=545.4"}, 0, false},
        {"GGA before its RMC, LF only", kGga + "\n" + kRmc + "\n", {kFix + " alt=545.4"}, 0, false},
        {"bad checksum drops the sentence", QByteArray(kRmc).replace("*6A", "*6B") + "\n", {}, 1, false},
        {"checksum with one digit", QByteArray(kRmc).replace("*6A", "*6") + "\n", {}, 1, false},
        {"no checksum, last field not needed",
         "$GNRMC,083015.20,A,3733.1234,S,12658.5678,W,21.5,87.3,120513,,\r\n",
         {QStringLiteral("2013/05/12 08:30:15.200 A -37.552057 -126.976130 39 Km/h E")}, 0, false},
        {"no checksum, cut inside the date",
         "$GPRMC,083015.20,A,3733.1234,N,12658.5678,E,21.5,87.3,1205\n", {}, 0, false},
        {"checksum proves the date is whole", "$GPRMC,083015,A,3733.1234,N,12658.5678,E,0,0,120513*12\n",
         {QStringLiteral("2013/05/12 08:30:15.000 A 37.552057 126.976130 0 Km/h N")}, 0, false},
        {"void fix with empty position kept as V", "$GPRMC,083016.00,V,,,,,,,120513,,,N*75\n",
         {QStringLiteral("2013/05/12 08:30:16.000 V -0.000000 -0.000000 0 Km/h N")}, 0, false},
        {"glued sentences, CR only, NUL run, cut sentence",
         QByteArray("$GPGSV,3,1,12*78") + kRmc + "\r" + QByteArray(5, '\0') +
             "$GPRMC,123520,A,4807.1" + QByteArray(2, '\0') + "$GPRMC,123521,A,4807.038,N,01131.000,E,0,0,230394,,",
         {kFix, QStringLiteral("2094/03/23 12:35:21.000 A 48.117300 11.516667 0 Km/h N")}, 0, false},
        {"two talkers of one epoch give one fix, the valid one",
         "$GLRMC,123519,V,,,,,,,230394,,\n" + kRmc + "\n$GARMC,123519,A,0000.000,N,00000.000,E,0,0,230394,,\n",
         {kFix}, 0, false},
        {"midnight roll-over takes the new date, order kept",
         "$GPRMC,235959.90,A,4807.038,N,01131.000,E,0,0,311213,,\n"
         "$GPRMC,000000.00,A,4807.038,N,01131.000,E,0,0,010114,,\n",
         {QStringLiteral("2013/12/31 23:59:59.900 A 48.117300 11.516667 0 Km/h N"),
          QStringLiteral("2014/01/01 00:00:00.000 A 48.117300 11.516667 0 Km/h N")},
         0, false},
        {"time running back is kept in file order and flagged",
         "$GPRMC,083016,A,4807.038,N,01131.000,E,0,0,120513,,\n"
         "$GPRMC,083015,A,4807.038,N,01131.000,E,0,0,120513,,\n",
         {QStringLiteral("2013/05/12 08:30:16.000 A 48.117300 11.516667 0 Km/h N"),
          QStringLiteral("2013/05/12 08:30:15.000 A 48.117300 11.516667 0 Km/h N")},
         0, true},
        {"epoch prefix kept with the fix", "[1368347415200]$GPRMC,083015.2,A,4807.038,N,01131.000,E,0,0,120513,,\n",
         {QStringLiteral("2013/05/12 08:30:15.200 A 48.117300 11.516667 0 Km/h N at=1368347415200")}, 0, false},
        {"GGA without a position adds no altitude",
         "$GPGGA,123519,,,,,0,00,,,M,,M,,\n" + kRmc + "\n", {kFix}, 0, false},
        {"a fix with a time out of range takes no altitude",
         "$GPRMC,250000,A,4807.038,N,01131.000,E,0,0,120513,,\n$GPGGA,250000,,,,,1,08,0.9,12.4,M,,M,,\n",
         {QStringLiteral("2013/05/12 25:00:00.000 A 48.117300 11.516667 0 Km/h N")}, 0, false},
        {"lower-case tag, proprietary and text lines skipped",
         "$PGRME,15.0,M,45.0,M,25.0,M*1C\nhello\n$gprmc,083015,A,4807.038,N,01131.000,E,0,0,120513,,\n",
         {QStringLiteral("2013/05/12 08:30:15.000 A 48.117300 11.516667 0 Km/h N")}, 0, false},
    };
    for (const Case &c : cases) {
        const CNmeaLog log = ReadBytes(c.input);
        EXPECT_EQ(Describe(log), c.fixes) << c.name;
        EXPECT_EQ(log.BadChecksums(), c.badChecksums) << c.name;
        EXPECT_EQ(log.TimeWentBack(), c.wentBack) << c.name;
        EXPECT_FALSE(log.TooLarge()) << c.name;
    }
}

// A 10 Hz log: every tenth of a second its own fix, altitude from the GGA of its own time.
TEST(NmeaLog, TenHertz)
{
    QByteArray bytes;
    for (int i = 0; i < 20; ++i) {
        const QByteArray t = QByteArray::number(83015 + i / 10).rightJustified(6, '0') + "." +
                             QByteArray::number(i % 10) + "0";
        bytes += "$GNGGA," + t + ",4807.038,N,01131.000,E,1,08,0.9," + QByteArray::number(100 + i) +
                 ".0,M,46.9,M,,\r\n";
        bytes += "$GNRMC," + t + ",A,4807.038,N,01131.000,E,0,0,120513,,\r\n";
    }
    const CNmeaLog log = ReadBytes(bytes);
    ASSERT_EQ(log.Fixes().size(), 20);
    for (int i = 0; i < 20; ++i) {
        const tagNMEAFIX &f = log.Fixes()[i];
        EXPECT_EQ(f.fix.stTime.wSecond, 15 + i / 10) << i;
        EXPECT_EQ(f.fix.stTime.wMilliseconds, (i % 10) * 100) << i;
        EXPECT_TRUE(f.bHasAltitude) << i;
        EXPECT_EQ(f.dAltitude, 100 + i) << i;
    }
    EXPECT_FALSE(log.TimeWentBack());
}

// A receiver's own 4 Hz log whose lines are out of time order. Positions checked by hand against
// the sentences (5333.4037 N is 53.556728); every RMC is a fix, the GGA of the same time gives the
// altitude.
TEST(NmeaLog, ReceiverLog)
{
    CNmeaLog log;
    ASSERT_TRUE(log.Load(testfiles::SourceDir() + QStringLiteral("/tests/fixtures/nmea/gpsbabel-nmea-ms.nmea")));
    EXPECT_EQ(log.Fixes().size(), 30);
    EXPECT_EQ(log.BadChecksums(), 0);
    EXPECT_TRUE(log.TimeWentBack());
    const QStringList fixes = Describe(log);
    EXPECT_EQ(fixes.value(0), QStringLiteral("2007/08/17 09:31:56.500 A 53.556728 9.865575 0 Km/h S alt=47.8"));
    EXPECT_EQ(fixes.value(7), QStringLiteral("2007/08/17 09:31:58.500 A 53.556728 9.865578 0 Km/h S"));
    EXPECT_EQ(fixes.value(8), QStringLiteral("2007/08/17 09:31:58.000 A 53.556728 9.865577 0 Km/h S alt=48.4"));
    EXPECT_EQ(fixes.value(29), QStringLiteral("2007/08/17 09:32:03.500 A 53.556728 9.865578 0 Km/h SW alt=49.9"));
}

TEST(NmeaLog, LimitsAndFiles)
{
    // More fixes than a recording can hold: the first ones are kept and the log says so.
    QByteArray line = "$GPRMC,000000,A,4807.038,N,01131.000,E,0,0,120513,,\n";
    QByteArray bytes;
    bytes.reserve(line.size() * (kMaxFixesPerFile + 2));
    for (int i = 0; i < kMaxFixesPerFile + 2; ++i) {
        const int s = i / 10;
        const QByteArray t = QByteArray::number((s / 3600 % 24) * 10000 + (s / 60 % 60) * 100 + s % 60)
                                 .rightJustified(6, '0') + "." + QByteArray::number(i % 10);
        bytes += "$GPRMC," + t + ",A,4807.038,N,01131.000,E,0,0,120513,,\n";
    }
    const CNmeaLog big = ReadBytes(bytes);
    EXPECT_EQ(big.Fixes().size(), kMaxFixesPerFile);
    EXPECT_TRUE(big.TooLarge());

    // A line longer than any sentence keeps only its start.
    const CNmeaLog longLine = ReadBytes(QByteArray(kMaxNmeaLineBytes, 'x') + kRmc + "\n" + kRmc + "\n");
    EXPECT_EQ(longLine.Fixes().size(), 1);

    QTemporaryDir dir;
    CNmeaLog log;
    EXPECT_FALSE(log.Load(dir.path())); // a folder named like a log
    EXPECT_TRUE(log.OpenFailed());
    const QString path = dir.filePath(QStringLiteral("clip.NMEA"));
    ASSERT_TRUE(testfiles::Write(path, kRmc + "\r\n"));
    EXPECT_TRUE(log.Load(path));
    EXPECT_FALSE(log.OpenFailed());
    EXPECT_EQ(Describe(log), QStringList{kFix});
}

} // namespace
