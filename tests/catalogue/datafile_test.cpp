#include "catalogue/datafileinfo.h"

#include "fixtures/testfiles.h"

#include <QTemporaryDir>
#include <random>
#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TypeCase {
    const char *path;
    int type;
};

// Names are padded so that the sixteenth character (index 15) is the one named in the comment.
TEST(RecordingType, CharacterRulesOfTheFileName)
{
    const TypeCase cases[] = {
        {"/card/data/C_20130512_08300xE.dat", RT_ORDINARY},       // first letter C
        {"/card/Parking/data/C20130512083000S.dat", RT_ORDINARY}, // C wins inside Parking
        {"/card/data/X20130512083000N.dat", RT_ORDINARY},         // 16th N
        {"/card/data/X20130512083000F.dat", RT_USER},             // 16th F
        {"/card/data/C20130512083000F.dat", RT_USER},             // F wins over C
        {"/card/PARKING/data/E20130512083000F.dat", RT_USER},     // F wins everywhere
        {"/card/PARKING/data/X20130512083000M.dat", RT_PARKING_MOTION},
        {"/card/parking/data/x20130512083000s.dat", RT_PARKING}, // case-insensitive
        {"/card/myParkingLot/data/X20130512083000A.dat", RT_PARKING_AUDIO},
        {"/card/Parking/data/E20130512083000X.dat", RT_UNKNOWN}, // E does not count in Parking
        {"/card/data/X20130512083000M.dat", RT_UNKNOWN},         // M outside Parking
        {"/card/data/E20130512083000X.dat", RT_EVENT},
        {"/card/data/X20130512083000E.dat", RT_EVENT},
        {"/card/data/X20130512083000A.dat", RT_AUDIO},
        {"/card/data/c.dat", RT_ORDINARY}, // short names
        {"/card/parking/data/e.dat", RT_UNKNOWN},
        {"/card/data/e.dat", RT_EVENT},
        {"/card/data/x.dat", RT_UNKNOWN},
        {"", RT_UNKNOWN},
        {"E20130512083000N", RT_ORDINARY}, // no folder at all
    };
    for (const TypeCase &c : cases)
        EXPECT_EQ(c.type, RecordingTypeFromPath(QString::fromLatin1(c.path))) << c.path;
}

TEST(RecordingType, DisplayNames)
{
    const char *names[] = {"Unknown", "Ordinary", "Event", "User", "Audio", "Parking", "P-Motion", "P-Audio"};
    for (int t = -1; t <= 6; ++t)
        EXPECT_EQ(QString::fromLatin1(names[t + 1]), RecordingTypeName(t));
    EXPECT_EQ(QStringLiteral("Unknown"), RecordingTypeName(7));
    EXPECT_EQ(QStringLiteral("Unknown"), RecordingTypeName(-2));
}

