// The video pane: paints the session's picture, forwards keys and runs its context menu.
#include "playback/mediaplayview.h"

#include "catalogue/channeloffsets.h"
#include "media/mediagraph.h"
#include "playback/multiplayview.h"
#include "playback/pictureadjustpanel.h"
#include "playback/playbackcontroller.h"
#include "playback/playbackpane.h"
#include "skin/commandids.h"
#include "skin/skinart.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QStringList>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

// The video area's context menu: its own id, caption and the main frame command it runs (0: the
// image viewer of the pane it was opened on).
struct tagPANEMENUITEM {
    int id;
    const char *caption;
    int frameCommand;
    bool separatorAfter;
};

const tagPANEMENUITEM kPaneMenu[] = {
    {ID_PLAY_VIEW_ORIGINAL, "View original image", 0, false},
    {ID_PLAY_SAVE_IMAGE, "Save image", ID_VIEW_SAVE_IMAGE, true},
    {ID_PLAY_MARK_EXPORT_START, "Mark export start", ID_MEDIA_MARK_EXPORT_START, false},
    {ID_PLAY_MARK_EXPORT_END, "Mark export end", ID_MEDIA_MARK_EXPORT_END, false},
    {ID_PLAY_EXPORT_VIDEO, "Export video...", ID_MEDIA_EXPORT_VIDEO, false},
    {ID_PLAY_SAVE_EVIDENCE, "Save evidence package...", ID_MEDIA_SAVE_EVIDENCE, true},
    {ID_PLAY_SINGLE_VIEW, "Single View", ID_VIEW_SINGLE, false},
    {ID_PLAY_VIEW_4X, "4x", ID_VIEW_X4, false},
    {ID_PLAY_VIEW_9X, "9x", ID_VIEW_X9, false},
    {ID_PLAY_VIEW_16X, "16x", ID_VIEW_X16, false},
    {ID_PLAY_VIEW_25X, "25x", ID_VIEW_X25, true},
    {ID_PLAY_CHANNELS_PIP, "Picture in picture", ID_VIEW_CHANNELS_PIP, false},
    {ID_PLAY_CHANNELS_SIDE, "Side by side", ID_VIEW_CHANNELS_SIDE, false},
    {ID_PLAY_CHANNELS_GRID, "Grid", ID_VIEW_CHANNELS_GRID, true},
    {ID_PLAY_ZOOM_IN, "Zoom in\t+", ID_VIEW_ZOOM_IN, false},
    {ID_PLAY_ZOOM_OUT, "Zoom out\t-", ID_VIEW_ZOOM_OUT, false},
    {ID_PLAY_ZOOM_WHOLE, "Whole picture\t0", ID_VIEW_ZOOM_WHOLE, false},
    {ID_PLAY_ZOOM_NATIVE, "1:1", ID_VIEW_ZOOM_NATIVE, false},
    {ID_PLAY_PICTURE_ADJUST, "Picture adjustments...", ID_VIEW_PICTURE_ADJUST, false},
};

} // namespace

CMediaPlayView::CMediaPlayView(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

CMediaPlayView::~CMediaPlayView()
{
    DestroyPaneViews();
}

void CMediaPlayView::SetController(CPlaybackController *controller)
{
    m_controller = controller;
    if (m_controller) {
        m_controller->SetVideoArea(rect());
        connect(m_controller, &CPlaybackController::PictureViewChanged, this, &CMediaPlayView::OnPictureViewChanged);
    }
}

CPlaybackSession *CMediaPlayView::Session() const
{
    return m_controller ? m_controller->MainSession() : nullptr;
}

CMediaGraph *CMediaPlayView::Graph() const
{
    return m_controller ? m_controller->MainSession()->Graph() : nullptr;
}

PlayState CMediaPlayView::GetPlayState() const
{
    return m_controller ? m_controller->GetPlayState() : PlayState::Empty;
}

int CMediaPlayView::IsMulti() const
{
    return m_controller ? m_controller->IsMulti() : 0;
}

int CMediaPlayView::PaneCount() const
{
    return m_controller ? m_controller->PaneCount() : 1;
}

int CMediaPlayView::TimerPeriod() const
{
    return m_controller ? m_controller->MainSession()->TimerPeriod() : PLAY_TIMER_DEFAULT_PERIOD_MS;
}

bool CMediaPlayView::IsTimerRunning() const
{
    return m_controller && m_controller->MainSession()->IsTimerRunning();
}

void CMediaPlayView::OnLayoutAboutToChange()
{
    // No half-built grid reaches the screen.
    setUpdatesEnabled(false);
    DestroyPaneViews();
}

void CMediaPlayView::OnLayoutChanged()
{
    CreatePaneViews();
    setUpdatesEnabled(true);
    update();
}

bool CMediaPlayView::IsPainting() const
{
    const QWindow *window = this->window()->windowHandle();
    return isVisible() && window && window->isExposed() && Graph() && !Graph()->VideoRect().isEmpty();
}

void CMediaPlayView::OnPicturesChanged()
{
    const bool now = IsPainting();
    // The grid's panes change together: all of them are marked for painting, then the window
    // paints them in one pass and shows them at once (a repaint of each would show them one by
    // one; a repaint of the area under them does not always reach them).
    if (!m_paneViews.empty()) {
        for (CMultiPlayView *view : m_paneViews)
            view->update();
        if (now)
            QCoreApplication::sendPostedEvents(window(), QEvent::UpdateRequest);
        return;
    }
    if (now)
        repaint();
    else
        update();
}

void CMediaPlayView::RefreshVideo()
{
    if (m_controller)
        m_controller->SetVideoArea(rect());
    for (CMultiPlayView *view : m_paneViews)
        view->PlaceVideo();
    repaint();
}

CMultiPlayView *CMediaPlayView::PaneView(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_paneViews.size()))
        return nullptr;
    return m_paneViews[static_cast<size_t>(index)];
}

