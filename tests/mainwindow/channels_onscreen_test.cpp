// A recording of two cameras as the user sees it: in every layout the front's and the rear's
// pixels on screen against ffmpeg's decode of the frame each shows for the moment, paused and
// while stepping; "no picture" where the shorter rear has none.
#include "framefixture.h"

#include "fixtures/stepping.h"

#include "base/frametime.h"
#include "screen/screencheck.h"
#include "skin/commandids.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTest>

using namespace frametest;

namespace {

// Front 826x464 at 30 a second for 4 s, rear 640x480 at 25 a second for 2 s, numbers burnt in.
QString Camera(const char *name, const char *source)
{
    return MakeClip(QString::fromLatin1(name),
                    {"-f", "lavfi", "-i",
                     QString::fromLatin1(source) +
                         QStringLiteral(",drawtext=text='%{n}':fontsize=h/3:x=w/10:y=h/10:fontcolor=white:"
                                        "box=1:boxcolor=black"),
                     "-c:v", "libx264", "-preset", "ultrafast", "-bf", "2", "-g", "30", "-pix_fmt", "yuv420p"});
}

class ChannelsOnScreenTest : public FrameTest
{
protected:
    void SetUp() override
    {
        FrameTest::SetUp();
        m_front = Camera("channels-front-826.mp4", "testsrc2=s=826x464:r=30:d=4");
        m_rear = Camera("channels-rear-640.mp4", "testsrc2=s=640x480:r=25:d=2,hflip");
        ASSERT_FALSE(m_front.isEmpty());
        ASSERT_FALSE(m_rear.isEmpty());
        ASSERT_TRUE(m_card.isValid());
        const QString movie = m_card.filePath(QStringLiteral("DCIM/Movie"));
        ASSERT_TRUE(QDir().mkpath(movie));
        ASSERT_TRUE(QFile::link(m_front, movie + QStringLiteral("/2024_0315_081500_0001F.MP4")));
        ASSERT_TRUE(QFile::link(m_rear, movie + QStringLiteral("/2024_0315_081500_0002R.MP4")));
        m_prompt.QueueFolder(m_card.path());
        ASSERT_TRUE(m_frame->Command(ID_FILE_SET_FOLDER));
        ASSERT_TRUE(OpenRow(0));
        ASSERT_EQ(m_ctl->Channels(), 2);
        m_frontFrames = &screencheck::FfmpegFrames(m_front, QSize(160, 90));
        m_rearFrames = &screencheck::FfmpegFrames(m_rear, QSize(160, 120));
        ASSERT_EQ(static_cast<qint64>(m_frontFrames->size()), m_ctl->FrameCount());
        ASSERT_EQ(m_rearFrames->size(), 50u);
    }
    void TearDown() override
    {
        m_frame->Command(ID_VIEW_CHANNELS_PIP); // the layout is remembered for the next start
        FrameTest::TearDown();
    }

    bool Settled()
    {
        for (int i = 0; i < m_ctl->Channels(); ++i)
            if (!stepping::Settle(*m_ctl->Session(i)))
                return false;
        screencheck::FlushRepaints();
        return WaitFor([this] { return m_play->PaintedFrame() == m_ctl->ChannelFrame(0); }, 5000);
    }

