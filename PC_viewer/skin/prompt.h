// Every message box and folder chooser of the viewer goes through IPrompt, so that tests
// can read what the user would have been told and answer in the user's place.
//
// The viewer uses CurrentPrompt(); by default that shows real dialogs (CDialogPrompt).
// A test installs a CScriptedPrompt with CPromptScope.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

// Caption of every message box of the viewer.
inline constexpr char kPromptCaption[] = "Pellister - Info window";

enum class PromptButtons { Ok, YesNo };
enum class PromptAnswer { Ok, Yes, No };

// What the folder chooser returned: bChosen is false when the user cancelled; a chosen
// item may still have no file-system path (an empty path).
struct tagFOLDERCHOICE {
    bool bChosen = false;
    QString path;
};

class IPrompt
{
public:
    virtual ~IPrompt() = default;

    // A modal message box with the viewer's caption and the information icon. `topmost`
    // keeps it above every other window (used by the update messages).
    virtual PromptAnswer ShowMessage(QWidget *parent, const QString &text,
                                     PromptButtons buttons = PromptButtons::Ok, bool topmost = false) = 0;

    // A folder chooser (folders only) with `title` as its caption.
    virtual tagFOLDERCHOICE ChooseFolder(QWidget *parent, const QString &title,
                                         const QString &startFolder = QString()) = 0;
    // A chooser of one existing file matching `filter` ("GPS track (*.gpx)"), opened on
    // `startFolder`; a prompt that cannot choose files answers "cancelled".
    virtual tagFOLDERCHOICE ChooseOpenFile(QWidget *parent, const QString &title, const QString &filter,
                                           const QString &startFolder = QString())
    {
        (void)parent, (void)title, (void)filter, (void)startFolder;
        return {};
    }

    // Shorthands.
    void Info(QWidget *parent, const QString &text) { ShowMessage(parent, text); }
    bool AskYesNo(QWidget *parent, const QString &text)
    {
        return ShowMessage(parent, text, PromptButtons::YesNo) == PromptAnswer::Yes;
    }
    // The folder chooser of the save and export commands: a cancel answers "Fail to open the
    // folder.", a choice without a file-system path "Wrong folder."; only a usable folder
    // returns true, in *path.
    bool ChooseTargetFolder(QWidget *parent, const QString &title, QString *path);
};

// Real dialogs: QMessageBox and QFileDialog.
class CDialogPrompt : public IPrompt
{
public:
    PromptAnswer ShowMessage(QWidget *parent, const QString &text, PromptButtons buttons = PromptButtons::Ok,
                             bool topmost = false) override;
    tagFOLDERCHOICE ChooseFolder(QWidget *parent, const QString &title,
                                 const QString &startFolder = QString()) override;
    tagFOLDERCHOICE ChooseOpenFile(QWidget *parent, const QString &title, const QString &filter,
                                   const QString &startFolder = QString()) override;
};

// Records every message and answers Yes/No questions and folder and file choosers from queues
// (both choosers take from the one queue of QueueFolder). OK boxes take nothing from the queue.
// With an empty queue a question is answered No (nothing is deleted or overwritten by default)
// and a chooser "cancelled".
class CScriptedPrompt : public IPrompt
{
public:
    struct tagMESSAGE {
        QString text;
        PromptButtons buttons = PromptButtons::Ok;
        bool topmost = false;
    };

    PromptAnswer ShowMessage(QWidget *parent, const QString &text, PromptButtons buttons = PromptButtons::Ok,
                             bool topmost = false) override;
    tagFOLDERCHOICE ChooseFolder(QWidget *parent, const QString &title,
                                 const QString &startFolder = QString()) override;
    tagFOLDERCHOICE ChooseOpenFile(QWidget *parent, const QString &title, const QString &filter,
                                   const QString &startFolder = QString()) override;

    void QueueAnswer(PromptAnswer answer) { m_answers.append(answer); }
    void QueueFolder(const QString &path) { m_folders.append({true, path}); }
    void QueueFolderCancel() { m_folders.append({false, QString()}); }
    void QueueFolderChoice(const tagFOLDERCHOICE &choice) { m_folders.append(choice); }

    const QList<tagMESSAGE> &Messages() const { return m_messages; }
    QStringList MessageTexts() const;
    const QStringList &FolderTitles() const { return m_folderTitles; }
    int PendingAnswers() const { return static_cast<int>(m_answers.size()); }
    int PendingFolders() const { return static_cast<int>(m_folders.size()); }
    void Clear();

private:
    QList<PromptAnswer> m_answers;
    QList<tagFOLDERCHOICE> m_folders;
    QList<tagMESSAGE> m_messages;
    QStringList m_folderTitles;
};

// The prompt the viewer uses; never null.
IPrompt &CurrentPrompt();

// Replaces the prompt (null restores the real dialogs) and returns the previous one.
IPrompt *SetCurrentPrompt(IPrompt *prompt);

// Installs a prompt for the lifetime of the scope.
class CPromptScope
{
public:
    explicit CPromptScope(IPrompt &prompt) : m_pPrevious(SetCurrentPrompt(&prompt)) {}
    ~CPromptScope() { SetCurrentPrompt(m_pPrevious); }
    CPromptScope(const CPromptScope &) = delete;
    CPromptScope &operator=(const CPromptScope &) = delete;

private:
    IPrompt *m_pPrevious;
};
