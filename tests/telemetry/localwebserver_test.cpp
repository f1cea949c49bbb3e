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

// Sends one request exactly as given and reads the answer (headers, then Content-Length bytes).
Reply Exchange(quint16 port, const QByteArray &method, const QByteArray &target)
{
    Reply r;
    QTcpSocket s;
    s.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!s.waitForConnected(kWaitMs))
        return r;
    s.write(method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
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
                want = method == "HEAD" ? 0 : r.headers.value("content-length", "-1").toLongLong();
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
        const Reply r = Exchange(server->Port(), "GET", c.target);
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
            const Reply r = Exchange(server->Port(), method, target);
            EXPECT_NE(r.status, 0) << method.constData() << " " << target << ": no answer";
            EXPECT_NE(r.status, 200) << method.constData() << " " << target;
            EXPECT_FALSE(r.body.contains(kSecret)) << method.constData() << " " << target;
        }
    }
}

TEST_F(LocalWebServer, MissingFilesMethodsAndHead)
{
    EXPECT_EQ(Exchange(server->Port(), "GET", "/nothing.html").status, 404);
    EXPECT_EQ(Exchange(server->Port(), "GET", "/emptydir/").status, 404) << "no listings";
    EXPECT_EQ(Exchange(server->Port(), "GET", "/corvana_mapview/").status, 404);

    const Reply post = Exchange(server->Port(), "POST", "/index.html");
    EXPECT_EQ(post.status, 405);
    EXPECT_EQ(post.headers.value("allow"), QByteArray("GET, HEAD"));
    EXPECT_EQ(Exchange(server->Port(), "PUT", "/index.html").status, 405);
    EXPECT_EQ(Exchange(server->Port(), "DELETE", "/index.html").status, 405);

    const Reply head = Exchange(server->Port(), "HEAD", "/corvana_mapview/img/spot.png");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.headers.value("content-type"), QByteArray("image/png"));
    EXPECT_EQ(head.headers.value("content-length"), QByteArray::number(png.size()));
    EXPECT_TRUE(head.body.isEmpty());
    EXPECT_EQ(Exchange(server->Port(), "HEAD", "/nothing.html").status, 404);
}

TEST_F(LocalWebServer, AddressesAndLifetime)
{
    const quint16 port = server->Port();
    EXPECT_NE(port, 0);
    EXPECT_EQ(server->BaseUrl(), QStringLiteral("http://127.0.0.1:%1/").arg(port));

    // A second server gets a port of its own; asking for a port that is taken fails cleanly.
    CLocalWebServer second(root);
    ASSERT_TRUE(second.Start());
    EXPECT_NE(second.Port(), port);
    CLocalWebServer clash(root);
    EXPECT_FALSE(clash.Start(port));
    EXPECT_FALSE(clash.IsRunning());
    EXPECT_FALSE(clash.ErrorString().isEmpty());
    EXPECT_TRUE(clash.BaseUrl().isEmpty());

    // Stopped: the port no longer answers, and the base address is gone.
    server->Stop();
    EXPECT_FALSE(server->IsRunning());
    EXPECT_TRUE(server->BaseUrl().isEmpty());
    EXPECT_EQ(Exchange(port, "GET", "/").status, 0);
    // Started again, it serves again.
    ASSERT_TRUE(server->Start());
    EXPECT_EQ(Exchange(server->Port(), "GET", "/").status, 200);

    CLocalWebServer nowhere(dir.filePath(QStringLiteral("no-such-folder")));
    EXPECT_FALSE(nowhere.Start());
    EXPECT_FALSE(nowhere.ErrorString().isEmpty());
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
        const Reply r = Exchange(server.Port(), "GET", page);
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
