// Skinned frame and dialogs: caption buttons, menu titles, moving, resizing, keys, the
// window region and the progress window.
#include "skin/progressviewer.h"
#include "skin/skindialog.h"
#include "skin/skinframewnd.h"

#include <QApplication>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Element = CSkinCaption::Element;

// The close message is posted; this delivers it.
void DeliverPosted()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

class SkinFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame = std::make_unique<CSkinFrameWnd>();
        frame->setWindowTitle(QStringLiteral("Pellister"));
        client = new QWidget;
        frame->SetClientWidget(client);
        for (int i = 0; i < CSkinCaption::kMenuTitleCount; ++i) {
            auto* menu = new QMenu(frame.get());
            menu->addAction(QStringLiteral("item %1").arg(i));
            menus.append(menu);
        }
        frame->SetMenuPopups(menus);
        frame->setGeometry(40, 30, 800, 560);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
    void TearDown() override
    {
        for (QMenu* menu : menus)
            menu->hide();
    }

    QPoint Centre(Element e, int menu = 0) const { return frame->Caption().ElementRect(e, menu).center(); }
    // A point of the caption band that is neither a button nor a menu title.
    QPoint EmptyCaption() const { return QPoint(600, 15); }

    std::unique_ptr<CSkinFrameWnd> frame;
    QWidget* client = nullptr;
    QList<QMenu*> menus;
};

TEST_F(SkinFrameTest, ClientAreaLiesInsideTheSkinBorders)
{
    EXPECT_EQ(frame->contentsMargins(), QMargins(8, 30, 8, 8));
    EXPECT_EQ(client->geometry(), QRect(8, 30, 800 - 16, 560 - 38));
}

TEST_F(SkinFrameTest, CaptionElementsSitWhereTheSkinDrawsThem)
{
    const CSkinCaption& c = frame->Caption();
    const struct {
        Element element;
        int menu;
        QRect rect;
    } expected[] = {
        {Element::ElementClose, 0, QRect(800 - 26 - 10, 0, 26, 18)},
        {Element::ElementMaximise, 0, QRect(800 - 52 - 10, 0, 26, 18)},
        {Element::ElementMinimise, 0, QRect(800 - 78 - 10, 0, 26, 18)},
        {Element::ElementMenuTitle, 0, QRect(200, 5, 48, 24)},
        {Element::ElementMenuTitle, 1, QRect(248, 5, 48, 24)},
        {Element::ElementMenuTitle, 2, QRect(296, 5, 68, 24)},
        {Element::ElementMenuTitle, 3, QRect(364, 5, 48, 24)},
        {Element::ElementMenuTitle, 4, QRect(412, 5, 48, 24)},
    };
    for (const auto& e : expected) {
        EXPECT_EQ(c.ElementRect(e.element, e.menu), e.rect) << e.element << "/" << e.menu;
        int menu = -1;
        EXPECT_EQ(c.HitTest(e.rect.center(), &menu), e.element);
        if (e.element == Element::ElementMenuTitle) {
            EXPECT_EQ(menu, e.menu);
        }
    }
    EXPECT_EQ(c.HitTest(EmptyCaption()), Element::ElementNone);
}

TEST_F(SkinFrameTest, HoverImageFollowsThePointerAndLeavesWithIt)
{
    const CSkinCaption& c = frame->Caption();
    QTest::mouseMove(frame.get(), Centre(Element::ElementMaximise));
    EXPECT_EQ(c.ButtonImage(Element::ElementMaximise), CSkinCaption::ImageHover);
    EXPECT_EQ(c.ButtonImage(Element::ElementClose), CSkinCaption::ImageNormal);

    QTest::mouseMove(frame.get(), Centre(Element::ElementMenuTitle, 3));
    EXPECT_EQ(c.ButtonImage(Element::ElementMaximise), CSkinCaption::ImageNormal);
    EXPECT_EQ(c.MenuTitleImage(3), CSkinCaption::ImageHover);

    // Straight from a title down into the client area.
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(client, &enter);
    EXPECT_EQ(c.MenuTitleImage(3), CSkinCaption::ImageNormal);

    QTest::mouseMove(frame.get(), Centre(Element::ElementClose));
    EXPECT_EQ(c.ButtonImage(Element::ElementClose), CSkinCaption::ImageHover);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(frame.get(), &leave);
    EXPECT_EQ(c.ButtonImage(Element::ElementClose), CSkinCaption::ImageNormal);
    EXPECT_FALSE(c.IsTrackingMouse());
}

