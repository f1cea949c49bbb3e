// Play control bar.
#include "playback/playcontrolview.h"

#include "playback/playcontroltarget.h"
#include "skin/bitmapslider.h"
#include "skin/buttonst.h"
#include "skin/commandids.h"
#include "skin/skinart.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QPainter>
#include <QSignalBlocker>

#include <cmath>

namespace {

// Layout of the bar, in pixels.
constexpr int kGroupGap = 18;        // between the button groups
constexpr int kListWidth = 70;
constexpr int kListHeight = 20;
constexpr int kListAdvance = 88;     // list width plus the gap after it
constexpr int kSliderWidth = 14;
constexpr int kSliderHeight = 35;

// Every bitmap of the bar is keyed on this colour (none of our pictures contain it).
const QColor kButtonKey(255, 0, 255);
// The slider's channel is keyed on black.
const QColor kChannelKey(0, 0, 0);

// Buttons that forward to a command of the main frame, so that the menu and the bar
// share one handler.
struct tagFORWARD {
    int button;
    int command;
};
constexpr tagFORWARD kForwarded[] = {
    {IDC_TO_BEGINNING, ID_MEDIA_TO_BEGINNING},
    {IDC_TO_END, ID_MEDIA_TO_END},
    {IDC_FRAME_FORWARD, ID_MEDIA_FRAME_FORWARD},
    {IDC_FRAME_BACKWARD, ID_MEDIA_FRAME_BACKWARD},
    {IDC_SINGLE_VIEW, ID_VIEW_SINGLE},
    {IDC_QUAD_VIEW, ID_VIEW_X4},
    {IDC_NONUPLE_VIEW, ID_VIEW_X9},
    {IDC_SIXTEEN_VIEW, ID_VIEW_X16},
    {IDC_SAVE_IMAGE, ID_VIEW_SAVE_IMAGE},
};

const char* const kSpeedItems[CPlayControlView::kSpeedCount] = {
    "1x spd", "2x spd", "4x spd", "8x spd", "16x spd", "32x spd"};

const char* const kSpeedListStyle =
    "QComboBox { background: #232830; color: #d8dee5; border: 1px solid #4b535e;"
    " border-radius: 3px; padding: 0px 2px 0px 5px; }"
    "QComboBox:hover, QComboBox:focus { border-color: #3aa6e6; }"
    "QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: center right;"
    " width: 13px; border: none; }"
    "QComboBox::down-arrow { image: url(%1); width: 9px; height: 6px; }"
    "QComboBox QAbstractItemView { background: #1b1f25; color: #d8dee5; border: 1px solid #4b535e;"
    " selection-background-color: #1f74ad; selection-color: #f4f7fa; outline: 0px; }";

}  // namespace

