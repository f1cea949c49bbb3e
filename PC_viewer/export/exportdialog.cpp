// The export dialog.
#include "export/exportdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char *const kItemCaptions[7] = {"Date and time", "Speed", "Position", "Heading",
                                      "G-sensor X/Y/Z", "Recording kind", "File name and frame"};

} // namespace

CExportDialog::CExportDialog(const QString &rangeText, const tagEXPORTOPTIONS &initial, QWidget *parent)
    : CSkinDialog(kDialogId, parent), m_range(new QLabel(rangeText, this)), m_units(new QComboBox(this)),
      m_sound(new QCheckBox(QStringLiteral("Sound"), this)), m_quality(new QComboBox(this)),
      m_layout(new QComboBox(this)), m_initial(initial)
{
    setWindowTitle(QStringLiteral("Export video"));
    setModal(true);
    m_range->setWordWrap(true);
    m_range->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *items = new QGroupBox(QStringLiteral("Shown under the picture"), this);
    auto *grid = new QGridLayout(items);
    for (int i = 0; i < 7; ++i) {
        m_items[i] = new QCheckBox(QString::fromLatin1(kItemCaptions[i]), items);
        m_items[i]->setChecked(initial.nOverlay & (1u << i));
        grid->addWidget(m_items[i], i / 2, i % 2);
    }
    m_units->addItem(QStringLiteral("km/h"), int(SpeedUnit::Kmh));
    m_units->addItem(QStringLiteral("mph"), int(SpeedUnit::Mph));
    m_units->setCurrentIndex(initial.unit == SpeedUnit::Mph ? 1 : 0);
    m_sound->setChecked(initial.bSound);
    m_quality->addItem(QStringLiteral("High"), int(ExportQuality::High));
    m_quality->addItem(QStringLiteral("Normal"), int(ExportQuality::Normal));
    m_quality->addItem(QStringLiteral("Small file"), int(ExportQuality::Small));
    m_quality->setCurrentIndex(m_quality->findData(int(initial.quality)));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Speed in"), m_units);
    form->addRow(QStringLiteral("Quality"), m_quality);
    form->addRow(QString(), m_sound);

    // Several cameras: each one's picture of the moment, composed.
    QGroupBox *cameras = nullptr;
    m_layout->addItem(QStringLiteral("Side by side"), int(ChannelLayout::SideBySide));
    m_layout->addItem(QStringLiteral("Picture in picture"), int(ChannelLayout::PictureInPicture));
    m_layout->addItem(QStringLiteral("Grid"), int(ChannelLayout::Grid));
    m_layout->setCurrentIndex(qMax(0, m_layout->findData(int(initial.layout))));
    if (initial.channels.size() > 1) {
        cameras = new QGroupBox(QStringLiteral("Cameras"), this);
        auto *row = new QGridLayout(cameras);
        for (int i = 0; i < initial.channels.size(); ++i) {
            auto *box = new QCheckBox(initial.channels.at(i), cameras);
            box->setChecked(true);
            row->addWidget(box, i / 4, i % 4);
            m_cameras << box;
        }
        row->addWidget(new QLabel(QStringLiteral("Layout"), cameras), (initial.channels.size() + 3) / 4, 0);
        row->addWidget(m_layout, (initial.channels.size() + 3) / 4, 1, 1, 3);
    } else {
        m_layout->hide();
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Export"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_range);
    layout->addWidget(items);
    layout->addLayout(form);
    if (cameras)
        layout->addWidget(cameras);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

tagEXPORTOPTIONS CExportDialog::Options() const
{
    tagEXPORTOPTIONS o;
    o.nOverlay = 0;
    for (int i = 0; i < 7; ++i)
        if (m_items[i]->isChecked())
            o.nOverlay |= 1u << i;
    o.unit = static_cast<SpeedUnit>(m_units->currentData().toInt());
    o.bSound = m_sound->isChecked();
    o.quality = static_cast<ExportQuality>(m_quality->currentData().toInt());
    o.layout = static_cast<ChannelLayout>(m_layout->currentData().toInt());
    o.corner = m_initial.corner;
    for (QCheckBox *box : m_cameras)
        if (box->isChecked())
            o.channels << box->text();
    // The main camera alone is the plain export.
    if (o.channels.size() == 1 && o.channels.first() == m_initial.channels.value(0))
        o.channels.clear();
    return o;
}

QCheckBox *CExportDialog::CameraBox(const QString &name) const
{
    for (QCheckBox *box : m_cameras)
        if (box->text() == name)
            return box;
    return nullptr;
}

QCheckBox *CExportDialog::ItemBox(unsigned item) const
{
    for (int i = 0; i < 7; ++i)
        if (item == (1u << i))
            return m_items[i];
    return nullptr;
}
