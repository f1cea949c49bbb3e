// How the viewer's loopback web server reads a request and decides its answer, apart from the
// sockets: the request head (its end, its line and fields), the Host and secret-prefix checks,
// and the file a path names inside the served folder. Everything a client sends passes through
// here, so it is the part the fuzz target drives.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct tagHTTPREQUEST {
    QByteArray method;
    QByteArray target;
    QList<QByteArray> hosts; // every Host field, trimmed
    bool bBody = false;      // a body was announced (never read)
};

// The index just past the empty line that ends the request head, or -1 while there is none.
qsizetype HttpHeadEnd(const QByteArray &bytes);
// The request line and header fields; false when they are not HTTP/1.x.
bool ParseHttpHead(const QByteArray &head, tagHTTPREQUEST *request);

// The answer to a request: its status (200 with the file to send; the file may turn out not to
// exist, a 404 then), whether only the head is sent (HEAD), whether input the client sent
// beyond the head is to be drained before the close, and any extra header fields.
struct tagHTTPANSWER {
    int nStatus = 400;
    QString strFile;
    bool bHeadOnly = false;
    bool bLinger = false;
    QByteArray extraFields;
    QByteArray text; // the short text of an answer other than 200
};

// The answer to the request head `head` (as HttpHeadEnd cut it) for a server on 127.0.0.1:`port`
// that serves rootFolder below "/<secret>/": the Host must name it (exactly one field,
// 127.0.0.1:port or localhost:port), the path must start with the secret, only GET and HEAD are
// served, and the path must resolve inside the folder (ResolveHttpPath). `unreadInput`: the
// client sent more than the head.
tagHTTPANSWER AnswerHttpRequest(const QByteArray &head, bool unreadInput, const QByteArray &secret, quint16 port,
                                const QString &rootFolder);

// The file a request path names inside rootFolder, or an empty string when the request must be
// refused: a path that climbs out of the folder (".." in any encoding, a link leading outside),
// names a hidden entry (a segment starting with "."), or contains a backslash, a colon or a NUL.
// A folder stands for its index.html. The file need not exist.
QString ResolveHttpPath(const QString &rootFolder, const QString &decodedUrlPath);
