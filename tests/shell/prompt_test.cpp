// The prompt interface: the scripted prompt tests rely on, and the real dialogs behind it.
#include "skin/prompt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

TEST(ScriptedPromptTest, RecordsMessagesAndAnswersQuestionsInOrder)
{
    CScriptedPrompt prompt;
    prompt.QueueAnswer(PromptAnswer::Yes);
    prompt.QueueAnswer(PromptAnswer::No);

    // An OK box in between takes nothing from the queue.
    EXPECT_EQ(prompt.ShowMessage(nullptr, QStringLiteral("first"), PromptButtons::Ok, false),
              PromptAnswer::Ok);
    EXPECT_TRUE(prompt.AskYesNo(nullptr, QStringLiteral("second")));
    prompt.Info(nullptr, QStringLiteral("third"));
    EXPECT_FALSE(prompt.AskYesNo(nullptr, QStringLiteral("fourth")));
    // Nothing queued: a question is answered No, so nothing is deleted by accident.
    EXPECT_EQ(prompt.ShowMessage(nullptr, QStringLiteral("fifth"), PromptButtons::YesNo, true),
              PromptAnswer::No);

    EXPECT_EQ(prompt.MessageTexts(),
              QStringList({QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third"),
                           QStringLiteral("fourth"), QStringLiteral("fifth")}));
    ASSERT_EQ(prompt.Messages().size(), 5);
    EXPECT_EQ(prompt.Messages()[1].buttons, PromptButtons::YesNo);
    EXPECT_EQ(prompt.Messages()[2].buttons, PromptButtons::Ok);
    EXPECT_TRUE(prompt.Messages()[4].topmost);
    EXPECT_FALSE(prompt.Messages()[0].topmost);
    EXPECT_EQ(prompt.PendingAnswers(), 0);
}

TEST(ScriptedPromptTest, FolderChoicesComeFromTheQueueThenCancel)
{
    CScriptedPrompt prompt;
    prompt.QueueFolder(QStringLiteral("/media/card"));
    prompt.QueueFolderCancel();
    prompt.QueueFolderChoice({true, QString()}); // chosen, but not a file-system folder

    const tagFOLDERCHOICE a = prompt.ChooseFolder(nullptr, QStringLiteral("Specify the loading folder."));
    const tagFOLDERCHOICE b = prompt.ChooseFolder(nullptr, QStringLiteral("second"));
    const tagFOLDERCHOICE c = prompt.ChooseFolder(nullptr, QStringLiteral("third"));
    const tagFOLDERCHOICE d = prompt.ChooseFolder(nullptr, QStringLiteral("fourth"));
    EXPECT_TRUE(a.bChosen);
    EXPECT_EQ(a.path, QStringLiteral("/media/card"));
    EXPECT_FALSE(b.bChosen);
    EXPECT_TRUE(c.bChosen);
    EXPECT_TRUE(c.path.isEmpty());
    EXPECT_FALSE(d.bChosen);
    EXPECT_EQ(prompt.FolderTitles(),
              QStringList({QStringLiteral("Specify the loading folder."), QStringLiteral("second"),
                           QStringLiteral("third"), QStringLiteral("fourth")}));
    EXPECT_TRUE(prompt.MessageTexts().isEmpty());
}

TEST(ScriptedPromptTest, ScopeInstallsAndRestoresThePrompt)
{
    IPrompt *before = &CurrentPrompt();
    EXPECT_NE(dynamic_cast<CDialogPrompt *>(before), nullptr);
    {
        CScriptedPrompt outer;
        CPromptScope outerScope(outer);
        EXPECT_EQ(&CurrentPrompt(), &outer);
        {
            CScriptedPrompt inner;
            CPromptScope innerScope(inner);
            CurrentPrompt().Info(nullptr, QStringLiteral("to inner"));
            EXPECT_EQ(inner.MessageTexts(), QStringList(QStringLiteral("to inner")));
        }
        EXPECT_EQ(&CurrentPrompt(), &outer);
        EXPECT_TRUE(outer.MessageTexts().isEmpty());
    }
    EXPECT_EQ(&CurrentPrompt(), before);
}

