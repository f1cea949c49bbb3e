// "Blackbox Configurator" (dialog 112): edits the recorder's settings, points the viewer at the
// SD card's configuration folder and saves the configuration file and, when asked, the clock
// file. The controls sit where the recorder vendor's dialog template put them, in dialog units
// of the dialog font; every control carries its control id as its object name.
#pragma once

#include "device_config/deviceconfig.h"
#include "device_config/regiontable.h"
#include "skin/skindialog.h"

#include <QString>

#include <array>

class IRemovableVolumes;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimeEdit;

class CBlackBoxConfigurator : public CSkinDialog
{
    Q_OBJECT

public:
    static constexpr int kDialogId = 112;

    // Control ids.
    static constexpr int IDC_SAVE = 1;
    static constexpr int IDC_CANCEL = 2;
    static constexpr int IDC_SET_CONFIG_FOLDER = 1024;
    static constexpr int IDC_REGION = 1027;
    static constexpr int IDC_RECORD_MODE = 1028;
    static constexpr int IDC_AUDIO_RECORD = 1029;
    static constexpr int IDC_AUDIO_NOT_RECORD = 1030;
    static constexpr int IDC_OVERLAY_DATETIME = 1031;
    static constexpr int IDC_OVERLAY_GSENSOR = 1032;
    static constexpr int IDC_OVERLAY_GPS = 1033;
    static constexpr int IDC_SENSITIVITY_SLIDER = 1034;
    static constexpr int IDC_SENSITIVITY_USE = 1035;
    static constexpr int IDC_SENSITIVITY_NOT_USE = 1036;
    static constexpr int IDC_PATH = 1037;
    static constexpr int IDC_TIME_DIFFERENCE = 1038;
    static constexpr int IDC_SENSITIVITY_VALUE = 1039;
    static constexpr int IDC_TIME_PICKER = 1040;
    static constexpr int IDC_DST_ENABLE = 1042;
    static constexpr int IDC_DST_DISABLE = 1043;
    static constexpr int IDC_DST_MARK = 1044;
    static constexpr int IDC_DATE_PICKER = 1045;
    static constexpr int IDC_TIME_SETTING = 1052;

    // The sixteen controls that are enabled and disabled together.
    static constexpr std::array<int, 16> kSettingsControls = {
        IDC_REGION,          IDC_RECORD_MODE,         IDC_AUDIO_RECORD,       IDC_AUDIO_NOT_RECORD,
        IDC_OVERLAY_DATETIME, IDC_OVERLAY_GSENSOR,    IDC_OVERLAY_GPS,        IDC_SENSITIVITY_USE,
        IDC_SENSITIVITY_NOT_USE, IDC_SENSITIVITY_SLIDER, IDC_SAVE,            IDC_DST_ENABLE,
        IDC_DST_DISABLE,     IDC_TIME_SETTING,        IDC_DATE_PICKER,        IDC_TIME_PICKER,
    };

    // Looks for the card at once; its messages are shown before the dialog is.
    explicit CBlackBoxConfigurator(const IRemovableVolumes &volumes, QWidget *parent = nullptr);

    const DeviceConfig &Config() const { return m_config; }
    const CRegionTable &Regions() const { return m_regions; }
    QString DaylightMark() const { return m_daylightMark; }
    // The card volume whose update folder takes the clock file.
    QString VolumeRoot() const { return m_volumeRoot; }
    QWidget *Control(int id) const;

    // The handlers, as the controls call them.
    void OnSetConfigFolder();
    void OnSave();
    void OnPathClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateControls();
    void InitDialog();
    void SetControlsFromRecord();
    void ApplyDefaultsToControls();
    void ReadIntoControls();
    void UseFolder(const QString &folder, const QString &volumeRoot);
    void EnableSettings(bool enable);
    void Refresh();
    void ShowMessages(const QStringList &messages);

    void OnRegionChanged(int row);
    void OnRecordModeChanged(int position);
    void OnAudio(bool record);
    void OnOverlay(int bit, bool checked, int mask);
    void OnSensitivityUse(bool use);
    void OnSliderMoved();
    void OnDaylightSaving(bool enable);

    const IRemovableVolumes &m_volumes;
    CRegionTable m_regions;
    DeviceConfig m_config;
    QString m_daylightMark;
    QString m_volumeRoot;
    QString m_folder;
    bool m_bFound = false;

    QWidget *m_client = nullptr;
    QPushButton *m_save = nullptr;
    QComboBox *m_region = nullptr;
    QComboBox *m_recordMode = nullptr;
    QRadioButton *m_audioRecord = nullptr;
    QRadioButton *m_audioNotRecord = nullptr;
    QCheckBox *m_overlayDate = nullptr;
    QCheckBox *m_overlayGSensor = nullptr;
    QCheckBox *m_overlayGps = nullptr;
    QSlider *m_slider = nullptr;
    QRadioButton *m_sensitivityUse = nullptr;
    QRadioButton *m_sensitivityNotUse = nullptr;
    QRadioButton *m_dstEnable = nullptr;
    QRadioButton *m_dstDisable = nullptr;
    QCheckBox *m_timeSetting = nullptr;
    QDateEdit *m_datePicker = nullptr;
    QTimeEdit *m_timePicker = nullptr;
    QLabel *m_path = nullptr;
    QLabel *m_timeDifference = nullptr;
    QLabel *m_sensitivityValue = nullptr;
    QLabel *m_dstMark = nullptr;
};
