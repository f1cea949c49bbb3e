// The viewer's loopback web server.
#include "telemetry/localwebserver.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QThread>
#include <QUrl>
#include <chrono>
#include <future>

namespace {

constexpr int kThreadStartWaitMs = 5000;
constexpr int kThreadStopWaitMs = 5000;

using Status = QHttpServerResponder::StatusCode;

} // namespace

// Answers GET and HEAD with the files of one folder; lives on CLocalWebServer's thread.
class CStaticFileHttpServer final : public QAbstractHttpServer
{
public:
    explicit CStaticFileHttpServer(const QString &root) : m_root(root) {}

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        QHttpServerResponder responder = makeResponder(request, socket);
        const auto method = request.method();
        if (method != QHttpServerRequest::Method::Get && method != QHttpServerRequest::Method::Head) {
            responder.write(QByteArrayLiteral("Only GET and HEAD are served.\n"),
                            {{"Content-Type", "text/plain; charset=utf-8"}, {"Allow", "GET, HEAD"}},
                            Status::MethodNotAllowed);
            return true;
        }
        const QString path = request.url().path(QUrl::FullyDecoded);
        const QString file = CLocalWebServer::ResolveRequestPath(m_root, path);
        if (file.isEmpty()) {
            Refuse(responder, method, Status::Forbidden, "Forbidden\n");
            return true;
        }
        QFile f(file);
        if (!QFileInfo(file).isFile() || !f.open(QIODevice::ReadOnly)) {
            Refuse(responder, method, Status::NotFound, "Not found\n");
            return true;
        }
        const QByteArray type = CLocalWebServer::ContentTypeFor(file);
        if (method == QHttpServerRequest::Method::Head) {
            WriteHead(responder, Status::Ok, type, f.size());
            return true;
        }
        // Pages are edited while the viewer runs; never let the browser keep an old copy.
        responder.write(
            f.readAll(),
            {{"Content-Type", type}, {"Cache-Control", "no-cache"}, {"X-Content-Type-Options", "nosniff"}},
            Status::Ok);
        return true;
    }

    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        QHttpServerResponder responder = makeResponder(request, socket);
        Refuse(responder, request.method(), Status::NotFound, "Not found\n");
    }

private:
    static void WriteHead(QHttpServerResponder &responder, Status status, const QByteArray &type,
                          qint64 length)
    {
        responder.writeStatusLine(status);
        responder.writeHeader("Content-Type", type);
        responder.writeHeader("Content-Length", QByteArray::number(length));
        responder.writeHeader("Cache-Control", "no-cache");
        responder.writeBody(QByteArray());
    }

    static void Refuse(QHttpServerResponder &responder, QHttpServerRequest::Method method, Status status,
                       const char *text)
    {
        const QByteArray body(text);
        if (method == QHttpServerRequest::Method::Head)
            WriteHead(responder, status, "text/plain; charset=utf-8", body.size());
        else
            responder.write(body, {{"Content-Type", "text/plain; charset=utf-8"}}, status);
    }

    QString m_root;
};

CLocalWebServer::CLocalWebServer(const QString &rootFolder) : m_root(rootFolder) {}

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
    m_server = new CStaticFileHttpServer(root.canonicalFilePath());
    m_server->moveToThread(m_thread.get());

    // The listening socket must be created on the server's thread. The promise is shared so
    // that a listen that answers after the time-out writes into a live object.
    auto listened = std::make_shared<std::promise<quint16>>();
    std::future<quint16> result = listened->get_future();
    CStaticFileHttpServer *server = m_server;
    QMetaObject::invokeMethod(
        m_server,
        [server, port, listened] {
            listened->set_value(server->listen(QHostAddress(QHostAddress::LocalHost), port));
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
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port);
}

QString CLocalWebServer::ResolveRequestPath(const QString &rootFolder, const QString &decodedUrlPath)
{
    if (decodedUrlPath.contains(QLatin1Char('\\')) || decodedUrlPath.contains(QLatin1Char(':')) ||
        decodedUrlPath.contains(QChar(0)))
        return QString();
    const QStringList segments = decodedUrlPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &segment : segments) {
        // Covers "." and "..", and keeps dot-files (.git, .htaccess) private.
        if (segment.startsWith(QLatin1Char('.')))
            return QString();
    }
    const QString root = QFileInfo(rootFolder).canonicalFilePath();
    if (root.isEmpty())
        return QString();

    QString candidate = root;
    if (!segments.isEmpty())
        candidate += QLatin1Char('/') + segments.join(QLatin1Char('/'));
    if (QFileInfo(candidate).isDir())
        candidate += QStringLiteral("/index.html");

    const QFileInfo info(candidate);
    if (!info.exists())
        return candidate;
    // A link inside the folder may still point outside it.
    const QString real = info.canonicalFilePath();
    if (!real.startsWith(root + QLatin1Char('/')))
        return QString();
    return real;
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
