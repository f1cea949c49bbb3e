// The Trips window.
#include "trips/tripwindow.h"

#include "catalogue/corvanadoc.h"
#include "base/frametime.h"
#include "trips/triptimelineview.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char *const kColumnTitles[CTripWindow::ColCount] = {
    "No.", "Kind", "Start", "End", "Clips", "Distance (km)", "Top speed (km/h)", "Events",
};
const char *const kNoteColumnTitles[CTripWindow::NoteColCount] = {"Time", "Recording", "Frame", "Note"};

} // namespace

CTripWindow::CTripWindow(const CCorvanaDoc *doc, QWidget *parent)
    : CSkinDialog(kDialogId, parent), m_doc(doc), m_list(new QTreeWidget), m_timeline(new CTripTimelineView),
      m_notesList(new QTreeWidget), m_gap(new QSpinBox), m_threshold(new QDoubleSpinBox)
{
    setWindowTitle(QStringLiteral("Trips"));
    setModal(false);
    Caption().SetCaptionButtons(false, true);
    Caption().SetResizable(true);

    QStringList titles;
    for (const char *t : kColumnTitles)
        titles << QString::fromLatin1(t);
    m_list->setHeaderLabels(titles);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->setObjectName(QStringLiteral("TripList"));
    m_timeline->setObjectName(QStringLiteral("TripTimeline"));
    QStringList noteTitles;
    for (const char *t : kNoteColumnTitles)
        noteTitles << QString::fromLatin1(t);
    m_notesList->setHeaderLabels(noteTitles);
    m_notesList->setRootIsDecorated(false);
    m_notesList->setUniformRowHeights(true);
    m_notesList->setAllColumnsShowFocus(true);
    m_notesList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_notesList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_notesList->header()->setStretchLastSection(true);
    m_notesList->setObjectName(QStringLiteral("TripNotes"));

    auto *split = new QSplitter(Qt::Vertical);
    split->addWidget(m_list);
    split->addWidget(m_timeline);
    split->addWidget(m_notesList);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setStretchFactor(2, 1);
    split->setChildrenCollapsible(false);
    // The two settings the trips are built with, changed here and kept for the next start.
    m_gap->setRange(0, 86400);
    m_gap->setSuffix(QStringLiteral(" s"));
    m_gap->setKeyboardTracking(false);
    m_gap->setObjectName(QStringLiteral("TripGap"));
    m_threshold->setRange(0.05, 16.0);
    m_threshold->setSingleStep(0.05);
    m_threshold->setDecimals(2);
    m_threshold->setSuffix(QStringLiteral(" g"));
    m_threshold->setKeyboardTracking(false);
    m_threshold->setObjectName(QStringLiteral("TripThreshold"));
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->addRow(QStringLiteral("Longest gap within a trip:"), m_gap);
    form->addRow(QStringLiteral("G-sensor event above:"), m_threshold);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split);
    layout->addLayout(form);
    setTabOrder(m_list, m_timeline);
    setTabOrder(m_timeline, m_notesList);
    setTabOrder(m_notesList, m_gap);
    setTabOrder(m_gap, m_threshold);
    const auto store = [this](const char *key, double value) {
        QSettings().setValue(QLatin1String(key), value);
        Rebuild();
    };
    connect(m_gap, qOverload<int>(&QSpinBox::valueChanged), this,
            [store](int value) { store(kSettingGapSeconds, value); });
    connect(m_threshold, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
            [store](double value) { store(kSettingPeakThresholdG, value); });
    resize(900, 560);

    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        const int row = item ? m_list->indexOfTopLevelItem(item) : -1;
        if (row != m_chosen)
            ChooseTrip(row);
    });
    // Enter or a double click on a trip: its first recording from its start.
    connect(m_list, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        const int row = m_list->indexOfTopLevelItem(item);
        if (row >= 0 && row < m_trips.size() && !m_trips[row].vecClips.isEmpty())
            emit OpenRequested(m_trips[row].vecClips.first().nIndex, 0);
    });
    connect(m_timeline, &CTripTimelineView::OpenRequested, this, &CTripWindow::OpenRequested);
    // Enter or a double click on a note: its moment.
    connect(m_notesList, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        const QVector<tagTIMELINENOTE> &notes = m_timeline->Timeline().Notes();
        const int row = m_notesList->indexOfTopLevelItem(item);
        if (row >= 0 && row < notes.size())
            emit OpenRequested(notes[row].nIndex, notes[row].llOffsetMs);
    });
}

void CTripWindow::OnRecordingOpened(const tagOPENEDRECORDING &recording)
{
    m_recording = recording;
    m_position = 0;
    FollowPosition();
}

void CTripWindow::OnRecordingClosed()
{
    m_recording = tagOPENEDRECORDING();
    m_position = 0;
    FollowPosition();
}

void CTripWindow::OnPositionChanged(const tagPLAYPOSITION &position)
{
    m_position = position.llFrame;
    FollowPosition();
}

void CTripWindow::SetSpeedUnit(SpeedUnit unit)
{
    if (unit == m_unit)
        return;
    m_unit = unit;
    if (const tagTRIP *trip = Chosen()) {
        m_timeline->ShowTrip(*m_doc, *trip, m_unit);
        FollowPosition();
    }
}

