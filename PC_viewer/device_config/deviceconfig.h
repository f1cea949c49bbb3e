// The recorder's settings as the configurator edits them, and the two files they travel in:
// the configuration file the recorder reads at start and the clock file it sets its clock from.
// Both files are 8-bit text with CR LF line ends; their fixed lines are part of what the recorder
// expects and are written byte for byte.
#pragma once

#include <QByteArray>
#include <QString>

class CRegionTable;
class QDate;
class QTime;

inline constexpr int kDefaultCityIndex = 193; // "Singapore"
inline constexpr char kConfigFileName[] = "qx310_blackbox.conf";
inline constexpr char kConfigFolderName[] = "configuration";
// Below a volume's root; the viewer never creates the folder.
inline constexpr char kClockFileRelativePath[] = "update/date_time.cfg";
// A value is read from this many characters at most (the recorder's buffer holds 80 bytes).
inline constexpr int kMaxValueLength = 79;
// A configuration file is about 2 KiB; a larger file than this is not one and is never read.
inline constexpr qint64 kMaxConfigFileBytes = 64 * 1024;

struct DeviceConfig {
    int nCityIndex = kDefaultCityIndex;    // CITY_INDEX, a row of the region table
    double dTimeDifference = 8.0;          // TIMEZONE_INFO: always the region row's offset in memory
    int nRecordMode = 2;                   // RECORD_MODE: 0 VGA 30 fps, 1 D1 20 fps, 2 HD
    int nWithAudio = 1;                    // WITH_AUDIO
    int nOverlayInfo = 7;                  // OVERLAY_INFO bits: 1 time, 2 G-sensor, 4 GPS km/h, 8 GPS mile/h
    int nGSensitivity = 50;                // G_SENSITIVITY: 0 no event files, else 1..100
    int nDaylightSaving = 0;               // DAYLIGHT_SAVING_TIME
    QString filePath;                      // the configuration file; empty while no card is known
};

// Every default except daylight saving, which keeps its value.
void ApplyDefaults(DeviceConfig &config);

// Fills `config` from the text of a configuration file: the defaults first, then every
// `KEY=VALUE` line of the seven keys (the last one of a repeated key wins). A CITY_INDEX that is
// not a row selects the default region; the time difference is then the region row's offset.
void ParseConfigText(const QByteArray &text, DeviceConfig &config, const CRegionTable &regions);

// The bytes of the configuration file at `path`; false when it is not a file, cannot be read or
// is larger than kMaxConfigFileBytes (then at most that much plus one byte has been read).
bool ReadConfigFileBytes(const QString &path, QByteArray *text);

// ParseConfigText on the file at `path`; false (and `config` untouched) when ReadConfigFileBytes
// fails.
bool ReadConfigFile(const QString &path, DeviceConfig &config, const CRegionTable &regions);

// The recorder's Wi-Fi lines as a configuration file has them, each without its line end: the
// last line whose key (blanks trimmed, case-sensitive) is `ssid` or `wpa_passphrase`, kept byte
// for byte; empty when the file has none.
struct tagWIFILINES {
    QByteArray ssid;
    QByteArray passphrase;
};
tagWIFILINES WifiLinesOf(const QByteArray &text);

// The 78 lines of the configuration file and the 6 lines of the clock file, CR LF, no BOM. The
// `ssid` and `wpa_passphrase` lines are `wifi`'s where it has them, the template's otherwise.
QByteArray ConfigurationFileBytes(const DeviceConfig &config, const tagWIFILINES &wifi = {});
QByteArray ClockFileBytes(const QDate &date, const QTime &time);

// "<folder>/qx310_blackbox.conf", without a second separator when `folder` ends in one.
QString ComposeConfigFilePath(const QString &folder);
// "<volume root>/update/date_time.cfg".
QString ClockFilePath(const QString &volumeRoot);

// The C library's decimal prefix conversions, independent of the locale: leading blanks and a
// sign, then digits until the first character that does not fit; nothing convertible gives 0.
// The integer saturates at the int range.
int IntegerPrefix(const QByteArray &text);
double DoublePrefix(const QByteArray &text);

// The time difference as the configurator shows it: the shortest decimal form (9, -4.5, 8.75).
QString TimeDifferenceText(double hours);

// The G sensitivity the configurator's slider makes of a value read from a file: a non-zero
// value is held to the slider's range 1..100.
int SensitivityOnSlider(int value);
