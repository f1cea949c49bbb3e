// What the play view shows on screen while it plays: at every rate, forward and backward, on a
// short clip that is all in the picture cache and on a 1080p clip that is not, the picture that
// reached the screen is the frame the document publishes (compared with ffmpeg's own decode).
#include "framefixture.h"

#include "fixtures/stepping.h"
#include "screen/screencheck.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <algorithm>
#include <set>

using namespace frametest;

namespace {

// Both clips burn their picture number in, so that neighbouring pictures differ clearly.
QStringList NumberedSource(const QString &size, int seconds)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc2=s=%1:r=30:d=%2,drawtext=text='%{n}':fontsize=h/3:x=w/10:y=h/10:"
                           "fontcolor=white:box=1:boxcolor=black")
                .arg(size)
                .arg(seconds)};
}

QString ShortClip()
{
    return MakeClip(QStringLiteral("onscreen-short.mp4"),
                    NumberedSource(QStringLiteral("320x240"), 3) + QStringList{"-c:v", "libx264", "-preset",
                                                                               "ultrafast", "-g", "10",
                                                                               "-pix_fmt", "yuv420p"});
}

// 300 pictures of 1920x1080 with B-frames: about 900 MB decoded, far over the cache.
QString LargeClip()
{
    return MakeClip(QStringLiteral("onscreen-1080p.mp4"),
                    NumberedSource(QStringLiteral("1920x1080"), 10) +
                        QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-bf", "2", "-g", "30",
                                    "-pix_fmt", "yuv420p"});
}

// References are compared at this size: small enough to keep every picture of the long clip.
const QSize kReferenceSize(160, 90);

struct tagSAMPLE {
    qint64 published;
    QImage shown;
};

class OnScreenTest : public FrameTest
{
protected:
    void SetUp() override
    {
        FrameTest::SetUp();
        m_clips = {ShortClip(), LargeClip()};
        for (const QString &clip : m_clips)
            ASSERT_FALSE(clip.isEmpty());
        ASSERT_TRUE(m_card.isValid());
        const QStringList names{QStringLiteral("20130512_083000N.mp4"),
                                QStringLiteral("20130512_083100N.mp4")};
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(QFile::link(m_clips[i], m_card.filePath(names[i])));
        m_prompt.QueueFolder(m_card.path());
        ASSERT_TRUE(m_frame->Command(32791));
        ASSERT_EQ(m_list->RowCount(), 2);
    }

    // Opens the row showing clip i; returns ffmpeg's pictures of it.
    const std::vector<QImage> &Open(int clip)
    {
        const QString name = clip == 0 ? QStringLiteral("083000N.mp4") : QStringLiteral("083100N.mp4");
        for (int row = 0; row < m_list->RowCount(); ++row) {
            if (QFileInfo(m_doc->MediaPathAt(row)).fileName().endsWith(name)) {
                EXPECT_TRUE(OpenRow(row));
            }
        }
        return screencheck::FfmpegFrames(m_clips[clip], kReferenceSize);
    }

    tagSAMPLE Sample() const
    {
        // The position first, then only the repaints asked for so far: nothing in between can
        // move the position (no timer or queued signal runs).
        const qint64 published = m_ctl->Position();
        screencheck::FlushRepaints();
        return {published, screencheck::GrabShown(m_play, m_play->Graph()->VideoRect())};
    }

    // Plays at `rate` from where the clip stands and samples the screen at each new position, at
    // most maxSamples times, then pauses and samples once more. Stepped rates move one tick of the
    // step clock at a time, each step's picture waited for; 1x runs the graph in real time and is
    // sampled whenever the published frame moved on.
    std::vector<tagSAMPLE> PlaySampling(double rate, int maxSamples)
    {
        std::vector<tagSAMPLE> samples;
        CPlaybackSession &session = *m_play->Session();
        const auto running = [this] { return m_play->GetPlayState() == PlayState::Running; };
        m_ctl->SetRate(rate);
        m_ctl->Play();
        while (static_cast<int>(samples.size()) < maxSamples && running()) {
            if (rate == 1.0) {
                const qint64 before = samples.empty() ? -1 : samples.back().published;
                if (!QTest::qWaitFor([&] { return m_ctl->Position() != before || !running(); }, 20000))
                    break;
                if (!running())
                    break;
            } else {
                EXPECT_TRUE(stepping::Settle(session));
            }
            samples.push_back(Sample());
            if (rate != 1.0)
                m_clock.Advance100ns(m_ctl->FrameTime());
        }
        EXPECT_TRUE(stepping::Settle(session));
        m_ctl->Pause();
        samples.push_back(Sample());
        return samples;
    }

    // Stepped rates: sample i (before the last) was taken after i + 1 steps from `start`.
    void ExpectStepsOfTheRate(const std::vector<tagSAMPLE> &samples, qint64 start, double rate)
    {
        const qint64 last = m_ctl->FrameCount();
        for (size_t i = 0; i + 1 < samples.size(); ++i) {
            const qint64 target = start + static_cast<qint64>(rate) * static_cast<qint64>(i + 1);
            EXPECT_EQ(samples[i].published, std::clamp<qint64>(target, 0, last)) << "step " << i;
        }
    }

