// Playback without any widget: the session steps, publishes and ends clips on its own, with a
// document and a host of a few lines, as the CLI and the video pane drive it.
#include "clipfactory.h"
#include "testsupport.h"

#include "fixtures/stepping.h"

#include "catalogue/corvanadoc.h"
#include "media/mediagraph.h"
#include "playback/playbackcontroller.h"
#include "playback/playbacksession.h"
#include "playback/recordingnavigator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_card.isValid());
        // Two recordings of the same 4 s clip, 120 pictures each.
        for (const char *name : {"20130512_083000N.mp4", "20130512_083100N.mp4"})
            ASSERT_TRUE(QFile::copy(clips::Mp4H264(), m_card.filePath(QString::fromLatin1(name))));
        m_doc.SetFolder(m_card.path());
        m_doc.LoadFolder();
        ASSERT_EQ(m_doc.Count(), 2);
        m_ctl = std::make_unique<CPlaybackController>(&m_doc);
        m_ctl->SetStepClock(&m_clock);
        m_ctl->SetContinuousPlay(true);
        m_session = m_ctl->MainSession();
        QObject::connect(m_ctl->Navigator(), &CRecordingNavigator::Opened, [this](int row) { m_opened.push_back(row); });
        QObject::connect(m_ctl.get(), &CPlaybackController::PositionChanged, [this](const tagPLAYPOSITION &p) {
            if (p.pOrigin != m_session)
                return;
            // What was published is what the session shows (the last picture at the end).
            const int64_t count = m_session->Graph()->FrameCount();
            m_published.push_back(p.llFrame);
            if (m_session->ShownFrame() != std::min<int64_t>(p.llFrame, count - 1))
                ++m_publishedNotShown;
        });
        m_ctl->Open(0);
    }

    QTemporaryDir m_card;
    CCorvanaDoc m_doc;
    CManualStepClock m_clock;
    std::unique_ptr<CPlaybackController> m_ctl;
    CPlaybackSession *m_session = nullptr;
    std::vector<int> m_opened;
    std::vector<qint64> m_published;
    int m_publishedNotShown = 0;
};

} // namespace

TEST_F(SessionTest, OpensPausedOnFrameZeroAndMeasuresTheClip)
{
    EXPECT_EQ(m_session->GetPlayState(), PlayState::Paused);
    EXPECT_EQ(m_ctl->FrameCount(), 120);
    EXPECT_EQ(m_session->TimerPeriod(), 33);
    EXPECT_EQ(m_session->ShownFrame(), 0);
    EXPECT_EQ(m_published, std::vector<qint64>{0});
    // The controller's volume reaches every clip it opens, whatever the graph had.
    m_ctl->ApplyVolumeLevel(0.5);
    m_session->SetVolumeLevel(0.0);
    m_ctl->Open(1);
    EXPECT_EQ(m_session->Graph()->AudioVolume(), VolumeLevelToHundredthsDb(0.5));
    EXPECT_LT(clips::MeanDifference(m_session->NativeImage(), clips::FfmpegSelectFrame(clips::Mp4H264(), 0)),
              4.0);
}

TEST(StepTarget, CountsWholeFrameTimesFromTheAnchor)
{
    struct Case {
        int64_t anchor;
        double rate;
        int64_t elapsed;
        int64_t frameTime;
        int64_t target;
    } const cases[] = {
        {10, 4.0, 0, 333333, 14},          // one step at once
        {10, 4.0, 333332, 333333, 14},     // not yet a whole frame time
        {10, 4.0, 333333, 333333, 18},     // one frame time: the second step
        {10, 4.0, 3333330, 333333, 54},    // ten frame times
        {100, -32.0, 666666, 333333, 4},   // reverse
        {10, -32.0, 0, 333333, -22},       // before the clip: the caller clamps
        {10, 2.0, 5, 0, 22},               // a frame time of 0 counts as 1
        {0, 1.0, -50, 333333, 1},          // time before the anchor counts as none
        {7, 0.5, 1000000, 1000000, 8},     // fractions of a frame are not reached
    };
    for (const Case &c : cases)
        EXPECT_EQ(StepTarget(c.anchor, c.rate, c.elapsed, c.frameTime), c.target)
            << c.anchor << " " << c.rate << " " << c.elapsed << " " << c.frameTime;
}

