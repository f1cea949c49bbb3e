// The recording list: rows, colours, tooltips and thumbnails, opening (with the fall-back when a
// clip cannot be played), keys, the context menu, and copying and deleting recordings.
#include "framefixture.h"

#include "catalogue/recordinfo.h"
#include "fixtures/readonlyfolder.h"
#include "fixtures/testfiles.h"
#include "skin/commandids.h"

#include <QAction>
#include "skin/progressviewer.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QSignalSpy>

#include <unistd.h>

using namespace frametest;

namespace {

constexpr int ID_LIST_PLAY = 32905;
constexpr int ID_LIST_SAVE = 32906;
constexpr int ID_LIST_DELETE = 32907;
constexpr int ID_LIST_SELECT_ALL = 32909;
constexpr int ID_LIST_DESELECT_ALL = 32910;

const char kDeleteQuestion[] = "The associated media and data files will be deleted. Are you sure you want "
                               "to delete \n selected contents?";

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file below a folder, relative to it, sorted.
QStringList FilesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

void SelectRows(CContentListView *list, const QList<int> &rows)
{
    list->clearSelection();
    for (int row : rows)
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void PressKey(QWidget *widget, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
}

class ListTest : public FrameTest
{
protected:
    QVariant Cell(int row, int column, int role = Qt::DisplayRole) const
    {
        return m_list->model()->data(m_list->model()->index(row, column), role);
    }
    QColor Background(int row) const { return Cell(row, 1, Qt::BackgroundRole).value<QColor>(); }
};

} // namespace

TEST_F(ListTest, RowsShowTypeAndStartTimeOrFileNameInTheDocumentsOrder)
{
    CTestCard card({{QStringLiteral("20130512_083010E.avi"), ClipKind::Avi, QStringLiteral("083010.250")},
                    {QStringLiteral("x.avi"), ClipKind::Avi, QString()},
                    {QStringLiteral("20130512_083000N.mp4"), ClipKind::Mp4, QStringLiteral("083000.000")}});
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    ASSERT_EQ(m_list->RowCount(), 3);

    const QAbstractItemModel *model = m_list->model();
    ASSERT_EQ(model->columnCount(), 3);
    const char *const titles[3] = {"IMG", "Rec-Type", "Contents List"};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), QString::fromLatin1(titles[c]));
        EXPECT_EQ(m_list->columnWidth(c), CContentListView::kColumnWidths[c]);
    }
    EXPECT_EQ(m_list->columnWidth(0), 41);
    EXPECT_EQ(m_list->columnWidth(1), 85);
    EXPECT_EQ(m_list->columnWidth(2), 230);
    EXPECT_FALSE(m_list->horizontalHeader()->sectionsClickable());
    EXPECT_EQ(m_list->horizontalHeader()->sectionResizeMode(2), QHeaderView::Fixed);

    const char *const types[3] = {"Ordinary", "Event", "Unknown"};
    const char *const texts[3] = {"2013/05/12 - 08:30:00.000", "2013/05/12 - 08:30:10.250",
                                  "File name : x.avi"};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(Cell(row, 1).toString(), QString::fromLatin1(types[row]));
        EXPECT_EQ(Cell(row, 2).toString(), QString::fromLatin1(texts[row]));
        EXPECT_FALSE(Cell(row, 0).isValid()) << "the image column has no text";
        EXPECT_EQ(Cell(row, 2, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        const QFont font = Cell(row, 2, Qt::FontRole).value<QFont>();
        EXPECT_EQ(font.family(), QStringLiteral("Arial"));
        EXPECT_EQ(font.pixelSize(), 15);
        EXPECT_TRUE(font.bold());
        EXPECT_EQ(Cell(row, 2, Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
    }
}

TEST_F(ListTest, RowColoursMarkTheCurrentRecordingAndAlternate)
{
    std::vector<tagTESTCLIP> clips = ThreeRecordings();
    clips.push_back({QStringLiteral("20130512_083030N.avi"), ClipKind::Avi, QStringLiteral("083030.000")});
    CTestCard card(clips);
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    for (int current : {-1, 2, 1}) {
        SCOPED_TRACE(current);
        if (current >= 0) {
            ASSERT_TRUE(OpenRow(current));
        }
        for (int row = 0; row < 4; ++row) {
            const QColor expected = row == current ? QColor(255, 255, 0)
                                    : row % 2 == 0 ? QColor(192, 224, 240)
                                                   : QColor(224, 244, 244);
            EXPECT_EQ(Background(row), expected) << "row " << row;
        }
    }
    EXPECT_EQ(m_list->palette().color(QPalette::Base), QColor(244, 244, 244));
}

TEST_F(ListTest, TooltipIsTheMediaPathCutTo79Characters)
{
    const QString deep =
        QStringLiteral("a-rather-long-folder-name-for-the-tooltip/and-another-one-below-it/");
    CTestCard card(
        {{deep + QStringLiteral("20130512_083000N.avi"), ClipKind::Avi, QStringLiteral("083000.000")}});
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    const QString path = m_doc->MediaPathAt(0);
    ASSERT_GT(path.size(), 79);
    for (int column = 0; column < 3; ++column)
        EXPECT_EQ(Cell(0, column, Qt::ToolTipRole).toString(), path.left(79));
}

TEST_F(ListTest, ThumbnailsArriveForClipsAndTheDefaultStaysForOthers)
{
    CTestCard card({{QStringLiteral("20130512_083000N.mp4"), ClipKind::Mp4, QStringLiteral("083000.000")},
                    {QStringLiteral("20130512_083010N.avi"), ClipKind::Broken, QStringLiteral("083010.000")},
                    {QStringLiteral("20130512_083020N.avi"), ClipKind::Avi, QStringLiteral("083020.000")}});
    ASSERT_TRUE(card.IsValid());
    QSignalSpy finished(m_list, &CContentListView::ThumbnailsFinished);
    LoadCard(card);
    // Rows are there at once, each with a picture (the default one until its thumbnail arrives).
    ASSERT_EQ(m_list->RowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_FALSE(Cell(row, 0, Qt::DecorationRole).value<QPixmap>().isNull());

    ASSERT_TRUE(WaitFor([&] { return finished.count() > 0; }));
    const QImage fallback = CContentListView::DefaultThumbnail().toImage();
    for (int row : {0, 2}) {
        SCOPED_TRACE(row);
        EXPECT_TRUE(m_list->IsThumbnailLoaded(row));
        EXPECT_FALSE(m_list->IsThumbnailPending(row));
        const QPixmap pm = Cell(row, 0, Qt::DecorationRole).value<QPixmap>();
        EXPECT_EQ(pm.size(), QSize(32, 32));
        EXPECT_NE(pm.toImage(), fallback);
    }
    EXPECT_FALSE(m_list->IsThumbnailLoaded(1));
    EXPECT_FALSE(m_list->IsThumbnailPending(1));
    EXPECT_EQ(Cell(1, 0, Qt::DecorationRole).value<QPixmap>().toImage(), fallback);
}

TEST_F(ListTest, AClipThatCannotPlayFallsBackToThePreviousRecordingOrToNone)
{
    CTestCard card(
        {{QStringLiteral("20130512_083000N.avi"), ClipKind::Avi, QStringLiteral("083000.000")},
         {QStringLiteral("20130512_083010N.avi"), ClipKind::Broken, QStringLiteral("083010.000")}});
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);

    // Nothing played before: nothing stays current.
    m_prompt.Clear();
    EXPECT_FALSE(OpenRow(1));
    EXPECT_EQ(m_prompt.MessageTexts(), QStringList{QStringLiteral("This media file is unable to play.")});
    EXPECT_EQ(m_ctl->CurrentIndex(), -1);
    EXPECT_TRUE(m_ctl->MediaPath().isEmpty());
    EXPECT_TRUE(m_list->SelectedRows().isEmpty());
    EXPECT_FALSE(m_frame->ProgressViewer()->isVisible());

    // A recording played before comes back.
    ASSERT_TRUE(OpenRow(0));
    m_frame->Command(ID_MEDIA_FRAME_FORWARD);
    m_prompt.Clear();
    EXPECT_FALSE(OpenRow(1));
    EXPECT_EQ(m_prompt.MessageTexts(), QStringList{QStringLiteral("This media file is unable to play.")});
    EXPECT_EQ(m_ctl->CurrentIndex(), 0);
    EXPECT_EQ(m_ctl->MediaPath(), m_doc->MediaPathAt(0));
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);
    EXPECT_EQ(m_list->SelectedRows(), QList<int>{0});
    EXPECT_EQ(Background(0), QColor(255, 255, 0));
}

TEST_F(ListTest, EnterAndDoubleClickOpenOnlyASingleSelectedRow)
{
    CTestCard card(ThreeRecordings());
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);

    SelectRows(m_list, {0, 2});
    PressKey(m_list, Qt::Key_Return);
    EXPECT_EQ(m_ctl->CurrentIndex(), -1);

    SelectRows(m_list, {2});
    PressKey(m_list, Qt::Key_Return);
    EXPECT_EQ(m_ctl->CurrentIndex(), 2);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);

    const QRect cell = m_list->visualRect(m_list->model()->index(1, 2));
    QMouseEvent press(QEvent::MouseButtonPress, cell.center(), m_list->viewport()->mapToGlobal(cell.center()),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_list->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, cell.center(),
                        m_list->viewport()->mapToGlobal(cell.center()), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(m_list->viewport(), &release);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, cell.center(),
                    m_list->viewport()->mapToGlobal(cell.center()), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(m_list->viewport(), &dbl);
    EXPECT_EQ(m_ctl->CurrentIndex(), 1);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused) << "a double click opens without playing";
}

