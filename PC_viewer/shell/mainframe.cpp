// The main frame: panes, menus, the command table, the load sequence and the frame's commands.
#include "shell/mainframe.h"

#include "catalogue/corvanadoc.h"
#include "catalogue/recordinfo.h"
#include "device_config/blackboxconfigurator.h"
#include "export/telemetryoverlay.h"
#include "platform/processes.h"
#include "platform/removablevolumes.h"
#include "playback/multiviewsplitter.h"
#include "playback/playbackpane.h"
#include "playback/playcontrolview.h"
#include "playback/recordingnavigator.h"
#include "playback/snapshot.h"
#include "shell/aboutdlg.h"
#include "shell/contentlistview.h"
#include "shell/imageviewer.h"
#include "skin/commandids.h"
#include "skin/progressviewer.h"
#include "skin/prompt.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/graphkeycommands.h"
#include "telemetry/localwebserver.h"
#include "telemetry/mapscripts.h"
#include "telemetry/mapview.h"
#include "telemetry/printview.h"
#include "telemetry/recordingtelemetry.h"
#include "trips/tripwindow.h"
#include "update/updateconst.h"
#include "update/updatedialog.h"
#include "version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QSettings>
#include <QShortcut>
#include <QTimer>

#include <cstdio>

namespace {

// Menu 128, item by item in menu order. A null caption is a separator; `submenu` names the
// drop-down inside the top-level menu an item belongs to.
struct tagMENUITEM {
    int menu; // 0 File, 1 Media Control, 2 Display Control, 3 Map(&M), 4 Help(&H)
    const char *submenu;
    int id;
    const char *caption;
};

const char *const kMenuTitles[] = {"File", "Media Control", "Display Control", "Map(&M)", "Help(&H)"};

const tagMENUITEM kMenu[] = {
    {0, nullptr, ID_FILE_SET_FOLDER, "Set Folder"},
    {0, nullptr, ID_FILE_ADD_GPS_TRACK, "Add GPS track..."},
    {0, nullptr, 0, nullptr},
    {0, nullptr, ID_FILE_CONFIG_BLACKBOX, "Config blackbox"},
    {0, nullptr, 0, nullptr},
    {0, nullptr, ID_FILE_PRINT, "Print(&P)...\tCtrl+P"},
    {0, nullptr, ID_FILE_PRINT_PREVIEW, "Print Priview(&V)"},
    {0, nullptr, ID_FILE_PRINT_SETUP, "Set Print(&R)..."},
    {0, nullptr, 0, nullptr},
    {0, nullptr, ID_APP_EXIT, "Exit(&X)"},

    {1, nullptr, ID_MEDIA_PLAY, "Play"},
    {1, nullptr, ID_MEDIA_REVERSE_PLAY, "Reverse Play"},
    {1, nullptr, 0, nullptr},
    {1, nullptr, ID_MEDIA_PAUSE, "Pause"},
    {1, nullptr, 0, nullptr},
    {1, "Speed", ID_SPEED_1X, "1x"},
    {1, "Speed", ID_SPEED_2X, "2x"},
    {1, "Speed", ID_SPEED_4X, "4x"},
    {1, "Speed", ID_SPEED_8X, "8x"},
    {1, "Speed", ID_SPEED_16X, "16x"},
    {1, "Speed", ID_SPEED_32X, "32x"},
    {1, nullptr, 0, nullptr},
    {1, nullptr, ID_MEDIA_FRAME_FORWARD, "Frame forward"},
    {1, nullptr, ID_MEDIA_FRAME_BACKWARD, "Frame backward"},
    {1, nullptr, 0, nullptr},
    {1, nullptr, ID_MEDIA_TO_BEGINNING, "To the beginning"},
    {1, nullptr, ID_MEDIA_TO_END, "To the end"},
    {1, nullptr, 0, nullptr},
    {1, nullptr, ID_MEDIA_CONTINUOUS_PLAY, "Continuous play"},
    {1, nullptr, 0, nullptr},
    {1, nullptr, ID_MEDIA_MARK_EXPORT_START, "Mark export start"},
    {1, nullptr, ID_MEDIA_MARK_EXPORT_END, "Mark export end"},
    {1, nullptr, ID_MEDIA_EXPORT_VIDEO, "Export video..."},
    {1, nullptr, ID_MEDIA_SAVE_EVIDENCE, "Save evidence package..."},

    {2, nullptr, ID_VIEW_SINGLE, "Single View"},
    {2, "Multiple View", ID_VIEW_X4, "x4"},
    {2, "Multiple View", ID_VIEW_X9, "x9"},
    {2, "Multiple View", ID_VIEW_X16, "x16"},
    {2, "Multiple View", ID_VIEW_X25, "x25"},
    {2, nullptr, 0, nullptr},
    {2, nullptr, ID_VIEW_SAVE_IMAGE, "Save image"},
    {2, nullptr, 0, nullptr},
    {2, nullptr, ID_VIEW_TELEMETRY_OVERLAY, "Telemetry overlay"},
    {2, nullptr, ID_VIEW_SPEED_CURVE, "Speed curve"},
    {2, nullptr, ID_VIEW_TRIP_TIMELINE, "Trip timeline..."},

    {3, nullptr, ID_MAP_GOOGLE_MAP, "Google Map"},
    {3, nullptr, 0, nullptr},
    {3, nullptr, ID_MAP_POSITION_ON, "Display position on"},
    {3, nullptr, ID_MAP_POSITION_OFF, "Display position off"},
    {3, nullptr, 0, nullptr},
    {3, nullptr, ID_MAP_CONVERT_EARTH, "Convert for google earth"},

    {4, nullptr, ID_APP_ABOUT, "Pellister Info(&A)..."},
    {4, nullptr, 0, nullptr},
    {4, nullptr, ID_APP_UPDATE, "Check for updates..."},
};

const char kMsgNotLoaded[] = "The loading content does not exist.";
const char kMsgNoSelection[] = "The selected file does not exist.";
const char kTitleLoadingFolder[] = "Specify the loading folder.";
const char kTitleSaveFolder[] = "Specify the folder to save the data.";
const char kMsgFailOpenFolder[] = "Fail to open the folder.";
const char kMsgUnableToPlay[] = "This media file is unable to play.";
const char kMsgWrongFolder[] = "Wrong folder.";
const char kMsgNoGps[] = "GPS data does not exist.";
const char kMsgConvertSuccess[] = "Success to convert the data.";
const char kMsgConvertError[] = "An error occured in converting.";

QString Text(const char *s)
{
    return QString::fromLatin1(s);
}

const char kSettingServer[] = "server";
const char kSettingRecentFolders[] = "recentFolders";
const char kSettingSpeedCurve[] = "graph/speedCurve";
// A trip's route on the map: enough points to follow its roads, few enough for one page call.
constexpr int kTripRouteMaxPoints = 2000;

} // namespace

