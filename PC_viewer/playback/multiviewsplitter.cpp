// The frame's splitter with alternative views per cell and lockable bars.
#include "playback/multiviewsplitter.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

// A bar that ignores the mouse (and keeps the ordinary cursor) while its splitter is locked.
class CLockableHandle : public QSplitterHandle
{
public:
    CLockableHandle(Qt::Orientation orientation, CMultiViewSplitter *parent)
        : QSplitterHandle(orientation, parent), m_splitter(parent)
    {
    }

protected:
    bool event(QEvent *e) override
    {
        if (m_splitter->IsLocked()) {
            switch (e->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove: e->accept(); return true;
            default: break;
            }
        }
        return QSplitterHandle::event(e);
    }

    // A locked bar is a plain strip: no grip suggesting it could be dragged.
    void paintEvent(QPaintEvent *e) override
    {
        if (!m_splitter->IsLocked()) {
            QSplitterHandle::paintEvent(e);
            return;
        }
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Mid));
    }

private:
    CMultiViewSplitter *m_splitter;
};

} // namespace

CMultiViewSplitter::CMultiViewSplitter(int rows, int cols, QWidget *parent)
    : QSplitter(rows > 1 ? Qt::Vertical : Qt::Horizontal, parent), m_rows(std::max(1, rows)),
      m_cols(std::max(1, cols))
{
    setChildrenCollapsible(false);
    setOpaqueResize(true);
    const int count = m_rows * m_cols;
    for (int i = 0; i < count; ++i) {
        auto *cell = new QStackedWidget(this);
        cell->setMinimumSize(0, 0);
        addWidget(cell);
        m_cells.push_back(cell);
    }
    SetGapAndBorder(1, 1);
}

QSplitterHandle *CMultiViewSplitter::createHandle()
{
    return new CLockableHandle(orientation(), this);
}

QStackedWidget *CMultiViewSplitter::Cell(int row, int col) const
{
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        return nullptr;
    return m_cells[static_cast<size_t>(row * m_cols + col)];
}

int CMultiViewSplitter::AddView(int row, int col, QWidget *view)
{
    QStackedWidget *cell = Cell(row, col);
    if (!cell || !view)
        return -1;
    HideView(row, col);
    const int id = m_nextId++;
    cell->addWidget(view);
    m_viewById.insert(id, view);
    ShowView(row, col, id);
    return id;
}

bool CMultiViewSplitter::ShowView(int row, int col, int id)
{
    QStackedWidget *cell = Cell(row, col);
    QWidget *view = ViewById(id);
    if (!cell || !view || cell->indexOf(view) < 0)
        return false;
    cell->setCurrentWidget(view);
    view->show();
    m_currentIdByCell.insert(row * m_cols + col, id);
    return true;
}

int CMultiViewSplitter::HideView(int row, int col)
{
    if (!Cell(row, col))
        return -1;
    const int key = row * m_cols + col;
    const int id = m_currentIdByCell.value(key, -1);
    if (id < 0)
        return -1;
    if (QWidget *view = ViewById(id))
        view->hide();
    m_currentIdByCell.remove(key);
    return id;
}

QWidget *CMultiViewSplitter::ViewById(int id) const
{
    return m_viewById.value(id).data();
}

int CMultiViewSplitter::CurrentViewId(int row, int col) const
{
    if (!Cell(row, col))
        return -1;
    return m_currentIdByCell.value(row * m_cols + col, -1);
}

QWidget *CMultiViewSplitter::Pane(int row, int col) const
{
    return ViewById(CurrentViewId(row, col));
}

void CMultiViewSplitter::SetGapAndBorder(int gap, int border)
{
    setHandleWidth(std::max(0, gap));
    m_border = std::max(0, border);
    setContentsMargins(0, 0, 0, 0);
}

void CMultiViewSplitter::Lock(bool locked)
{
    m_locked = locked;
    for (int i = 1; i < count(); ++i) {
        if (QSplitterHandle *h = handle(i)) {
            if (locked)
                h->setCursor(Qt::ArrowCursor);
            else
                h->unsetCursor();
        }
    }
}

void CMultiViewSplitter::SetCellSizes(const std::vector<int> &sizes)
{
    QList<int> list;
    for (int s : sizes)
        list.append(std::max(0, s));
    setSizes(list);
}

void CMultiViewSplitter::SetCellMinimum(int pixels)
{
    for (QStackedWidget *cell : m_cells) {
        if (orientation() == Qt::Horizontal)
            cell->setMinimumWidth(pixels);
        else
            cell->setMinimumHeight(pixels);
    }
}
