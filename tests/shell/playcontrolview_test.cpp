// Play control bar: buttons and their commands, speed list, volume and sound toggle, keys
// and layout, against a recording stand-in for the play view.
#include "playback/playcontroltarget.h"
#include "playback/playcontrolview.h"
#include "skin/bitmapslider.h"
#include "skin/buttonst.h"
#include "skin/commandids.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <memory>

namespace {

// Records what the bar asks of the play view.
class CFakeTarget : public IPlayControlTarget {
public:
    double rate = 1.0;
    bool playing = false;
    int plays = 0;
    int pauses = 0;
    QList<double> levels;

    double GetRate() const override { return rate; }
    void SetRate(double r) override { rate = r; }
    bool IsPlaying() const override { return playing; }
    void StartPlay() override
    {
        ++plays;
        playing = true;
    }
    void PausePlay() override
    {
        ++pauses;
        playing = false;
    }
    void ApplyVolumeLevel(double level) override { levels.append(level); }
};

class PlayControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar = std::make_unique<CPlayControlView>();
        bar->SetTarget(&target);
        bar->resize(651, 50);
        bar->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(bar.get()));
    }

    CBitmapSlider* Slider() const { return bar->VolumeSlider(); }

    CFakeTarget target;
    std::unique_ptr<CPlayControlView> bar;
};

TEST_F(PlayControlTest, FourteenButtonsWithTheirTooltips)
{
    const struct {
        int id;
        const char* tooltip;
    } buttons[] = {
        {IDC_TO_BEGINNING, "To the beginning"},
        {IDC_REVERSE_PLAY, "Reverse play"},
        {IDC_PAUSE, "Pause"},
        {IDC_PLAY, "Play"},
        {IDC_TO_END, "To the end"},
        {IDC_FRAME_FORWARD, "Frame Forward"},
        {IDC_FRAME_BACKWARD, "Frame Backward"},
        {IDC_SINGLE_VIEW, "Disply the single screen"},
        {IDC_QUAD_VIEW, "Display the quad screen"},
        {IDC_NONUPLE_VIEW, "Display the nonuple screen"},
        {IDC_SIXTEEN_VIEW, "Display the 16-part screen"},
        {IDC_SAVE_IMAGE, "Saving the image"},
        {IDC_SPEAKER_ON, "Speaker on"},
        {IDC_SPEAKER_OFF, "Speaker off"},
    };
    EXPECT_EQ(bar->ButtonIds().size(), 14);
    for (const auto& b : buttons) {
        CButtonST* button = bar->Button(b.id);
        ASSERT_NE(button, nullptr) << b.id;
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(b.tooltip));
        EXPECT_FALSE(button->IsDrawBorder()) << b.id;
        EXPECT_TRUE(button->IsTransparent()) << b.id;
        EXPECT_EQ(button->size(), button->FirstBitmapSize()) << b.id;
    }
    EXPECT_TRUE(bar->Button(IDC_SPEAKER_ON)->isVisible());
    EXPECT_FALSE(bar->Button(IDC_SPEAKER_OFF)->isVisible());
}

TEST_F(PlayControlTest, ButtonsRaiseTheMainFrameCommands)
{
    const struct {
        int button;
        int command;
    } cases[] = {
        {IDC_TO_BEGINNING, ID_MEDIA_TO_BEGINNING}, {IDC_TO_END, ID_MEDIA_TO_END},
        {IDC_FRAME_FORWARD, ID_MEDIA_FRAME_FORWARD}, {IDC_FRAME_BACKWARD, ID_MEDIA_FRAME_BACKWARD},
        {IDC_SINGLE_VIEW, ID_VIEW_SINGLE}, {IDC_QUAD_VIEW, ID_VIEW_X4},
        {IDC_NONUPLE_VIEW, 32803}, {IDC_SIXTEEN_VIEW, 32802},  // x9 and x16 ids are swapped
        {IDC_SAVE_IMAGE, ID_VIEW_SAVE_IMAGE},
    };
    for (const auto& c : cases) {
        QSignalSpy commands(bar.get(), &CPlayControlView::Command);
        CButtonST* button = bar->Button(c.button);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        ASSERT_EQ(commands.count(), 1) << "button " << c.button;
        EXPECT_EQ(commands.at(0).at(0).toInt(), c.command) << "button " << c.button;
    }
    EXPECT_EQ(target.plays + target.pauses, 0);
    EXPECT_TRUE(target.levels.isEmpty());
}

