// The grid of consecutive frames without widgets: where it starts, how its panes step, follow and
// end, clips shorter than the grid, and the JPEG snapshots of the single view and marked panes.
#include "clipfactory.h"
#include "testsupport.h"

#include "fixtures/stepping.h"

#include "catalogue/corvanadoc.h"
#include "media/mediagraph.h"
#include "playback/playbackcontroller.h"
#include "playback/playbackpane.h"
#include "playback/playbacksession.h"
#include "playback/snapshot.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

#include <unistd.h>

namespace {

QString TenFrameClip()
{
    return clips::Make(QStringLiteral("ten-frames.mp4"),
                       {"-f", "lavfi", "-i", "testsrc2=s=160x120:r=30", "-frames:v", "10", "-c:v", "libx264",
                        "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
}

class GridTest : public ::testing::Test
{
protected:
    void Open(const QString &clip)
    {
        ASSERT_FALSE(clip.isEmpty());
        m_clip = clip;
        m_ctl = std::make_unique<CPlaybackController>(&m_doc);
        m_ctl->SetStepClock(&m_clock);
        m_session = m_ctl->MainSession();
        QObject::connect(m_ctl.get(), &CPlaybackController::LayoutChanged,
                         [this](int multi) { m_buttonsMulti.push_back(multi); });
        QObject::connect(m_ctl.get(), &CPlaybackController::LayoutProgress,
                         [this](int percent) { m_progress.push_back(percent); });
        QObject::connect(m_ctl.get(), &CPlaybackController::LayoutProgressHidden, [this] { m_progress.push_back(-1); });
        ASSERT_EQ(m_ctl->OpenFile(clip), S_OK);
    }
    void GoTo(int64_t frame)
    {
        QObject other;
        m_ctl->Seek(frame, &other);
    }
    std::vector<int64_t> PaneFrames() const
    {
        std::vector<int64_t> frames;
        for (int i = 0; i < m_session->Panes(); ++i)
            frames.push_back(m_session->Pane(i)->ShownFrame());
        return frames;
    }
    static std::vector<int64_t> Run(int64_t first, int count)
    {
        std::vector<int64_t> frames;
        for (int i = 0; i < count; ++i)
            frames.push_back(first + i);
        return frames;
    }
    // Every pane's picture is ffmpeg's decode of the frame it names.
    void ExpectPicturesMatch() const
    {
        const auto &reference = clips::FfmpegFrames(m_clip);
        for (int i = 0; i < m_session->Panes(); ++i) {
            const CPlaybackPane *pane = m_session->Pane(i);
            ASSERT_GE(pane->ShownFrame(), 0) << "pane " << i;
            EXPECT_LT(clips::MeanDifference(pane->NativeImage(), reference[size_t(pane->ShownFrame())]), 4.0)
                << "pane " << i;
        }
    }

    QString m_clip;
    CCorvanaDoc m_doc;
    CManualStepClock m_clock;
    std::unique_ptr<CPlaybackController> m_ctl;
    CPlaybackSession *m_session = nullptr;
    std::vector<int> m_buttonsMulti;
    std::vector<int> m_progress;
};

} // namespace

TEST(GridArithmetic, CellsStartsAndPaneRanges)
{
    EXPECT_EQ(GridSide(4), 2);
    EXPECT_EQ(GridSide(25), 5);
    // W = 642: the columns are 0 to 321 and 321 to 642; the last row reaches the bottom.
    EXPECT_EQ(GridCell(1, 2, QSize(642, 481), true), QRect(QPoint(321, 0), QPoint(641, 239)));
    EXPECT_EQ(GridCell(3, 2, QSize(642, 481), true), QRect(QPoint(321, 240), QPoint(641, 480)));
    // A resize keeps whole cells: the odd pixel is left over.
    EXPECT_EQ(GridCell(3, 2, QSize(643, 481), false), QRect(QPoint(321, 240), QPoint(641, 479)));
    EXPECT_EQ(GridCell(24, 5, QSize(1001, 1004), true).bottomRight(), QPoint(1000, 1003));

    EXPECT_EQ(ClampGridStart(98, 4, 100), 96);
    EXPECT_EQ(ClampGridStart(40, 9, 100), 40);
    EXPECT_EQ(ClampGridStart(5, 25, 10), 0); // fewer frames than panes
    EXPECT_EQ(PaneLastFrame(3, 4, 100), 99);
    EXPECT_EQ(PaneLastFrame(20, 25, 10), 20); // held on its own frame
}

TEST_F(GridTest, LayoutStartsWhereTheVideoWasAndReturnsToPaneZero)
{
    Open(clips::Mp4H264()); // 120 frames
    GoTo(118);
    ASSERT_EQ(m_session->SetLayout(1, 4, true), S_OK);
    EXPECT_EQ(PaneFrames(), Run(116, 4));
    EXPECT_EQ(m_ctl->Position(), 116);
    ExpectPicturesMatch();
    EXPECT_EQ(m_buttonsMulti.back(), 1);
    EXPECT_EQ(m_progress.front(), 0);
    EXPECT_EQ(m_progress[m_progress.size() - 2], 100);
    EXPECT_EQ(m_progress.back(), -1);

    // 9 panes from the 4-pane grid start at pane 0's frame, clamped.
    ASSERT_EQ(m_session->SetLayout(1, 9, false), S_OK);
    EXPECT_EQ(PaneFrames(), Run(111, 9));
    ExpectPicturesMatch();

    GoTo(40);
    EXPECT_EQ(PaneFrames(), Run(40, 9));
    ASSERT_EQ(m_session->SetLayout(0, 1, false), S_OK);
    EXPECT_EQ(m_session->Panes(), 0);
    EXPECT_EQ(m_session->ShownFrame(), 40);
    EXPECT_EQ(m_ctl->Position(), 40);
    // The single view chosen again from the single view starts over at frame 0.
    ASSERT_EQ(m_session->SetLayout(0, 1, false), S_OK);
    EXPECT_EQ(m_session->ShownFrame(), 0);

    EXPECT_EQ(m_session->SetLayout(1, 5, false), E_INVALIDARG);
    EXPECT_EQ(m_session->SetLayout(0, 4, false), E_INVALIDARG);
    EXPECT_EQ(m_session->Panes(), 0);
}

TEST_F(GridTest, FrameStepsAndFollowingMoveEveryPane)
{
    Open(clips::Mp4H264());
    GoTo(30);
    ASSERT_EQ(m_session->SetLayout(1, 25, false), S_OK);
    EXPECT_EQ(PaneFrames(), Run(30, 25));
    ExpectPicturesMatch();
    // One frame on: every picture moves one pane back.
    const std::vector<QImage> before = [this] {
        std::vector<QImage> images;
        for (int i = 0; i < 25; ++i)
            images.push_back(m_session->Pane(i)->ShownImage());
        return images;
    }();
    GoTo(31);
    EXPECT_EQ(PaneFrames(), Run(31, 25));
    for (int i = 0; i < 24; ++i)
        EXPECT_TRUE(m_session->Pane(i)->ShownImage() == before[size_t(i + 1)]) << i;
    // Past the end the panes stop at their last frames.
    GoTo(200);
    EXPECT_EQ(PaneFrames(), Run(95, 25));

    ASSERT_EQ(m_session->SeekToBeginning(), S_OK);
    EXPECT_EQ(PaneFrames(), Run(0, 25));
    ASSERT_EQ(m_session->SeekToEnd(), S_OK);
    EXPECT_EQ(PaneFrames(), Run(95, 25));
    EXPECT_EQ(m_ctl->Position(), 120);
}

TEST_F(GridTest, PaneStepsReportTheEnds)
{
    Open(clips::Mp4H264());
    ASSERT_EQ(m_session->SetLayout(1, 4, false), S_OK);
    CPlaybackPane *last = m_session->Pane(3);
    EXPECT_EQ(last->Step(50, false), S_OK);
    EXPECT_EQ(last->ShownFrame(), 50);
    EXPECT_EQ(last->GetPlayState(), PlayState::Running);
    EXPECT_EQ(last->Step(119, false), PANE_END_REACHED);
    EXPECT_EQ(last->ShownFrame(), 119);
    EXPECT_EQ(last->Step(2, false), PANE_START_REACHED);
    EXPECT_EQ(last->ShownFrame(), 3);
}

TEST_F(GridTest, PlaysForwardAndBackToTheEndsAtEveryRate)
{
    Open(clips::Mp4H264());
    ASSERT_EQ(m_session->SetLayout(1, 9, false), S_OK);
    for (double rate : {1.0, 4.0, 32.0, -32.0, -4.0}) {
        ASSERT_EQ(rate > 0 ? m_session->SeekToBeginning() : m_session->SeekToEnd(), S_OK);
        m_session->SetRate(rate);
        std::set<int64_t> seen;
        QMetaObject::Connection watch =
            QObject::connect(m_session, &CPlaybackSession::PanePicturesChanged, [&] {
                // The panes change together: always a run of consecutive frames.
                const int64_t first = m_session->Pane(0)->ShownFrame();
                for (int i = 0; i < 9; ++i)
                    EXPECT_EQ(m_session->Pane(i)->ShownFrame(), first + i) << "rate " << rate;
                seen.insert(first);
            });
        m_session->Play();
        ASSERT_TRUE(stepping::RunToRest(*m_session, m_clock)) << "rate " << rate;
        QObject::disconnect(watch);
        EXPECT_EQ(PaneFrames(), Run(rate > 0 ? 111 : 0, 9)) << "rate " << rate;
        EXPECT_EQ(m_ctl->Position(), rate > 0 ? 120 : 0) << "rate " << rate;
        EXPECT_GE(seen.size(), 3u) << "rate " << rate;
        ExpectPicturesMatch();
    }
}

TEST_F(GridTest, SwitchingLayoutsWhilePlayingLeavesAPausedGrid)
{
    Open(clips::Mp4H264());
    m_session->SetRate(4.0);
    for (int count : {4, 25, 9, 16, 4}) {
        ASSERT_EQ(m_session->SetLayout(1, count, false), S_OK);
        m_session->Play();
        stepping::Tick(*m_session, m_clock);
        m_clock.Advance(10);
    }
    ASSERT_EQ(m_session->SetLayout(0, 1, false), S_OK);
    EXPECT_EQ(m_session->GetPlayState(), PlayState::Paused);
    EXPECT_FALSE(m_session->IsTimerRunning());
    m_clock.Advance(200);
    ASSERT_TRUE(stepping::Settle(*m_session));
    EXPECT_EQ(m_session->ShownFrame(), m_ctl->Position());
}

TEST_F(GridTest, ClipsShorterThanTheGridLeaveTheLastPanesEmpty)
{
    Open(TenFrameClip());
    ASSERT_EQ(m_session->Graph()->FrameCount(), 10);
    GoTo(7);
    ASSERT_EQ(m_session->SetLayout(1, 25, false), S_OK);
    std::vector<int64_t> expected = Run(0, 10);
    expected.resize(25, -1);
    EXPECT_EQ(PaneFrames(), expected);
    EXPECT_TRUE(m_session->Pane(10)->ShownImage().isNull());
    m_session->Play();
    ASSERT_TRUE(stepping::RunToRest(*m_session, m_clock));
    EXPECT_EQ(PaneFrames(), expected);
    EXPECT_EQ(m_ctl->Position(), 10);

    // A marked pane without a picture is a failed capture; the others are still saved.
    QTemporaryDir out;
    m_session->Pane(2)->SetMarked(1);
    m_session->Pane(12)->SetMarked(1);
    QStringList written;
    EXPECT_EQ(SaveSnapshots(*m_ctl, out.path(), &written), kSnapshotNoSelection);
    EXPECT_EQ(written, QStringList{out.filePath(QStringLiteral("ten-frames_2.jpg"))});

    // A clip of one picture: pane 0 shows it, the others stay empty.
    m_ctl.reset();
    Open(clips::Make(QStringLiteral("one-frame.mp4"), {"-f", "lavfi", "-i", "testsrc2=s=160x120:r=30", "-frames:v",
                                                       "1", "-c:v", "libx264", "-pix_fmt", "yuv420p"}));
    ASSERT_EQ(m_session->SetLayout(1, 4, false), S_OK);
    EXPECT_EQ(PaneFrames(), (std::vector<int64_t>{0, -1, -1, -1}));
    m_session->Play();
    EXPECT_TRUE(stepping::RunToRest(*m_session, m_clock));
    EXPECT_EQ(PaneFrames(), (std::vector<int64_t>{0, -1, -1, -1}));
}

TEST_F(GridTest, APaneWhoseClipVanishedStaysEmpty)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("gone.mp4"));
    ASSERT_TRUE(QFile::copy(clips::Mp4H264(), copy));
    Open(copy);
    ASSERT_TRUE(QFile::remove(copy));
    // The open graphs read on; panes made now cannot open it.
    ASSERT_EQ(m_session->SetLayout(1, 4, false), S_OK);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(m_session->Pane(i)->ShownImage().isNull()) << i;
        EXPECT_EQ(m_session->Pane(i)->Step(i + 1, true), VFW_E_WRONG_STATE) << i;
    }
    EXPECT_EQ(m_session->Play(), VFW_E_WRONG_STATE);
    EXPECT_EQ(m_session->GetPlayState(), PlayState::Paused);
    // Back in the single view, the graph that still reads the file shows a picture.
    EXPECT_EQ(m_session->SetLayout(0, 1, false), S_OK);
    EXPECT_FALSE(m_session->ShownImage().isNull());
}

