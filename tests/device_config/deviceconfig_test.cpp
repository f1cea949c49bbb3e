// The configuration and clock files: bytes written, reading rules, the save procedure.
#include "configtestsupport.h"
#include "fixtures/readonlyfolder.h"

#include "device_config/configstore.h"
#include "device_config/regiontable.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <sys/resource.h>

using configtest::Golden;
using configtest::ReadAll;

namespace {

DeviceConfig WithRegion(int city, int daylight)
{
    const CRegionTable regions;
    DeviceConfig c;
    c.nCityIndex = city;
    c.dTimeDifference = regions.Row(city).offset;
    c.nDaylightSaving = daylight;
    return c;
}

} // namespace

TEST(RegionTable, RowsTheFileIndexes)
{
    const CRegionTable regions;
    ASSERT_EQ(241, regions.Count());
    EXPECT_FALSE(regions.IsRow(241));
    EXPECT_FALSE(regions.IsRow(-1));
    struct Row {
        int index;
        const char *name;
        double offset;
    };
    for (const Row &r : {Row{0, "Afghanistan", 4.5}, Row{14, "Australia(Eucla)", 8.75}, Row{116, "Korea,South", 9},
                         Row{151, "Nepal", 5.75}, Row{193, "Singapore", 8}, Row{198, "South Africa", 2},
                         Row{225, "UnitedKingdom", 0}, Row{229, "UnitedStates Pacific", -8},
                         Row{233, "Venezuela", -4.5}, Row{240, "Zimbabwe", 2}}) {
        EXPECT_EQ(QString::fromLatin1(r.name), regions.Row(r.index).name) << r.index;
        EXPECT_EQ(r.offset, regions.Row(r.index).offset) << r.index;
    }
}

TEST(ConfigFile, BytesMatchTheRecordersTemplateWhateverTheLocale)
{
    // A desktop with a decimal comma must still write "10.000000".
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const std::string cLocale = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    struct Case {
        const char *golden;
        int city;
        int daylight;
    };
    for (const Case &c : {Case{"defaults.conf", 193, 0}, Case{"korea_south_dst.conf", 116, 1},
                          Case{"us_pacific_dst.conf", 229, 1}, Case{"venezuela.conf", 233, 0},
                          Case{"australia_eucla.conf", 14, 0}}) {
        EXPECT_EQ(Golden(c.golden), ConfigurationFileBytes(WithRegion(c.city, c.daylight))) << c.golden;
    }
    std::setlocale(LC_ALL, cLocale.c_str());
    QLocale::setDefault(previous);
}

TEST(ConfigFile, DaylightSavingAddsAnHourOnlyWhenExactlyOne)
{
    DeviceConfig c = WithRegion(116, 2);
    EXPECT_TRUE(ConfigurationFileBytes(c).contains("\r\nTIMEZONE_INFO=9.000000\r\n"));
    EXPECT_TRUE(ConfigurationFileBytes(c).contains("\r\nDAYLIGHT_SAVING_TIME=2\r\n"));
}

TEST(ClockFile, BytesMatchTheRecordersTemplate)
{
    EXPECT_EQ(Golden("clock_2012_01_23.cfg"), ClockFileBytes(QDate(2012, 1, 23), QTime(13, 14, 15)));
    EXPECT_TRUE(ClockFileBytes(QDate(987, 12, 3), QTime(0, 5, 9)).endsWith("\r\n0987_12_03_00_05_09\r\n"));
}