TEST_F(ListTest, OpeningARowScrollsItToTheTop)
{
    std::vector<tagTESTCLIP> clips;
    for (int i = 0; i < 30; ++i)
        clips.push_back({QStringLiteral("20130512_0830%1N.avi").arg(i, 2, 10, QLatin1Char('0')),
                         ClipKind::Avi, QStringLiteral("0830%1.000").arg(i, 2, 10, QLatin1Char('0'))});
    CTestCard card(clips);
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    ASSERT_TRUE(OpenRow(15));
    // The row is at the top, with six pixels of the row above it still in view.
    EXPECT_EQ(m_list->visualRect(m_list->model()->index(15, 1)).top(), 6);
    EXPECT_EQ(m_list->SelectedRows(), QList<int>{15});
    EXPECT_EQ(m_list->currentIndex().row(), 15);
    ASSERT_TRUE(OpenRow(0));
    EXPECT_EQ(m_list->visualRect(m_list->model()->index(0, 1)).top(), 0);
}

TEST_F(ListTest, DeleteKeyDeletesNothing)
{
    CTestCard card(ThreeRecordings());
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    const QStringList before = FilesBelow(card.Path());
    SelectRows(m_list, {0, 1});
    m_prompt.QueueAnswer(PromptAnswer::Yes);
    PressKey(m_list, Qt::Key_Delete);
    EXPECT_EQ(FilesBelow(card.Path()), before);
    EXPECT_TRUE(m_prompt.Messages().isEmpty());
    EXPECT_EQ(m_prompt.PendingAnswers(), 1);
}

