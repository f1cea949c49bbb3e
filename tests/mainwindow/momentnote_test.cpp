// A note on the moment on show, through the window's command: kept in the card's notes file,
// offered again for editing, listed and marked on the Trips window's timeline (its pixels and
// its tip), the list's double click back at its moment, printed on the report's "Notes" page
// (pdftotext), and removed with an empty text.
#include "framefixture.h"

#include "catalogue/momentnotes.h"
#include "fixtures/stepping.h"
#include "fixtures/testfiles.h"
#include "skin/commandids.h"
#include "telemetry/printview.h"
#include "telemetry/telemetryconst.h"
#include "trips/triptimelineview.h"
#include "trips/tripwindow.h"

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTreeWidget>

using namespace frametest;

namespace {

QVector<tagMOMENTNOTE> NotesInFile(const QString &card)
{
    QFile f(card + QLatin1Char('/') + QLatin1String(kMomentNotesFileName));
    QVector<tagMOMENTNOTE> notes;
    QString why;
    if (!f.open(QIODevice::ReadOnly) || !ParseMomentNotes(f.readAll(), &notes, &why))
        ADD_FAILURE() << "no notes file: " << why.toStdString();
    return notes;
}

} // namespace

TEST_F(FrameTest, ANoteOnTheMomentIsKeptListedMarkedAndPrinted)
{
    EXPECT_EQ(m_frame->AcceleratorCommand(QKeySequence(Qt::CTRL | Qt::Key_N)), ID_VIEW_MOMENT_NOTE);
    const CTestCard card(ThreeRecordings());
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    ASSERT_TRUE(OpenRow(2));
    m_ctl->Seek(7, m_list);

    QStringList offered; // the moment and the note there, per question
    QString answer = QStringLiteral("here the lorry pulls out");
    m_root->Commands()->SetNoteDialog([&](const QString &moment, const QString &text, QString *chosen) {
        offered << moment << text;
        *chosen = answer;
        return true;
    });
    ASSERT_TRUE(m_frame->Command(ID_VIEW_MOMENT_NOTE));
    EXPECT_EQ(offered, (QStringList{QStringLiteral("Frame 7 of 20130512_083020N.mp4, 2013-05-12 08:30:20.700"), QString()}));
    EXPECT_TRUE(m_prompt.Messages().isEmpty());
    QVector<tagMOMENTNOTE> kept = NotesInFile(card.Path());
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].strClip, QStringLiteral("20130512_083020N.mp4"));
    EXPECT_EQ(kept[0].llFrame, 7);
    EXPECT_EQ(kept[0].llOffsetMs, 700);
    EXPECT_EQ(kept[0].strTime, QStringLiteral("2013-05-12T08:30:20.700")) << "the recorder tells no UTC";
    offered.clear();
    answer = QStringLiteral("the lorry pulls out");
    ASSERT_TRUE(m_frame->Command(ID_VIEW_MOMENT_NOTE));
    EXPECT_EQ(offered.value(1), QStringLiteral("here the lorry pulls out"));

    // The Trips window, opened on another recording: the note in its list and on its timeline.
    ASSERT_TRUE(OpenRow(0));
    ASSERT_TRUE(m_frame->Command(ID_VIEW_TRIP_TIMELINE));
    CTripWindow *window = m_root->TripWindow();
    QTreeWidget *list = window->NotesList();
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(CTripWindow::NoteColText), answer);
    EXPECT_EQ(list->topLevelItem(0)->text(CTripWindow::NoteColFrame), QStringLiteral("7"));
    CTripTimelineView *timeline = window->Timeline();
    ASSERT_EQ(timeline->Timeline().Notes().size(), 1);
    const int64_t clipStart = timeline->Timeline().Clips()[timeline->Timeline().ClipOfRecording(2)].llStartMs;
    EXPECT_EQ(timeline->Timeline().Notes().first().llTimeMs, clipStart + 700);
    const int x = timeline->ViewXOfTime(clipStart + 700);
    const tagTIMELINEROWS rows = TimelineRows(timeline->viewport()->rect());
    const QImage shown = timeline->viewport()->grab().toImage();
    ASSERT_GT(x, 10);
    EXPECT_EQ(shown.pixel(x, rows.markers.center().y()) & 0xFFFFFF, kColourTimelineNote & 0xFFFFFF);
    EXPECT_EQ(shown.pixel(x + 20, rows.markers.center().y()) & 0xFFFFFF, 0xFFFFFFu) << "only the note's place";
    EXPECT_TRUE(timeline->NoteTipAt(QPoint(x + 2, rows.band.center().y())).endsWith(answer));
    EXPECT_TRUE(timeline->NoteTipAt(QPoint(x + 20, rows.band.center().y())).isEmpty());
    emit list->itemActivated(list->topLevelItem(0), CTripWindow::NoteColText);
    EXPECT_EQ(m_ctl->CurrentIndex(), 2);
    EXPECT_EQ(m_ctl->Position(), 7);
    ASSERT_TRUE(stepping::Settle(*m_play->Session()));

    // The report of that moment ends with the recording's notes.
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("report.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    ASSERT_TRUE(m_frame->PrintView()->OnFilePrintDirect(&printer));
    EXPECT_EQ(m_frame->PrintView()->PageCount(), 3);
    const auto text = testfiles::Run(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QStringLiteral("3"), pdf, QStringLiteral("-")});
    ASSERT_EQ(text.exitCode, 0);
    const QString page3 = QString::fromUtf8(text.out).simplified();
    EXPECT_TRUE(page3.startsWith(QStringLiteral("Notes Frame 7 2013 / 05 / 12 08 : 30 : 20.700 (printed) ") + answer))
        << page3.toStdString();

    // An empty text removes it everywhere.
    answer.clear();
    ASSERT_TRUE(m_frame->Command(ID_VIEW_MOMENT_NOTE));
    EXPECT_TRUE(NotesInFile(card.Path()).isEmpty());
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_TRUE(timeline->Timeline().Notes().isEmpty());
    m_root->Commands()->SetNoteDialog({});
}
