// CUpdateDownload: one file transfer of the update client (the version file, the package) over
// Qt Network, asynchronous on the thread that owns it.
//
// Data is written to the target file as it arrives; progress is reported in percent whenever
// the server has announced a size. The transfer fails (a negative result, the partial file
// deleted) on a network error, an HTTP status other than 200, fewer bytes than announced, a
// file that cannot be written, when nothing arrives for the stall limit, when it has not ended
// by its deadline (a server that drips one byte at a time), as soon as more than its byte limit
// is announced or has arrived, and on a redirect to another scheme, host or port. A server
// address must be https, or http on the loopback interface; any other is refused before a
// connection is made. Abort ends a transfer at once and deletes the partial file; no result is
// reported then.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

struct tagTRANSFERLIMITS {
    int stallMs = 0;       // nothing arrives for this long: failed
    int deadlineMs = 0;    // not ended after this long: failed
    qint64 maxBytes = 0;   // more than this announced or arrived: failed at once
};

// True for an address the update client may talk to: https, or http to a loopback address
// ("localhost", 127.0.0.0/8, ::1). Plain http elsewhere could be read and changed on the way.
bool IsAllowedServer(const QUrl &url);

// True when `to` has the scheme, host and port of `from` (a redirect that may be followed).
bool IsSameOrigin(const QUrl &from, const QUrl &to);

class CUpdateDownload : public QObject
{
    Q_OBJECT
public:
    enum Result {
        kSucceeded = 0,
        kNetworkFailed = -1, // no answer, an error answer or a short body
        kStalled = -2,       // nothing arrived for the stall limit
        kFileFailed = -3,    // the target file could not be written
        kTooLarge = -4,      // more than the byte limit was announced or arrived
        kRefused = -5,       // a server address or a redirect that is not allowed
        kOverdue = -6,       // the deadline passed
    };

    CUpdateDownload(QNetworkAccessManager *network, QObject *parent = nullptr);
    ~CUpdateDownload() override;

    // Starts the transfer of `url` into `targetPath` (an empty path keeps the data in memory,
    // for Data()). A running transfer is aborted first.
    void Start(const QUrl &url, const QString &targetPath, const tagTRANSFERLIMITS &limits);
    // Asks for the headers of `url` only: succeeds on any HTTP answer, whatever its status (the
    // server can be reached), fails when none comes.
    void StartProbe(const QUrl &url, const tagTRANSFERLIMITS &limits);
    void Abort();
    bool IsRunning() const { return !m_reply.isNull(); }

    QByteArray Data() const { return m_data; }
    qint64 Received() const { return m_received; }

signals:
    void Progress(int percent);
    void Finished(int result);

private:
    void OnReadyRead();
    void OnMetaData();
    void OnRedirected(const QUrl &target);
    void OnProgress(qint64 received, qint64 total);
    void OnFinished();
    void Send(const QUrl &url, bool probe, const tagTRANSFERLIMITS &limits);
    void EndLater(int result);
    void End(int result);
    void Discard();

    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    QTimer m_stall;
    QTimer m_deadline;
    QFile m_file;
    QByteArray m_data;
    qint64 m_received = 0;
    qint64 m_maxBytes = 0;
    bool m_writeFailed = false;
    bool m_probe = false;
};
