// Playback without any widget: the session steps, publishes and ends clips on its own, with a
// document and a host of a few lines, as the CLI and the video pane drive it.
#include "clipfactory.h"
#include "testsupport.h"

#include "catalogue/corvanadoc.h"
#include "playback/mediagraph.h"
#include "playback/playbacksession.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Continuous play on; opening a recording does what the list does.
class CFakeHost : public IPlaybackHost
{
public:
    CFakeHost(CCorvanaDoc *doc, CPlaybackSession **session) : m_doc(doc), m_session(session) {}
    int ContinuousPlay() const override { return continuous; }
    void OpenRecordingFromList(int index) override
    {
        opened.push_back(index);
        m_doc->SetCurrentIndex(index);
        m_doc->SetCurrentMediaPath(m_doc->MediaPathAt(index));
        (*m_session)->OpenCurrentRecording();
    }
    void ApplyVolumeSetting() override { ++volumeApplied; }
    void EnableSingleViewButtons(int) override {}

    int continuous = 1;
    std::vector<int> opened;
    int volumeApplied = 0;

private:
    CCorvanaDoc *m_doc;
    CPlaybackSession **m_session;
};

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
        m_session = new CPlaybackSession(&m_doc, &m_host);
        QObject::connect(&m_doc, &CCorvanaDoc::ViewsUpdated, [this](QObject *sender, qint64) {
            if (sender != m_session)
                return;
            // What was published is what the session shows (the last picture at the end).
            const int64_t count = m_session->Graph()->FrameCount();
            m_published.push_back(m_doc.CurrentPosition());
            if (m_session->ShownFrame() != std::min<int64_t>(m_doc.CurrentPosition(), count - 1))
                ++m_publishedNotShown;
        });
        m_host.OpenRecordingFromList(0);
    }
    void TearDown() override { delete m_session; }

    QTemporaryDir m_card;
    CCorvanaDoc m_doc;
    CPlaybackSession *m_session = nullptr;
    CFakeHost m_host{&m_doc, &m_session};
    std::vector<qint64> m_published;
    int m_publishedNotShown = 0;
};

} // namespace

TEST_F(SessionTest, OpensPausedOnFrameZeroAndMeasuresTheClip)
{
    EXPECT_EQ(m_session->GetPlayState(), PlayState::Paused);
    EXPECT_EQ(m_doc.LastPosition(), 120);
    EXPECT_EQ(m_session->TimerPeriod(), 33);
    EXPECT_EQ(m_session->ShownFrame(), 0);
    EXPECT_EQ(m_published, std::vector<qint64>{0});
    EXPECT_EQ(m_host.volumeApplied, 1);
    EXPECT_LT(clips::MeanDifference(m_session->ShownImage(), clips::FfmpegSelectFrame(clips::Mp4H264(), 0)),
              4.0);
}

TEST_F(SessionTest, SteppingShowsEveryPublishedFrameAndAnnouncesItFirst)
{
    // The picture is announced before the position is published.
    int64_t announced = -1;
    QObject::connect(m_session, &CPlaybackSession::PictureChanged,
                     [&] { announced = m_session->ShownFrame(); });
    int announcedBeforePublish = 0;
    QObject::connect(&m_doc, &CCorvanaDoc::ViewsUpdated, [&](QObject *sender, qint64) {
        if (sender == m_session && announced == std::min<int64_t>(m_doc.CurrentPosition(), 119))
            ++announcedBeforePublish;
    });
    m_published.clear();
    m_session->SetRate(4.0);
    ASSERT_EQ(m_session->Play(), S_OK);
    // Continuous play goes on into the second recording and ends on its last frame.
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return m_host.opened.size() == 2 && m_session->GetPlayState() != PlayState::Running; }, 30000));
    EXPECT_EQ(m_doc.CurrentIndex(), 1);
    EXPECT_EQ(m_doc.CurrentPosition(), 120);
    EXPECT_EQ(m_publishedNotShown, 0);
    EXPECT_EQ(announcedBeforePublish, static_cast<int>(m_published.size()));
    // Forward all the way: every published position is further on, except where the next
    // recording starts again at 0.
    ASSERT_GE(m_published.size(), 10u);
    int restarts = 0;
    for (size_t i = 1; i < m_published.size(); ++i) {
        if (m_published[i] < m_published[i - 1])
            ++restarts;
        EXPECT_LE(m_published[i] - m_published[i - 1], 120);
    }
    EXPECT_EQ(restarts, 1);
    // The picture on show is exactly the last frame.
    EXPECT_LT(clips::MeanDifference(m_session->ShownImage(), clips::FfmpegSelectFrame(clips::Mp4H264(), 119)),
              4.0);
}

TEST_F(SessionTest, ReverseFromTheFirstRecordingStopsOnFrameZero)
{
    m_host.OpenRecordingFromList(0);
    ASSERT_EQ(m_session->SeekToEnd(), S_OK);
    m_session->SetRate(-32.0);
    m_published.clear();
    ASSERT_EQ(m_session->Play(), S_OK);
    ASSERT_TRUE(ProcessEventsUntil([&] { return m_session->GetPlayState() != PlayState::Running; }, 20000));
    EXPECT_EQ(m_session->GetPlayState(), PlayState::Stopped);
    EXPECT_EQ(m_doc.CurrentPosition(), 0);
    EXPECT_EQ(m_session->ShownFrame(), 0);
    EXPECT_EQ(m_publishedNotShown, 0);
    EXPECT_EQ(m_host.opened, std::vector<int>({0, 0}));
}

TEST_F(SessionTest, OtherViewsMoveThePicture)
{
    QObject other;
    m_doc.SetCurrentPosition(77);
    m_doc.UpdateAllViews(&other, 0);
    EXPECT_EQ(m_session->ShownFrame(), 77);
    EXPECT_LT(clips::MeanDifference(m_session->ShownImage(), clips::FfmpegSelectFrame(clips::Mp4H264(), 77)),
              4.0);
    // The session's own broadcasts are not followed back.
    m_published.clear();
    m_doc.SetCurrentPosition(5);
    m_doc.UpdateAllViews(m_session, 0);
    EXPECT_EQ(m_session->ShownFrame(), 77);
}
