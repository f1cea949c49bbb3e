// The command table of pellister-cli. Each subsystem contributes its commands with the options
// they take; main() reads the command name, parses the rest with QCommandLineParser against the
// command's options and hands the command what it read.
#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>
#include <QVector>

// Exit statuses shared by every command.
enum CliExit : int {
    kExitOk = 0,
    kExitFailed = 1, // the command ran and failed (bad input file, write error, ...)
    kExitUsage = 2,  // wrong arguments
};

// One option of a command: "--name VALUE", or a switch "--name" without a value name.
struct CliOption {
    const char *name;
    const char *valueName; // null: a switch
};

// What a command was given: its positional arguments in order and the options it declared.
struct tagCLIARGS {
    QStringList positional;
    const QCommandLineParser *parser = nullptr;
    bool IsSet(const char *name) const { return parser->isSet(QString::fromLatin1(name)); }
    // The value given last (an option given twice counts once, as the last).
    QString Value(const char *name) const { return parser->value(QString::fromLatin1(name)); }
    // Every value of an option that may be given more than once, in order.
    QStringList Values(const char *name) const { return parser->values(QString::fromLatin1(name)); }
};

struct CliCommand {
    const char *name;
    const char *synopsis; // arguments, for the usage text
    const char *summary;
    int minArgs; // positional arguments
    int maxArgs;
    int (*run)(const tagCLIARGS &args, QTextStream &out, QTextStream &err);
    // The command takes "--track FILE.gpx": a day's GPS track that the recordings it loads are
    // paired with (main() reads it before the command runs).
    bool bTrack = false;
    QVector<CliOption> options = {};
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
