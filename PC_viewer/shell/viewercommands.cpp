// The main window's commands.
#include "shell/viewercommands.h"

#include "catalogue/cameraclock.h"
#include "base/frametime.h"
#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"
#include "catalogue/momentnotes.h"
#include "catalogue/recordinfo.h"
#include "device_config/blackboxconfigurator.h"
#include "export/evidencepackage.h"
#include "export/exportactions.h"
#include "export/playoverlay.h"
#include "export/trackfiles.h"
#include "trips/trips.h"
#include "playback/mediaplayview.h"
#include "playback/playbackcontroller.h"
#include "playback/playcontrolview.h"
#include "playback/snapshot.h"
#include "platform/processes.h"
#include "platform/removablevolumes.h"
#include "shell/aboutdlg.h"
#include "shell/clockcorrectiondlg.h"
#include "shell/compositionroot.h"
#include "shell/imageviewer.h"
#include "shell/mainframe.h"
#include "shell/momentnotedlg.h"
#include "skin/commandids.h"
#include "skin/prompt.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/mapscripts.h"
#include "telemetry/mapview.h"
#include "telemetry/printview.h"
#include "telemetry/telemetryconst.h"
#include "trips/tripwindow.h"
#include "update/updateconst.h"
#include "update/updatedialog.h"

#include <QDir>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QSettings>

#include <algorithm>

namespace {

const char kMsgNotLoaded[] = "The loading content does not exist.";
const char kTitleLoadingFolder[] = "Specify the loading folder.";
const char kTitleSaveFolder[] = "Specify the folder to save the data.";
const char kMsgFailOpenFolder[] = "Fail to open the folder.";
const char kMsgNoGps[] = "GPS data does not exist.";
const char kMsgConvertSuccess[] = "Success to convert the data.";
const char kMsgConvertError[] = "An error occured in converting.";
const char kSettingSpeedCurve[] = "graph/speedCurve";
const char kSettingChannelLayout[] = "video/channelLayout";
const char kSettingPipCorner[] = "video/pipCorner";
const char kSettingMirrorRear[] = "video/mirrorRear";
// A trip's route on the map: enough points to follow its roads, few enough for one page call.
constexpr int kTripRouteMaxPoints = 2000;

QString Text(const char *s)
{
    return QString::fromLatin1(s);
}

} // namespace

CViewerCommands::CViewerCommands(CCompositionRoot *root)
    : m_root(root), m_frame(root->Frame()), m_playback(root->Playback())
{
    m_speedCurve = QSettings().value(QString::fromLatin1(kSettingSpeedCurve), false).toBool();
    BuildCommandTable();
}

