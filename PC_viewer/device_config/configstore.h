// Finding the recorder's SD card and saving its configuration and clock files. The results carry
// the messages for the user in the order they are to be shown; the configurator shows them in
// message boxes, pellister-cli prints them.
#pragma once

#include "device_config/deviceconfig.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

class IRemovableVolumes;

// Texts the user is shown.
namespace configtext {
inline constexpr char kNoRemovableDisk[] = "There is no removable disk.\nPlease insert a SD card.";
inline constexpr char kNoConfigFolder[] = "Warning : There is no configuration folder in removable disk.\n"
                                          "the configuration will be created when saving.";
inline constexpr char kClockFileFailed[] = "Error : Failed open Time setting file.";
inline constexpr char kCheckPath[] = "Check the path of configuration file.";
inline constexpr char kFolderFailed[] = "Fail to create the \n%1\n directory.";
inline constexpr char kFileFailed[] = "Failed to open the configuration file.";
inline constexpr char kSaved[] = "Complete to save the configuration file.";
inline constexpr char kCannotRead[] = "An unexpected error occurred while accessing %1.";
} // namespace configtext

// The removable volumes' roots in a stable order (sorted, each once).
QStringList ListRemovableDrives(const IRemovableVolumes &volumes);

struct tagCONFIGFOLDER {
    QString folder;     // may stay empty (no removable volume)
    QString volumeRoot; // the volume the folder is on; empty with the folder
    bool bFound = false; // the configuration file exists in `folder`
    QStringList messages;
};

// Looks for the card: the first removable volume whose configuration folder holds the file;
// else the first one with a configuration folder; else the first removable volume, with its
// would-be configuration folder when `warn` is set (and a warning), its root otherwise.
tagCONFIGFOLDER FindConfigFolder(const IRemovableVolumes &volumes, bool warn);

// The root of the volume that holds `path`: the innermost removable volume containing it, else
// the mount point of its file system.
QString VolumeRootOf(const QString &path, const IRemovableVolumes &volumes);

enum class SaveOutcome {
    Saved,        // the configuration file was written
    PathTooShort, // nothing written, the dialog stays open
    FolderFailed, // the configuration folder could not be made
    FileFailed,   // the configuration file could not be written
};

struct tagSAVERESULT {
    SaveOutcome outcome = SaveOutcome::FileFailed;
    bool bClockWritten = false; // only meaningful when the clock was asked for
    bool bCloseDialog = false;
    QStringList messages;
};

// Writes the clock file (when `writeClock`) and then the configuration file at
// `config.filePath`, keeping the `ssid` and `wpa_passphrase` lines of the file it replaces (when
// that one can be read; see WifiLinesOf). Each file is written beside its target and renamed into place once it is
// complete and on the card, so that a card pulled out half way keeps the old file whole.
tagSAVERESULT SaveConfiguration(const DeviceConfig &config, bool writeClock, const QDate &date, const QTime &time,
                                const QString &clockFilePath);

// The time difference the recorder's configuration sets, in hours, its daylight-saving hour
// included: the first readable "configuration/qx310_blackbox.conf" in `clipFolder` or one of its
// three nearest parent folders (nearest first). *configPath (may be null) gets the file read.
// False when there is none.
bool CardTimeZoneHours(const QString &clipFolder, double *hours, QString *configPath);