CMainFrame::CMainFrame(CCorvanaDoc *doc, QWidget *parent) : CSkinFrameWnd(parent), m_doc(doc)
{
    setWindowTitle(QStringLiteral("Pellister"));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kMinWidth, kMinHeight);

    LoadSettings();
    m_printer = std::make_unique<QPrinter>();
    m_progress = new CProgressViewer(this);
    // Styled and given its window now, so the first long operation does not wait for that.
    m_progress->ensurePolished();
    m_progress->winId();
    m_progress->hide();

    CreatePanes();
    BuildCommandTable();
    CreateMenus();
    ConnectTelemetryPanes();
    ConnectRecordingNavigation();
    UpdateCommandUi();
}

CMainFrame::~CMainFrame()
{
    SaveSettings();
    // The Trips window talks to the panes through this frame: it goes while they are whole.
    delete m_tripWindow;
    m_tripWindow = nullptr;
    // The panes talk to each other while they go; stop playback first.
    if (m_playView)
        m_playView->CloseRecording(false);
    // The map pane goes before the server its pages come from, so that neither its check nor a
    // request of its page is left waiting on a server that is gone. The panes let go of the
    // telemetry tables before they go.
    if (m_graphView) {
        m_graphView->SetTelemetry(nullptr);
        m_graphView->SetKeyCommands(nullptr);
        m_graphView->SetContextMenu(nullptr);
    }
    if (m_printView)
        m_printView->SetTelemetry(nullptr);
    delete m_mapView;
    m_mapView = nullptr;
    if (m_webServer)
        m_webServer->Stop();
}

void CMainFrame::CreatePanes()
{
    m_outer = new CMultiViewSplitter(1, 2, this);
    m_left = new CMultiViewSplitter(3, 1, m_outer->widget(0));
    m_right = new CMultiViewSplitter(3, 1, m_outer->widget(1));
    m_outer->AddView(0, 0, m_left);
    m_outer->AddView(0, 1, m_right);

    m_list = new CContentListView(m_doc);
    m_mapView = new CMapView(m_doc);
    m_mapView->setObjectName(QStringLiteral("MapView"));
    m_printView = new CPrintView(m_doc);
    m_printView->setObjectName(QStringLiteral("PrintView"));
    m_left->AddView(0, 0, m_list);
    m_left->AddView(1, 0, m_mapView);
    m_left->AddView(2, 0, m_printView);
    // The report pane has no visible area; it only serves printing.
    m_left->widget(2)->hide();

    m_playView = new CMediaPlayView(m_doc, this);
    m_controlBar = new CPlayControlView();
    m_graphView = new CAccelSensorGraphView(m_doc);
    m_graphView->setObjectName(QStringLiteral("AccelSensorGraphView"));
    m_right->AddView(0, 0, m_playView);
    m_right->AddView(1, 0, m_controlBar);
    m_right->AddView(2, 0, m_graphView);

    m_controlBar->SetTarget(m_playView);
    connect(m_controlBar, &CPlayControlView::Command, this, [this](int id) { Command(id); });

    for (CMultiViewSplitter *s : {m_outer, m_left, m_right}) {
        s->SetGapAndBorder(kSplitterGap, kSplitterGap);
        s->SetCellMinimum(kPaneMinimum);
        s->Lock(true);
    }
    m_left->widget(2)->setMinimumHeight(0);

    SetClientWidget(m_outer);
    m_outer->installEventFilter(this);
    m_layoutReady = 1;
    LayOutPanes(m_outer->size());
}