TEST_F(ListTest, ContextMenuItemsAndSelection)
{
    CTestCard card(ThreeRecordings());
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    std::unique_ptr<QMenu> menu = m_list->CreateContextMenu();
    QStringList items;
    for (QAction *a : menu->actions())
        items << a->text() + QStringLiteral(" #") + QString::number(a->data().toInt());
    EXPECT_EQ(items, (QStringList{QStringLiteral("Play #32905"), QStringLiteral("Select all #32909"),
                                  QStringLiteral("Deselect all #32910"), QStringLiteral("Save #32906"),
                                  QStringLiteral("Delete #32907")}));

    ASSERT_TRUE(m_list->Command(ID_LIST_SELECT_ALL));
    EXPECT_EQ(m_list->SelectedRows(), (QList<int>{0, 1, 2}));
    EXPECT_EQ(m_list->currentIndex().row(), 2);
    // "Play" needs exactly one selected row.
    m_list->Command(ID_LIST_PLAY);
    EXPECT_EQ(m_ctl->CurrentIndex(), -1);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Empty);

    ASSERT_TRUE(m_list->Command(ID_LIST_DESELECT_ALL));
    EXPECT_TRUE(m_list->SelectedRows().isEmpty());

    // "Play" on one row opens it and plays forward, even after reverse play.
    m_ctl->SetRate(-2.0);
    SelectRows(m_list, {1});
    ASSERT_TRUE(m_list->Command(ID_LIST_PLAY));
    EXPECT_EQ(m_ctl->CurrentIndex(), 1);
    EXPECT_DOUBLE_EQ(m_ctl->GetRate(), 2.0);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Running);
    m_ctl->Pause();
}