TEST(ConfigFile, ReadingRules)
{
    struct Case {
        const char *what;
        QByteArray text;
        int DeviceConfig::*field;
        int expected;
    };
    const Case cases[] = {
        {"blanks and tabs around key and value", " \t G_SENSITIVITY \t= \t30 \t\r\n", &DeviceConfig::nGSensitivity, 30},
        {"lower-case key is another key", "g_sensitivity=30\r\n", &DeviceConfig::nGSensitivity, 50},
        {"digits then letters", "RECORD_MODE=12abc\r\n", &DeviceConfig::nRecordMode, 12},
        {"no leading digits", "WITH_AUDIO=abc\r\n", &DeviceConfig::nWithAudio, 0},
        {"signed value", "OVERLAY_INFO=-3\r\n", &DeviceConfig::nOverlayInfo, -3},
        {"nothing after the equals sign", "G_SENSITIVITY=\r\n", &DeviceConfig::nGSensitivity, 50},
        {"only blanks after the equals sign", "G_SENSITIVITY=  \t\r\n", &DeviceConfig::nGSensitivity, 50},
        {"the last of a repeated key", "OVERLAY_INFO=3\r\nOVERLAY_INFO=9\r\n", &DeviceConfig::nOverlayInfo, 9},
        {"comment line", "#G_SENSITIVITY=30\r\n", &DeviceConfig::nGSensitivity, 50},
        {"line of a CR", "\r\r\nG_SENSITIVITY=31\r\n", &DeviceConfig::nGSensitivity, 31},
        {"line without an equals sign", "G_SENSITIVITY 30\r\n", &DeviceConfig::nGSensitivity, 50},
        {"LF line ends", "G_SENSITIVITY=32\nRECORD_MODE=1\n", &DeviceConfig::nGSensitivity, 32},
        {"first equals sign splits", "G_SENSITIVITY=33=4\r\n", &DeviceConfig::nGSensitivity, 33},
        {"value beyond int", "G_SENSITIVITY=99999999999\r\n", &DeviceConfig::nGSensitivity, 2147483647},
        {"only the first 79 characters count", "G_SENSITIVITY=" + QByteArray(78, '0') + "75\r\n",
         &DeviceConfig::nGSensitivity, 7},
        {"city index outside the table", "CITY_INDEX=241\r\nG_SENSITIVITY=30\r\n", &DeviceConfig::nCityIndex, 193},
        {"other values kept beside a bad city", "CITY_INDEX=241\r\nG_SENSITIVITY=30\r\n",
         &DeviceConfig::nGSensitivity, 30},
        {"negative city index", "CITY_INDEX=-1\r\n", &DeviceConfig::nCityIndex, 193},
        {"daylight saving", "DAYLIGHT_SAVING_TIME=1\r\n", &DeviceConfig::nDaylightSaving, 1},
    };
    const CRegionTable regions;
    for (const Case &c : cases) {
        DeviceConfig config;
        ParseConfigText(c.text, config, regions);
        EXPECT_EQ(c.expected, config.*c.field) << c.what;
    }
}

TEST(ConfigFile, TimeDifferenceComesFromTheRegionRow)
{
    const CRegionTable regions;
    DeviceConfig config;
    ParseConfigText("CITY_INDEX=233\r\nTIMEZONE_INFO=5.5\r\n", config, regions);
    EXPECT_EQ(-4.5, config.dTimeDifference);
    ParseConfigText("CITY_INDEX=500\r\nTIMEZONE_INFO=5.5\r\n", config, regions);
    EXPECT_EQ(8.0, config.dTimeDifference);
    EXPECT_EQ(QStringLiteral("-4.5"), TimeDifferenceText(-4.5));
    EXPECT_EQ(QStringLiteral("9"), TimeDifferenceText(9));
    EXPECT_EQ(QStringLiteral("8.75"), TimeDifferenceText(8.75));
}

TEST(ConfigFile, ReadBackWhatWasWritten)
{
    QTemporaryDir card;
    const QString path = card.filePath(QStringLiteral("qx310_blackbox.conf"));
    ASSERT_TRUE(testfiles::Write(path, Golden("korea_south_dst.conf")));
    const CRegionTable regions;
    DeviceConfig config;
    config.filePath = path;
    ASSERT_TRUE(ReadConfigFile(path, config, regions));
    EXPECT_EQ(116, config.nCityIndex);
    EXPECT_EQ(9.0, config.dTimeDifference); // the "+ 1" stays in DAYLIGHT_SAVING_TIME
    EXPECT_EQ(1, config.nDaylightSaving);
    EXPECT_EQ(path, config.filePath);

    config.nGSensitivity = 12;
    EXPECT_FALSE(ReadConfigFile(card.filePath(QStringLiteral("none.conf")), config, regions));
    EXPECT_EQ(12, config.nGSensitivity); // a file that cannot be read changes nothing
}

TEST(ConfigFile, PathsOnTheCard)
{
    EXPECT_EQ(QStringLiteral("/media/u/CARD/configuration/qx310_blackbox.conf"),
              ComposeConfigFilePath(QStringLiteral("/media/u/CARD/configuration")));
    EXPECT_EQ(QStringLiteral("/media/u/CARD/qx310_blackbox.conf"), ComposeConfigFilePath(QStringLiteral("/media/u/CARD/")));
    EXPECT_EQ(QStringLiteral("/media/u/CARD/update/date_time.cfg"), ClockFilePath(QStringLiteral("/media/u/CARD")));
}

