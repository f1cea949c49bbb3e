// The grid as the user sees it: every pane's pixels on screen against ffmpeg's decode of its frame,
// while paused, after a frame step and while stepping; the marks' red frame; snapshots and the
// image viewer driven through the window's own commands and mouse.
#include "framefixture.h"

#include "fixtures/stepping.h"

#include "playback/multiplayview.h"
#include "playback/playcontrolview.h"
#include "skin/buttonst.h"
#include "playback/playbackpane.h"
#include "screen/screencheck.h"
#include "shell/imageviewer.h"
#include "skin/commandids.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <set>

using namespace frametest;

namespace {

// Picture numbers burnt in, so that neighbouring pictures differ clearly; 826 pixels wide, a width
// whose RGB lines are not a multiple of the converter's block.
QString GridClip()
{
    return MakeClip(QStringLiteral("grid-826-20s.mp4"),
                    {"-f", "lavfi", "-i",
                     "testsrc2=s=826x464:r=30:d=20,drawtext=text='%{n}':fontsize=h/3:x=w/10:y=h/10:"
                     "fontcolor=white:box=1:boxcolor=black",
                     "-c:v", "libx264", "-preset", "ultrafast", "-bf", "2", "-g", "30", "-pix_fmt", "yuv420p"});
}

const QSize kReferenceSize(160, 90);

class GridOnScreenTest : public FrameTest
{
protected:
    void SetUp() override
    {
        FrameTest::SetUp();
        m_clip = GridClip();
        ASSERT_FALSE(m_clip.isEmpty());
        ASSERT_TRUE(m_card.isValid());
        ASSERT_TRUE(QFile::link(m_clip, m_card.filePath(QStringLiteral("20130512_083000N.mp4"))));
        m_prompt.QueueFolder(m_card.path());
        ASSERT_TRUE(m_frame->Command(ID_FILE_SET_FOLDER));
        ASSERT_TRUE(OpenRow(0));
        m_references = &screencheck::FfmpegFrames(m_clip, kReferenceSize);
        ASSERT_EQ(static_cast<qint64>(m_references->size()), m_ctl->FrameCount());
    }

    void GoTo(qint64 frame)
    {
        m_ctl->Seek(frame, m_list);
    }

    // Every pane has painted the picture it holds. The window's compositor may put a repaint
    // off while the map's browser holds its texture; the event loop then paints a moment later.
    bool AllPainted() const
    {
        for (int i = 0; i < m_play->PaneViews(); ++i) {
            const CMultiPlayView *view = m_play->PaneView(i);
            if (view->PaintedFrame() != view->Pane()->ShownFrame())
                return false;
        }
        return true;
    }
    // The frames the panes show on screen once painted, matched against ffmpeg's pictures.
    std::vector<int> ShownPaneFrames(double *worstPsnr = nullptr)
    {
        screencheck::FlushRepaints();
        EXPECT_TRUE(WaitFor([this] { return AllPainted(); }, 5000));
        return GrabPaneFrames(worstPsnr);
    }
    std::vector<int> GrabPaneFrames(double *worstPsnr = nullptr)
    {
        return MatchPanes(screencheck::GrabShown(m_play), worstPsnr);
    }
    // The frames of the pane pictures in a grab of the whole video area.
    std::vector<int> MatchPanes(const QImage &area, double *worstPsnr = nullptr) const
    {
        std::vector<int> frames;
        for (int i = 0; i < m_play->PaneViews(); ++i) {
            const CMultiPlayView *view = m_play->PaneView(i);
            const QRect video = view->Pane()->Graph()->VideoRect().translated(view->pos());
            const screencheck::tagMATCH match = screencheck::MatchFrame(area.copy(video), *m_references);
            frames.push_back(match.frame);
            if (worstPsnr)
                *worstPsnr = std::min(*worstPsnr, match.psnr);
        }
        return frames;
    }
    static std::vector<int> Run(int first, int count)
    {
        std::vector<int> frames;
        for (int i = 0; i < count; ++i)
            frames.push_back(first + i);
        return frames;
    }
    QColor FrameColour(int pane)
    {
        screencheck::FlushRepaints();
        return screencheck::GrabShown(m_play->PaneView(pane), QRect(0, 0, 2, 2)).pixelColor(1, 1);
    }