class CopyTest : public ListTest
{
protected:
    void SetUp() override
    {
        ListTest::SetUp();
        std::vector<tagTESTCLIP> clips = ThreeRecordings();
        clips.push_back({QStringLiteral("nodata.avi"), ClipKind::Avi, QString()});
        m_card = std::make_unique<CTestCard>(clips);
        ASSERT_TRUE(m_card->IsValid());
        LoadCard(*m_card);
        ASSERT_EQ(m_list->RowCount(), 4);
        ASSERT_TRUE(m_dest.isValid());
    }

    // Copies the selected rows into `dest`, answering the folder chooser.
    QStringList Save(const QList<int> &rows, const QString &dest)
    {
        SelectRows(m_list, rows);
        m_prompt.Clear();
        m_prompt.QueueFolder(dest);
        m_list->Command(ID_LIST_SAVE);
        return m_prompt.MessageTexts();
    }

    std::unique_ptr<CTestCard> m_card;
    QTemporaryDir m_dest;
};

TEST_F(CopyTest, CopiesClipsWithTheirDataFiles)
{
    std::vector<int> progress;
    QObject::connect(m_frame, &CMainFrame::ProgressChanged, [&](int p) { progress.push_back(p); });
    EXPECT_EQ(Save({0, 1, 3}, m_dest.path()), QStringList{QStringLiteral("Success to copy the contents.")});
    EXPECT_EQ(m_prompt.FolderTitles(),
              QStringList{QStringLiteral("Specify the destination folder to copy data.")});
    EXPECT_EQ(progress, (std::vector<int>{0, 0, 33, 66}));
    EXPECT_EQ(FilesBelow(m_dest.path()),
              (QStringList{QStringLiteral("20130512_083000N.mp4"), QStringLiteral("20130512_083010N.avi"),
                           QStringLiteral("data/20130512_083000N.dat"),
                           QStringLiteral("data/20130512_083010N.dat"), QStringLiteral("nodata.avi")}));
    for (int row : {0, 1}) {
        const QString media = m_doc->MediaPathAt(row);
        const QString data = m_doc->DataPathAt(row);
        EXPECT_EQ(ReadAll(m_dest.filePath(FileNameOfPath(media))), ReadAll(media));
        EXPECT_EQ(ReadAll(m_dest.filePath(QStringLiteral("data/") + FileNameOfPath(data))), ReadAll(data));
    }
}

TEST_F(CopyTest, ChooserCancelledOrWithoutPathCopiesNothing)
{
    for (const tagFOLDERCHOICE &choice :
         {tagFOLDERCHOICE{false, QString()}, tagFOLDERCHOICE{true, QString()}}) {
        SelectRows(m_list, {0});
        m_prompt.Clear();
        m_prompt.QueueFolderChoice(choice);
        m_list->Command(ID_LIST_SAVE);
        EXPECT_EQ(m_prompt.MessageTexts(),
                  QStringList{choice.bChosen ? QStringLiteral("Wrong folder.")
                                             : QStringLiteral("Fail to open the folder.")});
    }
    EXPECT_TRUE(FilesBelow(m_dest.path()).isEmpty());
}

