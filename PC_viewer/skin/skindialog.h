// Base of every dialog of the viewer: a frameless dialog with the skinned frame and caption
// buttons (no menu titles) that turns translucent while it is moved.
#pragma once

#include "skin/skincaption.h"

#include <QDialog>

class CSkinDialog : public QDialog
{
    Q_OBJECT

public:
    // `dialogId` names the dialog (100 about box, 108 "Processing...", ...).
    CSkinDialog(int dialogId, QWidget *parent);

    int DialogId() const { return m_nDialogId; }

    CSkinCaption &Caption() { return *m_pCaption; }
    const CSkinCaption &Caption() const { return *m_pCaption; }

    // Escape closes the dialog as its close button does, unless the dialog says otherwise (a
    // window that only shows the progress of work that goes on).
    void SetEscapeCloses(bool closes) { m_bEscapeCloses = closes; }
    bool EscapeCloses() const { return m_bEscapeCloses; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    int m_nDialogId;
    CSkinCaption *m_pCaption;
    bool m_bEscapeCloses = true;
};
