// The composition root: the viewer's objects, their wiring and the load sequence.
#include "shell/compositionroot.h"

#include "catalogue/corvanadoc.h"
#include "export/evidencereport.h"
#include "export/exportactions.h"
#include "export/playoverlay.h"
#include "playback/mediaplayview.h"
#include "playback/playbackcontroller.h"
#include "playback/playcontrolview.h"
#include "playback/recordingnavigator.h"
#include "shell/contentlistview.h"
#include "shell/mainframe.h"
#include "shell/viewercommands.h"
#include "skin/commandids.h"
#include "skin/progressviewer.h"
#include "skin/prompt.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/graphkeycommands.h"
#include "telemetry/localwebserver.h"
#include "telemetry/mapscripts.h"
#include "telemetry/mapview.h"
#include "telemetry/printview.h"
#include "trips/tripwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPrinter>
#include <QSettings>
#include <QTimer>

#include <cstdio>

namespace {

const char kMsgUnableToPlay[] = "This media file is unable to play.";
const char kMsgWrongFolder[] = "Wrong folder.";
const char kSettingServer[] = "server";
const char kSettingRecentFolders[] = "recentFolders";
// A map picture for the report is taken once the page shows the moment, or after this long.
constexpr int kMapDrawnWaitMs = 10000;

} // namespace

CCompositionRoot::CCompositionRoot(CCorvanaDoc *doc, QObject *parent)
    : QObject(parent), m_doc(doc), m_playback(std::make_unique<CPlaybackController>(doc)),
      m_keys(std::make_unique<CGraphKeyCommands>(m_playback.get())), m_printer(std::make_unique<QPrinter>()),
      m_frame(std::make_unique<CMainFrame>()), m_overlay(std::make_unique<CPlayOverlay>(m_playback.get()))
{
    m_recentFolders = QSettings().value(QString::fromLatin1(kSettingRecentFolders)).toStringList();
    while (m_recentFolders.size() > kRecentFolderCount)
        m_recentFolders.removeLast();

    CreatePanes();
    m_commands = std::make_unique<CViewerCommands>(this);
    m_frame->CreateMenus();
    // The graph's own menu holds the same item as the Display Control menu, so both show one state.
    m_graphMenu = new QMenu(m_frame.get());
    m_graphMenu->addAction(m_frame->Action(ID_VIEW_SPEED_CURVE));
    m_frame->GraphView()->SetContextMenu(m_graphMenu);
    m_frame->MapView()->SetMapMenu(m_frame->MenuPopups().value(3));
    Connect();

    const QString base = MapServerBase();
    if (!base.isEmpty())
        m_frame->MapView()->SetMapPage(MapPageUrl(base));
    m_frame->MapView()->SetServerBase(base);
    // The controller takes the bar's volume from the start.
    m_frame->ControlBar()->ApplyVolume();
    m_frame->GraphView()->OnInitialUpdate();
    m_commands->ApplySpeedCurve();
    m_frame->MapView()->OnInitialUpdate();
    m_frame->UpdateCommandUi();
}

CCompositionRoot::~CCompositionRoot()
{
    SaveSettings();
    // The Trips window hears the controller and asks the map: it goes while both are whole.
    delete m_tripWindow;
    m_tripWindow = nullptr;
    // The panes hear playback while they go; it stops first.
    m_playback->Close(false);
    // The map pane goes before the server its pages come from, so that neither its check nor a
    // request of its page is left waiting on a server that is gone.
    delete m_frame->MapView();
    if (m_webServer)
        m_webServer->Stop();
    m_commands.reset();
    m_exportActions.reset();
    m_frame.reset();
}