TEST_F(SkinFrameTest, CloseReleasedOutsideTheButtonClosesNothing)
{
    const CSkinCaption& c = frame->Caption();
    QTest::mousePress(frame.get(), Qt::LeftButton, {}, Centre(Element::ElementClose));
    EXPECT_EQ(c.PressedState(), Element::ElementClose);
    EXPECT_EQ(c.ButtonImage(Element::ElementClose), CSkinCaption::ImagePressed);
    QTest::mouseMove(frame.get(), EmptyCaption());
    // While a caption button is held, hovering elsewhere changes nothing.
    EXPECT_EQ(c.ButtonImage(Element::ElementClose), CSkinCaption::ImagePressed);
    QTest::mouseRelease(frame.get(), Qt::LeftButton, {}, EmptyCaption());
    DeliverPosted();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(c.PressedState(), Element::ElementNone);
    EXPECT_EQ(c.ButtonImage(Element::ElementClose), CSkinCaption::ImageNormal);
}

TEST_F(SkinFrameTest, CloseReleasedOnTheButtonClosesTheWindow)
{
    QTest::mouseClick(frame.get(), Qt::LeftButton, {}, Centre(Element::ElementClose));
    DeliverPosted();
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(SkinFrameTest, MaximiseAndRestoreThroughTheCaptionButton)
{
    const CSkinCaption& c = frame->Caption();
    QTest::mouseClick(frame.get(), Qt::LeftButton, {}, Centre(Element::ElementMaximise));
    ASSERT_TRUE(frame->isMaximized());
    EXPECT_EQ(c.ButtonImage(Element::ElementMaximise), CSkinCaption::ImageNormal);
    EXPECT_EQ(c.PressedState(), Element::ElementNone);
    // The outer pixels of the maximised frame lie beyond the screen's work area.
    const int inset = c.MaximisedInset();
    EXPECT_EQ(frame->contentsMargins(), QMargins(8 - inset, 30 - inset, 8 - inset, 8 - inset));
    // Its close button keeps 10 pixels to the frame's (partly hidden) right edge.
    EXPECT_EQ(c.ElementRect(Element::ElementClose).topRight(),
              QPoint(frame->width() - 1 - (10 - inset), 0));
    QTest::mouseClick(frame.get(), Qt::LeftButton, {}, Centre(Element::ElementMaximise));
    EXPECT_FALSE(frame->isMaximized());
    EXPECT_EQ(frame->contentsMargins(), QMargins(8, 30, 8, 8));
}

TEST_F(SkinFrameTest, MinimiseThroughTheCaptionButton)
{
    QTest::mouseClick(frame.get(), Qt::LeftButton, {}, Centre(Element::ElementMinimise));
    EXPECT_TRUE(frame->isMinimized());
}

TEST_F(SkinFrameTest, EachMenuTitleOpensItsOwnMenuBelowIt)
{
    const CSkinCaption& c = frame->Caption();
    for (int i = 0; i < CSkinCaption::kMenuTitleCount; ++i) {
        QTest::mouseClick(frame.get(), Qt::LeftButton, {}, Centre(Element::ElementMenuTitle, i));
        for (int j = 0; j < menus.size(); ++j)
            EXPECT_EQ(menus[j]->isVisible(), i == j) << "title " << i << " menu " << j;
        const QRect title = c.ElementRect(Element::ElementMenuTitle, i);
        EXPECT_EQ(menus[i]->pos(), frame->mapToGlobal(QPoint(title.left(), title.bottom() + 1)));
        EXPECT_EQ(c.MenuTitleImage(i), CSkinCaption::ImagePressed) << "while open";
        EXPECT_EQ(c.PressedState(), Element::ElementNone);
        menus[i]->hide();
        EXPECT_EQ(c.MenuTitleImage(i), CSkinCaption::ImageNormal) << "after closing";
    }
}

TEST_F(SkinFrameTest, MenuTitleReleasedOnAnotherTitleOpensNothing)
{
    QTest::mousePress(frame.get(), Qt::LeftButton, {}, Centre(Element::ElementMenuTitle, 0));
    QTest::mouseRelease(frame.get(), Qt::LeftButton, {}, Centre(Element::ElementMenuTitle, 1));
    for (QMenu* menu : menus)
        EXPECT_FALSE(menu->isVisible());
}

TEST_F(SkinFrameTest, DraggingTheCaptionMovesTheFrameWithoutTranslucency)
{
    const QPoint start = frame->pos();
    QTest::mousePress(frame.get(), Qt::LeftButton, {}, EmptyCaption());
    QTest::mouseMove(frame.get(), EmptyCaption() + QPoint(50, 30));
    EXPECT_FALSE(frame->Caption().IsTranslucentMove());
    EXPECT_DOUBLE_EQ(frame->windowOpacity(), 1.0);
    QTest::mouseRelease(frame.get(), Qt::LeftButton, {}, EmptyCaption() + QPoint(50, 30));
    EXPECT_EQ(frame->pos(), start + QPoint(50, 30));
    EXPECT_EQ(frame->size(), QSize(800, 560));
}

TEST_F(SkinFrameTest, BordersResizeTheFrameDownToItsMinimum)
{
    frame->setMinimumSize(700, 500);
    const QRect start = frame->geometry();
    const struct {
        QPoint grab;
        QPoint drag;
        QRect expected;
    } cases[] = {
        // right border wider
        {QPoint(797, 300), QPoint(40, 0), start.adjusted(0, 0, 40, 0)},
        // bottom border taller
        {QPoint(400, 557), QPoint(0, 25), start.adjusted(0, 0, 0, 25)},
        // left border: the right edge stays where it is
        {QPoint(2, 300), QPoint(-30, 0), start.adjusted(-30, 0, 0, 0)},
        // bottom-right corner both ways
        {QPoint(797, 557), QPoint(10, 20), start.adjusted(0, 0, 10, 20)},
        // not below the minimum
        {QPoint(797, 300), QPoint(-400, 0), QRect(start.topLeft(), QSize(700, start.height()))},
        {QPoint(2, 300), QPoint(400, 0), QRect(start.right() + 1 - 700, start.top(), 700, start.height())},
    };
    for (const auto& c : cases) {
        frame->setGeometry(start);
        QTest::mousePress(frame.get(), Qt::LeftButton, {}, c.grab);
        QTest::mouseMove(frame.get(), c.grab + c.drag);
        QTest::mouseRelease(frame.get(), Qt::LeftButton, {}, c.grab + c.drag);
        EXPECT_EQ(frame->geometry(), c.expected) << "grab " << c.grab.x() << "," << c.grab.y();
    }
}

TEST_F(SkinFrameTest, TheKeyboardOpensTheMenusWalksThemAndRuns)
{
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    const CSkinCaption& c = frame->Caption();
    QSignalSpy ran(menus[1]->actions().front(), &QAction::triggered);
    const auto openOnly = [&](int index) {
        for (int j = 0; j < menus.size(); ++j) {
            if (menus[j]->isVisible() != (j == index))
                return false;
        }
        return c.OpenMenuTitle() == index &&
               (index < 0 || (menus[index]->activeAction() == menus[index]->actions().front() &&
                              c.MenuTitleImage(index) == CSkinCaption::ImagePressed));
    };

    // F10, from the focus widget inside the window.
    client->setFocus();
    QTest::keyClick(client, Qt::Key_F10);
    EXPECT_TRUE(openOnly(0));
    QTest::keyClick(menus[0], Qt::Key_Left); // round to the last title
    EXPECT_TRUE(openOnly(CSkinCaption::kMenuTitleCount - 1));
    QTest::keyClick(menus.last(), Qt::Key_Right);
    QTest::keyClick(menus[0], Qt::Key_Right);
    EXPECT_TRUE(openOnly(1));
    QTest::keyClick(menus[1], Qt::Key_Escape);
    EXPECT_TRUE(openOnly(-1));
    EXPECT_EQ(ran.count(), 0);

    // Alt alone opens the first menu; Alt with another key does not.
    QTest::keyPress(client, Qt::Key_Alt, Qt::AltModifier);
    QTest::keyClick(client, Qt::Key_X, Qt::AltModifier);
    QTest::keyRelease(client, Qt::Key_Alt);
    EXPECT_TRUE(openOnly(-1));
    QTest::keyPress(client, Qt::Key_Alt, Qt::AltModifier);
    QTest::keyRelease(client, Qt::Key_Alt);
    EXPECT_TRUE(openOnly(0));
    QTest::keyClick(menus[0], Qt::Key_Right);
    QTest::keyClick(menus[1], Qt::Key_Return);
    DeliverPosted();
    EXPECT_EQ(ran.count(), 1) << "Enter runs the command";
    EXPECT_TRUE(openOnly(-1));
}

TEST_F(SkinFrameTest, EscapeAndAltF4DoNotCloseTheFrame)
{
    QTest::keyClick(frame.get(), Qt::Key_Escape);
    QTest::keyClick(frame.get(), Qt::Key_F4, Qt::AltModifier);
    DeliverPosted();
    EXPECT_TRUE(frame->isVisible());
}

// ---------------------------------------------------------------------------------------

class SkinDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog = std::make_unique<CSkinDialog>(100, nullptr);
        dialog->setWindowTitle(QStringLiteral("Pellister Info"));
        auto* layout = new QVBoxLayout(dialog.get());
        ok = new QPushButton(QStringLiteral("OK"));
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, dialog.get(), &QDialog::accept);
        layout->addWidget(ok);
        dialog->setGeometry(100, 100, 320, 140);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    std::unique_ptr<CSkinDialog> dialog;
    QPushButton* ok = nullptr;
};

