// The configurator dialog: controls laid out from the template, handlers that keep the settings
// record and the controls in step, and the folder choice and save that reach the card.
#include "device_config/blackboxconfigurator.h"

#include "device_config/configstore.h"
#include "platform/removablevolumes.h"
#include "skin/prompt.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTextOption>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

// The template's size in dialog units.
constexpr int kTemplateWidth = 319;
constexpr int kTemplateHeight = 324;
constexpr int kTemplateFontPoints = 9;
constexpr int kSliderMin = 1;
constexpr int kSliderMax = 100;
// A click on the path shows the whole path once the label may have shortened it.
constexpr int kPathShownWhole = 20;
const QColor kClientColour(240, 240, 240);

const char kFolderTitle[] = "Specify the folder to load the blackbox configuration file.";
const char kFolderCancelled[] = "Fail to open the folder.";
const char kWrongFolder[] = "Wrong folder.";
const char kPathMessage[] = "Configuration File Path\n[%1]";
const char kDaylightMark[] = "+ 1";

// Dialog units of a font: a quarter of its average character width across, an eighth of its
// height down, as the template's positions mean them.
class CDialogUnits
{
public:
    explicit CDialogUnits(const QFont &font)
    {
        const QFontMetrics fm(font);
        const int letters = fm.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        m_dBaseX = qMax(1, (letters / 26 + 1) / 2);
        m_nBaseY = qMax(1, fm.height());
    }
    // The font that stands in for the dialog font may set a caption wider than the template
    // allows for; then every x and width grows by the same factor.
    void WidenBy(double factor) { m_dBaseX *= factor; }
    int X(int units) const { return qRound(units * m_dBaseX / 4.0); }
    int Y(int units) const { return (units * m_nBaseY + 4) / 8; }
    QRect Rect(const QRect &units) const
    {
        return QRect(X(units.x()), Y(units.y()), X(units.width()), Y(units.height()));
    }
    double AverageCharWidth() const { return m_dBaseX; }

private:
    double m_dBaseX;
    int m_nBaseY;
};

// A static text that expands TABs to tab stops of eight average characters and wraps at
// words, as the template's help text is laid out.
class CTabbedText : public QWidget
{
public:
    CTabbedText(const QString &text, QWidget *parent) : QWidget(parent), m_text(text) {}
    QString Text() const { return m_text; }
    void SetTabStop(double pixels) { m_dTabStop = pixels; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        QTextOption option(Qt::AlignLeft | Qt::AlignTop);
        option.setWrapMode(QTextOption::WordWrap);
        option.setTabStopDistance(m_dTabStop);
        painter.drawText(QRectF(rect()), m_text, option);
    }

private:
    QString m_text;
    double m_dTabStop = 56;
};

// The widest caption the template gives too little room for, as a factor of its room.
double CaptionOverflow(const QList<QWidget *> &widgets)
{
    double factor = 1.0;
    for (QWidget *w : widgets) {
        if (w->width() <= 0)
            continue;
        int needed = 0;
        if (auto *label = qobject_cast<QLabel *>(w))
            needed = label->text().isEmpty() ? 0 : label->fontMetrics().horizontalAdvance(label->text());
        else if (auto *push = qobject_cast<QPushButton *>(w))
            needed = push->fontMetrics().horizontalAdvance(push->text()) + 8;
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            needed = button->sizeHint().width();
        factor = qMax(factor, double(needed) / w->width());
    }
    return qMin(factor, 1.5);
}

QFont TemplateFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Shell Dlg"), QStringLiteral("Tahoma"), QStringLiteral("Segoe UI"),
                      QStringLiteral("DejaVu Sans")});
    font.setPointSize(kTemplateFontPoints);
    return font;
}

} // namespace

CBlackBoxConfigurator::CBlackBoxConfigurator(const IRemovableVolumes &volumes, QWidget *parent)
    : CSkinDialog(kDialogId, parent), m_volumes(volumes)
{
    setWindowTitle(QStringLiteral("Blackbox Configurator"));
    setModal(true);
    CreateControls();
    InitDialog();
}

