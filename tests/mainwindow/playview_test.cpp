// The video pane inside the main frame: opening, 1x through the graph, stepped rates and reverse,
// frame commands, following other views, the end of a clip with and without continuous play,
// graph events and the volume.
#include "framefixture.h"

#include "fixtures/stepping.h"

#include "playback/playcontrolview.h"
#include "skin/commandids.h"

#include <QSignalSpy>

using namespace frametest;

namespace {

class PlayViewTest : public FrameTest
{
protected:
    void SetUp() override
    {
        FrameTest::SetUp();
        m_card = std::make_unique<CTestCard>(ThreeRecordings());
        ASSERT_TRUE(m_card->IsValid());
        LoadCard(*m_card);
        ASSERT_EQ(m_list->RowCount(), 3);
    }

    // Plays at `rate` from where the clip stands until playback rests.
    void PlayAt(double rate)
    {
        m_ctl->SetRate(rate);
        ClearPublished();
        m_ctl->Play();
        ASSERT_TRUE(WaitUntilNotRunning());
    }

    std::unique_ptr<CTestCard> m_card;
};

// Rows of ThreeRecordings and their picture counts.
constexpr int kFramesOfRow[3] = {kMp4Frames, kAviFrames, kMp4Frames};

} // namespace

TEST_F(PlayViewTest, OpeningMeasuresTheClipAndPublishesFrameZero)
{
    for (int row : {1, 0}) {
        SCOPED_TRACE(row);
        ClearPublished();
        ASSERT_TRUE(OpenRow(row));
        EXPECT_EQ(m_ctl->CurrentIndex(), row);
        EXPECT_EQ(m_ctl->MediaPath(), m_doc->MediaPathAt(row));
        EXPECT_EQ(m_ctl->FrameCount(), kFramesOfRow[row]);
        EXPECT_EQ(m_ctl->FrameTime(), 1000000); // 10 pictures a second
        EXPECT_EQ(m_ctl->Duration(), m_ctl->FrameCount() * m_ctl->FrameTime());
        EXPECT_EQ(m_play->TimerPeriod(), 100);
        EXPECT_EQ(Published(), std::vector<qint64>{0});
        EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);
        EXPECT_EQ(ShownFrame(), 0);
        EXPECT_FALSE(m_play->IsTimerRunning());
    }
}

TEST_F(PlayViewTest, FrameCommandsMoveThePositionAndTheVideoFollows)
{
    ASSERT_TRUE(OpenRow(1));
    ClearPublished();

    // Frame backward at 0 changes nothing and tells nobody.
    EXPECT_TRUE(m_frame->Command(ID_MEDIA_FRAME_BACKWARD));
    EXPECT_EQ(m_ctl->Position(), 0);
    EXPECT_TRUE(Origins().empty());

    for (int i = 1; i <= 3; ++i) {
        m_frame->Command(ID_MEDIA_FRAME_FORWARD);
        EXPECT_EQ(m_ctl->Position(), i);
        EXPECT_EQ(ShownFrame(), i);
        ASSERT_FALSE(Origins().empty());
        EXPECT_EQ(Origins().back(), m_frame); // the window's command, so the video follows
    }
    m_frame->Command(ID_MEDIA_FRAME_BACKWARD);
    EXPECT_EQ(m_ctl->Position(), 2);
    EXPECT_EQ(ShownFrame(), 2);

    m_frame->Command(ID_MEDIA_TO_END);
    EXPECT_EQ(m_ctl->Position(), kAviFrames);
    EXPECT_EQ(Published().back(), kAviFrames);
    ClearPublished();
    m_frame->Command(ID_MEDIA_FRAME_FORWARD); // at the last position: nothing
    EXPECT_EQ(m_ctl->Position(), kAviFrames);
    EXPECT_TRUE(Origins().empty());

    m_frame->Command(ID_MEDIA_TO_BEGINNING);
    EXPECT_EQ(m_ctl->Position(), 0);
    EXPECT_EQ(Published(), std::vector<qint64>{0});
    EXPECT_EQ(ShownFrame(), 0);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);
}

TEST_F(PlayViewTest, OneXPlaysThroughTheGraphToTheEnd)
{
    ASSERT_TRUE(OpenRow(1));
    m_ctl->SetRate(1.0);
    ClearPublished();
    ASSERT_TRUE(m_frame->Command(ID_MEDIA_PLAY));
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Running);
    EXPECT_EQ(m_play->Graph()->State(), GraphState::Running); // real time, not steps
    EXPECT_EQ(m_play->Session()->PlayingFlag(), 0);
    ASSERT_TRUE(WaitUntilNotRunning());

    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);
    ASSERT_FALSE(Published().empty());
    EXPECT_EQ(Published().back(), kAviFrames);
    for (size_t i = 1; i < Published().size(); ++i)
        EXPECT_GE(Published()[i], Published()[i - 1]) << "at " << i;
    EXPECT_EQ(m_ctl->CurrentIndex(), 1); // continuous play is off
    EXPECT_FALSE(m_play->IsTimerRunning());
}

