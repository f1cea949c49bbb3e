// A small HTTP/1.1 server on 127.0.0.1 for the update tests, on a thread of its own, whose
// answers a test sets per path: a status and a body, sent whole, cut short (the connection
// closed after half of the announced body) or stalled (half of the body, then nothing).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <memory>

class QThread;

class CTestHttpServer
{
public:
    enum class Delivery { Whole, Truncated, Stalled };
    struct tagROUTE {
        int status = 200;
        QByteArray body;
        Delivery delivery = Delivery::Whole;
    };

    CTestHttpServer();
    ~CTestHttpServer();

    bool Start();
    quint16 Port() const { return m_port; }
    QString BaseUrl() const;

    // Paths without the leading "/"; a path without a route answers 404, the root 200.
    void SetRoute(const QString &path, const tagROUTE &route);
    void SetFile(const QString &path, const QByteArray &body) { SetRoute(path, {200, body, Delivery::Whole}); }
    // The answer for a path (used by the server's thread).
    tagROUTE RouteFor(const QString &path) const;
    // Requests seen so far, "GET path".
    QStringList Requests() const;
    void Record(const QString &request);

private:
    mutable QMutex m_mutex;
    QHash<QString, tagROUTE> m_routes;
    QStringList m_requests;
    quint16 m_port = 0;
    std::unique_ptr<QThread> m_thread;
};
