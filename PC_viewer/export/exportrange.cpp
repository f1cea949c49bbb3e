// The range the export marks make.
#include "export/exportrange.h"

#include "catalogue/corvanadoc.h"

const char kMsgMarkExportStart[] = "Mark the start of the export first (Mark export start).";
const char kMsgExportEndBeforeStart[] = "The export end lies before its start.";

bool ExportRange(const CCorvanaDoc &doc, const CExportMarks &marks, QVector<tagEXPORTCLIP> *clips, QString *why)
{
    clips->clear();
    const tagEXPORTMARK &start = marks.Start();
    if (!start.IsSet() || start.nRecording >= doc.Count()) {
        *why = QLatin1String(kMsgMarkExportStart);
        return false;
    }
    tagEXPORTMARK end = marks.End();
    if (!end.IsSet()) {
        end.nRecording = start.nRecording;
        end.llFrame = -1;
    }
    if (end.nRecording >= doc.Count() || end.nRecording < start.nRecording ||
        (end.nRecording == start.nRecording && marks.End().IsSet() && end.llFrame < start.llFrame)) {
        *why = QLatin1String(kMsgExportEndBeforeStart);
        return false;
    }
    for (int i = start.nRecording; i <= end.nRecording; ++i) {
        tagEXPORTCLIP c;
        c.strPath = doc.MediaPathAt(i);
        c.strDataPath = doc.DataPathAt(i);
        c.moreDataPaths = doc.DataFilesAt(i).mid(1);
        c.record = doc.RecordAt(i);
        c.channels = doc.ClipsAt(i).channels;
        clips->append(c);
    }
    clips->first().llFrom = start.llFrame;
    clips->last().llTo = end.llFrame;
    return true;
}
