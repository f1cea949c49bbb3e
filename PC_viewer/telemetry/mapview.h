// CMapView: the pane that shows the recordings' GPS tracks on the web map page and follows the
// playing frame on it. It decides which page to show (loading, map, idle, offline), writes the
// markers and routes into the map page with JavaScript calls, and moves the current position as
// the playing frame changes (looked up in the open recording's frame-to-fix table).
//
// Design note: objects, threads and who talks to whom.
// - Everything of this class runs on the user-interface thread, the only thread that touches the
//   browser (QWebEngineView and its page). There are no worker threads of our own.
// - The connectivity check asks the server's root with QNetworkAccessManager, whose HTTP work
//   runs on Qt's network thread; the answer comes back as a queued signal. Each check carries a
//   serial number: starting a check supersedes (aborts and ignores) the one before, so only the
//   newest decision counts. A check first waits for the loading page to complete, at most 5 s.
// - Position updates during playback: OnPositionChanged only looks the frame up in the table.
//   When the fix changes, the scripts are run with runJavaScript, and the next update waits until
//   the page has taken the last one (its callback); changes arriving meanwhile collapse into one,
//   which reads the latest frame when it runs, so a backlog converges on the latest position.
// - Timers: the route load 100 ms after a decided page (not the loading page) completes, the
//   offline retry after 5 s, the wait for the loading page, and a guard that frees a position
//   update the page never answers.
// - The view owns its network manager, replies and timers; destroying it aborts a running check
//   and drops callbacks still pending, so nothing outlives it.
#pragma once

#include "media/mediaresult.h"
#include "playback/playbackcontroller.h"
#include "playback/recordingtelemetry.h"
#include "telemetry/mapscripts.h"

#include <QPointer>
#include <QTimer>
#include <QWebEngineView>

#include <functional>

class CCorvanaDoc;
class QMenu;
class QNetworkAccessManager;
class QNetworkReply;
class QWebEngineProfile;

class CMapView : public QWebEngineView
{
    Q_OBJECT
public:
    // The four pages the pane can show.
    enum class PageKind {
        None,
        Loading,
        Offline,
        Idle,
        Map,
    };
    Q_ENUM(PageKind)

    // The catalogue the routes come from and the open recording's telemetry tables (the playback
    // controller's), both outliving the view.
    CMapView(const CCorvanaDoc *doc, const CRecordingTelemetry *telemetry, QWidget *parent = nullptr);
    ~CMapView() override;

    // The vendor web server's base address ("http://host:port/"): its root is what the
    // connectivity check asks, and it tells the Naver page from the Google one.
    void SetServerBase(const QString &base) { m_serverBase = base; }
    QString ServerBase() const { return m_serverBase; }
    // The map page's address: the vendor web server followed by
    // "corvana_mapview/google_map_world.html" (kMapPagePath alone until a server is known).
    void SetMapPage(const QString &url) { m_mapPage = url; }
    QString MapPage() const { return m_mapPage; }
    // Whether the page marks the current position ("Display position on"/"off"), 0 or 1.
    void SetPositionOn(int on) { m_positionOn = on ? 1 : 0; }
    int PositionOn() const { return m_positionOn; }
    // The main window's "Map(&M)" menu for the right button; may be null.
    void SetMapMenu(QMenu *menu) { m_mapMenu = menu; }

    // --- Operations -------------------------------------------------------------------------
    void OnInitialUpdate();
    // Begins (again) the sequence that decides which page to show.
    void StartMapLoad();
    // The page decision, given the result of a connectivity check.
    void ShowMapPage(int online);
    // Writes every recording's start marker and the current route into the page.
    void LoadRoutes();
    void LoadSingleRoute();
    // A trip's whole route (TripRoute), drawn beneath the current recording's with the map fitted
    // to it, from now on with every route load; none removes it. Without a current recording the
    // map page is shown for it all the same.
    void SetTripRoute(const QVector<tagGPSINFO> &route);
    const QVector<tagGPSINFO> &TripRoute() const { return m_tripRoute; }
    // The first fix within one second from the start of frame f (a scan of the fixes).
    int FindFixForFrame(int frame) const;
    void UpdateMapPosition();
    // Runs one script in the page; what the page returns or throws is ignored.
    void RunScript(const QString &script);
    // The page as shown, drawn into image (scaled to its size); false when there is no page.
    bool DrawMapToImage(QImage *image);
    // Runs the event loop until the page shows the moment: a decided page complete and, on the
    // map page, the route loaded, the current position sent and taken, the page saying that
    // no tile or outline is still coming and that it has been quiet long enough to be painted.
    // False when that did not come within timeoutMs (what is shown then is what there is).
    bool WaitUntilDrawn(int timeoutMs);
    // The page body's size in pixels; E_UNEXPECTED while no page has reported one.
    HRESULT GetMapPageSize(long *width, long *height) const;
    // The report's picture of the page: taken once it shows the moment (WaitUntilDrawn, at most
    // waitMs; after that as it stands), over a white background; null without a page.
    QImage ReportPicture(int waitMs);