CPlayControlView::CPlayControlView(QWidget* parent)
    : QWidget(parent), m_pSpeedList(new QComboBox(this)), m_pSlider(new CBitmapSlider(this))
{
    // The background picture covers every pixel.
    setAttribute(Qt::WA_OpaquePaintEvent, true);

    m_pSpeedList->setObjectName(QString::number(IDC_SPEED_LIST));
    for (const char* item : kSpeedItems)
        m_pSpeedList->addItem(QString::fromLatin1(item));
    QFont listFont(QStringLiteral("Arial"));
    listFont.setPixelSize(10);
    listFont.setWeight(QFont::DemiBold);
    m_pSpeedList->setFont(listFont);
    m_pSpeedList->setStyleSheet(QString::fromLatin1(kSpeedListStyle)
                                    .arg(QLatin1String(kSkinComboArrowPath)));
    m_pSpeedList->setCurrentIndex(0);
    connect(m_pSpeedList, &QComboBox::currentIndexChanged, this, [this] { OnSpeedChange(); });

    m_pSlider->setObjectName(QString::number(IDC_VOLUME_SLIDER));
    m_pSlider->SetControlId(IDC_VOLUME_SLIDER);
    m_pSlider->SetVertical(true);
    m_pSlider->SetBitmapChannel(IDB_SLIDER_CHANNEL, IDB_SLIDER_CHANNEL_ACTIVE, true, kChannelKey);
    m_pSlider->SetRange(kSliderMin, kSliderMax);
    m_pSlider->SetPos(kSliderStart);
    m_pSlider->setToolTip(QString());
    connect(m_pSlider, &CBitmapSlider::Moving, this, [this] { ApplyVolume(); });
    connect(m_pSlider, &CBitmapSlider::Moved, this, [this] { ApplyVolume(); });

    CreateButton(IDC_TO_BEGINNING, QStringLiteral("To the beginning"), IDB_TO_BEGINNING_HOVER,
                 IDB_TO_BEGINNING);
    CreateButton(IDC_REVERSE_PLAY, QStringLiteral("Reverse play"), IDB_REVERSE_PLAY_HOVER,
                 IDB_REVERSE_PLAY);
    CreateButton(IDC_PAUSE, QStringLiteral("Pause"), IDB_PAUSE_HOVER, IDB_PAUSE);
    CreateButton(IDC_PLAY, QStringLiteral("Play"), IDB_PLAY_HOVER, IDB_PLAY);
    CreateButton(IDC_TO_END, QStringLiteral("To the end"), IDB_TO_END_HOVER, IDB_TO_END);
    CreateButton(IDC_FRAME_FORWARD, QStringLiteral("Frame Forward"), IDB_FRAME_FORWARD_HOVER,
                 IDB_FRAME_FORWARD);
    CreateButton(IDC_FRAME_BACKWARD, QStringLiteral("Frame Backward"),
                 IDB_FRAME_BACKWARD_HOVER, IDB_FRAME_BACKWARD);
    CreateButton(IDC_SINGLE_VIEW, QStringLiteral("Disply the single screen"),
                 IDB_SINGLE_VIEW_HOVER, IDB_SINGLE_VIEW);
    CreateButton(IDC_QUAD_VIEW, QStringLiteral("Display the quad screen"), IDB_QUAD_VIEW_HOVER,
                 IDB_QUAD_VIEW);
    CreateButton(IDC_NONUPLE_VIEW, QStringLiteral("Display the nonuple screen"),
                 IDB_NONUPLE_VIEW_HOVER, IDB_NONUPLE_VIEW);
    CreateButton(IDC_SIXTEEN_VIEW, QStringLiteral("Display the 16-part screen"),
                 IDB_SIXTEEN_VIEW_HOVER, IDB_SIXTEEN_VIEW);
    CreateButton(IDC_SAVE_IMAGE, QStringLiteral("Saving the image"), IDB_SAVE_IMAGE_HOVER,
                 IDB_SAVE_IMAGE);
    CreateButton(IDC_SPEAKER_ON, QStringLiteral("Speaker on"), IDB_SPEAKER_ON, 0);
    CreateButton(IDC_SPEAKER_OFF, QStringLiteral("Speaker off"), IDB_SPEAKER_OFF, 0);
    m_buttons.value(IDC_SPEAKER_OFF)->hide();

    // Keys typed while any control of the bar has the focus are the bar's to route.
    m_pSpeedList->installEventFilter(this);
    m_pSlider->installEventFilter(this);

    m_bSoundOn = true;
    m_nSavedSliderPos = m_pSlider->GetPos();
    m_bInitialised = true;
    Layout();
}

void CPlayControlView::CreateButton(int id, const QString& tooltip, int firstBitmap,
                                    int secondBitmap)
{
    auto* button = new CButtonST(this);
    button->setObjectName(QString::number(id));
    button->SetBitmaps(firstBitmap, kButtonKey, secondBitmap, kButtonKey);
    button->resize(button->FirstBitmapSize());
    button->SetTooltipText(tooltip, true);
    button->SetDrawBorder(false, false);
    button->SetTransparent(true, false);
    button->installEventFilter(this);
    connect(button, &CButtonST::clicked, this, [this, id] { OnButton(id); });
    m_buttons.insert(id, button);
}