void CMediaPlayView::DestroyPaneViews()
{
    for (CMultiPlayView *view : m_paneViews)
        delete view;
    m_paneViews.clear();
}

void CMediaPlayView::CreatePaneViews()
{
    DestroyPaneViews();
    CPlaybackSession *session = Session();
    for (int i = 0; session && i < session->Panes(); ++i) {
        auto *view = new CMultiPlayView(this, session->Pane(i));
        m_paneViews.push_back(view);
    }
    PlacePaneViews(true);
    for (CMultiPlayView *view : m_paneViews)
        view->show();
}

void CMediaPlayView::PlacePaneViews(bool stretchLast)
{
    const int side = GridSide(static_cast<int>(m_paneViews.size()));
    for (size_t i = 0; i < m_paneViews.size(); ++i) {
        m_paneViews[i]->setGeometry(GridCell(static_cast<int>(i), side, size(), stretchLast));
        m_paneViews[i]->PlaceVideo();
    }
}

void CMediaPlayView::paintEvent(QPaintEvent *event)
{
    (void)event;
    QPainter painter(this);
    CMediaGraph *graph = Graph();
    if (!m_paneViews.empty()) {
        // The panes cover the area; only a gap at a resize shows through.
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // The recording being opened counts already: its first picture is announced before the
    // controller announces the recording.
    if (!m_controller || m_controller->MediaPath().isEmpty() || graph->State() == GraphState::NoGraph ||
        !graph->HasVideo()) {
        m_paintedFrame = -1;
        PaintIdle(painter);
        return;
    }
    painter.fillRect(rect(), Qt::black);
    // Another channel in the first place is painted first: the small pictures go over it.
    const int lead = m_controller->LeadChannel();
    const bool pip = m_controller->Channels() > 1 && m_controller->GetChannelLayout() == ChannelLayout::PictureInPicture;
    if (lead != 0)
        PaintOtherChannel(painter, lead, false);
    const CPlaybackSession *session = Session();
    const QImage image = session->ShownImage();
    const QRect target = graph->VideoRect();
    if (!image.isNull() && !target.isEmpty()) {
        // Stretched, not letter-boxed: the pane decides the shape; zoomed and adjusted as the
        // user asked.
        const tagPICTUREVIEW &view = m_controller->PictureView();
        if (view.IsEnhanced()) {
            painter.save();
            if (m_controller->ChannelMirrored(0)) {
                painter.translate(target.left() * 2 + target.width(), 0);
                painter.scale(-1, 1);
            }
            const int64_t frame = session->ShownFrame();
            DrawPictureView(painter, target, image, graph->VideoSize(),
                            [graph, frame](const QRect &region, const QSize &size) {
                                return graph->FrameRegionImage(frame, region, size);
                            },
                            view);
            painter.restore();
        } else {
            DrawChannelImage(painter, target, image, m_controller->ChannelMirrored(0));
        }
        if (m_overlay)
            m_overlay(painter, target, session->ShownFrame());
        PaintIndicator(painter, target);
        if (session->ShownFrame() != m_paintedFrame)
            ++m_newPicturesPainted;
        m_paintedFrame = session->ShownFrame();
    }
    if (pip && lead != 0) {
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(m_controller->ChannelRect(0).adjusted(0, 0, -1, -1));
    }
    for (int i = 1; i < m_controller->Channels(); ++i)
        if (i != lead)
            PaintOtherChannel(painter, i, pip);
}

int64_t CMediaPlayView::PaintedChannelFrame(int channel) const
{
    if (channel == 0)
        return m_paintedFrame;
    const auto at = static_cast<size_t>(channel);
    return at < m_channelPaintedFrames.size() ? m_channelPaintedFrames[at] : -1;
}

int64_t CMediaPlayView::NewChannelPicturesPainted(int channel) const
{
    if (channel == 0)
        return m_newPicturesPainted;
    const auto at = static_cast<size_t>(channel);
    return at < m_channelNewPictures.size() ? m_channelNewPictures[at] : 0;
}

void CMediaPlayView::DrawChannelImage(QPainter &painter, const QRect &target, const QImage &image, bool bMirrored)
{
    if (!bMirrored) {
        painter.drawImage(target, image);
        return;
    }
    // Left and right swapped inside the same place.
    painter.save();
    painter.translate(target.left() * 2 + target.width(), 0);
    painter.scale(-1, 1);
    painter.drawImage(target, image);
    painter.restore();
}

void CMediaPlayView::PaintOtherChannel(QPainter &painter, int channel, bool bFramed)
{
    const QRect place = m_controller->ChannelRect(channel);
    if (place.isEmpty())
        return;
    const QImage image = m_controller->ChannelImage(channel);
    const QRect target = m_controller->Session(channel)->Graph()->VideoRect();
    painter.fillRect(place, Qt::black);
    const auto at = static_cast<size_t>(channel);
    if (m_channelPaintedFrames.size() <= at) {
        m_channelPaintedFrames.resize(at + 1, -1);
        m_channelNewPictures.resize(at + 1, 0);
    }
    if (!image.isNull() && !target.isEmpty()) {
        DrawChannelImage(painter, target, image, m_controller->ChannelMirrored(channel));
        const int64_t frame = m_controller->ChannelFrame(channel);
        if (frame != m_channelPaintedFrames[at])
            ++m_channelNewPictures[at];
        m_channelPaintedFrames[at] = frame;
    } else {
        m_channelPaintedFrames[at] = -1;
        painter.setPen(Qt::white);
        painter.drawText(place, Qt::AlignCenter, QStringLiteral("no picture"));
    }
    if (const int offset = m_controller->ChannelOffset(channel)) {
        // The nudge shows while it is set: the picture is not where the camera put it.
        const QString text = QStringLiteral("%1%2 frames").arg(offset > 0 ? "+" : "").arg(offset);
        const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-3, -1, 3, 1);
        const QRect at(place.topLeft() + QPoint(4, 4), box.size());
        painter.fillRect(at, Qt::black);
        painter.setPen(Qt::yellow);
        painter.drawText(at, Qt::AlignCenter, text);
    }
    if (bFramed) {
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(place.adjusted(0, 0, -1, -1));
    }
}

