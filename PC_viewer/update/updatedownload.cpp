// One update-client file transfer.
#include "update/updatedownload.h"

#include "update/updateconst.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

bool IsAllowedServer(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = url.host();
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback();
}

bool IsSameOrigin(const QUrl &from, const QUrl &to)
{
    const int defaultPort = from.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80;
    return to.scheme().compare(from.scheme(), Qt::CaseInsensitive) == 0 &&
           to.host().compare(from.host(), Qt::CaseInsensitive) == 0 &&
           to.port(defaultPort) == from.port(defaultPort);
}

CUpdateDownload::CUpdateDownload(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_network(network)
{
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, [this] { End(kStalled); });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { End(kOverdue); });
}

CUpdateDownload::~CUpdateDownload()
{
    Abort();
}

void CUpdateDownload::Start(const QUrl &url, const QString &targetPath, const tagTRANSFERLIMITS &limits)
{
    Abort();
    m_data.clear();
    m_received = 0;
    m_writeFailed = false;
    emit Progress(0);
    if (!targetPath.isEmpty()) {
        m_file.setFileName(targetPath);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            EndLater(kFileFailed);
            return;
        }
    }
    Send(url, false, limits);
}

void CUpdateDownload::StartProbe(const QUrl &url, const tagTRANSFERLIMITS &limits)
{
    Abort();
    m_data.clear();
    m_received = 0;
    Send(url, true, limits);
}

void CUpdateDownload::Send(const QUrl &url, bool probe, const tagTRANSFERLIMITS &limits)
{
    if (!IsAllowedServer(url)) {
        Discard();
        EndLater(kRefused);
        return;
    }
    QNetworkRequest request(url);
    // Always the server's current files, never a cached copy.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // Every redirect is put to OnRedirected, which lets only those to the same server through.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    m_probe = probe;
    m_maxBytes = limits.maxBytes;
    m_reply = probe ? m_network->head(request) : m_network->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &CUpdateDownload::OnReadyRead);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &CUpdateDownload::OnMetaData);
    connect(m_reply, &QNetworkReply::redirected, this, &CUpdateDownload::OnRedirected);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &CUpdateDownload::OnProgress);
    connect(m_reply, &QNetworkReply::finished, this, &CUpdateDownload::OnFinished);
    m_stall.start(limits.stallMs);
    m_deadline.start(limits.deadlineMs);
}

void CUpdateDownload::Abort()
{
    m_stall.stop();
    m_deadline.stop();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    Discard();
}

void CUpdateDownload::Discard()
{
    if (m_file.isOpen()) {
        m_file.close();
        m_file.remove();
    }
}

void CUpdateDownload::OnMetaData()
{
    if (!m_reply || m_probe)
        return;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_maxBytes)
        End(kTooLarge);
}

void CUpdateDownload::OnRedirected(const QUrl &target)
{
    if (!m_reply)
        return;
    if (IsSameOrigin(m_reply->request().url(), m_reply->url().resolved(target)))
        emit m_reply->redirectAllowed();
    else
        End(kRefused);
}

void CUpdateDownload::OnReadyRead()
{
    if (!m_reply)
        return;
    m_stall.start();
    const QByteArray chunk = m_reply->readAll();
    m_received += chunk.size();
    // Whether or not a size was announced: a body is never taken beyond its limit.
    if (m_received > m_maxBytes) {
        End(kTooLarge);
        return;
    }
    if (m_file.isOpen()) {
        if (m_file.write(chunk) != chunk.size())
            m_writeFailed = true;
    } else {
        m_data += chunk;
    }
}

void CUpdateDownload::OnProgress(qint64 received, qint64 total)
{
    m_stall.start();
    // Without an announced size the bar stays where it is.
    if (total > 0)
        emit Progress(int(double(received) / double(total) * 100.0));
}

void CUpdateDownload::OnFinished()
{
    if (!m_reply)
        return;
    if (m_probe) {
        const bool answered = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        End(answered ? kSucceeded : kNetworkFailed);
        return;
    }
    OnReadyRead();
    if (!m_reply)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    const bool complete = !length.isValid() || length.toLongLong() == m_received;
    int result = kSucceeded;
    if (m_reply->error() != QNetworkReply::NoError || status != 200 || !complete)
        result = kNetworkFailed;
    else if (m_writeFailed || (m_file.isOpen() && !m_file.flush()))
        result = kFileFailed;
    End(result);
}

void CUpdateDownload::EndLater(int result)
{
    // Reported from the event loop, as every other result is.
    QTimer::singleShot(0, this, [this, result] { emit Finished(result); });
}

void CUpdateDownload::End(int result)
{
    m_stall.stop();
    m_deadline.stop();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        if (!reply->isFinished())
            reply->abort();
        reply->deleteLater();
    }
    if (result == kSucceeded)
        m_file.close();
    else
        Discard();
    emit Finished(result);
}
