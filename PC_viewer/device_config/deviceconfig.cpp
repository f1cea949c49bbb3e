// Reading and writing the recorder's configuration and clock files.
#include "device_config/deviceconfig.h"

#include "base/numparse.h"
#include "device_config/regiontable.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <cctype>
#include <climits>

namespace {

// Lines 1 to 57 of the configuration file, as the recorder's own template has them.
constexpr const char *kHeaderLines[] = {
    "#################################################################################",
    "#\t\t\t\t\tQX310 Black box Configuration file ",
    "#################################################################################",
    "#\tCITY_INDEX",
    "#\t\tcity index",
    "#\t\tsee the pc viewer program",
    "#\t\tex) South Korea ===> 116",
    "#\t\t\tUnited Kingdom ===> 225",
    "#\tTIMEZONE_INFO",
    "#\t\tdifference from GMT...",
    "#\t\tex)\tSEOUL\t===> +9",
    "#\t\t\tLA\t\t===> -8",
    "#\tRECORD_MODE",
    "#\t\t0 - VGA 30 FPS",
    "#\t\t1 - D1 20 FPS",
    "#\t\t2 - HD",
    "#\tWITH_AUDIO",
    "#\t\t0 - FALSE",
    "#\t\t1 - TRUE",
    "#\tOVERLAY_INFO",
    "#\t\t 0 - Nothing to do",
    "#\t\t 1 - Datetime info",
    "#\t\t 2 - G-Sensor data",
    "#\t\t 3 - Datetime info + G-Sensor data",
    "#\t\t 4 - GPS Data(Km/h)",
    "#\t\t 5 - Datetime info + GPS Data(Km/h)",
    "#\t\t 6 - G-Sensor data + GPS Data(Km/h)",
    "#\t\t 7 - Datetime info + G-Sensor data + GPS Data",
    "#        8 - GPS Data(Mile/h)",
    "#\t\t 9 - Datetime info + GPS Data(Mile/h)",
    "#\t\t10 - G-Sensor data + GPS Data(Mile/h)",
    "#\t\t11 - Datetime info + G-Sensor data + GPS Data(Mile/h)",
    "#\tG_SENSITIVITY",
    "#\t\t0 ~ 100 range",
    "#\t\tValue means degree of change of the G Acceleration sensor.",
    "#\t\t\tHigher value, Lower sensitivity.",
    "#\t\t\tLower value, Higher sensitivity.",
    "#\t\t\tIf value is 0(zero), then blackbox will never create event-file.",
    "#\tDAYLIGHT_SAVING_TIME",
    "#\t\t0 - OFF",
    "#\t\t1 - ON",
    "#   AVIFILE_INTERVAL",
    "#\t\t0 ~ 15 range",
    "#\t\tValue means each avi file's minutes.",
    "#\tREC_QUALITY",
    "#\t\t0 - LOW QUALITY",
    "#\t\t1 - NORMAL QUALITY",
    "#\t\t2 - HIGH QUALITY",
    "#\tREC_FRAMERATE",
    "#\t\t0 - FULL FRAMERATE",
    "#\t\t1 - HALF FRAMERATE",
    "#\t\t2 - QUATER FRAMERATE",
    "#\tOPTIONS_#",
    "#\t\tfor future use",
    "#################################################################################",
    "",
    "",
};

// Lines 65 to 78: settings the viewer does not edit. The recorder reads them, so every save
// writes them as the recorder expects them (a hand edit of these lines does not survive), except
// the network name and pass phrase: those the driver sets on the recorder, and a save keeps the
// ones of the file it replaces.
constexpr const char *kFixedLines[] = {
    "AVIFILE_INTERVAL=1",
    "REC_QUALITY=2",
    "REC_FRAMERATE=0",
    "",
    "# Options below are not used yet.",
    "OPTIONS_0=0",
    "OPTIONS_1=0",
    "OPTIONS_2=0",
    "OPTIONS_3=0",
    "OPTIONS_4=0",
    "OPTIONS_5=0",
    "ssid=Pellister",
    "channel=4",
    "wpa_passphrase=53718264",
};
constexpr char kSsidKey[] = "ssid";
constexpr char kPassphraseKey[] = "wpa_passphrase";

constexpr char kCrLf[] = "\r\n";

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

QByteArray Trimmed(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

void AppendLine(QByteArray &out, const QByteArray &line)
{
    out += line;
    out += kCrLf;
}

QByteArray Numbered(const char *key, int value)
{
    return QByteArray(key) + '=' + QByteArray::number(value);
}

} // namespace

void ApplyDefaults(DeviceConfig &config)
{
    const DeviceConfig defaults;
    config.nCityIndex = defaults.nCityIndex;
    config.dTimeDifference = defaults.dTimeDifference;
    config.nRecordMode = defaults.nRecordMode;
    config.nWithAudio = defaults.nWithAudio;
    config.nOverlayInfo = defaults.nOverlayInfo;
    config.nGSensitivity = defaults.nGSensitivity;
}

int IntegerPrefix(const QByteArray &text)
{
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // saturated; more digits change nothing
    }
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

double DoublePrefix(const QByteArray &text)
{
    return pellister::TextToDouble(text.constData(), text.constData() + text.size());
}

void ParseConfigText(const QByteArray &text, DeviceConfig &config, const CRegionTable &regions)
{
    ApplyDefaults(config);
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line[0] == '#' || line[0] == '\r')
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = Trimmed(line.left(eq));
        // A value of blanks only counts as no value, like a line that ends at the "=": the
        // setting keeps its default rather than turning into 0 (for G_SENSITIVITY, "never
        // record events").
        const QByteArray value = Trimmed(line.mid(eq + 1)).left(kMaxValueLength);
        if (value.isEmpty())
            continue;
        if (key == "CITY_INDEX")
            config.nCityIndex = IntegerPrefix(value);
        else if (key == "TIMEZONE_INFO")
            config.dTimeDifference = DoublePrefix(value);
        else if (key == "RECORD_MODE")
            config.nRecordMode = IntegerPrefix(value);
        else if (key == "WITH_AUDIO")
            config.nWithAudio = IntegerPrefix(value);
        else if (key == "OVERLAY_INFO")
            config.nOverlayInfo = IntegerPrefix(value);
        else if (key == "G_SENSITIVITY")
            config.nGSensitivity = IntegerPrefix(value);
        else if (key == "DAYLIGHT_SAVING_TIME")
            config.nDaylightSaving = IntegerPrefix(value);
    }
    // The file's TIMEZONE_INFO may hold the daylight-saving hour; the region row is the truth.
    if (!regions.IsRow(config.nCityIndex))
        config.nCityIndex = kDefaultCityIndex;
    config.dTimeDifference = regions.Row(config.nCityIndex).offset;
}

