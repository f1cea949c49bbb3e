// The card search and the save procedure.
#include "device_config/configstore.h"

#include "device_config/regiontable.h"
#include "platform/removablevolumes.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// "/qx310_blackbox.conf": what the save cuts off the file path to get the folder.
constexpr int kSeparatorAndName = 20;
constexpr int kShortestPath = 22;

QString ConfigFolderOn(const QString &root)
{
    return QDir(root).filePath(QString::fromLatin1(kConfigFolderName));
}

bool WriteWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
#ifdef Q_OS_UNIX
    // The new file's bytes reach the card before the rename makes it the file the recorder
    // reads; afterwards the folder entry itself is synced.
    if (::fsync(file.handle()) != 0) {
        file.cancelWriting();
        return false;
    }
#endif
    if (!file.commit())
        return false;
#ifdef Q_OS_UNIX
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
#endif
    return true;
}

// CreateDirectory's rule: one level, an existing folder is fine, anything else fails.
bool MakeFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.exists())
        return info.isDir();
    return QDir().mkdir(folder);
}

} // namespace

QStringList ListRemovableDrives(const IRemovableVolumes &volumes)
{
    QStringList roots = volumes.RemovableVolumeRoots();
    roots.sort();
    roots.removeDuplicates();
    return roots;
}

tagCONFIGFOLDER FindConfigFolder(const IRemovableVolumes &volumes, bool warn)
{
    tagCONFIGFOLDER result;
    const QStringList drives = ListRemovableDrives(volumes);
    if (drives.isEmpty()) {
        result.messages << QString::fromLatin1(configtext::kNoRemovableDisk);
        return result;
    }
    int firstWithFolder = -1;
    for (int i = 0; i < drives.size(); ++i) {
        const QString folder = ConfigFolderOn(drives[i]);
        if (firstWithFolder < 0 && QFileInfo(folder).isDir())
            firstWithFolder = i;
        if (firstWithFolder >= 0 && QFileInfo(ComposeConfigFilePath(folder)).isFile()) {
            result.folder = folder;
            result.volumeRoot = drives[i];
            result.bFound = true;
            return result;
        }
    }
    if (firstWithFolder >= 0) {
        result.folder = ConfigFolderOn(drives[firstWithFolder]);
        result.volumeRoot = drives[firstWithFolder];
        return result;
    }
    result.volumeRoot = drives.first();
    if (warn) {
        result.messages << QString::fromLatin1(configtext::kNoConfigFolder);
        result.folder = ConfigFolderOn(drives.first());
    } else {
        result.folder = drives.first();
    }
    return result;
}

QString VolumeRootOf(const QString &path, const IRemovableVolumes &volumes)
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString best;
    for (const QString &root : volumes.RemovableVolumeRoots()) {
        const QString r = QDir::cleanPath(root);
        const bool inside = clean == r || clean.startsWith(r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/'));
        if (inside && r.size() > best.size())
            best = r;
    }
    if (!best.isEmpty())
        return best;
    return QStorageInfo(clean).rootPath();
}

tagSAVERESULT SaveConfiguration(const DeviceConfig &config, bool writeClock, const QDate &date, const QTime &time,
                                const QString &clockFilePath)
{
    tagSAVERESULT result;
    if (writeClock) {
        // The update folder must already be on the card: a recorder without one does not
        // look for the clock file, so it is not made here.
        result.bClockWritten = !clockFilePath.isEmpty() && WriteWhole(clockFilePath, ClockFileBytes(date, time));
        if (!result.bClockWritten)
            result.messages << QString::fromLatin1(configtext::kClockFileFailed);
    }
    const QString &path = config.filePath;
    if (path.size() < kShortestPath) {
        result.outcome = SaveOutcome::PathTooShort;
        result.messages << QString::fromLatin1(configtext::kCheckPath);
        return result;
    }
    result.bCloseDialog = true;
    const QString folder = path.left(path.size() - kSeparatorAndName);
    if (folder.size() >= 3 && !MakeFolder(folder)) {
        result.outcome = SaveOutcome::FolderFailed;
        result.messages << QString::fromLatin1(configtext::kFolderFailed).arg(folder);
        return result;
    }
    // The recorder's network name and pass phrase are the driver's: the file being replaced
    // keeps them (a card without one gets the template's).
    QByteArray replaced;
    const tagWIFILINES wifi = ReadConfigFileBytes(path, &replaced) ? WifiLinesOf(replaced) : tagWIFILINES();
    if (WriteWhole(path, ConfigurationFileBytes(config, wifi))) {
        result.outcome = SaveOutcome::Saved;
        result.messages << QString::fromLatin1(configtext::kSaved);
    } else {
        result.outcome = SaveOutcome::FileFailed;
        result.messages << QString::fromLatin1(configtext::kFileFailed);
    }
    return result;
}

bool CardTimeZoneHours(const QString &clipFolder, double *hours, QString *configPath)
{
    // A clip lies at most three folders below the card's root, where the configuration is.
    constexpr int kParentsSearched = 3;
    const CRegionTable regions;
    QDir folder(QDir(clipFolder).absolutePath());
    for (int up = 0; up <= kParentsSearched; ++up) {
        const QString path = folder.filePath(QLatin1String(kConfigFolderName) + QLatin1Char('/') +
                                             QLatin1String(kConfigFileName));
        DeviceConfig config;
        if (QFileInfo(path).isFile() && ReadConfigFile(path, config, regions)) {
            *hours = config.dTimeDifference + (config.nDaylightSaving == 1 ? 1 : 0);
            if (configPath)
                *configPath = path;
            return true;
        }
        if (folder.isRoot() || !folder.cdUp())
            break;
    }
    return false;
}
