// The recording list: rows, thumbnails on worker threads; opening, copying and deleting go to
// the recording actions.
#include "shell/contentlistview.h"

#include "catalogue/cameraclock.h"
#include "catalogue/corvanadoc.h"
#include "catalogue/recordinfo.h"
#include "media/mediagraph.h"
#include "playback/playbacksession.h"
#include "media/thumbnailqueue.h"
#include "shell/recordingactions.h"
#include "skin/prompt.h"
#include "skin/skinart.h"

#include <QAbstractTableModel>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>

#include <vector>

namespace {

// Context menu 140: id, caption; "Play" is greyed by its own rule.
constexpr int ID_LIST_PLAY = 32905;
constexpr int ID_LIST_SAVE = 32906;
constexpr int ID_LIST_DELETE = 32907;
constexpr int ID_LIST_SELECT_ALL = 32909;
constexpr int ID_LIST_DESELECT_ALL = 32910;

struct tagLISTMENUITEM {
    int id;
    const char *caption;
};

const tagLISTMENUITEM kListMenu[] = {
    {ID_LIST_PLAY, "Play"}, {ID_LIST_SELECT_ALL, "Select all"}, {ID_LIST_DESELECT_ALL, "Deselect all"},
    {ID_LIST_SAVE, "Save"}, {ID_LIST_DELETE, "Delete"},
};

// Scrolling the opened row to the top leaves this much of the row above in view.
constexpr int kOpenScrollMargin = 6;

} // namespace

// Rows of the list: texts and thumbnails, drawn from the document at fill time.
class CContentListModel : public QAbstractTableModel
{
public:
    struct tagROW {
        QString path;
        QPixmap thumbnail; // null: default picture
        bool pending = true;
        // Texts are made when the row is first drawn: a card of thousands lists at once.
        mutable bool textsMade = false;
        mutable QString type;
        mutable QString text;
    };

    explicit CContentListModel(const CCorvanaDoc *doc, QObject *parent) : QAbstractTableModel(parent), m_doc(doc)
    {
        m_font = QFont(QStringLiteral("Arial"));
        m_font.setPixelSize(15);
        m_font.setBold(true);
        m_default = CContentListView::DefaultThumbnail();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : 3;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal)
            return {};
        static const char *const titles[3] = {"IMG", "Rec-Type", "Contents List"};
        if (role == Qt::DisplayRole && section >= 0 && section < 3)
            return QString::fromLatin1(titles[section]);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        return {};
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const tagROW &row = m_rows[static_cast<size_t>(index.row())];
        switch (role) {
        case Qt::DisplayRole:
            if (index.column() == 0)
                return {};
            MakeTexts(index.row(), row);
            return index.column() == 1 ? row.type : row.text;
        case Qt::DecorationRole:
            if (index.column() == 0)
                return row.thumbnail.isNull() ? m_default : row.thumbnail;
            return {};
        case Qt::BackgroundRole:
            if (index.row() == m_current)
                return CContentListView::CurrentRowColor();
            return index.row() % 2 == 0 ? CContentListView::EvenRowColor() : CContentListView::OddRowColor();
        case Qt::ForegroundRole: return QColor(Qt::black);
        case Qt::FontRole: return m_font;
        case Qt::TextAlignmentRole: return int(Qt::AlignCenter);
        case Qt::ToolTipRole: {
            // The cell is too narrow for the note of a data file read in part, and for what the
            // camera's name told; the tip has them.
            QString tip = row.path.left(CContentListView::kTooltipLength);
            const tagDATAFILEINFO &rec = m_doc->RecordRef(index.row());
            if (rec.bTooLarge)
                tip += QLatin1Char('\n') + QString::fromLatin1(kTooLargeListNote).trimmed();
            const QString clock = CameraClockText(rec);
            if (!clock.isEmpty())
                tip += QStringLiteral("\nCamera clock: ") + clock;
            const tagRECORDINGCLIPS clips = m_doc->ClipsAt(index.row());
            if (!clips.strTip.isEmpty())
                tip += QStringLiteral("\n%1 (%2)").arg(clips.strTip, clips.ChannelList());
            return tip;
        }
        default: return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    void Reset(std::vector<tagROW> rows)
    {
        beginResetModel();
        m_rows = std::move(rows);
        m_pending = static_cast<int>(m_rows.size());
        ++m_generation;
        endResetModel();
    }
    // Bumped by every reset.
    int Generation() const { return m_generation; }

    // A worker's answer for one row; false when it completes the last outstanding row.
    bool SetThumbnail(int row, const QImage &image)
    {
        if (row < 0 || row >= rowCount())
            return false;
        tagROW &r = m_rows[static_cast<size_t>(row)];
        if (!r.pending)
            return false;
        r.pending = false;
        if (!image.isNull())
            r.thumbnail = QPixmap::fromImage(image);
        const QModelIndex cell = index(row, 0);
        emit dataChanged(cell, cell, {Qt::DecorationRole});
        return --m_pending == 0;
    }

    // Repaints the rows whose background depends on the current recording.
    int Current() const { return m_current; }
    // The current row moved from a to b: both repaint.
    void SetCurrent(int a, int b)
    {
        m_current = b;
        for (int row : {a, b}) {
            if (row >= 0 && row < rowCount())
                emit dataChanged(index(row, 0), index(row, 2), {Qt::BackgroundRole});
        }
    }

    const tagROW &Row(int row) const { return m_rows[static_cast<size_t>(row)]; }

    // The row's type and time from the document, as long as the document still holds the
    // recording the row was filled with (a reload in progress may have replaced it).
    void MakeTexts(int index, const tagROW &row) const
    {
        if (row.textsMade)
            return;
        if (index >= m_doc->Count() || m_doc->MediaPathAt(index) != row.path)
            return;
        const tagDATAFILEINFO &rec = m_doc->RecordRef(index);
        row.type = RecordingTypeName(rec.nType);
        row.text = RecordListText(rec, row.path);
        row.textsMade = true;
    }
    int Pending() const { return m_pending; }

private:
    const CCorvanaDoc *m_doc;
    int m_current = -1;
    QFont m_font;
    QPixmap m_default;
    std::vector<tagROW> m_rows;
    int m_pending = 0;
    int m_generation = 0;
};

namespace {

// Thumbnails sit in the middle of their cell, at their own size.
class CThumbnailDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->decorationAlignment = Qt::AlignCenter;
        option->decorationSize = QSize(CContentListView::kThumbnailSize, CContentListView::kThumbnailSize);
        option->displayAlignment = Qt::AlignCenter;
    }
};

} // namespace

