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
// Sequence: test the server's root address; fetch the version file into the program folder,
// read its first line (the newest version, normalised, e.g. "1.008") and its optional second
// line (the package's hash record), delete it; compare with the program's own version; when
// the server's is newer and the user agrees, fetch the hash record (unless the version file
// carried it), fetch the package as kLocalPackageFile, verify its size and SHA-256 and only
// then rename it to kUpdaterFileName. Downloaded() is 1 after that.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

#include "update/updatepackage.h"

class CUpdateDownload;
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
    void OnHashRecord(int result);
    void OnPackage(int result);
    void DownloadPackage();
    void Fail(const QString &message);
    void End();
    QUrl ServerFile(const char *path) const;

    IUpdateCheckHost *m_host;
    tagUPDATESETUP m_setup;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<CUpdateDownload> m_download;
    tagPACKAGEHASH m_hash;
    bool m_running = false;
    int m_downloaded = 0;
};