void CMainFrame::ConnectTelemetryPanes()
{
    const QString base = MapServerBase();
    if (!base.isEmpty())
        m_doc->SetMapPage(MapPageUrl(base));
    m_mapView->SetServerBase(base);

    // The tables of the open recording follow what the playback session opens and closes.
    m_telemetry = std::make_unique<CRecordingTelemetry>(m_doc);
    connect(m_playView->Session(), &CPlaybackSession::RecordingOpened, m_telemetry.get(),
            &CRecordingTelemetry::Rebuild);
    connect(m_playView->Session(), &CPlaybackSession::RecordingClosed, m_telemetry.get(),
            &CRecordingTelemetry::Clear);
    m_graphView->SetTelemetry(m_telemetry.get());
    m_mapView->SetTelemetry(m_telemetry.get());
    m_printView->SetTelemetry(m_telemetry.get());

    // One command path for the graph's key table, whichever pane took the key.
    m_keys = std::make_unique<CGraphKeyCommands>(m_doc);
    m_keys->SetPlaybackSession(m_playView->Session());
    m_keys->SetControlBar(m_controlBar);
    m_graphView->SetKeyCommands(m_keys.get());
    const auto runKey = [this](int key) { m_keys->Run(key); };
    connect(m_controlBar, &CPlayControlView::GraphKey, this, runKey);
    connect(m_mapView, &CMapView::GraphKey, this, runKey);

    m_graphView->SetPlaybackSession(m_playView->Session());
    m_graphView->SetControlBar(m_controlBar);
    m_graphView->OnInitialUpdate();
    // The graph's own menu holds the same item as the Display Control menu, so both show one state.
    m_graphMenu = new QMenu(this);
    m_graphMenu->addAction(m_actions.value(ID_VIEW_SPEED_CURVE));
    connect(m_graphMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
    m_graphView->SetContextMenu(m_graphMenu);
    ApplySpeedCurve();

    m_printView->SetPlaybackSession(m_playView->Session());
    m_printView->SetGraphView(m_graphView);
    m_printView->SetMapView(m_mapView);

    m_exportMarks = std::make_unique<CExportMarks>(m_doc);
    m_exportActions = std::make_unique<CExportActions>(m_doc, m_exportMarks.get(), this, this);

    m_mapView->SetControlBar(m_controlBar);
    m_mapView->SetMapMenu(m_menus.value(3));
    m_mapView->OnInitialUpdate();
}

void CMainFrame::LayOutPanes(const QSize &client)
{
    if (!m_layoutReady)
        return;
    const int w = client.width();
    const int h = client.height();
    const int gap = kSplitterGap;
    m_outer->SetCellSizes({kLeftColumnWidth, std::max(kPaneMinimum, w - kLeftColumnWidth - gap)});
    m_left->SetCellSizes({std::max(kPaneMinimum, h - kMapHeight - gap), kMapHeight, 0});
    m_right->SetCellSizes({std::max(kPaneMinimum, h - kControlBarHeight - kGraphHeight - 2 * gap),
                           kControlBarHeight, kGraphHeight});
}

bool CMainFrame::eventFilter(QObject *watched, QEvent *event)
{
    // While a print run holds the layout (the preview window over the frame), resizes wait.
    if (watched == m_outer && event->type() == QEvent::Resize && !m_printView->IsPrinting()) {
        LayOutPanes(static_cast<QResizeEvent *>(event)->size());
        if (m_playView)
            m_playView->RefreshVideo();
    }
    return CSkinFrameWnd::eventFilter(watched, event);
}

void CMainFrame::moveEvent(QMoveEvent *event)
{
    CSkinFrameWnd::moveEvent(event);
    if (m_playView)
        m_playView->RefreshVideo();
}

// --- Command table ------------------------------------------------------------------------------

void CMainFrame::BuildCommandTable()
{
    auto always = std::function<bool()>();
    auto single = [this] { return m_playView->IsMulti() == 0; };

    m_commands[ID_FILE_SET_FOLDER] = {[this] { OnSetFolder(); }, always, {}};
    m_commands[ID_FILE_ADD_GPS_TRACK] = {[this] { OnAddGpsTrack(); }, always, {}};
    m_commands[ID_FILE_CONFIG_BLACKBOX] = {[this] { OnConfigBlackbox(); }, always, {}};
    m_commands[ID_FILE_PRINT] = {[this] { OnPrint(ID_FILE_PRINT); }, always, {}};
    m_commands[ID_FILE_PRINT_DIRECT] = {[this] { OnPrint(ID_FILE_PRINT_DIRECT); }, always, {}};
    m_commands[ID_FILE_PRINT_PREVIEW] = {[this] { OnPrint(ID_FILE_PRINT_PREVIEW); }, always, {}};
    m_commands[ID_FILE_PRINT_SETUP] = {[this] { OnPrintSetup(); }, always, {}};
    m_commands[ID_APP_EXIT] = {[this] { close(); }, always, {}};

    m_commands[ID_MEDIA_PLAY] = {[this] { OnPlay(false); }, single, {}};
    m_commands[ID_MEDIA_REVERSE_PLAY] = {[this] { OnPlay(true); }, single, {}};
    m_commands[ID_MEDIA_PAUSE] = {[this] { m_playView->Pause(); }, always, {}};
    m_commands[ID_MEDIA_STOP] = {[this] { m_playView->Stop(); }, always, {}};
    for (int i = 0; i < CPlayControlView::kSpeedCount; ++i)
        m_commands[ID_SPEED_1X + i] = {[this, i] { m_controlBar->SetSpeedIndex(i); }, always, {}};
    m_commands[ID_MEDIA_FRAME_FORWARD] = {[this] { OnFrameStep(+1); }, always, {}};
    m_commands[ID_MEDIA_FRAME_BACKWARD] = {[this] { OnFrameStep(-1); }, always, {}};
    m_commands[ID_MEDIA_TO_BEGINNING] = {[this] { m_playView->SeekToBeginning(); }, always, {}};
    m_commands[ID_MEDIA_TO_END] = {[this] { m_playView->SeekToEnd(); }, always, {}};
    m_commands[ID_MEDIA_CONTINUOUS_PLAY] = {[this] { m_continuousPlay = m_continuousPlay ? 0 : 1; }, always,
                                            [this] { return m_continuousPlay == 1; }};

    m_commands[ID_VIEW_SINGLE] = {[this] { OnSingleView(); }, always, {}};
    m_commands[ID_VIEW_X4] = {[this] { OnGrid(4); }, always, {}};
    m_commands[ID_VIEW_X9] = {[this] { OnGrid(9); }, always, {}};
    m_commands[ID_VIEW_X16] = {[this] { OnGrid(16); }, always, {}};
    m_commands[ID_VIEW_X25] = {[this] { OnGrid(25); }, always, {}};
    m_commands[ID_VIEW_SAVE_IMAGE] = {[this] { OnSaveImage(); }, always, {}};
    m_commands[ID_VIEW_TELEMETRY_OVERLAY] = {[this] { SetTelemetryOverlay(!m_telemetryOverlay); }, always,
                                             [this] { return m_telemetryOverlay; }};
    m_commands[ID_VIEW_SPEED_CURVE] = {[this] { SetSpeedCurve(!m_speedCurve); }, always,
                                       [this] { return m_speedCurve; }};
    m_commands[ID_VIEW_TRIP_TIMELINE] = {[this] { OnTripTimeline(); }, always, {}};

    m_commands[ID_MEDIA_MARK_EXPORT_START] = {[this] {
                                                  if (LoadedCheck())
                                                      m_exportMarks->MarkStart();
                                              },
                                              always, {}};
    m_commands[ID_MEDIA_MARK_EXPORT_END] = {[this] {
                                                if (LoadedCheck())
                                                    m_exportMarks->MarkEnd();
                                            },
                                            always, {}};
    m_commands[ID_MEDIA_EXPORT_VIDEO] = {[this] {
                                             m_playView->Pause();
                                             m_exportActions->ExportVideo();
                                             ApplySpeedCurve(); // the dialog may have changed the units
                                         },
                                         always, {}};
    m_commands[ID_MEDIA_SAVE_EVIDENCE] = {[this] {
                                              m_playView->Pause();
                                              m_exportActions->SaveEvidence();
                                          },
                                          always, {}};

    m_commands[ID_MAP_GOOGLE_MAP] = {[this] { OnGoogleMap(); }, always, {}};
    m_commands[ID_MAP_POSITION_ON] = {
        [this] { m_doc->SetMapPositionOn(1); }, [this] { return m_doc->MapPositionOn() == 0; }, {}};
    m_commands[ID_MAP_POSITION_OFF] = {
        [this] { m_doc->SetMapPositionOn(0); }, [this] { return m_doc->MapPositionOn() == 1; }, {}};
    m_commands[ID_MAP_CONVERT_EARTH] = {[this] { OnConvertForGoogleEarth(); }, always, {}};

    m_commands[ID_APP_ABOUT] = {[this] { OnAbout(); }, always, {}};
    m_commands[ID_APP_UPDATE] = {[this] { OnUpdate(); }, always, {}};
}

bool CMainFrame::IsCommandEnabled(int id) const
{
    const auto it = m_commands.find(id);
    if (it == m_commands.end())
        return false;
    return !it->second.enabled || it->second.enabled();
}

bool CMainFrame::IsCommandChecked(int id) const
{
    const auto it = m_commands.find(id);
    return it != m_commands.end() && it->second.checked && it->second.checked();
}

bool CMainFrame::Command(int id)
{
    if (!IsCommandEnabled(id))
        return false;
    m_commands.at(id).run();
    UpdateCommandUi();
    return true;
}

void CMainFrame::UpdateCommandUi()
{
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        it.value()->setEnabled(IsCommandEnabled(it.key()));
        if (it.value()->isCheckable())
            it.value()->setChecked(IsCommandChecked(it.key()));
    }
}

