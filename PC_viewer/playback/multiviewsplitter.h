// CMultiViewSplitter: the main frame's splitter. Each cell can hold several alternative views of
// which one is shown, and the bars can be locked so that the user cannot drag them (the frame
// lays its panes out at fixed sizes).
#pragma once

#include <QHash>
#include <QPointer>
#include <QSplitter>
#include <QStackedWidget>

#include <vector>

class CMultiViewSplitter : public QSplitter
{
    Q_OBJECT
public:
    // A grid of rows x cols cells; one of them must be 1 (a splitter divides one way).
    CMultiViewSplitter(int rows, int cols, QWidget *parent = nullptr);

    int Rows() const { return m_rows; }
    int Cols() const { return m_cols; }

    // Puts a view into a cell, hiding the cell's current one; the view becomes the cell's
    // current view. Returns its id (from 1 upwards), or -1 for a cell outside the grid or no view.
    int AddView(int row, int col, QWidget *view);
    // Makes view `id` the cell's current view; false when the id is not in that cell.
    bool ShowView(int row, int col, int id);
    // Hides the cell's current view; returns its id, or -1 when the cell shows none.
    int HideView(int row, int col);
    QWidget *ViewById(int id) const;
    int CurrentViewId(int row, int col) const;
    // The view the cell shows (the pane lookup by row and column), or null.
    QWidget *Pane(int row, int col) const;

    // Gap between panes (the bar width) and the border of the splitter. The cells fill the
    // splitter to its edges, so the sizes the frame gives are the panes' own sizes; the border
    // is kept for the frame's arithmetic.
    void SetGapAndBorder(int gap, int border);
    int Gap() const { return handleWidth(); }
    int Border() const { return m_border; }

    // While locked the bars do not move and show no sizing cursor.
    void Lock(bool locked);
    bool IsLocked() const { return m_locked; }

    // Sizes of the cells along the splitter, in pixels (what the frame lays out).
    void SetCellSizes(const std::vector<int> &sizes);
    // Every cell keeps at least this many pixels, as the frame asks.
    void SetCellMinimum(int pixels);

protected:
    QSplitterHandle *createHandle() override;

private:
    QStackedWidget *Cell(int row, int col) const;

    int m_rows;
    int m_cols;
    int m_border = 1;
    bool m_locked = false;
    int m_nextId = 1;
    std::vector<QStackedWidget *> m_cells;
    QHash<int, QPointer<QWidget>> m_viewById;
    QHash<int, int> m_currentIdByCell;
};
