// CUpdateCheck: the update client's check and download, from the connection test to the
// installed updater program, without any window.
//
// Design: everything runs on the thread that owns the object (the user-interface thread), as a
// chain of asynchronous Qt Network replies; no worker thread exists, so Cancel never has to
// stop one from outside, and no state is shared between threads. The owner (the update
// dialog, or a test) is the host: it shows the status texts, the progress and the messages,
// answers the question, and is told when the check has ended. The check owns its network
// access manager and its one running transfer (CUpdateDownload).
//
// Sequence: refuse a server address that is neither https nor loopback http; test the server's
// root address; fetch the version file (at most kMaxRecordBytes) into the program folder, read
// and delete it; parse it as a signed update record and verify its signature with the release
// key (updaterecord.h) -- a record that fails either is refused, before anything else; compare
// its four-part version with the program's own; when it is newer and the user agrees, fetch the
// package as kLocalPackageFile (never more bytes than the record names), check its size and
// SHA-256 against the record and only then rename it to kUpdaterFileName. Downloaded() is 1
// after that. Every transfer has a stall limit and a deadline, and follows redirects only to
// the same server.
#pragma once

#include "update/updatedownload.h"
#include "update/updaterecord.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;

class IUpdateCheckHost
{
public:
    virtual ~IUpdateCheckHost() = default;
    virtual void SetStatus(const QString &text) = 0;
    virtual void SetProgress(int percent) = 0;
    // A message box (the viewer's caption, information icon, topmost).
    virtual void Tell(const QString &text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool Ask(const QString &text) = 0;
    // The check has ended (successfully or not); Downloaded() tells which.
    virtual void CheckEnded() = 0;
};

struct tagUPDATESETUP {
    QString programFolder;   // the program's folder, with a trailing separator
    QUrl server;             // the vendor web server's base address
    QString ownVersion;      // four-part "FileVersion"; empty: the program's own
    int stallMs = 0;         // 0: the default limit
    int deadlineMs = 0;      // every transfer's deadline; 0: the defaults
    QByteArray releaseKey;   // raw Ed25519 public key (32 bytes); empty: the release key built in
    bool reportWhenCurrent = true;
};

class CUpdateCheck : public QObject
{
    Q_OBJECT
public:
    CUpdateCheck(IUpdateCheckHost *host, const tagUPDATESETUP &setup, QObject *parent = nullptr);
    ~CUpdateCheck() override;

    void Start();
    // Ends a running transfer at once and deletes the local version file and package (and the
    // updater program this check installed, since no restart will follow). The running
    // program file is never touched.
    void Cancel();

    bool IsRunning() const { return m_running; }
    int Downloaded() const { return m_downloaded; }

    QString LocalVersionPath() const;
    QString LocalPackagePath() const;
    QString UpdaterPath() const;

private:
    void OnRootAnswered(int result);
    void OnVersionFile(int result);
    void OnPackage(int result);
    void Fail(const QString &message);
    void End();
    QUrl ServerFile(const char *path) const;
    tagTRANSFERLIMITS Limits(int defaultDeadlineMs, qint64 maxBytes) const;

    IUpdateCheckHost *m_host;
    tagUPDATESETUP m_setup;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<CUpdateDownload> m_download;
    tagUPDATERECORD m_record;
    bool m_running = false;
    int m_downloaded = 0;
};