void CTripWindow::Rebuild()
{
    // A setting that is no number counts as absent (BuildTrips takes care of negative ones).
    const QSettings stored;
    const auto number = [&](const char *key, double fallback) {
        bool ok = false;
        const double value = stored.value(QLatin1String(key)).toDouble(&ok);
        return ok ? value : fallback;
    };
    tagTRIPSETTINGS settings;
    settings.dGapSeconds = number(kSettingGapSeconds, kDefaultTripGapSeconds);
    settings.dPeakThresholdG = number(kSettingPeakThresholdG, kDefaultTripPeakThresholdG);
    {
        const QSignalBlocker blockGap(m_gap), blockThreshold(m_threshold);
        m_gap->setValue(qRound(settings.dGapSeconds));
        m_threshold->setValue(settings.dPeakThresholdG);
    }
    m_trips = BuildTrips(*m_doc, settings);
    m_stale = false;

    int chosen = m_trips.isEmpty() ? -1 : 0;
    QList<QTreeWidgetItem *> items;
    items.reserve(m_trips.size());
    for (int i = 0; i < m_trips.size(); ++i) {
        const tagTRIP &t = m_trips[i];
        auto *item = new QTreeWidgetItem;
        item->setText(ColNumber, QString::number(i + 1));
        item->setText(ColKind, TripKindName(t.nKind));
        item->setText(ColStart, t.bHasTime ? TripClockText(t.llStartMs) : QString());
        item->setText(ColEnd, t.bHasTime ? TripClockText(t.llEndMs) : QString());
        item->setText(ColClips, QString::number(t.nClips));
        item->setText(ColDistance, QString::asprintf("%.2f", t.dDistanceMetres / 1000.0));
        item->setText(ColTopSpeed, t.bHasMaxSpeed ? QString::asprintf("%.1f", t.dMaxSpeedKmh) : QString());
        item->setText(ColEvents, QString::number(t.vecEvents.size()));
        for (int c : {ColNumber, ColClips, ColDistance, ColTopSpeed, ColEvents})
            item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        items.append(item);
        for (const tagTRIPCLIP &c : t.vecClips)
            if (c.nIndex == m_recording.nIndex)
                chosen = i;
    }
    {
        const QSignalBlocker block(m_list);
        m_list->clear();
        m_list->addTopLevelItems(items);
    }
    m_chosen = -2; // whatever was chosen belonged to the trips before
    ChooseTrip(chosen);
}

const tagTRIP *CTripWindow::Chosen() const
{
    return m_chosen >= 0 && m_chosen < m_trips.size() ? &m_trips[m_chosen] : nullptr;
}

void CTripWindow::ChooseTrip(int row)
{
    if (row < 0 || row >= m_trips.size())
        row = -1;
    if (row == m_chosen)
        return;
    m_chosen = row;
    {
        const QSignalBlocker block(m_list);
        m_list->setCurrentItem(row >= 0 ? m_list->topLevelItem(row) : nullptr);
    }
    if (row >= 0)
        m_timeline->ShowTrip(*m_doc, m_trips[row], m_unit);
    else
        m_timeline->ClearTrip();
    FillNotes();
    FollowPosition();
    emit TripChosen();
}

void CTripWindow::OnCatalogueReset()
{
    if (isVisible()) {
        Rebuild();
        return;
    }
    // Built when the window is shown again; the old trips name recordings that are gone.
    m_stale = true;
    m_trips.clear();
    m_chosen = -1;
    m_list->clear();
    m_timeline->ClearTrip();
    FillNotes();
}

void CTripWindow::OnNotesChanged()
{
    if (m_stale || !Chosen())
        return;
    m_timeline->RefreshNotes(*m_doc);
    FillNotes();
}

void CTripWindow::FillNotes()
{
    const CTripTimeline &timeline = m_timeline->Timeline();
    QList<QTreeWidgetItem *> items;
    for (const tagTIMELINENOTE &n : timeline.Notes()) {
        auto *item = new QTreeWidgetItem;
        item->setText(NoteColTime, timeline.HasTime() ? TripClockText(n.llTimeMs)
                                                      : QStringLiteral("%1 s").arg(n.llTimeMs / 1000.0, 0, 'f', 3));
        item->setText(NoteColRecording, FileNameOfPath(m_doc->MediaPathAt(n.nIndex)));
        item->setText(NoteColFrame, QString::number(n.llFrame));
        item->setTextAlignment(NoteColFrame, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(NoteColText, n.strText);
        item->setToolTip(NoteColText, n.strText);
        items.append(item);
    }
    m_notesList->clear();
    m_notesList->addTopLevelItems(items);
}

void CTripWindow::FollowPosition()
{
    const CTripTimeline &timeline = m_timeline->Timeline();
    const int clip = m_recording.nIndex < 0 ? -1 : timeline.ClipOfRecording(m_recording.nIndex);
    if (clip < 0 || m_recording.llFrameTime <= 0) {
        m_timeline->SetCurrent(false, 0);
        return;
    }
    const tagTIMELINECLIP &c = timeline.Clips()[clip];
    m_timeline->SetCurrent(true, c.llStartMs + FrameStartMs(0, m_recording.llFrameTime, m_position));
}

void CTripWindow::showEvent(QShowEvent *event)
{
    CSkinDialog::showEvent(event);
    if (m_stale) {
        Rebuild();
    } else {
        FollowPosition();
        emit TripChosen();
    }
}

void CTripWindow::hideEvent(QHideEvent *event)
{
    CSkinDialog::hideEvent(event);
    emit Closed();
}