TEST_F(SkinDialogTest, OnlyTheCloseButtonAndNoMenuTitles)
{
    const CSkinCaption& c = dialog->Caption();
    EXPECT_EQ(c.ElementRect(Element::ElementClose), QRect(320 - 36, 0, 26, 18));
    EXPECT_TRUE(c.ElementRect(Element::ElementMaximise).isEmpty());
    EXPECT_TRUE(c.ElementRect(Element::ElementMinimise).isEmpty());
    EXPECT_TRUE(c.ElementRect(Element::ElementMenuTitle, 0).isEmpty());
    EXPECT_EQ(c.HitTest(QPoint(220, 15)), Element::ElementNone);
}

TEST_F(SkinDialogTest, KeysDoNotEndTheDialog)
{
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } keys[] = {{Qt::Key_Return, {}}, {Qt::Key_Enter, Qt::KeypadModifier}, {Qt::Key_F4, Qt::AltModifier}};
    dialog->setResult(-1);
    for (const auto& k : keys) {
        QTest::keyClick(dialog.get(), k.key, k.modifiers);
        QTest::keyClick(ok, k.key, k.modifiers);  // also with the OK button focused
        DeliverPosted();
        EXPECT_TRUE(dialog->isVisible()) << "key " << k.key;
    }
    EXPECT_EQ(dialog->result(), -1);
}