TEST_F(GridTest, AClipCutWhileTheGridIsShownNeitherHangsNorCrashes)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("cut.mp4"));
    ASSERT_TRUE(QFile::copy(clips::AviMjpeg(), copy));
    Open(copy);
    ASSERT_EQ(m_session->SetLayout(1, 9, false), S_OK);
    QFile file(copy);
    ASSERT_TRUE(file.resize(file.size() / 3));
    m_session->SetRate(8.0);
    m_session->Play();
    EXPECT_TRUE(stepping::RunToRest(*m_session, m_clock));
    m_session->SeekToEnd();
    EXPECT_EQ(m_session->SetLayout(0, 1, false), S_OK);
}

TEST(SnapshotNames, BaseNameAndFileName)
{
    EXPECT_EQ(SnapshotBaseName(QStringLiteral("/card/record/20090101_120000_E.avi")), "20090101_120000_E");
    EXPECT_EQ(SnapshotBaseName(QStringLiteral("D:\\REC\\a.b.avi")), "a.b");
    EXPECT_EQ(SnapshotBaseName(QStringLiteral("/card/noext")), "");
    EXPECT_EQ(SnapshotFilePath(QStringLiteral("/out"), QStringLiteral("a.b"), 17), "/out/a.b_17.jpg");
    EXPECT_EQ(SnapshotFilePath(QStringLiteral("/out/"), QString(), 0), "/out/_0.jpg");
    EXPECT_EQ(SnapshotFilePath(QStringLiteral("/out"), QStringLiteral("trip%2"), 5), "/out/trip%2_5.jpg");
    EXPECT_EQ(SnapshotFilePath(QStringLiteral("/out"), QStringLiteral("%1%L1"), 7), "/out/%1%L1_7.jpg");
}

