// The command table of pellister-cli. Each subsystem contributes its commands; main() parses
// the command name and hands the remaining arguments to the command.
#pragma once

#include <QStringList>
#include <QTextStream>
#include <QVector>

// Exit statuses shared by every command.
enum CliExit : int {
    kExitOk = 0,
    kExitFailed = 1, // the command ran and failed (bad input file, write error, ...)
    kExitUsage = 2,  // wrong arguments
};

struct CliCommand {
    const char *name;
    const char *synopsis; // arguments, for the usage text
    const char *summary;
    int minArgs;
    int maxArgs;
    int (*run)(const QStringList &args, QTextStream &out, QTextStream &err);
    // The command takes "--track FILE.gpx" anywhere among its arguments: a day's GPS track that
    // the recordings it loads are paired with (main() reads it before the command runs).
    bool bTrack = false;
};

class CCorvanaDoc;
// Loads the recording folder named on the command line, with the day's track of --track; false,
// with a message, when it is not a folder.
bool LoadFolderArgument(const QString &folder, CCorvanaDoc *doc, QTextStream &err);

// The day's track given with --track; "" without.
QString CliTrackFile();
void SetCliTrackFile(const QString &path);

QVector<CliCommand> CatalogueCommands();
QVector<CliCommand> DeviceConfigCommands();
QVector<CliCommand> CsvCommands();
QVector<CliCommand> TripCommands();