void CViewerCommands::BuildCommandTable()
{
    CMainFrame *f = m_frame;
    CPlaybackController *p = m_playback;
    const auto single = [p] { return p->IsMulti() == 0; };

    f->AddCommand(ID_FILE_SET_FOLDER, [this] { OnSetFolder(); });
    f->AddCommand(ID_FILE_ADD_GPS_TRACK, [this] { OnAddGpsTrack(); });
    f->AddCommand(ID_FILE_EXPORT_SRT, [this] { OnExportSrt(); });
    f->AddCommand(ID_FILE_EXPORT_KML, [this] { OnExportKml(); });
    f->AddCommand(ID_FILE_CAMERA_CLOCK, [this] { OnCameraClock(); });
    f->AddCommand(ID_FILE_CONFIG_BLACKBOX, [this] { OnConfigBlackbox(); });
    f->AddCommand(ID_FILE_PRINT, [this] { OnPrint(ID_FILE_PRINT); });
    f->AddCommand(ID_FILE_PRINT_DIRECT, [this] { OnPrint(ID_FILE_PRINT_DIRECT); });
    f->AddCommand(ID_FILE_PRINT_PREVIEW, [this] { OnPrint(ID_FILE_PRINT_PREVIEW); });
    f->AddCommand(ID_FILE_PRINT_SETUP, [this] { OnPrintSetup(); });
    f->AddCommand(ID_APP_EXIT, [f] { f->close(); });

    f->AddCommand(ID_MEDIA_PLAY, [p] { p->PlayForward(); }, single);
    f->AddCommand(ID_MEDIA_REVERSE_PLAY, [p] { p->PlayReverse(); }, single);
    f->AddCommand(ID_MEDIA_PAUSE, [p] { p->Pause(); });
    f->AddCommand(ID_MEDIA_STOP, [p] { p->Stop(); });
    for (int i = 0; i < CPlayControlView::kSpeedCount; ++i)
        f->AddCommand(ID_SPEED_1X + i, [f, i] { f->ControlBar()->SetSpeedIndex(i); });
    // The window's own frame steps: every pane follows, the video included.
    f->AddCommand(ID_MEDIA_FRAME_FORWARD, [p, f] { p->StepFrames(+1, f); });
    f->AddCommand(ID_MEDIA_FRAME_BACKWARD, [p, f] { p->StepFrames(-1, f); });
    f->AddCommand(ID_MEDIA_TO_BEGINNING, [p] { p->SeekToBeginning(); });
    f->AddCommand(ID_MEDIA_TO_END, [p] { p->SeekToEnd(); });
    f->AddCommand(
        ID_MEDIA_CONTINUOUS_PLAY, [p] { p->SetContinuousPlay(p->ContinuousPlay() == 0); }, {},
        [p] { return p->ContinuousPlay() == 1; });

    f->AddCommand(ID_VIEW_SINGLE, [this] { OnLayout(0, 1); });
    for (const auto &grid : {std::pair{ID_VIEW_X4, 4}, {ID_VIEW_X9, 9}, {ID_VIEW_X16, 16}, {ID_VIEW_X25, 25}})
        f->AddCommand(grid.first, [this, count = grid.second] { OnLayout(1, count); });
    // The cameras' layout and corner, kept for the next start.
    const auto applyChannels = [p](ChannelLayout layout, PipCorner corner) {
        p->SetChannelLayout(layout, corner);
        QSettings().setValue(QString::fromLatin1(kSettingChannelLayout), static_cast<int>(layout));
        QSettings().setValue(QString::fromLatin1(kSettingPipCorner), static_cast<int>(corner));
    };
    for (int i = 0; i < 3; ++i) {
        const auto layout = static_cast<ChannelLayout>(i);
        f->AddCommand(
            ID_VIEW_CHANNELS_PIP + i, [p, applyChannels, layout] { applyChannels(layout, p->GetPipCorner()); }, {},
            [p, layout] { return p->GetChannelLayout() == layout; });
    }
    for (int i = 0; i < 4; ++i) {
        const auto corner = static_cast<PipCorner>(i);
        f->AddCommand(
            ID_VIEW_PIP_TOP_LEFT + i, [applyChannels, corner] { applyChannels(ChannelLayout::PictureInPicture, corner); },
            {}, [p, corner] { return p->GetPipCorner() == corner; });
    }
    {
        const QSettings settings;
        const int layout = settings.value(QString::fromLatin1(kSettingChannelLayout), 0).toInt();
        const int corner = settings.value(QString::fromLatin1(kSettingPipCorner), 3).toInt();
        p->SetChannelLayout(static_cast<ChannelLayout>(qBound(0, layout, 2)), static_cast<PipCorner>(qBound(0, corner, 3)));
    }
    // Off unless chosen: the rear camera's picture as recorded.
    f->AddCommand(
        ID_VIEW_MIRROR_REAR,
        [p] {
            p->SetMirrorRear(!p->MirrorRear());
            QSettings().setValue(QString::fromLatin1(kSettingMirrorRear), p->MirrorRear());
        },
        {}, [p] { return p->MirrorRear(); });
    p->SetMirrorRear(QSettings().value(QString::fromLatin1(kSettingMirrorRear), false).toBool());
    f->AddCommand(ID_VIEW_SAVE_IMAGE, [this] { OnSaveImage(); });
    CMediaPlayView *play = f->PlayView();
    const auto loaded = [p] { return p->CurrentIndex() >= 0; };
    f->AddCommand(ID_VIEW_ZOOM_IN, [play] { play->ZoomBy(kPictureZoomStep); }, loaded);
    f->AddCommand(ID_VIEW_ZOOM_OUT, [play] { play->ZoomBy(1.0 / kPictureZoomStep); }, loaded);
    f->AddCommand(ID_VIEW_ZOOM_WHOLE, [play] { play->ZoomWhole(); }, loaded);
    f->AddCommand(ID_VIEW_ZOOM_NATIVE, [play] { play->ZoomNative(); }, loaded);
    f->AddCommand(ID_VIEW_PICTURE_ADJUST, [play] { play->ShowAdjustPanel(); });
    f->AddCommand(
        ID_VIEW_TELEMETRY_OVERLAY, [this] { SetTelemetryOverlay(!m_telemetryOverlay); }, {},
        [this] { return m_telemetryOverlay; });
    f->AddCommand(
        ID_VIEW_SPEED_CURVE, [this] { SetSpeedCurve(!m_speedCurve); }, {}, [this] { return m_speedCurve; });
    f->AddCommand(ID_VIEW_TRIP_TIMELINE, [this] { OnTripTimeline(); });
    f->AddCommand(ID_VIEW_MOMENT_NOTE, [this] { OnMomentNote(); });

    f->AddCommand(ID_MEDIA_MARK_EXPORT_START, [this, p] {
        if (LoadedCheck())
            p->ExportMarks().MarkStart(p->CurrentIndex(), p->Position(), p->FrameCount());
    });
    f->AddCommand(ID_MEDIA_MARK_EXPORT_END, [this, p] {
        if (LoadedCheck())
            p->ExportMarks().MarkEnd(p->CurrentIndex(), p->Position(), p->FrameCount());
    });
    f->AddCommand(ID_MEDIA_EXPORT_VIDEO, [this] { OnExportVideo(); });
    f->AddCommand(ID_MEDIA_SAVE_EVIDENCE, [this] { OnSaveEvidence(); });

    f->AddCommand(ID_MAP_GOOGLE_MAP, [this] { OnGoogleMap(); });
    CMapView *map = f->MapView();
    f->AddCommand(
        ID_MAP_POSITION_ON, [map] { map->SetPositionOn(1); }, [map] { return map->PositionOn() == 0; });
    f->AddCommand(
        ID_MAP_POSITION_OFF, [map] { map->SetPositionOn(0); }, [map] { return map->PositionOn() == 1; });
    f->AddCommand(ID_MAP_CONVERT_EARTH, [this] { OnConvertForGoogleEarth(); });

    f->AddCommand(ID_APP_ABOUT, [this] { OnAbout(); });
    f->AddCommand(ID_APP_UPDATE, [this] { OnUpdate(); });
}

