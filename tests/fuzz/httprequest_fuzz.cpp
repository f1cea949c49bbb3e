// libFuzzer target for the loopback web server's reading of requests (what any program on this
// machine, or a web page in a browser here, can send it): any bytes must give an answer without
// a crash, a hang or a sanitizer report, and the answer must keep the server's promises: a file
// only for GET or HEAD with the right Host and the secret prefix, and only from inside the
// served folder.
//
//   cmake --preset fuzz && cmake --build --preset fuzz
//   ctest --preset fuzz       the test command's run: 30 s from the seeds in tests/fuzz/corpus/httprequest
//   build-fuzz/tests/fuzz/fuzz_httprequest -max_total_time=300 -max_len=20000 NEW_DIR tests/fuzz/corpus/httprequest
#include "telemetry/httprequest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

// A served folder with a page, a sub-folder with its index, a hidden file and a link out of it.
struct tagFOLDER {
    QTemporaryDir dir;
    QString root;
    tagFOLDER()
    {
        root = QFileInfo(dir.filePath(QStringLiteral("www"))).absoluteFilePath();
        QDir().mkpath(root + QStringLiteral("/maps"));
        for (const char *name : {"/index.html", "/maps/index.html", "/maps/page.js", "/.hidden"}) {
            QFile f(root + QLatin1String(name));
            if (f.open(QIODevice::WriteOnly))
                f.write("x");
        }
        QFile outside(dir.filePath(QStringLiteral("secret.txt")));
        if (outside.open(QIODevice::WriteOnly))
            outside.write("x");
        QFile::link(outside.fileName(), root + QStringLiteral("/out"));
        root = QFileInfo(root).canonicalFilePath();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const tagFOLDER folder;
    static const QByteArray secret("0123456789abcdef0123456789abcdef");
    constexpr quint16 kPort = 8123;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype end = HttpHeadEnd(bytes);
    if (end < 0)
        return 0;
    if (end > bytes.size())
        std::abort();
    const QByteArray head = bytes.left(end);
    const tagHTTPANSWER answer = AnswerHttpRequest(head, end < bytes.size(), secret, kPort, folder.root);
    if (answer.nStatus != 200) {
        if (!answer.strFile.isEmpty() || answer.text.isEmpty())
            std::abort();
        return 0;
    }
    tagHTTPREQUEST request;
    if (!ParseHttpHead(head, &request) || (request.method != "GET" && request.method != "HEAD"))
        std::abort();
    if (request.hosts.size() != 1 || !request.target.startsWith("/" + secret + "/"))
        std::abort();
    const QString file = answer.strFile;
    if (!file.startsWith(folder.root + QLatin1Char('/')) || file.contains(QLatin1String("/.")))
        std::abort();
    // Whatever exists there is inside the folder, links resolved.
    const QFileInfo info(file);
    if (info.exists() && !info.canonicalFilePath().startsWith(folder.root + QLatin1Char('/')))
        std::abort();
    return 0;
}