QWidget *CBlackBoxConfigurator::Control(int id) const
{
    return m_client->findChild<QWidget *>(QString::number(id));
}

void CBlackBoxConfigurator::CreateControls()
{
    m_client = new QWidget(this);
    m_client->setFont(TemplateFont());
    QPalette palette = m_client->palette();
    palette.setColor(QPalette::Window, kClientColour);
    palette.setColor(QPalette::Active, QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, Qt::black);
    m_client->setPalette(palette);
    m_client->setAutoFillBackground(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_client);

    // Each control with its place in dialog units; laid out once all exist.
    QList<QPair<QWidget *, QRect>> placed;
    auto place = [&](auto *widget, int id, int x, int y, int w, int h) {
        if (id != 0)
            widget->setObjectName(QString::number(id));
        placed.append({widget, QRect(x, y, w, h)});
        return widget;
    };
    auto label = [&](const char *text, int x, int y, int w, int h, int id = 0) {
        auto *l = place(new QLabel(QString::fromLatin1(text), m_client), id, x, y, w, h);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    };
    auto button = [&](const char *text, int id, int x, int y, int w, int h) {
        return place(new QPushButton(QString::fromLatin1(text), m_client), id, x, y, w, h);
    };
    auto radio = [&](const char *text, int id, int x, int y, int w, int h) {
        return place(new QRadioButton(QString::fromLatin1(text), m_client), id, x, y, w, h);
    };
    auto check = [&](const char *text, int id, int x, int y, int w, int h) {
        return place(new QCheckBox(QString::fromLatin1(text), m_client), id, x, y, w, h);
    };
    auto combo = [&](int id, int x, int y, int w) {
        auto *c = new QComboBox(m_client);
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        return place(c, id, x, y, w, 12); // the drop-down's list height is the list's own
    };
    auto pair = [&](QRadioButton *a, QRadioButton *b) {
        auto *group = new QButtonGroup(this);
        group->addButton(a);
        group->addButton(b);
    };

    // In the template's tab order.
    m_save = button("Save", IDC_SAVE, 209, 303, 50, 14);
    auto *cancel = button("Cancel", IDC_CANCEL, 262, 303, 50, 14);
    auto *setFolder = button("Set Config folder", IDC_SET_CONFIG_FOLDER, 252, 8, 60, 14);
    label("Config file path : ", 7, 11, 52, 9);
    label("*Region", 24, 32, 37, 8);
    m_region = combo(IDC_REGION, 61, 30, 120);
    label("*Record mode", 24, 96, 59, 8);
    m_recordMode = combo(IDC_RECORD_MODE, 76, 93, 105);
    label("*Audio", 24, 123, 56, 8);
    m_audioRecord = radio("Record", IDC_AUDIO_RECORD, 43, 132, 30, 10);
    m_audioNotRecord = radio("Not record", IDC_AUDIO_NOT_RECORD, 83, 132, 46, 10);
    label("*The information of Overlay display", 24, 156, 120, 8);
    m_overlayDate = check("Date and Time Info.", IDC_OVERLAY_DATETIME, 43, 166, 74, 10);
    m_overlayGSensor = check("G-Acceleration Sensor Info.", IDC_OVERLAY_GSENSOR, 129, 166, 100, 10);
    m_overlayGps = check("GPS Info.", IDC_OVERLAY_GPS, 237, 166, 45, 10);
    label("*G-Acceleration Sensitivity", 24, 191, 90, 8);
    m_slider = place(new QSlider(Qt::Horizontal, m_client), IDC_SENSITIVITY_SLIDER, 39, 212, 270, 15);
    m_slider->setTickPosition(QSlider::NoTicks);
    m_sensitivityUse = radio("Use", IDC_SENSITIVITY_USE, 43, 201, 30, 10);
    m_sensitivityNotUse = radio("Not use", IDC_SENSITIVITY_NOT_USE, 83, 201, 46, 10);
    m_path = label("", 60, 9, 191, 12, IDC_PATH);
    m_timeDifference = label("", 259, 32, 18, 8, IDC_TIME_DIFFERENCE);
    m_sensitivityValue = label("", 283, 203, 18, 8, IDC_SENSITIVITY_VALUE);
    label("Value :", 255, 203, 26, 8);
    label("<<=== High sensitivity", 43, 226, 86, 8);
    label("Low sensitivity ===>>", 223, 226, 78, 8);
    auto *help = place(new CTabbedText(QStringLiteral("Help : Value means degree of change of the G Acceleration sensor.\n"
                                                      "\t\tHigher value, Lower sensitivity.\n"
                                                      "\t\tLower value, Higher sensitivity.\n"
                                                      "\t\tIf value is 0(zero), then blackbox will never create "
                                                      "event-file."),
                                       m_client),
                       0, 44, 241, 260, 37);
    label("Difference of Time :", 191, 32, 67, 8);
    label("Config information displayed above video recorded.", 44, 177, 260, 12);
    label("Config recording with/without Microphone Audio.", 44, 143, 260, 12);
    label("For setting system time from GPS Info.", 44, 45, 260, 11);
    label("Config resolution and  frame rate.", 44, 108, 260, 11);
    label("(Default : 50)", 145, 226, 57, 8);
    label("*Daylight Saving Time", 25, 58, 85, 8);
    m_dstEnable = radio("Enable", IDC_DST_ENABLE, 44, 67, 30, 10);
    m_dstDisable = radio("Disable", IDC_DST_DISABLE, 84, 67, 46, 10);
    label("Set daylight saving time.", 45, 78, 260, 12);
    m_dstMark = label("", 279, 32, 18, 8, IDC_DST_MARK);
    m_timeSetting = check("*Time Setting   ", IDC_TIME_SETTING, 24, 281, 61, 10);
    m_timePicker = place(new QTimeEdit(m_client), IDC_TIME_PICKER, 107, 294, 63, 15);
    m_datePicker = place(new QDateEdit(m_client), IDC_DATE_PICKER, 44, 294, 53, 15);

    CDialogUnits du(m_client->font());
    help->SetTabStop(8 * du.AverageCharWidth());
    auto layOut = [&] {
        for (const auto &[widget, units] : placed)
            widget->setGeometry(du.Rect(units));
    };
    layOut();
    QList<QWidget *> captioned;
    for (const auto &entry : placed)
        captioned.append(entry.first);
    const double overflow = CaptionOverflow(captioned);
    if (overflow > 1.0) {
        du.WidenBy(overflow);
        layOut();
    }
    for (QComboBox *c : {m_region, m_recordMode})
        c->resize(c->width(), c->sizeHint().height());
    m_client->setFixedSize(du.X(kTemplateWidth), du.Y(kTemplateHeight));

    m_path->installEventFilter(this);
    m_datePicker->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    m_timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    const QDateTime now = QDateTime::currentDateTime();
    m_datePicker->setDate(now.date());
    m_timePicker->setTime(now.time());
    pair(m_audioRecord, m_audioNotRecord);
    pair(m_sensitivityUse, m_sensitivityNotUse);
    pair(m_dstEnable, m_dstDisable);

    connect(m_save, &QPushButton::clicked, this, &CBlackBoxConfigurator::OnSave);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(setFolder, &QPushButton::clicked, this, &CBlackBoxConfigurator::OnSetConfigFolder);
    connect(m_region, &QComboBox::currentIndexChanged, this, &CBlackBoxConfigurator::OnRegionChanged);
    connect(m_recordMode, &QComboBox::currentIndexChanged, this, &CBlackBoxConfigurator::OnRecordModeChanged);
    connect(m_audioRecord, &QRadioButton::clicked, this, [this] { OnAudio(true); });
    connect(m_audioNotRecord, &QRadioButton::clicked, this, [this] { OnAudio(false); });
    connect(m_overlayDate, &QCheckBox::clicked, this, [this](bool on) { OnOverlay(1, on, 15); });
    connect(m_overlayGSensor, &QCheckBox::clicked, this, [this](bool on) { OnOverlay(2, on, 15); });
    // The dialog has no mile/h control: touching the GPS box settles on km/h.
    connect(m_overlayGps, &QCheckBox::clicked, this, [this](bool on) { OnOverlay(4, on, 7); });
    connect(m_sensitivityUse, &QRadioButton::clicked, this, [this] { OnSensitivityUse(true); });
    connect(m_sensitivityNotUse, &QRadioButton::clicked, this, [this] { OnSensitivityUse(false); });
    connect(m_slider, &QSlider::valueChanged, this, &CBlackBoxConfigurator::OnSliderMoved);
    connect(m_dstEnable, &QRadioButton::clicked, this, [this] { OnDaylightSaving(true); });
    connect(m_dstDisable, &QRadioButton::clicked, this, [this] { OnDaylightSaving(false); });
}

