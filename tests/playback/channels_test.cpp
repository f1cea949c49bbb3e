// A recording of several cameras plays in step: every channel shows its picture of the main
// channel's moment, as ffmpeg decodes that frame of its own clip, and none past its end.
#include "clipfactory.h"

#include "fixtures/stepping.h"

#include "base/frametime.h"
#include "catalogue/corvanadoc.h"
#include "media/mediagraph.h"
#include "playback/playbackcontroller.h"
#include "playback/snapshot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Front: 2 s at 30 fps, H.264 in MP4. Rear: 1.2 s at 25 fps and another size, with B-frames.
class ChannelsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_card.isValid());
        m_front = clips::Make(QStringLiteral("channel-front.mp4"),
                              {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=30:d=2", "-c:v", "libx264", "-preset",
                               "ultrafast", "-g", "15", "-pix_fmt", "yuv420p"});
        m_rear = clips::Make(QStringLiteral("channel-rear.mp4"),
                             {"-f", "lavfi", "-i", "testsrc2=s=240x180:r=25:d=1.2", "-vf", "hflip", "-c:v", "libx264",
                              "-preset", "ultrafast", "-bf", "2", "-g", "10", "-pix_fmt", "yuv420p"});
        ASSERT_FALSE(m_front.isEmpty());
        ASSERT_FALSE(m_rear.isEmpty());
        ASSERT_TRUE(QDir().mkpath(m_card.filePath(QStringLiteral("DCIM/Movie"))));
        m_frontCard = m_card.filePath(QStringLiteral("DCIM/Movie/2024_0315_081500_0001F.MP4"));
        m_rearCard = m_card.filePath(QStringLiteral("DCIM/Movie/2024_0315_081500_0002R.MP4"));
        ASSERT_TRUE(QFile::copy(m_front, m_frontCard));
        ASSERT_TRUE(QFile::copy(m_rear, m_rearCard));
        m_doc.SetFolder(m_card.path());
        m_doc.LoadFolder();
        ASSERT_EQ(m_doc.Count(), 1);
        m_ctl = std::make_unique<CPlaybackController>(&m_doc);
        m_ctl->SetStepClock(&m_clock);
        m_ctl->SetVideoArea(QRect(0, 0, 640, 480));
        ASSERT_TRUE(m_ctl->Open(0));
        ASSERT_EQ(m_ctl->Channels(), 2);
    }

    // Waits until every channel's picture asked for has arrived.
    bool Settle()
    {
        for (int i = 0; i < m_ctl->Channels(); ++i)
            if (!stepping::Settle(*m_ctl->Session(i)))
                return false;
        return true;
    }

    QTemporaryDir m_card;
    QString m_front, m_rear, m_frontCard, m_rearCard;
    CCorvanaDoc m_doc;
    CManualStepClock m_clock;
    std::unique_ptr<CPlaybackController> m_ctl;
};

} // namespace

TEST_F(ChannelsTest, EveryChannelShowsItsPictureOfTheMoment)
{
    const tagOPENEDRECORDING &rec = m_ctl->Recording();
    ASSERT_EQ(rec.channels.size(), 2);
    EXPECT_EQ(rec.channels[0].strName, QStringLiteral("front"));
    EXPECT_EQ(rec.channels[1].strMediaPath, m_rearCard);
    EXPECT_EQ(m_ctl->FrameCount(), 60) << "the main channel measures the recording";
    const QObject origin;
    // Main frame -> the rear's frame whose span holds its moment (25 against 30 a second);
    // past 1.2 s the rear has none.
    const struct {
        int64_t main;
        int64_t rear;
    } cases[] = {{7, 5}, {29, 24}, {35, 29}, {36, -1}, {59, -1}, {12, 10}, {0, 0}};
    ASSERT_EQ(m_ctl->Session(1)->Graph()->FrameCount(), 30);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.main);
        m_ctl->Seek(c.main, &origin);
        ASSERT_TRUE(Settle());
        EXPECT_EQ(m_ctl->ChannelFrame(0), c.main);
        EXPECT_EQ(m_ctl->ChannelFrame(1), c.rear);
        EXPECT_EQ(m_ctl->ChannelImage(1).isNull(), c.rear < 0);
        if (c.rear >= 0) {
            EXPECT_LT(clips::MeanDifference(m_ctl->Session(1)->NativeImage(), clips::FfmpegPicture(m_rear, c.rear)),
                      4.0);
        }
    }
}

