// CViewerCommands: what the main window's commands do. It fills the main frame's command table
// (menus, accelerators, the control bar and the panes' menus all run through it) and runs each
// command on the objects the composition root made: the playback controller for playback, the
// panes for printing and the map page, the actions for export, snapshots, GPX, configuration,
// updates and the Trips window.
#pragma once

#include "export/evidence.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class CCompositionRoot;
class CMainFrame;
class CPlaybackController;

class CViewerCommands
{
public:
    // Fills the root's frame's command table.
    explicit CViewerCommands(CCompositionRoot *root);

    // "The loading content does not exist." when no recording is current.
    bool LoadedCheck();
    // The loaded check, plus (with several panes) at least one marked pane.
    bool ContentCheck();

    // "View original image" on the single view (-1) or a grid pane.
    void OpenImageViewer(int pane);
    // The report of the moment on show, then the Evidence pages of facts, printed to a PDF as
    // "Print" would print the single view.
    bool PrintEvidenceReport(const QString &pdfPath, const tagEVIDENCEFACTS &facts);
    // The Trips window's chosen trip on the map (its whole route), or none.
    void ShowChosenTripRoute();
    // The switch and the export's units to the graph (it redraws only on a change) and the
    // Trips window's timeline.
    void ApplySpeedCurve();

    // "Camera clock...": asks for the card's correction (the dialog; a test answers in its place):
    // clock text, the clock's error when known, the correction now; false when cancelled.
    using ClockDialog = std::function<bool(const QString &, std::optional<int64_t>, int64_t, int64_t *)>;
    void SetClockDialog(ClockDialog dialog) { m_clockDialog = std::move(dialog); }
    // "Note on this moment...": asks for the note (the dialog; a test answers in its place): what
    // the moment is, the note there now, the note chosen; false when cancelled.
    using NoteDialog = std::function<bool(const QString &moment, const QString &text, QString *chosen)>;
    void SetNoteDialog(NoteDialog dialog) { m_noteDialog = std::move(dialog); }

    bool IsTelemetryOverlayOn() const { return m_telemetryOverlay; }
    bool IsSpeedCurveOn() const { return m_speedCurve; }

private:
    void BuildCommandTable();

    void OnSetFolder();
    // "Add GPS track...": a day's GPX track, paired by time with the recordings that have no
    // telemetry of their own; the folder is loaded again with it.
    void OnAddGpsTrack();
    void OnLayout(int multi, int count);
    void OnSaveImage();
    // "Telemetry overlay": the exported video's band over the playing picture.
    void SetTelemetryOverlay(bool on);
    // "Speed curve": the GPS speed over the graph's curves (and in the report), remembered.
    void SetSpeedCurve(bool on);
    // "Trip timeline...": the Trips window, shown and brought to the front.
    void OnTripTimeline();
    // "Note on this moment...": the note of the current recording's frame on show, written,
    // changed or removed (an empty text).
    void OnMomentNote();
    void OnExportVideo();
    void OnSaveEvidence();
    void OnGoogleMap();
    // The file of the current recording's GPS that a command writes: the loaded check, "GPS data
    // does not exist." without fixes, the folder chooser; the clip's name with `suffix` in the
    // chosen folder, "" when there is none to write.
    QString GpsFileTarget(const QString &suffix);
    void OnConvertForGoogleEarth();
    // "Export subtitles (SRT)...": the current recording's GPS, a cue a second, beside its name.
    void OnExportSrt();
    // "Export KML...": the loaded folder's trips as placemarks, named after the folder.
    void OnExportKml();
    // "Camera clock...": the card's clock correction; the folder is loaded again with it.
    void OnCameraClock();
    void OnAbout();
    void OnConfigBlackbox();
    void OnUpdate();
    void OnPrintSetup();
    void OnPrint(int id);

    CCompositionRoot *m_root;
    CMainFrame *m_frame;
    CPlaybackController *m_playback;
    bool m_telemetryOverlay = false;
    bool m_speedCurve = false;
    ClockDialog m_clockDialog;
    NoteDialog m_noteDialog;
};