TEST_F(SessionTest, SteppingShowsEveryPublishedFrameAndAnnouncesItFirst)
{
    // The picture is announced before the position is published.
    int64_t announced = -1;
    QObject::connect(m_session, &CPlaybackSession::PictureChanged,
                     [&] { announced = m_session->ShownFrame(); });
    int announcedBeforePublish = 0;
    QObject::connect(m_ctl.get(), &CPlaybackController::PositionChanged, [&](const tagPLAYPOSITION &p) {
        if (p.pOrigin == m_session && announced == std::min<int64_t>(p.llFrame, 119))
            ++announcedBeforePublish;
    });
    m_published.clear();
    m_session->SetRate(4.0);
    ASSERT_EQ(m_session->Play(), S_OK);
    // Every tick moves 4 frames on; continuous play goes on into the second recording (opened
    // on frame 0) and ends on its last frame.
    ASSERT_TRUE(stepping::RunToRest(*m_session, m_clock));
    EXPECT_EQ(m_opened, std::vector<int>({0, 1}));
    std::vector<qint64> expected;
    for (int clip = 0; clip < 2; ++clip) {
        if (clip == 1)
            expected.push_back(0);
        for (qint64 f = 4; f <= 120; f += 4)
            expected.push_back(f);
    }
    // On the last recording the end of the clip publishes its last position once more.
    expected.push_back(120);
    const auto text = [](const std::vector<qint64> &v) {
        std::string t;
        for (qint64 f : v)
            t += std::to_string(f) + " ";
        return t;
    };
    EXPECT_EQ(text(m_published), text(expected));
    EXPECT_EQ(m_ctl->CurrentIndex(), 1);
    EXPECT_EQ(m_session->GetPlayState(), PlayState::Paused);
    EXPECT_EQ(m_publishedNotShown, 0);
    EXPECT_EQ(announcedBeforePublish, static_cast<int>(m_published.size()));
    // The picture on show is exactly the last frame.
    EXPECT_LT(clips::MeanDifference(m_session->NativeImage(), clips::FfmpegSelectFrame(clips::Mp4H264(), 119)),
              4.0);
}

TEST_F(SessionTest, TheClockAloneMovesStepping)
{
    // Ticks without time passing aim at the same frame again: no new step.
    m_session->SetRate(-2.0);
    QObject other;
    m_ctl->Seek(60, &other);
    m_published.clear();
    ASSERT_EQ(m_session->Play(), S_OK);
    ASSERT_TRUE(stepping::Settle(*m_session));
    m_clock.Advance100ns(m_ctl->FrameTime() - 1);
    ASSERT_TRUE(stepping::Settle(*m_session));
    EXPECT_EQ(m_published, std::vector<qint64>{58});
    m_clock.Advance100ns(1);
    ASSERT_TRUE(stepping::Settle(*m_session));
    EXPECT_EQ(m_published, (std::vector<qint64>{58, 56}));
    // Three frame times at once: the step goes straight to where the rate is.
    m_clock.Advance100ns(3 * m_ctl->FrameTime());
    ASSERT_TRUE(stepping::Settle(*m_session));
    EXPECT_EQ(m_published, (std::vector<qint64>{58, 56, 50}));
    EXPECT_EQ(m_session->ShownFrame(), 50);
    // Paused, the clock moves nothing.
    m_session->Pause();
    m_clock.Advance(1000);
    ASSERT_TRUE(stepping::Settle(*m_session));
    EXPECT_EQ(m_published, (std::vector<qint64>{58, 56, 50}));
}

TEST_F(SessionTest, ReverseFromTheFirstRecordingStopsOnFrameZero)
{
    m_ctl->Open(0);
    ASSERT_EQ(m_session->SeekToEnd(), S_OK);
    m_session->SetRate(-32.0);
    m_published.clear();
    ASSERT_EQ(m_session->Play(), S_OK);
    ASSERT_TRUE(stepping::RunToRest(*m_session, m_clock));
    EXPECT_EQ(m_session->GetPlayState(), PlayState::Stopped);
    EXPECT_EQ(m_ctl->Position(), 0);
    EXPECT_EQ(m_session->ShownFrame(), 0);
    EXPECT_EQ(m_publishedNotShown, 0);
    EXPECT_EQ(m_opened, std::vector<int>({0, 0}));
}

TEST_F(SessionTest, OtherViewsMoveThePicture)
{
    QObject other;
    m_ctl->Seek(77, &other);
    EXPECT_EQ(m_session->ShownFrame(), 77);
    EXPECT_LT(clips::MeanDifference(m_session->NativeImage(), clips::FfmpegSelectFrame(clips::Mp4H264(), 77)),
              4.0);
    // The session's own positions are not followed back.
    m_published.clear();
    m_ctl->Seek(5, m_session);
    EXPECT_EQ(m_session->ShownFrame(), 77);
}