TEST_F(ChannelsTest, SteppingAtEveryRateKeepsTheChannelsInStep)
{
    for (const double rate : {4.0, -4.0, 2.0}) {
        SCOPED_TRACE(rate);
        int outOfStep = 0, positions = 0;
        const auto check = QObject::connect(m_ctl.get(), &CPlaybackController::PositionChanged,
                                            [&](const tagPLAYPOSITION &p) {
                                                ++positions;
                                                const int64_t want = m_ctl->ChannelFrameAt(1, p.llFrame);
                                                if (want >= 0 && m_ctl->Session(1)->Position() != want)
                                                    ++outOfStep;
                                            });
        const QObject origin;
        m_ctl->Seek(rate < 0 ? 59 : 0, &origin);
        m_ctl->SetRate(rate);
        ASSERT_EQ(m_ctl->Play(), S_OK);
        ASSERT_TRUE(stepping::RunToRest(*m_ctl->MainSession(), m_clock));
        ASSERT_TRUE(Settle());
        QObject::disconnect(check);
        EXPECT_GT(positions, 5);
        EXPECT_EQ(outOfStep, 0);
        // Where it rests, the rear shows exactly its picture of that moment, or none.
        const int64_t rear = m_ctl->ChannelFrameAt(1, std::min<int64_t>(m_ctl->Position(), 59));
        EXPECT_EQ(m_ctl->ChannelFrame(1), rear);
        if (rear >= 0) {
            EXPECT_LT(clips::MeanDifference(m_ctl->Session(1)->NativeImage(), clips::FfmpegPicture(m_rear, rear)),
                      4.0);
        }
    }
}

TEST_F(ChannelsTest, SnapshotsSaveEveryShownChannelUnderItsOwnClipsName)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QObject origin;
    for (const int64_t frame : {12, 40}) {
        m_ctl->Seek(frame, &origin);
        ASSERT_TRUE(Settle());
        QStringList written;
        EXPECT_EQ(SaveSnapshots(*m_ctl, out.path(), &written), QString::fromLatin1(kSnapshotSaved));
        QStringList names;
        for (const QString &path : written)
            names << QFileInfo(path).fileName();
        // At 40 the rear (1.2 s) has no picture: the front alone is saved.
        EXPECT_EQ(names, frame == 12 ? QStringList({"2024_0315_081500_0001F_12.jpg", "2024_0315_081500_0002R_10.jpg"})
                                     : QStringList({"2024_0315_081500_0001F_40.jpg"}));
    }
}

TEST(ChannelFrames, TheFrameWhoseSpanHoldsTheMoment)
{
    // Durations and frame counts (100 ns): 30 fps against 25 fps, a boundary both share (main
    // frame 12 and rear frame 10 start at 0.4 s), an hour-long clip, clips without measures.
    const struct {
        int64_t frame, mainDuration, mainFrames, channelDuration, channelFrames, expected;
    } cases[] = {
        {0, 20000000, 60, 12000000, 30, 0},       {7, 20000000, 60, 12000000, 30, 5},
        {12, 20000000, 60, 12000000, 30, 10},     {35, 20000000, 60, 12000000, 30, 29},
        {36, 20000000, 60, 12000000, 30, -1},     {10, 12000000, 30, 20000000, 60, 12},
        {107999, 36000000000, 108000, 36000000000, 90000, 89999},
        {5, 0, 60, 12000000, 30, -1},             {5, 20000000, 60, 12000000, 0, -1},
        {-1, 20000000, 60, 12000000, 30, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ChannelFrameOfMoment(c.frame, c.mainDuration, c.mainFrames, c.channelDuration, c.channelFrames),
                  c.expected)
            << c.frame;
}