void CMainFrame::CreateMenus()
{
    for (const char *title : kMenuTitles) {
        auto *menu = new QMenu(Text(title), this);
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
        m_menus.append(menu);
    }
    QHash<QString, QMenu *> submenus;
    for (const tagMENUITEM &item : kMenu) {
        QMenu *menu = m_menus[item.menu];
        if (item.submenu) {
            const QString key = QString::number(item.menu) + QLatin1Char('/') + Text(item.submenu);
            QMenu *&sub = submenus[key];
            if (!sub) {
                sub = menu->addMenu(Text(item.submenu));
                connect(sub, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
            }
            menu = sub;
        }
        if (!item.caption) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(Text(item.caption));
        action->setData(item.id);
        action->setCheckable(m_commands.at(item.id).checked != nullptr);
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { Command(id); });
        m_actions.insert(id, action);
    }
    SetMenuPopups(m_menus);

    // Accelerator table 128.
    const QKeySequence print(Qt::CTRL | Qt::Key_P);
    m_accelerators.insert(print, ID_FILE_PRINT);
    auto *shortcut = new QShortcut(print, this);
    connect(shortcut, &QShortcut::activated, this, [this] { Command(ID_FILE_PRINT); });
}

// --- Checks, progress and the load sequence -----------------------------------------------------