TEST_F(SkinDialogTest, EscapeRejectsTheDialogAsTheCloseButtonDoes)
{
    for (QWidget* target : {static_cast<QWidget*>(dialog.get()), static_cast<QWidget*>(ok)}) {
        dialog->show();
        dialog->setResult(-1);
        QTest::keyClick(target, Qt::Key_Escape);
        DeliverPosted();
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
    }
    // A dialog that asks to stay, stays.
    dialog->show();
    dialog->SetEscapeCloses(false);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    DeliverPosted();
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SkinDialogTest, CloseButtonRejectsTheDialog)
{
    dialog->setResult(-1);
    QTest::mouseClick(dialog.get(), Qt::LeftButton, {},
                      dialog->Caption().ElementRect(Element::ElementClose).center());
    DeliverPosted();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(SkinDialogTest, TranslucentOnlyWhileMoved)
{
    const QPoint start = dialog->pos();
    const QPoint grab(120, 12);
    QTest::mousePress(dialog.get(), Qt::LeftButton, {}, grab);
    QTest::mouseMove(dialog.get(), grab + QPoint(-20, 35));
    EXPECT_TRUE(dialog->Caption().IsTranslucentMove());
    EXPECT_NEAR(dialog->windowOpacity(), 176.0 / 255.0, 0.01);
    QTest::mouseRelease(dialog.get(), Qt::LeftButton, {}, grab + QPoint(-20, 35));
    EXPECT_FALSE(dialog->Caption().IsTranslucentMove());
    EXPECT_DOUBLE_EQ(dialog->windowOpacity(), 1.0);
    EXPECT_EQ(dialog->pos(), start + QPoint(-20, 35));
}

TEST_F(SkinDialogTest, DialogIsNotResizedByItsBorders)
{
    const QRect start = dialog->geometry();
    QTest::mousePress(dialog.get(), Qt::LeftButton, {}, QPoint(317, 70));
    QTest::mouseMove(dialog.get(), QPoint(357, 70));
    QTest::mouseRelease(dialog.get(), Qt::LeftButton, {}, QPoint(357, 70));
    EXPECT_EQ(dialog->geometry(), start);
}

// ---------------------------------------------------------------------------------------

TEST(SkinRegionTest, TopCornersRoundedBottomCornersSquare)
{
    const QSize size(400, 300);
    const QRegion normal = CSkinCaption::SkinWindowRegion(size, false, 4);
    const QRegion maximised = CSkinCaption::SkinWindowRegion(size, true, 4);
    const QRegion maximised7 = CSkinCaption::SkinWindowRegion(size, true, 7);
    const struct {
        QPoint p;
        bool inNormal;
        bool inMaximised;
        bool inMaximised7;
    } points[] = {
        {{0, 0}, false, false, false},      {{1, 0}, false, false, false},
        {{0, 1}, false, false, false},      {{399, 0}, false, false, false},
        {{399, 1}, false, false, false},    {{7, 7}, true, true, true},
        {{200, 0}, true, false, false},     {{200, 4}, true, true, false},
        {{200, 7}, true, true, true},       {{0, 299}, true, false, false},
        {{399, 299}, true, false, false},   {{4, 150}, true, true, false},
        {{3, 150}, true, false, false},     {{395, 150}, true, true, false},
        // The region's right and bottom run one pixel past the window's last pixel.
        {{396, 150}, true, true, false},    {{397, 150}, true, false, false},
        {{7, 150}, true, true, true},       {{4, 295}, true, true, false},
        {{200, 296}, true, true, false},    {{200, 297}, true, false, false},
    };
    for (const auto& c : points) {
        EXPECT_EQ(normal.contains(c.p), c.inNormal) << c.p.x() << "," << c.p.y();
        EXPECT_EQ(maximised.contains(c.p), c.inMaximised) << c.p.x() << "," << c.p.y();
        EXPECT_EQ(maximised7.contains(c.p), c.inMaximised7) << c.p.x() << "," << c.p.y();
    }
}

TEST(SkinCaptionTest, MinimisedCaptionKeepsFourCharacters)
{
    EXPECT_EQ(CSkinCaption::MinimisedCaption(QStringLiteral("Pellister")), QStringLiteral("Pell..."));
    EXPECT_EQ(CSkinCaption::MinimisedCaption(QStringLiteral("Ab")), QStringLiteral("Ab..."));
}

// ---------------------------------------------------------------------------------------

TEST(ProgressViewerTest, ProcessingWindowWithASmoothBarOverTheClientArea)
{
    CProgressViewer progress;
    EXPECT_EQ(progress.windowTitle(), QStringLiteral("Processing..."));
    EXPECT_EQ(progress.DialogId(), 108);
    EXPECT_FALSE(progress.isModal());
    progress.ShowProgress();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&progress));
    QProgressBar* bar = progress.ProgressCtrl();
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->objectName(), QStringLiteral("1013"));
    EXPECT_EQ(bar->geometry(), progress.contentsRect());
    EXPECT_EQ(progress.contentsMargins(), QMargins(8, 30, 8, 8));
}

