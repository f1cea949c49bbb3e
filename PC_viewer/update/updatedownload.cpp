// One update-client file transfer.
#include "update/updatedownload.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

CUpdateDownload::CUpdateDownload(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_network(network)
{
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, &CUpdateDownload::OnStalled);
}

CUpdateDownload::~CUpdateDownload()
{
    Abort();
}

void CUpdateDownload::Start(const QUrl &url, const QString &targetPath, int stallMs)
{
    Abort();
    m_data.clear();
    m_received = 0;
    m_writeFailed = false;
    emit Progress(0);
    if (!targetPath.isEmpty()) {
        m_file.setFileName(targetPath);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            // Reported from the event loop, as every other result is.
            QTimer::singleShot(0, this, [this] { emit Finished(kFileFailed); });
            return;
        }
    }
    Send(url, false, stallMs);
}

void CUpdateDownload::StartProbe(const QUrl &url, int stallMs)
{
    Abort();
    m_data.clear();
    m_received = 0;
    Send(url, true, stallMs);
}

void CUpdateDownload::Send(const QUrl &url, bool probe, int stallMs)
{
    QNetworkRequest request(url);
    // Always the server's current files, never a cached copy.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    m_probe = probe;
    m_reply = probe ? m_network->head(request) : m_network->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &CUpdateDownload::OnReadyRead);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &CUpdateDownload::OnProgress);
    connect(m_reply, &QNetworkReply::finished, this, &CUpdateDownload::OnFinished);
    m_stall.start(stallMs);
}

void CUpdateDownload::Abort()
{
    m_stall.stop();
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

void CUpdateDownload::OnReadyRead()
{
    m_stall.start();
    const QByteArray chunk = m_reply->readAll();
    m_received += chunk.size();
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

void CUpdateDownload::OnStalled()
{
    End(kStalled);
}

void CUpdateDownload::End(int result)
{
    m_stall.stop();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        if (result == kStalled)
            reply->abort();
        reply->deleteLater();
    }
    if (result == kSucceeded)
        m_file.close();
    else
        Discard();
    emit Finished(result);
}