void CBlackBoxConfigurator::InitDialog()
{
    const tagCONFIGFOLDER card = FindConfigFolder(m_volumes, true);
    ShowMessages(card.messages);
    for (int row = 0; row < m_regions.Count(); ++row)
        m_region->addItem(m_regions.Row(row).name);
    m_recordMode->addItems({QStringLiteral("VGA(640x480) 30fps"), QStringLiteral("D1(720x480) 20fps"),
                            QStringLiteral("HD(1280x720)")});
    m_slider->setRange(kSliderMin, kSliderMax);
    ApplyDefaultsToControls();
    if (!card.folder.isEmpty()) {
        UseFolder(card.folder, card.volumeRoot);
        if (card.bFound)
            ReadIntoControls();
        else
            ApplyDefaultsToControls();
    } else {
        EnableSettings(false);
    }
}

void CBlackBoxConfigurator::UseFolder(const QString &folder, const QString &volumeRoot)
{
    m_folder = folder;
    m_volumeRoot = volumeRoot;
    m_config.filePath = ComposeConfigFilePath(folder);
    EnableSettings(true);
    Refresh();
}

void CBlackBoxConfigurator::EnableSettings(bool enable)
{
    for (int id : kSettingsControls) {
        if (QWidget *w = Control(id))
            w->setEnabled(enable);
    }
}