    // Every sample shows the published frame (the last picture at the end position); returns
    // how many different frames were seen.
    int ExpectShownIsPublished(const std::vector<tagSAMPLE> &samples, const std::vector<QImage> &references)
    {
        const qint64 count = static_cast<qint64>(references.size());
        std::set<int> seen;
        for (size_t i = 0; i < samples.size(); ++i) {
            const qint64 expected = std::min(samples[i].published, count - 1);
            const screencheck::tagMATCH match = screencheck::MatchFrame(samples[i].shown, references);
            EXPECT_EQ(match.frame, expected)
                << "sample " << i << " of " << samples.size() << ", PSNR " << match.psnr << " dB";
            EXPECT_GT(match.psnr, 20.0) << "sample " << i;
            seen.insert(match.frame);
            m_worstPsnr = std::min(m_worstPsnr, match.psnr);
            m_worstMargin = std::min(m_worstMargin, match.psnr - match.secondPsnr);
        }
        return static_cast<int>(seen.size());
    }

    QStringList m_clips;
    QTemporaryDir m_card;
    double m_worstPsnr = 100.0;
    double m_worstMargin = 100.0;
};

} // namespace

TEST_F(OnScreenTest, EveryRateShowsThePublishedFrame)
{
    const double rates[] = {1.0, 2.0, 4.0, 32.0, -1.0, -4.0, -32.0};
    for (int clip : {0, 1}) {
        const std::vector<QImage> &references = Open(clip);
        ASSERT_EQ(static_cast<qint64>(references.size()), m_ctl->FrameCount());
        for (double rate : rates) {
            SCOPED_TRACE(QStringLiteral("clip %1 at %2x").arg(clip).arg(rate).toStdString());
            // Forward from a third in, backward from two thirds in: room for several steps.
            const qint64 start = rate > 0 ? m_ctl->FrameCount() / 3 : 2 * m_ctl->FrameCount() / 3;
            m_ctl->Seek(start, m_list);
            const std::vector<tagSAMPLE> samples = PlaySampling(rate, 12);
            ASSERT_GE(samples.size(), 2u);
            const int distinct = ExpectShownIsPublished(samples, references);
            if (rate != 1.0)
                ExpectStepsOfTheRate(samples, start, rate);
            // The picture moves on screen while playing (a frozen one is the fault looked for):
            // three pictures at least, or as many as the steps to the end allow.
            const qint64 room = rate > 0 ? m_ctl->FrameCount() - start : start;
            EXPECT_GE(distinct, std::min<qint64>(3, room / std::llabs(static_cast<qint64>(rate)) + 1))
                << samples.size() << " samples";
        }
    }
    RecordProperty("worst_psnr_db", QString::number(m_worstPsnr, 'f', 1).toStdString());
    RecordProperty("worst_margin_db", QString::number(m_worstMargin, 'f', 1).toStdString());
}

TEST_F(OnScreenTest, SteppingIntoAnEndShowsWhatToTheEndShows)
{
    for (int clip : {0, 1}) {
        const std::vector<QImage> &references = Open(clip);
        for (double rate : {32.0, -32.0, 4.0}) {
            SCOPED_TRACE(QStringLiteral("clip %1 at %2x").arg(clip).arg(rate).toStdString());
            const qint64 last = m_ctl->FrameCount();
            m_ctl->Seek(rate > 0 ? last - 20 : 20, m_list);
            const std::vector<tagSAMPLE> samples = PlaySampling(rate, 50);
            ExpectShownIsPublished(samples, references);
            ExpectStepsOfTheRate(samples, rate > 0 ? last - 20 : 20, rate);
            ASSERT_EQ(samples.back().published, rate > 0 ? last : 0) << "the stepping ran into the end";
            const QImage atEnd = samples.back().shown;

            // The commands a user would give to be sure: the same picture.
            if (rate > 0)
                m_ctl->SeekToEnd();
            else
                m_ctl->SeekToBeginning();
            const tagSAMPLE commanded = Sample();
            EXPECT_EQ(commanded.published, rate > 0 ? last : 0);
            EXPECT_EQ(screencheck::Psnr(atEnd, commanded.shown), 100.0);
            EXPECT_EQ(screencheck::MatchFrame(commanded.shown, references).frame, rate > 0 ? last - 1 : 0);
        }
    }
}

TEST_F(OnScreenTest, TheGrabSeesAMissingRepaint)
{
    // The helper's promise, on the real view: a widget that is not repainted keeps its old
    // picture on screen, even though it would paint the new one if asked.
    const std::vector<QImage> &references = Open(0);
    m_ctl->SeekToBeginning();
    const tagSAMPLE first = Sample();
    ASSERT_EQ(screencheck::MatchFrame(first.shown, references).frame, 0);
    // Move the graph behind the view's back: no announcement is handled, no repaint asked.
    m_play->Graph()->SeekToFrame(40);
    const tagSAMPLE stale = Sample();
    EXPECT_EQ(screencheck::MatchFrame(stale.shown, references).frame, 0);
    // Once the graph's announcement is handled, the screen follows and the frame is published.
    ASSERT_TRUE(WaitFor([this] { return m_ctl->Position() == 40; }, 5000));
    const tagSAMPLE moved = Sample();
    EXPECT_EQ(moved.published, 40);
    EXPECT_EQ(screencheck::MatchFrame(moved.shown, references).frame, 40);
}