void CMediaPlayView::AddOffsetItems(QMenu &menu, int channel)
{
    // A camera that started late shows its pictures later: its offset against the main camera,
    // kept for the card.
    const int offset = m_controller->ChannelOffset(channel);
    const auto nudge = [this, channel](int frames) {
        m_controller->SetChannelOffset(channel, m_controller->ChannelOffset(channel) + frames);
    };
    QAction *later = menu.addAction(QStringLiteral("Delay this camera by a frame"));
    later->setEnabled(offset < kMaxChannelOffsetFrames);
    connect(later, &QAction::triggered, this, [nudge] { nudge(1); });
    QAction *earlier = menu.addAction(QStringLiteral("Advance this camera by a frame"));
    earlier->setEnabled(offset > -kMaxChannelOffsetFrames);
    connect(earlier, &QAction::triggered, this, [nudge] { nudge(-1); });
    QAction *reset = menu.addAction(QStringLiteral("This camera as recorded"));
    reset->setEnabled(offset != 0);
    connect(reset, &QAction::triggered, this, [this, channel] { m_controller->SetChannelOffset(channel, 0); });
    menu.addSeparator();
}

void CMediaPlayView::PaintIdle(QPainter &painter)
{
    painter.fillRect(rect(), Qt::white);
    const QPixmap band = LoadSkinBitmap(IDB_IDLE_BAND);
    if (!band.isNull())
        painter.drawPixmap(QRect(0, 0, width(), SkinBitmapSize(IDB_IDLE_BAND).height()), band);
    const QPixmap corner = LoadSkinBitmap(IDB_IDLE_CORNER);
    if (!corner.isNull())
        painter.drawPixmap(QRect(QPoint(0, 0), SkinBitmapSize(IDB_IDLE_CORNER)), corner);
    const QPixmap emblem = LoadSkinBitmap(IDB_IDLE_EMBLEM);
    if (!emblem.isNull()) {
        const QSize size = SkinBitmapSize(IDB_IDLE_EMBLEM);
        const QPoint topLeft((width() - size.width()) / 2, (height() - size.height()) / 2);
        painter.drawPixmap(QRect(topLeft, size), emblem);
    }
}

