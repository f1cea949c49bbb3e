// pellister-cli commands that write a stretch of driving: `export` and `evidence`.
#pragma once

#include "cli/clicommands.h"
#include "export/videoexport.h"

QVector<CliCommand> ExportCommands();
QVector<CliCommand> EvidenceCommands();

// The range and options both commands read.
struct tagRANGEARGS {
    QStringList clips;
    QString strOut;
    qint64 llFrom = 0;
    qint64 llTo = 0;
    tagEXPORTOPTIONS options;
    // --layout without --channels: every camera of the range.
    bool bAllChannels = false;
    bool Composed() const { return bAllChannels || !options.channels.isEmpty(); }
};
// bExportOptions: --overlay, --no-sound and --copy are allowed. kExitOk or kExitUsage (told on err).
int ParseRangeArgs(const tagCLIARGS &args, const char *command, bool bExportOptions, tagRANGEARGS *a,
                   QTextStream &err);
// The clips with their records as the viewer reads them, checked to follow each other in time;
// *catalogueRoot is the folder of the first clip.
int LoadRangeClips(const tagRANGEARGS &a, const char *command, QVector<tagEXPORTCLIP> *clips, QString *catalogueRoot,
                   QTextStream &err);