TEST_F(PlayControlTest, PlayReverseAndPauseActOnThePlayViewDirectly)
{
    const struct {
        int button;
        double rateBefore;
        double rateAfter;
        int plays;
        int pauses;
    } cases[] = {
        {IDC_PLAY, -4.0, 4.0, 1, 0},          {IDC_PLAY, 2.0, 2.0, 1, 0},
        {IDC_REVERSE_PLAY, 8.0, -8.0, 1, 0},  {IDC_REVERSE_PLAY, -1.0, -1.0, 1, 0},
        {IDC_PAUSE, -16.0, -16.0, 0, 1},
    };
    for (const auto& c : cases) {
        target = CFakeTarget();
        target.rate = c.rateBefore;
        QSignalSpy commands(bar.get(), &CPlayControlView::Command);
        bar->Button(c.button)->click();
        EXPECT_DOUBLE_EQ(target.rate, c.rateAfter) << "button " << c.button;
        EXPECT_EQ(target.plays, c.plays) << "button " << c.button;
        EXPECT_EQ(target.pauses, c.pauses) << "button " << c.button;
        EXPECT_EQ(commands.count(), 0);
    }
}

TEST_F(PlayControlTest, SpeedListHoldsSixSpeeds)
{
    QComboBox* list = bar->SpeedList();
    const QStringList expected = {QStringLiteral("1x spd"), QStringLiteral("2x spd"),
                                  QStringLiteral("4x spd"), QStringLiteral("8x spd"),
                                  QStringLiteral("16x spd"), QStringLiteral("32x spd")};
    ASSERT_EQ(list->count(), expected.size());
    for (int i = 0; i < list->count(); ++i)
        EXPECT_EQ(list->itemText(i), expected[i]);
    EXPECT_EQ(bar->SpeedIndex(), 0);
}

TEST_F(PlayControlTest, SpeedKeepsTheDirectionAndRestartsOnlyWhilePlaying)
{
    const struct {
        double rate;
        bool playing;
        int index;
        double expected;
        int plays;
    } cases[] = {
        {-2.0, true, 3, -8.0, 1},   // "8x spd" while reversing at 2x: on at once
        {4.0, false, 0, 1.0, 0},    // paused: the rate waits for Play
        {1.0, false, 5, 32.0, 0},   {-32.0, false, 1, -2.0, 0},
        {16.0, true, 4, 16.0, 1},   // the same speed again still applies
    };
    for (const auto& c : cases) {
        target = CFakeTarget();
        target.rate = c.rate;
        target.playing = c.playing;
        bar->SetSpeedIndex(c.index);
        EXPECT_EQ(bar->SpeedIndex(), c.index);
        EXPECT_DOUBLE_EQ(target.rate, c.expected) << "from " << c.rate << " index " << c.index;
        EXPECT_EQ(target.plays, c.plays) << "from " << c.rate << " index " << c.index;
    }
}

TEST_F(PlayControlTest, ChoosingInTheListAppliesTheSpeedOnce)
{
    target.rate = -1.0;
    target.playing = true;
    bar->SpeedList()->setCurrentIndex(2);  // as the user's choice does
    EXPECT_DOUBLE_EQ(target.rate, -4.0);
    EXPECT_EQ(target.plays, 1);
    target.playing = false;
    bar->Button(IDC_PLAY)->click();  // then Play turns it forward at that speed
    EXPECT_DOUBLE_EQ(target.rate, 4.0);
}

TEST_F(PlayControlTest, SpeedIndexOutsideTheListIsIgnored)
{
    bar->SetSpeedIndex(2);
    target.rate = 4.0;
    for (int bad : {-1, 6, 40}) {
        bar->SetSpeedIndex(bad);
        EXPECT_EQ(bar->SpeedIndex(), 2);
        EXPECT_DOUBLE_EQ(target.rate, 4.0);
    }
}