bool CMainFrame::LoadedCheck()
{
    if (m_doc->CurrentIndex() < 0) {
        CurrentPrompt().Info(this, Text(kMsgNotLoaded));
        return false;
    }
    return true;
}

bool CMainFrame::ContentCheck()
{
    const QString message = SnapshotPrecheck(*m_doc, *m_playView->Session());
    if (message.isEmpty())
        return true;
    CurrentPrompt().Info(this, message);
    return false;
}

void CMainFrame::ShowProgress()
{
    m_progress->ShowProgress();
}

void CMainFrame::SetProgress(int percent)
{
    // The folder load reports the same percentage for many clips in a row; repainting the bar
    // for each of them costs more than the load itself on a large card.
    // The folder load reports progress for every clip. The bar is repainted when the value
    // changes, but not more often than the screen can show it: on a large card those repaints
    // would otherwise cost a good part of the load itself.
    const bool due = !m_progressPaint.isValid() || m_progressPaint.elapsed() >= kProgressPaintIntervalMs;
    if (percent != m_shownProgress && (due || percent == 0 || percent == 100 || !m_progress->isVisible())) {
        m_progress->SetProgress(percent);
        m_shownProgress = percent;
        m_progressPaint.start();
    }
    emit ProgressChanged(percent);
}

void CMainFrame::HideProgress()
{
    m_progress->hide();
}

void CMainFrame::RunLoadSequence()
{
    SetProgress(0);
    ShowProgress();
    SetProgress(5);
    m_doc->LoadFolder([this](int percent) { SetProgress(percent); });
    SetProgress(72);
    m_playView->CloseRecording(false);
    SetProgress(78);
    m_list->Clear();
    SetProgress(84);
    // The trips of the folder before, and the route of the one chosen, are gone with it.
    m_mapView->SetTripRoute({});
    m_mapView->LoadRoutes(); // no recording is current now: the route and its tables go
    // The page itself would go on showing the routes and markers of the folder before.
    if (m_mapView->Page() == CMapView::PageKind::Map)
        m_mapView->StartMapLoad();
    SetProgress(90);
    m_graphView->ResetGraph();
    SetProgress(98);
    m_doc->NotifyCatalogueReset();
    SetProgress(100);
    HideProgress();
    UpdateCommandUi();
}

void CMainFrame::OnSetFolder()
{
    const QStringList recent = RecentFolders();
    const tagFOLDERCHOICE choice = CurrentPrompt().ChooseFolder(
        this, Text(kTitleLoadingFolder), recent.isEmpty() ? QString() : recent.first());
    if (!choice.bChosen) {
        CurrentPrompt().Info(this, Text(kMsgFailOpenFolder));
        return;
    }
    SetFolderAndLoad(choice.path);
}

void CMainFrame::OnAddGpsTrack()
{
    const tagFOLDERCHOICE choice = CurrentPrompt().ChooseOpenFile(this, QStringLiteral("Specify the GPS track."),
                                                                  QStringLiteral("GPS track (*.gpx)"), m_doc->Folder());
    if (!choice.bChosen || choice.path.isEmpty())
        return;
    QString why;
    if (!m_doc->SetTrackFile(choice.path, &why)) {
        CurrentPrompt().Info(this, QStringLiteral("The GPS track could not be read: %1.").arg(why));
        return;
    }
    if (m_doc->Folder().isEmpty()) {
        CurrentPrompt().Info(this, QStringLiteral("The GPS track will be paired with the recordings of the folder you load."));
        return;
    }
    RunLoadSequence();
    int paired = 0;
    for (int i = 0; i < m_doc->Count(); ++i)
        paired += m_doc->RecordRef(i).nSource == TS_GPX && m_doc->DataPathAt(i).isEmpty() ? 1 : 0;
    CurrentPrompt().Info(this, paired == 0 ? QStringLiteral("The GPS track covers the time of none of the recordings without GPS data.")
                                           : QStringLiteral("The GPS track gave GPS data to %1 recording(s).").arg(paired));
}

