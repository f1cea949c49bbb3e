// pellister-cli config: shows and saves a card's configuration the way the configurator does.
#include "cli/clicommands.h"

#include "device_config/configstore.h"
#include "device_config/deviceconfig.h"
#include "device_config/regiontable.h"

#include <QDate>
#include <QTime>
#include <QDir>
#include <QFileInfo>

namespace {

struct tagSETTING {
    const char *key;
    int DeviceConfig::*field;
    int minimum;
    int maximum;
};

// The settings a user may set; TIMEZONE_INFO always follows CITY_INDEX.
constexpr tagSETTING kSettings[] = {
    {"CITY_INDEX", &DeviceConfig::nCityIndex, 0, CRegionTable::kFilledRows - 1},
    {"RECORD_MODE", &DeviceConfig::nRecordMode, 0, 2},
    {"WITH_AUDIO", &DeviceConfig::nWithAudio, 0, 1},
    {"OVERLAY_INFO", &DeviceConfig::nOverlayInfo, 0, 15},
    {"G_SENSITIVITY", &DeviceConfig::nGSensitivity, 0, 100},
    {"DAYLIGHT_SAVING_TIME", &DeviceConfig::nDaylightSaving, 0, 1},
};

QString ConfigFolderOf(const QString &card)
{
    return QDir(card).filePath(QString::fromLatin1(kConfigFolderName));
}

// The record as the configurator holds it once it has read the card's file (or, without a file,
// the defaults). False when the file is there but cannot be read.
bool LoadAsDialog(const QString &card, const CRegionTable &regions, DeviceConfig &config, QTextStream &err)
{
    config.filePath = ComposeConfigFilePath(ConfigFolderOf(card));
    if (!QFileInfo(config.filePath).isFile())
        return true;
    if (!ReadConfigFile(config.filePath, config, regions)) {
        err << QString::fromLatin1(configtext::kCannotRead).arg(config.filePath) << "\n";
        return false;
    }
    config.nGSensitivity = SensitivityOnSlider(config.nGSensitivity);
    return true;
}

int Show(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (args.size() != 1) {
        err << "pellister-cli: config show takes one CARD folder\n";
        return kExitUsage;
    }
    const CRegionTable regions;
    DeviceConfig config;
    if (!LoadAsDialog(args[0], regions, config, err))
        return kExitFailed;
    if (!QFileInfo(config.filePath).isFile()) {
        err << "pellister-cli: there is no configuration file " << config.filePath << "\n";
        return kExitFailed;
    }
    out << "CITY_INDEX=" << config.nCityIndex << "\n"
        << "TIMEZONE_INFO=" << TimeDifferenceText(config.dTimeDifference) << "\n"
        << "RECORD_MODE=" << config.nRecordMode << "\n"
        << "WITH_AUDIO=" << config.nWithAudio << "\n"
        << "OVERLAY_INFO=" << config.nOverlayInfo << "\n"
        << "G_SENSITIVITY=" << config.nGSensitivity << "\n"
        << "DAYLIGHT_SAVING_TIME=" << config.nDaylightSaving << "\n";
    return kExitOk;
}

// Applies one KEY=VALUE argument; false (with the reason on `err`) when it is not one.
bool ApplySetting(const QString &arg, DeviceConfig &config, const CRegionTable &regions, QTextStream &err)
{
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    const QString key = arg.left(eq);
    const QString text = eq < 0 ? QString() : arg.mid(eq + 1);
    if (eq >= 0 && key == QLatin1String("TIMEZONE_INFO")) {
        err << "pellister-cli: TIMEZONE_INFO follows the region; set CITY_INDEX instead\n";
        return false;
    }
    for (const tagSETTING &s : kSettings) {
        if (eq < 0 || key != QLatin1String(s.key))
            continue;
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < s.minimum || value > s.maximum) {
            err << "pellister-cli: " << s.key << " takes a whole number from " << s.minimum << " to " << s.maximum
                << ", not '" << text << "'\n";
            return false;
        }
        config.*s.field = value;
        if (s.field == &DeviceConfig::nCityIndex)
            config.dTimeDifference = regions.Row(value).offset;
        return true;
    }
    err << "pellister-cli: unknown setting '" << arg << "' (CITY_INDEX, RECORD_MODE, WITH_AUDIO, OVERLAY_INFO, "
        << "G_SENSITIVITY, DAYLIGHT_SAVING_TIME)\n";
    return false;
}

int Save(const QStringList &args, const tagCLIARGS &cli, QTextStream &out, QTextStream &err)
{
    if (args.isEmpty()) {
        err << "pellister-cli: config save needs the CARD folder\n";
        return kExitUsage;
    }
    const QString card = args[0];
    const QStringList settings = args.mid(1);
    const bool writeClock = cli.IsSet("clock");
    QDate date;
    QTime time;
    if (writeClock) {
        // The recorder takes the clock as it is written, with no time zone: the date and the
        // time are checked on their own (a local daylight-saving gap does not matter).
        const QString clock = cli.Value("clock");
        const QStringList parts = clock.split(QLatin1Char(' '));
        date = QDate::fromString(parts.value(0), QStringLiteral("yyyy-MM-dd"));
        time = QTime::fromString(parts.value(1), QStringLiteral("HH:mm:ss"));
        if (parts.size() != 2 || !date.isValid() || !time.isValid()) {
            err << "pellister-cli: '" << clock << "' is not a date and time \"YYYY-MM-DD hh:mm:ss\"\n";
            return kExitUsage;
        }
    }
    const CRegionTable regions;
    DeviceConfig config;
    for (const QString &s : settings) {
        DeviceConfig probe;
        if (!ApplySetting(s, probe, regions, err))
            return kExitUsage;
    }
    if (!LoadAsDialog(card, regions, config, err))
        return kExitFailed;
    for (const QString &s : settings)
        ApplySetting(s, config, regions, err);
    const tagSAVERESULT result =
        SaveConfiguration(config, writeClock, date, time, ClockFilePath(card));
    for (const QString &m : result.messages)
        out << m << "\n";
    const bool clockOk = !writeClock || result.bClockWritten;
    return result.outcome == SaveOutcome::Saved && clockOk ? kExitOk : kExitFailed;
}

int RunConfig(const tagCLIARGS &cli, QTextStream &out, QTextStream &err)
{
    const QStringList &args = cli.positional;
    const QString what = args.value(0);
    if (what == QLatin1String("show")) {
        if (cli.IsSet("clock")) {
            err << "pellister-cli: config show takes one CARD folder\n";
            return kExitUsage;
        }
        return Show(args.mid(1), out, err);
    }
    if (what == QLatin1String("save"))
        return Save(args.mid(1), cli, out, err);
    err << "pellister-cli: config takes show or save, not '" << what << "'\n";
    return kExitUsage;
}

} // namespace

QVector<CliCommand> DeviceConfigCommands()
{
    return {
        {"config", "show CARD | save CARD [KEY=VALUE ...] [--clock \"YYYY-MM-DD hh:mm:ss\"]",
         "Shows the recorder settings of the card folder CARD (it holds configuration/ and update/) as the "
         "configurator reads them, or saves its configuration file with the given settings (and, with --clock, "
         "its clock file) as the configurator's Save does.",
         2, 64, RunConfig, false, {{"clock", "\"YYYY-MM-DD hh:mm:ss\""}}},
    };
}