class SaveTest : public ::testing::Test
{
protected:
    QString Card(const char *sub) const { return card.filePath(QLatin1String(sub)); }
    DeviceConfig AtCard() const
    {
        DeviceConfig c = WithRegion(229, 1);
        c.filePath = ComposeConfigFilePath(Card("configuration"));
        return c;
    }
    tagSAVERESULT Save(const DeviceConfig &c, bool clock)
    {
        return SaveConfiguration(c, clock, QDate(2012, 1, 23), QTime(13, 14, 15), ClockFilePath(card.path()));
    }
    QTemporaryDir card;
};

TEST_F(SaveTest, CreatesTheConfigurationFolderButNeverTheUpdateFolder)
{
    const tagSAVERESULT r = Save(AtCard(), true);
    EXPECT_EQ(QStringList({QString::fromLatin1(configtext::kClockFileFailed), QString::fromLatin1(configtext::kSaved)}),
              r.messages);
    EXPECT_EQ(SaveOutcome::Saved, r.outcome);
    EXPECT_TRUE(r.bCloseDialog);
    EXPECT_FALSE(QFileInfo::exists(Card("update")));
    EXPECT_EQ(Golden("us_pacific_dst.conf"), ReadAll(AtCard().filePath));
}

TEST_F(SaveTest, WritesTheClockFileIntoAnExistingUpdateFolder)
{
    ASSERT_TRUE(QDir().mkdir(Card("update")));
    const tagSAVERESULT r = Save(AtCard(), true);
    EXPECT_EQ(QStringList{QString::fromLatin1(configtext::kSaved)}, r.messages);
    EXPECT_EQ(Golden("clock_2012_01_23.cfg"), ReadAll(Card("update/date_time.cfg")));
    // Only the two files: nothing left beside them.
    EXPECT_EQ(QStringList{QStringLiteral("date_time.cfg")}, QDir(Card("update")).entryList(QDir::Files | QDir::Hidden));
    EXPECT_EQ(QStringList{QStringLiteral("qx310_blackbox.conf")},
              QDir(Card("configuration")).entryList(QDir::Files | QDir::Hidden));
}

TEST_F(SaveTest, ShortPathWritesNothingAndKeepsTheDialogOpen)
{
    DeviceConfig c = AtCard();
    c.filePath = QStringLiteral("/qx310_blackbox.conf");
    const tagSAVERESULT r = Save(c, false);
    EXPECT_EQ(SaveOutcome::PathTooShort, r.outcome);
    EXPECT_FALSE(r.bCloseDialog);
    EXPECT_EQ(QStringList{QString::fromLatin1(configtext::kCheckPath)}, r.messages);
    c.filePath.clear();
    EXPECT_EQ(SaveOutcome::PathTooShort, Save(c, false).outcome);
}

TEST_F(SaveTest, FolderThatIsAFile)
{
    ASSERT_TRUE(testfiles::Write(Card("configuration"), "not a folder"));
    const tagSAVERESULT r = Save(AtCard(), false);
    EXPECT_EQ(SaveOutcome::FolderFailed, r.outcome);
    EXPECT_TRUE(r.bCloseDialog);
    EXPECT_EQ(QStringList{QStringLiteral("Fail to create the \n%1\n directory.").arg(Card("configuration"))}, r.messages);
    EXPECT_EQ(QByteArray("not a folder"), ReadAll(Card("configuration")));
}

