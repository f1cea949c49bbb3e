// The picture of one frame of the export range, on which the user drags a rectangle to mark a
// region to blur; the regions already marked are drawn over it. Coordinates leave it as the
// picture's own pixels (the first clip's, as shown), whatever size the canvas has.
#pragma once

#include <QImage>
#include <QRect>
#include <QVector>
#include <QWidget>

class CRegionCanvas : public QWidget
{
    Q_OBJECT
public:
    // A region as drawn: where it is on this frame, whether the user put it there on this very
    // frame (a key frame, drawn solid) and whether it is the one chosen in the list.
    struct tagSHOWNREGION {
        QRect rect;
        bool bKey = false;
        bool bChosen = false;
    };

    explicit CRegionCanvas(QWidget *parent = nullptr);

    // The frame shown, and the size of the pictures the regions are in (the canvas takes the
    // largest size of that shape within `fit`).
    void SetPicture(const QImage &picture, const QSize &pictureSize, const QSize &fit);
    void SetRegions(const QVector<tagSHOWNREGION> &regions);
    QSize PictureSize() const { return m_pictureSize; }
    // A point of the picture on the canvas, and back.
    QPoint ToCanvas(const QPoint &picturePoint) const;
    QPoint ToPicture(const QPoint &canvasPoint) const;

signals:
    // A rectangle dragged out, in picture pixels, inside the picture.
    void RectDrawn(const QRect &pictureRect);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QRect CanvasRect(const QRect &pictureRect) const;

    QImage m_picture;
    QSize m_pictureSize;
    QVector<tagSHOWNREGION> m_regions;
    bool m_bDragging = false;
    QPoint m_dragFrom, m_dragTo; // canvas points
};
