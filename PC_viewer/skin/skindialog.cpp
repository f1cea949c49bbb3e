// Skinned dialog base.
#include "skin/skindialog.h"

#include <QKeyEvent>
#include <QPushButton>

CSkinDialog::CSkinDialog(int dialogId, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_nDialogId(dialogId),
      m_pCaption(new CSkinCaption(this, CSkinCaption::Kind::Dialog))
{
}

void CSkinDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape closes the dialog the way its close button does (closeEvent, then reject); Enter
    // and Alt+F4 do not end it behind the user's back.
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        if (m_bEscapeCloses && event->modifiers() == Qt::NoModifier)
            close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter: event->accept(); return;
    case Qt::Key_F4:
        if (event->modifiers() & Qt::AltModifier) {
            event->accept();
            return;
        }
        break;
    default: break;
    }
    QDialog::keyPressEvent(event);
}

void CSkinDialog::showEvent(QShowEvent *event)
{
    // Push buttons of a QDialog press themselves on Enter (default and auto-default);
    // here Enter presses nothing, so no button may claim it.
    for (QPushButton *button : findChildren<QPushButton *>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    QDialog::showEvent(event);
}