bool ReadConfigFileBytes(const QString &path, QByteArray *text)
{
    // Not a folder, nor a pipe or device that would block or never end.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxConfigFileBytes)
        return false;
    // One byte more than allowed tells a file that grew since its size was asked.
    const QByteArray bytes = file.read(kMaxConfigFileBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxConfigFileBytes)
        return false;
    *text = bytes;
    return true;
}

bool ReadConfigFile(const QString &path, DeviceConfig &config, const CRegionTable &regions)
{
    QByteArray text;
    if (!ReadConfigFileBytes(path, &text))
        return false;
    DeviceConfig read = config;
    ParseConfigText(text, read, regions);
    read.filePath = config.filePath;
    config = read;
    return true;
}

tagWIFILINES WifiLinesOf(const QByteArray &text)
{
    tagWIFILINES wifi;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line[0] == '#')
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = Trimmed(line.left(eq));
        if (key == kSsidKey)
            wifi.ssid = line;
        else if (key == kPassphraseKey)
            wifi.passphrase = line;
    }
    return wifi;
}

QByteArray ConfigurationFileBytes(const DeviceConfig &config, const tagWIFILINES &wifi)
{
    QByteArray out;
    for (const char *line : kHeaderLines)
        AppendLine(out, line);
    const double zone = config.dTimeDifference + (config.nDaylightSaving == 1 ? 1.0 : 0.0);
    AppendLine(out, Numbered("CITY_INDEX", config.nCityIndex));
    AppendLine(out, "TIMEZONE_INFO=" + QByteArray::number(zone, 'f', 6));
    AppendLine(out, Numbered("RECORD_MODE", config.nRecordMode));
    AppendLine(out, Numbered("WITH_AUDIO", config.nWithAudio));
    AppendLine(out, Numbered("OVERLAY_INFO", config.nOverlayInfo));
    AppendLine(out, Numbered("G_SENSITIVITY", config.nGSensitivity));
    AppendLine(out, Numbered("DAYLIGHT_SAVING_TIME", config.nDaylightSaving));
    for (const char *line : kFixedLines) {
        const QByteArray fixed(line);
        if (fixed.startsWith(QByteArray(kSsidKey) + '=') && !wifi.ssid.isEmpty())
            AppendLine(out, wifi.ssid);
        else if (fixed.startsWith(QByteArray(kPassphraseKey) + '=') && !wifi.passphrase.isEmpty())
            AppendLine(out, wifi.passphrase);
        else
            AppendLine(out, fixed);
    }
    return out;
}

QByteArray ClockFileBytes(const QDate &date, const QTime &time)
{
    const QByteArray hashes(70, '#');
    QByteArray out;
    AppendLine(out, hashes);
    AppendLine(out, "# Date time information                                              #");
    AppendLine(out, "# YYYY_MM_DD_hh_mm_ss                                                #");
    AppendLine(out, "# ex) 2012/01/23 13:14:15 --> 2012_01_23_13_14_15                    #");
    AppendLine(out, hashes);
    AppendLine(out, QString::asprintf("%04d_%02d_%02d_%02d_%02d_%02d", date.year(), date.month(), date.day(),
                                      time.hour(), time.minute(), time.second())
                        .toLatin1());
    return out;
}

QString ComposeConfigFilePath(const QString &folder)
{
    const QString name = QString::fromLatin1(kConfigFileName);
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString ClockFilePath(const QString &volumeRoot)
{
    QString root = volumeRoot;
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root + QString::fromLatin1(kClockFileRelativePath);
}

QString TimeDifferenceText(double hours)
{
    return QLocale::c().toString(hours, 'g', QLocale::FloatingPointShortest);
}

int SensitivityOnSlider(int value)
{
    return value == 0 ? 0 : qBound(1, value, 100);
}