TEST(ProgressViewerTest, PositionsAreClampedAndZeroShowsAsOne)
{
    CProgressViewer progress;
    progress.ShowProgress();
    const struct {
        int set;
        int shown;
    } cases[] = {{5, 5}, {0, 1}, {72, 72}, {1, 1}, {100, 100}, {150, 100}, {-5, 1}, {98, 98}};
    for (const auto& c : cases) {
        progress.SetProgress(c.set);
        EXPECT_EQ(progress.Position(), c.shown) << "set " << c.set;
    }
    progress.SetPos(40);
    EXPECT_EQ(progress.Position(), 40);
}

// The load runs on the user interface thread without returning to the event loop: every
// position must be on screen the moment it is set.
TEST(ProgressViewerTest, EachPositionIsPaintedAtOnce)
{
    class CCountingBar : public QObject {
    public:
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                ++paints;
            return false;
        }
    } counter;
    CProgressViewer progress;
    progress.ShowProgress();
    ASSERT_TRUE(progress.windowHandle() && progress.windowHandle()->isExposed());
    progress.ProgressCtrl()->installEventFilter(&counter);
    for (int p : {10, 20, 30}) {
        const int before = counter.paints;
        progress.SetProgress(p);  // no event processing in between
        EXPECT_GT(counter.paints, before) << "position " << p;
    }
}

}  // namespace
