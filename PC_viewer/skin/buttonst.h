// A flat, bitmap-drawn push button: one picture normally and another while the pointer is
// over it or it is pressed, with a tooltip. The play control bar is made of them.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QPoint>

#include <array>

class CButtonST : public QAbstractButton
{
    Q_OBJECT

public:
    enum ColorIndex { ColorBkIn, ColorFgIn, ColorBkOut, ColorFgOut, ColorBkFocus, ColorFgFocus };
    static constexpr int kColorCount = 6;

    explicit CButtonST(QWidget *parent = nullptr);

    // `first` shows while the pointer is over the button or it is pressed, `second`
    // otherwise; without a second picture the first shows in every state. Pixels of the
    // key colours are transparent. Returns false when a resource id has no picture.
    bool SetBitmaps(int firstId, const QColor &firstKey, int secondId = 0,
                    const QColor &secondKey = QColor());
    void SetBitmaps(const QPixmap &first, const QColor &firstKey, const QPixmap &second,
                    const QColor &secondKey);

    void SetTooltipText(const QString &text, bool activate = true);
    void ActivateTooltip(bool activate);
    QString TooltipText() const { return m_tooltip; }

    void SetFlat(bool flat, bool repaint = true);
    void SetDrawBorder(bool enable, bool repaint = true);
    // Lets the parent's background show around the picture instead of a fill colour.
    void SetTransparent(bool enable = true, bool repaint = true);
    void SetPressedOffset(const QPoint &offset) { m_pressedOffset = offset; }
    void SetColor(ColorIndex index, const QColor &color, bool repaint = true);
    QColor GetColor(ColorIndex index) const;
    void SetDefaultColors(bool repaint = true);

    bool IsFlat() const { return m_bFlat; }
    bool IsDrawBorder() const { return m_bDrawBorder; }
    bool IsTransparent() const { return m_bTransparent; }
    bool IsHover() const { return m_bHover; }
    QSize FirstBitmapSize() const;
    // 1 when the first picture is the one shown now, 2 when the second is.
    int ShownBitmap() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void TrackHover(const QPoint &pos, Qt::MouseButtons buttons);
    void CancelHover();

    bool m_bFlat = true;
    bool m_bDrawBorder = true;
    bool m_bTransparent = false;
    bool m_bHover = false;
    QPoint m_pressedOffset{1, 1};
    QPixmap m_first;
    QPixmap m_second;
    std::array<QColor, kColorCount> m_colors;
    QString m_tooltip;
    bool m_bTooltipActive = false;
};
