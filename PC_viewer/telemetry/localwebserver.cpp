// The viewer's loopback web server.
#include "telemetry/localwebserver.h"

#include "telemetry/httprequest.h"
#include "telemetry/telemetryconst.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <future>

namespace {

constexpr int kThreadStartWaitMs = 5000;
constexpr int kThreadStopWaitMs = 5000;

QByteArray MakeSecret()
{
    quint32 words[kWebSecretBytes / sizeof(quint32)];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char *>(words), sizeof(words)).toHex();
}

const char *ReasonOf(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 421: return "Misdirected Request";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
    }
}

} // namespace

// Serves the files of one folder below a secret prefix; lives on CLocalWebServer's thread, where
// it and its connections are deleted.
class CStaticFileHttpServer final : public QTcpServer
{
public:
    CStaticFileHttpServer(const QString &root, const QByteArray &secret) : m_root(root), m_secret(secret)
    {
        connect(this, &QTcpServer::newConnection, this, &CStaticFileHttpServer::Accept);
    }

    const QString &Root() const { return m_root; }
    const QByteArray &Secret() const { return m_secret; }
    void Release() { --m_connections; }

private:
    void Accept();

    QString m_root;
    QByteArray m_secret;
    int m_connections = 0;
};

namespace {

// One client connection: reads one request head, answers it and closes. The answer to a GET is
// the file, read a chunk at a time whenever the socket has sent what it was given.
class CHttpConnection final : public QObject
{
public:
    CHttpConnection(QTcpSocket *socket, CStaticFileHttpServer *server)
        : QObject(server), m_socket(socket), m_server(server)
    {
        socket->setParent(this);
        // What the client sends beyond a request head waits in the system, not in memory.
        socket->setReadBufferSize(kWebRequestHeadMaxBytes);
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &CHttpConnection::Drop);
        connect(socket, &QTcpSocket::readyRead, this, &CHttpConnection::OnReadyRead);
        connect(socket, &QTcpSocket::bytesWritten, this, &CHttpConnection::OnBytesWritten);
        connect(socket, &QTcpSocket::disconnected, this, &CHttpConnection::Drop);
        connect(socket, &QTcpSocket::errorOccurred, this, &CHttpConnection::Drop);
        m_timer.start(kWebHeadTimeoutMs);
        OnReadyRead();
    }

    ~CHttpConnection() override
    {
        // Null while the server itself goes (and takes its connections with it).
        if (m_server)
            m_server->Release();
    }

private:
    enum class State {
        ReadingHead,
        Sending,   // the answer's head is written; m_remaining bytes of the file follow
        Closing,   // everything is written; the socket closes once it is sent
        Lingering, // input the request left unread is drained before the close
        Dropped,
    };

    void OnReadyRead()
    {
        if (m_state == State::Lingering) {
            // Closing with unread input would reset the connection before the client has read
            // the answer; what it still sends goes nowhere.
            while (m_socket->bytesAvailable() > 0)
                m_socket->skip(m_socket->bytesAvailable());
            return;
        }
        if (m_state != State::ReadingHead)
            return; // one request per connection: anything after it stays unread
        m_head += m_socket->read(kWebRequestHeadMaxBytes + 1 - m_head.size());
        const qsizetype end = HttpHeadEnd(m_head);
        if (end < 0) {
            if (m_head.size() > kWebRequestHeadMaxBytes)
                Answer(431, "Request head too large\n", true);
            return;
        }
        const bool unread = end < m_head.size() || m_socket->bytesAvailable() > 0;
        m_head.truncate(end);
        Handle(unread);
    }

