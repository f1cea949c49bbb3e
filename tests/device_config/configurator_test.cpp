// The configurator dialog offscreen: what it shows after reading, its handlers, its enable
// states and what its Save and Set Config folder do with the card.
#include "configtestsupport.h"

#include "device_config/blackboxconfigurator.h"
#include "device_config/configstore.h"
#include "platform/removablevolumes.h"
#include "skin/prompt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest/QTest>

#include <gtest/gtest.h>

using Dlg = CBlackBoxConfigurator;

class ConfiguratorTest : public ::testing::Test
{
protected:
    QString Card() const { return top.filePath(QStringLiteral("CARD")); }
    void InsertCard(const QStringList &configLines = {})
    {
        QDir().mkpath(Card());
        if (!configLines.isEmpty()) {
            ASSERT_FALSE(configtest::WriteCardConfig(Card(), configLines).isEmpty());
        }
        volumes.SetRoots({Card()});
    }
    std::unique_ptr<Dlg> Open() { return std::make_unique<Dlg>(volumes); }

    template <class W> static W *Get(Dlg &d, int id)
    {
        W *w = qobject_cast<W *>(d.Control(id));
        EXPECT_NE(nullptr, w) << id;
        return w;
    }
    static void Click(Dlg &d, int id) { Get<QAbstractButton>(d, id)->click(); }
    static QString Text(Dlg &d, int id) { return Get<QLabel>(d, id)->text(); }
    static bool AllSettingsEnabled(Dlg &d, bool enabled)
    {
        for (int id : Dlg::kSettingsControls) {
            if (d.Control(id)->isEnabled() != enabled)
                return false;
        }
        return true;
    }

    QTemporaryDir top;
    CFixedVolumes volumes;
    CScriptedPrompt prompt;
    CPromptScope scope{prompt};
};

TEST_F(ConfiguratorTest, NoRemovableDiskThenAChosenFolder)
{
    auto d = Open();
    EXPECT_EQ(QStringList{QString::fromLatin1(configtext::kNoRemovableDisk)}, prompt.MessageTexts());
    EXPECT_TRUE(Text(*d, Dlg::IDC_PATH).isEmpty());
    EXPECT_TRUE(AllSettingsEnabled(*d, false));
    EXPECT_TRUE(d->Control(Dlg::IDC_SET_CONFIG_FOLDER)->isEnabled());
    EXPECT_TRUE(d->Control(Dlg::IDC_CANCEL)->isEnabled());

    prompt.Clear();
    prompt.QueueFolderCancel();
    Click(*d, Dlg::IDC_SET_CONFIG_FOLDER);
    EXPECT_EQ(QStringList({QString::fromLatin1(configtext::kNoRemovableDisk), QStringLiteral("Fail to open the folder.")}),
              prompt.MessageTexts());
    prompt.Clear();
    prompt.QueueFolderChoice({true, QString()});
    Click(*d, Dlg::IDC_SET_CONFIG_FOLDER);
    EXPECT_EQ(QStringLiteral("Wrong folder."), prompt.MessageTexts().value(1));
    EXPECT_TRUE(AllSettingsEnabled(*d, false));

    prompt.QueueFolder(top.path());
    Click(*d, Dlg::IDC_SET_CONFIG_FOLDER);
    EXPECT_EQ(QStringLiteral("Specify the folder to load the blackbox configuration file."),
              prompt.FolderTitles().value(0));
    EXPECT_TRUE(AllSettingsEnabled(*d, true));
    EXPECT_EQ(ComposeConfigFilePath(top.path()), d->Config().filePath);
}