void CBlackBoxConfigurator::ApplyDefaultsToControls()
{
    ApplyDefaults(m_config);
    SetControlsFromRecord();
}

void CBlackBoxConfigurator::ReadIntoControls()
{
    if (!ReadConfigFile(m_config.filePath, m_config, m_regions)) {
        ShowMessages({QString::fromLatin1(configtext::kCannotRead).arg(m_config.filePath)});
        return;
    }
    SetControlsFromRecord();
}

void CBlackBoxConfigurator::SetControlsFromRecord()
{
    m_region->setCurrentIndex(m_regions.IsRow(m_config.nCityIndex) ? m_config.nCityIndex : -1);
    m_recordMode->setCurrentIndex(m_config.nRecordMode >= 0 && m_config.nRecordMode < m_recordMode->count()
                                      ? m_config.nRecordMode
                                      : -1);
    if (m_regions.IsRow(m_config.nCityIndex))
        m_config.dTimeDifference = m_regions.Row(m_config.nCityIndex).offset;
    (m_config.nWithAudio != 0 ? m_audioRecord : m_audioNotRecord)->setChecked(true);
    m_overlayDate->setChecked(m_config.nOverlayInfo & 1);
    m_overlayGSensor->setChecked(m_config.nOverlayInfo & 2);
    m_overlayGps->setChecked(m_config.nOverlayInfo & 4);
    if (m_config.nGSensitivity != 0) {
        m_sensitivityUse->setChecked(true);
        m_slider->setEnabled(true);
        m_slider->setValue(m_config.nGSensitivity); // held to 1..100 by the slider
        OnSliderMoved(); // what the slider's first repaint reports, so Save writes what is shown
    } else {
        m_sensitivityNotUse->setChecked(true);
        m_slider->setEnabled(false);
    }
    const bool daylight = m_config.nDaylightSaving != 0;
    (daylight ? m_dstEnable : m_dstDisable)->setChecked(true);
    m_daylightMark = daylight ? QString::fromLatin1(kDaylightMark) : QString();
    Refresh();
}