TEST_F(CopyTest, AnExistingTargetIsReportedKeptAndTheOthersAreCopied)
{
    const QString existing = m_dest.filePath(FileNameOfPath(m_doc->MediaPathAt(1)));
    ASSERT_TRUE(testfiles::Write(existing, "the user's own file"));
    const QStringList messages = Save({0, 1, 2}, m_dest.path());
    EXPECT_EQ(messages, QStringList{QStringLiteral("An error occured in copying the media filename \n[") +
                                    m_doc->MediaPathAt(1) + QStringLiteral("]\n.")});
    EXPECT_EQ(ReadAll(existing), QByteArray("the user's own file"));
    EXPECT_EQ(ReadAll(m_dest.filePath(FileNameOfPath(m_doc->MediaPathAt(2)))),
              ReadAll(m_doc->MediaPathAt(2)));
    // Its data file was not copied either: the pair stays together.
    EXPECT_FALSE(
        QFileInfo::exists(m_dest.filePath(QStringLiteral("data/") + FileNameOfPath(m_doc->DataPathAt(1)))));
    // No temporary file is left behind.
    for (const QString &f : FilesBelow(m_dest.path()))
        EXPECT_FALSE(f.contains(QStringLiteral(".part"))) << f.toStdString();

    // An existing data file is reported with its own message and kept too.
    const QString dataTarget =
        m_dest.filePath(QStringLiteral("data/") + FileNameOfPath(m_doc->DataPathAt(0)));
    QFile::remove(m_dest.filePath(FileNameOfPath(m_doc->MediaPathAt(0))));
    ASSERT_TRUE(testfiles::Write(dataTarget, "older data"));
    EXPECT_EQ(Save({0}, m_dest.path()),
              QStringList{QStringLiteral("An error occured in copying the data filename \n") +
                          m_doc->DataPathAt(0) + QStringLiteral("\n.")});
    EXPECT_EQ(ReadAll(dataTarget), QByteArray("older data"));
}

TEST_F(CopyTest, ADataFolderThatCannotBeMadeIsReported)
{
    // A file named "data" stands where the folder would go (fails for every user, root included).
    ASSERT_TRUE(testfiles::Write(m_dest.filePath(QStringLiteral("data")), "not a folder"));
    const QStringList messages = Save({0, 3}, m_dest.path());
    EXPECT_EQ(messages, QStringList{QStringLiteral("Fail to create the \n") + m_dest.path() +
                                    QStringLiteral("/data\n directory.")});
    EXPECT_TRUE(QFileInfo::exists(m_dest.filePath(QStringLiteral("nodata.avi"))));
}

