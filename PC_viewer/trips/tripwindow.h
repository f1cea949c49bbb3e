// CTripWindow: "Trips", a window of its own beside the main window (not modal). The loaded
// catalogue's trips in a list with their numbers, and the chosen trip on a timeline (see
// CTripTimelineView) that follows playback, with the notes written on its moments below it. Tab goes
// between the lists and the timeline; Enter on the trips' list opens the trip's first recording,
// on the timeline the recording at its cursor, on the notes' list (or a double click) the moment
// of the note.
//
// It reads the catalogue and hears its notices (catalogue reset: the trips are built again, when
// the window is shown; notes changed: the notes' list and marks are filled again), and follows what playback tells (the recording and position: the
// timeline's marker). Opening a recording and the map's route are the composition root's: the
// window asks for them with signals.
#pragma once

#include "base/units.h"
#include "playback/playbackcontroller.h"
#include "skin/skindialog.h"
#include "trips/trips.h"

#include <QVector>

class CCorvanaDoc;
class CTripTimelineView;
class QDoubleSpinBox;
class QSpinBox;
class QTreeWidget;

class CTripWindow : public CSkinDialog
{
    Q_OBJECT
public:
    static constexpr int kDialogId = 150;
    // Settings the trips are built with (the defaults of trips.h when absent).
    static constexpr const char *kSettingGapSeconds = "trips/gapSeconds";
    static constexpr const char *kSettingPeakThresholdG = "trips/peakThresholdG";
    // List columns.
    enum Column { ColNumber, ColKind, ColStart, ColEnd, ColClips, ColDistance, ColTopSpeed, ColEvents, ColCount };
    // Columns of the notes' list.
    enum NoteColumn { NoteColTime, NoteColRecording, NoteColFrame, NoteColText, NoteColCount };

    explicit CTripWindow(const CCorvanaDoc *doc, QWidget *parent = nullptr);

    // The unit of the timeline's speed curve (the list's top speed is always km/h).
    void SetSpeedUnit(SpeedUnit unit);

    // Builds the trips of the loaded catalogue again and fills the list; the trip of the current
    // recording is chosen, else the first.
    void Rebuild();
    const QVector<tagTRIP> &Trips() const { return m_trips; }
    // Chooses row `row` of the list (-1: none): its timeline, and TripChosen.
    void ChooseTrip(int row);
    int ChosenTrip() const { return m_chosen; }
    // The chosen trip, or null.
    const tagTRIP *Chosen() const;

    // --- What the playback controller tells (connected by the composition root) --------------
    void OnRecordingOpened(const tagOPENEDRECORDING &recording);
    void OnRecordingClosed();
    void OnPositionChanged(const tagPLAYPOSITION &position);
    // The catalogue was loaded anew: the trips are built again (when the window is shown).
    void OnCatalogueReset();
    // A note was kept or removed.
    void OnNotesChanged();

    QTreeWidget *List() const { return m_list; }
    // The chosen trip's notes, in time order (the timeline's Notes()).
    QTreeWidget *NotesList() const { return m_notesList; }
    CTripTimelineView *Timeline() const { return m_timeline; }
    // The settings' fields: a change is stored and the trips are built again.
    QSpinBox *GapField() const { return m_gap; }
    QDoubleSpinBox *ThresholdField() const { return m_threshold; }

signals:
    // Open recording `index` at offsetMs after its start.
    void OpenRequested(int index, qint64 offsetMs);
    // Another trip was chosen, or none (Chosen() tells which); again when the window is shown.
    void TripChosen();
    // The window was closed (hidden).
    void Closed();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void FollowPosition();
    void FillNotes();

    const CCorvanaDoc *m_doc;
    tagOPENEDRECORDING m_recording;
    int64_t m_position = 0;
    QTreeWidget *m_list;
    CTripTimelineView *m_timeline;
    QTreeWidget *m_notesList;
    QSpinBox *m_gap;
    QDoubleSpinBox *m_threshold;
    QVector<tagTRIP> m_trips;
    int m_chosen = -1;
    SpeedUnit m_unit = SpeedUnit::Kmh;
    bool m_stale = true; // the catalogue changed while the window was hidden
};