// --- Checks -------------------------------------------------------------------------------------

bool CViewerCommands::LoadedCheck()
{
    if (m_playback->CurrentIndex() < 0) {
        CurrentPrompt().Info(m_frame, Text(kMsgNotLoaded));
        return false;
    }
    return true;
}

bool CViewerCommands::ContentCheck()
{
    const QString message = SnapshotPrecheck(*m_playback);
    if (message.isEmpty())
        return true;
    CurrentPrompt().Info(m_frame, message);
    return false;
}

// --- File ---------------------------------------------------------------------------------------

void CViewerCommands::OnSetFolder()
{
    const QStringList recent = m_root->RecentFolders();
    const tagFOLDERCHOICE choice = CurrentPrompt().ChooseFolder(m_frame, Text(kTitleLoadingFolder),
                                                                recent.isEmpty() ? QString() : recent.first());
    if (!choice.bChosen) {
        CurrentPrompt().Info(m_frame, Text(kMsgFailOpenFolder));
        return;
    }
    m_root->SetFolderAndLoad(choice.path);
}

void CViewerCommands::OnAddGpsTrack()
{
    CCorvanaDoc *doc = m_root->Document();
    const tagFOLDERCHOICE choice = CurrentPrompt().ChooseOpenFile(m_frame, QStringLiteral("Specify the GPS track."),
                                                                  QStringLiteral("GPS track (*.gpx)"), doc->Folder());
    if (!choice.bChosen || choice.path.isEmpty())
        return;
    QString why;
    if (!doc->SetTrackFile(choice.path, &why)) {
        CurrentPrompt().Info(m_frame, QStringLiteral("The GPS track could not be read: %1.").arg(why));
        return;
    }
    if (doc->Folder().isEmpty()) {
        CurrentPrompt().Info(m_frame, QStringLiteral("The GPS track will be paired with the recordings of the folder you load."));
        return;
    }
    m_root->RunLoadSequence();
    int paired = 0;
    for (int i = 0; i < doc->Count(); ++i)
        paired += doc->RecordRef(i).nSource == TS_GPX && doc->DataPathAt(i).isEmpty() ? 1 : 0;
    CurrentPrompt().Info(m_frame, paired == 0 ? QStringLiteral("The GPS track covers the time of none of the recordings without GPS data.")
                                              : QStringLiteral("The GPS track gave GPS data to %1 recording(s).").arg(paired));
}

void CViewerCommands::OnConfigBlackbox()
{
    // Without a parent, as a window of its own; what it saved is on the card, so its result
    // does not matter here.
    const CSystemRemovableVolumes volumes;
    CBlackBoxConfigurator dialog(volumes);
    dialog.exec();
}