TEST(DataFilePath, PairsAClipWithDataBaseDotDat)
{
    const std::pair<const char *, const char *> cases[] = {
        {"/rec/day1/clip01.avi", "/rec/day1/data/clip01.dat"},
        {"/rec/a.b.avi", "/rec/data/a.b.dat"},
        {"/rec/X.AVI", "/rec/data/X.dat"},
        {"/rec.d/noext", "/rec.d/data/noext.dat"},
        {"clip.mp4", "data/clip.dat"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(QString::fromLatin1(c.second), DataFilePathForClip(QString::fromLatin1(c.first)))
            << c.first;
}

class LineParse : public ::testing::Test
{
protected:
    void Gprmc(const char *line) { reader.ParseGprmc(line, static_cast<int>(strlen(line))); }
    CDataFileInfo reader;
};

TEST_F(LineParse, GprmcFieldsAndTexts)
{
    Gprmc("$GPRMC,083015.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,");
    const tagGPSINFO &g = reader.ScratchFix();
    EXPECT_EQ('A', g.cStatus);
    EXPECT_NEAR(37.552057, g.dLat, 1e-6);
    EXPECT_NEAR(126.976130, g.dLon, 1e-6);
    EXPECT_EQ(3733.1234, g.dLatRaw);
    EXPECT_EQ(21.5, g.dSpeedKnots);
    EXPECT_EQ(87.0, g.dCourse);
    EXPECT_EQ(13, g.stTime.wYear);
    EXPECT_EQ(5, g.stTime.wMonth);
    EXPECT_EQ(12, g.stTime.wDay);
    EXPECT_EQ(8, g.stTime.wHour);
    EXPECT_EQ(30, g.stTime.wMinute);
    EXPECT_EQ(15, g.stTime.wSecond);
    EXPECT_EQ(0, g.stTime.wMilliseconds);
    EXPECT_EQ(QStringLiteral("2013/05/12"), g.strDate);
    EXPECT_EQ(QStringLiteral("08:30:15"), g.strTime);
    EXPECT_EQ(QStringLiteral("37.552057"), g.strLat);
    EXPECT_EQ(QStringLiteral("126.976130"), g.strLon);
    EXPECT_EQ(QStringLiteral("39 Km/h"), g.strSpeed);
    EXPECT_EQ(QStringLiteral("E"), g.strDirection);
}

TEST_F(LineParse, GprmcHemispheresAndVoidFixes)
{
    Gprmc("$GPRMC,083015.000,A,3733.1234,S,12658.5678,W,0.5,0,120513,,");
    EXPECT_EQ(QStringLiteral("-37.552057"), reader.ScratchFix().strLat);
    EXPECT_EQ(QStringLiteral("-126.976130"), reader.ScratchFix().strLon);
    EXPECT_LT(reader.ScratchFix().dLat, 0);
    EXPECT_EQ(QStringLiteral("0 Km/h"), reader.ScratchFix().strSpeed);

    Gprmc("$GPRMC,083016.000,V,,,,,,,120513,,");
    const tagGPSINFO &g = reader.ScratchFix();
    EXPECT_EQ('V', g.cStatus);
    EXPECT_EQ(QStringLiteral("-0.000000"), g.strLat);
    EXPECT_EQ(QStringLiteral("-0.000000"), g.strLon);
    EXPECT_TRUE(std::signbit(g.dLat));
    EXPECT_EQ(0.0, g.dLon);
}

TEST_F(LineParse, GprmcFieldsALineDoesNotReachKeepThePreviousFix)
{
    Gprmc("$GPRMC,083015.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,");
    Gprmc("$gprmc,090000.500,V,3800.0000,N"); // lower-case tag; stops after the hemisphere
    const tagGPSINFO &g = reader.ScratchFix();
    EXPECT_EQ(9, g.stTime.wHour);
    EXPECT_EQ(500, g.stTime.wMilliseconds);
    EXPECT_EQ('V', g.cStatus);
    EXPECT_EQ(38.0, g.dLat);
    EXPECT_EQ(QStringLiteral("38.000000"), g.strLat); // field 4 has no comma after it
    EXPECT_NEAR(126.976130, g.dLon, 1e-6);            // carried over
    EXPECT_EQ(21.5, g.dSpeedKnots);
    EXPECT_EQ(QStringLiteral("2013/05/12"), g.strDate);
}

TEST_F(LineParse, TextsMatchPrintfForAnyCoordinateAndSpeed)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 5000; ++i) {
        const double lat = (rng() % 900000000) / 100000.0; // ddmm.mmmmm up to 9000
        const double lon = (rng() % 1800000000) / 100000.0;
        const double knots = (rng() % 100000) / 100.0;
        const QByteArray line = QString::asprintf("$GPRMC,1,A,%.5f,N,%.5f,E,%.2f,%d,010199,,", lat, lon,
                                                  knots, static_cast<int>(rng() % 400))
                                    .toLatin1();
        Gprmc(line.constData());
        const tagGPSINFO &g = reader.ScratchFix();
        ASSERT_EQ(QString::asprintf("%f", g.dLat), g.strLat) << line.constData();
        ASSERT_EQ(QString::asprintf("%f", g.dLon), g.strLon) << line.constData();
        ASSERT_EQ(QString::asprintf("%d Km/h", static_cast<int>(g.dSpeedKnots * 1.85166)), g.strSpeed);
    }
}

TEST_F(LineParse, TimeFieldMilliseconds)
{
    const std::pair<const char *, int> cases[] = {
        {"083015.2", 200}, {"083015.25", 250}, {"083015.250", 250}, {"083015.2507", 250},
        {"083015", 83},    {"083015.", 0},     {"0830", 83},        {"", 0},
    };
    for (const auto &c : cases) {
        const QByteArray line = QByteArray("$ACCELERATOR,") + c.first + ",130512,1,2,3,";
        ASSERT_TRUE(reader.ParseAccelerator(line.constData(), line.size()));
        EXPECT_EQ(c.second, reader.ScratchSample().stTime.wMilliseconds) << c.first;
    }
}