TEST_F(SessionTest, TheNavigatorFallsBackToTheRecordingBeforeOrToNone)
{
    // A third "recording" that is no clip at all.
    const QString broken = m_card.filePath(QStringLiteral("20130512_083200N.mp4"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a clip");
    file.close();
    m_doc.LoadFolder();
    ASSERT_EQ(m_doc.Count(), 3);
    int bad = -1;
    for (int i = 0; i < 3; ++i)
        if (m_doc.MediaPathAt(i) == broken)
            bad = i;
    ASSERT_GE(bad, 0);
    const int good = bad == 0 ? 1 : 0;

    CRecordingNavigator &navigator = *m_ctl->Navigator();
    QStringList said;
    QObject::connect(&navigator, &CRecordingNavigator::Unplayable, [&] { said << "unplayable"; });
    QObject::connect(&navigator, &CRecordingNavigator::CurrentRowMoved,
                     [&](int before, int after) { said << QStringLiteral("row %1>%2").arg(before).arg(after); });
    QObject::connect(&navigator, &CRecordingNavigator::Opened, [&](int row) { said << QStringLiteral("opened %1").arg(row); });
    QObject::connect(&navigator, &CRecordingNavigator::NoneOpened, [&] { said << "none"; });

    m_ctl->Close();
    EXPECT_TRUE(navigator.Open(good));
    EXPECT_FALSE(navigator.Open(bad));
    EXPECT_EQ(m_ctl->CurrentIndex(), good);
    EXPECT_EQ(m_session->GetPlayState(), PlayState::Paused);
    const QString g = QString::number(good), b = QString::number(bad);
    EXPECT_EQ(said, (QStringList{"row -1>" + g, "opened " + g, "row " + g + ">" + b, "unplayable",
                                 "row " + b + ">" + g, "opened " + g}));

    // Nothing before it: nothing stays current.
    navigator.CloseCurrent();
    EXPECT_EQ(m_session->GetPlayState(), PlayState::Empty);
    said.clear();
    EXPECT_FALSE(navigator.Open(bad));
    EXPECT_EQ(m_ctl->CurrentIndex(), -1);
    EXPECT_EQ(said, (QStringList{"row -1>" + b, "unplayable", "row " + b + ">-1", "none"}));

    // After a reload the recording opens again where it was.
    EXPECT_TRUE(navigator.Reopen(m_doc.MediaPathAt(good), 50));
    EXPECT_EQ(m_ctl->CurrentIndex(), good);
    EXPECT_EQ(m_session->ShownFrame(), 50);
    EXPECT_FALSE(navigator.Reopen(m_card.filePath(QStringLiteral("gone.mp4")), 5));
}

TEST_F(SessionTest, NoticesSayWhatChangedAndWhoMovedThePosition)
{
    std::vector<std::string> heard;
    QObject view;
    QObject::connect(m_ctl.get(), &CPlaybackController::RecordingOpened, [&](const tagOPENEDRECORDING &r) {
        heard.push_back("opened " + std::to_string(r.nIndex) + " of " + std::to_string(r.llFrameCount) + " on " +
                        r.channels.value(0).strName.toStdString());
    });
    QObject::connect(m_ctl.get(), &CPlaybackController::RecordingClosed, [&] { heard.push_back("closed"); });
    QObject::connect(m_ctl.get(), &CPlaybackController::PositionChanged, [&](const tagPLAYPOSITION &p) {
        const char *who = p.pOrigin == m_session ? "playback" : p.pOrigin == &view ? "a view" : "elsewhere";
        heard.push_back("position " + std::to_string(p.llFrame) + " by " + who);
    });
    QObject::connect(m_ctl.get(), &CPlaybackController::RateChanged,
                     [&](double rate) { heard.push_back("rate " + std::to_string(int(rate))); });
    QObject::connect(&m_doc, &CCorvanaDoc::CatalogueReset, [&] { heard.push_back("catalogue"); });

    m_ctl->Open(1);
    m_ctl->Seek(7, &view);
    m_ctl->SetRate(-4.0);
    m_ctl->SetRate(-4.0); // the same rate again is no change
    m_doc.NotifyCatalogueReset();
    EXPECT_EQ(heard, (std::vector<std::string>{"opened 1 of 120 on front", "position 0 by playback",
                                                "position 7 by a view", "rate -4", "catalogue"}));
    // The controller is the one place the position is kept; the session shows it.
    EXPECT_EQ(m_ctl->Position(), 7);
    EXPECT_EQ(m_session->ShownFrame(), 7);
    EXPECT_EQ(m_ctl->LastPosition().pOrigin, &view);

    heard.clear();
    m_ctl->Close();
    EXPECT_EQ(heard.back(), "closed");
    EXPECT_EQ(m_ctl->CurrentIndex(), -1);
    EXPECT_FALSE(m_ctl->HasRecording());
    EXPECT_EQ(m_ctl->FrameCount(), 0);
}