// ---------------------------------------------------------------------------------------
// The real dialogs, answered from inside their own event loop.

// Runs `answer` on the first modal widget of type T that appears. One that never appears is a
// failure after 10 s, and whatever modal widget is up then is closed, so the test cannot hang.
template <typename T> void AnswerNextModal(std::function<void(T *)> answer)
{
    auto *poll = new QTimer;
    poll->setInterval(5);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, answer, ticks] {
        if (T *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        } else if (++*ticks > 2000) {
            poll->stop();
            poll->deleteLater();
            ADD_FAILURE() << "the dialog did not appear";
            if (QWidget *other = QApplication::activeModalWidget())
                other->close();
        }
    });
    poll->start();
}

struct tagSEEN {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format = Qt::AutoText;
    bool topmost = false;
};

TEST(DialogPromptTest, MessageBoxHasTheViewerCaptionAndIcon)
{
    const struct {
        PromptButtons buttons;
        bool topmost;
        QMessageBox::StandardButton press;
        QMessageBox::StandardButtons expectedButtons;
        PromptAnswer expected;
    } cases[] = {
        {PromptButtons::Ok, false, QMessageBox::Ok, QMessageBox::Ok, PromptAnswer::Ok},
        {PromptButtons::YesNo, false, QMessageBox::Yes, QMessageBox::Yes | QMessageBox::No,
         PromptAnswer::Yes},
        {PromptButtons::YesNo, true, QMessageBox::No, QMessageBox::Yes | QMessageBox::No, PromptAnswer::No},
    };
    // A file name with markup characters must show as it is.
    const QString text = QStringLiteral("Delete <b>clip</b> 2024_01.avi?\nsecond line");
    for (const auto &c : cases) {
        tagSEEN seen;
        AnswerNextModal<QMessageBox>([&seen, &c](QMessageBox *box) {
            seen = {box->windowTitle(), box->text(),
                    box->icon(),        box->standardButtons(),
                    box->textFormat(),  bool(box->windowFlags() & Qt::WindowStaysOnTopHint)};
            box->button(c.press)->click();
        });
        CDialogPrompt prompt;
        EXPECT_EQ(prompt.ShowMessage(nullptr, text, c.buttons, c.topmost), c.expected);
        EXPECT_EQ(seen.caption, QStringLiteral("Pellister - Info window"));
        EXPECT_EQ(seen.text, text);
        EXPECT_EQ(seen.icon, QMessageBox::Information);
        EXPECT_EQ(seen.buttons, c.expectedButtons);
        EXPECT_EQ(seen.format, Qt::PlainText);
        EXPECT_EQ(seen.topmost, c.topmost);
    }
}

TEST(DialogPromptTest, FolderChooserReportsCancelAndChoice)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    CDialogPrompt prompt;

    QString title;
    AnswerNextModal<QFileDialog>([&title](QFileDialog *dialog) {
        title = dialog->windowTitle();
        dialog->reject();
    });
    const tagFOLDERCHOICE cancelled =
        prompt.ChooseFolder(nullptr, QStringLiteral("Specify the loading folder."), folder.path());
    EXPECT_FALSE(cancelled.bChosen);
    EXPECT_EQ(title, QStringLiteral("Specify the loading folder."));

    // The folder is typed into the name field, as a user may do. Selecting it through the dialog's
    // list would race with the list's loading, which runs on a thread of its own and, when it
    // arrives, can leave the parent folder as the choice.
    bool typed = false;
    AnswerNextModal<QFileDialog>([&folder, &typed](QFileDialog *dialog) {
        dialog->setDirectory(folder.path());
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
            name->setText(folder.path());
            typed = true;
        }
        static_cast<QDialog *>(dialog)->accept();
    });
    const tagFOLDERCHOICE chosen =
        prompt.ChooseFolder(nullptr, QStringLiteral("Specify the folder to save the data."), folder.path());
    ASSERT_TRUE(typed) << "the dialog has no name field";
    EXPECT_TRUE(chosen.bChosen);
    EXPECT_EQ(QFileInfo(chosen.path).canonicalFilePath(), QFileInfo(folder.path()).canonicalFilePath());
}

} // namespace
