// The update client's check and download.
#include "update/updatecheck.h"

#include "update/updateconst.h"
#include "update/updatedownload.h"
#include "update/versionrules.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QTextStream>

namespace {

QString Text(const char *s)
{
    return QString::fromLatin1(s);
}

} // namespace

CUpdateCheck::CUpdateCheck(IUpdateCheckHost *host, const tagUPDATESETUP &setup, QObject *parent)
    : QObject(parent), m_host(host), m_setup(setup), m_network(std::make_unique<QNetworkAccessManager>()),
      m_download(std::make_unique<CUpdateDownload>(m_network.get()))
{
    if (m_setup.stallMs <= 0)
        m_setup.stallMs = kDefaultStallMs;
    if (m_setup.ownVersion.isEmpty())
        m_setup.ownVersion = GetOwnVersionString(QStringLiteral("FileVersion"));
    connect(m_download.get(), &CUpdateDownload::Progress, this, [this](int percent) { m_host->SetProgress(percent); });
}

CUpdateCheck::~CUpdateCheck()
{
    if (m_running)
        Cancel();
}

QString CUpdateCheck::LocalVersionPath() const
{
    return m_setup.programFolder + Text(kLocalVersionFile);
}

QString CUpdateCheck::LocalPackagePath() const
{
    return m_setup.programFolder + Text(kLocalPackageFile);
}

QString CUpdateCheck::UpdaterPath() const
{
    return m_setup.programFolder + Text(kUpdaterFileName);
}

QUrl CUpdateCheck::ServerFile(const char *path) const
{
    QUrl base = m_setup.server;
    if (!base.path().endsWith(QLatin1Char('/')))
        base.setPath(base.path() + QLatin1Char('/'));
    return base.resolved(QUrl(Text(path)));
}

void CUpdateCheck::Start()
{
    m_running = true;
    m_downloaded = 0;
    m_hash = tagPACKAGEHASH();
    // The connection test: any HTTP answer from the server's root means it can be reached.
    connect(m_download.get(), &CUpdateDownload::Finished, this, &CUpdateCheck::OnRootAnswered,
            Qt::SingleShotConnection);
    m_download->StartProbe(ServerFile(""), m_setup.stallMs);
}

void CUpdateCheck::OnRootAnswered(int result)
{
    if (result < 0) {
        m_host->SetStatus(Text(kStatusNotConnected));
        End();
        return;
    }
    m_host->SetStatus(Text(kStatusConnected));
    connect(m_download.get(), &CUpdateDownload::Finished, this, &CUpdateCheck::OnVersionFile,
            Qt::SingleShotConnection);
    m_download->Start(ServerFile(kVersionFilePath), LocalVersionPath(), m_setup.stallMs);
}

void CUpdateCheck::OnVersionFile(int result)
{
    if (result < 0) {
        Fail(Text(kMsgCannotCheck));
        return;
    }
    QFile file(LocalVersionPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_host->Tell(Text(kMsgFileReadError).arg(LocalVersionPath()));
        End();
        return;
    }
    QTextStream in(&file);
    const QString serverVersion = in.readLine();
    const QString hashLine = in.readLine();
    file.close();
    file.remove();

    if (!IsServerVersionNewer(serverVersion, m_setup.ownVersion)) {
        if (m_setup.reportWhenCurrent)
            m_host->Tell(Text(kMsgMostRecent));
        End();
        return;
    }
    if (!m_host->Ask(Text(kMsgAskUpdate)) || !m_running) {
        End();
        return;
    }
    m_host->SetStatus(Text(kStatusDownloading));
    m_hash = ParsePackageHash(hashLine);
    if (m_hash.IsValid()) {
        DownloadPackage();
        return;
    }
    connect(m_download.get(), &CUpdateDownload::Finished, this, &CUpdateCheck::OnHashRecord,
            Qt::SingleShotConnection);
    m_download->Start(ServerFile(kPackageHashPath), QString(), m_setup.stallMs);
}

void CUpdateCheck::OnHashRecord(int result)
{
    if (result >= 0)
        m_hash = ParsePackageHash(QString::fromLatin1(m_download->Data()));
    // Without a usable record nothing downloaded could be trusted.
    if (!m_hash.IsValid()) {
        Fail(Text(kMsgDownloadFailed));
        return;
    }
    DownloadPackage();
}

void CUpdateCheck::DownloadPackage()
{
    connect(m_download.get(), &CUpdateDownload::Finished, this, &CUpdateCheck::OnPackage,
            Qt::SingleShotConnection);
    m_download->Start(ServerFile(kPackagePath), LocalPackagePath(), m_setup.stallMs);
}

void CUpdateCheck::OnPackage(int result)
{
    if (result < 0 || !PackageMatches(LocalPackagePath(), m_hash) ||
        !InstallPackage(LocalPackagePath(), UpdaterPath())) {
        QFile::remove(LocalPackagePath());
        Fail(Text(kMsgDownloadFailed));
        return;
    }
    m_downloaded = 1;
    End();
}

void CUpdateCheck::Fail(const QString &message)
{
    m_host->Tell(message);
    End();
}

void CUpdateCheck::End()
{
    if (!m_running)
        return;
    m_running = false;
    m_host->CheckEnded();
}

void CUpdateCheck::Cancel()
{
    m_running = false;
    disconnect(m_download.get(), &CUpdateDownload::Finished, this, nullptr);
    m_download->Abort();
    QFile::remove(LocalVersionPath());
    QFile::remove(LocalPackagePath());
    if (m_downloaded) {
        QFile::remove(UpdaterPath());
        m_downloaded = 0;
    }
}
