// The export dialog.
#include "export/exportdialog.h"

#include "export/regioncanvas.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <climits>

namespace {

const char *const kItemCaptions[7] = {"Date and time", "Speed", "Position", "Heading",
                                      "G-sensor X/Y/Z", "Recording kind", "File name and frame"};

// The picture to mark regions on fits in this.
constexpr QSize kCanvasFit(480, 270);

} // namespace

CExportDialog::CExportDialog(const QString &rangeText, const tagEXPORTOPTIONS &initial, QWidget *parent,
                             tagREGIONPICTURES pictures)
    : CSkinDialog(kDialogId, parent), m_range(new QLabel(rangeText, this)), m_units(new QComboBox(this)),
      m_sound(new QCheckBox(QStringLiteral("Sound"), this)), m_quality(new QComboBox(this)),
      m_layout(new QComboBox(this)), m_initial(initial), m_pictures(std::move(pictures)),
      m_regions(initial.blur)
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

    // Blurring for sharing: regions marked on a frame of the range, and the privacy copy.
    auto *sharing = new QGroupBox(QStringLiteral("Blur for sharing"), this);
    auto *sharingLayout = new QVBoxLayout(sharing);
    if (m_pictures.llCount > 0 && m_pictures.picture) {
        m_canvas = new CRegionCanvas(sharing);
        m_slider = new QSlider(Qt::Horizontal, sharing);
        m_slider->setRange(0, int(qMin<int64_t>(m_pictures.llCount - 1, INT_MAX)));
        m_frameLabel = new QLabel(sharing);
        m_list = new QListWidget(sharing);
        m_list->setMaximumHeight(90);
        m_follow = new QCheckBox(QStringLiteral("Follows what it covers"), sharing);
        m_follow->setChecked(true);
        m_new = new QPushButton(QStringLiteral("New region"), sharing);
        m_remove = new QPushButton(QStringLiteral("Remove"), sharing);
        auto *hint = new QLabel(QStringLiteral("Drag a rectangle on the picture to blur what it covers. Choose a "
                                               "region in the list and drag again, on any frame, to correct it."),
                                sharing);
        hint->setWordWrap(true);
        sharingLayout->addWidget(hint);
        sharingLayout->addWidget(m_canvas, 0, Qt::AlignHCenter);
        sharingLayout->addWidget(m_slider);
        sharingLayout->addWidget(m_frameLabel);
        sharingLayout->addWidget(m_list);
        auto *row = new QHBoxLayout;
        row->addWidget(m_follow);
        row->addStretch();
        row->addWidget(m_new);
        row->addWidget(m_remove);
        sharingLayout->addLayout(row);
        connect(m_slider, &QSlider::valueChanged, this, &CExportDialog::ShowFrame);
        connect(m_canvas, &CRegionCanvas::RectDrawn, this, &CExportDialog::OnRectDrawn);
        connect(m_list, &QListWidget::currentRowChanged, this, &CExportDialog::OnChosen);
        connect(m_follow, &QCheckBox::toggled, this, &CExportDialog::OnFollowToggled);
        connect(m_new, &QPushButton::clicked, this, [this] {
            m_list->setCurrentRow(-1);
            m_list->clearSelection();
        });
        connect(m_remove, &QPushButton::clicked, this, [this] {
            const int row = m_list->currentRow();
            if (row < 0 || row >= m_regions.size())
                return;
            m_regions.removeAt(row);
            m_list->setCurrentRow(-1);
            RefreshRegions();
        });
        ShowFrame(0);
        RefreshRegions();
    }
    m_privacy = new QCheckBox(QStringLiteral("Privacy copy: no position, speed or time in the band or the file"),
                              sharing);
    m_privacy->setChecked(initial.bPrivacy);
    sharingLayout->addWidget(m_privacy);

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
    layout->addWidget(sharing);
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
    // Blurring is done on the pictures encoded: the dialog offers no lossless cut.
    o.bCopy = false;
    o.blur = m_regions;
    o.bPrivacy = m_privacy->isChecked();
    return o;
}

void CExportDialog::ShowFrame(int place)
{
    if (!m_canvas)
        return;
    m_canvas->SetPicture(m_pictures.picture(place), m_pictures.size, kCanvasFit);
    m_frameLabel->setText(QStringLiteral("Frame %1 of the first recording (%2 of %3 in the range)")
                              .arg(m_pictures.llFirstFrame + place)
                              .arg(place + 1)
                              .arg(m_pictures.llCount));
    RefreshRegions();
}

void CExportDialog::OnRectDrawn(const QRect &rect)
{
    const int place = m_slider->value();
    const int row = m_list->currentRow();
    if (row >= 0 && row < m_regions.size()) {
        // A correction of the chosen region: a new key frame where it follows.
        m_regions[row].SetRect(place, rect);
    } else {
        tagBLURREGION region;
        region.bFollow = m_follow->isChecked();
        region.SetRect(place, rect);
        m_regions.append(region);
    }
    RefreshRegions();
}

void CExportDialog::OnChosen()
{
    const int row = m_list->currentRow();
    if (row >= 0 && row < m_regions.size()) {
        const QSignalBlocker block(m_follow);
        m_follow->setChecked(m_regions.at(row).bFollow);
    }
    m_remove->setEnabled(row >= 0);
    RefreshRegions();
}

void CExportDialog::OnFollowToggled(bool bFollow)
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_regions.size())
        return;
    tagBLURREGION &r = m_regions[row];
    if (r.bFollow == bFollow)
        return;
    if (!bFollow) {
        // Still from now on: where it is on the frame shown.
        const QRect here = r.KeyRectAt(m_slider->value());
        r.keys.clear();
        r.keys.insert(0, here);
    } else {
        const QRect here = r.keys.first();
        r.keys.clear();
        r.keys.insert(m_slider->value(), here);
    }
    r.bFollow = bFollow;
    RefreshRegions();
}

void CExportDialog::RefreshRegions()
{
    if (!m_list)
        return;
    const int place = m_slider->value();
    const int chosen = m_list->currentRow();
    {
        const QSignalBlocker block(m_list);
        m_list->clear();
        for (int i = 0; i < m_regions.size(); ++i) {
            const tagBLURREGION &r = m_regions.at(i);
            const QRect shown = r.KeyRectAt(place);
            QString text = QStringLiteral("Region %1: %2,%3 %4x%5")
                               .arg(i + 1)
                               .arg(shown.x())
                               .arg(shown.y())
                               .arg(shown.width())
                               .arg(shown.height());
            if (r.bFollow) {
                QStringList frames;
                for (auto it = r.keys.cbegin(); it != r.keys.cend(); ++it)
                    frames << QString::number(m_pictures.llFirstFrame + it.key());
                text += QStringLiteral(", follows; marked at frame %1").arg(frames.join(QStringLiteral(", ")));
            } else {
                text += QStringLiteral(", still");
            }
            m_list->addItem(text);
        }
        m_list->setCurrentRow(chosen < m_regions.size() ? chosen : -1);
    }
    m_remove->setEnabled(m_list->currentRow() >= 0);
    QVector<CRegionCanvas::tagSHOWNREGION> shown;
    for (int i = 0; i < m_regions.size(); ++i) {
        const tagBLURREGION &r = m_regions.at(i);
        shown.append({r.KeyRectAt(place), !r.bFollow || r.keys.contains(place), i == m_list->currentRow()});
    }
    m_canvas->SetRegions(shown);
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
