// The export tests drive the export dialog (widgets) and draw bands with fonts: a widget
// application on the offscreen platform, its settings in a folder of the run's own.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Pellister"));
    QApplication::setApplicationName(QStringLiteral("Corvana"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
