// The loopback server's reading of a request and its choice of answer.
#include "telemetry/httprequest.h"

#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace {

// Compares in a time that does not depend on where the texts differ.
bool SameSecret(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

// Whether a request's Host fields name the server: exactly one, 127.0.0.1 or localhost with the
// port it listens on.
bool IsOwnHost(const QList<QByteArray> &hosts, quint16 port)
{
    if (hosts.size() != 1)
        return false;
    const QByteArray suffix = ':' + QByteArray::number(port);
    const QByteArray host = hosts.first().toLower();
    return host == "127.0.0.1" + suffix || host == "localhost" + suffix;
}

tagHTTPANSWER Refusal(int status, const char *text, bool linger, bool headOnly)
{
    tagHTTPANSWER a;
    a.nStatus = status;
    a.text = text;
    a.bLinger = linger;
    a.bHeadOnly = headOnly;
    return a;
}

} // namespace

// The index just past the empty line that ends the request head, or -1 while there is none.
qsizetype HttpHeadEnd(const QByteArray &bytes)
{
    qsizetype start = 0;
    for (;;) {
        const qsizetype lf = bytes.indexOf('\n', start);
        if (lf < 0)
            return -1;
        if (lf > 0 && (lf == start || (lf == start + 1 && bytes[start] == '\r')))
            return lf + 1;
        start = lf + 1;
    }
}

// The request line and header fields; false when they are not HTTP/1.x.
bool ParseHttpHead(const QByteArray &head, tagHTTPREQUEST *request)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    const QList<QByteArray> first = lines.value(0).split(' ');
    if (first.size() != 3 || first[0].isEmpty() || !first[2].startsWith("HTTP/1."))
        return false;
    request->method = first[0];
    request->target = first[1];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.left(colon).contains(' ') || line.left(colon).contains('\t'))
            return false;
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "host")
            request->hosts << value;
        else if (name == "transfer-encoding" || (name == "content-length" && value != "0"))
            request->bBody = true;
    }
    return true;
}

tagHTTPANSWER AnswerHttpRequest(const QByteArray &head, bool unreadInput, const QByteArray &secret, quint16 port,
                                const QString &rootFolder)
{
    tagHTTPREQUEST request;
    if (!ParseHttpHead(head, &request))
        return Refusal(400, "Bad request\n", true, false);
    const bool headOnly = request.method == "HEAD";
    const bool linger = unreadInput || request.bBody;
    if (request.hosts.isEmpty())
        return Refusal(400, "No Host field\n", linger, headOnly);
    if (!IsOwnHost(request.hosts, port))
        return Refusal(421, "Not this server\n", linger, headOnly);
    // The prefix is checked on the path as sent; the rest is decoded and resolved.
    QByteArray path = request.target;
    const qsizetype query = path.indexOf('?');
    if (query >= 0)
        path.truncate(query);
    const QByteArray prefix = '/' + secret + '/';
    if (!path.startsWith('/') || path.size() < prefix.size() || !SameSecret(path.left(prefix.size()), prefix))
        return Refusal(404, "Not found\n", linger, headOnly);
    if (request.method != "GET" && !headOnly) {
        tagHTTPANSWER a = Refusal(405, "Only GET and HEAD are served.\n", linger, false);
        a.extraFields = "Allow: GET, HEAD\r\n";
        return a;
    }
    const QString decoded = QUrl::fromPercentEncoding(path.mid(prefix.size() - 1));
    const QString file = ResolveHttpPath(rootFolder, decoded);
    if (file.isEmpty())
        return Refusal(403, "Forbidden\n", linger, headOnly);
    tagHTTPANSWER a;
    a.nStatus = 200;
    a.strFile = file;
    a.bHeadOnly = headOnly;
    a.bLinger = linger;
    return a;
}

QString ResolveHttpPath(const QString &rootFolder, const QString &decodedUrlPath)
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
