// A grid pane's widget: painting, marks and the pane's mouse input.
#include "playback/multiplayview.h"

#include "media/mediagraph.h"
#include "playback/mediaplayview.h"
#include "playback/playbackcontroller.h"
#include "playback/playbackpane.h"
#include "playback/pictureview.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

CMultiPlayView::CMultiPlayView(CMediaPlayView *playView, CPlaybackPane *pane)
    : QWidget(playView), m_playView(playView), m_pane(pane)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Keys stay with the video area, which hands them on.
    setFocusPolicy(Qt::NoFocus);
}

int CMultiPlayView::PaneIndex() const
{
    return m_pane->Index();
}

void CMultiPlayView::PlaceVideo()
{
    m_pane->Graph()->SetVideoWindowRect(rect());
    m_pane->Graph()->PlaceVideo();
}

void CMultiPlayView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    PlaceVideo();
}

void CMultiPlayView::paintEvent(QPaintEvent *event)
{
    (void)event;
    QPainter painter(this);
    const CMediaGraph *graph = m_pane->Graph();
    if (graph->State() == GraphState::NoGraph || !graph->HasVideo()) {
        painter.fillRect(rect(), Qt::black);
        m_paintedFrame = -1;
        return;
    }
    // The frame's pen is 3 pixels wide along the edge; the picture covers all but its outer 2.
    painter.fillRect(rect(), m_pane->IsMarked() ? kPaneMarkedFrameColor : kPaneFrameColor);
    const QRect target = graph->VideoRect();
    const QImage image = m_pane->ShownImage();
    if (image.isNull() || target.isEmpty()) {
        painter.fillRect(target, Qt::black);
        m_paintedFrame = -1;
        return;
    }
    // All panes zoom and pan together: the controller's one view of the picture.
    const CPlaybackController *controller = m_playView->m_controller;
    const tagPICTUREVIEW view = controller ? controller->PictureView() : tagPICTUREVIEW();
    const int64_t frame = m_pane->ShownFrame();
    DrawPictureView(painter, target, image, graph->VideoSize(),
                    [graph, frame](const QRect &region, const QSize &size) {
                        return graph->FrameRegionImage(frame, region, size);
                    },
                    view);
    if (PaneIndex() == 0)
        m_playView->PaintIndicator(painter, target);
    if (m_pane->ShownFrame() != m_paintedFrame)
        ++m_newPicturesPainted;
    m_paintedFrame = m_pane->ShownFrame();
}

bool CMultiPlayView::MayMark() const
{
    return m_playView->GetPlayState() != PlayState::Running &&
           m_pane->Graph()->State() != GraphState::Running;
}

void CMultiPlayView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_playView->setFocus(Qt::MouseFocusReason);
        // The mark as it was before a click that may turn out to be a double click's first.
        if (!m_lastPress.isValid() || m_lastPress.elapsed() > QApplication::doubleClickInterval())
            m_markBeforeClick = m_pane->IsMarked();
        m_lastPress.start();
        m_dragFrom = event->pos();
        m_bDragging = false;
        m_bToggled = false;
        if (MayMark()) {
            m_pane->ToggleMarked();
            m_bToggled = true;
            update();
        }
    }
    QWidget::mousePressEvent(event);
}

void CMultiPlayView::mouseMoveEvent(QMouseEvent *event)
{
    const CPlaybackController *controller = m_playView->m_controller;
    if ((event->buttons() & Qt::LeftButton) && controller && !controller->PictureView().IsWhole()) {
        const QPoint delta = event->pos() - m_dragFrom;
        if (m_bDragging || delta.manhattanLength() >= kPanDragThreshold) {
            if (!m_bDragging && m_bToggled) {
                // A drag pans the grid; the press that began it marks nothing.
                m_pane->ToggleMarked();
                update();
            }
            m_bDragging = true;
            m_playView->PanBy(delta, PaneIndex());
            m_dragFrom = event->pos();
        }
    }
    QWidget::mouseMoveEvent(event);
}

void CMultiPlayView::wheelEvent(QWheelEvent *event)
{
    const int notches = event->angleDelta().y();
    if (notches == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    m_playView->ZoomBy(std::pow(kPictureZoomStep, notches / 120.0), event->position().toPoint(), PaneIndex());
    event->accept();
}

void CMultiPlayView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // The presses of the double click toggled the mark; it goes back to what it was before, and
    // the viewer opens on the pane's frame.
    if (MayMark()) {
        m_pane->SetMarked(m_markBeforeClick);
        update();
    }
    emit m_playView->ImageViewerRequested(PaneIndex());
}

void CMultiPlayView::contextMenuEvent(QContextMenuEvent *event)
{
    m_playView->ShowContextMenu(event->globalPos(), PaneIndex());
}
