// The viewer's own stand-in for the vendor's web server: serves a folder (server/www) over HTTP
// on the loopback interface, so that the map pages and the update files work on a machine where
// no server address has been configured.
//
// Who may ask: any program on this machine can reach a loopback port, and so can a web page in
// any browser here (a name of the page's own site that resolves to 127.0.0.1 lets its scripts
// read the answers). So the server answers only requests that name it in their Host field
// (127.0.0.1:<port> or localhost:<port>), and only below a path prefix drawn at random for each
// server object (BaseUrl() carries it); everything else is refused without any file's content.
//
// Threads: the HTTP server lives on a thread of its own, created by Start and ended by Stop (or
// the destructor). Requests are answered there, so a long inline operation on the user-interface
// thread (a folder load) does not stall the pages that the browser is loading meanwhile, and a
// connectivity check waiting for an answer cannot dead-lock against the thread that answers.
// Each connection carries one request (the answer closes it); a request head is read up to a
// fixed size and a file is sent in chunks as the client takes them, so a connection holds a few
// chunks at most, whatever the file's size or the client's pace.
// The object itself is used from one thread only (the one that created it).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QThread;
class CStaticFileHttpServer;

class CLocalWebServer
{
public:
    // Serves rootFolder; nothing is opened until Start.
    explicit CLocalWebServer(const QString &rootFolder);
    ~CLocalWebServer();

    CLocalWebServer(const CLocalWebServer &) = delete;
    CLocalWebServer &operator=(const CLocalWebServer &) = delete;

    // Listens on 127.0.0.1, on the given port or (0) on any free one. False, with ErrorString
    // set, when the folder does not exist or the port cannot be had. Starting a running server
    // restarts it.
    bool Start(quint16 port = 0);
    // Closes the port and ends the server's thread (waits at most a few seconds for it).
    void Stop();

    bool IsRunning() const { return m_port != 0; }
    quint16 Port() const { return m_port; }
    // "http://127.0.0.1:<port>/<secret>/" while running, else empty: the folder's files lie below
    // it. The secret is 32 hexadecimal digits from the system's cryptographic random source,
    // drawn once per object (a restart keeps it).
    QString BaseUrl() const;
    QString RootFolder() const { return m_root; }
    QString ErrorString() const { return m_error; }

    // The file a request path names inside rootFolder, or an empty string when the request must
    // be refused: a path that climbs out of the folder (".." in any encoding, a link leading
    // outside), names a hidden entry (a segment starting with "."), or contains a backslash, a
    // colon or a NUL. A folder stands for its index.html. The file need not exist.
    static QString ResolveRequestPath(const QString &rootFolder, const QString &decodedUrlPath);
    // Content type sent with a file, from its extension.
    static QByteArray ContentTypeFor(const QString &filePath);

    // The folder to serve by default: $PELLISTER_WWW when set, else the first existing one of
    // RootFolderCandidates(the program's folder); empty when none exists.
    static QString DefaultRootFolder();
    // Where the pages may lie, in order: "www" beside the program, then "share/pellister/www" in
    // the folder above it, two and three above it (the installed layout and the build tree's).
    static QStringList RootFolderCandidates(const QString &programFolder);

private:
    QString m_root;
    QByteArray m_secret;
    QString m_error;
    quint16 m_port = 0;
    std::unique_ptr<QThread> m_thread;
    CStaticFileHttpServer *m_server = nullptr; // lives on m_thread; deleted there
};
