// Bitmap slider.
#include "skin/bitmapslider.h"

#include "skin/skinart.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {

QSize LogicalSize(const QPixmap &picture)
{
    return picture.isNull() ? QSize(0, 0) : picture.deviceIndependentSize().toSize();
}

} // namespace

CBitmapSlider::CBitmapSlider(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    // The pictures paint every pixel they own; around them the parent shows through.
    setAttribute(Qt::WA_NoSystemBackground, true);
}

bool CBitmapSlider::SetBitmapChannel(int channelId, int activeId, bool transparent, const QColor &key)
{
    const QPixmap channel = LoadSkinBitmap(channelId);
    const QPixmap active = activeId != 0 ? LoadSkinBitmap(activeId) : QPixmap();
    SetBitmapChannel(channel, active, transparent, key);
    return !channel.isNull() && (activeId == 0 || !active.isNull());
}

void CBitmapSlider::SetBitmapChannel(const QPixmap &channel, const QPixmap &active, bool transparent,
                                     const QColor &key)
{
    m_channel = transparent ? ApplyColorKey(channel, key) : channel;
    m_channelActive = transparent ? ApplyColorKey(active, key) : active;
    if (!m_channel.isNull())
        resize(LogicalSize(m_channel));
    update();
}

void CBitmapSlider::SetBitmapThumb(const QPixmap &thumb, bool transparent, const QColor &key)
{
    m_thumb = transparent ? ApplyColorKey(thumb, key) : thumb;
    update();
}

void CBitmapSlider::SetRange(int minimum, int maximum, bool repaint)
{
    m_nMin = minimum;
    m_nMax = maximum;
    m_nPos = qBound(qMin(m_nMin, m_nMax), m_nPos, qMax(m_nMin, m_nMax));
    if (repaint)
        update();
}

void CBitmapSlider::SetPos(int position)
{
    const int clamped = qBound(qMin(m_nMin, m_nMax), position, qMax(m_nMin, m_nMax));
    if (clamped != m_nPos) {
        m_nPos = clamped;
        update();
    }
}

void CBitmapSlider::SetMargin(int left, int top, int right, int bottom)
{
    m_nMarginLeft = left;
    m_nMarginTop = top;
    m_nMarginRight = right;
    m_nMarginBottom = bottom;
    update();
}

void CBitmapSlider::SetVertical(bool vertical)
{
    m_bVertical = vertical;
    update();
}

void CBitmapSlider::Enable(bool enable)
{
    if (!enable && m_bDragging) {
        // Qt's implicit grab ends with the button; the drag state must end now.
        m_bDragging = false;
        if (QWidget::mouseGrabber() == this)
            releaseMouse();
    }
    setEnabled(enable);
    update();
}

int CBitmapSlider::ChannelExtent() const
{
    const QSize s = m_channel.isNull() ? size() : LogicalSize(m_channel);
    return m_bVertical ? s.height() : s.width();
}

int CBitmapSlider::ThumbExtent() const
{
    const QSize s = LogicalSize(m_thumb);
    return m_bVertical ? s.height() : s.width();
}

int CBitmapSlider::TrackLength() const
{
    return ChannelExtent() - MarginBefore() - MarginAfter() - ThumbExtent();
}

int CBitmapSlider::PosToPixel(int position) const
{
    const int start = MarginBefore() + ThumbExtent() / 2;
    // An empty range or track puts every position at the start instead of dividing by 0.
    if (m_nMax == m_nMin || TrackLength() <= 0)
        return start;
    const double fraction = static_cast<double>(position - m_nMin) / (m_nMax - m_nMin);
    return start + static_cast<int>(std::trunc(fraction * TrackLength()));
}

int CBitmapSlider::PixelToPos(int pixel) const
{
    if (m_nMax == m_nMin || TrackLength() <= 0)
        return m_nMin;
    const double fraction = static_cast<double>(pixel - MarginBefore() - ThumbExtent() / 2) / TrackLength();
    return m_nMin + static_cast<int>(std::trunc(fraction * (m_nMax - m_nMin)));
}

bool CBitmapSlider::HandleKey(int key)
{
    if (!isEnabled())
        return false;
    int position = m_nPos;
    switch (key) {
    case Qt::Key_PageUp: position -= m_nPage; break;
    case Qt::Key_PageDown: position += m_nPage; break;
    case Qt::Key_End: position = m_nMax; break;
    case Qt::Key_Home: position = m_nMin; break;
    case Qt::Key_Left:
    case Qt::Key_Up: position -= 1; break;
    case Qt::Key_Right:
    case Qt::Key_Down: position += 1; break;
    default: return false;
    }
    SetPos(position);
    emit Moved(m_nControlId, m_nPos);
    return true;
}

void CBitmapSlider::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int centre = PosToPixel(m_nPos);
    if (!m_channel.isNull()) {
        if (m_channelActive.isNull() || !isEnabled()) {
            p.drawPixmap(0, 0, m_channel);
        } else {
            // Normal channel up to the thumb's centre, the active one beyond it.
            const QRect before = m_bVertical ? QRect(0, 0, width(), centre) : QRect(0, 0, centre, height());
            const QRect after = m_bVertical ? QRect(0, centre, width(), height() - centre)
                                            : QRect(centre, 0, width() - centre, height());
            p.setClipRect(before);
            p.drawPixmap(0, 0, m_channel);
            p.setClipRect(after);
            p.drawPixmap(0, 0, m_channelActive);
            p.setClipping(false);
        }
    }
    if (!m_thumb.isNull()) {
        const QSize s = LogicalSize(m_thumb);
        const QPoint topLeft = m_bVertical ? QPoint((width() - s.width()) / 2, centre - s.height() / 2)
                                           : QPoint(centre - s.width() / 2, (height() - s.height()) / 2);
        p.drawPixmap(topLeft, m_thumb);
    }
}

void CBitmapSlider::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_bDragging = true;
    const int click = Along(event->position().toPoint());
    const int centre = PosToPixel(m_nPos);
    const int half = ThumbExtent() / 2;
    // Grabbing the thumb keeps it under the pointer; a click elsewhere makes it jump there.
    m_nGrabOffset = std::abs(click - centre) <= half && half > 0 ? click - centre : 0;
    mouseMoveEvent(event);
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_bDragging)
        return;
    const int first = MarginBefore() + ThumbExtent() / 2;
    const int last = ChannelExtent() - MarginAfter() - (ThumbExtent() - ThumbExtent() / 2);
    const int pixel = qBound(first, Along(event->position().toPoint()) - m_nGrabOffset, qMax(first, last));
    if (pixel != PosToPixel(m_nPos)) {
        SetPos(PixelToPos(pixel));
        emit Moving(m_nControlId, m_nPos);
    }
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_bDragging) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_bDragging = false;
    update();
    emit Moved(m_nControlId, m_nPos);
}

void CBitmapSlider::keyPressEvent(QKeyEvent *event)
{
    if (!HandleKey(event->key()))
        QWidget::keyPressEvent(event);
}