void CCompositionRoot::CreatePanes()
{
    const CRecordingTelemetry *telemetry = &m_playback->Telemetry();
    CMainFrame::tagPANES panes;
    panes.list = new CContentListView(m_doc);
    panes.map = new CMapView(m_doc, telemetry);
    panes.print = new CPrintView(m_playback.get());
    panes.play = new CMediaPlayView();
    panes.controlBar = new CPlayControlView();
    panes.graph = new CAccelSensorGraphView(m_doc, telemetry);
    m_frame->PlacePanes(panes);
    panes.play->SetController(m_playback.get());
    panes.controlBar->SetTarget(m_playback.get());
    m_keys->SetControlBar(panes.controlBar);

    // The report reads the graph and the map through these; it holds neither.
    panes.print->SetGraphSource([graph = panes.graph] { return graph->size(); },
                                [graph = panes.graph](QPainter &p) { graph->PlotGraph(p); });
    panes.print->SetMapSource([map = panes.map] { return map->ReportPicture(kMapDrawnWaitMs); });
    panes.play->SetCommandEnabled([frame = m_frame.get()](int id) { return frame->IsCommandEnabled(id); });

    m_tripWindow = new CTripWindow(m_doc, m_frame.get());
    m_tripWindow->setObjectName(QStringLiteral("TripWindow"));

    m_recordingActions =
        std::make_unique<CRecordingActions>(m_doc, static_cast<IRecordingActionsHost *>(this), m_playback.get(), panes.list);
    m_evidenceReport = std::make_unique<CEvidenceReport>(
        m_playback.get(), [this](const QString &pdfPath, const tagEVIDENCEFACTS &facts) {
            return m_commands->PrintEvidenceReport(pdfPath, facts);
        });
    m_exportActions = std::make_unique<CExportActions>(m_doc, &m_playback->ExportMarks(), m_evidenceReport.get(),
                                                       m_frame.get());
    m_exportActions->SetEvidenceAdditions([this](tagEVIDENCEJOB *job) { AddEnhancedView(*m_playback, job); });
}