void CMainFrame::SetFolderAndLoad(const QString &folder)
{
    // A folder that has no path, or is not a folder at all, loads nothing.
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        CurrentPrompt().Info(this, Text(kMsgWrongFolder));
        return;
    }
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    m_doc->SetFolder(path);
    AddRecentFolder(path);
    RunLoadSequence();
}

// --- Playback commands --------------------------------------------------------------------------

void CMainFrame::OnPlay(bool reverse)
{
    const double rate = m_playView->GetRate();
    if (reverse ? rate > 0.0 : rate < 0.0)
        m_playView->SetRate(-rate);
    m_playView->Play();
}

void CMainFrame::OnFrameStep(int delta)
{
    const qint64 position = m_doc->CurrentPosition();
    if (delta > 0 ? position >= m_doc->LastPosition() : position <= 0)
        return;
    m_doc->SetCurrentPosition(position + delta);
    m_doc->UpdateAllViews(m_list);
}

void CMainFrame::OnSingleView()
{
    if (!LoadedCheck())
        return;
    m_playView->SetLayout(0, 1, true);
}

void CMainFrame::OnGrid(int count)
{
    if (!LoadedCheck())
        return;
    m_playView->SetLayout(1, count, true);
}

void CMainFrame::OnSaveImage()
{
    if (!ContentCheck())
        return;
    QString folder;
    if (!CurrentPrompt().ChooseTargetFolder(this, QString::fromLatin1(kSnapshotFolderTitle), &folder))
        return;
    CurrentPrompt().Info(this, SaveSnapshots(*m_doc, *m_playView->Session(), folder));
}

void CMainFrame::OpenImageViewer(int pane)
{
    if (!LoadedCheck())
        return;
    CPlaybackSession *session = m_playView->Session();
    session->Pause();
    tagCAPTURE capture;
    const QString message = CaptureForViewer(*session, pane, &capture);
    if (!message.isEmpty()) {
        CurrentPrompt().Info(this, message);
        return;
    }
    CImageViewer viewer;
    viewer.SetBaseName(SnapshotBaseName(m_doc->CurrentMediaPath()));
    viewer.SetBitmap(capture.image);
    viewer.SetFrame(capture.frame);
    viewer.exec();
}

void CMainFrame::ShowLayoutProgress(int position)
{
    if (!m_progress->isVisible())
        ShowProgress();
    SetProgress(position);
}

void CMainFrame::HideLayoutProgress()
{
    HideProgress();
}

void CMainFrame::OpenRecordingFromList(int index)
{
    m_navigator->Open(index);
}

void CMainFrame::SetMapPageDue(int due)
{
    m_mapView->SetMapPageDue(due);
}

void CMainFrame::ConnectRecordingNavigation()
{
    m_navigator = std::make_unique<CRecordingNavigator>(m_doc, m_playView->Session());
    CRecordingNavigator *nav = m_navigator.get();
    m_list->SetPlaybackSession(m_playView->Session());
    m_list->SetRecordingActions(this, nav);

    connect(m_list, &CContentListView::OpenRequested, nav, &CRecordingNavigator::Open);
    connect(m_list, &CContentListView::PlayRequested, this, &CMainFrame::OnListPlay);
    connect(m_list, &CContentListView::GraphKey, this, [this](int key) { m_keys->Run(key); });

    connect(nav, &CRecordingNavigator::ProgressShown, this, &CMainFrame::ShowProgress);
    connect(nav, &CRecordingNavigator::ProgressMoved, this, &CMainFrame::SetProgress);
    connect(nav, &CRecordingNavigator::ProgressHidden, this, &CMainFrame::HideProgress);
    connect(nav, &CRecordingNavigator::Unplayable, this,
            [this] { CurrentPrompt().Info(m_list, Text(kMsgUnableToPlay)); });
    connect(nav, &CRecordingNavigator::CurrentRowMoved, m_list, &CContentListView::CurrentRowMoved);
    connect(nav, &CRecordingNavigator::Opened, this, &CMainFrame::OnRecordingOpened);
    connect(nav, &CRecordingNavigator::NoneOpened, this, &CMainFrame::OnNoRecordingOpened);
}

void CMainFrame::OnRecordingOpened(int row)
{
    // An opened recording brings the map page back, even when the page decision before it (at
    // start-up, or after "Google Map") was superseded before it could make the page due.
    m_mapView->SetMapPageDue(1);
    m_mapView->StartMapLoad();
    SetProgress(65);
    m_graphView->RebuildGraph();
    SetProgress(90);
    m_list->ShowOpened(row);
}

void CMainFrame::OnNoRecordingOpened()
{
    m_list->ShowNoneOpened();
    m_playView->update();
    // Nothing is current: the graph and the map's route must not go on showing the recording
    // that could not be opened again.
    m_graphView->ResetGraph();
    m_mapView->LoadRoutes();
}

void CMainFrame::OnListPlay(int row)
{
    if (row != m_doc->CurrentIndex())
        m_navigator->Open(row);
    OnPlay(false);
}

void CMainFrame::ApplyVolumeSetting()
{
    m_controlBar->ApplyVolume();
}

void CMainFrame::EnableSingleViewButtons(int multi)
{
    m_controlBar->EnableSingleViewButtons(multi);
}

