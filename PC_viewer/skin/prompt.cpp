// Message boxes and folder chooser.
#include "skin/prompt.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace {

CDialogPrompt g_dialogPrompt;
IPrompt *g_prompt = nullptr;

} // namespace

PromptAnswer CDialogPrompt::ShowMessage(QWidget *parent, const QString &text, PromptButtons buttons,
                                        bool topmost)
{
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kPromptCaption), text,
                    buttons == PromptButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No)
                                                    : QMessageBox::StandardButtons(QMessageBox::Ok),
                    parent);
    // Texts carry file names; they are never read as markup.
    box.setTextFormat(Qt::PlainText);
    if (buttons == PromptButtons::YesNo) {
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    }
    if (topmost)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const int result = box.exec();
    if (buttons == PromptButtons::Ok)
        return PromptAnswer::Ok;
    return result == QMessageBox::Yes ? PromptAnswer::Yes : PromptAnswer::No;
}

tagFOLDERCHOICE CDialogPrompt::ChooseFolder(QWidget *parent, const QString &title, const QString &startFolder)
{
    const QString path = QFileDialog::getExistingDirectory(
        parent, title, startFolder, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    tagFOLDERCHOICE choice;
    choice.bChosen = !path.isEmpty();
    choice.path = path.isEmpty() ? QString() : QDir::cleanPath(path);
    return choice;
}

tagFOLDERCHOICE CDialogPrompt::ChooseOpenFile(QWidget *parent, const QString &title, const QString &filter,
                                              const QString &startFolder)
{
    const QString path = QFileDialog::getOpenFileName(parent, title, startFolder, filter);
    tagFOLDERCHOICE choice;
    choice.bChosen = !path.isEmpty();
    choice.path = path;
    return choice;
}

PromptAnswer CScriptedPrompt::ShowMessage(QWidget *, const QString &text, PromptButtons buttons, bool topmost)
{
    m_messages.append({text, buttons, topmost});
    // An OK box has nothing to decide, so it leaves the queued answers to the questions.
    if (buttons == PromptButtons::Ok)
        return PromptAnswer::Ok;
    if (m_answers.isEmpty())
        return PromptAnswer::No;
    return m_answers.takeFirst() == PromptAnswer::Yes ? PromptAnswer::Yes : PromptAnswer::No;
}

tagFOLDERCHOICE CScriptedPrompt::ChooseFolder(QWidget *, const QString &title, const QString &)
{
    m_folderTitles.append(title);
    if (m_folders.isEmpty())
        return {};
    return m_folders.takeFirst();
}

tagFOLDERCHOICE CScriptedPrompt::ChooseOpenFile(QWidget *parent, const QString &title, const QString &,
                                                const QString &)
{
    return ChooseFolder(parent, title);
}

QStringList CScriptedPrompt::MessageTexts() const
{
    QStringList texts;
    for (const tagMESSAGE &m : m_messages)
        texts.append(m.text);
    return texts;
}

void CScriptedPrompt::Clear()
{
    m_answers.clear();
    m_folders.clear();
    m_messages.clear();
    m_folderTitles.clear();
}

IPrompt &CurrentPrompt()
{
    return g_prompt ? *g_prompt : g_dialogPrompt;
}

IPrompt *SetCurrentPrompt(IPrompt *prompt)
{
    IPrompt *previous = g_prompt;
    g_prompt = prompt;
    return previous;
}

bool IPrompt::ChooseTargetFolder(QWidget *parent, const QString &title, QString *path)
{
    const tagFOLDERCHOICE choice = ChooseFolder(parent, title);
    if (!choice.bChosen) {
        Info(parent, QStringLiteral("Fail to open the folder."));
        return false;
    }
    if (choice.path.isEmpty()) {
        Info(parent, QStringLiteral("Wrong folder."));
        return false;
    }
    *path = choice.path;
    return true;
}
