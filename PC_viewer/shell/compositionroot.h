// CCompositionRoot: where the viewer is put together. It creates the playback controller, the
// key table, the main frame and its six panes, the Trips window and the recording, export and
// evidence actions, and wires them in one block of connects: the panes emit what the user asks
// for, the controller emits what playback is, and no pane holds another. The commands of the
// main frame's table are CViewerCommands'.
//
// Design note
// - Everything lives on the UI thread for the whole run. The document (the catalogue) is handed
//   in and outlives the root; the root owns the controller, the frame (which owns the panes as
//   children), the actions and the loopback web server the map pages come from when no server is
//   configured.
// - The load sequence of "Set Folder" is here: the catalogue is read again and every pane reset.
// - Shutting down: playback stops first, then the map pane goes (aborting its connectivity check
//   and its page's requests), then the web server and its thread; the controller goes last, after
//   the panes that read its tables.
#pragma once

#include "shell/recordingactions.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class CCorvanaDoc;
class CEvidenceReport;
class CExportActions;
class CGraphKeyCommands;
class CLocalWebServer;
class CMainFrame;
class CPlaybackController;
class CPlayOverlay;
class CTripWindow;
class CViewerCommands;
class QMenu;
class QPrinter;

class CCompositionRoot : public QObject, private IRecordingActionsHost
{
    Q_OBJECT
public:
    static constexpr int kRecentFolderCount = 4;

    explicit CCompositionRoot(CCorvanaDoc *doc, QObject *parent = nullptr);
    ~CCompositionRoot() override;

    CCorvanaDoc *Document() const { return m_doc; }
    CMainFrame *Frame() const { return m_frame.get(); }
    CPlaybackController *Playback() const { return m_playback.get(); }
    CGraphKeyCommands *Keys() const { return m_keys.get(); }
    CViewerCommands *Commands() const { return m_commands.get(); }
    CExportActions *ExportActions() const { return m_exportActions.get(); }
    CTripWindow *TripWindow() const { return m_tripWindow; }
    // The printer that print setup, printing and the preview share.
    QPrinter *Printer() const { return m_printer.get(); }
    // The telemetry band over the playing picture ("Telemetry overlay").
    const CPlayOverlay *PlayOverlay() const { return m_overlay.get(); }

    // --- The folder ---------------------------------------------------------------------------
    // "Set Folder" with a folder already chosen (the command line's --folder).
    void SetFolderAndLoad(const QString &folder);
    // Reloads the document's folder and resets every pane (also run after a delete).
    void RunLoadSequence() override;
    // Folders loaded last, newest first (at most four).
    QStringList RecentFolders() const { return m_recentFolders; }

    // --- Settings -----------------------------------------------------------------------------
    // The vendor web server's base address (setting "server"), with a trailing "/"; empty when
    // none is set.
    static QString ServerAddress();
    // The server the map pages come from: the configured one, else the viewer's own loopback
    // server (started on first need). Empty when neither is available.
    QString MapServerBase();
    // The loopback server, or null while none has been started.
    const CLocalWebServer *LocalWebServer() const { return m_webServer.get(); }
    // The folder of the running program file, with a trailing "/": the update downloads into it
    // and the restart starts the updater from it. Tests give a folder of their own.
    QString ProgramFolder() const;
    void SetProgramFolder(const QString &folder);
    // The public key the update's signature is checked with (raw Ed25519, 32 bytes); empty, as
    // in the program, for the release key built in. Tests sign with a key of their own.
    void SetReleaseKey(const QByteArray &publicKey) { m_releaseKey = publicKey; }
    QByteArray ReleaseKey() const { return m_releaseKey; }

private:
    // --- IRecordingActionsHost ----------------------------------------------------------------
    void ShowProgress() override;
    void SetProgress(int percent) override;
    void HideProgress() override;
    void SetMapPageDue(int due) override;

    void CreatePanes();
    // Every connection between the panes, the controller and the actions, in one block.
    void Connect();
    // An opened recording brings the map page back, rebuilds the graph and shows its row.
    void OnRecordingOpened(int row);
    void OnNoRecordingOpened();
    // The list's "Play": the row opened when it is not current, then played forward.
    void OnListPlay(int row);
    void AddRecentFolder(const QString &folder);
    void SaveSettings();

    CCorvanaDoc *m_doc;
    std::unique_ptr<CPlaybackController> m_playback;
    std::unique_ptr<CGraphKeyCommands> m_keys;
    std::unique_ptr<CLocalWebServer> m_webServer;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CPlayOverlay> m_overlay;
    std::unique_ptr<CEvidenceReport> m_evidenceReport;
    std::unique_ptr<CRecordingActions> m_recordingActions;
    std::unique_ptr<CExportActions> m_exportActions;
    std::unique_ptr<CViewerCommands> m_commands;
    CTripWindow *m_tripWindow = nullptr; // a window of its own, owned by the root
    QMenu *m_graphMenu = nullptr;        // child of the frame
    QStringList m_recentFolders;
    QString m_programFolder;
    QByteArray m_releaseKey;
};
