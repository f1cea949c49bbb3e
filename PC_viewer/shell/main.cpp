// Corvana, the Pellister viewer: start-up of the application, the skin, the document and the
// main frame.
#include "catalogue/corvanadoc.h"
#include "shell/global.h"
#include "shell/mainframe.h"

#include "version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <clocale>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// The map pane's browser: Chromium refuses to run as root inside its sandbox, and without a
// display (or a GPU) it must not try to use one. A value the user has set is left alone.
void PrepareBrowserFlags(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        return;
    bool root = false;
#ifdef Q_OS_UNIX
    root = geteuid() == 0;
#endif
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    bool headless = platform.startsWith("offscreen") || platform.startsWith("minimal");
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if ((arg == "-platform" || arg == "--platform") && i + 1 < argc)
            headless = headless || QByteArray(argv[i + 1]).startsWith("offscreen") ||
                       QByteArray(argv[i + 1]).startsWith("minimal");
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    headless = headless ||
               (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
#endif
    if (!root && !headless)
        return;
    QByteArray flags =
        root ? QByteArrayLiteral("--no-sandbox --disable-gpu") : QByteArrayLiteral("--disable-gpu");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

} // namespace

int main(int argc, char *argv[])
{
    PrepareBrowserFlags(argc, argv);
    // The browser shares the widgets' graphics context; this must be said before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The recorder's files and the GPX export use "." as the decimal point whatever the locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Corvana"));
    QApplication::setOrganizationName(QStringLiteral("Pellister"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pellister"));
    QApplication::setApplicationVersion(QStringLiteral(PELLISTER_VERSION_STRING));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Pellister recording viewer"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption folderOption(QStringLiteral("folder"),
                                    QStringLiteral("Load DIR at start, as \"Set Folder\" would."),
                                    QStringLiteral("DIR"));
    parser.addOption(folderOption);
    parser.process(app);

    CGlobal skin;
    if (!skin.LoadDefaults())
        std::fprintf(stderr, "Corvana: some skin pictures are missing; windows are drawn without them\n");

    CCorvanaDoc doc;
    CMainFrame frame(&doc);
    frame.show();

    if (parser.isSet(folderOption)) {
        const QString folder = parser.value(folderOption);
        // Once the window is on screen, so that the progress window has an owner to centre on.
        QTimer::singleShot(0, &frame, [&frame, folder] { frame.SetFolderAndLoad(folder); });
    }
    return app.exec();
}
