// The playback tests need an application object: graph events arrive through its event loop, and
// the evidence pages measure their text with fonts, which a GUI application provides. Test
// discovery runs this program without the test environment, so it chooses the offscreen platform
// itself.
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // What the viewer keeps (settings) goes to a folder of the run's own, for the programs it
    // starts too.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Pellister"));
    QGuiApplication::setApplicationName(QStringLiteral("Corvana"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
