// CRecordingActions: what the recording list does to recordings, apart from showing them:
// opening one (falling back to the one before, or to none, when it cannot be played), closing
// and reopening the current one, and copying and deleting recordings with their data files.
// The list calls it; the list's rows are told through IRecordingRows.
#pragma once

#include <QList>
#include <QString>

class CCorvanaDoc;
class CMainFrame;
class QObject;
class QWidget;

// What opening a recording changes in the list's rows.
class IRecordingRows
{
public:
    virtual ~IRecordingRows() = default;
    // The current row moved from `before` to `after` (-1: none): both repaint.
    virtual void CurrentRowMoved(int before, int after) = 0;
    // Row `row` was opened: selected alone and scrolled to the top.
    virtual void ShowOpened(int row) = 0;
    // Nothing is open any more.
    virtual void ShowNoneOpened() = 0;
};

class CRecordingActions
{
public:
    // Messages are shown over dialogParent; position broadcasts go out in the name of sender
    // (the list, so that the video follows).
    CRecordingActions(CCorvanaDoc *doc, CMainFrame *frame, IRecordingRows *rows, QWidget *dialogParent,
                      QObject *sender);

    // Makes recording `index` current and opens it in the video pane, with the map page and the
    // graph rebuilt. A recording that cannot be played is reported and the one that played
    // before comes back (or none). True when `index` itself became current.
    bool Open(int index);
    // The current recording is closed (the video pane is left empty).
    void CloseCurrent();
    // Opens the recording of that media path again at `position` (after the folder was loaded
    // again); false when it is gone or does not open.
    bool Reopen(const QString &mediaPath, qint64 position);

    // Asks for a folder and copies each row's clip (and its data file into "data") there, with
    // every message of the copy.
    void CopyRecordings(const QList<int> &rows);
    // Asks, then deletes each row's clip and, when the clip went, its data file; loads the folder
    // again and reopens a current recording that is still there.
    void DeleteRecordings(const QList<int> &rows);

    // Copies through a hidden name beside the target and renames at the end; never replaces an
    // existing file and never leaves a half-written target.
    static bool CopyFileNoOverwrite(const QString &source, const QString &target);

private:
    CCorvanaDoc *m_doc;
    CMainFrame *m_frame;
    IRecordingRows *m_rows;
    QWidget *m_dialogParent;
    QObject *m_sender;
};
