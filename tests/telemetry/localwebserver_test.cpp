// The loopback web server: real HTTP on 127.0.0.1 against a generated folder, with raw request
// lines so that nothing between the test and the server tidies a path up.
#include "telemetry/localwebserver.h"
#include "telemetry/mapscripts.h"

#include "fixtures/testfiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include "qstringprint.h"

#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 5000;

QCoreApplication *App()
{
    static int argc = 1;
    static char name[] = "localwebserver_test";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app =
        QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
    return app;
}

struct Reply {
    int status = 0;                       // 0: no answer
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// Sends `request` exactly as given and reads the answer (headers, then Content-Length bytes).
Reply Send(quint16 port, const QByteArray &request, bool headOnly = false)
{
    Reply r;
    QTcpSocket s;
    s.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!s.waitForConnected(kWaitMs))
        return r;
    s.write(request);
    s.flush();
    QByteArray in;
    const QDeadlineTimer deadline(kWaitMs);
    int headerEnd = -1;
    qint64 want = -1;
    while (!deadline.hasExpired()) {
        if (headerEnd < 0) {
            headerEnd = in.indexOf("\r\n\r\n");
            if (headerEnd >= 0) {
                const QList<QByteArray> lines = in.left(headerEnd).split('\n');
                const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
                r.status = statusLine.value(1).toInt();
                for (int i = 1; i < lines.size(); ++i) {
                    const int colon = lines[i].indexOf(':');
                    if (colon > 0)
                        r.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                         lines[i].mid(colon + 1).trimmed());
                }
                want = headOnly ? 0 : r.headers.value("content-length", "-1").toLongLong();
            }
        }
        if (headerEnd >= 0 && want >= 0 && in.size() - headerEnd - 4 >= want)
            break;
        if (!s.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))) &&
            s.state() != QAbstractSocket::ConnectedState) {
            in += s.readAll();
            break;
        }
        in += s.readAll();
    }
    if (headerEnd >= 0)
        r.body = in.mid(headerEnd + 4);
    return r;
}

QByteArray Request(const QByteArray &method, const QByteArray &target, const QByteArray &hostField)
{
    return method + ' ' + target + " HTTP/1.1\r\n" + hostField + "Connection: close\r\n\r\n";
}

// One request as the viewer's clients send it: `target` as given, Host naming the server.
Reply Exchange(quint16 port, const QByteArray &method, const QByteArray &target)
{
    return Send(port, Request(method, target, "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n"),
                method == "HEAD");
}

// "/<secret>": the path of the server's base address without its final "/".
QByteArray PrefixOf(const CLocalWebServer &server)
{
    return QUrl(server.BaseUrl()).path().chopped(1).toLatin1();
}

class LocalWebServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ASSERT_TRUE(dir.isValid());
        root = dir.filePath(QStringLiteral("www"));
        ASSERT_TRUE(testfiles::Write(root + "/index.html", "<p>root</p>"));
        ASSERT_TRUE(testfiles::Write(root + "/corvana_mapview/google_map_world.html", "<p>map</p>"));
        ASSERT_TRUE(testfiles::Write(root + "/corvana_mapview/lib/leaflet.js", "var L = {};"));
        ASSERT_TRUE(testfiles::Write(root + "/corvana_mapview/lib/leaflet.css", ".x{}"));
        ASSERT_TRUE(testfiles::Write(root + "/corvana_mapview/lib/world.json", "{}"));
        ASSERT_TRUE(testfiles::Write(root + "/corvana_mapview/img/idle.svg", "<svg/>"));
        ASSERT_TRUE(testfiles::Write(root + "/corvana_mapview/img/spot.png", png));
        ASSERT_TRUE(testfiles::Write(root + "/update/Corvana.exe", "MZ program"));
        ASSERT_TRUE(testfiles::Write(root + "/with space/a b.txt", "spaced"));
        ASSERT_TRUE(testfiles::Write(root + "/emptydir/.keep", ""));
        ASSERT_TRUE(testfiles::Write(root + "/.secret", kSecret));
        // Outside the served folder: nothing may ever reach these.
        ASSERT_TRUE(testfiles::Write(dir.filePath("outside/secret.txt"), kSecret));
        ASSERT_TRUE(testfiles::Write(dir.filePath("www-other/secret.txt"), kSecret));
        ASSERT_TRUE(QFile::link(dir.filePath("outside"), root + "/linked"));
        ASSERT_TRUE(QFile::link(dir.filePath("outside/secret.txt"), root + "/secret-link.txt"));
        server = std::make_unique<CLocalWebServer>(root);
        ASSERT_TRUE(server->Start()) << server->ErrorString().toStdString();
    }

    // A request for `target` below the server's prefix.
    Reply Get(const QByteArray &method, const QByteArray &target) const
    {
        return Exchange(server->Port(), method, PrefixOf(*server) + target);
    }

    static constexpr const char *kSecret = "TOP-SECRET-BYTES";
    const QByteArray png = QByteArrayLiteral("\x89PNG\r\n\x1a\n\0\0binary");
    QTemporaryDir dir;
    QString root;
    std::unique_ptr<CLocalWebServer> server;
};

