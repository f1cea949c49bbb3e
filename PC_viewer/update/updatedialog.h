// CUpdateDialog, "Pellister - Updater" (dialog 111): runs the update check (CUpdateCheck) with
// a status text and a progress bar, and ends by itself: with OK once the verified updater
// program is in place, otherwise through Cancel. Cancel at any moment ends the transfer and
// removes the local files.
//
// Timers: the refresh timer (1100, 1 ms) copies the status text into the label after every
// change; the end timer (1000, 100 ms) ends the dialog after the check has ended.
#pragma once

#include "skin/skindialog.h"
#include "update/updatecheck.h"

#include <QString>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;

class CUpdateDialog : public CSkinDialog, public IUpdateCheckHost
{
    Q_OBJECT
public:
    CUpdateDialog(const tagUPDATESETUP &setup, QWidget *parent = nullptr);
    ~CUpdateDialog() override;

    // IUpdateCheckHost: a non-empty text replaces the status text; both restart the refresh.
    void SetStatus(const QString &text) override;
    void SetProgress(int percent) override;
    void Tell(const QString &text) override;
    bool Ask(const QString &text) override;
    void CheckEnded() override;

    QString StatusText() const { return m_strStatus; }
    QString ShownStatus() const;
    int Progress() const;
    int Downloaded() const { return m_check.Downloaded(); }
    const CUpdateCheck &Check() const { return m_check; }
    QPushButton *CancelButton() const { return m_pCancel; }

public slots:
    // The Cancel button, the close box and the end timer when nothing was downloaded.
    void reject() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void OnEndTimer();

    CUpdateCheck m_check;
    QString m_strStatus;
    QLabel *m_pStatus;
    QProgressBar *m_pProgress;
    QPushButton *m_pOk;
    QPushButton *m_pCancel;
    QTimer m_refreshTimer;
    QTimer m_endTimer;
    bool m_bStarted = false;
};