TEST_F(SaveTest, FileThatCannotBeReplacedLeavesNothingHalfWritten)
{
    ASSERT_TRUE(QDir().mkpath(AtCard().filePath)); // a folder where the file should be
    const tagSAVERESULT r = Save(AtCard(), false);
    EXPECT_EQ(SaveOutcome::FileFailed, r.outcome);
    EXPECT_EQ(QStringList{QString::fromLatin1(configtext::kFileFailed)}, r.messages);
    EXPECT_EQ(QStringList{QStringLiteral("qx310_blackbox.conf")},
              QDir(Card("configuration")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(SaveTest, ReadOnlyCardKeepsTheOldFile)
{
    ASSERT_TRUE(testfiles::Write(AtCard().filePath, "old"));
    tagSAVERESULT r;
    {
        const testfiles::ReadOnlyFolder readOnly(Card("configuration"));
        ASSERT_TRUE(readOnly.Held());
        r = Save(AtCard(), false);
    }
    EXPECT_EQ(SaveOutcome::FileFailed, r.outcome);
    EXPECT_EQ(QStringList{QString::fromLatin1(configtext::kFileFailed)}, r.messages);
    EXPECT_EQ(QByteArray("old"), ReadAll(AtCard().filePath));
}

TEST_F(SaveTest, WriteCutShortKeepsTheOldFileWhole)
{
    // A file-size limit makes the write fail part way, as a card pulled out or full would.
    const QByteArray old = Golden("defaults.conf");
    ASSERT_TRUE(testfiles::Write(AtCard().filePath, old));
    rlimit saved{};
    ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &saved));
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 512;
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &limited));
    const tagSAVERESULT r = Save(AtCard(), false);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(SaveOutcome::FileFailed, r.outcome);
    EXPECT_EQ(QStringList{QString::fromLatin1(configtext::kFileFailed)}, r.messages);
    EXPECT_EQ(old, ReadAll(AtCard().filePath));
    EXPECT_EQ(QStringList{QStringLiteral("qx310_blackbox.conf")},
              QDir(Card("configuration")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(SaveTest, HandEditedFixedLinesAreRewrittenButTheWifiLinesKept)
{
    // What the file being replaced holds besides the settings, and the Wi-Fi lines saved after it.
    const struct {
        const char *what;
        QStringList extra;
        QByteArray ssid;
        QByteArray passphrase;
    } cases[] = {
        {"no file: the template's", {}, "ssid=Pellister", "wpa_passphrase=53718264"},
        {"the driver's own", {"ssid=Home", "wpa_passphrase=my own secret"}, "ssid=Home", "wpa_passphrase=my own secret"},
        {"only a pass phrase", {"wpa_passphrase=12345678901"}, "ssid=Pellister", "wpa_passphrase=12345678901"},
        {"kept byte for byte", {" ssid = Car\t"}, " ssid = Car\t", "wpa_passphrase=53718264"},
        {"the last of two", {"wpa_passphrase=first", "wpa_passphrase=second"}, "ssid=Pellister", "wpa_passphrase=second"},
        {"commented out or another key", {"#wpa_passphrase=x", "WPA_PASSPHRASE=y", "ssid_x=z"}, "ssid=Pellister",
         "wpa_passphrase=53718264"},
    };
    const CRegionTable regions;
    for (const auto &c : cases) {
        QFile::remove(AtCard().filePath);
        DeviceConfig config = AtCard();
        if (!c.extra.isEmpty()) {
            ASSERT_FALSE(configtest::WriteCardConfig(card.path(), QStringList{"CITY_INDEX=229", "REC_QUALITY=0",
                                                                              "OVERLAY_INFO=9",
                                                                              "DAYLIGHT_SAVING_TIME=1"} +
                                                                      c.extra)
                             .isEmpty());
            ASSERT_TRUE(ReadConfigFile(config.filePath, config, regions));
        }
        ASSERT_EQ(SaveOutcome::Saved, Save(config, false).outcome) << c.what;
        QByteArray expected = Golden("us_pacific_dst.conf");
        if (!c.extra.isEmpty())
            expected.replace("OVERLAY_INFO=7", "OVERLAY_INFO=9");
        expected.replace("\r\nssid=Pellister\r\n", "\r\n" + c.ssid + "\r\n");
        expected.replace("\r\nwpa_passphrase=53718264\r\n", "\r\n" + c.passphrase + "\r\n");
        EXPECT_EQ(expected, ReadAll(AtCard().filePath)) << c.what;
    }
}

TEST(ConfigFile, AFileLargerThanAConfigurationIsNotRead)
{
    QTemporaryDir card;
    const QString path = card.filePath(QStringLiteral("qx310_blackbox.conf"));
    const QByteArray setting = "G_SENSITIVITY=30\r\n";
    const CRegionTable regions;
    for (const qint64 size : {kMaxConfigFileBytes, kMaxConfigFileBytes + 1}) {
        ASSERT_TRUE(testfiles::Write(path, setting + QByteArray(size - setting.size(), '#')));
        DeviceConfig config;
        config.nGSensitivity = 12;
        EXPECT_EQ(size <= kMaxConfigFileBytes, ReadConfigFile(path, config, regions)) << size;
        EXPECT_EQ(size <= kMaxConfigFileBytes ? 30 : 12, config.nGSensitivity) << size;
    }
    // Nor is anything that is not a file.
    DeviceConfig config;
    EXPECT_FALSE(ReadConfigFile(card.path(), config, regions));
}