TEST_F(PlayViewTest, SteppedRatesLandOnMultiplesOfTheRateAndStopAtTheEnd)
{
    struct Case {
        double rate;
        bool fromEnd;
    };
    const Case cases[] = {{2, false}, {4, false}, {32, false}, {-1, true}, {-4, true}, {-2, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        ASSERT_TRUE(OpenRow(2));
        if (c.fromEnd)
            m_ctl->SeekToEnd();
        const qint64 start = m_ctl->Position();
        const qint64 end = c.rate > 0 ? kMp4Frames : 0;
        PlayAt(c.rate);

        ASSERT_FALSE(Published().empty());
        EXPECT_EQ(Published().back(), end);
        EXPECT_EQ(m_ctl->Position(), end);
        EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);
        EXPECT_EQ(m_play->Session()->PlayingFlag(), 0);
        EXPECT_FALSE(m_play->IsTimerRunning());
        const int step = static_cast<int>(std::abs(c.rate));
        qint64 previous = start;
        for (qint64 p : Published()) {
            // Every picture shown on the way is a whole number of steps from the start; the
            // end itself is shown exactly even when the last step would pass it.
            if (p != end) {
                EXPECT_EQ((p - start) % step, 0) << "position " << p;
            }
            EXPECT_TRUE(c.rate > 0 ? p >= previous : p <= previous) << "position " << p;
            previous = p;
        }
    }
}

TEST_F(PlayViewTest, PlayAndReversePlayTurnTheDirectionAndKeepTheSpeed)
{
    ASSERT_TRUE(OpenRow(2));
    m_frame->Command(ID_SPEED_2X); // paused: only the rate changes
    EXPECT_DOUBLE_EQ(m_ctl->GetRate(), 2.0);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);
    m_frame->Command(ID_MEDIA_TO_END);

    m_frame->Command(ID_MEDIA_REVERSE_PLAY);
    EXPECT_DOUBLE_EQ(m_ctl->GetRate(), -2.0);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Running);

    m_frame->Command(ID_SPEED_8X); // while playing the new speed keeps the direction
    EXPECT_DOUBLE_EQ(m_ctl->GetRate(), -8.0);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Running);

    m_frame->Command(ID_MEDIA_PLAY);
    EXPECT_DOUBLE_EQ(m_ctl->GetRate(), 8.0);
    m_frame->Command(ID_MEDIA_PAUSE);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);
    EXPECT_FALSE(m_play->IsTimerRunning());

    // Nothing moves once paused.
    const qint64 at = m_ctl->Position();
    ClearPublished();
    m_clock.Advance(350);
    ASSERT_TRUE(stepping::Settle(*m_play->Session()));
    EXPECT_TRUE(Published().empty());
    EXPECT_EQ(m_ctl->Position(), at);
}

TEST_F(PlayViewTest, StopReturnsToFrameZero)
{
    ASSERT_TRUE(OpenRow(0));
    m_frame->Command(ID_MEDIA_TO_END);
    ClearPublished();
    ASSERT_TRUE(m_frame->Command(ID_MEDIA_STOP));
    EXPECT_EQ(Published(), std::vector<qint64>{0});
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Stopped);
    EXPECT_EQ(ShownFrame(), 0);
    EXPECT_EQ(m_play->Graph()->State(), GraphState::Paused);
}

TEST_F(PlayViewTest, FollowingAnotherViewKeepsTheGraphRunning)
{
    ASSERT_TRUE(OpenRow(0));
    m_ctl->SetRate(1.0);
    m_ctl->Play();
    ASSERT_EQ(m_play->Graph()->State(), GraphState::Running);
    m_frame->Command(ID_MEDIA_FRAME_FORWARD);
    EXPECT_EQ(m_play->Graph()->State(), GraphState::Running);
    m_ctl->Pause();

    // While paused a position set elsewhere is shown exactly.
    m_ctl->Seek(7, m_frame->GraphView());
    EXPECT_EQ(ShownFrame(), 7);
    EXPECT_EQ(m_play->Graph()->State(), GraphState::Paused);
    // The view's own broadcasts are not followed.
    m_ctl->Seek(3, m_ctl->MainSession());
    EXPECT_EQ(ShownFrame(), 7);
}