void CMainFrame::ForwardKeyToGraph(QKeyEvent *event)
{
    if (m_keys)
        m_keys->Run(event->key(), (event->modifiers() & Qt::KeypadModifier) != 0);
}

void CMainFrame::ForwardKeyToControlBar(QKeyEvent *event)
{
    m_controlBar->HandleKey(event->key());
}

// --- Map and help -------------------------------------------------------------------------------

QString CMainFrame::ServerAddress() const
{
    QString server = QSettings().value(QString::fromLatin1(kSettingServer)).toString().trimmed();
    if (!server.isEmpty() && !server.endsWith(QLatin1Char('/')))
        server += QLatin1Char('/');
    return server;
}

QString CMainFrame::MapServerBase()
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

void CMainFrame::OnGoogleMap()
{
    // The setting is read again, so a server configured meanwhile is the one asked.
    const QString base = MapServerBase();
    m_doc->SetMapPage(base.isEmpty() ? QString::fromLatin1(kMapPagePath) : MapPageUrl(base));
    m_mapView->SetServerBase(base);
    m_mapView->SetMapPageDue(0);
    m_mapView->StartMapLoad();
}

void CMainFrame::OnConvertForGoogleEarth()
{
    if (!LoadedCheck())
        return;
    const tagDATAFILEINFO record = m_doc->CurrentRecord();
    if (record.bValid != 1 || record.vecGps.isEmpty()) {
        CurrentPrompt().Info(this, Text(kMsgNoGps));
        return;
    }
    QString folder;
    if (!CurrentPrompt().ChooseTargetFolder(this, Text(kTitleSaveFolder), &folder))
        return;
    QString name = FileNameOfPath(m_doc->CurrentMediaPath());
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    const QString target = QDir::cleanPath(folder) + QLatin1Char('/') + name + QStringLiteral(".gpx");
    if (m_doc->ExportGpx(target) == 1)
        CurrentPrompt().Info(this, Text(kMsgConvertSuccess));
    else
        CurrentPrompt().Info(this, Text(kMsgConvertError));
}

QString CMainFrame::AboutText()
{
    return QStringLiteral("Pellister S/W Version : ") +
           NormalisedVersion(QString::fromLatin1(PELLISTER_VERSION_STRING));
}

void CMainFrame::OnAbout()
{
    CAboutDlg dialog(AboutText(), this);
    dialog.exec();
}

void CMainFrame::OnConfigBlackbox()
{
    // Without a parent, as a window of its own; what it saved is on the card, so its result
    // does not matter here.
    const CSystemRemovableVolumes volumes;
    CBlackBoxConfigurator dialog(volumes);
    dialog.exec();
}

