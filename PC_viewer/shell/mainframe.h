// CMainFrame: the viewer's main window and composition root. It creates the six panes in three
// locked splitters and connects them (keys, the map menu, the graph's speed and heading from the
// map's table), starts the loopback web server the map pages come from when no server is
// configured, owns the "Processing..." window, holds the menus and the one command table through
// which menus, the play control bar, the panes and the tests run every command, and runs the
// folder load sequence.
//
// Shutting down: playback stops first, then the map pane goes (aborting its connectivity check
// and its page's requests), and only then the web server and its thread.
#pragma once

#include "export/exportactions.h"
#include "playback/mediaplayview.h"
#include "shell/recordingactions.h"
#include "skin/skinframewnd.h"

#include <QElapsedTimer>
#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

class CAccelSensorGraphView;
class CContentListView;
class CCorvanaDoc;
class CLocalWebServer;
class CMapView;
class CGraphKeyCommands;
class CRecordingNavigator;
class CRecordingTelemetry;
class CMultiViewSplitter;
class CPlayControlView;
class CPrintView;
class CProgressViewer;
class CTripWindow;
class QAction;
class QMenu;
class QPrinter;

class CMainFrame : public CSkinFrameWnd, public IPlayViewHost, public IRecordingActionsHost, public IExportActionsHost
{
    Q_OBJECT
public:
    // Fixed layout of the panes, in pixels.
    static constexpr int kMinWidth = 1024;
    static constexpr int kMinHeight = 768;
    static constexpr int kLeftColumnWidth = 373; // list and map column
    static constexpr int kMapHeight = 373;
    static constexpr int kControlBarHeight = 50;
    static constexpr int kGraphHeight = 180;
    static constexpr int kPaneMinimum = 10;
    static constexpr int kSplitterGap = 2;
    static constexpr int kRecentFolderCount = 4;
    // The progress bar is repainted at most this often (a screen refresh).
    static constexpr int kProgressPaintIntervalMs = 16;

    explicit CMainFrame(CCorvanaDoc *doc, QWidget *parent = nullptr);
    ~CMainFrame() override;

    // --- Command table ------------------------------------------------------------------------
    // Runs command `id` when the table has it and it is enabled now; false otherwise.
    bool Command(int id);
    bool IsCommandEnabled(int id) const;
    bool IsCommandChecked(int id) const;
    bool HasCommand(int id) const { return m_commands.count(id) != 0; }
    // Brings the menu items' enabled and checked marks up to date (also done when a menu opens).
    void UpdateCommandUi();
    // The menu item of a command, or null for the commands without one.
    QAction *Action(int id) const { return m_actions.value(id, nullptr); }
    // The five drop-down menus in title order: File, Media Control, Display Control, Map, Help.
    const QList<QMenu *> &MenuPopups() const { return m_menus; }
    // The command an accelerator key runs, 0 when none.
    int AcceleratorCommand(const QKeySequence &key) const { return m_accelerators.value(key, 0); }

    // --- Checks and long operations -----------------------------------------------------------
    // "The loading content does not exist." when no recording is current.
    bool LoadedCheck();
    // The loaded check, plus (with several panes) at least one marked pane.
    bool ContentCheck();
    // "Set Folder" with a folder already chosen (the command line's --folder).
    void SetFolderAndLoad(const QString &folder);
    // Reloads the document's folder and resets every pane (also run after a delete).
    void RunLoadSequence() override;

    // The "Processing..." window; every position set is also announced by ProgressChanged.
    void ShowProgress() override;
    void SetProgress(int percent) override;
    void HideProgress() override;
    // --- IRecordingActionsHost (the rest) -----------------------------------------------------
    void SetMapPageDue(int due) override;
    CProgressViewer *ProgressViewer() const { return m_progress; }

    // --- Panes --------------------------------------------------------------------------------
    CCorvanaDoc *Document() const { return m_doc; }
    CContentListView *ListView() const { return m_list; }
    CMapView *MapView() const { return m_mapView; }
    CPrintView *PrintView() const { return m_printView; }
    // The printer that print setup, printing and the preview share.
    QPrinter *Printer() const { return m_printer.get(); }
    CMediaPlayView *PlayView() const { return m_playView; }
    CPlayControlView *ControlBar() const { return m_controlBar; }
    CAccelSensorGraphView *GraphView() const { return m_graphView; }
    // The Trips window, once "Trip timeline..." has opened it; null before.
    CTripWindow *TripWindow() const { return m_tripWindow; }
    // The open recording's telemetry tables the graph, the map and the report read.
    const CRecordingTelemetry *Telemetry() const { return m_telemetry.get(); }
    // Which recording is open: opened, closed and reopened through it.
    CRecordingNavigator *Navigator() const { return m_navigator.get(); }
    // The export marks and the export and evidence package commands.
    CExportMarks *ExportMarks() const { return m_exportMarks.get(); }
    CExportActions *ExportActions() const { return m_exportActions.get(); }
    // --- IExportActionsHost -------------------------------------------------------------------
    bool WriteEvidenceReport(const QString &pdfPath, const tagEVIDENCEFACTS &facts, int recording, int64_t frame,
                             QString *why) override;
    CMultiViewSplitter *OuterSplitter() const { return m_outer; }
    CMultiViewSplitter *LeftSplitter() const { return m_left; }
    CMultiViewSplitter *RightSplitter() const { return m_right; }
    int LayoutReady() const { return m_layoutReady; }