TEST_F(ConfiguratorTest, ShowsTheFileItRead)
{
    InsertCard({QStringLiteral("CITY_INDEX=116"), QStringLiteral("TIMEZONE_INFO=10.000000"),
                QStringLiteral("RECORD_MODE=1"), QStringLiteral("WITH_AUDIO=0"), QStringLiteral("OVERLAY_INFO=9"),
                QStringLiteral("G_SENSITIVITY=0"), QStringLiteral("DAYLIGHT_SAVING_TIME=1")});
    auto d = Open();
    EXPECT_TRUE(prompt.MessageTexts().isEmpty());
    EXPECT_TRUE(d->Control(Dlg::IDC_SAVE)->isEnabled());
    EXPECT_EQ(116, Get<QComboBox>(*d, Dlg::IDC_REGION)->currentIndex());
    EXPECT_EQ(241, Get<QComboBox>(*d, Dlg::IDC_REGION)->count());
    EXPECT_EQ(1, Get<QComboBox>(*d, Dlg::IDC_RECORD_MODE)->currentIndex());
    EXPECT_EQ(QStringLiteral("9"), Text(*d, Dlg::IDC_TIME_DIFFERENCE));
    EXPECT_EQ(QStringLiteral("+ 1"), Text(*d, Dlg::IDC_DST_MARK));
    EXPECT_TRUE(Get<QRadioButton>(*d, Dlg::IDC_AUDIO_NOT_RECORD)->isChecked());
    EXPECT_TRUE(Get<QCheckBox>(*d, Dlg::IDC_OVERLAY_DATETIME)->isChecked());
    EXPECT_FALSE(Get<QCheckBox>(*d, Dlg::IDC_OVERLAY_GSENSOR)->isChecked());
    EXPECT_FALSE(Get<QCheckBox>(*d, Dlg::IDC_OVERLAY_GPS)->isChecked());
    EXPECT_TRUE(Get<QRadioButton>(*d, Dlg::IDC_SENSITIVITY_NOT_USE)->isChecked());
    EXPECT_FALSE(d->Control(Dlg::IDC_SENSITIVITY_SLIDER)->isEnabled());

    // Overlay: the date box off and on keeps the mile/h bit; the GPS box drops it.
    Click(*d, Dlg::IDC_OVERLAY_DATETIME);
    EXPECT_EQ(8, d->Config().nOverlayInfo);
    Click(*d, Dlg::IDC_OVERLAY_DATETIME);
    EXPECT_EQ(9, d->Config().nOverlayInfo);
    Click(*d, Dlg::IDC_OVERLAY_GPS);
    EXPECT_EQ(5, d->Config().nOverlayInfo);

    // "Use" takes the slider's position.
    Get<QSlider>(*d, Dlg::IDC_SENSITIVITY_SLIDER)->setValue(40); // disabled: not counted yet
    EXPECT_EQ(0, d->Config().nGSensitivity);
    Click(*d, Dlg::IDC_SENSITIVITY_USE);
    EXPECT_TRUE(d->Control(Dlg::IDC_SENSITIVITY_SLIDER)->isEnabled());
    EXPECT_EQ(40, d->Config().nGSensitivity);
    Get<QSlider>(*d, Dlg::IDC_SENSITIVITY_SLIDER)->setValue(64);
    EXPECT_EQ(QStringLiteral("64"), Text(*d, Dlg::IDC_SENSITIVITY_VALUE));
    Click(*d, Dlg::IDC_SENSITIVITY_NOT_USE);
    EXPECT_EQ(0, d->Config().nGSensitivity);
    Click(*d, Dlg::IDC_AUDIO_RECORD);
    EXPECT_EQ(1, d->Config().nWithAudio);
    EXPECT_FALSE(Get<QRadioButton>(*d, Dlg::IDC_AUDIO_NOT_RECORD)->isChecked());
}

TEST_F(ConfiguratorTest, SensitivityBeyondTheSliderIsSavedAsShown)
{
    InsertCard({QStringLiteral("G_SENSITIVITY=150")});
    auto d = Open();
    EXPECT_EQ(100, Get<QSlider>(*d, Dlg::IDC_SENSITIVITY_SLIDER)->value());
    EXPECT_EQ(100, d->Config().nGSensitivity);
}