void CMediaPlayView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_controller)
        m_controller->SetVideoArea(rect());
    if (!m_paneViews.empty()) {
        // A shown grid keeps whole cells of the new size, without stretching the last ones.
        PlacePaneViews(false);
    }
    update();
}

void CMediaPlayView::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    RefreshVideo();
}

void CMediaPlayView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Right: emit GraphKey(event->key(), (event->modifiers() & Qt::KeypadModifier) != 0); break;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Delete: emit ControlBarKey(event->key()); break;
    // Zoom: + (or =, the same key without Shift), - and 0.
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomBy(kPictureZoomStep); break;
    case Qt::Key_Minus: ZoomBy(1.0 / kPictureZoomStep); break;
    case Qt::Key_0: ZoomWhole(); break;
    default: break;
    }
    QWidget::keyPressEvent(event);
}

void CMediaPlayView::contextMenuEvent(QContextMenuEvent *event)
{
    const int channel =
        m_controller && m_controller->Channels() > 1 && m_paneViews.empty() ? m_controller->ChannelAt(event->pos()) : -1;
    ShowContextMenu(event->globalPos(), -1, channel);
}

void CMediaPlayView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_paneViews.empty()) {
        // A double click on another camera puts it in the first place; on the one there, the
        // picture opens in the image viewer.
        const int channel = m_controller && m_controller->Channels() > 1 ? m_controller->ChannelAt(event->pos()) : -1;
        if (channel >= 0 && channel != m_controller->LeadChannel())
            m_controller->SetLeadChannel(channel);
        else
            emit ImageViewerRequested(-1);
    }
    QWidget::mouseDoubleClickEvent(event);
}

void CMediaPlayView::ShowContextMenu(const QPoint &globalPos, int pane, int channel)
{
    QMenu menu(this);
    if (channel > 0)
        AddOffsetItems(menu, channel);
    for (const tagPANEMENUITEM &item : kPaneMenu) {
        QAction *action = menu.addAction(QString::fromLatin1(item.caption));
        action->setData(item.id);
        if (item.frameCommand == 0) {
            connect(action, &QAction::triggered, this, [this, pane] { emit ImageViewerRequested(pane); });
        } else {
            action->setEnabled(m_commandEnabled && m_commandEnabled(item.frameCommand));
            const int command = item.frameCommand;
            connect(action, &QAction::triggered, this, [this, command] { emit CommandRequested(command); });
        }
        if (item.separatorAfter)
            menu.addSeparator();
    }
    menu.exec(globalPos);
}

// --- Zoom, pan and adjustments ------------------------------------------------------------------

QRect CMediaPlayView::PictureTarget(int pane) const
{
    if (!m_controller)
        return QRect();
    if (pane >= 0) {
        const CMultiPlayView *view = PaneView(pane);
        return view ? view->Pane()->Graph()->VideoRect() : QRect();
    }
    return Graph()->VideoRect();
}

QSize CMediaPlayView::NativePictureSize() const
{
    if (!m_controller)
        return QSize();
    if (!m_paneViews.empty())
        return m_paneViews.front()->Pane()->Graph()->VideoSize();
    return Graph()->VideoSize();
}

void CMediaPlayView::ZoomBy(double factor, const QPoint &at, int pane)
{
    if (!m_controller || m_controller->MediaPath().isEmpty())
        return;
    const QRect target = PictureTarget(m_paneViews.empty() ? -1 : std::max(pane, 0));
    if (target.isEmpty())
        return;
    QPointF fraction(0.5, 0.5);
    if (at.x() >= 0 && at.y() >= 0)
        fraction = QPointF(double(at.x() - target.left()) / target.width(), double(at.y() - target.top()) / target.height());
    if (m_paneViews.empty() && m_controller->ChannelMirrored(0))
        fraction.setX(1.0 - fraction.x());
    m_controller->SetPictureView(ZoomPictureAt(m_controller->PictureView(), fraction, factor));
}

