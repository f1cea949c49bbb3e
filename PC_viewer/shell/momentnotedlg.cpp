// The note dialog.
#include "shell/momentnotedlg.h"

#include "catalogue/momentnotes.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CMomentNoteDialog::CMomentNoteDialog(const QString &moment, const QString &text, QWidget *parent)
    : CSkinDialog(kDialogId, parent), m_text(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Note on this moment"));
    setModal(true);
    auto *about = new QLabel(moment, this);
    about->setWordWrap(true);
    m_text->setMaxLength(kMaxMomentNoteLength);
    m_text->setText(text);
    m_text->setPlaceholderText(QStringLiteral("What happens here"));
    m_text->setObjectName(QStringLiteral("NoteText"));
    auto *hint = new QLabel(QStringLiteral("At most %1 characters. An empty note removes the note of this moment.")
                                .arg(kMaxMomentNoteLength),
                            this);
    hint->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(about);
    layout->addWidget(m_text);
    layout->addWidget(hint);
    layout->addWidget(buttons);
    setMinimumWidth(480);
}

QString CMomentNoteDialog::Text() const
{
    return m_text->text();
}