QString CMainFrame::ProgramFolder() const
{
    if (!m_programFolder.isEmpty())
        return m_programFolder;
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

void CMainFrame::SetProgramFolder(const QString &folder)
{
    m_programFolder = folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

void CMainFrame::OnUpdate()
{
    tagUPDATESETUP setup;
    setup.programFolder = ProgramFolder();
    setup.server = QUrl(MapServerBase());
    setup.stallMs = QSettings().value(QString::fromLatin1(kSettingUpdateStallMs), kDefaultStallMs).toInt();
    setup.deadlineMs = QSettings().value(QString::fromLatin1(kSettingUpdateDeadlineMs), 0).toInt();
    setup.reportWhenCurrent = true;
    setup.releaseKey = m_releaseKey;
    CUpdateDialog dialog(setup);
    if (dialog.exec() != QDialog::Accepted)
        return;
    CurrentPrompt().ShowMessage(this, Text(kMsgRestarting), PromptButtons::Ok, true);
    if (!StartProcess(setup.programFolder + Text(kUpdaterFileName))) {
        CurrentPrompt().Info(nullptr, Text(kMsgProcessFailed));
        CurrentPrompt().ShowMessage(this, Text(kMsgUpdateError), PromptButtons::Ok, true);
        return;
    }
    // The updater takes over at its start-up and replaces this program file.
    close();
}

void CMainFrame::OnPrint(int id)
{
    if (!ContentCheck())
        return;
    m_playView->Pause();
    if (id == ID_FILE_PRINT_PREVIEW)
        m_printView->OnFilePrintPreview(m_printer.get());
    else if (id == ID_FILE_PRINT_DIRECT)
        m_printView->OnFilePrintDirect(m_printer.get());
    else
        m_printView->OnFilePrint(m_printer.get());
    // The panes take the size the frame has now.
    LayOutPanes(m_outer->size());
}

void CMainFrame::SetTelemetryOverlay(bool on)
{
    m_telemetryOverlay = on;
    if (!on) {
        m_playView->SetOverlay({});
        return;
    }
    // The band of the exported video, for the picture on screen: the same lookup and drawing.
    m_playView->SetOverlay([this](QPainter &painter, const QRect &picture, int64_t frame) {
        const int index = m_doc->CurrentIndex();
        if (index < 0 || m_telemetry->Recording() != index || frame < 0)
            return;
        const tagDATAFILEINFO &rec = m_doc->RecordRef(index);
        const tagFRAMETELEMETRY t = FrameTelemetry(rec, m_telemetry->FrameToSample(), m_telemetry->FrameToFix(),
                                                   frame, frame * m_doc->FrameTime());
        const tagEXPORTOPTIONS remembered = RememberedExportOptions();
        const tagOVERLAYTEXTS texts = OverlayTexts(rec, t, FileNameOfPath(m_doc->CurrentMediaPath()), frame,
                                                   m_doc->LastPosition(), remembered.unit);
        // The exported video's band, laid over the picture's bottom rather than under it: the
        // pane keeps its shape.
        const int h = qMin(picture.height(), OverlayBandHeight(picture.size()));
        DrawTelemetryOverlay(painter, QRect(picture.left(), picture.bottom() + 1 - h, picture.width(), h), texts,
                             remembered.nOverlay);
    });
}

void CMainFrame::SetSpeedCurve(bool on)
{
    m_speedCurve = on;
    QSettings().setValue(QString::fromLatin1(kSettingSpeedCurve), on);
    ApplySpeedCurve();
}

void CMainFrame::ApplySpeedCurve()
{
    // One setting of units for the exported band, the band on screen, the speed curve and the
    // trip timeline's.
    const SpeedUnit unit = RememberedExportOptions().unit;
    m_graphView->SetSpeedCurve(m_speedCurve, unit);
    if (m_tripWindow)
        m_tripWindow->SetSpeedUnit(unit);
}

void CMainFrame::OnTripTimeline()
{
    if (!m_tripWindow) {
        m_tripWindow = new CTripWindow(m_doc, this);
        m_tripWindow->setObjectName(QStringLiteral("TripWindow"));
        m_tripWindow->SetSpeedUnit(RememberedExportOptions().unit);
        // A moment of the timeline opens through the same navigation as the list, in the main
        // window; the chosen trip's route goes onto the map while the window is open.
        connect(m_tripWindow, &CTripWindow::OpenRequested, this, [this](int index, qint64 offsetMs) {
            m_navigator->OpenAt(index, offsetMs);
            UpdateCommandUi();
        });
        connect(m_tripWindow, &CTripWindow::TripChosen, this, [this] {
            const tagTRIP *trip = m_tripWindow->Chosen();
            m_mapView->SetTripRoute(trip ? TripRoute(*m_doc, *trip, kTripRouteMaxPoints) : QVector<tagGPSINFO>());
        });
        connect(m_tripWindow, &CTripWindow::Closed, this, [this] { m_mapView->SetTripRoute({}); });
    }
    m_tripWindow->show();
    m_tripWindow->raise();
    m_tripWindow->activateWindow();
}

bool CMainFrame::WriteEvidenceReport(const QString &pdfPath, const tagEVIDENCEFACTS &facts, int recording,
                                     int64_t frame, QString *why)
{
    // The report of the range's first moment, as "Print" would make it of the single view.
    if (m_playView->IsMulti())
        OnSingleView();
    if (m_doc->CurrentIndex() != recording && !m_navigator->Open(recording)) {
        *why = QStringLiteral("the first recording of the range does not open");
        return false;
    }
    m_playView->Pause();
    {
        QObject user; // the position comes from elsewhere, as a frame step would
        m_doc->SetCurrentPosition(frame);
        m_doc->UpdateAllViews(&user);
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);
    printer.setPageSize(m_printer->pageLayout().pageSize());
    printer.setPageOrientation(m_printer->pageLayout().orientation());
    printer.setDocName(QStringLiteral("Pellister Evidence"));
    m_printView->SetExtraPages([facts](const QSize &page) { return EvidencePageCount(page, facts); },
                               [facts](QPainter &p, const QSize &page, int i) { DrawEvidencePage(p, page, facts, i); });
    const bool printed = m_printView->OnFilePrintDirect(&printer);
    m_printView->SetExtraPages({}, {});
    LayOutPanes(m_outer->size());
    if (!printed)
        *why = QStringLiteral("the report could not be printed");
    return printed;
}

void CMainFrame::OnPrintSetup()
{
    QPageSetupDialog dialog(m_printer.get(), this);
    dialog.exec();
}

// --- Settings -----------------------------------------------------------------------------------

QStringList CMainFrame::RecentFolders() const
{
    return m_recentFolders;
}

void CMainFrame::AddRecentFolder(const QString &folder)
{
    m_recentFolders.removeAll(folder);
    m_recentFolders.prepend(folder);
    while (m_recentFolders.size() > kRecentFolderCount)
        m_recentFolders.removeLast();
    // Writing the settings file waits for the disk; that happens after the list is on screen.
    QTimer::singleShot(0, this, [this] { SaveSettings(); });
}

void CMainFrame::LoadSettings()
{
    m_recentFolders = QSettings().value(QString::fromLatin1(kSettingRecentFolders)).toStringList();
    m_speedCurve = QSettings().value(QString::fromLatin1(kSettingSpeedCurve), false).toBool();
    while (m_recentFolders.size() > kRecentFolderCount)
        m_recentFolders.removeLast();
}

void CMainFrame::SaveSettings()
{
    QSettings().setValue(QString::fromLatin1(kSettingRecentFolders), m_recentFolders);
}
