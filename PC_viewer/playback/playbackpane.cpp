// A pane of the grid: its graph, its step and follow rules, and the grid's arithmetic.
#include "playback/playbackpane.h"

#include "media/mediagraph.h"

#include <algorithm>
#include <cmath>

int GridSide(int count)
{
    return static_cast<int>(std::sqrt(static_cast<double>(std::max(1, count))));
}

QRect GridCell(int index, int side, const QSize &size, bool stretchLast)
{
    const int n = std::max(1, side);
    const int row = index / n;
    const int col = index % n;
    const int cellW = size.width() / n;
    const int cellH = size.height() / n;
    const int left = cellW * col;
    const int top = cellH * row;
    const int right = (stretchLast && col == n - 1) ? size.width() : cellW * (col + 1);
    const int bottom = (stretchLast && row == n - 1) ? size.height() : cellH * (row + 1);
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

int64_t ClampGridStart(int64_t p, int count, int64_t frameCount)
{
    if (p + count > frameCount)
        p = frameCount - count;
    return std::max<int64_t>(0, p);
}

int64_t PaneFirstFrame(int index)
{
    return index;
}

int64_t PaneLastFrame(int index, int count, int64_t frameCount)
{
    return std::max<int64_t>(index, frameCount - (count - index));
}

CPlaybackPane::CPlaybackPane(int index, int count, QObject *parent)
    : QObject(parent), m_index(index), m_count(count)
{
    m_graph = new CMediaGraph(this);
    m_graph->SetInsetVideo(true);
    m_graph->SetEventTarget(this);
    connect(m_graph, &CMediaGraph::MediaEvent, this, &CPlaybackPane::OnMediaEvent);
}

CPlaybackPane::~CPlaybackPane()
{
    // Released first, so that no late picture or event reaches a half-destroyed pane.
    m_graph->ReleaseGraph();
}

int64_t CPlaybackPane::FrameCount() const
{
    return m_graph->FrameCount();
}

int64_t CPlaybackPane::CurrentFrame() const
{
    if (m_pastEnd)
        return -1;
    int64_t frame = -1;
    if (FAILED(m_graph->CurrentFrame(&frame)))
        return -1;
    return frame;
}

bool CPlaybackPane::IsSeekPending() const
{
    return m_graph->IsSeekPending();
}

HRESULT CPlaybackPane::Open(const QString &mediaPath)
{
    const HRESULT hr = m_graph->OpenMedia(mediaPath);
    if (FAILED(hr)) {
        TakePicture();
        return hr;
    }
    const HRESULT seek = SeekTo(m_index);
    m_playState = PlayState::Paused;
    return seek;
}

HRESULT CPlaybackPane::SeekTo(int64_t frame)
{
    if (m_graph->State() == GraphState::NoGraph)
        return VFW_E_WRONG_STATE;
    if (frame < 0)
        return E_UNEXPECTED;
    // A pane of a grid longer than the clip has no frame to show; it stays empty.
    m_pastEnd = frame >= FrameCount();
    if (m_pastEnd) {
        TakePicture();
        return S_OK;
    }
    const HRESULT hr = m_graph->SeekToFrame(frame);
    TakePicture();
    return hr;
}

HRESULT CPlaybackPane::Pause()
{
    const HRESULT hr = m_graph->Pause();
    if (SUCCEEDED(hr))
        m_playState = PlayState::Paused;
    return hr;
}

HRESULT CPlaybackPane::Stop()
{
    const HRESULT hr = SeekTo(m_index);
    if (SUCCEEDED(hr))
        m_playState = PlayState::Stopped;
    return hr;
}

HRESULT CPlaybackPane::Step(int64_t q, bool background)
{
    if (m_graph->State() == GraphState::NoGraph)
        return VFW_E_WRONG_STATE;
    const int64_t first = PaneFirstFrame(m_index);
    const int64_t last = PaneLastFrame(m_index, m_count, FrameCount());
    HRESULT hr = S_OK;
    if (q < first) {
        const HRESULT seek = SeekTo(first);
        hr = FAILED(seek) ? seek : PANE_START_REACHED;
    } else if (q >= last) {
        const HRESULT seek = SeekTo(last);
        hr = FAILED(seek) ? seek : PANE_END_REACHED;
    } else if (background) {
        m_pastEnd = false;
        hr = m_graph->SeekToFrameAsync(q);
        if (hr == S_FALSE) // the picture was at hand
            hr = S_OK;
    } else {
        hr = SeekTo(q);
    }
    if (hr >= 0)
        m_playState = PlayState::Running;
    return hr;
}

HRESULT CPlaybackPane::Follow(int64_t position)
{
    if (m_graph->State() == GraphState::NoGraph)
        return VFW_E_WRONG_STATE;
    const int64_t q = std::clamp<int64_t>(position + m_index, PaneFirstFrame(m_index),
                                          PaneLastFrame(m_index, m_count, FrameCount()));
    // Already there (the grid published the frame it shows): nothing to redo, and a step still
    // being decoded is not cut short.
    if (q == CurrentFrame() && !m_graph->IsSeekPending())
        return S_OK;
    return SeekTo(q);
}

bool CPlaybackPane::TakePicture()
{
    QImage image;
    int64_t frame = -1;
    if (m_pastEnd || FAILED(m_graph->GetShownImage(&image, &frame)))
        image = QImage(), frame = -1;
    if (frame == m_shownFrame && image.cacheKey() == m_shownImage.cacheKey())
        return false;
    m_shownImage = image;
    m_shownFrame = frame;
    m_newPicture = true;
    return true;
}

QImage CPlaybackPane::NativeImage() const
{
    return m_shownFrame >= 0 ? m_graph->FrameImage(m_shownFrame) : QImage();
}

bool CPlaybackPane::ConsumeNewPicture()
{
    const bool changed = m_newPicture;
    m_newPicture = false;
    return changed;
}

void CPlaybackPane::NotifyGraphEvent(long eventCode, intptr_t param1, intptr_t param2)
{
    (void)param1;
    (void)param2;
    switch (eventCode) {
    case EC_USERABORT:
        Stop();
        emit Aborted();
        break;
    case EC_OLE_EVENT: emit PictureArrived(); break;
    default: break; // a pane does not react to the end of the clip
    }
}

void CPlaybackPane::OnMediaEvent()
{
    m_graph->DispatchGraphEvents(this);
}
