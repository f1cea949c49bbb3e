// The small "Processing..." window with one progress bar that long operations on the user
// interface thread (folder load, copy, delete, layout changes) move from 0 to 100.
#pragma once

#include "skin/skindialog.h"

class QLabel;
class QProgressBar;
class QPushButton;

class CProgressViewer : public CSkinDialog
{
    Q_OBJECT

public:
    static constexpr int kDialogId = 108;

    explicit CProgressViewer(QWidget *parent = nullptr);

    // Sets the bar (clamped to 0..100; 0 is shown as 1 so that the bar never looks idle
    // while work runs) and repaints it at once: the caller keeps the event loop busy.
    void SetProgress(int position);
    void SetPos(int position) { SetProgress(position); }

    // Shows the window centred over its parent and waits (briefly) until it is on screen,
    // so that the first positions are seen even when no event is processed afterwards.
    void ShowProgress();

    int Position() const;
    QProgressBar *ProgressCtrl() const { return m_pProgress; }

    // For work that can stop (an export): the percentage beside the bar and a Cancel button,
    // which (like Escape) asks once for the work to stop.
    void EnableCancel();
    bool CancelRequested() const { return m_bCancelRequested; }
    QPushButton *CancelButton() const { return m_pCancel; }

signals:
    void Cancelled();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // With Cancel shown, the close button asks the work to stop; the window goes when it has.
    void closeEvent(QCloseEvent *event) override;

private:
    void RequestCancel();

    QProgressBar *m_pProgress;
    QLabel *m_pPercent = nullptr;
    QPushButton *m_pCancel = nullptr;
    bool m_bCancelRequested = false;
};