TEST_F(LocalWebServer, ServesFilesWithTheirContentTypes)
{
    const struct {
        const char *target;
        const char *type;
        QByteArray body;
    } cases[] = {
        {"/", "text/html; charset=utf-8", "<p>root</p>"},
        {"/index.html", "text/html; charset=utf-8", "<p>root</p>"},
        {"/corvana_mapview/google_map_world.html", "text/html; charset=utf-8", "<p>map</p>"},
        {"/corvana_mapview/google_map_world.html?tiles=none", "text/html; charset=utf-8", "<p>map</p>"},
        {"/corvana_mapview/lib/leaflet.js", "text/javascript; charset=utf-8", "var L = {};"},
        {"/corvana_mapview/lib/leaflet.css", "text/css; charset=utf-8", ".x{}"},
        {"/corvana_mapview/lib/world.json", "application/json", "{}"},
        {"/corvana_mapview/img/idle.svg", "image/svg+xml", "<svg/>"},
        {"/corvana_mapview/img/spot.png", "image/png", png},
        {"/update/Corvana.exe", "application/octet-stream", "MZ program"},
        {"/with%20space/a%20b.txt", "text/plain; charset=utf-8", "spaced"},
        {"/corvana_mapview//lib/leaflet.js", "text/javascript; charset=utf-8", "var L = {};"},
    };
    for (const auto &c : cases) {
        const Reply r = Get("GET", c.target);
        EXPECT_EQ(r.status, 200) << c.target;
        EXPECT_EQ(r.headers.value("content-type"), QByteArray(c.type)) << c.target;
        EXPECT_EQ(r.body, c.body) << c.target;
    }
}

TEST_F(LocalWebServer, RefusesEverythingOutsideTheFolder)
{
    const char *targets[] = {
        "/../outside/secret.txt",
        "/../../../../../../etc/passwd",
        "/corvana_mapview/../../outside/secret.txt",
        "/%2e%2e/outside/secret.txt",
        "/%2E%2E%2Foutside%2Fsecret.txt",
        "/corvana_mapview/..%2f..%2foutside/secret.txt",
        "/..%5coutside%5csecret.txt",
        "/..\\outside\\secret.txt",
        "/linked/secret.txt", // a link to a folder outside
        "/secret-link.txt",   // a link to a file outside
        "/.secret",           // hidden entries stay private
        "/%2esecret",
        "/corvana_mapview/lib/leaflet.js%00.png",
        "/C:/Windows/win.ini",
        "/../www-other/secret.txt", // a sibling whose name starts like the root's
        "/./index.html/../../outside/secret.txt",
    };
    for (const char *target : targets) {
        for (const QByteArray &method : {QByteArray("GET"), QByteArray("HEAD")}) {
            const Reply r = Get(method, target);
            EXPECT_NE(r.status, 0) << method.constData() << " " << target << ": no answer";
            EXPECT_NE(r.status, 200) << method.constData() << " " << target;
            EXPECT_FALSE(r.body.contains(kSecret)) << method.constData() << " " << target;
        }
    }
}

TEST_F(LocalWebServer, MissingFilesMethodsAndHead)
{
    EXPECT_EQ(Get("GET", "/nothing.html").status, 404);
    EXPECT_EQ(Get("GET", "/emptydir/").status, 404) << "no listings";
    EXPECT_EQ(Get("GET", "/corvana_mapview/").status, 404);

    const Reply post = Get("POST", "/index.html");
    EXPECT_EQ(post.status, 405);
    EXPECT_EQ(post.headers.value("allow"), QByteArray("GET, HEAD"));
    EXPECT_EQ(Get("PUT", "/index.html").status, 405);
    EXPECT_EQ(Get("DELETE", "/index.html").status, 405);

    const Reply head = Get("HEAD", "/corvana_mapview/img/spot.png");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.headers.value("content-type"), QByteArray("image/png"));
    EXPECT_EQ(head.headers.value("content-length"), QByteArray::number(png.size()));
    EXPECT_TRUE(head.body.isEmpty());
    EXPECT_EQ(Get("HEAD", "/nothing.html").status, 404);
}