void CCompositionRoot::Connect()
{
    CPlaybackController *playback = m_playback.get();
    CRecordingNavigator *nav = playback->Navigator();
    CGraphKeyCommands *keys = m_keys.get();
    CMainFrame *frame = m_frame.get();
    CContentListView *list = frame->ListView();
    CMapView *map = frame->MapView();
    CMediaPlayView *play = frame->PlayView();
    CPlayControlView *bar = frame->ControlBar();
    CAccelSensorGraphView *graph = frame->GraphView();
    CTripWindow *trips = m_tripWindow;

    // What playback is: the panes show it.
    connect(playback, &CPlaybackController::RecordingOpened, graph, &CAccelSensorGraphView::OnRecordingOpened);
    connect(playback, &CPlaybackController::RecordingOpened, map, &CMapView::OnRecordingOpened);
    connect(playback, &CPlaybackController::RecordingOpened, trips, &CTripWindow::OnRecordingOpened);
    connect(playback, &CPlaybackController::RecordingClosed, graph, &CAccelSensorGraphView::OnRecordingClosed);
    // A camera nudged into step stays so for the card.
    connect(playback, &CPlaybackController::ChannelOffsetChanged, m_doc, &CCorvanaDoc::SetChannelOffset);
    connect(playback, &CPlaybackController::RecordingClosed, map, &CMapView::OnRecordingClosed);
    connect(playback, &CPlaybackController::RecordingClosed, trips, &CTripWindow::OnRecordingClosed);
    connect(playback, &CPlaybackController::PositionChanged, graph, &CAccelSensorGraphView::OnPositionChanged);
    connect(playback, &CPlaybackController::PositionChanged, map, &CMapView::OnPositionChanged);
    connect(playback, &CPlaybackController::PositionChanged, trips, &CTripWindow::OnPositionChanged);
    connect(playback, &CPlaybackController::PicturesChanged, play, &CMediaPlayView::OnPicturesChanged);
    connect(playback, &CPlaybackController::LayoutAboutToChange, play, &CMediaPlayView::OnLayoutAboutToChange);
    connect(playback, &CPlaybackController::LayoutChanged, play, &CMediaPlayView::OnLayoutChanged);
    connect(playback, &CPlaybackController::LayoutChanged, list, &CContentListView::OnLayoutChanged);
    connect(playback, &CPlaybackController::LayoutChanged, bar, [bar](int multi) { bar->EnableSingleViewButtons(multi); });
    connect(playback, &CPlaybackController::LayoutProgress, frame, [frame](int percent) {
        if (!frame->ProgressViewer()->isVisible())
            frame->ShowProgress();
        frame->SetProgress(percent);
    });
    connect(playback, &CPlaybackController::LayoutProgressHidden, frame, &CMainFrame::HideProgress);

    // Opening a recording: the progress window, the message, the list's rows, the map and graph.
    connect(nav, &CRecordingNavigator::ProgressShown, frame, &CMainFrame::ShowProgress);
    connect(nav, &CRecordingNavigator::ProgressMoved, frame, &CMainFrame::SetProgress);
    connect(nav, &CRecordingNavigator::ProgressHidden, frame, &CMainFrame::HideProgress);
    connect(nav, &CRecordingNavigator::Unplayable, list,
            [list] { CurrentPrompt().Info(list, QString::fromLatin1(kMsgUnableToPlay)); });
    connect(nav, &CRecordingNavigator::CurrentRowMoved, list, &CContentListView::CurrentRowMoved);
    connect(nav, &CRecordingNavigator::Opened, this, &CCompositionRoot::OnRecordingOpened);
    connect(nav, &CRecordingNavigator::NoneOpened, this, &CCompositionRoot::OnNoRecordingOpened);

    // The catalogue loaded anew.
    connect(m_doc, &CCorvanaDoc::CatalogueReset, list, &CContentListView::Fill);
    connect(m_doc, &CCorvanaDoc::CatalogueReset, graph, qOverload<>(&QWidget::update));
    connect(m_doc, &CCorvanaDoc::CatalogueReset, trips, &CTripWindow::OnCatalogueReset);
    connect(m_doc, &CCorvanaDoc::NotesChanged, trips, &CTripWindow::OnNotesChanged);

    // What the user asks for in the panes.
    connect(list, &CContentListView::OpenRequested, playback, &CPlaybackController::Open);
    connect(list, &CContentListView::PlayRequested, this, &CCompositionRoot::OnListPlay);
    connect(list, &CContentListView::CopyRequested, this,
            [this](const QList<int> &rows) { m_recordingActions->CopyRecordings(rows); });
    connect(list, &CContentListView::DeleteRequested, this,
            [this](const QList<int> &rows) { m_recordingActions->DeleteRecordings(rows); });
    connect(graph, &CAccelSensorGraphView::SeekRequested, playback,
            [playback, graph](qint64 frame) { playback->Seek(frame, graph); });
    connect(map, &CMapView::SeekRequested, playback, [playback, map](qint64 frame) { playback->Seek(frame, map); });
    connect(trips, &CTripWindow::OpenRequested, this, [playback, frame](int index, qint64 offsetMs) {
        playback->OpenAt(index, offsetMs);
        frame->UpdateCommandUi();
    });
    connect(trips, &CTripWindow::TripChosen, this, [this] { m_commands->ShowChosenTripRoute(); });
    connect(trips, &CTripWindow::Closed, map, [map] { map->SetTripRoute({}); });
    connect(play, &CMediaPlayView::ImageViewerRequested, this, [this](int pane) { m_commands->OpenImageViewer(pane); });
    connect(play, &CMediaPlayView::CommandRequested, frame, &CMainFrame::Command);
    connect(bar, &CPlayControlView::Command, frame, &CMainFrame::Command);
    connect(m_graphMenu, &QMenu::aboutToShow, frame, &CMainFrame::UpdateCommandUi);

    // Keys: one command path for the graph's key table, whichever pane took the key.
    connect(list, &CContentListView::GraphKey, keys, [keys](int key) { keys->Run(key); });
    connect(map, &CMapView::GraphKey, keys, [keys](int key) { keys->Run(key); });
    connect(bar, &CPlayControlView::GraphKey, keys, [keys](int key) { keys->Run(key); });
    connect(graph, &CAccelSensorGraphView::GraphKey, keys, &CGraphKeyCommands::Run);
    connect(play, &CMediaPlayView::GraphKey, keys, &CGraphKeyCommands::Run);
    connect(keys, &CGraphKeyCommands::ZoomRequested, graph, &CAccelSensorGraphView::ZoomStep);
    connect(play, &CMediaPlayView::ControlBarKey, bar, [bar](int key) { bar->HandleKey(key); });
    connect(map, &CMapView::ControlBarKey, bar, [bar](int key) { bar->HandleKey(key); });
}

void CCompositionRoot::OnRecordingOpened(int row)
{
    CMapView *map = m_frame->MapView();
    // An opened recording brings the map page back, even when the page decision before it (at
    // start-up, or after "Google Map") was superseded before it could make the page due.
    map->SetMapPageDue(1);
    map->StartMapLoad();
    m_frame->SetProgress(65);
    m_frame->GraphView()->RebuildGraph();
    m_frame->SetProgress(90);
    m_frame->ListView()->ShowOpened(row);
}

