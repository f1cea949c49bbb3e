// The export dialog's picture for marking regions.
#include "export/regioncanvas.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// A drag shorter than this (canvas pixels) on either side is a click, not a region.
constexpr int kMinDrag = 3;

} // namespace

CRegionCanvas::CRegionCanvas(QWidget *parent) : QWidget(parent)
{
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CRegionCanvas::SetPicture(const QImage &picture, const QSize &pictureSize, const QSize &fit)
{
    m_picture = picture;
    if (m_pictureSize != pictureSize && !pictureSize.isEmpty()) {
        m_pictureSize = pictureSize;
        setFixedSize(pictureSize.scaled(fit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    update();
}

void CRegionCanvas::SetRegions(const QVector<tagSHOWNREGION> &regions)
{
    m_regions = regions;
    update();
}

QPoint CRegionCanvas::ToCanvas(const QPoint &p) const
{
    if (m_pictureSize.isEmpty())
        return p;
    return QPoint(int(std::lround(double(p.x()) * width() / m_pictureSize.width())),
                  int(std::lround(double(p.y()) * height() / m_pictureSize.height())));
}

QPoint CRegionCanvas::ToPicture(const QPoint &p) const
{
    if (m_pictureSize.isEmpty() || width() <= 0 || height() <= 0)
        return p;
    return QPoint(std::clamp(int(std::lround(double(p.x()) * m_pictureSize.width() / width())), 0, m_pictureSize.width()),
                  std::clamp(int(std::lround(double(p.y()) * m_pictureSize.height() / height())), 0,
                             m_pictureSize.height()));
}

QRect CRegionCanvas::CanvasRect(const QRect &r) const
{
    const QPoint a = ToCanvas(r.topLeft());
    const QPoint b = ToCanvas(QPoint(r.left() + r.width(), r.top() + r.height()));
    return QRect(a, QSize(b.x() - a.x(), b.y() - a.y()));
}

void CRegionCanvas::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (m_picture.isNull())
        p.fillRect(rect(), Qt::black);
    else
        p.drawImage(rect(), m_picture);
    for (const tagSHOWNREGION &r : m_regions) {
        QPen pen(r.bChosen ? QColor(255, 200, 0) : QColor(255, 60, 60), 2, r.bKey ? Qt::SolidLine : Qt::DashLine);
        p.setPen(pen);
        p.setBrush(QColor(255, 60, 60, 60));
        p.drawRect(CanvasRect(r.rect));
    }
    if (m_bDragging) {
        p.setPen(QPen(Qt::white, 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(m_dragFrom, m_dragTo).normalized());
    }
}

void CRegionCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_bDragging = true;
    m_dragFrom = m_dragTo = event->position().toPoint();
    update();
}

void CRegionCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_bDragging)
        return;
    m_dragTo = event->position().toPoint();
    update();
}

void CRegionCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_bDragging || event->button() != Qt::LeftButton)
        return;
    m_bDragging = false;
    m_dragTo = event->position().toPoint();
    update();
    const QRect dragged = QRect(m_dragFrom, m_dragTo).normalized();
    if (dragged.width() < kMinDrag || dragged.height() < kMinDrag)
        return;
    const QPoint a = ToPicture(dragged.topLeft());
    const QPoint b = ToPicture(dragged.bottomRight() + QPoint(1, 1));
    const QRect r(a, QSize(b.x() - a.x(), b.y() - a.y()));
    if (r.width() > 0 && r.height() > 0)
        emit RectDrawn(r);
}