    QString m_clip;
    QTemporaryDir m_card;
    const std::vector<QImage> *m_references = nullptr;
};

} // namespace

TEST_F(GridOnScreenTest, EveryPaneShowsItsFrameAndAFrameStepMovesThemAll)
{
    for (int command : {ID_VIEW_X4, ID_VIEW_X25}) {
        const int count = command == ID_VIEW_X4 ? 4 : 25;
        SCOPED_TRACE(count);
        ASSERT_TRUE(m_frame->Command(ID_VIEW_SINGLE));
        GoTo(60);
        ASSERT_TRUE(m_frame->Command(command));
        ASSERT_EQ(m_play->PaneViews(), count);
        double worst = 100.0;
        EXPECT_EQ(ShownPaneFrames(&worst), Run(60, count));
        EXPECT_GT(worst, 20.0);
        ASSERT_TRUE(m_frame->Command(ID_MEDIA_FRAME_FORWARD));
        EXPECT_EQ(ShownPaneFrames(), Run(61, count));
        // Near the end the grid holds its last pane on the last frame.
        ASSERT_TRUE(m_frame->Command(ID_MEDIA_TO_END));
        const int last = static_cast<int>(m_ctl->FrameCount());
        EXPECT_EQ(ShownPaneFrames(), Run(last - count, count));
    }
    // The pane cells cover the video area, the last row and column to its edges.
    const CMultiPlayView *corner = m_play->PaneView(24);
    EXPECT_EQ(corner->geometry().bottomRight(), m_play->rect().bottomRight());
    // A resized window keeps whole cells and every pane's picture.
    const QSize before = m_play->size();
    m_frame->resize(m_frame->size() + QSize(37, 23));
    ASSERT_TRUE(WaitFor([&] { return m_play->size() != before; }, 5000));
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(m_play->PaneView(i)->geometry(), GridCell(i, 5, m_play->size(), false)) << i;
    const int last = static_cast<int>(m_ctl->FrameCount());
    EXPECT_EQ(ShownPaneFrames(), Run(last - 25, 25));
}

TEST_F(GridOnScreenTest, SteppingMovesEveryPaneTogether)
{
    ASSERT_TRUE(m_frame->Command(ID_VIEW_X9));
    const int last = static_cast<int>(m_ctl->FrameCount());
    for (double rate : {4.0, 32.0, -4.0}) {
        SCOPED_TRACE(rate);
        const int start = rate == 4.0 ? last - 60 : rate > 0 ? last - 200 : 40;
        GoTo(start);
        m_ctl->SetRate(rate);
        m_ctl->Play();
        // One tick of the step clock at a time: after each, the screen shows the nine pictures of
        // exactly the step the rate reached, pane 0's the published frame.
        int steps = 0;
        for (; steps < 80 && m_play->GetPlayState() == PlayState::Running; ++steps) {
            ASSERT_TRUE(stepping::Settle(*m_play->Session()));
            if (m_play->GetPlayState() != PlayState::Running)
                break;
            const int expected = start + static_cast<int>(rate) * (steps + 1);
            ASSERT_EQ(m_ctl->Position(), expected) << "step " << steps;
            screencheck::FlushRepaints();
            ASSERT_TRUE(WaitFor([this] { return AllPainted(); }, 5000));
            EXPECT_EQ(MatchPanes(screencheck::GrabShown(m_play)), Run(expected, 9)) << "step " << steps;
            m_clock.Advance100ns(m_ctl->FrameTime());
        }
        EXPECT_NE(m_play->GetPlayState(), PlayState::Running);
        EXPECT_GE(steps, 3);
        EXPECT_EQ(ShownPaneFrames(), Run(rate > 0 ? last - 9 : 0, 9));
    }
}