    // What the screen shows for main frame `frame`: the front's picture is that frame, the rear's
    // is its frame of the moment, or a dark "no picture" box.
    void ExpectOnScreen(int64_t frame)
    {
        SCOPED_TRACE(frame);
        const QImage shown = screencheck::GrabShown(m_play);
        const screencheck::tagMATCH front =
            screencheck::MatchFrame(shown.copy(m_play->Graph()->VideoRect()), *m_frontFrames);
        EXPECT_EQ(front.frame, frame);
        const int64_t rear = ChannelFrameOfMoment(frame, m_ctl->Duration(), m_ctl->FrameCount(),
                                                  m_ctl->Session(1)->Graph()->Duration(), 50);
        ASSERT_EQ(m_ctl->ChannelFrame(1), rear);
        if (rear >= 0) {
            // Inside the small picture's frame line.
            const QRect place = m_ctl->Session(1)->Graph()->VideoRect().adjusted(2, 2, -2, -2);
            const screencheck::tagMATCH match = screencheck::MatchFrame(shown.copy(place), *m_rearFrames);
            EXPECT_EQ(match.frame, rear);
            EXPECT_GT(match.psnr, match.secondPsnr + 1.0);
        } else {
            const QImage box = shown.copy(m_ctl->ChannelRect(1)).scaled(8, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            int dark = 0;
            for (int y = 0; y < box.height(); ++y)
                for (int x = 0; x < box.width(); ++x)
                    dark += qGray(box.pixel(x, y)) < 60 ? 1 : 0;
            EXPECT_GT(dark, 48) << "the rear's place shows no picture";
        }
    }

    QTemporaryDir m_card;
    QString m_front, m_rear;
    const std::vector<QImage> *m_frontFrames = nullptr;
    const std::vector<QImage> *m_rearFrames = nullptr;
};

} // namespace

TEST_F(ChannelsOnScreenTest, EveryLayoutShowsBothCamerasOfTheMoment)
{
    for (const int command : {ID_VIEW_CHANNELS_PIP, ID_VIEW_CHANNELS_SIDE, ID_VIEW_CHANNELS_GRID}) {
        SCOPED_TRACE(command);
        ASSERT_TRUE(m_frame->Command(command));
        EXPECT_TRUE(m_frame->IsCommandChecked(command));
        EXPECT_FALSE(m_ctl->ChannelRect(1).intersects(m_ctl->ChannelRect(0)) && command != ID_VIEW_CHANNELS_PIP);
        for (const int64_t frame : {10, 59, 61, 100}) {
            m_ctl->Seek(frame, m_list);
            ASSERT_TRUE(Settled());
            ExpectOnScreen(frame);
        }
    }
}

TEST_F(ChannelsOnScreenTest, SteppingAtFourTimesKeepsTheCamerasInStepOnScreen)
{
    ASSERT_TRUE(m_frame->Command(ID_VIEW_CHANNELS_SIDE));
    for (const double rate : {4.0, -4.0}) {
        SCOPED_TRACE(rate);
        m_ctl->Seek(rate > 0 ? 0 : 80, m_list);
        ASSERT_TRUE(Settled());
        m_ctl->SetRate(rate);
        ASSERT_EQ(m_ctl->Play(), S_OK);
        for (int tick = 0; tick < 8; ++tick) {
            ASSERT_TRUE(stepping::Tick(*m_ctl->MainSession(), m_clock));
            ASSERT_TRUE(Settled());
            ExpectOnScreen(m_ctl->ChannelFrame(0));
        }
        m_ctl->Pause();
    }
}

TEST_F(ChannelsOnScreenTest, ADoubleClickPutsACameraFirstAndTheMirrorTurnsOnlyTheRearOnScreen)
{
    ASSERT_TRUE(m_frame->Command(ID_VIEW_CHANNELS_PIP));
    m_ctl->Seek(20, m_list);
    ASSERT_TRUE(Settled());
    const int64_t rear = m_ctl->ChannelFrameAt(1, 20);
    // On the small rear picture: the rear takes the whole pane, the front goes small.
    QTest::mouseDClick(m_play, Qt::LeftButton, {}, m_ctl->ChannelRect(1).center());
    EXPECT_EQ(m_ctl->LeadChannel(), 1);
    EXPECT_EQ(m_ctl->ChannelRect(1), m_play->rect());
    ASSERT_TRUE(Settled());
    ASSERT_TRUE(WaitFor([this] { return m_ctl->Session(1)->Graph()->VideoRect().size() == m_play->size(); }, 5000));
    const QImage shown = screencheck::GrabShown(m_play);
    EXPECT_EQ(screencheck::MatchFrame(shown.copy(m_ctl->ChannelRect(0).adjusted(2, 2, -2, -2)), *m_frontFrames).frame, 20);
    const QRect small = m_ctl->ChannelRect(0);
    {
        // The big picture, without the small one over it.
        QImage big = screencheck::GrabShown(m_play);
        QPainter(&big).fillRect(small.adjusted(-2, -2, 2, 2), Qt::black);
        EXPECT_EQ(screencheck::MatchFrame(big, *m_rearFrames).frame, rear);
    }
    // The mirror: the rear (recorded flipped here) shows as the source was drawn; saved pictures
    // stay as recorded.
    std::vector<QImage> mirrored;
    for (const QImage &image : *m_rearFrames)
        mirrored.push_back(image.mirrored(true, false));
    ASSERT_TRUE(m_frame->Command(ID_VIEW_MIRROR_REAR));
    EXPECT_TRUE(m_frame->IsCommandChecked(ID_VIEW_MIRROR_REAR));
    screencheck::FlushRepaints();
    {
        QImage big = screencheck::GrabShown(m_play);
        QPainter(&big).fillRect(small.adjusted(-2, -2, 2, 2), Qt::black);
        const screencheck::tagMATCH match = screencheck::MatchFrame(big, mirrored);
        EXPECT_EQ(match.frame, rear);
        EXPECT_GT(match.psnr, screencheck::MatchFrame(big, *m_rearFrames).psnr + 3.0);
    }
    ASSERT_TRUE(m_frame->Command(ID_VIEW_MIRROR_REAR));
    // Back on the small front: the front is first again.
    QTest::mouseDClick(m_play, Qt::LeftButton, {}, small.center());
    EXPECT_EQ(m_ctl->LeadChannel(), 0);
    ASSERT_TRUE(Settled());
    ExpectOnScreen(20);
}