TEST_F(LocalWebServer, AddressesAndLifetime)
{
    const quint16 port = server->Port();
    EXPECT_NE(port, 0);
    const QRegularExpression base(QStringLiteral("^http://127\\.0\\.0\\.1:%1/[0-9a-f]{32}/$").arg(port));
    EXPECT_TRUE(base.match(server->BaseUrl()).hasMatch()) << server->BaseUrl().toStdString();
    const QString before = server->BaseUrl();
    const QByteArray prefix = PrefixOf(*server);

    // A second server gets a port of its own; asking for a port that is taken fails cleanly.
    CLocalWebServer second(root);
    ASSERT_TRUE(second.Start());
    EXPECT_NE(second.Port(), port);
    EXPECT_NE(PrefixOf(second), PrefixOf(*server)) << "each server draws its own prefix";
    CLocalWebServer clash(root);
    EXPECT_FALSE(clash.Start(port));
    EXPECT_FALSE(clash.IsRunning());
    EXPECT_FALSE(clash.ErrorString().isEmpty());
    EXPECT_TRUE(clash.BaseUrl().isEmpty());

    // Stopped: the port no longer answers, and the base address is gone.
    server->Stop();
    EXPECT_FALSE(server->IsRunning());
    EXPECT_TRUE(server->BaseUrl().isEmpty());
    EXPECT_EQ(Exchange(port, "GET", prefix + "/").status, 0);
    // Started again, it serves again, below the same prefix.
    ASSERT_TRUE(server->Start());
    EXPECT_EQ(Get("GET", "/").status, 200);
    EXPECT_EQ(QUrl(server->BaseUrl()).path(), QUrl(before).path());

    CLocalWebServer nowhere(dir.filePath(QStringLiteral("no-such-folder")));
    EXPECT_FALSE(nowhere.Start());
    EXPECT_FALSE(nowhere.ErrorString().isEmpty());
}

TEST_F(LocalWebServer, AnswersOnlyRequestsThatNameIt)
{
    // A page of another site whose name was made to lead here sends that name: it must learn
    // nothing, not even whether the file exists.
    const QByteArray port = QByteArray::number(server->Port());
    const struct {
        QByteArray hostFields;
        int status;
    } cases[] = {
        {"Host: 127.0.0.1:" + port + "\r\n", 200},
        {"Host: localhost:" + port + "\r\n", 200},
        {"host:  LocalHost:" + port + " \r\n", 200},
        {"Host: attacker.example:" + port + "\r\n", 421},
        {"Host: attacker.example\r\n", 421},
        {"Host: 127.0.0.1\r\n", 421},
        {"Host: 127.0.0.1:" + QByteArray::number(server->Port() + 1) + "\r\n", 421},
        {"Host: [::1]:" + port + "\r\n", 421}, // it does not listen there
        {"Host: 127.0.0.1.nip.io:" + port + "\r\n", 421},
        {"Host: 127.0.0.1:" + port + "\r\nHost: attacker.example\r\n", 421},
        {"", 400},
    };
    for (const auto &c : cases) {
        for (const QByteArray &method : {QByteArray("GET"), QByteArray("HEAD")}) {
            const Reply r = Send(server->Port(),
                                 Request(method, PrefixOf(*server) + "/update/Corvana.exe", c.hostFields),
                                 method == "HEAD");
            EXPECT_EQ(r.status, c.status) << method.constData() << " " << c.hostFields.constData();
            if (c.status != 200) {
                EXPECT_FALSE(r.body.contains("MZ program")) << c.hostFields.constData();
            }
        }
    }
}