TEST_F(LineParse, AcceleratorNeedsSixCommas)
{
    const char ok[] = "$ACCELERATOR,083015.300,130512,0.02,-0.98,0.11,";
    ASSERT_TRUE(reader.ParseAccelerator(ok, sizeof ok - 1));
    const tagACCELINFO &a = reader.ScratchSample();
    EXPECT_FLOAT_EQ(0.02f, a.fX);
    EXPECT_FLOAT_EQ(-0.98f, a.fY);
    EXPECT_FLOAT_EQ(0.11f, a.fZ);
    EXPECT_EQ(13, a.stTime.wYear);
    EXPECT_EQ(5, a.stTime.wMonth);
    EXPECT_EQ(12, a.stTime.wDay);
    EXPECT_EQ(300, a.stTime.wMilliseconds);
    const char noTrailingComma[] = "$ACCELERATOR,083015.300,130512,0.02,-0.98,0.11";
    EXPECT_FALSE(reader.ParseAccelerator(noTrailingComma, sizeof noTrailingComma - 1));
}

// The one-pass reading of the common sample line must agree with the field-by-field reading on
// every line, of the common shape or not.
TEST(Accelerator, FastPathAgreesWithTheGeneralReading)
{
    std::mt19937 rng(99);
    const char *pieces[] = {"0", "1", "9",  "-",      ".",      ",",     "+",
                            " ", "e", "12", "083015", "130512", "-0.98", "0.02"};
    auto randomField = [&](bool plausible) {
        if (plausible) {
            const int kind = static_cast<int>(rng() % 4);
            if (kind == 0)
                return QString::asprintf("%s%d.%0*d", rng() % 2 ? "-" : "", static_cast<int>(rng() % 20),
                                         static_cast<int>(1 + rng() % 8), static_cast<int>(rng() % 1000));
            if (kind == 1)
                return QString::number(static_cast<int>(rng() % 1000000));
            if (kind == 2)
                return QString::asprintf("%02d%02d%02d.%0*d", static_cast<int>(rng() % 30),
                                         static_cast<int>(rng() % 70), static_cast<int>(rng() % 70),
                                         static_cast<int>(1 + rng() % 4), static_cast<int>(rng() % 1000));
        }
        QString f;
        const int n = static_cast<int>(rng() % 5);
        for (int i = 0; i < n; ++i)
            f += QLatin1String(pieces[rng() % (sizeof pieces / sizeof *pieces)]);
        return f;
    };
    for (int i = 0; i < 50000; ++i) {
        QStringList fields{QStringLiteral("$ACCELERATOR")};
        const int count = 3 + static_cast<int>(rng() % 5);
        for (int k = 0; k < count; ++k)
            fields << randomField(rng() % 8 != 0);
        if (rng() % 2) {
            fields[1] = QString::asprintf("%02d%02d%02d.%d", static_cast<int>(rng() % 24),
                                          static_cast<int>(rng() % 60), static_cast<int>(rng() % 60),
                                          static_cast<int>(rng() % 1000));
            fields[2] = QStringLiteral("130512");
        }
        const QByteArray line =
            (fields.join(QLatin1Char(',')) + (rng() % 4 ? QStringLiteral(",") : QString())).toLatin1();
        CDataFileInfo fast, general;
        const bool a = fast.ParseAccelerator(line.constData(), line.size(), true);
        const bool b = general.ParseAccelerator(line.constData(), line.size(), false);
        ASSERT_EQ(b, a) << line.constData();
        const tagACCELINFO &x = fast.ScratchSample(), &y = general.ScratchSample();
        ASSERT_EQ(y.stTime, x.stTime) << line.constData();
        ASSERT_EQ(0, memcmp(&y.fX, &x.fX, sizeof(float))) << line.constData();
        ASSERT_EQ(0, memcmp(&y.fY, &x.fY, sizeof(float))) << line.constData();
        ASSERT_EQ(0, memcmp(&y.fZ, &x.fZ, sizeof(float))) << line.constData();
    }
}

TEST(Classify, TagsAreCaseInsensitiveAndNeedAComma)
{
    const std::pair<const char *, DataLineKind> cases[] = {
        {"$SYNCTIME,1,2,", DL_SYNCTIME},
        {"$synctime,", DL_SYNCTIME},
        {"$GpRmC,", DL_GPRMC},
        {"$ACCELERATOR,", DL_ACCELERATOR},
        {"$GPRMC", DL_OTHER},
        {"$GPGGA,1,", DL_OTHER},
        {"", DL_OTHER},
        {" $GPRMC,", DL_OTHER},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.second, CDataFileInfo::Classify(c.first, static_cast<int>(strlen(c.first)))) << c.first;
}

