// The main-window tests share one application object and one set of skin resources. Settings
// and the thumbnail cache go to a temporary folder, never to the user's own.
#include "playback/thumbnailer.h"
#include "shell/global.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toLocal8Bit());

    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setOrganizationName(QStringLiteral("PellisterTests"));
    QApplication::setApplicationName(QStringLiteral("mainwindow_tests"));
    CThumbnailer::SetCacheDirectory(QString());

    CGlobal skin;
    skin.LoadDefaults();

    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