TEST_F(PlayControlTest, MultiViewGreysThePlayButtonsOnly)
{
    bar->EnableSingleViewButtons(1);
    for (int id : bar->ButtonIds()) {
        const bool expectEnabled = id != IDC_REVERSE_PLAY && id != IDC_PAUSE && id != IDC_PLAY;
        EXPECT_EQ(bar->Button(id)->isEnabled(), expectEnabled) << id;
    }
    bar->Button(IDC_PLAY)->click();
    EXPECT_EQ(target.plays, 0);
    bar->EnableSingleViewButtons(0);
    for (int id : bar->ButtonIds())
        EXPECT_TRUE(bar->Button(id)->isEnabled()) << id;
}

// ---------------------------------------------------------------------------------------
// Volume

TEST(VolumeLevelTest, LevelsInHundredthsOfADecibel)
{
    const struct {
        double level;
        int hundredthsDb;
    } cases[] = {
        {1.0, 0}, {0.5, -301}, {0.0, -10000}, {0.25, -602},
        // the floor lifts every level a little, and the result is truncated towards zero
        {0.1, -999},
        // outside 0..1: the nearest end
        {-0.5, -10000}, {2.0, 0}, {std::numeric_limits<double>::quiet_NaN(), -10000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VolumeLevelToHundredthsDb(c.level), c.hundredthsDb) << "level " << c.level;
    // Louder slider positions never give a lower volume.
    int previous = VolumeLevelToHundredthsDb(0.0);
    for (int pos = 29; pos >= 0; --pos) {
        const int now = VolumeLevelToHundredthsDb(1.0 - pos / 30.0);
        EXPECT_GT(now, previous) << "position " << pos;
        previous = now;
    }
}

TEST_F(PlayControlTest, SliderStartsInTheMiddleOfZeroToThirty)
{
    EXPECT_EQ(Slider()->GetRangeMin(), 0);
    EXPECT_EQ(Slider()->GetRangeMax(), 30);
    EXPECT_EQ(Slider()->GetPos(), 15);
    EXPECT_TRUE(Slider()->IsVertical());
    EXPECT_EQ(Slider()->ControlId(), IDC_VOLUME_SLIDER);
    EXPECT_TRUE(bar->IsSoundOn());
    EXPECT_EQ(bar->SavedSliderPos(), 15);
}

TEST_F(PlayControlTest, SliderMovesSetTheLevelTopIsLoudest)
{
    const struct {
        int pixel;  // where the pointer lets go on the 35-pixel slider
        int position;
    } drags[] = {{0, 0}, {35, 30}, {7, 6}, {20, 17}};
    for (const auto& d : drags) {
        target.levels.clear();
        QTest::mousePress(Slider(), Qt::LeftButton, {}, QPoint(7, d.pixel));
        QTest::mouseRelease(Slider(), Qt::LeftButton, {}, QPoint(7, d.pixel));
        ASSERT_EQ(Slider()->GetPos(), d.position) << "pixel " << d.pixel;
        ASSERT_FALSE(target.levels.isEmpty());
        EXPECT_DOUBLE_EQ(target.levels.last(), 1.0 - d.position / 30.0);
    }
}

TEST_F(PlayControlTest, SoundOffSilencesAndHoldsTheSlider)
{
    Slider()->SetPos(10);
    bar->ToggleSound();
    EXPECT_FALSE(bar->IsSoundOn());
    ASSERT_FALSE(target.levels.isEmpty());
    EXPECT_DOUBLE_EQ(target.levels.last(), 0.0);
    EXPECT_EQ(bar->SavedSliderPos(), 10);
    EXPECT_FALSE(Slider()->isEnabled());
    EXPECT_TRUE(bar->Button(IDC_SPEAKER_OFF)->isVisible());
    EXPECT_FALSE(bar->Button(IDC_SPEAKER_ON)->isVisible());

    // Anything that moves the slider meanwhile is undone, and nothing reaches the sound.
    target.levels.clear();
    Slider()->SetPos(27);
    bar->ApplyVolume();
    EXPECT_EQ(Slider()->GetPos(), 10);
    EXPECT_TRUE(target.levels.isEmpty());
    EXPECT_TRUE(bar->HandleKey(Qt::Key_Down));
    EXPECT_EQ(Slider()->GetPos(), 10);
    EXPECT_TRUE(target.levels.isEmpty());
}

TEST_F(PlayControlTest, SoundBackOnRestoresTheSavedLevelNotFull)
{
    Slider()->SetPos(12);
    bar->ToggleSound();
    bar->ToggleSound();
    EXPECT_TRUE(bar->IsSoundOn());
    EXPECT_TRUE(Slider()->isEnabled());
    EXPECT_EQ(Slider()->GetPos(), 12);
    ASSERT_FALSE(target.levels.isEmpty());
    EXPECT_DOUBLE_EQ(target.levels.last(), 1.0 - 12 / 30.0);
    EXPECT_TRUE(bar->Button(IDC_SPEAKER_ON)->isVisible());
    EXPECT_FALSE(bar->Button(IDC_SPEAKER_OFF)->isVisible());
    // Both speaker buttons sit at the same place.
    EXPECT_EQ(bar->Button(IDC_SPEAKER_ON)->pos(), bar->Button(IDC_SPEAKER_OFF)->pos());
}

TEST_F(PlayControlTest, SpeakerButtonsToggleTheSound)
{
    bar->Button(IDC_SPEAKER_ON)->click();
    EXPECT_FALSE(bar->IsSoundOn());
    bar->Button(IDC_SPEAKER_OFF)->click();
    EXPECT_TRUE(bar->IsSoundOn());
}

TEST_F(PlayControlTest, ApplyVolumeAfterAnOpenSendsTheSliderLevel)
{
    Slider()->SetPos(6);
    bar->ApplyVolume();
    ASSERT_EQ(target.levels.size(), 1);
    EXPECT_DOUBLE_EQ(target.levels.last(), 1.0 - 6 / 30.0);
}

// ---------------------------------------------------------------------------------------
// Keys

TEST_F(PlayControlTest, GraphKeysGoToTheGraphWhereverTheFocusIs)
{
    bar->SetSpeedIndex(3);
    for (QWidget* focus : {static_cast<QWidget*>(bar->SpeedList()),
                           static_cast<QWidget*>(bar->Button(IDC_PLAY)),
                           static_cast<QWidget*>(Slider()), static_cast<QWidget*>(bar.get())}) {
        for (Qt::Key key : {Qt::Key_Space, Qt::Key_End, Qt::Key_Home, Qt::Key_Left, Qt::Key_Right}) {
            QSignalSpy graph(bar.get(), &CPlayControlView::GraphKey);
            const int plays = target.plays;
            const int position = Slider()->GetPos();
            QTest::keyClick(focus, key);
            ASSERT_EQ(graph.count(), 1) << focus->objectName().toStdString() << " key " << key;
            EXPECT_EQ(graph.at(0).at(0).toInt(), static_cast<int>(key));
            EXPECT_EQ(bar->SpeedIndex(), 3);           // the list did not take it
            EXPECT_EQ(target.plays, plays);            // nor the focused button
            EXPECT_EQ(Slider()->GetPos(), position);   // nor the slider
        }
    }
}

TEST_F(PlayControlTest, UpDownMoveTheVolumeAndDeleteTogglesTheSound)
{
    bar->SpeedList()->setFocus();
    QTest::keyClick(bar->SpeedList(), Qt::Key_Up);
    EXPECT_EQ(Slider()->GetPos(), 14);
    EXPECT_EQ(bar->SpeedIndex(), 0);  // the list did not move
    ASSERT_FALSE(target.levels.isEmpty());
    EXPECT_DOUBLE_EQ(target.levels.last(), 1.0 - 14 / 30.0);
    QTest::keyClick(bar->SpeedList(), Qt::Key_Down);
    QTest::keyClick(bar->SpeedList(), Qt::Key_Down);
    EXPECT_EQ(Slider()->GetPos(), 16);

    EXPECT_TRUE(bar->HandleKey(Qt::Key_Delete));
    EXPECT_FALSE(bar->IsSoundOn());
    QTest::keyClick(bar.get(), Qt::Key_Delete);
    EXPECT_TRUE(bar->IsSoundOn());
    EXPECT_FALSE(bar->HandleKey(Qt::Key_A));
}

// ---------------------------------------------------------------------------------------
// Layout

TEST_F(PlayControlTest, LayoutKeepsEveryControlInsideTheBarWithoutOverlap)
{
    for (int width : {651, 900}) {
        bar->resize(width, 50);
        QList<QWidget*> controls;
        for (int id : bar->ButtonIds()) {
            if (bar->Button(id)->isVisible())
                controls.append(bar->Button(id));
        }
        controls.append(bar->SpeedList());
        controls.append(Slider());
        for (QWidget* c : controls)
            EXPECT_TRUE(bar->rect().contains(c->geometry())) << c->objectName().toStdString();
        for (int i = 0; i < controls.size(); ++i) {
            for (int j = i + 1; j < controls.size(); ++j) {
                EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                    << controls[i]->objectName().toStdString() << " / "
                    << controls[j]->objectName().toStdString();
            }
        }
        EXPECT_EQ(bar->Button(IDC_SAVE_IMAGE)->geometry().right(), width - 1);
    }
}

TEST_F(PlayControlTest, LayoutOrderAndGroups)
{
    auto g = [this](int id) { return bar->Button(id)->geometry(); };
    // The transport buttons side by side from the left edge, in this order.
    const int order[] = {IDC_TO_BEGINNING, IDC_REVERSE_PLAY, IDC_PAUSE, IDC_PLAY, IDC_TO_END,
                         IDC_FRAME_BACKWARD, IDC_FRAME_FORWARD};
    EXPECT_EQ(g(IDC_TO_BEGINNING).left(), 0);
    for (size_t i = 1; i < std::size(order); ++i)
        EXPECT_GT(g(order[i]).left(), g(order[i - 1]).right()) << order[i];
    EXPECT_GT(bar->SpeedList()->geometry().left(), g(IDC_FRAME_FORWARD).right());
    // Layout buttons as a 2 x 2 block: single and quad above nonuple and sixteen.
    EXPECT_EQ(g(IDC_SINGLE_VIEW).bottomLeft() + QPoint(0, 1), g(IDC_NONUPLE_VIEW).topLeft());
    EXPECT_EQ(g(IDC_QUAD_VIEW).bottomLeft() + QPoint(0, 1), g(IDC_SIXTEEN_VIEW).topLeft());
    EXPECT_EQ(g(IDC_SINGLE_VIEW).topRight() + QPoint(1, 0), g(IDC_QUAD_VIEW).topLeft());
    EXPECT_GT(g(IDC_SINGLE_VIEW).left(), bar->SpeedList()->geometry().right());
    // The slider stands on the speaker button.
    EXPECT_EQ(Slider()->geometry().size(), QSize(14, 35));
    EXPECT_EQ(Slider()->geometry().left(), g(IDC_SPEAKER_ON).left());
    EXPECT_EQ(Slider()->geometry().bottom() + 1, g(IDC_SPEAKER_ON).top());
    EXPECT_GT(Slider()->geometry().left(), g(IDC_SIXTEEN_VIEW).right());
}

TEST(PlayControlWithoutTarget, ButtonsAndSpeedsDoNothingHarmful)
{
    CPlayControlView bar;
    bar.resize(651, 50);
    for (int id : {IDC_PLAY, IDC_REVERSE_PLAY, IDC_PAUSE, IDC_SPEAKER_ON})
        bar.Button(id)->click();
    bar.SetSpeedIndex(4);
    EXPECT_EQ(bar.SpeedIndex(), 4);
    EXPECT_FALSE(bar.IsSoundOn());
}

}  // namespace