void CCompositionRoot::OnNoRecordingOpened()
{
    m_frame->ListView()->ShowNoneOpened();
    m_frame->PlayView()->update();
    // Nothing is current: the graph and the map's route must not go on showing the recording
    // that could not be opened again.
    m_frame->GraphView()->ResetGraph();
    m_frame->MapView()->LoadRoutes();
}

void CCompositionRoot::OnListPlay(int row)
{
    if (row != m_playback->CurrentIndex())
        m_playback->Open(row);
    m_playback->PlayForward();
}

// --- The folder ---------------------------------------------------------------------------------

void CCompositionRoot::SetFolderAndLoad(const QString &folder)
{
    // A folder that has no path, or is not a folder at all, loads nothing.
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        CurrentPrompt().Info(m_frame.get(), QString::fromLatin1(kMsgWrongFolder));
        return;
    }
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    m_doc->SetFolder(path);
    AddRecentFolder(path);
    RunLoadSequence();
}

void CCompositionRoot::RunLoadSequence()
{
    CMainFrame *frame = m_frame.get();
    CMapView *map = frame->MapView();
    frame->SetProgress(0);
    frame->ShowProgress();
    frame->SetProgress(5);
    m_doc->LoadFolder([frame](int percent) { frame->SetProgress(percent); });
    frame->SetProgress(72);
    m_playback->Close(false);
    frame->SetProgress(78);
    frame->ListView()->Clear();
    frame->SetProgress(84);
    // The trips of the folder before, and the route of the one chosen, are gone with it.
    map->SetTripRoute({});
    map->LoadRoutes(); // no recording is current now: the route goes
    // The page itself would go on showing the routes and markers of the folder before.
    if (map->Page() == CMapView::PageKind::Map)
        map->StartMapLoad();
    frame->SetProgress(90);
    frame->GraphView()->ResetGraph();
    frame->SetProgress(98);
    m_doc->NotifyCatalogueReset();
    frame->SetProgress(100);
    frame->HideProgress();
    frame->UpdateCommandUi();
}

void CCompositionRoot::AddRecentFolder(const QString &folder)
{
    m_recentFolders.removeAll(folder);
    m_recentFolders.prepend(folder);
    while (m_recentFolders.size() > kRecentFolderCount)
        m_recentFolders.removeLast();
    // Writing the settings file waits for the disk; that happens after the list is on screen.
    QTimer::singleShot(0, this, [this] { SaveSettings(); });
}

void CCompositionRoot::SaveSettings()
{
    QSettings().setValue(QString::fromLatin1(kSettingRecentFolders), m_recentFolders);
}

// --- IRecordingActionsHost ----------------------------------------------------------------------

void CCompositionRoot::ShowProgress()
{
    m_frame->ShowProgress();
}

void CCompositionRoot::SetProgress(int percent)
{
    m_frame->SetProgress(percent);
}

void CCompositionRoot::HideProgress()
{
    m_frame->HideProgress();
}

void CCompositionRoot::SetMapPageDue(int due)
{
    m_frame->MapView()->SetMapPageDue(due);
}

// --- Settings -----------------------------------------------------------------------------------

QString CCompositionRoot::ServerAddress()
{
    QString server = QSettings().value(QString::fromLatin1(kSettingServer)).toString().trimmed();
    if (!server.isEmpty() && !server.endsWith(QLatin1Char('/')))
        server += QLatin1Char('/');
    return server;
}

QString CCompositionRoot::MapServerBase()
{
    const QString configured = ServerAddress();
    if (!configured.isEmpty())
        return configured;
    if (!m_webServer)
        m_webServer = std::make_unique<CLocalWebServer>(CLocalWebServer::DefaultRootFolder());
    if (!m_webServer->IsRunning() && !m_webServer->Start()) {
        // The map pane then shows its offline page and keeps retrying; nothing else depends on it.
        std::fprintf(stderr, "Corvana: the map pages cannot be served: %s\n",
                     qPrintable(m_webServer->ErrorString()));
    }
    return m_webServer->BaseUrl();
}

QString CCompositionRoot::ProgramFolder() const
{
    if (!m_programFolder.isEmpty())
        return m_programFolder;
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

void CCompositionRoot::SetProgramFolder(const QString &folder)
{
    m_programFolder = folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}