void CBlackBoxConfigurator::Refresh()
{
    const QString path = m_config.filePath;
    m_path->setText(m_path->fontMetrics().elidedText(path, Qt::ElideMiddle, m_path->width()));
    m_path->setToolTip(path);
    m_timeDifference->setText(TimeDifferenceText(m_config.dTimeDifference));
    m_sensitivityValue->setText(QString::number(m_config.nGSensitivity));
    m_dstMark->setText(m_daylightMark);
}

void CBlackBoxConfigurator::ShowMessages(const QStringList &messages)
{
    for (const QString &text : messages)
        CurrentPrompt().Info(this, text);
}

void CBlackBoxConfigurator::OnRegionChanged(int row)
{
    if (!m_regions.IsRow(row))
        return;
    m_config.nCityIndex = row;
    m_config.dTimeDifference = m_regions.Row(row).offset;
    Refresh();
}

void CBlackBoxConfigurator::OnRecordModeChanged(int position)
{
    if (position >= 0)
        m_config.nRecordMode = position;
}

void CBlackBoxConfigurator::OnAudio(bool record)
{
    (record ? m_audioRecord : m_audioNotRecord)->setChecked(true);
    m_config.nWithAudio = record ? 1 : 0;
}

void CBlackBoxConfigurator::OnOverlay(int bit, bool checked, int mask)
{
    const int value = m_config.nOverlayInfo;
    m_config.nOverlayInfo = (checked ? (value | bit) : (value & ~bit)) & mask;
}

void CBlackBoxConfigurator::OnSensitivityUse(bool use)
{
    (use ? m_sensitivityUse : m_sensitivityNotUse)->setChecked(true);
    m_slider->setEnabled(use);
    m_config.nGSensitivity = use ? m_slider->value() : 0;
    Refresh();
}

void CBlackBoxConfigurator::OnSliderMoved()
{
    if (!m_sensitivityUse->isChecked())
        return;
    m_config.nGSensitivity = m_slider->value();
    Refresh();
}

void CBlackBoxConfigurator::OnDaylightSaving(bool enable)
{
    (enable ? m_dstEnable : m_dstDisable)->setChecked(true);
    m_config.nDaylightSaving = enable ? 1 : 0;
    m_daylightMark = enable ? QString::fromLatin1(kDaylightMark) : QString();
    Refresh();
}

void CBlackBoxConfigurator::OnPathClicked()
{
    if (m_config.filePath.size() > kPathShownWhole)
        CurrentPrompt().Info(this, QString::fromLatin1(kPathMessage).arg(m_config.filePath));
}

void CBlackBoxConfigurator::OnSave()
{
    const tagSAVERESULT result = SaveConfiguration(m_config, m_timeSetting->isChecked(), m_datePicker->date(),
                                                   m_timePicker->time(), ClockFilePath(m_volumeRoot));
    ShowMessages(result.messages);
    if (result.bCloseDialog)
        accept();
}

void CBlackBoxConfigurator::OnSetConfigFolder()
{
    const tagCONFIGFOLDER initial = FindConfigFolder(m_volumes, false);
    ShowMessages(initial.messages);
    const tagFOLDERCHOICE choice =
        CurrentPrompt().ChooseFolder(this, QString::fromLatin1(kFolderTitle), initial.folder);
    if (!choice.bChosen) {
        CurrentPrompt().Info(this, QString::fromLatin1(kFolderCancelled));
        return;
    }
    if (choice.path.isEmpty()) {
        CurrentPrompt().Info(this, QString::fromLatin1(kWrongFolder));
        return;
    }
    UseFolder(choice.path, VolumeRootOf(choice.path, m_volumes));
    if (QFileInfo(m_config.filePath).isFile())
        ReadIntoControls();
    else
        ApplyDefaultsToControls(); // the file is made at this path on Save
}

bool CBlackBoxConfigurator::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_path && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        OnPathClicked();
        return true;
    }
    return CSkinDialog::eventFilter(watched, event);
}