// --- Display ------------------------------------------------------------------------------------

void CViewerCommands::OnLayout(int multi, int count)
{
    if (!LoadedCheck())
        return;
    m_playback->SetLayout(multi, count, true);
}

void CViewerCommands::OnSaveImage()
{
    if (!ContentCheck())
        return;
    QString folder;
    if (!CurrentPrompt().ChooseTargetFolder(m_frame, QString::fromLatin1(kSnapshotFolderTitle), &folder))
        return;
    CurrentPrompt().Info(m_frame, SaveSnapshots(*m_playback, folder));
}

void CViewerCommands::OpenImageViewer(int pane)
{
    if (!LoadedCheck())
        return;
    m_playback->Pause();
    tagCAPTURE capture;
    const QString message = CaptureForViewer(*m_playback->MainSession(), pane, &capture);
    if (!message.isEmpty()) {
        CurrentPrompt().Info(m_frame, message);
        return;
    }
    CImageViewer viewer;
    viewer.SetBaseName(SnapshotBaseName(m_playback->MediaPath()));
    viewer.SetBitmap(capture.image);
    viewer.SetFrame(capture.frame);
    viewer.exec();
}

void CViewerCommands::SetTelemetryOverlay(bool on)
{
    m_telemetryOverlay = on;
    if (!on) {
        m_frame->PlayView()->SetOverlay({});
        return;
    }
    const CPlayOverlay *overlay = m_root->PlayOverlay();
    m_frame->PlayView()->SetOverlay(
        [overlay](QPainter &painter, const QRect &picture, int64_t frame) { overlay->Draw(painter, picture, frame); });
}

void CViewerCommands::SetSpeedCurve(bool on)
{
    m_speedCurve = on;
    QSettings().setValue(QString::fromLatin1(kSettingSpeedCurve), on);
    ApplySpeedCurve();
}

void CViewerCommands::ApplySpeedCurve()
{
    // One setting of units for the exported band, the band on screen, the speed curve and the
    // trip timeline's.
    const SpeedUnit unit = RememberedExportOptions().unit;
    m_frame->GraphView()->SetSpeedCurve(m_speedCurve, unit);
    if (CTripWindow *trips = m_root->TripWindow())
        trips->SetSpeedUnit(unit);
}

void CViewerCommands::OnTripTimeline()
{
    CTripWindow *trips = m_root->TripWindow();
    trips->SetSpeedUnit(RememberedExportOptions().unit);
    trips->show();
    trips->raise();
    trips->activateWindow();
}

void CViewerCommands::OnMomentNote()
{
    if (!LoadedCheck())
        return;
    // The moment stays the one the driver means while the note is written.
    m_playback->Pause();
    CCorvanaDoc *doc = m_root->Document();
    const CMomentNotes &notes = doc->Notes();
    if (!notes.Problem().isEmpty())
        CurrentPrompt().Info(m_frame, notes.Problem());
    const int index = m_playback->CurrentIndex();
    const tagDATAFILEINFO &record = doc->RecordRef(index);
    const int64_t frameTime = m_playback->FrameTime();
    tagMOMENTNOTE note;
    note.strClip = doc->NoteClipAt(index);
    // At the end the last picture is on show.
    note.llFrame = std::clamp<int64_t>(m_playback->Position(), 0, std::max<int64_t>(0, m_playback->FrameCount() - 1));
    note.llOffsetMs = FrameStartMs(0, frameTime, note.llFrame);
    note.strTime = MomentTimeText(record, note.llFrame, frameTime);
    const tagMOMENTNOTE *existing = notes.Find(note.strClip, note.llFrame);
    const QString before = existing ? existing->strText : QString();
    const QString when = FrameTimeText(record, note.llFrame, frameTime);
    const QString moment = QStringLiteral("Frame %1 of %2%3")
                               .arg(note.llFrame)
                               .arg(note.strClip, when.isEmpty() ? QString() : QStringLiteral(", ") + when);

    const NoteDialog ask = m_noteDialog ? m_noteDialog : [this](const QString &about, const QString &text, QString *out) {
        CMomentNoteDialog dialog(about, text, m_frame);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        *out = dialog.Text();
        return true;
    };
    QString chosen = before;
    if (!ask(moment, before, &chosen) || MomentNoteText(chosen) == before)
        return;
    note.strText = chosen;
    const bool wasInSettings = notes.Where() == CMomentNotes::Place::Settings;
    QString why;
    if (!doc->SetNote(note, &why)) {
        CurrentPrompt().Info(m_frame, why);
        return;
    }
    // Told once, when the card first turns out not to take the file (a damaged file was told above).
    if (!wasInSettings && notes.Where() == CMomentNotes::Place::Settings && notes.Problem().isEmpty())
        CurrentPrompt().Info(m_frame, notes.FileWriteError());
}