void CPlayControlView::OnButton(int id)
{
    for (const tagFORWARD& f : kForwarded) {
        if (f.button == id) {
            emit Command(f.command);
            return;
        }
    }
    switch (id) {
    case IDC_REVERSE_PLAY:
        if (m_pTarget) {
            if (m_pTarget->GetRate() > 0)
                m_pTarget->SetRate(-m_pTarget->GetRate());
            m_pTarget->StartPlay();
        }
        break;
    case IDC_PLAY:
        if (m_pTarget) {
            if (m_pTarget->GetRate() < 0)
                m_pTarget->SetRate(-m_pTarget->GetRate());
            m_pTarget->StartPlay();
        }
        break;
    case IDC_PAUSE:
        if (m_pTarget)
            m_pTarget->PausePlay();
        break;
    case IDC_SPEAKER_ON:
    case IDC_SPEAKER_OFF:
        ToggleSound();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------
// Speed

void CPlayControlView::SetSpeedIndex(int index)
{
    if (index < 0 || index >= kSpeedCount)
        return;
    {
        // Selecting the item must not run the change twice (and must run it even when the
        // item was already selected).
        const QSignalBlocker blocker(m_pSpeedList);
        m_pSpeedList->setCurrentIndex(index);
    }
    OnSpeedChange();
}

int CPlayControlView::SpeedIndex() const
{
    return m_pSpeedList->currentIndex();
}

void CPlayControlView::OnSpeedChange()
{
    const int index = m_pSpeedList->currentIndex();
    if (!m_pTarget || index < 0 || index >= kSpeedCount)
        return;
    const double speed = std::ldexp(1.0, index);
    // The direction stays as it is; only the magnitude changes.
    m_pTarget->SetRate(m_pTarget->GetRate() >= 0 ? speed : -speed);
    if (m_pTarget->IsPlaying())
        m_pTarget->StartPlay();
}

void CPlayControlView::EnableSingleViewButtons(int multi)
{
    const bool enable = multi == 0;
    for (int id : {IDC_REVERSE_PLAY, IDC_PAUSE, IDC_PLAY})
        m_buttons.value(id)->setEnabled(enable);
}

// ---------------------------------------------------------------------------------------
// Volume

double CPlayControlView::SliderLevel() const
{
    const int span = m_pSlider->GetRangeMax() - m_pSlider->GetRangeMin();
    if (span == 0)
        return 1.0;
    return 1.0 - static_cast<double>(m_pSlider->GetPos()) / span;
}

void CPlayControlView::ApplyVolume()
{
    if (m_bSoundOn) {
        if (m_pTarget)
            m_pTarget->ApplyVolumeLevel(SliderLevel());
    } else {
        m_pSlider->SetPos(m_nSavedSliderPos);
    }
}

void CPlayControlView::ToggleSound()
{
    CButtonST* on = m_buttons.value(IDC_SPEAKER_ON);
    CButtonST* off = m_buttons.value(IDC_SPEAKER_OFF);
    on->hide();
    off->hide();
    double level = 0.0;
    if (m_bSoundOn) {
        m_bSoundOn = false;
        m_nSavedSliderPos = m_pSlider->GetPos();
        level = 0.0;
        m_pSlider->Enable(false);
        off->show();
    } else {
        m_bSoundOn = true;
        // The slider has not moved since the sound went off, so this is its level.
        m_pSlider->SetPos(m_nSavedSliderPos);
        level = SliderLevel();
        m_pSlider->Enable(true);
        on->show();
    }
    if (m_pTarget)
        m_pTarget->ApplyVolumeLevel(level);
    m_pSlider->setFocus(Qt::OtherFocusReason);
    Layout();
}

// ---------------------------------------------------------------------------------------
// Keys

bool CPlayControlView::HandleKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        m_pSlider->setFocus(Qt::OtherFocusReason);
        m_pSlider->HandleKey(key);
        return true;
    case Qt::Key_Delete:
        ToggleSound();
        return true;
    default:
        return false;
    }
}

bool CPlayControlView::RouteKey(int key)
{
    switch (key) {
    case Qt::Key_Space:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Right:
        emit GraphKey(key);
        return true;
    default:
        return HandleKey(key);
    }
}

void CPlayControlView::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (RouteKey(event->key()))
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

bool CPlayControlView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && RouteKey(key->key()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// Layout and painting

void CPlayControlView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Layout();
}

void CPlayControlView::Layout()
{
    if (!m_bInitialised)
        return;
    const int H = height();
    int x = 0;
    auto centred = [&](int id) {
        CButtonST* b = m_buttons.value(id);
        b->move(x, (H - b->height()) / 2);
        x += b->width();
    };

    for (int id : {IDC_TO_BEGINNING, IDC_REVERSE_PLAY, IDC_PAUSE, IDC_PLAY, IDC_TO_END})
        centred(id);
    x += kGroupGap;
    for (int id : {IDC_FRAME_BACKWARD, IDC_FRAME_FORWARD})
        centred(id);
    x += kGroupGap;
    m_pSpeedList->setGeometry(x, (H - kListHeight) / 2, kListWidth, kListHeight);
    x += kListAdvance;

    // The four layout buttons as a 2 x 2 block.
    CButtonST* single = m_buttons.value(IDC_SINGLE_VIEW);
    const int h = single->height();
    const int y = (H - 2 * h) / 2;
    single->move(x, y);
    m_buttons.value(IDC_NONUPLE_VIEW)->move(x, y + h);
    x += single->width();
    CButtonST* quad = m_buttons.value(IDC_QUAD_VIEW);
    quad->move(x, y);
    m_buttons.value(IDC_SIXTEEN_VIEW)->move(x, y + h);
    x += quad->width() + kGroupGap;

    // Volume slider with the speaker button below it.
    CButtonST* speaker = m_buttons.value(m_bSoundOn ? IDC_SPEAKER_ON : IDC_SPEAKER_OFF);
    const int sh = speaker->height();
    const int sliderTop = ((H - sh) - kSliderHeight) / 2;
    speaker->move(x, sliderTop + kSliderHeight);
    m_pSlider->setGeometry(x, sliderTop, kSliderWidth, kSliderHeight);

    CButtonST* save = m_buttons.value(IDC_SAVE_IMAGE);
    save->move(width() - save->width(), (H - save->height()) / 2);
    update();
}

void CPlayControlView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPixmap background = LoadSkinBitmap(IDB_BAR_BACKGROUND);
    if (background.isNull())
        p.fillRect(rect(), QColor(0x23, 0x28, 0x30));
    else
        p.drawPixmap(rect(), background);
}
