// The update client's check and download.
#include "update/updatecheck.h"

#include "update/updateconst.h"
#include "update/updatedownload.h"
#include "update/versionrules.h"

#include <QFile>
#include <QNetworkAccessManager>

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

tagTRANSFERLIMITS CUpdateCheck::Limits(int defaultDeadlineMs, qint64 maxBytes) const
{
    tagTRANSFERLIMITS limits;
    limits.stallMs = m_setup.stallMs;
    limits.deadlineMs = m_setup.deadlineMs > 0 ? m_setup.deadlineMs : defaultDeadlineMs;
    limits.maxBytes = maxBytes;
    return limits;
}

void CUpdateCheck::Start()
{
    m_running = true;
    m_downloaded = 0;
    m_record = tagUPDATERECORD();
    // Plain http beyond this machine could be read and answered by anyone on the way.
    if (!IsAllowedServer(m_setup.server)) {
        Fail(Text(kMsgCannotCheck));
        return;
    }
    // The connection test: any HTTP answer from the server's root means it can be reached.
    connect(m_download.get(), &CUpdateDownload::Finished, this, &CUpdateCheck::OnRootAnswered,
            Qt::SingleShotConnection);
    m_download->StartProbe(ServerFile(""), Limits(kDefaultSmallFileDeadlineMs, 0));
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
    m_download->Start(ServerFile(kVersionFilePath), LocalVersionPath(),
                      Limits(kDefaultSmallFileDeadlineMs, kMaxRecordBytes));
}

void CUpdateCheck::OnVersionFile(int result)
{
    if (result < 0) {
        Fail(Text(kMsgCannotCheck));
        return;
    }
    QFile file(LocalVersionPath());
    if (!file.open(QIODevice::ReadOnly)) {
        m_host->Tell(Text(kMsgFileReadError).arg(LocalVersionPath()));
        End();
        return;
    }
    const QByteArray bytes = file.read(kMaxRecordBytes + 1);
    file.close();
    file.remove();

    // Nothing the server says is used before its signature has been checked.
    const QByteArray key = m_setup.releaseKey.isEmpty() ? ReleasePublicKey() : m_setup.releaseKey;
    if (!ParseUpdateRecord(bytes, &m_record) || !VerifyUpdateRecord(m_record, key)) {
        m_record = tagUPDATERECORD();
        Fail(Text(kMsgCannotCheck));
        return;
    }
    // A signed record of an earlier release (a downgrade, or a replay of an old one) is no update.
    if (!IsVersionNewer(m_record.version, m_setup.ownVersion)) {
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
    connect(m_download.get(), &CUpdateDownload::Finished, this, &CUpdateCheck::OnPackage,
            Qt::SingleShotConnection);
    m_download->Start(ServerFile(kPackagePath), LocalPackagePath(),
                      Limits(kDefaultPackageDeadlineMs, m_record.package.size));
}

void CUpdateCheck::OnPackage(int result)
{
    if (result < 0 || !PackageMatches(LocalPackagePath(), m_record.package) ||
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