void CViewerCommands::ShowChosenTripRoute()
{
    const tagTRIP *trip = m_root->TripWindow()->Chosen();
    m_frame->MapView()->SetTripRoute(trip ? TripRoute(*m_root->Document(), *trip, kTripRouteMaxPoints)
                                          : QVector<tagGPSINFO>());
}

// --- Export -------------------------------------------------------------------------------------

void CViewerCommands::OnExportVideo()
{
    m_playback->Pause();
    m_root->ExportActions()->ExportVideo();
    ApplySpeedCurve(); // the dialog may have changed the units
}

void CViewerCommands::OnSaveEvidence()
{
    m_playback->Pause();
    m_root->ExportActions()->SaveEvidence();
}

bool CViewerCommands::PrintEvidenceReport(const QString &pdfPath, const tagEVIDENCEFACTS &facts)
{
    const QPrinter *setup = m_root->Printer();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);
    printer.setPageSize(setup->pageLayout().pageSize());
    printer.setPageOrientation(setup->pageLayout().orientation());
    printer.setDocName(QStringLiteral("Pellister Evidence"));
    CPrintView *print = m_frame->PrintView();
    print->SetExtraPages([facts](const QSize &page) { return EvidencePageCount(page, facts); },
                         [facts](QPainter &p, const QSize &page, int i) { DrawEvidencePage(p, page, facts, i); });
    const bool printed = print->OnFilePrintDirect(&printer);
    print->SetExtraPages({}, {});
    m_frame->LayOutPanes();
    return printed;
}

// --- Map ----------------------------------------------------------------------------------------

void CViewerCommands::OnGoogleMap()
{
    // The setting is read again, so a server configured meanwhile is the one asked.
    const QString base = m_root->MapServerBase();
    CMapView *map = m_frame->MapView();
    map->SetMapPage(base.isEmpty() ? QString::fromLatin1(kGoogleMapPagePath) : MapPageUrl(base));
    map->SetServerBase(base);
    map->SetMapPageDue(0);
    map->StartMapLoad();
}

QString CViewerCommands::GpsFileTarget(const QString &suffix)
{
    if (!LoadedCheck())
        return QString();
    const tagDATAFILEINFO &record = m_root->Document()->RecordRef(m_playback->CurrentIndex());
    if (record.bValid != 1 || record.vecGps.isEmpty()) {
        CurrentPrompt().Info(m_frame, Text(kMsgNoGps));
        return QString();
    }
    QString folder;
    if (!CurrentPrompt().ChooseTargetFolder(m_frame, Text(kTitleSaveFolder), &folder))
        return QString();
    QString name = FileNameOfPath(m_playback->MediaPath());
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return QDir::cleanPath(folder) + QLatin1Char('/') + name + suffix;
}

void CViewerCommands::OnConvertForGoogleEarth()
{
    const QString target = GpsFileTarget(QStringLiteral(".gpx"));
    if (target.isEmpty())
        return;
    const bool written = m_root->Document()->ExportGpx(m_playback->CurrentIndex(), target) == 1;
    CurrentPrompt().Info(m_frame, Text(written ? kMsgConvertSuccess : kMsgConvertError));
}

void CViewerCommands::OnExportSrt()
{
    const QString target = GpsFileTarget(QStringLiteral(".srt"));
    if (target.isEmpty())
        return;
    const tagDATAFILEINFO &record = m_root->Document()->RecordRef(m_playback->CurrentIndex());
    const QByteArray srt =
        FormatSrt(record, ClipDurationSeconds(m_playback->MediaPath()), RememberedExportOptions().unit);
    CurrentPrompt().Info(m_frame, Text(WriteBesideAndRename(target, srt, nullptr) ? kMsgConvertSuccess : kMsgConvertError));
}

