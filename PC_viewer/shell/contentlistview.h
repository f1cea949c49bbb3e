// CContentListView: the recording list in the upper left pane. One row per recording of the
// document, in the document's order, with a 32 x 32 thumbnail, the recording type and the start
// time. From it the user opens a recording (making it current for the whole viewer), plays it,
// copies recordings with their data files to another folder, and deletes them.
//
// Thumbnails are decoded on worker threads so that a card of thousands of clips lists at once;
// each row shows the default picture until its thumbnail arrives, and keeps it when the clip has
// none. A refill or clear abandons the thumbnails still outstanding for the old rows.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QTableView>

#include <atomic>
#include <memory>

class CCorvanaDoc;
class CContentListModel;
class CThumbnailQueue;
class QMenu;
class QProgressBar;

class CContentListView : public QTableView
{
    Q_OBJECT
public:
    static constexpr int kThumbnailSize = 32;
    static constexpr int kTooltipLength = 79;

    // Column 0 (thumbnail), 1 ("Rec-Type"), 2 ("Contents List").
    static constexpr int kColumnWidths[3] = {41, 85, 230};

    // Row backgrounds.
    static QColor CurrentRowColor() { return QColor(255, 255, 0); }
    static QColor EvenRowColor() { return QColor(192, 224, 240); }
    static QColor OddRowColor() { return QColor(224, 244, 244); }
    static QColor BackgroundColor() { return QColor(244, 244, 244); }

    explicit CContentListView(const CCorvanaDoc *doc, QWidget *parent = nullptr);
    ~CContentListView() override;

    // Removes every row and thumbnail (the load sequence); no row is current.
    void Clear();
    // Rebuilds the rows from the document and starts the thumbnails.
    void Fill();

    // Asks for row `index` to be opened (OpenRequested: the navigator opens it, falling back to
    // the recording before, or to none). True when `index` became current.
    bool Open(int index);
    // The row of the current recording (-1: none), as CurrentRowMoved told it.
    int CurrentRow() const;

    // The context menu's commands (ids 32905 to 32910), run only when enabled.
    bool Command(int id);
    bool IsCommandEnabled(int id) const;
    // The context menu as it would open now (one action per command, data = id).
    std::unique_ptr<QMenu> CreateContextMenu();

    // Selected rows in ascending order.
    QList<int> SelectedRows() const;

    // Thumbnail state, for the frame and for tests. The rows on screen are made first, the rest
    // in the background with a thin progress bar at the bottom of the list.
    int RowCount() const;
    bool IsThumbnailLoaded(int row) const; // false while pending and when the clip has none
    bool IsThumbnailPending(int row) const;
    QPixmap RowThumbnail(int row) const;
    static QPixmap DefaultThumbnail();

signals:
    // Every row's thumbnail has been decided (loaded or left at the default picture).
    void ThumbnailsFinished();
    // The user asks for row `row` to be opened (double click, Enter), or opened and played
    // forward ("Play"); a key for the graph's key table was pressed in the list.
    void OpenRequested(int row);
    void PlayRequested(int row);
    void GraphKey(int key);
    // "Save" and "Delete" on the selected rows (ascending).
    void CopyRequested(const QList<int> &rows);
    void DeleteRequested(const QList<int> &rows);

public slots:
    // What opening a recording changes in the rows: the current row moved from `before` to
    // `after` (-1: none), both repaint; row `row` was opened (selected alone, scrolled to the
    // top); nothing is open any more.
    void CurrentRowMoved(int before, int after);
    void ShowOpened(int row);
    void ShowNoneOpened();
    // The video shows several panes (multi 1): "Play" is greyed on the current row.
    void OnLayoutChanged(int multi, int count);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void OnPlay();
    void OnSelectAll();
    void OnDeselectAll();
    void OnSave();
    void OnDelete();
    void StartThumbnails();
    void CancelThumbnails();
    // The rows on screen are made next; the progress bar sits at the bottom of the rows.
    void PrioritiseVisibleThumbnails();
    void PlaceThumbnailProgress();
    void SelectOnly(int row);

    const CCorvanaDoc *m_doc;
    CContentListModel *m_model;
    int m_multi = 0;
    CThumbnailQueue *m_thumbnails;     // child
    QProgressBar *m_thumbnailProgress; // child of the viewport, shown while thumbnails are made
};
