// libFuzzer target for the recorder's configuration file reader: any bytes must read without a
// crash, a hang or a sanitizer report; what is read is a consistent record, and a save of it
// reads back as the same record with the same Wi-Fi lines.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_configfile
//   ctest --preset fuzz -R configfile     30 s from the seeds in tests/fuzz/corpus/configfile
#include "device_config/deviceconfig.h"
#include "device_config/regiontable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

bool SameSettings(const DeviceConfig &a, const DeviceConfig &b)
{
    return a.nCityIndex == b.nCityIndex && a.dTimeDifference == b.dTimeDifference &&
           a.nRecordMode == b.nRecordMode && a.nWithAudio == b.nWithAudio && a.nOverlayInfo == b.nOverlayInfo &&
           a.nGSensitivity == b.nGSensitivity && a.nDaylightSaving == b.nDaylightSaving;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("qx310_blackbox.conf"));
    static const CRegionTable regions;
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    DeviceConfig config;
    config.filePath = path;
    if (!ReadConfigFile(path, config, regions))
        return 0; // only a file over the size limit, which the length limit keeps out
    if (config.filePath != path || !regions.IsRow(config.nCityIndex) ||
        config.dTimeDifference != regions.Row(config.nCityIndex).offset)
        std::abort();

    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const tagWIFILINES wifi = WifiLinesOf(text);
    const QByteArray saved = ConfigurationFileBytes(config, wifi);
    DeviceConfig again;
    ParseConfigText(saved, again, regions);
    if (!SameSettings(config, again))
        std::abort();
    const tagWIFILINES savedWifi = WifiLinesOf(saved);
    if ((!wifi.ssid.isEmpty() && savedWifi.ssid != wifi.ssid) ||
        (!wifi.passphrase.isEmpty() && savedWifi.passphrase != wifi.passphrase))
        std::abort();
    return 0;
}
