// CExportActions: "Export video..." and "Save evidence package..." of the viewer: the dialog, the
// target folder, the work on a thread of its own behind the progress window with Cancel, and the
// message at the end.
#pragma once

#include "export/evidencepackage.h"
#include "export/exportdialog.h"
#include "export/exportoptions.h"
#include "export/exportrange.h"

#include <QObject>

#include <functional>

class CCorvanaDoc;
class CEvidenceReport;
class QWidget;

// Messages of the export commands.
extern const char kTitleExportFolder[];
extern const char kMsgExportCancelled[];

// The range as the dialog and the messages show it: first and last recording with frames and
// times.
QString ExportRangeText(const QVector<tagEXPORTCLIP> &clips);
// The range's pictures for the dialog to mark regions on (none when the range cannot be read).
tagREGIONPICTURES RegionPicturesOf(const QVector<tagEXPORTCLIP> &clips);
// Asked before an evidence package: whether a redacted copy for sharing goes beside the originals.
extern const char kMsgAskSharedCopy[];

class CExportActions : public QObject
{
    Q_OBJECT
public:
    // The range comes from the marks; the package's report is written by `report`.
    CExportActions(const CCorvanaDoc *doc, const CExportMarks *marks, CEvidenceReport *report, QWidget *dialogParent);

    void ExportVideo();
    void SaveEvidence();

    // The export dialog; true with the options chosen. Tests answer in the user's place. The
    // range's pictures for marking regions are in RegionPictures() while it runs.
    using OptionsDialogFn = std::function<bool(const QString &rangeText, tagEXPORTOPTIONS *options)>;
    void SetOptionsDialog(OptionsDialogFn dialog) { m_optionsDialog = std::move(dialog); }
    // Adds to a package what the viewer shows beyond the recordings (the enhanced view).
    void SetEvidenceAdditions(std::function<void(tagEVIDENCEJOB *job)> add) { m_evidenceAdditions = std::move(add); }
    // Called on the UI thread each time the progress window moves (tests cancel from here).
    void SetProgressObserver(std::function<void(int percent)> observer) { m_observer = std::move(observer); }
    // The path of the last file or folder written, empty when the last command wrote nothing.
    QString LastWritten() const { return m_lastWritten; }
    const tagREGIONPICTURES &RegionPictures() const { return m_regionPictures; }

signals:
    // Asks the work in progress to stop (the progress window's Cancel, or a test).
    void CancelRequested();

private:
    // Runs work on a worker thread behind the progress window; the window's Cancel calls cancel.
    void RunWithProgress(const std::function<void(const std::function<void(int)> &)> &work,
                         const std::function<void()> &cancel);

    const CCorvanaDoc *m_doc;
    const CExportMarks *m_marks;
    CEvidenceReport *m_report;
    QWidget *m_dialogParent;
    OptionsDialogFn m_optionsDialog;
    std::function<void(int)> m_observer;
    std::function<void(tagEVIDENCEJOB *)> m_evidenceAdditions;
    QString m_lastWritten;
    tagREGIONPICTURES m_regionPictures;
};