    // --- Settings -----------------------------------------------------------------------------
    // The vendor web server's base address (setting "server"), with a trailing "/"; empty when
    // none is set.
    QString ServerAddress() const;
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
    // Folders loaded last, newest first (at most four).
    QStringList RecentFolders() const;

    // --- IPlayViewHost ------------------------------------------------------------------------
    int ContinuousPlay() const override { return m_continuousPlay; }
    void OpenRecordingFromList(int index) override;
    void ApplyVolumeSetting() override;
    void EnableSingleViewButtons(int multi) override;
    void ForwardKeyToGraph(QKeyEvent *event) override;
    void ForwardKeyToControlBar(QKeyEvent *event) override;
    void SendFrameCommand(int id) override { Command(id); }
    bool IsFrameCommandEnabled(int id) const override { return IsCommandEnabled(id); }
    void OpenImageViewer(int pane) override;
    void ShowLayoutProgress(int position) override;
    void HideLayoutProgress() override;

    // "Pellister S/W Version : " and the normalised program version.
    static QString AboutText();

signals:
    void ProgressChanged(int percent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    struct tagCOMMAND {
        std::function<void()> run;
        std::function<bool()> enabled; // empty: always enabled
        std::function<bool()> checked; // empty: never checked
    };

    void CreatePanes();
    void ConnectTelemetryPanes();
    // The navigator's open sequence and the list's requests, wired in one place.
    void ConnectRecordingNavigation();
    // An opened recording brings the map page back and rebuilds the graph.
    void OnRecordingOpened(int row);
    void OnNoRecordingOpened();
    // The list's "Play": the row opened when it is not current, then played forward.
    void OnListPlay(int row);
    void CreateMenus();
    void BuildCommandTable();
    void LayOutPanes(const QSize &client);
    void AddRecentFolder(const QString &folder);
    void LoadSettings();
    void SaveSettings();

    void OnSetFolder();
    // "Add GPS track...": a day's GPX track, paired by time with the recordings that have no
    // telemetry of their own; the folder is loaded again with it.
    void OnAddGpsTrack();
    void OnPlay(bool reverse);
    void OnFrameStep(int delta);
    void OnSingleView();
    void OnGrid(int count);
    void OnSaveImage();
    // "Telemetry overlay": the exported video's band over the playing picture.
    void SetTelemetryOverlay(bool on);
    // "Speed curve": the GPS speed over the graph's curves (and in the report), remembered.
    void SetSpeedCurve(bool on);
    // Hands the switch and the export's units to the graph (it redraws only on a change).
    void ApplySpeedCurve();
    // "Trip timeline...": the Trips window (made on first use), shown and brought to the front.
    void OnTripTimeline();
    void OnGoogleMap();
    void OnConvertForGoogleEarth();
    void OnAbout();
    void OnConfigBlackbox();
    void OnUpdate();
    void OnPrintSetup();
    void OnPrint(int id);

    CCorvanaDoc *m_doc;
    int m_continuousPlay = 0;
    int m_layoutReady = 0;
    int m_shownProgress = -1;
    QElapsedTimer m_progressPaint;
    CProgressViewer *m_progress = nullptr;
    CMultiViewSplitter *m_outer = nullptr;
    CMultiViewSplitter *m_left = nullptr;
    CMultiViewSplitter *m_right = nullptr;
    CContentListView *m_list = nullptr;
    CMapView *m_mapView = nullptr;
    CPrintView *m_printView = nullptr;
    CMediaPlayView *m_playView = nullptr;
    CPlayControlView *m_controlBar = nullptr;
    CAccelSensorGraphView *m_graphView = nullptr;
    CTripWindow *m_tripWindow = nullptr;
    std::unique_ptr<CRecordingTelemetry> m_telemetry;
    std::unique_ptr<CRecordingNavigator> m_navigator;
    std::unique_ptr<CExportMarks> m_exportMarks;
    std::unique_ptr<CExportActions> m_exportActions;
    bool m_telemetryOverlay = false;
    bool m_speedCurve = false;
    QMenu *m_graphMenu = nullptr;
    std::unique_ptr<CGraphKeyCommands> m_keys;
    std::unique_ptr<CLocalWebServer> m_webServer;

    std::map<int, tagCOMMAND> m_commands;
    QHash<int, QAction *> m_actions;
    QList<QMenu *> m_menus;
    QHash<QKeySequence, int> m_accelerators;
    std::unique_ptr<QPrinter> m_printer;
    QStringList m_recentFolders;
    QString m_programFolder;
    QByteArray m_releaseKey;
};
