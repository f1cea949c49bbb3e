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
      m_sound(new QCheckBox(QStringLiteral("Sound"), this)), m_quality(new QComboBox(this))
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

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Export"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_range);
    layout->addWidget(items);
    layout->addLayout(form);
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
    return o;
}

QCheckBox *CExportDialog::ItemBox(unsigned item) const
{
    for (int i = 0; i < 7; ++i)
        if (item == (1u << i))
            return m_items[i];
    return nullptr;
}