TEST_F(GridTest, SnapshotsOfMarkedPanesAndTheirFailures)
{
    Open(clips::Mp4H264());
    QTemporaryDir out;
    // The single view writes its frame.
    GoTo(12);
    QStringList written;
    EXPECT_EQ(SaveSnapshots(*m_ctl, out.path(), &written), kSnapshotSaved);
    ASSERT_EQ(written, QStringList{out.filePath(QStringLiteral("h264_12.jpg"))});
    // The JPEG is that frame's picture: ffmpeg's decode closest to it.
    EXPECT_EQ(clips::ClosestFrame(m_clip, QImage(written[0])), 12);

    ASSERT_EQ(m_session->SetLayout(1, 4, false), S_OK);
    EXPECT_EQ(SnapshotPrecheck(*m_ctl), kSnapshotNoSelection);
    m_session->Pane(1)->SetMarked(1);
    m_session->Pane(3)->SetMarked(1);
    EXPECT_EQ(SnapshotPrecheck(*m_ctl), QString());
    written.clear();
    EXPECT_EQ(SaveSnapshots(*m_ctl, out.path(), &written), kSnapshotSaved);
    ASSERT_EQ(written, (QStringList{out.filePath(QStringLiteral("h264_13.jpg")),
                                    out.filePath(QStringLiteral("h264_15.jpg"))}));
    EXPECT_EQ(clips::ClosestFrame(m_clip, QImage(written[1])), 15);

    // Saving the same frame again replaces the file; nothing is left beside it.
    QFile stale(written[0]);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
    stale.write("old");
    stale.close();
    EXPECT_EQ(SaveSnapshots(*m_ctl, out.path()), kSnapshotSaved);
    EXPECT_EQ(QImageReader(written[0]).format(), "jpeg");
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 3);

    // A folder that vanished or cannot be written: reported, and no cut file left.
    EXPECT_EQ(SaveSnapshots(*m_ctl, out.filePath(QStringLiteral("gone"))), kSnapshotSaveError);
    if (geteuid() != 0) {
        QTemporaryDir locked;
        QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(SaveSnapshots(*m_ctl, locked.path()), kSnapshotSaveError);
        EXPECT_TRUE(QDir(locked.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // One file that cannot be written (a folder holds its name): the other marked pane still is.
    QTemporaryDir partly;
    ASSERT_TRUE(QDir(partly.path()).mkdir(QStringLiteral("h264_13.jpg")));
    QStringList partial;
    EXPECT_EQ(SaveSnapshots(*m_ctl, partly.path(), &partial), kSnapshotSaveError);
    EXPECT_EQ(partial, QStringList{partly.filePath(QStringLiteral("h264_15.jpg"))});

    ASSERT_EQ(m_session->SetLayout(0, 1, false), S_OK);
    m_ctl->Close();
    EXPECT_EQ(SnapshotPrecheck(*m_ctl), kSnapshotNoContent);
}