    void Handle(bool unreadInput)
    {
        const tagHTTPANSWER answer =
            AnswerHttpRequest(m_head, unreadInput, m_server->Secret(), m_server->serverPort(), m_server->Root());
        if (answer.nStatus != 200) {
            Answer(answer.nStatus, answer.text, answer.bLinger, answer.bHeadOnly, answer.extraFields);
            return;
        }
        const QString &file = answer.strFile;
        const bool head = answer.bHeadOnly;
        const bool linger = answer.bLinger;
        auto f = std::make_unique<QFile>(file);
        if (!QFileInfo(file).isFile() || !f->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            Answer(404, "Not found\n", linger, head);
            return;
        }
        m_linger = linger;
        m_remaining = head ? 0 : f->size();
        // Pages are edited while the viewer runs; never let the browser keep an old copy. The
        // path carries the secret, so no other site learns it from a reference.
        WriteHead(200, CLocalWebServer::ContentTypeFor(file), f->size(),
                  "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n"
                  "Referrer-Policy: strict-origin-when-cross-origin\r\n");
        m_file = std::move(f);
        m_state = State::Sending;
        m_timer.start(kWebIdleTimeoutMs);
        Pump();
    }

    void WriteHead(int status, const QByteArray &type, qint64 length, const QByteArray &extra)
    {
        m_socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + ReasonOf(status) +
                        "\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(length) +
                        "\r\n" + extra + "Connection: close\r\n\r\n");
    }

    // A short text answer (its head alone to a HEAD request), then the close.
    void Answer(int status, const QByteArray &text, bool linger, bool headOnly = false,
                const QByteArray &extra = QByteArray())
    {
        WriteHead(status, "text/plain; charset=utf-8", text.size(), extra);
        if (!headOnly)
            m_socket->write(text);
        m_linger = linger;
        m_state = State::Sending;
        m_remaining = 0;
        m_timer.start(kWebIdleTimeoutMs);
        Pump();
    }

    void OnBytesWritten()
    {
        if (m_state != State::Sending && m_state != State::Closing)
            return;
        m_timer.start(kWebIdleTimeoutMs);
        Pump();
    }

    // Tops the socket's buffer up to one chunk; closes once the file has all gone out.
    void Pump()
    {
        if (m_state == State::Sending) {
            while (m_remaining > 0 && m_socket->bytesToWrite() < kWebChunkBytes) {
                const QByteArray chunk = m_file->read(qMin<qint64>(kWebChunkBytes, m_remaining));
                if (chunk.isEmpty()) {
                    // The file shrank or failed: the length promised cannot be kept, and the
                    // client must not take what it got for the whole.
                    Drop();
                    return;
                }
                m_socket->write(chunk);
                m_remaining -= chunk.size();
            }
            if (m_remaining > 0)
                return;
            m_file.reset();
            m_state = State::Closing;
        }
        if (m_state == State::Closing && m_socket->bytesToWrite() == 0) {
            if (m_linger) {
                m_state = State::Lingering;
                m_timer.start(kWebLingerMs);
                OnReadyRead();
            } else {
                m_state = State::Dropped;
                m_socket->disconnectFromHost();
                deleteLater();
            }
        }
    }

    void Drop()
    {
        if (m_state == State::Dropped)
            return;
        m_state = State::Dropped;
        m_timer.stop();
        m_socket->abort();
        deleteLater();
    }

    QTcpSocket *m_socket;
    QPointer<CStaticFileHttpServer> m_server;
    QByteArray m_head;
    std::unique_ptr<QFile> m_file;
    qint64 m_remaining = 0;
    bool m_linger = false;
    State m_state = State::ReadingHead;
    QTimer m_timer;
};

} // namespace

void CStaticFileHttpServer::Accept()
{
    while (QTcpSocket *socket = nextPendingConnection()) {
        if (m_connections >= kWebMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_connections;
        new CHttpConnection(socket, this);
    }
}

CLocalWebServer::CLocalWebServer(const QString &rootFolder) : m_root(rootFolder), m_secret(MakeSecret()) {}

CLocalWebServer::~CLocalWebServer()
{
    Stop();
}

bool CLocalWebServer::Start(quint16 port)
{
    Stop();
    m_error.clear();
    const QFileInfo root(m_root);
    if (m_root.isEmpty() || !root.isDir()) {
        m_error = QStringLiteral("The folder to serve does not exist: %1").arg(m_root);
        return false;
    }

    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("pellister-www"));
    m_thread->start();
    m_server = new CStaticFileHttpServer(root.canonicalFilePath(), m_secret);
    m_server->moveToThread(m_thread.get());

    // The listening socket must be created on the server's thread. The promise is shared so
    // that a listen that answers after the time-out writes into a live object.
    auto listened = std::make_shared<std::promise<quint16>>();
    std::future<quint16> result = listened->get_future();
    CStaticFileHttpServer *server = m_server;
    QMetaObject::invokeMethod(
        m_server,
        [server, port, listened] {
            listened->set_value(server->listen(QHostAddress(QHostAddress::LocalHost), port) ? server->serverPort()
                                                                                            : quint16(0));
        },
        Qt::QueuedConnection);
    if (result.wait_for(std::chrono::milliseconds(kThreadStartWaitMs)) != std::future_status::ready) {
        Stop();
        m_error = QStringLiteral("The web server did not start in time.");
        return false;
    }
    const quint16 bound = result.get();
    if (bound == 0) {
        Stop();
        m_error = QStringLiteral("Cannot listen on 127.0.0.1 port %1.").arg(port);
        return false;
    }
    m_port = bound;
    return true;
}