TEST_F(LocalWebServer, ServesOnlyBelowItsSecretPrefix)
{
    const QByteArray prefix = PrefixOf(*server);
    QByteArray wrong = prefix;
    wrong[wrong.size() - 1] = wrong.endsWith('0') ? '1' : '0';
    const struct {
        QByteArray target;
        int status;
    } cases[] = {
        {prefix + "/index.html", 200},
        {prefix + "/", 200},
        {prefix + "/update/Corvana.exe?x=1", 200},
        {"/update/Corvana.exe", 404},
        {"/", 404},
        {"/index.html", 404},
        {prefix, 404},
        {prefix + "x/index.html", 404},
        {wrong + "/index.html", 404},
        {prefix.toUpper() + "/index.html", 404},
        {prefix.chopped(1) + "/index.html", 404},
        {"/%2F" + prefix.mid(1) + "/index.html", 404},
        {"http://127.0.0.1" + prefix + "/index.html", 404},
        {"/x/.." + prefix + "/index.html", 404},
    };
    for (const auto &c : cases) {
        const Reply r = Exchange(server->Port(), "GET", c.target);
        EXPECT_EQ(r.status, c.status) << c.target.constData();
        if (c.status != 200) {
            EXPECT_TRUE(r.body == "Not found\n") << c.target.constData();
        }
    }
}

TEST_F(LocalWebServer, RequestHeadsAreBoundedAndMustBeHttp)
{
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(server->Port()) + "\r\n";
    const QByteArray target = PrefixOf(*server) + "/index.html";
    const struct {
        const char *what;
        QByteArray request;
        int status;
    } cases[] = {
        {"a head of 20 KiB", Request("GET", target, host + "X-Pad: " + QByteArray(20 * 1024, 'a') + "\r\n"), 431},
        {"a head that never ends", "GET " + target + " HTTP/1.1\r\n" + host + QByteArray(40 * 1024, 'b'), 431},
        {"not HTTP", "GET " + target + "\r\n" + host + "\r\n", 400},
        {"a field without a colon", Request("GET", target, host + "Broken field\r\n"), 400},
        {"bare line feeds", "GET " + target + " HTTP/1.1\n" + host.chopped(2) + "\n\n", 200},
        {"a body it does not read",
         Request("GET", target, host + "Content-Length: 100000\r\n") + QByteArray(100000, 'c'), 200},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Send(server->Port(), c.request).status, c.status) << c.what;
    EXPECT_EQ(Get("GET", "/index.html").body, QByteArray("<p>root</p>")) << "still serving";
}

TEST_F(LocalWebServer, StreamsALargeFileAsTheClientTakesIt)
{
    // Far larger than a chunk and than what the system's socket buffers hold between the two.
    constexpr qint64 kSize = 24 << 20;
    constexpr qint64 kTail = 20 << 20;
    QByteArray content(kSize, Qt::Uninitialized);
    for (qint64 i = 0; i < kSize; ++i)
        content[i] = static_cast<char>((i * 7 + i / 4093) & 0xff);
    const QString path = root + "/update/corvana.bin";
    ASSERT_TRUE(testfiles::Write(path, content));

    QTcpSocket s;
    s.setReadBufferSize(64 * 1024); // the client takes nothing it does not read
    s.connectToHost(QHostAddress(QHostAddress::LocalHost), server->Port());
    ASSERT_TRUE(s.waitForConnected(kWaitMs));
    s.write(Request("GET", PrefixOf(*server) + "/update/corvana.bin",
                    "Host: 127.0.0.1:" + QByteArray::number(server->Port()) + "\r\n"));
    QByteArray in;
    const QDeadlineTimer deadline(4 * kWaitMs);
    while (!in.contains("\r\n\r\n") && !deadline.hasExpired() && s.waitForReadyRead(kWaitMs))
        in += s.readAll();
    ASSERT_TRUE(in.contains("\r\n\r\n"));
    EXPECT_TRUE(in.contains("Content-Length: " + QByteArray::number(kSize) + "\r\n"));

    // The file changes behind the answer's head: a server that read it whole sends the old bytes,
    // one that reads as the client takes them sends the new ones.
    QByteArray changed = content;
    for (qint64 i = kTail; i < kSize; ++i)
        changed[i] = static_cast<char>(~changed[i]);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek(kTail));
        ASSERT_EQ(f.write(changed.mid(kTail)), kSize - kTail);
    }
    const qsizetype bodyStart = in.indexOf("\r\n\r\n") + 4;
    while (in.size() - bodyStart < kSize && !deadline.hasExpired()) {
        if (!s.waitForReadyRead(kWaitMs) && s.bytesAvailable() == 0)
            break;
        in += s.readAll();
    }
    const QByteArray body = in.mid(bodyStart);
    ASSERT_EQ(body.size(), kSize);
    EXPECT_TRUE(body.left(kTail) == content.left(kTail));
    EXPECT_TRUE(body.mid(kTail) == changed.mid(kTail)) << "the file was read whole before it was sent";
}