TEST_F(CopyTest, AReadOnlyFolderReportsEveryClipAndKeepsNoPartialFile)
{
    QStringList messages;
    {
        const testfiles::ReadOnlyFolder readOnly(m_dest.path());
        ASSERT_TRUE(readOnly.Held());
        messages = Save({0, 1}, m_dest.path());
    }
    ASSERT_EQ(messages.size(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(messages[i], QStringLiteral("An error occured in copying the media filename \n[") +
                                   m_doc->MediaPathAt(i) + QStringLiteral("]\n."));
    EXPECT_TRUE(FilesBelow(m_dest.path()).isEmpty());
}

TEST(CopyFileNoOverwrite, NeverReplacesAndNeverLeavesAPartialTarget)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    QByteArray bytes;
    for (int i = 0; i < 3 * 1024 * 1024 + 17; ++i) // more than one copy buffer
        bytes.append(static_cast<char>(i * 31));
    ASSERT_TRUE(testfiles::Write(source, bytes));

    const QString target = dir.filePath(QStringLiteral("target.bin"));
    ASSERT_TRUE(CRecordingActions::CopyFileNoOverwrite(source, target));
    EXPECT_EQ(ReadAll(target), bytes);
    EXPECT_EQ(QFileInfo(target).lastModified(), QFileInfo(source).lastModified());

    ASSERT_TRUE(testfiles::Write(target, "keep me"));
    EXPECT_FALSE(CRecordingActions::CopyFileNoOverwrite(source, target));
    EXPECT_EQ(ReadAll(target), QByteArray("keep me"));

    EXPECT_FALSE(CRecordingActions::CopyFileNoOverwrite(dir.filePath(QStringLiteral("missing")),
                                                       dir.filePath(QStringLiteral("other.bin"))));
    EXPECT_FALSE(
        CRecordingActions::CopyFileNoOverwrite(source, dir.filePath(QStringLiteral("no/such/folder/x"))));
    EXPECT_EQ(FilesBelow(dir.path()),
              (QStringList{QStringLiteral("source.bin"), QStringLiteral("target.bin")}));
}

class DeleteTest : public CopyTest
{
protected:
    QStringList Delete(const QList<int> &rows, PromptAnswer answer = PromptAnswer::Yes)
    {
        SelectRows(m_list, rows);
        m_prompt.Clear();
        m_prompt.QueueAnswer(answer);
        m_list->Command(ID_LIST_DELETE);
        return m_prompt.MessageTexts();
    }
};

TEST_F(DeleteTest, AnsweringNoDeletesNothing)
{
    const QStringList before = FilesBelow(m_card->Path());
    EXPECT_EQ(Delete({0, 1}, PromptAnswer::No), QStringList{QString::fromLatin1(kDeleteQuestion)});
    EXPECT_EQ(m_prompt.Messages().first().buttons, PromptButtons::YesNo);
    EXPECT_EQ(FilesBelow(m_card->Path()), before);
    EXPECT_EQ(m_list->RowCount(), 4);
}

TEST_F(DeleteTest, DeletingTheCurrentRecordingClosesIt)
{
    ASSERT_TRUE(OpenRow(1));
    const QString media = m_doc->MediaPathAt(1);
    const QString data = m_doc->DataPathAt(1);
    EXPECT_EQ(Delete({1}), (QStringList{QString::fromLatin1(kDeleteQuestion),
                                        QStringLiteral("Success to delete the contents.")}));
    EXPECT_FALSE(QFileInfo::exists(media));
    EXPECT_FALSE(QFileInfo::exists(data));
    EXPECT_EQ(m_ctl->CurrentIndex(), -1);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Empty);
    EXPECT_EQ(m_list->RowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_NE(Background(row), QColor(255, 255, 0));
}

TEST_F(DeleteTest, DeletingOtherRowsKeepsTheCurrentRecordingAtItsPosition)
{
    ASSERT_TRUE(OpenRow(2));
    const QString current = m_doc->MediaPathAt(2);
    for (int i = 0; i < 5; ++i)
        m_frame->Command(ID_MEDIA_FRAME_FORWARD);
    ASSERT_EQ(m_ctl->Position(), 5);
    std::vector<int> progress;
    QObject::connect(m_frame, &CMainFrame::ProgressChanged, [&](int p) {
        if (progress.size() < 3)
            progress.push_back(p);
    });

    const QString gone0 = m_doc->MediaPathAt(0);
    const QString gone1 = m_doc->DataPathAt(1);
    EXPECT_EQ(Delete({0, 1}).value(1), QStringLiteral("Success to delete the contents."));
    EXPECT_EQ(progress, (std::vector<int>{0, 0, 50}));
    EXPECT_FALSE(QFileInfo::exists(gone0));
    EXPECT_FALSE(QFileInfo::exists(gone1));
    ASSERT_EQ(m_list->RowCount(), 2);
    ASSERT_GE(m_ctl->CurrentIndex(), 0);
    EXPECT_EQ(m_doc->MediaPathAt(m_ctl->CurrentIndex()), current);
    EXPECT_EQ(m_ctl->Position(), 5);
    EXPECT_EQ(ShownFrame(), 5);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Paused);
    EXPECT_EQ(Background(m_ctl->CurrentIndex()), QColor(255, 255, 0));
}

TEST_F(DeleteTest, AClipThatCannotBeDeletedKeepsItsDataFile)
{
    // The clip vanished behind the viewer's back: removing it fails for every user.
    const QString media = m_doc->MediaPathAt(0);
    const QString data = m_doc->DataPathAt(0);
    ASSERT_TRUE(QFile::remove(media));
    const QStringList messages = Delete({0, 1});
    EXPECT_EQ(messages, (QStringList{QString::fromLatin1(kDeleteQuestion),
                                     QStringLiteral("An error occured in deleting the media filename \n[") +
                                         media + QStringLiteral("]\n.")}));
    EXPECT_TRUE(QFileInfo::exists(data)) << "a data file is only deleted with its clip";
    EXPECT_FALSE(QFileInfo::exists(m_card->ClipFile(QStringLiteral("20130512_083010N.avi"))));
}

TEST_F(DeleteTest, ACurrentClipWhoseDeleteFailsStaysOpen)
{
    ASSERT_TRUE(OpenRow(0));
    m_frame->Command(ID_MEDIA_FRAME_FORWARD);
    const QString media = m_doc->MediaPathAt(0);
    QStringList messages;
    {
        const testfiles::ReadOnlyFolder readOnly(QFileInfo(media).path());
        ASSERT_TRUE(readOnly.Held());
        messages = Delete({0});
    }
    EXPECT_EQ(messages.value(1), QStringLiteral("An error occured in deleting the media filename \n[") +
                                     media + QStringLiteral("]\n."));
    EXPECT_EQ(m_ctl->MediaPath(), media);
    EXPECT_EQ(m_ctl->Position(), 1);
}

