// The Trips window in the main window: a click on an event marker of the timeline opens that
// recording at that frame (the play view's pixels against ffmpeg's decode of it), Enter on the
// keyboard's cursor does the same, the marker follows playback on the manual step clock, and the
// chosen trip's route is on the map while the window is open.
#include "framefixture.h"

#include "fixtures/stepping.h"
#include "screen/screencheck.h"
#include "skin/commandids.h"
#include "playback/frameindextable.h"
#include "trips/triptimelineview.h"
#include "trips/tripwindow.h"

#include <QDoubleSpinBox>
#include <QSettings>
#include <QTest>

using namespace frametest;

namespace {

QString Rmc(const char *hms, const char *minutesNorth)
{
    return QStringLiteral("$GPRMC,%1,A,37%2,N,12658.5000,E,21.5,87.3,120513,,").arg(QLatin1String(hms),
                                                                                  QLatin1String(minutesNorth));
}

} // namespace

TEST_F(FrameTest, TripTimelineOpensTheMomentOfAnEventAndFollowsPlayback)
{
    // One drive of the three recordings, with a shock 0.7 s into the third (frame 7 at 10 pictures
    // a second) and two fixes in the first and the third.
    std::vector<tagTESTCLIP> clips = ThreeRecordings();
    clips[0].extraLines = {Rmc("083000.000", "33.1000"), Rmc("083001.000", "33.1100")};
    clips[2].extraLines = {QStringLiteral("$ACCELERATOR,083020.700,130512,0.9,0.0,1.0,"), Rmc("083020.000", "33.2000"),
                           Rmc("083021.000", "33.2100")};
    const CTestCard card(clips);
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);

    ASSERT_TRUE(m_frame->Command(ID_VIEW_TRIP_TIMELINE));
    CTripWindow *window = m_root->TripWindow();
    ASSERT_TRUE(window && window->isVisible());
    ASSERT_EQ(window->Trips().size(), 1);
    EXPECT_EQ(window->ChosenTrip(), 0);
    EXPECT_EQ(m_frame->MapView()->TripRoute().size(), 4);
    CTripTimelineView *timeline = window->Timeline();
    ASSERT_EQ(timeline->Timeline().Events().size(), 1);
    const tagTRIPEVENT shock = timeline->Timeline().Events().first();
    ASSERT_EQ(shock.nIndex, 2);
    const int64_t clipStart = timeline->Timeline().Clips()[timeline->Timeline().ClipOfRecording(2)].llStartMs;
    EXPECT_EQ(shock.llTimeMs - clipStart, 700);

    // A click a little beside the marker, down in the curves.
    const QRect area = timeline->viewport()->rect();
    const QPoint at(timeline->ViewXOfTime(shock.llTimeMs) + 2, TimelineRows(area).curves.center().y());
    QTest::mouseClick(timeline->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(m_ctl->CurrentIndex(), 2);
    EXPECT_EQ(m_ctl->Position(), 7);
    ASSERT_TRUE(stepping::Settle(*m_play->Session()));
    screencheck::FlushRepaints();
    const std::vector<QImage> &references = screencheck::FfmpegFrames(ClipPath(ClipKind::Mp4), QSize(160, 120));
    ASSERT_EQ(references.size(), static_cast<size_t>(kMp4Frames));
    const screencheck::tagMATCH shown =
        screencheck::MatchFrame(screencheck::GrabShown(m_play, m_play->Graph()->VideoRect()), references);
    EXPECT_EQ(shown.frame, 7) << "PSNR " << shown.psnr << " dB";
    EXPECT_TRUE(timeline->View().bCurrent);
    EXPECT_EQ(timeline->View().llCurrentMs, shock.llTimeMs);

    // The marker follows playback, stepped at 2x by the manual clock: a step at once, then one
    // per frame time of the clock.
    m_ctl->SetRate(2.0);
    m_ctl->Play();
    for (int frame = 9; frame <= 13; frame += 2) {
        if (frame > 9)
            m_clock.Advance100ns(m_ctl->FrameTime());
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_ctl->Position() != frame - 2; }, 10000));
        ASSERT_TRUE(stepping::Settle(*m_play->Session()));
        EXPECT_EQ(m_ctl->Position(), frame);
        EXPECT_EQ(timeline->View().llCurrentMs, clipStart + FrameStartMs(0, m_ctl->FrameTime(), frame));
    }
    m_ctl->Pause();

    // From another recording, the keyboard: the trip's start, the next event, Enter.
    ASSERT_TRUE(OpenRow(0));
    EXPECT_EQ(timeline->View().llCurrentMs, timeline->Timeline().StartMs());
    timeline->setFocus();
    QTest::keyClick(timeline, Qt::Key_Home);
    QTest::keyClick(timeline, Qt::Key_Right);
    EXPECT_EQ(timeline->View().nSelectedEvent, 0);
    QTest::keyClick(timeline, Qt::Key_Return);
    EXPECT_EQ(m_ctl->CurrentIndex(), 2);
    EXPECT_EQ(m_ctl->Position(), 7);

    // The threshold field: above the shock, no event, and the setting is kept.
    window->ThresholdField()->setValue(1.0);
    EXPECT_TRUE(timeline->Timeline().Events().isEmpty());
    EXPECT_EQ(QSettings().value(QLatin1String(CTripWindow::kSettingPeakThresholdG)).toDouble(), 1.0);
    window->ThresholdField()->setValue(0.5);
    EXPECT_EQ(timeline->Timeline().Events().size(), 1);
    QSettings().remove(QStringLiteral("trips"));

    // Closed, the window takes the trip's route off the map; a new folder rebuilds its trips.
    window->close();
    EXPECT_TRUE(m_frame->MapView()->TripRoute().isEmpty());
    const CTestCard two(std::vector<tagTESTCLIP>(clips.begin(), clips.begin() + 2));
    ASSERT_TRUE(two.IsValid());
    LoadCard(two);
    ASSERT_TRUE(m_frame->Command(ID_VIEW_TRIP_TIMELINE));
    ASSERT_EQ(window->Trips().size(), 1);
    EXPECT_EQ(window->Trips().first().nClips, 2);
    EXPECT_TRUE(timeline->Timeline().Events().isEmpty());
}
