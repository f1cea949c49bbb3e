// The main-window tests share one application object and one set of skin resources. Settings
// and the thumbnail cache go to a temporary folder, never to the user's own, and the map pane's
// browser reaches nothing but this machine.
#include "media/thumbnailer.h"
#include "skin/global.h"
#include "telemetry/mapview.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

#include <gtest/gtest.h>

#include <clocale>

namespace {

// Whatever a page asks of another host (the map's tiles) fails, as it would offline.
class CLoopbackOnly : public QWebEngineUrlRequestInterceptor
{
public:
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const QUrl url = info.requestUrl();
        const bool local = url.scheme() == QLatin1String("qrc") || url.scheme() == QLatin1String("data") ||
                           url.host() == QLatin1String("127.0.0.1");
        if (!local)
            info.block(true);
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toLocal8Bit());

    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    CMapView::PrepareProcess(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setOrganizationName(QStringLiteral("PellisterTests"));
    QApplication::setApplicationName(QStringLiteral("mainwindow_tests"));
    CThumbnailer::SetCacheDirectory(QString());

    CGlobal skin;
    skin.LoadDefaults();

    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS(); // listing starts no browser
    CLoopbackOnly loopbackOnly;
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&loopbackOnly);
    const int result = RUN_ALL_TESTS();
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(nullptr);
    return result;
}
