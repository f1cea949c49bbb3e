// The moment of a clip that `snapshot` and `report` show, as the viewer would: frame N of the
// video, or a grid of K panes started at N (moved back as the grid moves it) with some panes
// marked. Both read it from the same options and put the viewer's session there the same way.
#pragma once

#include "cli/clicommands.h"

#include <QList>
#include <QString>
#include <QTextStream>

class CPlaybackController;

struct tagCLIMOMENT {
    qlonglong llFrame = -1; // --frame N
    int nGrid = 0;          // --grid K (0: the single view)
    QList<int> marked;      // --marked i,j,...
    bool bMarkedGiven = false;
};

// --frame N, --grid K and --marked i,j,..., the options of a moment.
extern const QVector<CliOption> kMomentOptions;
// Reads them; then checks --frame given, --marked only with --grid, every pane in the grid. False
// with the reason in *why (an empty reason for a missing --frame, where only the usage text
// applies).
bool ReadMoment(const tagCLIARGS &args, tagCLIMOMENT *moment, QString *why);

// On playback that has opened the clip: the position at the frame (told to the views as a frame
// step would), then the grid and its marks. A frame past the end is refused (message to err,
// kExitFailed); with nothing to save or print (a grid without a mark) the viewer's message goes
// to out and the result is kExitFailed; otherwise kExitOk.
int ShowMoment(CPlaybackController &playback, const tagCLIMOMENT &moment, const QString &clip, const char *command,
               QTextStream &out, QTextStream &err);