TEST_F(GridOnScreenTest, MarksSnapshotsAndTheImageViewer)
{
    GoTo(30);
    ASSERT_TRUE(m_frame->Command(ID_VIEW_X4));
    EXPECT_FALSE(m_frame->ControlBar()->Button(IDC_PLAY)->isEnabled());
    // Nothing marked: refused before any folder is asked for.
    m_prompt.Clear();
    ASSERT_TRUE(m_frame->Command(ID_VIEW_SAVE_IMAGE));
    EXPECT_EQ(m_prompt.MessageTexts(), QStringList{"The selected file does not exist."});
    EXPECT_TRUE(m_prompt.FolderTitles().isEmpty());

    // Clicks mark panes 1 and 3: their frames turn red on screen.
    for (int pane : {1, 3})
        QTest::mouseClick(m_play->PaneView(pane), Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_EQ(FrameColour(0), QColor(Qt::white));
    EXPECT_EQ(FrameColour(1), QColor(255, 20, 50));
    EXPECT_EQ(FrameColour(3), QColor(255, 20, 50));

    // Cancelling the folder chooser, then saving into a folder.
    m_prompt.Clear();
    m_prompt.QueueFolderCancel();
    ASSERT_TRUE(m_frame->Command(ID_VIEW_SAVE_IMAGE));
    QTemporaryDir out;
    m_prompt.QueueFolder(out.path());
    ASSERT_TRUE(m_frame->Command(ID_VIEW_SAVE_IMAGE));
    EXPECT_EQ(m_prompt.MessageTexts(), (QStringList{"Fail to open the folder.", "Success to save the image."}));
    EXPECT_EQ(m_prompt.FolderTitles(),
              (QStringList{"Set the folder to save the image.", "Set the folder to save the image."}));
    for (int frame : {31, 33}) {
        const QImage written(out.filePath(QStringLiteral("20130512_083000N_%1.jpg").arg(frame)));
        ASSERT_EQ(written.size(), QSize(826, 464)) << frame;
        EXPECT_EQ(screencheck::MatchFrame(written, *m_references).frame, frame);
    }

    // A double click opens the viewer on pane 2's frame at its native size and keeps the mark.
    bool inspected = false;
    QTimer::singleShot(200, [&] {
        auto *viewer = qobject_cast<CImageViewer *>(QApplication::activeModalWidget());
        if (!viewer)
            return;
        inspected = true;
        EXPECT_EQ(viewer->windowTitle(), "Pellister ImageViewer");
        EXPECT_EQ(viewer->Frame(), 32);
        EXPECT_EQ(viewer->PictureRect().size(), QSize(826, 464));
        EXPECT_EQ(viewer->PictureRect().topLeft() - viewer->contentsRect().topLeft(), QPoint(6, 6));
        EXPECT_EQ(viewer->contentsRect().size(), QSize(838, 476));
        // Saved twice: the same file twice, and the picture stays on screen.
        m_prompt.Clear();
        QTemporaryDir viewerOut;
        for (int i = 0; i < 2; ++i) {
            m_prompt.QueueFolder(viewerOut.path());
            viewer->SaveImage();
        }
        EXPECT_EQ(m_prompt.MessageTexts(), (QStringList{"Success to save the image.", "Success to save the image."}));
        EXPECT_TRUE(QFile::exists(viewerOut.filePath(QStringLiteral("20130512_083000N_32.jpg"))));
        screencheck::FlushRepaints();
        const QImage shown = screencheck::GrabShown(viewer, viewer->PictureRect());
        EXPECT_EQ(screencheck::MatchFrame(shown, *m_references).frame, 32);
        viewer->reject();
    });
    QTimer::singleShot(10000, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    QTest::mouseDClick(m_play->PaneView(2), Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_TRUE(inspected);
    EXPECT_EQ(m_play->Session()->Pane(2)->IsMarked(), 0);
    EXPECT_EQ(m_play->Session()->Pane(1)->IsMarked(), 1);

    // Back to the single view: pane 0's frame, and the play buttons come back.
    ASSERT_TRUE(m_frame->Command(ID_VIEW_SINGLE));
    EXPECT_EQ(m_play->PaneViews(), 0);
    EXPECT_EQ(m_ctl->Position(), 30);
    EXPECT_TRUE(m_frame->ControlBar()->Button(IDC_PLAY)->isEnabled());
}