void CViewerCommands::OnExportKml()
{
    if (!LoadedCheck())
        return;
    const CCorvanaDoc *doc = m_root->Document();
    const SpeedUnit unit = RememberedExportOptions().unit;
    const QVector<tagKMLPLACE> places = TripPlaces(*doc, unit);
    const QString name = QFileInfo(doc->Folder()).fileName();
    const QByteArray kml = FormatKml(name, places);
    if (!kml.contains("<Placemark>")) {
        CurrentPrompt().Info(m_frame, Text(kMsgNoGps));
        return;
    }
    QString folder;
    if (!CurrentPrompt().ChooseTargetFolder(m_frame, Text(kTitleSaveFolder), &folder))
        return;
    const QString target =
        QDir::cleanPath(folder) + QLatin1Char('/') + (name.isEmpty() ? QStringLiteral("trips") : name) + QStringLiteral(".kml");
    CurrentPrompt().Info(m_frame, Text(WriteBesideAndRename(target, kml, nullptr) ? kMsgConvertSuccess : kMsgConvertError));
}

void CViewerCommands::OnCameraClock()
{
    if (!LoadedCheck())
        return;
    CCorvanaDoc *doc = m_root->Document();
    const tagDATAFILEINFO &record = doc->RecordRef(m_playback->CurrentIndex());
    std::optional<int64_t> error;
    if (record.bCameraClock) {
        int64_t zone = 0, e = 0;
        SplitCameraOffset(record.nCameraOffsetMs - record.nClockCorrectionMs, &zone, &e);
        error = e;
    }
    // What the recording tells as recorded, before the correction now in force.
    tagDATAFILEINFO recorded = record;
    recorded.nCameraOffsetMs -= record.nClockCorrectionMs;
    recorded.nClockCorrectionMs = 0;
    const int64_t now = ClockCorrectionOfCard(doc->Folder());
    int64_t chosen = now;
    const ClockDialog ask = m_clockDialog ? m_clockDialog : [this](const QString &text, std::optional<int64_t> e,
                                                                   int64_t current, int64_t *out) {
        CClockCorrectionDialog dialog(text, e, current, m_frame);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        *out = dialog.CorrectionMs();
        return true;
    };
    if (!ask(CameraClockText(recorded), error, now, &chosen) || chosen == now)
        return;
    KeepClockCorrection(doc->Folder(), chosen);
    // The recording on show stays on show, at its frame, in the new times.
    const QString media = m_playback->MediaPath();
    const qint64 position = m_playback->Position();
    m_root->RunLoadSequence();
    m_playback->Reopen(media, position);
}

// --- Help ---------------------------------------------------------------------------------------

void CViewerCommands::OnAbout()
{
    CAboutDlg dialog(CAboutDlg::AboutText(), m_frame);
    dialog.exec();
}

void CViewerCommands::OnUpdate()
{
    tagUPDATESETUP setup;
    setup.programFolder = m_root->ProgramFolder();
    setup.server = QUrl(m_root->MapServerBase());
    setup.stallMs = QSettings().value(QString::fromLatin1(kSettingUpdateStallMs), kDefaultStallMs).toInt();
    setup.deadlineMs = QSettings().value(QString::fromLatin1(kSettingUpdateDeadlineMs), 0).toInt();
    setup.reportWhenCurrent = true;
    setup.releaseKey = m_root->ReleaseKey();
    CUpdateDialog dialog(setup);
    if (dialog.exec() != QDialog::Accepted)
        return;
    CurrentPrompt().ShowMessage(m_frame, Text(kMsgRestarting), PromptButtons::Ok, true);
    if (!StartProcess(setup.programFolder + Text(kUpdaterFileName))) {
        CurrentPrompt().Info(nullptr, Text(kMsgProcessFailed));
        CurrentPrompt().ShowMessage(m_frame, Text(kMsgUpdateError), PromptButtons::Ok, true);
        return;
    }
    // The updater takes over at its start-up and replaces this program file.
    m_frame->close();
}

// --- Printing -----------------------------------------------------------------------------------

void CViewerCommands::OnPrint(int id)
{
    if (!ContentCheck())
        return;
    m_playback->Pause();
    CPrintView *print = m_frame->PrintView();
    QPrinter *printer = m_root->Printer();
    if (id == ID_FILE_PRINT_PREVIEW)
        print->OnFilePrintPreview(printer);
    else if (id == ID_FILE_PRINT_DIRECT)
        print->OnFilePrintDirect(printer);
    else
        print->OnFilePrint(printer);
    // The panes take the size the frame has now.
    m_frame->LayOutPanes();
}

void CViewerCommands::OnPrintSetup()
{
    QPageSetupDialog dialog(m_root->Printer(), m_frame);
    dialog.exec();
}
