// A grid pane's widget: painting, marks and the pane's mouse input.
#include "playback/multiplayview.h"

#include "playback/mediagraph.h"
#include "playback/mediaplayview.h"
#include "playback/playbackpane.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

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
    painter.drawImage(target, image);
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
        if (MayMark()) {
            m_pane->ToggleMarked();
            update();
        }
    }
    QWidget::mousePressEvent(event);
}

void CMultiPlayView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // The press before this toggled the mark once; this puts it back and opens the viewer.
    if (MayMark()) {
        m_pane->ToggleMarked();
        update();
    }
    m_playView->OpenImageViewer(PaneIndex());
}

void CMultiPlayView::contextMenuEvent(QContextMenuEvent *event)
{
    m_playView->ShowContextMenu(event->globalPos(), PaneIndex());
}