void CLocalWebServer::Stop()
{
    m_port = 0;
    if (!m_thread)
        return;
    if (m_server) {
        // Deleted on its own thread: by the running loop, or by the thread's final clean-up of
        // deferred deletions when the loop has already stopped.
        m_server->deleteLater();
        m_server = nullptr;
    }
    m_thread->quit();
    if (!m_thread->wait(kThreadStopWaitMs)) {
        // Destroying a running QThread aborts the program; let it go instead.
        qWarning("CLocalWebServer: the server thread did not stop; leaving it behind");
        (void)m_thread.release();
    }
    m_thread.reset();
}

QString CLocalWebServer::BaseUrl() const
{
    if (!IsRunning())
        return QString();
    return QStringLiteral("http://127.0.0.1:%1/%2/").arg(m_port).arg(QLatin1String(m_secret));
}

QString CLocalWebServer::ResolveRequestPath(const QString &rootFolder, const QString &decodedUrlPath)
{
    return ResolveHttpPath(rootFolder, decodedUrlPath);
}

QByteArray CLocalWebServer::ContentTypeFor(const QString &filePath)
{
    static const struct {
        const char *suffix;
        const char *type;
    } kTypes[] = {
        {"html", "text/html; charset=utf-8"},
        {"htm", "text/html; charset=utf-8"},
        {"js", "text/javascript; charset=utf-8"},
        {"mjs", "text/javascript; charset=utf-8"},
        {"css", "text/css; charset=utf-8"},
        {"json", "application/json"},
        {"map", "application/json"},
        {"svg", "image/svg+xml"},
        {"png", "image/png"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"ico", "image/x-icon"},
        {"webp", "image/webp"},
        {"txt", "text/plain; charset=utf-8"},
        {"xml", "application/xml"},
        {"gpx", "application/gpx+xml"},
        {"wasm", "application/wasm"},
    };
    const QString suffix = QFileInfo(filePath).suffix().toLower();
    for (const auto &t : kTypes) {
        if (suffix == QLatin1String(t.suffix))
            return QByteArray(t.type);
    }
    return QByteArrayLiteral("application/octet-stream");
}

QString CLocalWebServer::DefaultRootFolder()
{
    QStringList candidates;
    const QString fromEnv = qEnvironmentVariable("PELLISTER_WWW");
    if (!fromEnv.isEmpty())
        candidates << fromEnv;
    if (QCoreApplication::instance())
        candidates << RootFolderCandidates(QCoreApplication::applicationDirPath());
    for (const QString &c : candidates) {
        if (QFileInfo(c).isDir())
            return QDir(c).canonicalPath();
    }
    return QString();
}

QStringList CLocalWebServer::RootFolderCandidates(const QString &programFolder)
{
    // Installed: <prefix>/bin/Corvana and <prefix>/share/pellister/www. In the build tree the
    // programs lie one to three folders below its top, which has share/pellister/www too.
    QStringList candidates{programFolder + QStringLiteral("/www")};
    QString up = programFolder;
    for (int level = 0; level < 3; ++level) {
        up += QStringLiteral("/..");
        candidates << QDir::cleanPath(up + QStringLiteral("/share/pellister/www"));
    }
    return candidates;
}