// A card changed behind the viewer's back: a clip and its data file became links to the user's
// own files. Delete removes nothing there, and Copy writes nothing through a link named data.
TEST_F(DeleteTest, NothingOutsideTheLoadedFolderIsDeletedOrWrittenThrough)
{
    QTemporaryDir elsewhere;
    ASSERT_EQ(0, symlink(QFile::encodeName(elsewhere.path()).constData(),
                         QFile::encodeName(m_dest.filePath(QStringLiteral("data"))).constData()));
    ASSERT_FALSE(m_doc->DataPathAt(0).isEmpty());
    EXPECT_EQ(Save({0}, m_dest.path()), QStringList{QStringLiteral("Fail to create the \n") + m_dest.path() +
                                                    QStringLiteral("/data\n directory.")});
    EXPECT_TRUE(FilesBelow(elsewhere.path()).isEmpty());

    // A recording in a subfolder, whose folder then becomes a link to the user's own files.
    const QString card = m_card->Path();
    const QString name = FileNameOfPath(m_doc->MediaPathAt(0));
    const QString dataName = FileNameOfPath(m_doc->DataPathAt(0));
    ASSERT_TRUE(QDir(card).mkpath(QStringLiteral("trip/data")));
    ASSERT_TRUE(QFile::rename(m_doc->MediaPathAt(0), card + QStringLiteral("/trip/") + name));
    ASSERT_TRUE(QFile::rename(m_doc->DataPathAt(0), card + QStringLiteral("/trip/data/") + dataName));
    LoadCard(*m_card);
    ASSERT_TRUE(m_doc->MediaPathAt(0).contains(QStringLiteral("/trip/")));
    QTemporaryDir outside;
    const QString mine = outside.filePath(QStringLiteral("mine"));
    ASSERT_TRUE(QDir().rename(card + QStringLiteral("/trip"), mine));
    ASSERT_EQ(0, symlink(QFile::encodeName(mine).constData(), QFile::encodeName(card + QStringLiteral("/trip")).constData()));
    EXPECT_EQ(Delete({0}).value(1), QStringLiteral("An error occured in deleting the media filename \n[") +
                                          card + QStringLiteral("/trip/") + name + QStringLiteral("]\n."));
    EXPECT_EQ(FilesBelow(mine), (QStringList{name, QStringLiteral("data/") + dataName}));
    // Reloaded, the catalogue no longer lists what the link leads to.
    EXPECT_EQ(m_list->RowCount(), 3);
}

TEST_F(ListTest, ARecordingOfTwoCamerasIsCopiedAndDeletedWhole)
{
    CTestCard card({{QStringLiteral("DCIM/Movie/2024_0315_081500_0001F.mp4"), ClipKind::Mp4, QString()},
                    {QStringLiteral("DCIM/Movie/2024_0315_081500_0002R.avi"), ClipKind::Avi, QString()},
                    {QStringLiteral("DCIM/Movie/2024_0315_081600_0003F.mp4"), ClipKind::Mp4, QString()}});
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    ASSERT_EQ(m_list->RowCount(), 2);
    ASSERT_EQ(m_doc->ClipsAt(0).ChannelList(), QStringLiteral("front+rear"));
    QTemporaryDir dest;
    ASSERT_TRUE(dest.isValid());
    SelectRows(m_list, {0});
    m_prompt.Clear();
    m_prompt.QueueFolder(dest.path());
    m_list->Command(ID_LIST_SAVE);
    EXPECT_EQ(m_prompt.MessageTexts(), QStringList{QStringLiteral("Success to copy the contents.")});
    EXPECT_EQ(FilesBelow(dest.path()), (QStringList{QStringLiteral("2024_0315_081500_0001F.mp4"),
                                                    QStringLiteral("2024_0315_081500_0002R.avi")}));
    SelectRows(m_list, {0});
    m_prompt.Clear();
    m_prompt.QueueAnswer(PromptAnswer::Yes);
    m_list->Command(ID_LIST_DELETE);
    EXPECT_EQ(FilesBelow(card.Path()), QStringList{QStringLiteral("DCIM/Movie/2024_0315_081600_0003F.mp4")});
    EXPECT_EQ(m_list->RowCount(), 1);
}