TEST_F(ConfiguratorTest, PacificWithDaylightSavingSaves)
{
    InsertCard();
    QDir().mkpath(Card() + QStringLiteral("/update"));
    auto d = Open();
    EXPECT_EQ(QStringList{QString::fromLatin1(configtext::kNoConfigFolder)}, prompt.MessageTexts());
    EXPECT_EQ(Card() + QStringLiteral("/configuration/qx310_blackbox.conf"), d->Config().filePath);
    Get<QComboBox>(*d, Dlg::IDC_REGION)->setCurrentIndex(229);
    EXPECT_EQ(QStringLiteral("-8"), Text(*d, Dlg::IDC_TIME_DIFFERENCE));
    Click(*d, Dlg::IDC_DST_ENABLE);
    EXPECT_EQ(QStringLiteral("+ 1"), Text(*d, Dlg::IDC_DST_MARK));
    Click(*d, Dlg::IDC_TIME_SETTING);
    Get<QDateEdit>(*d, Dlg::IDC_DATE_PICKER)->setDate(QDate(2012, 1, 23));
    Get<QTimeEdit>(*d, Dlg::IDC_TIME_PICKER)->setTime(QTime(13, 14, 15));
    prompt.Clear();
    Click(*d, Dlg::IDC_SAVE);
    EXPECT_EQ(QStringList{QString::fromLatin1(configtext::kSaved)}, prompt.MessageTexts());
    EXPECT_EQ(QDialog::Accepted, d->result());
    EXPECT_EQ(configtest::Golden("us_pacific_dst.conf"), configtest::ReadAll(d->Config().filePath));
    EXPECT_EQ(configtest::Golden("clock_2012_01_23.cfg"),
              configtest::ReadAll(Card() + QStringLiteral("/update/date_time.cfg")));
}

TEST_F(ConfiguratorTest, FolderWithoutAFileResetsAllButDaylightSaving)
{
    InsertCard({QStringLiteral("CITY_INDEX=14"), QStringLiteral("G_SENSITIVITY=30"),
                QStringLiteral("DAYLIGHT_SAVING_TIME=1")});
    auto d = Open();
    EXPECT_EQ(QStringLiteral("8.75"), Text(*d, Dlg::IDC_TIME_DIFFERENCE));
    const QString other = top.filePath(QStringLiteral("other"));
    QDir().mkpath(other);
    prompt.QueueFolder(other);
    Click(*d, Dlg::IDC_SET_CONFIG_FOLDER);
    EXPECT_NE(Card(), d->VolumeRoot()); // not on the card
    EXPECT_EQ(193, d->Config().nCityIndex);
    EXPECT_EQ(50, d->Config().nGSensitivity);
    EXPECT_EQ(1, d->Config().nDaylightSaving);
    EXPECT_EQ(QStringLiteral("8"), Text(*d, Dlg::IDC_TIME_DIFFERENCE));
    EXPECT_EQ(other + QStringLiteral("/qx310_blackbox.conf"), d->Config().filePath);
}

TEST_F(ConfiguratorTest, CancelWritesNothingAndPathClickShowsTheWholePath)
{
    const QString path = configtest::WriteCardConfig(Card(), {QStringLiteral("CITY_INDEX=1")});
    volumes.SetRoots({Card()});
    auto d = Open();
    QTest::mouseClick(d->Control(Dlg::IDC_PATH), Qt::LeftButton);
    EXPECT_EQ(QStringList{QStringLiteral("Configuration File Path\n[%1]").arg(path)}, prompt.MessageTexts());
    Get<QComboBox>(*d, Dlg::IDC_REGION)->setCurrentIndex(5);
    Click(*d, Dlg::IDC_CANCEL);
    EXPECT_EQ(QDialog::Rejected, d->result());
    EXPECT_EQ(QByteArray("CITY_INDEX=1\r\n"), configtest::ReadAll(path));
}

TEST_F(ConfiguratorTest, ControlsSitAtTheTemplatesPlaces)
{
    auto d = Open();
    // Dialog units: x in quarters, y in eighths of the font's base units; so every control keeps
    // the template's proportions whatever font stands in for the dialog font.
    const QRect save = d->Control(Dlg::IDC_SAVE)->geometry();
    const QRect cancel = d->Control(Dlg::IDC_CANCEL)->geometry();
    const QRect slider = d->Control(Dlg::IDC_SENSITIVITY_SLIDER)->geometry();
    EXPECT_EQ(save.y(), cancel.y());
    EXPECT_EQ(save.size(), cancel.size());
    EXPECT_NEAR(262.0 / 209.0, double(cancel.x()) / save.x(), 0.02);
    EXPECT_NEAR(270.0 / 50.0, double(slider.width()) / save.width(), 0.1);
    const QWidget *client = d->Control(Dlg::IDC_SAVE)->parentWidget();
    EXPECT_TRUE(client->rect().contains(cancel));
}
