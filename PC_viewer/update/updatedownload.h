// CUpdateDownload: one file transfer of the update client (the version file, the package's
// hash record, the package) over Qt Network, asynchronous on the thread that owns it.
//
// Data is written to the target file as it arrives; progress is reported in percent whenever
// the server has announced a size. The transfer fails (a negative result, the partial file
// deleted) on a network error, an HTTP status other than 200, fewer bytes than announced, a
// file that cannot be written, or when nothing arrives for the stall limit. Abort ends it at
// once and deletes the partial file; no result is reported then.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

class CUpdateDownload : public QObject
{
    Q_OBJECT
public:
    enum Result {
        kSucceeded = 0,
        kNetworkFailed = -1, // no answer, an error answer or a short body
        kStalled = -2,       // nothing arrived for the stall limit
        kFileFailed = -3,    // the target file could not be written
    };

    CUpdateDownload(QNetworkAccessManager *network, QObject *parent = nullptr);
    ~CUpdateDownload() override;

    // Starts the transfer of `url` into `targetPath` (an empty path keeps the data in memory,
    // for Data()). A running transfer is aborted first.
    void Start(const QUrl &url, const QString &targetPath, int stallMs);
    // Asks for the headers of `url` only: succeeds on any HTTP answer, whatever its status (the
    // server can be reached), fails when none comes.
    void StartProbe(const QUrl &url, int stallMs);
    void Abort();
    bool IsRunning() const { return !m_reply.isNull(); }

    QByteArray Data() const { return m_data; }
    qint64 Received() const { return m_received; }

signals:
    void Progress(int percent);
    void Finished(int result);

private:
    void OnReadyRead();
    void OnProgress(qint64 received, qint64 total);
    void OnFinished();
    void OnStalled();
    void Send(const QUrl &url, bool probe, int stallMs);
    void End(int result);
    void Discard();

    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    QTimer m_stall;
    QFile m_file;
    QByteArray m_data;
    qint64 m_received = 0;
    bool m_writeFailed = false;
    bool m_probe = false;
};
