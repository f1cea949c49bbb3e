// The export dialog's blurring: a region dragged on a frame of the range shows in the list and
// on the picture, a second drag on another frame corrects it with a new key frame, and the
// privacy copy reaches the options.
#include "movingclip.h"

#include "export/exportactions.h"
#include "export/exportdialog.h"
#include "export/regioncanvas.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>

namespace {

void Drag(CRegionCanvas *canvas, const QRect &pictureRect)
{
    const QPoint from = canvas->ToCanvas(pictureRect.topLeft());
    const QPoint to = canvas->ToCanvas(pictureRect.bottomRight());
    QTest::mousePress(canvas, Qt::LeftButton, {}, from);
    QTest::mouseMove(canvas, (from + to) / 2);
    QTest::mouseMove(canvas, to);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
}

// Near enough for a rectangle that went through the canvas's scale and back.
bool Near(const QRect &a, const QRect &b)
{
    return std::abs(a.x() - b.x()) <= 2 && std::abs(a.y() - b.y()) <= 2 && std::abs(a.width() - b.width()) <= 3 &&
           std::abs(a.height() - b.height()) <= 3;
}

TEST(ExportDialog, RegionsAreMarkedAndCorrectedByMouse)
{
    tagEXPORTCLIP clip;
    clip.strPath = moving::Clip();
    clip.llFrom = 5;
    clip.llTo = 70;
    const tagREGIONPICTURES pictures = RegionPicturesOf({clip});
    ASSERT_EQ(pictures.llCount, 66);
    ASSERT_EQ(pictures.size, moving::kPicture);
    CExportDialog dialog(QStringLiteral("range"), tagEXPORTOPTIONS(), nullptr, pictures);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog, 5000));
    CRegionCanvas *canvas = dialog.Canvas();
    ASSERT_NE(canvas, nullptr);

    // Place 32 of the range is frame 37 of the clip: the canvas shows that picture.
    dialog.FrameSlider()->setValue(32);
    const QImage grabbed = canvas->grab().toImage().scaled(moving::kPicture).convertToFormat(QImage::Format_RGB32);
    const QImage frame37 = clips::FfmpegPicture(clip.strPath, 37);
    EXPECT_LT(clips::MeanDifference(grabbed, frame37), 12);
    EXPECT_LT(clips::MeanDifference(grabbed, frame37), clips::MeanDifference(grabbed, clips::FfmpegPicture(clip.strPath, 20)));

    const QRect mark = moving::BoxAt(37).adjusted(-4, -4, 4, 4);
    Drag(canvas, mark);
    ASSERT_EQ(dialog.RegionList()->count(), 1);
    EXPECT_TRUE(dialog.RegionList()->item(0)->text().contains("follows; marked at frame 37"))
        << qPrintable(dialog.RegionList()->item(0)->text());
    ASSERT_EQ(dialog.Regions().size(), 1);
    EXPECT_TRUE(Near(dialog.Regions().first().keys.value(32), mark));
    // The region is drawn over the picture: its outline where the box's corner was.
    const QImage marked = canvas->grab().toImage();
    const QRgb edge = marked.pixel(canvas->ToCanvas(QPoint(mark.x(), mark.y() + mark.height() / 2)));
    EXPECT_GT(qRed(edge), 200);
    EXPECT_LT(qBlue(edge), 100);

    // Chosen in the list, dragged again on another frame: a second key frame of the same region.
    dialog.RegionList()->setCurrentRow(0);
    dialog.FrameSlider()->setValue(55);
    const QRect later = moving::BoxAt(60).adjusted(-4, -4, 4, 4);
    Drag(canvas, later);
    ASSERT_EQ(dialog.Regions().size(), 1);
    EXPECT_EQ(dialog.Regions().first().keys.size(), 2);
    EXPECT_TRUE(Near(dialog.Regions().first().keys.value(55), later));
    EXPECT_TRUE(dialog.RegionList()->item(0)->text().contains("37, 60"));

    // A new one that stands still, then the first removed.
    dialog.NewRegionButton()->click();
    dialog.FollowBox()->setChecked(false);
    Drag(canvas, QRect(200, 180, 60, 40));
    ASSERT_EQ(dialog.Regions().size(), 2);
    EXPECT_FALSE(dialog.Regions().at(1).bFollow);
    dialog.RegionList()->setCurrentRow(0);
    dialog.RemoveButton()->click();
    dialog.PrivacyBox()->setChecked(true);
    const tagEXPORTOPTIONS options = dialog.Options();
    ASSERT_EQ(options.blur.size(), 1);
    EXPECT_TRUE(Near(options.blur.first().keys.first(), QRect(200, 180, 60, 40)));
    EXPECT_TRUE(options.bPrivacy);
    EXPECT_FALSE(options.bCopy);
}

} // namespace
