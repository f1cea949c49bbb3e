// "Note on this moment...": the one line a driver writes about the moment on show, with the
// recording, frame and time it belongs to above it. OK with an empty line removes the note.
#pragma once

#include "skin/skindialog.h"

class QLineEdit;

class CMomentNoteDialog : public CSkinDialog
{
    Q_OBJECT
public:
    static constexpr int kDialogId = 161;

    // moment: what the note belongs to ("frame 12 of 20130512_083000N.mp4, ..."); text: the note
    // at that moment now ("" for none).
    CMomentNoteDialog(const QString &moment, const QString &text, QWidget *parent = nullptr);

    QString Text() const;
    QLineEdit *TextField() const { return m_text; }

private:
    QLineEdit *m_text;
};