void CMediaPlayView::ZoomNative()
{
    if (!m_controller || m_controller->MediaPath().isEmpty())
        return;
    const QRect target = PictureTarget(m_paneViews.empty() ? -1 : 0);
    m_controller->SetPictureView(PictureOneToOne(m_controller->PictureView(), NativePictureSize(), target.size()));
}

void CMediaPlayView::ZoomWhole()
{
    if (m_controller)
        m_controller->SetPictureView(WholePicture(m_controller->PictureView()));
}

void CMediaPlayView::PanBy(const QPoint &delta, int pane)
{
    if (!m_controller)
        return;
    const QRect target = PictureTarget(m_paneViews.empty() ? -1 : std::max(pane, 0));
    if (target.isEmpty())
        return;
    QPointF d(double(delta.x()) / target.width(), double(delta.y()) / target.height());
    if (m_paneViews.empty() && m_controller->ChannelMirrored(0))
        d.setX(-d.x());
    m_controller->SetPictureView(PanPicture(m_controller->PictureView(), d));
}

void CMediaPlayView::ShowAdjustPanel()
{
    if (!m_controller)
        return;
    if (!m_adjustPanel) {
        m_adjustPanel = new CPictureAdjustPanel(m_controller, this);
        m_adjustPanel->setWindowFlag(Qt::Tool);
        // At the video's top right corner, where it hides the least of the picture's middle.
        m_adjustPanel->adjustSize();
        m_adjustPanel->move(mapToGlobal(QPoint(std::max(0, width() - m_adjustPanel->width() - 8), 8)));
    }
    m_adjustPanel->show();
    m_adjustPanel->raise();
}

QWidget *CMediaPlayView::AdjustPanel() const
{
    return m_adjustPanel;
}

QString CMediaPlayView::PictureViewIndicator() const
{
    if (!m_controller || !m_controller->PictureView().IsEnhanced())
        return QString();
    const tagPICTUREVIEW &view = m_controller->PictureView();
    QStringList parts;
    if (!view.IsWhole())
        parts << QStringLiteral("zoom %1x").arg(1.0 / view.region.width(), 0, 'f', 1);
    const QString adjust = PictureAdjustText(view.adjust);
    if (!adjust.isEmpty())
        parts << adjust;
    return parts.join(QStringLiteral("; "));
}

void CMediaPlayView::PaintIndicator(QPainter &painter, const QRect &picture) const
{
    const QString text = PictureViewIndicator();
    if (text.isEmpty())
        return;
    // The picture is not the frame as recorded: it says so while it shows.
    const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-4, -2, 4, 2);
    const QRect at(picture.topLeft() + QPoint(4, 4), box.size());
    painter.fillRect(at, QColor(0, 0, 0, 170));
    painter.setPen(Qt::yellow);
    painter.drawText(at, Qt::AlignCenter, text);
}

void CMediaPlayView::OnPictureViewChanged()
{
    for (CMultiPlayView *view : m_paneViews)
        view->update();
    update();
    const bool zoomed = m_controller && !m_controller->PictureView().IsWhole();
    setCursor(zoomed ? Qt::OpenHandCursor : Qt::ArrowCursor);
    for (CMultiPlayView *view : m_paneViews)
        view->setCursor(zoomed ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

void CMediaPlayView::wheelEvent(QWheelEvent *event)
{
    const int notches = event->angleDelta().y();
    if (notches == 0 || !m_paneViews.empty()) {
        QWidget::wheelEvent(event);
        return;
    }
    ZoomBy(std::pow(kPictureZoomStep, notches / 120.0), event->position().toPoint());
    event->accept();
}

void CMediaPlayView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragFrom = event->pos();
        m_bDragging = false;
    }
    QWidget::mousePressEvent(event);
}

void CMediaPlayView::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::LeftButton) && m_paneViews.empty() && m_controller &&
        !m_controller->PictureView().IsWhole()) {
        const QPoint delta = event->pos() - m_dragFrom;
        if (m_bDragging || delta.manhattanLength() >= kPanDragThreshold) {
            m_bDragging = true;
            setCursor(Qt::ClosedHandCursor);
            PanBy(delta);
            m_dragFrom = event->pos();
        }
    }
    QWidget::mouseMoveEvent(event);
}

void CMediaPlayView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_bDragging) {
        m_bDragging = false;
        setCursor(Qt::OpenHandCursor);
    }
    QWidget::mouseReleaseEvent(event);
}
