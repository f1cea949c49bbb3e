// Bitmap push button.
#include "skin/buttonst.h"

#include "skin/skinart.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <qdrawutil.h>

namespace {

// A disabled button keeps its picture, faded, so the user sees what is unavailable.
constexpr qreal kDisabledOpacity = 0.35;

} // namespace

CButtonST::CButtonST(QWidget *parent) : QAbstractButton(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    SetDefaultColors(false);
}

bool CButtonST::SetBitmaps(int firstId, const QColor &firstKey, int secondId, const QColor &secondKey)
{
    const QPixmap first = LoadSkinBitmap(firstId);
    const QPixmap second = secondId != 0 ? LoadSkinBitmap(secondId) : QPixmap();
    SetBitmaps(first, firstKey, second, secondKey);
    return !first.isNull() && (secondId == 0 || !second.isNull());
}

void CButtonST::SetBitmaps(const QPixmap &first, const QColor &firstKey, const QPixmap &second,
                           const QColor &secondKey)
{
    m_first = ApplyColorKey(first, firstKey);
    m_second = ApplyColorKey(second, secondKey);
    updateGeometry();
    update();
}

void CButtonST::SetTooltipText(const QString &text, bool activate)
{
    m_tooltip = text;
    ActivateTooltip(activate);
}

void CButtonST::ActivateTooltip(bool activate)
{
    m_bTooltipActive = activate;
    setToolTip(activate ? m_tooltip : QString());
}

void CButtonST::SetFlat(bool flat, bool repaint)
{
    m_bFlat = flat;
    if (!flat)
        m_bHover = false;
    if (repaint)
        update();
}

void CButtonST::SetDrawBorder(bool enable, bool repaint)
{
    m_bDrawBorder = enable;
    if (repaint)
        update();
}

void CButtonST::SetTransparent(bool enable, bool repaint)
{
    // Qt composes the parent's background behind a widget that does not fill itself, so
    // there is no copy of it to keep (or to discard when it changes).
    m_bTransparent = enable;
    setAttribute(Qt::WA_NoSystemBackground, enable);
    if (repaint)
        update();
}

void CButtonST::SetColor(ColorIndex index, const QColor &color, bool repaint)
{
    m_colors[static_cast<size_t>(index)] = color;
    if (repaint)
        update();
}

QColor CButtonST::GetColor(ColorIndex index) const
{
    return m_colors[static_cast<size_t>(index)];
}

void CButtonST::SetDefaultColors(bool repaint)
{
    const QPalette pal = QApplication::palette(this);
    const QColor face = pal.color(QPalette::Button);
    const QColor text = pal.color(QPalette::ButtonText);
    m_colors = {face, text, face, text, face, text};
    if (repaint)
        update();
}

QSize CButtonST::FirstBitmapSize() const
{
    return m_first.isNull() ? QSize() : m_first.deviceIndependentSize().toSize();
}

int CButtonST::ShownBitmap() const
{
    return (!m_bHover && !isDown() && !m_second.isNull()) ? 2 : 1;
}

QSize CButtonST::sizeHint() const
{
    const QSize s = FirstBitmapSize();
    return s.isValid() ? s : QSize(24, 24);
}

void CButtonST::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const bool pressed = isDown();
    const QRect r = rect();

    if (!m_bTransparent) {
        const QColor fill = m_bHover     ? m_colors[ColorBkIn]
                            : hasFocus() ? m_colors[ColorBkFocus]
                                         : m_colors[ColorBkOut];
        p.fillRect(r, fill);
    }

    const QPalette &pal = palette();
    if (!m_bFlat) {
        qDrawWinButton(&p, r, pal, pressed);
    } else if (m_bHover && m_bDrawBorder) {
        qDrawShadeRect(&p, r, pal, pressed, 1);
    }

    const QPixmap &picture = ShownBitmap() == 2 ? m_second : m_first;
    if (!picture.isNull()) {
        const QSize s = picture.deviceIndependentSize().toSize();
        QPoint topLeft((r.width() - s.width()) / 2, (r.height() - s.height()) / 2);
        if (pressed)
            topLeft += m_pressedOffset;
        if (!isEnabled())
            p.setOpacity(kDisabledOpacity);
        p.drawPixmap(topLeft, picture);
        p.setOpacity(1.0);
    }

    if (!text().isEmpty()) {
        p.setPen(m_bHover ? m_colors[ColorFgIn] : m_colors[ColorFgOut]);
        p.drawText(r.translated(pressed ? m_pressedOffset : QPoint()), Qt::AlignCenter, text());
    }
    if (!m_bFlat && hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = r.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}

void CButtonST::TrackHover(const QPoint &pos, Qt::MouseButtons buttons)
{
    if (!m_bFlat)
        return;
    if ((buttons & Qt::LeftButton) && !m_bHover)
        return;
    const bool over =
        rect().contains(pos) && isEnabled() && QGuiApplication::applicationState() == Qt::ApplicationActive;
    if (over != m_bHover) {
        m_bHover = over;
        update();
    }
}

void CButtonST::CancelHover()
{
    if (m_bHover) {
        m_bHover = false;
        update();
    }
}

void CButtonST::mouseMoveEvent(QMouseEvent *event)
{
    TrackHover(event->position().toPoint(), event->buttons());
    QAbstractButton::mouseMoveEvent(event);
}

void CButtonST::enterEvent(QEnterEvent *event)
{
    TrackHover(event->position().toPoint(), QGuiApplication::mouseButtons());
    QAbstractButton::enterEvent(event);
}

void CButtonST::leaveEvent(QEvent *event)
{
    CancelHover();
    QAbstractButton::leaveEvent(event);
}

void CButtonST::focusOutEvent(QFocusEvent *event)
{
    CancelHover();
    QAbstractButton::focusOutEvent(event);
}

void CButtonST::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled())
            CancelHover();
        break;
    case QEvent::ActivationChange:
        if (!isActiveWindow())
            CancelHover();
        break;
    case QEvent::PaletteChange: SetDefaultColors(false); break;
    default: break;
    }
    QAbstractButton::changeEvent(event);
}