TEST_F(LocalWebServer, AnswersAnOrdinaryClientOnTheMapPageAddress)
{
    // The way the viewer reaches it: Qt's own HTTP client, the map page address from the base.
    QNetworkAccessManager nam;
    QNetworkReply *reply = nam.get(QNetworkRequest(QUrl(MapPageUrl(server->BaseUrl()))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_TRUE(reply->isFinished());
    EXPECT_EQ(reply->error(), QNetworkReply::NoError);
    EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    EXPECT_EQ(reply->readAll(), QByteArray("<p>map</p>"));
    delete reply;
}

TEST(LocalWebServerPaths, ResolvesInsideTheFolderOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(testfiles::Write(dir.filePath("www/a/index.html"), "x"));
    const QString root = QFileInfo(dir.filePath("www")).canonicalFilePath();
    const struct {
        const char *path;
        QString expected;
    } cases[] = {
        {"/", root + "/index.html"},
        {"", root + "/index.html"},
        {"/a", root + "/a/index.html"},
        {"/a/", root + "/a/index.html"},
        {"/a/index.html", root + "/a/index.html"},
        {"/a/b/c.js", root + "/a/b/c.js"}, // need not exist: the server answers 404
        {"/../x", QString()},
        {"/a/../../x", QString()},
        {"/a/..", QString()},
        {"/.", QString()},
        {"/a\\b", QString()},
        {"/c:/x", QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CLocalWebServer::ResolveRequestPath(dir.filePath("www"), QString::fromUtf8(c.path)),
                  c.expected)
            << c.path;
    EXPECT_TRUE(CLocalWebServer::ResolveRequestPath(dir.filePath("nothing"), "/").isEmpty());
}

TEST(LocalWebServerPaths, ContentTypes)
{
    EXPECT_EQ(CLocalWebServer::ContentTypeFor("x/Page.HTML"), QByteArray("text/html; charset=utf-8"));
    EXPECT_EQ(CLocalWebServer::ContentTypeFor("a.mjs"), QByteArray("text/javascript; charset=utf-8"));
    EXPECT_EQ(CLocalWebServer::ContentTypeFor("t.gpx"), QByteArray("application/gpx+xml"));
    EXPECT_EQ(CLocalWebServer::ContentTypeFor("LICENSE"), QByteArray("application/octet-stream"));
    EXPECT_EQ(CLocalWebServer::ContentTypeFor("x.gif"), QByteArray("image/gif"));
}

TEST(LocalWebServerPaths, ServesTheProjectsOwnMapPages)
{
    App();
    const QString www = testfiles::SourceDir() + QStringLiteral("/server/www");
    CLocalWebServer server(www);
    ASSERT_TRUE(server.Start()) << server.ErrorString().toStdString();
    for (const char *page :
         {"/corvana_mapview/google_map_world.html", "/corvana_mapview/naver_map.html", "/"}) {
        const Reply r = Exchange(server.Port(), "GET", PrefixOf(server) + page);
        EXPECT_EQ(r.status, 200) << page;
        EXPECT_EQ(r.headers.value("content-type"), QByteArray("text/html; charset=utf-8")) << page;
    }
}

} // namespace

namespace {

TEST(LocalWebServerPaths, PagesAreFoundFromTheProgramsOwnPlace)
{
    App();
    // The installed layout: <prefix>/bin and <prefix>/share/pellister/www.
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    ASSERT_TRUE(QDir(prefix.path()).mkpath("bin") && QDir(prefix.path()).mkpath("share/pellister/www"));
    const QStringList installed = CLocalWebServer::RootFolderCandidates(prefix.path() + "/bin");
    ASSERT_GE(installed.size(), 2);
    EXPECT_EQ(installed.at(0), prefix.path() + "/bin/www");
    EXPECT_EQ(installed.at(1), prefix.path() + "/share/pellister/www");

    // This test program lies in the build tree, whose share/pellister/www leads to server/www.
    qunsetenv("PELLISTER_WWW");
    EXPECT_EQ(CLocalWebServer::DefaultRootFolder(),
              QDir(testfiles::SourceDir() + QStringLiteral("/server/www")).canonicalPath());
    // The development override wins over the program's place.
    qputenv("PELLISTER_WWW", prefix.path().toLocal8Bit() + "/share/pellister/www");
    EXPECT_EQ(CLocalWebServer::DefaultRootFolder(), QDir(prefix.path() + "/share/pellister/www").canonicalPath());
    qunsetenv("PELLISTER_WWW");
}

} // namespace
