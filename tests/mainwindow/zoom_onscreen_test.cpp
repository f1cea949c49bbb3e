// Zoom, pan and picture adjustments as the user sees them: the pixels on screen against ffmpeg's
// own crop, scale and eq of the frame shown, while paused, after frame steps and while stepping,
// in the single view and in the grid; and the view saved beside the frame.
#include "framefixture.h"

#include "fixtures/stepping.h"
#include "fixtures/testfiles.h"
#include "playback/multiplayview.h"
#include "playback/pictureadjustpanel.h"
#include "playback/playbackpane.h"
#include "screen/screencheck.h"
#include "skin/commandids.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include <cmath>

using namespace frametest;

namespace {

const QSize kNative(826, 464);

// The grid test's clip (made once per build tree): picture numbers burnt in at the top left.
QString ZoomClip()
{
    return MakeClip(QStringLiteral("grid-826-20s.mp4"),
                    {"-f", "lavfi", "-i",
                     "testsrc2=s=826x464:r=30:d=20,drawtext=text='%{n}':fontsize=h/3:x=w/10:y=h/10:"
                     "fontcolor=white:box=1:boxcolor=black",
                     "-c:v", "libx264", "-preset", "ultrafast", "-bf", "2", "-g", "30", "-pix_fmt", "yuv420p"});
}

// Frame n as the ffmpeg command decodes it and filters it (crop, eq, ...), at its own size.
QImage FfmpegPicture(const QString &clip, int n, const QString &filters = QString())
{
    QString chain = QStringLiteral("select=eq(n\\,%1)").arg(n);
    if (!filters.isEmpty())
        chain += QLatin1Char(',') + filters;
    const testfiles::RunResult r = testfiles::Run(
        QStringLiteral("ffmpeg"), {"-v", "error", "-i", clip, "-vf", chain, "-frames:v", "1", "-f", "image2pipe",
                                   "-vcodec", "png", "-"});
    QImage image;
    image.loadFromData(r.out, "PNG");
    return image.convertToFormat(QImage::Format_RGB32);
}

// The part of the frame a view shows, as the test works it out: x, y, w, h in native pixels.
QImage Part(const QImage &frame, const QRectF &native, const QSize &shown)
{
    return frame.copy(native.toAlignedRect()).scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The lower two thirds of a picture: the indicator of the zoom and the values sits at the top.
QImage Lower(const QImage &image)
{
    return image.copy(0, image.height() / 3, image.width(), image.height() - image.height() / 3);
}

void Wheel(QWidget *widget, const QPoint &at, int notches)
{
    QWheelEvent event(QPointF(at), QPointF(widget->mapToGlobal(at)), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

class ZoomOnScreenTest : public FrameTest
{
protected:
    void SetUp() override
    {
        FrameTest::SetUp();
        m_clip = ZoomClip();
        ASSERT_FALSE(m_clip.isEmpty());
        ASSERT_TRUE(QFile::link(m_clip, m_card.filePath(QStringLiteral("20130512_083000N.mp4"))));
        m_prompt.QueueFolder(m_card.path());
        ASSERT_TRUE(m_frame->Command(ID_FILE_SET_FOLDER));
        ASSERT_TRUE(OpenRow(0));
        m_ctl->Seek(40, m_list);
        ASSERT_TRUE(stepping::Settle(*m_play->Session()));
    }

    // What the single view shows on screen in its picture's place, once painted.
    QImage ShownPicture()
    {
        screencheck::FlushRepaints();
        EXPECT_TRUE(WaitFor([this] { return m_play->PaintedFrame() == m_play->Session()->ShownFrame(); }, 5000));
        return screencheck::GrabShown(m_play, m_play->Graph()->VideoRect());
    }
    // On screen, the part of frame `frame` that `native` names is shown, and not that part of a
    // frame a little later.
    void ExpectPart(const QImage &shown, int frame, const QRectF &native)
    {
        const QImage expected = Part(FfmpegPicture(m_clip, frame), native, shown.size());
        const QImage other = Part(FfmpegPicture(m_clip, frame + 4), native, shown.size());
        const double psnr = screencheck::Psnr(Lower(shown), Lower(expected));
        EXPECT_GT(psnr, 23.0) << "frame " << frame;
        EXPECT_GT(psnr, screencheck::Psnr(Lower(shown), Lower(other)) + 3.0) << "frame " << frame;
    }

    QString m_clip;
    QTemporaryDir m_card;
};

} // namespace

TEST_F(ZoomOnScreenTest, TheWheelZoomsAtTheCursorAndTheZoomStaysThroughStepsAndDrags)
{
    const QRect target = m_play->Graph()->VideoRect();
    // Four notches at a quarter across and 30 % down: the picture's point there stays there.
    const QPoint at(target.left() + target.width() / 4, target.top() + target.height() * 3 / 10);
    Wheel(m_play, at, 4);
    const double zoom = std::pow(1.25, 4);
    const double fx = double(at.x() - target.left()) / target.width();
    const double fy = double(at.y() - target.top()) / target.height();
    QRectF part(fx * kNative.width() * (1 - 1 / zoom), fy * kNative.height() * (1 - 1 / zoom),
                kNative.width() / zoom, kNative.height() / zoom);
    EXPECT_EQ(m_play->PictureViewIndicator(), QStringLiteral("zoom 2.4x"));
    ExpectPart(ShownPicture(), 40, part);

    // A frame step and timed steps in reverse keep the zoom.
    ASSERT_TRUE(m_frame->Command(ID_MEDIA_FRAME_FORWARD));
    ExpectPart(ShownPicture(), 41, part);
    m_ctl->SetRate(-2.0);
    m_ctl->Play();
    for (int tick = 0; tick < 3; ++tick)
        ASSERT_TRUE(stepping::Tick(*m_play->Session(), m_clock));
    m_ctl->Pause();
    ASSERT_TRUE(stepping::Settle(*m_play->Session()));
    ExpectPart(ShownPicture(), static_cast<int>(m_ctl->Position()), part);
    EXPECT_LT(m_ctl->Position(), 41);

    // Dragging 100 pixels to the left shows the part further right.
    const QPoint from = target.center();
    QTest::mousePress(m_play, Qt::LeftButton, {}, from);
    QTest::mouseMove(m_play, from - QPoint(50, 0));
    QTest::mouseMove(m_play, from - QPoint(100, 0));
    QTest::mouseRelease(m_play, Qt::LeftButton, {}, from - QPoint(100, 0));
    part.translate(100.0 / target.width() * part.width(), 0);
    ExpectPart(ShownPicture(), static_cast<int>(m_ctl->Position()), part);

    // "0" shows the whole picture again.
    QTest::keyClick(m_play, Qt::Key_0);
    EXPECT_TRUE(m_ctl->PictureView().IsWhole());
    EXPECT_TRUE(m_play->PictureViewIndicator().isEmpty());
    ExpectPart(ShownPicture(), static_cast<int>(m_ctl->Position()), QRectF(QPointF(0, 0), QSizeF(kNative)));
}

TEST_F(ZoomOnScreenTest, AllPanesOfTheGridZoomTogether)
{
    ASSERT_TRUE(m_frame->Command(ID_VIEW_X4));
    ASSERT_EQ(m_play->PaneViews(), 4);
    CMultiPlayView *pane2 = m_play->PaneView(2);
    const QRect target2 = pane2->Pane()->Graph()->VideoRect();
    // At the picture numbers' corner, so that neighbouring frames differ in the part shown.
    const QPoint at(target2.left() + target2.width() / 4, target2.top() + target2.height() / 4);
    Wheel(pane2, at, 3);
    const double zoom = std::pow(1.25, 3);
    const double fx = double(at.x() - target2.left()) / target2.width();
    const double fy = double(at.y() - target2.top()) / target2.height();
    const QRectF part(fx * kNative.width() * (1 - 1 / zoom), fy * kNative.height() * (1 - 1 / zoom),
                      kNative.width() / zoom, kNative.height() / zoom);
    screencheck::FlushRepaints();
    for (int i = 0; i < 4; ++i) {
        const CMultiPlayView *view = m_play->PaneView(i);
        ASSERT_TRUE(WaitFor([view] { return view->PaintedFrame() == view->Pane()->ShownFrame(); }, 5000));
        const QImage shown = screencheck::GrabShown(view, view->Pane()->Graph()->VideoRect());
        SCOPED_TRACE(i);
        ExpectPart(shown, 40 + i, part);
    }
    // A drag in a pane pans them all and marks nothing.
    QTest::mousePress(pane2, Qt::LeftButton, {}, target2.center());
    QTest::mouseMove(pane2, target2.center() - QPoint(30, 0));
    QTest::mouseRelease(pane2, Qt::LeftButton, {}, target2.center() - QPoint(30, 0));
    EXPECT_EQ(m_play->Session()->Pane(2)->IsMarked(), 0);
    EXPECT_GT(m_ctl->PictureView().region.left(), part.left() / kNative.width() + 1e-3);
}

TEST_F(ZoomOnScreenTest, ThePanelAdjustsThePictureAndResetRestoresIt)
{
    ASSERT_TRUE(m_frame->Command(ID_VIEW_PICTURE_ADJUST));
    auto *panel = qobject_cast<CPictureAdjustPanel *>(m_play->AdjustPanel());
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(panel->ResetButton()->isEnabled());
    panel->Slider(0)->setValue(30);  // brightness 0.30
    panel->Slider(2)->setValue(150); // gamma 1.50
    EXPECT_EQ(panel->ValueLabel(0)->text(), QStringLiteral("0.30"));
    EXPECT_EQ(m_play->PictureViewIndicator(), QStringLiteral("brightness +0.30, gamma 1.50"));
    const QImage shown = ShownPicture();
    const QImage adjusted = FfmpegPicture(m_clip, 40, QStringLiteral("eq=brightness=0.3:gamma=1.5"))
                                .scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage plain =
        FfmpegPicture(m_clip, 40).scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_GT(screencheck::Psnr(Lower(shown), Lower(adjusted)), 25.0);
    EXPECT_LT(screencheck::Psnr(Lower(shown), Lower(plain)), 20.0);

    ASSERT_TRUE(panel->ResetButton()->isEnabled());
    panel->ResetButton()->click();
    EXPECT_TRUE(m_ctl->PictureView().adjust.IsNeutral());
    EXPECT_EQ(panel->Slider(0)->value(), 0);
    EXPECT_GT(screencheck::Psnr(ShownPicture(), plain), 25.0);
}

TEST_F(ZoomOnScreenTest, SaveImageOfAnEnhancedViewWritesTheFrameAndTheView)
{
    tagPICTUREVIEW view;
    view.region = QRectF(0.25, 0.125, 0.5, 0.5);
    view.adjust.dContrast = 1.4;
    m_ctl->SetPictureView(view);
    QTemporaryDir out;
    m_prompt.QueueFolder(out.path());
    ASSERT_TRUE(m_frame->Command(ID_VIEW_SAVE_IMAGE));
    EXPECT_EQ(m_prompt.MessageTexts().last(), QStringLiteral("Success to save the image."));
    const QImage frame(out.filePath(QStringLiteral("20130512_083000N_40.jpg")));
    EXPECT_EQ(frame.size(), kNative);
    EXPECT_GT(screencheck::Psnr(frame.convertToFormat(QImage::Format_RGB32), FfmpegPicture(m_clip, 40)), 27.0);
    // The view: the part shown at native resolution with the adjustments (ffmpeg's crop and eq).
    const QImage saved(out.filePath(QStringLiteral("20130512_083000N_40_view.jpg")));
    ASSERT_EQ(saved.size(), QSize(414, 232));
    EXPECT_GT(screencheck::Psnr(saved.convertToFormat(QImage::Format_RGB32),
                                FfmpegPicture(m_clip, 40, QStringLiteral("crop=414:232:206:58,eq=contrast=1.4"))),
              27.0);
}