TEST(Compass, SectorsAndOutOfRangeCourses)
{
    const std::pair<int, const char *> cases[] = {
        {0, "N"},   {11, "N"},     {12, "N-NE"}, {33, "N-NE"}, {34, "NE"},    {90, "E"},     {180, "S"},
        {270, "W"}, {303, "W-NW"}, {304, "NW"},  {326, "NW"},  {327, "N-NW"}, {348, "N-NW"}, {349, "N"},
        {359, "N"}, {360, "N"},    {720, "N"},   {-1, "N"},    {-90, "N"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(QString::fromLatin1(c.second), CompassName(c.first)) << c.first;
}

class Load : public ::testing::Test
{
protected:
    QString Path(const QString &name) const { return dir.filePath(name); }
    int LoadBytes(const QByteArray &bytes)
    {
        const QString p = Path(QStringLiteral("data/X20130512083000E.dat"));
        EXPECT_TRUE(testfiles::Write(p, bytes));
        return reader.Load(p);
    }
    QTemporaryDir dir;
    CDataFileInfo reader;
};

TEST_F(Load, AValidFileWithMixedLineEnds)
{
    ASSERT_EQ(1, LoadBytes("$SYNCTIME,083015.250,130512,\r\n"
                           "$ACCELERATOR,083015.300,130512,0.02,-0.98,0.11,\n"
                           "$GPRMC,083015.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,\r\n"
                           "$ACCELERATOR,083015.400,130512,0.03,-0.97,0.12\r\n" // no sample
                           "$SYNCTIME,090000.000,140101,\r\n"                   // ignored
                           "$ACCELERATOR,083015.500,130512,0.04,-0.96,0.13,")); // no line end
    const tagDATAFILEINFO &info = reader.Info();
    EXPECT_EQ(1, info.bValid);
    EXPECT_EQ(RT_EVENT, info.nType);
    EXPECT_EQ(13, info.stSyncTime.wYear);
    EXPECT_EQ(250, info.stSyncTime.wMilliseconds);
    EXPECT_EQ(8, info.stSyncTime.wHour);
    ASSERT_EQ(2, info.vecAccel.size());
    EXPECT_FLOAT_EQ(0.13f, info.vecAccel[1].fZ);
    ASSERT_EQ(1, info.vecGps.size());
    EXPECT_EQ(QStringLiteral("E"), info.vecGps[0].strDirection);
}

TEST_F(Load, FilesThatYieldNothing)
{
    const QByteArray cases[] = {
        "",                                                  // empty
        "\r\n$SYNCTIME,083015.250,130512,\r\n$GPRMC,1,\r\n", // first line empty
        "$GPRMC,083015.000,A,,,,,,,,\r\n$SYNCTIME,083015.250,130512,\r\nx\r\n",
        "$SYNCTIME,083015.250,130512,\r\n",              // only the sync line
        "$SYNCTIME,083015.250,130512\r\nmore\r\n",       // sync line short of a comma
        QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), // binary
    };
    for (const QByteArray &bytes : cases) {
        EXPECT_EQ(0, LoadBytes(bytes)) << bytes.toPercentEncoding().constData();
        EXPECT_EQ(0, reader.Info().bValid);
        EXPECT_EQ(RT_UNKNOWN, reader.Info().nType);
        EXPECT_EQ(SYSTEMTIME(), reader.Info().stSyncTime);
        EXPECT_FALSE(reader.OpenFailed());
    }
}

TEST_F(Load, EmptyAndUnknownLinesStillCountAsData)
{
    ASSERT_EQ(1, LoadBytes("$SYNCTIME,083015.250,130512,\r\n\r\nhello\r\n"));
    EXPECT_EQ(1, reader.Info().bValid);
    EXPECT_TRUE(reader.Info().vecAccel.isEmpty());
    EXPECT_TRUE(reader.Info().vecGps.isEmpty());
}

TEST_F(Load, LongLinesNulBytesAndBlockBoundaries)
{
    QByteArray bytes = "$SYNCTIME,083015.250,130512,\r\n";
    bytes += QByteArray(1 << 20, 'z') + "\r\n";                             // a 1 MB line
    bytes += QByteArray("$ACCELERATOR,083015.300,130512,1\0,2,3,\r\n", 40); // NUL inside a field
    // Samples that straddle the reader's block boundaries.
    for (int i = 0; i < 5000; ++i)
        bytes += "$ACCELERATOR,083015.300,130512," + QByteArray::number(i) + ",-0.98,0.11,\r\n";
    ASSERT_EQ(1, LoadBytes(bytes));
    const auto &acc = reader.Info().vecAccel;
    ASSERT_EQ(5001, acc.size());
    EXPECT_FLOAT_EQ(1.0f, acc[0].fX);
    for (int i = 0; i < 5000; ++i)
        ASSERT_FLOAT_EQ(static_cast<float>(i), acc[i + 1].fX) << i;
}

TEST_F(Load, AFileKeepsWhatARecordingCanHoldAndSaysWhenThereWasMore)
{
    const QByteArray sync = "$SYNCTIME,083015.250,130512,\r\n";
    const QByteArray sample = "$ACCELERATOR,083015.300,130512,0.02,-0.98,0.11,\r\n";
    const QByteArray fix = "$GPRMC,083015.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,\r\n";
    const auto lines = [](const QByteArray &line, int count) { return line.repeated(count); };
    // Each file is made when its case runs: together they would take hundreds of MB.
    const struct {
        const char *what;
        std::function<QByteArray()> bytes;
        int samples, fixes, tooLarge;
    } cases[] = {
        {"every sample an hour can hold", [&] { return sync + lines(sample, kMaxSamplesPerFile); },
         kMaxSamplesPerFile, 0, 0},
        {"one sample more", [&] { return sync + lines(sample, kMaxSamplesPerFile + 1); }, kMaxSamplesPerFile, 0, 1},
        {"fixes past the limit", [&] { return sync + lines(fix, kMaxFixesPerFile + 5) + sample; }, 0,
         kMaxFixesPerFile, 1},
        {"mostly NUL bytes",
         [&] { return sync + lines(sample, 3) + QByteArray(kMaxDataFileBytes, '\0') + "\n" + sample; }, 3, 0, 1},
        {"NUL bytes up to the byte limit",
         [&] { return sync + QByteArray(kMaxDataFileBytes - sync.size() - 1, '\0') + "\n"; }, 0, 0, 0},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(1, LoadBytes(c.bytes())) << c.what;
        EXPECT_EQ(c.samples, reader.Info().vecAccel.size()) << c.what;
        EXPECT_EQ(c.fixes, reader.Info().vecGps.size()) << c.what;
        EXPECT_EQ(c.tooLarge, reader.Info().bTooLarge) << c.what;
    }
    // The next file starts afresh.
    ASSERT_EQ(1, LoadBytes(sync + sample));
    EXPECT_EQ(0, reader.Info().bTooLarge);
}

TEST_F(Load, PathsThatAreNotReadableFiles)
{
    EXPECT_EQ(0, reader.Load(QString()));
    EXPECT_FALSE(reader.OpenFailed());

    EXPECT_EQ(0, reader.Load(Path(QStringLiteral("missing.dat"))));
    EXPECT_TRUE(reader.OpenFailed());
    EXPECT_EQ(RT_UNKNOWN, reader.Info().nType);

    QDir(dir.path()).mkpath(QStringLiteral("dir.dat"));
    EXPECT_EQ(0, reader.Load(Path(QStringLiteral("dir.dat"))));
    EXPECT_TRUE(reader.OpenFailed());

    // A pipe named like a data file must not block the load.
    const QByteArray fifo = QFile::encodeName(Path(QStringLiteral("pipe.dat")));
    ASSERT_EQ(0, mkfifo(fifo.constData(), 0600));
    EXPECT_EQ(0, reader.Load(Path(QStringLiteral("pipe.dat"))));
    EXPECT_TRUE(reader.OpenFailed());

    if (geteuid() != 0) { // root reads anything
        const QString p = Path(QStringLiteral("locked.dat"));
        ASSERT_TRUE(testfiles::WriteSynced(p, QStringLiteral("083015.250"), QStringLiteral("130512")));
        ASSERT_EQ(0, chmod(QFile::encodeName(p).constData(), 0));
        EXPECT_EQ(0, reader.Load(p));
        EXPECT_TRUE(reader.OpenFailed());
    }
}

TEST_F(Load, ResetKeepsTheScratchFixNumbersButNotItsTexts)
{
    ASSERT_EQ(1, LoadBytes("$SYNCTIME,083015.250,130512,\r\n"
                           "$GPRMC,083015.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,\r\n"));
    // The next clip's first fix stops after its status: the position of the previous clip's
    // last fix is what the recorder's tools have always shown there.
    ASSERT_EQ(1, LoadBytes("$SYNCTIME,083015.250,130512,\r\n$GPRMC,090000.000,V,\r\n"));
    const tagGPSINFO &g = reader.Info().vecGps.at(0);
    EXPECT_NEAR(37.552057, g.dLat, 1e-6);
    EXPECT_EQ(21.5, g.dSpeedKnots);
    EXPECT_EQ(QStringLiteral("37"), g.strLat);
    EXPECT_EQ(QStringLiteral("0 Km"), g.strSpeed);
    EXPECT_EQ(QStringLiteral(" "), g.strDate);
    EXPECT_EQ(9, g.stTime.wHour);
}

} // namespace