CContentListView::CContentListView(const CCorvanaDoc *doc, QWidget *parent)
    : QTableView(parent), m_doc(doc), m_model(new CContentListModel(doc, this)),
      m_thumbnails(new CThumbnailQueue(QSize(kThumbnailSize, kThumbnailSize), 0, this)),
      m_thumbnailProgress(new QProgressBar(viewport()))
{
    m_thumbnailProgress->setTextVisible(false);
    m_thumbnailProgress->setFixedHeight(6);
    m_thumbnailProgress->hide();
    connect(m_thumbnails, &CThumbnailQueue::Made, this, [this](int row, const QImage &image) {
        if (m_model->SetThumbnail(row, image))
            emit ThumbnailsFinished();
    });
    connect(m_thumbnails, &CThumbnailQueue::Progress, this, [this](int done, int total) {
        m_thumbnailProgress->setRange(0, std::max(total, 1));
        m_thumbnailProgress->setValue(done);
        m_thumbnailProgress->setVisible(done < total);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            &CContentListView::PrioritiseVisibleThumbnails);

    setModel(m_model);
    setItemDelegate(new CThumbnailDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setMouseTracking(true); // tooltips over every cell
    // Opening a row scrolls by pixels (the row comes to the top with a little of the one above).
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setIconSize(QSize(kThumbnailSize, kThumbnailSize));

    QPalette pal = palette();
    pal.setColor(QPalette::Base, BackgroundColor());
    pal.setColor(QPalette::Window, BackgroundColor());
    // The selection stays visible when the list loses the focus.
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kThumbnailSize + 4);
    QHeaderView *header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setStretchLastSection(false);
    for (int c = 0; c < 3; ++c)
        header->resizeSection(c, kColumnWidths[c]);

}

CContentListView::~CContentListView()
{
    CancelThumbnails();
}

QPixmap CContentListView::DefaultThumbnail()
{
    QPixmap pm = LoadSkinBitmap(IDB_THUMBNAIL_DEFAULT);
    if (pm.isNull()) {
        pm = QPixmap(kThumbnailSize, kThumbnailSize);
        pm.fill(QColor(128, 128, 128));
    }
    return pm;
}

int CContentListView::RowCount() const
{
    return m_model->rowCount();
}

bool CContentListView::IsThumbnailLoaded(int row) const
{
    return row >= 0 && row < RowCount() && !m_model->Row(row).thumbnail.isNull();
}

bool CContentListView::IsThumbnailPending(int row) const
{
    return row >= 0 && row < RowCount() && m_model->Row(row).pending;
}

QPixmap CContentListView::RowThumbnail(int row) const
{
    if (row < 0 || row >= RowCount())
        return {};
    const QPixmap &pm = m_model->Row(row).thumbnail;
    return pm.isNull() ? DefaultThumbnail() : pm;
}

void CContentListView::CancelThumbnails()
{
    m_thumbnails->Cancel();
    m_thumbnailProgress->hide();
}

void CContentListView::PrioritiseVisibleThumbnails()
{
    const int first = rowAt(0);
    if (first < 0)
        return;
    const int last = rowAt(viewport()->height() - 1);
    m_thumbnails->Prioritise(first, last < 0 ? RowCount() - 1 : last);
}

void CContentListView::PlaceThumbnailProgress()
{
    const QRect area = viewport()->rect();
    m_thumbnailProgress->setGeometry(area.left(), area.bottom() - 5, area.width(), 6);
}

void CContentListView::Clear()
{
    CancelThumbnails();
    m_model->Reset({});
    m_model->SetCurrent(m_model->Current(), -1);
}

void CContentListView::Fill()
{
    Clear();
    std::vector<CContentListModel::tagROW> rows;
    const int count = m_doc->Count();
    rows.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        CContentListModel::tagROW row;
        row.path = m_doc->MediaPathAt(i);
        rows.push_back(std::move(row));
    }
    m_model->Reset(std::move(rows));
    // Decoding starts once the rows are on screen, so that the workers never hold the list up.
    QTimer::singleShot(0, this, [this, rows = RowCount(), model = m_model->Generation()] {
        if (m_model->Generation() == model && RowCount() == rows)
            StartThumbnails();
    });
}

