// Bitmap button and bitmap slider: which picture shows when, pointer tracking, the
// slider's geometry, keys and notifications.
#include "skin/bitmapslider.h"
#include "skin/buttonst.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QPixmap Solid(int w, int h, const QColor& colour)
{
    QPixmap picture(w, h);
    picture.fill(colour);
    return picture;
}

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = std::make_unique<QWidget>();
        host->resize(200, 100);
        button = new CButtonST(host.get());
        button->setGeometry(20, 20, 40, 40);
        host->show();
        host->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(host.get()));
        // A window shown under the pointer an earlier test left behind gets an enter
        // event of its own; start every test with the pointer away from the button.
        Away();
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
    }
    void Hover() { QTest::mouseMove(button, QPoint(20, 20)); }
    void Away() { QTest::mouseMove(host.get(), QPoint(150, 80)); }

    std::unique_ptr<QWidget> host;
    CButtonST* button = nullptr;
};

TEST_F(ButtonTest, SecondPictureShowsUntilThePointerComes)
{
    button->SetBitmaps(Solid(40, 40, Qt::red), QColor(255, 0, 255), Solid(40, 40, Qt::blue),
                       QColor(255, 0, 255));
    EXPECT_EQ(button->ShownBitmap(), 2);
    Hover();
    EXPECT_TRUE(button->IsHover());
    EXPECT_EQ(button->ShownBitmap(), 1);
    Away();  // no click
    EXPECT_FALSE(button->IsHover());
    EXPECT_EQ(button->ShownBitmap(), 2);
    // Pressed shows the first picture too, even without hover tracking.
    button->setDown(true);
    EXPECT_EQ(button->ShownBitmap(), 1);
}

TEST_F(ButtonTest, WithoutASecondPictureTheFirstShowsInEveryState)
{
    button->SetBitmaps(Solid(30, 20, Qt::green), QColor(255, 0, 255), QPixmap(), QColor());
    EXPECT_EQ(button->ShownBitmap(), 1);
    Hover();
    EXPECT_EQ(button->ShownBitmap(), 1);
    button->setDown(true);
    EXPECT_EQ(button->ShownBitmap(), 1);
    button->setDown(false);
    Away();
    EXPECT_EQ(button->ShownBitmap(), 1);
    EXPECT_EQ(button->FirstBitmapSize(), QSize(30, 20));
    EXPECT_EQ(button->sizeHint(), QSize(30, 20));
}

TEST_F(ButtonTest, HoverEndsWithLeaveDisableAndFocusLoss)
{
    button->SetBitmaps(Solid(40, 40, Qt::red), QColor(), Solid(40, 40, Qt::blue), QColor());
    Hover();
    ASSERT_TRUE(button->IsHover());
    button->setEnabled(false);
    EXPECT_FALSE(button->IsHover());
    button->setEnabled(true);

    Away();
    Hover();
    ASSERT_TRUE(button->IsHover());
    QFocusEvent focusOut(QEvent::FocusOut);
    QApplication::sendEvent(button, &focusOut);
    EXPECT_FALSE(button->IsHover());

    Away();
    Hover();
    ASSERT_TRUE(button->IsHover());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_FALSE(button->IsHover());
}

TEST_F(ButtonTest, PointerArrivingWithTheButtonHeldDoesNotHover)
{
    button->SetBitmaps(Solid(40, 40, Qt::red), QColor(), Solid(40, 40, Qt::blue), QColor());
    QMouseEvent move(QEvent::MouseMove, QPointF(20, 20), button->mapToGlobal(QPointF(20, 20)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &move);
    EXPECT_FALSE(button->IsHover());
}

TEST_F(ButtonTest, NonFlatButtonsDoNotTrackThePointer)
{
    button->SetFlat(false);
    Hover();
    EXPECT_FALSE(button->IsHover());
}

TEST_F(ButtonTest, TooltipCanBeSwitchedOffAndOn)
{
    button->SetTooltipText(QStringLiteral("Pause"), true);
    EXPECT_EQ(button->toolTip(), QStringLiteral("Pause"));
    button->ActivateTooltip(false);
    EXPECT_TRUE(button->toolTip().isEmpty());
    button->ActivateTooltip(true);
    EXPECT_EQ(button->toolTip(), QStringLiteral("Pause"));
    button->SetTooltipText(QStringLiteral("Play"), true);
    EXPECT_EQ(button->toolTip(), QStringLiteral("Play"));
}

TEST_F(ButtonTest, ClicksCountOnlyWhileEnabled)
{
    button->SetBitmaps(Solid(40, 40, Qt::red), QColor(), Solid(40, 40, Qt::blue), QColor());
    QSignalSpy clicked(button, &CButtonST::clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(clicked.count(), 1);
    button->setEnabled(false);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(clicked.count(), 1);
}

// ---------------------------------------------------------------------------------------

class SliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = std::make_unique<QWidget>();
        host->resize(100, 100);
        slider = new CBitmapSlider(host.get());
        slider->SetControlId(1050);
        slider->SetVertical(true);
        slider->SetBitmapChannel(Solid(14, 35, QColor(40, 40, 40)), Solid(14, 35, QColor(50, 90, 200)),
                                 true, QColor(0, 0, 0));
        slider->SetRange(0, 30);
        slider->SetPos(15);
        host->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    }

    std::unique_ptr<QWidget> host;
    CBitmapSlider* slider = nullptr;
};

TEST_F(SliderTest, TakesTheSizeOfItsChannel)
{
    EXPECT_EQ(slider->size(), QSize(14, 35));
}

