// CRecordingActions: what the recording list does to recordings besides opening them (that is the
// navigator's): copying and deleting recordings with their data files, with every message. The
// composition root runs them for the list's requests.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class CCorvanaDoc;
class CPlaybackController;
class QWidget;

// What copying and deleting need of the viewer around them (the composition root gives it).
class IRecordingActionsHost
{
public:
    virtual ~IRecordingActionsHost() = default;
    // The progress window: shown, moved (0 to 100), hidden.
    virtual void ShowProgress() = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void HideProgress() = 0;
    // Loads the folder again (the load sequence of "Set Folder").
    virtual void RunLoadSequence() = 0;
    // Whether the map page is to come back with the next recording opened.
    virtual void SetMapPageDue(int due) = 0;
};

class CRecordingActions
{
public:
    // Messages are shown over dialogParent; a current recording is closed and reopened through
    // the playback controller.
    CRecordingActions(const CCorvanaDoc *doc, IRecordingActionsHost *host, CPlaybackController *playback,
                      QWidget *dialogParent);

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
    // The clips of the row's recording besides its main channel's (other cameras).
    QStringList OtherChannelClips(int row) const;
    const CCorvanaDoc *m_doc;
    IRecordingActionsHost *m_host;
    CPlaybackController *m_playback;
    QWidget *m_dialogParent;
};