TEST_F(PlayViewTest, EndOfClipChoicesWithAndWithoutContinuousPlay)
{
    struct Case {
        const char *name;
        int continuous;
        int startRow;
        double rate;
        bool fromEnd;
        int endRow;
        PlayState endState;
        qint64 endPosition; // -1: the last position of the end row
    };
    const Case cases[] = {
        {"off, forward", 0, 0, 4, false, 0, PlayState::Paused, -1},
        {"off, reverse", 0, 1, -4, true, 1, PlayState::Paused, 0},
        {"on, forward through to the last recording", 1, 1, 4, false, 2, PlayState::Paused, -1},
        {"on, forward on the last recording", 1, 2, 4, false, 2, PlayState::Paused, -1},
        {"on, reverse back to the first recording", 1, 1, -4, true, 0, PlayState::Stopped, 0},
        {"on, reverse on the first recording", 1, 0, -4, true, 0, PlayState::Stopped, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (m_ctl->ContinuousPlay() != c.continuous)
            m_frame->Command(ID_MEDIA_CONTINUOUS_PLAY);
        ASSERT_TRUE(OpenRow(c.startRow));
        if (c.fromEnd)
            m_ctl->SeekToEnd();
        std::vector<int> rowsSeen;
        auto connection = QObject::connect(m_ctl, &CPlaybackController::PositionChanged, [&] {
            if (rowsSeen.empty() || rowsSeen.back() != m_ctl->CurrentIndex())
                rowsSeen.push_back(m_ctl->CurrentIndex());
        });
        PlayAt(c.rate);
        QObject::disconnect(connection);

        EXPECT_EQ(m_ctl->CurrentIndex(), c.endRow);
        EXPECT_EQ(m_play->GetPlayState(), c.endState);
        const qint64 endPosition = c.endPosition >= 0 ? c.endPosition : kFramesOfRow[c.endRow];
        EXPECT_EQ(m_ctl->Position(), endPosition);
        ASSERT_FALSE(Published().empty());
        EXPECT_EQ(Published().back(), endPosition);
        // Continuous play passes through every recording in between, in order.
        std::vector<int> expectedRows;
        for (int r = c.startRow; c.rate > 0 ? r <= c.endRow : r >= c.endRow; r += c.rate > 0 ? 1 : -1)
            expectedRows.push_back(r);
        EXPECT_EQ(rowsSeen, expectedRows);
    }
}

TEST_F(PlayViewTest, ReverseContinuesFromTheEndOfThePreviousRecording)
{
    m_frame->Command(ID_MEDIA_CONTINUOUS_PLAY);
    ASSERT_TRUE(OpenRow(1));
    m_ctl->SeekToBeginning();
    std::vector<qint64> onRowZero;
    // Disconnected with the test's locals, before the frame goes.
    QObject watcher;
    QObject::connect(m_ctl, &CPlaybackController::PositionChanged, &watcher, [&](const tagPLAYPOSITION &p) {
        if (p.pOrigin == m_ctl->MainSession() && m_ctl->CurrentIndex() == 0)
            onRowZero.push_back(m_ctl->Position());
    });
    PlayAt(-2);
    ASSERT_GE(onRowZero.size(), 3u);
    // Opened at 0, then put on its last position, then stepped down from there.
    EXPECT_EQ(onRowZero[0], 0);
    EXPECT_EQ(onRowZero[1], kMp4Frames);
    EXPECT_EQ(onRowZero[2], kMp4Frames - 2);
    EXPECT_EQ(onRowZero.back(), 0);
}

TEST_F(PlayViewTest, GraphEventsPauseStopOrRepaint)
{
    ASSERT_TRUE(OpenRow(0));
    m_frame->Command(ID_MEDIA_FRAME_FORWARD);
    m_frame->Command(ID_MEDIA_FRAME_FORWARD);

    // A completion notice that arrives while paused changes nothing.
    ClearPublished();
    m_play->Session()->NotifyGraphEvent(EC_COMPLETE, 0, 0);
    EXPECT_TRUE(Published().empty());
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);

    m_play->Session()->NotifyGraphEvent(EC_OLE_EVENT, 0, 0);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);
    EXPECT_EQ(m_ctl->Position(), 2);

    // A running clip that completes pauses and publishes its end.
    m_ctl->SetRate(1.0);
    m_ctl->Play();
    m_play->Session()->NotifyGraphEvent(EC_COMPLETE, 0, 0);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);
    EXPECT_EQ(m_ctl->Position(), kMp4Frames);

    m_play->Session()->NotifyGraphEvent(EC_USERABORT, 0, 0);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Stopped);
    EXPECT_EQ(m_ctl->Position(), 0);
}

TEST_F(PlayViewTest, VolumeGoesToTheGraphInHundredthsOfADecibel)
{
    ASSERT_TRUE(OpenRow(0));
    // Opening takes the control bar's setting (its slider starts half way down).
    EXPECT_EQ(m_play->Graph()->AudioVolume(),
              VolumeLevelToHundredthsDb(m_frame->ControlBar()->SliderLevel()));
    struct Case {
        double level;
        long volume;
    };
    for (const Case &c : {Case{1.0, 0}, Case{0.5, -301}, Case{0.0, -10000}, Case{0.25, -602}}) {
        m_ctl->ApplyVolumeLevel(c.level);
        EXPECT_EQ(m_play->Graph()->AudioVolume(), c.volume) << c.level;
    }
}

TEST_F(PlayViewTest, CommandsWithoutAClipLeaveTheViewEmpty)
{
    ClearPublished();
    EXPECT_TRUE(FAILED(m_ctl->Play()));
    m_frame->Command(ID_MEDIA_REVERSE_PLAY);
    m_frame->Command(ID_MEDIA_TO_END);
    m_frame->Command(ID_MEDIA_STOP);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Empty);
    EXPECT_FALSE(m_play->IsTimerRunning());
    EXPECT_TRUE(Published().empty());
    // The idle picture is painted without a clip.
    EXPECT_FALSE(m_play->grab().isNull());
}