    // --- State ------------------------------------------------------------------------------
    const CFrameIndexTable &FrameToFix() const { return m_telemetry->FrameToFix(); }
    const CFrameIndexTable &FixToFrame() const { return m_telemetry->FixToFrame(); }
    int IsOnline() const { return bOnline; }
    int MapPageDue() const { return bMapPageDue; }
    void SetMapPageDue(int due) { bMapPageDue = due; }
    int IsPageComplete() const { return bPageComplete; }
    int IsRouteLoaded() const { return bRouteLoaded; }
    int ShownFix() const { return nShownFix; }
    PageKind Page() const { return m_page; }
    MapFlavour Flavour() const;
    // The map page, on the server when it names no server of its own.
    QString MapPageAddress() const;
    // Addresses of the local pages.
    static QUrl LocalPageUrl(PageKind kind);
    // The browser's flags for this machine (BrowserFlagsFor), unless QTWEBENGINE_CHROMIUM_FLAGS is
    // set already; without a display means platformName "offscreen" or "minimal", or no display
    // server. They count only before the process's first page; the view itself calls this before
    // making its page, so any program that shows one starts its browser. Without its sandbox the
    // browser runs only as root, and then says so once on standard error.
    static void PrepareBrowserFlags(const QString &platformName);
    // The flags for a process that runs as root or not, with a display or without: "--no-sandbox"
    // only as root (Chromium will not start there otherwise), "--disable-gpu" as root or without
    // a display; none for an ordinary user's desktop.
    static QByteArray BrowserFlagsFor(bool root, bool headless);
    // Everything a program that shows map views sets before it makes its QApplication: the
    // browser's flags as above, one graphics context shared with the browser, and the browser's
    // pictures drawn into the window's own raster image. Without the last, one browser view in a
    // window makes every repaint of any pane compose the whole window through OpenGL, which
    // without a graphics card (llvmpipe) costs more than decoding the video. QT_QUICK_BACKEND
    // still chooses otherwise.
    static void PrepareProcess(const QString &platformName);

    // --- Browser profile and tiles ------------------------------------------------------------
    // The browser profile that map views made from now on use; null: the browser's default one,
    // which keeps nothing on disk. It must outlive the views.
    static void SetBrowserProfile(QWebEngineProfile *profile);
    // A profile whose files lie in folder: among them a disk cache of at most maxCacheBytes that
    // keeps the map tiles seen, so that they show again offline. Its User-Agent is UserAgent().
    static QWebEngineProfile *MakeCachingProfile(const QString &folder, qint64 maxCacheBytes,
                                                 QObject *parent);
    // What the browser names itself to web servers (tile servers among them): Pellister and its
    // version.
    static QString UserAgent();
    // The map tiles (URL template with {z}, {x} and {y}) and the attribution their source asks
    // for, handed to the map page; empty: the page's own (OpenStreetMap). A page address that
    // names its tiles itself keeps them.
    static void SetTileSource(const QString &urlTemplate, const QString &attribution);
    // The map page as navigated to: MapPageAddress() with the tile source.
    QUrl MapPageUrlWithTiles() const;

    // --- What the playback controller tells (connected by the composition root) --------------
    void OnRecordingOpened(const tagOPENEDRECORDING &recording);
    void OnRecordingClosed();
    // During playback only a table lookup; the view's own seeks it has shown already.
    void OnPositionChanged(const tagPLAYPOSITION &position);

signals:
    // A key of the graph's key table (Space, End, Home, Delete) was pressed in the map.
    void GraphKey(int key);
    // Up and Down: the play control bar's volume.
    void ControlBarKey(int key);
    // Left and Right step to the frame of the fix before or after.
    void SeekRequested(qint64 frame);
    // A page was asked for (before it loads).
    void PageRequested(CMapView::PageKind kind);
    // A page completed and the view took it as complete.
    void PageCompleted(CMapView::PageKind kind);
    // LoadRoutes wrote the routes into the page.
    void RoutesLoaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Navigate(PageKind kind, const QUrl &url);
    void OnLoadFinished(bool ok);
    void StartCheck();
    void SendCheck(quint64 serial);
    void OnCheckFinished(QNetworkReply *reply, quint64 serial);
    bool SystemReportsOffline() const;
    // The position scripts for the current frame; done runs when the page has taken them (at once
    // when there was nothing to send).
    void SendPosition(const std::function<void()> &done);
    void PumpPosition();
    void ReadPageSize();
    void InstallKeyFilter(QObject *child);

    const CCorvanaDoc *m_doc;
    const CRecordingTelemetry *m_telemetry;
    tagOPENEDRECORDING m_recording;
    int64_t m_position = 0;
    QString m_mapPage;
    int m_positionOn = 1;
    QMenu *m_mapMenu = nullptr;
    QString m_serverBase;
    QVector<tagGPSINFO> m_tripRoute;

    int bOnline = 0;
    int bMapPageDue = 0;
    int nShownFix = -1;
    int bPageComplete = 0;
    int bRouteLoaded = 0;
    PageKind m_page = PageKind::None;

    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_checkReply;
    quint64 m_checkSerial = 0;
    bool m_checkWaitsForPage = false;
    QTimer m_routeTimer;
    QTimer m_retryTimer;
    QTimer m_pageWaitTimer;
    QTimer m_positionGuard;
    bool m_positionBusy = false;
    bool m_positionPending = false;
    long m_pageWidth = -1;
    long m_pageHeight = -1;
};
