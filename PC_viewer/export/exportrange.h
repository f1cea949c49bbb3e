// The stretch to export: the recordings from the export start mark to the end mark (as continuous
// play goes from one recording to the next of the list), with the frames of the first and the
// last.
#pragma once

#include "export/videoexport.h"
#include "playback/exportmarks.h"

#include <QString>
#include <QVector>

class CCorvanaDoc;

// Messages of the export commands.
extern const char kMsgMarkExportStart[];
extern const char kMsgExportEndBeforeStart[];

// The recordings from the start mark to the end mark (without an end mark: to the end of the
// start's recording). False with the message for the user when there is no range.
bool ExportRange(const CCorvanaDoc &doc, const CExportMarks &marks, QVector<tagEXPORTCLIP> *clips, QString *why);