TEST_F(SliderTest, PositionToPixelOnAThirtyFivePixelChannel)
{
    const struct {
        int pos;
        int pixel;
    } cases[] = {{0, 0}, {15, 17}, {30, 35}, {1, 1}, {29, 33}};
    for (const auto& c : cases)
        EXPECT_EQ(slider->PosToPixel(c.pos), c.pixel) << "position " << c.pos;
    // The inverse truncates; it never overshoots.
    for (int p = 0; p <= 30; ++p) {
        const int back = slider->PixelToPos(slider->PosToPixel(p));
        EXPECT_TRUE(back == p || back == p - 1) << p << " -> " << back;
    }
}

TEST_F(SliderTest, ThumbAndMarginsShortenTheTrack)
{
    slider->SetBitmapThumb(Solid(14, 5, QColor(200, 200, 200)));
    EXPECT_EQ(slider->PosToPixel(0), 2);
    EXPECT_EQ(slider->PosToPixel(30), 32);
    slider->SetMargin(0, 3, 0, 2);  // 35 - 3 - 2 - 5 leaves 25 pixels for 30 steps
    EXPECT_EQ(slider->PosToPixel(0), 5);
    EXPECT_EQ(slider->PosToPixel(30), 30);
    EXPECT_EQ(slider->PosToPixel(12), 15);
    for (int pixel : {5, 15, 30})
        EXPECT_EQ(slider->PosToPixel(slider->PixelToPos(pixel)), pixel) << pixel;
}

TEST_F(SliderTest, AnEmptyRangeDoesNotDivideByZero)
{
    slider->SetRange(7, 7);
    EXPECT_EQ(slider->GetPos(), 7);
    EXPECT_EQ(slider->PosToPixel(7), 0);
    EXPECT_EQ(slider->PixelToPos(20), 7);
}

TEST_F(SliderTest, KeysMoveClampAndNotify)
{
    slider->SetPageSize(20);
    const struct {
        Qt::Key key;
        int from;
        int to;
    } cases[] = {
        {Qt::Key_Up, 15, 14},     {Qt::Key_Left, 15, 14},    {Qt::Key_Down, 15, 16},
        {Qt::Key_Right, 15, 16},  {Qt::Key_Home, 15, 0},     {Qt::Key_End, 15, 30},
        {Qt::Key_PageUp, 25, 5},  {Qt::Key_PageUp, 15, 0},   {Qt::Key_PageDown, 15, 30},
        {Qt::Key_Up, 0, 0},       {Qt::Key_Down, 30, 30},
    };
    for (const auto& c : cases) {
        slider->SetPos(c.from);
        QSignalSpy moved(slider, &CBitmapSlider::Moved);
        QSignalSpy moving(slider, &CBitmapSlider::Moving);
        QTest::keyClick(slider, c.key);
        EXPECT_EQ(slider->GetPos(), c.to) << "key " << c.key << " from " << c.from;
        ASSERT_EQ(moved.count(), 1) << "key " << c.key;
        EXPECT_EQ(moved.at(0).at(0).toInt(), 1050);
        EXPECT_EQ(moved.at(0).at(1).toInt(), c.to);
        EXPECT_EQ(moving.count(), 0);
    }
    QSignalSpy moved(slider, &CBitmapSlider::Moved);
    EXPECT_FALSE(slider->HandleKey(Qt::Key_A));
    EXPECT_EQ(moved.count(), 0);
}

TEST_F(SliderTest, ADisabledSliderIgnoresKeysAndMouse)
{
    slider->Enable(false);
    QSignalSpy moved(slider, &CBitmapSlider::Moved);
    QSignalSpy moving(slider, &CBitmapSlider::Moving);
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End, Qt::Key_PageDown})
        EXPECT_FALSE(slider->HandleKey(key));
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(7, 2));
    EXPECT_EQ(slider->GetPos(), 15);
    EXPECT_EQ(moved.count() + moving.count(), 0);
}

TEST_F(SliderTest, DraggingJumpsToThePointerAndReportsTheEnd)
{
    QSignalSpy moved(slider, &CBitmapSlider::Moved);
    QSignalSpy moving(slider, &CBitmapSlider::Moving);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(7, 7));
    EXPECT_TRUE(slider->IsDragging());
    EXPECT_EQ(slider->GetPos(), slider->PixelToPos(7));
    EXPECT_EQ(moving.count(), 1);
    QTest::mouseMove(slider, QPoint(7, 60));  // beyond the end: clamped
    EXPECT_EQ(slider->GetPos(), 30);
    EXPECT_EQ(moving.count(), 2);
    QTest::mouseMove(slider, QPoint(7, 80));  // still at the end: nothing new to report
    EXPECT_EQ(moving.count(), 2);
    EXPECT_EQ(moved.count(), 0);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(7, 80));
    EXPECT_FALSE(slider->IsDragging());
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0).at(1).toInt(), 30);
}

TEST_F(SliderTest, DisablingDuringADragEndsIt)
{
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(7, 10));
    ASSERT_TRUE(slider->IsDragging());
    slider->Enable(false);
    EXPECT_FALSE(slider->IsDragging());
    const int pos = slider->GetPos();
    QTest::mouseMove(slider, QPoint(7, 30));
    EXPECT_EQ(slider->GetPos(), pos);
}

TEST_F(SliderTest, SetPosClampsAndSendsNothing)
{
    QSignalSpy moved(slider, &CBitmapSlider::Moved);
    QSignalSpy moving(slider, &CBitmapSlider::Moving);
    slider->SetPos(99);
    EXPECT_EQ(slider->GetPos(), 30);
    slider->SetPos(-4);
    EXPECT_EQ(slider->GetPos(), 0);
    EXPECT_EQ(moved.count() + moving.count(), 0);
}

}  // namespace
