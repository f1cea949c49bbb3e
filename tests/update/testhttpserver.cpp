// The update tests' HTTP server.
#include "testhttpserver.h"

#include <QMutexLocker>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <memory>

namespace {

constexpr int kDripMs = 20;
constexpr int kFillerMs = 5;
constexpr int kFillerChunk = 64 * 1024;

QByteArray ReasonOf(int status)
{
    return status == 200 ? QByteArrayLiteral("OK") : status == 404 ? QByteArrayLiteral("Not Found") : status == 302 ? QByteArrayLiteral("Found") : QByteArrayLiteral("Status");
}

void Answer(CTestHttpServer *owner, QTcpSocket *socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    const int end = request.indexOf("\r\n\r\n");
    if (end < 0 || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray method = words.value(0);
    QString path = QString::fromLatin1(words.value(1));
    if (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    owner->Record(QString::fromLatin1(method) + QLatin1Char(' ') + path);
    CTestHttpServer::tagROUTE route = owner->RouteFor(path);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + ' ' + ReasonOf(route.status) +
                      "\r\nContent-Type: application/octet-stream\r\n";
    if (route.delivery != CTestHttpServer::Delivery::Endless)
        head += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
    if (!route.location.isEmpty())
        head += "Location: " + route.location + "\r\n";
    socket->write(head + "Connection: close\r\n\r\n");
    if (method == "HEAD") {
        socket->disconnectFromHost();
        return;
    }
    switch (route.delivery) {
    case CTestHttpServer::Delivery::Whole:
        socket->write(route.body);
        socket->disconnectFromHost();
        break;
    case CTestHttpServer::Delivery::Truncated:
        socket->write(route.body.left(route.body.size() / 2));
        socket->disconnectFromHost();
        break;
    case CTestHttpServer::Delivery::Stalled:
        socket->write(route.body.left(route.body.size() / 2));
        socket->flush();
        break;
    case CTestHttpServer::Delivery::Dripped: {
        auto *drip = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        QObject::connect(drip, &QTimer::timeout, socket, [socket, drip, sent, body = route.body] {
            if (*sent < body.size())
                socket->write(body.mid((*sent)++, 1));
            else
                drip->stop();
        });
        drip->start(kDripMs);
        break;
    }
    case CTestHttpServer::Delivery::Endless: {
        socket->write(route.body);
        // Paced, and never more queued than one chunk, so that a client that keeps reading is
        // fed for as long as it does without filling memory or the disk at once.
        auto *filler = new QTimer(socket);
        QObject::connect(filler, &QTimer::timeout, socket, [socket] {
            if (socket->bytesToWrite() < kFillerChunk)
                socket->write(QByteArray(kFillerChunk, 'z'));
        });
        filler->start(kFillerMs);
        break;
    }
    }
}

} // namespace

CTestHttpServer::CTestHttpServer() = default;

CTestHttpServer::~CTestHttpServer()
{
    if (m_thread) {
        m_thread->quit();
        m_thread->wait(5000);
    }
}

bool CTestHttpServer::Start()
{
    m_thread = std::make_unique<QThread>();
    QSemaphore listening;
    auto *server = new QTcpServer;
    server->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, server, &QObject::deleteLater);
    QObject::connect(m_thread.get(), &QThread::started, server, [this, server, &listening] {
        if (server->listen(QHostAddress::LocalHost, 0))
            m_port = server->serverPort();
        QObject::connect(server, &QTcpServer::newConnection, server, [this, server] {
            while (QTcpSocket *socket = server->nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Answer(this, socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        listening.release();
    });
    m_thread->start();
    if (!listening.tryAcquire(1, 5000))
        return false;
    return m_port != 0;
}

QString CTestHttpServer::BaseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port);
}

void CTestHttpServer::SetRoute(const QString &path, const tagROUTE &route)
{
    QMutexLocker lock(&m_mutex);
    m_routes[path] = route;
}

CTestHttpServer::tagROUTE CTestHttpServer::RouteFor(const QString &path) const
{
    QMutexLocker lock(&m_mutex);
    if (path.isEmpty())
        return {200, QByteArray(), Delivery::Whole, {}};
    return m_routes.value(path, tagROUTE{404, QByteArrayLiteral("not here"), Delivery::Whole, {}});
}

QStringList CTestHttpServer::Requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

void CTestHttpServer::ClearRequests()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
}

void CTestHttpServer::Record(const QString &request)
{
    QMutexLocker lock(&m_mutex);
    m_requests.append(request);
}