void CContentListView::StartThumbnails()
{
    const int count = RowCount();
    if (count == 0) {
        emit ThumbnailsFinished();
        return;
    }
    QStringList paths;
    paths.reserve(count);
    for (int row = 0; row < count; ++row)
        paths << m_model->Row(row).path;
    m_thumbnails->Start(paths);
    PlaceThumbnailProgress();
    PrioritiseVisibleThumbnails();
}

QList<int> CContentListView::SelectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CContentListView::SelectOnly(int row)
{
    clearSelection();
    if (row < 0 || row >= RowCount())
        return;
    const QModelIndex index = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool CContentListView::Open(int index)
{
    if (index < 0 || index >= RowCount())
        return false;
    emit OpenRequested(index);
    return CurrentRow() == index;
}

int CContentListView::CurrentRow() const
{
    return m_model->Current();
}

void CContentListView::CurrentRowMoved(int before, int after)
{
    m_model->SetCurrent(before, after);
}

void CContentListView::OnLayoutChanged(int multi, int count)
{
    (void)count;
    m_multi = multi;
}

void CContentListView::ShowOpened(int row)
{
    SelectOnly(row);
    verticalScrollBar()->setValue(
        std::max(0, rowViewportPosition(row) + verticalOffset() - kOpenScrollMargin));
    viewport()->repaint();
}

void CContentListView::ShowNoneOpened()
{
    clearSelection();
}

bool CContentListView::IsCommandEnabled(int id) const
{
    switch (id) {
    case ID_LIST_PLAY: {
        const QList<int> rows = SelectedRows();
        return !(m_multi != 0 && !rows.isEmpty() && rows.first() == CurrentRow());
    }
    case ID_LIST_SELECT_ALL:
    case ID_LIST_DESELECT_ALL:
    case ID_LIST_SAVE:
    case ID_LIST_DELETE: return true;
    default: return false;
    }
}

bool CContentListView::Command(int id)
{
    if (!IsCommandEnabled(id))
        return false;
    switch (id) {
    case ID_LIST_PLAY: OnPlay(); break;
    case ID_LIST_SELECT_ALL: OnSelectAll(); break;
    case ID_LIST_DESELECT_ALL: OnDeselectAll(); break;
    case ID_LIST_SAVE: OnSave(); break;
    case ID_LIST_DELETE: OnDelete(); break;
    default: return false;
    }
    return true;
}

std::unique_ptr<QMenu> CContentListView::CreateContextMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    for (const tagLISTMENUITEM &item : kListMenu) {
        QAction *action = menu->addAction(QString::fromLatin1(item.caption));
        action->setData(item.id);
        action->setEnabled(IsCommandEnabled(item.id));
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { Command(id); });
    }
    return menu;
}

void CContentListView::OnPlay()
{
    const QList<int> rows = SelectedRows();
    if (rows.size() != 1)
        return;
    emit PlayRequested(rows.first());
}

void CContentListView::OnSelectAll()
{
    const int count = RowCount();
    for (int row = 0; row < count; ++row) {
        selectionModel()->setCurrentIndex(m_model->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void CContentListView::OnDeselectAll()
{
    clearSelection();
    selectionModel()->clearCurrentIndex();
}

void CContentListView::OnSave()
{
    emit CopyRequested(SelectedRows());
}

void CContentListView::OnDelete()
{
    emit DeleteRequested(SelectedRows());
}

void CContentListView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const QList<int> rows = SelectedRows();
        if (rows.size() == 1)
            Open(rows.first());
        break;
    }
    case Qt::Key_Space:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Delete: emit GraphKey(event->key()); break;
    default: break;
    }
    QTableView::keyPressEvent(event);
}

void CContentListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QList<int> rows = SelectedRows();
    if (rows.size() == 1)
        Open(rows.first());
}

void CContentListView::mousePressEvent(QMouseEvent *event)
{
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::RightButton && !SelectedRows().isEmpty()) {
        std::unique_ptr<QMenu> menu = CreateContextMenu();
        menu->exec(event->globalPosition().toPoint());
    }
}

void CContentListView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    horizontalScrollBar()->setEnabled(false);
    horizontalScrollBar()->hide();
    PlaceThumbnailProgress();
    PrioritiseVisibleThumbnails();
}
