// pellister-cli config as a script would use it.
#include "configtestsupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

testfiles::RunResult Cli(const QStringList &args)
{
    return testfiles::Run(testfiles::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli"),
                          QStringList{QStringLiteral("config")} + args);
}

} // namespace

class CliConfigTest : public ::testing::Test
{
protected:
    QString ConfPath() const { return card.filePath(QStringLiteral("configuration/qx310_blackbox.conf")); }
    QTemporaryDir card;
};

TEST_F(CliConfigTest, SaveThenShow)
{
    ASSERT_TRUE(QDir().mkdir(card.filePath(QStringLiteral("update"))));
    auto r = Cli({QStringLiteral("save"), card.path(), QStringLiteral("CITY_INDEX=116"),
                  QStringLiteral("DAYLIGHT_SAVING_TIME=1"), QStringLiteral("--clock"),
                  QStringLiteral("2012-01-23 13:14:15")});
    EXPECT_EQ(0, r.exitCode) << r.err.constData();
    EXPECT_EQ("Complete to save the configuration file.\n", r.out);
    EXPECT_EQ(configtest::Golden("korea_south_dst.conf"), configtest::ReadAll(ConfPath()));
    EXPECT_EQ(configtest::Golden("clock_2012_01_23.cfg"),
              configtest::ReadAll(card.filePath(QStringLiteral("update/date_time.cfg"))));

    r = Cli({QStringLiteral("show"), card.path()});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ("CITY_INDEX=116\nTIMEZONE_INFO=9\nRECORD_MODE=2\nWITH_AUDIO=1\nOVERLAY_INFO=7\nG_SENSITIVITY=50\n"
              "DAYLIGHT_SAVING_TIME=1\n",
              r.out);
}

TEST_F(CliConfigTest, SaveKeepsWhatItDoesNotTouchAndShowsTheSlidersValue)
{
    configtest::WriteCardConfig(card.path(), {QStringLiteral("CITY_INDEX=233"), QStringLiteral("OVERLAY_INFO=9"),
                                              QStringLiteral("G_SENSITIVITY=150"), QStringLiteral("ssid=Home")});
    auto r = Cli({QStringLiteral("show"), card.path()});
    EXPECT_NE(-1, r.out.indexOf("TIMEZONE_INFO=-4.5\n")) << r.out.constData();
    EXPECT_NE(-1, r.out.indexOf("G_SENSITIVITY=100\n"));
    r = Cli({QStringLiteral("save"), card.path(), QStringLiteral("RECORD_MODE=0")});
    EXPECT_EQ(0, r.exitCode);
    QByteArray expected = configtest::Golden("venezuela.conf");
    expected.replace("OVERLAY_INFO=7", "OVERLAY_INFO=9")
        .replace("G_SENSITIVITY=50", "G_SENSITIVITY=100")
        .replace("RECORD_MODE=2", "RECORD_MODE=0")
        .replace("ssid=Pellister", "ssid=Home");
    EXPECT_EQ(expected, configtest::ReadAll(ConfPath()));
}

TEST_F(CliConfigTest, FailuresAndWrongArguments)
{
    struct Case {
        QStringList args;
        int exitCode;
    };
    const QString c = card.path();
    const Case cases[] = {
        {{QStringLiteral("save"), c, QStringLiteral("city_index=3")}, 2},
        {{QStringLiteral("save"), c, QStringLiteral("G_SENSITIVITY=lots")}, 2},
        {{QStringLiteral("save"), c, QStringLiteral("CITY_INDEX=241")}, 2},
        {{QStringLiteral("save"), c, QStringLiteral("TIMEZONE_INFO=9")}, 2},
        {{QStringLiteral("save"), c, QStringLiteral("--clock"), QStringLiteral("2013-02-30 10:00:00")}, 2},
        {{QStringLiteral("save"), c, QStringLiteral("--clock")}, 2},
        {{QStringLiteral("load"), c}, 2},
        {{QStringLiteral("show"), c}, 1}, // no file yet
    };
    for (const Case &k : cases) {
        const auto r = Cli(k.args);
        EXPECT_EQ(k.exitCode, r.exitCode) << k.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(card.filePath(QStringLiteral("configuration"))));

    // No update folder: the clock file fails, the configuration file is still saved.
    auto r = Cli({QStringLiteral("save"), c, QStringLiteral("--clock"), QStringLiteral("2012-01-23 13:14:15")});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("Error : Failed open Time setting file.\nComplete to save the configuration file.\n", r.out);
    EXPECT_EQ(configtest::Golden("defaults.conf"), configtest::ReadAll(ConfPath()));

    // A card path that is a file: the folder cannot be made.
    const QString file = card.filePath(QStringLiteral("plain"));
    ASSERT_TRUE(testfiles::Write(file, "x"));
    r = Cli({QStringLiteral("save"), file});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ(QStringLiteral("Fail to create the \n%1/configuration\n directory.\n").arg(file).toUtf8(), r.out);
}
