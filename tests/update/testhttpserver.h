// A small HTTP/1.1 server on 127.0.0.1 for the update tests, on a thread of its own, whose
// answers a test sets per path: a status, a body and a redirect target, the body sent whole,
// cut short (the connection closed after half of the announced body), stalled (half of the body,
// then nothing), dripped (one byte every few milliseconds) or endless (no announced length, the
// body and then filler until the client goes away). A request in absolute form (as sent to a
// proxy) is recorded with its whole address.
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
    enum class Delivery { Whole, Truncated, Stalled, Dripped, Endless };
    struct tagROUTE {
        int status = 200;
        QByteArray body;
        Delivery delivery = Delivery::Whole;
        QByteArray location; // sent as the Location header when not empty
    };

    CTestHttpServer();
    ~CTestHttpServer();

    bool Start();
    quint16 Port() const { return m_port; }
    QString BaseUrl() const;

    // Paths without the leading "/"; a path without a route answers 404, the root 200.
    void SetRoute(const QString &path, const tagROUTE &route);
    void SetFile(const QString &path, const QByteArray &body) { SetRoute(path, {200, body, Delivery::Whole, {}}); }
    // The answer for a path (used by the server's thread).
    tagROUTE RouteFor(const QString &path) const;
    // Requests seen so far, "GET path".
    QStringList Requests() const;
    void ClearRequests();
    void Record(const QString &request);

private:
    mutable QMutex m_mutex;
    QHash<QString, tagROUTE> m_routes;
    QStringList m_requests;
    quint16 m_port = 0;
    std::unique_ptr<QThread> m_thread;
};
