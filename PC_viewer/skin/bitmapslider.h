// A slider drawn entirely from pictures: a channel, optionally an "active" channel for the
// part beyond the thumb, and an optional thumb. The play control bar uses it vertically as
// its volume control.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

class CBitmapSlider : public QWidget
{
    Q_OBJECT

public:
    explicit CBitmapSlider(QWidget *parent = nullptr);

    // The control id sent with every notification.
    void SetControlId(int id) { m_nControlId = id; }
    int ControlId() const { return m_nControlId; }

    // Loads the channel pictures (active: 0 for none); with `transparent` the pixels of
    // `key` become transparent. The slider takes the channel's size. Returns false when a
    // resource id has no picture.
    bool SetBitmapChannel(int channelId, int activeId = 0, bool transparent = false,
                          const QColor &key = QColor(0, 0, 0));
    void SetBitmapChannel(const QPixmap &channel, const QPixmap &active, bool transparent, const QColor &key);
    void SetBitmapThumb(const QPixmap &thumb, bool transparent = false, const QColor &key = QColor(0, 0, 0));

    void SetRange(int minimum, int maximum, bool repaint = true);
    int GetRangeMin() const { return m_nMin; }
    int GetRangeMax() const { return m_nMax; }
    void SetPos(int position); // clamped to the range; sends nothing
    int GetPos() const { return m_nPos; }
    void SetPageSize(int page) { m_nPage = page; }
    int GetPageSize() const { return m_nPage; }
    void SetMargin(int left, int top, int right, int bottom);
    void SetVertical(bool vertical);
    bool IsVertical() const { return m_bVertical; }
    // Disabling during a drag ends the drag.
    void Enable(bool enable);
    bool IsDragging() const { return m_bDragging; }

    // Position <-> pixel along the track (y for a vertical slider, x otherwise); the
    // minimum lies at the top (left).
    int PosToPixel(int position) const;
    int PixelToPos(int pixel) const;

    // Page Up/Down, Home, End and the arrow keys; true when the key was one of them and
    // the slider is enabled (then Moved has been sent).
    bool HandleKey(int key);

signals:
    // While the thumb is dragged to a new position.
    void Moving(int controlId, int position);
    // When a drag ends and after each key that moved the thumb.
    void Moved(int controlId, int position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int ChannelExtent() const;
    int ThumbExtent() const;
    int MarginBefore() const { return m_bVertical ? m_nMarginTop : m_nMarginLeft; }
    int MarginAfter() const { return m_bVertical ? m_nMarginBottom : m_nMarginRight; }
    int TrackLength() const;
    int Along(const QPoint &p) const { return m_bVertical ? p.y() : p.x(); }

    int m_nControlId = 0;
    int m_nMax = 100;
    int m_nMin = 0;
    int m_nPos = 0;
    int m_nPage = 20;
    QPixmap m_channel;
    QPixmap m_channelActive;
    QPixmap m_thumb;
    int m_nMarginLeft = 0;
    int m_nMarginTop = 0;
    int m_nMarginRight = 0;
    int m_nMarginBottom = 0;
    bool m_bVertical = false;
    bool m_bDragging = false;
    int m_nGrabOffset = 0;
};
