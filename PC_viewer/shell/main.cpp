// Corvana, the Pellister viewer: start-up of the application, the skin, the document and the
// main frame.
#include "catalogue/corvanadoc.h"
#include "platform/diagnostics.h"
#include "media/thumbnailer.h"
#include "skin/global.h"
#include "skin/prompt.h"
#include "shell/compositionroot.h"
#include "shell/mainframe.h"
#include "telemetry/mapview.h"
#include "update/handover.h"
#include "update/updateconst.h"

#include "version.h"

#include <csignal>
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEngineProfile>

#include <clocale>
#include <cstdio>
#include <memory>

namespace {

// The platform the application will run on, as Qt will pick it: the -platform argument, else
// QT_QPA_PLATFORM.
QString PlatformName(int argc, char *argv[])
{
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-platform" || arg == "--platform")
            return QString::fromLocal8Bit(argv[i + 1]);
    }
    return qEnvironmentVariable("QT_QPA_PLATFORM");
}

// The arguments without those the window system takes for itself (-platform X, -style X, ...),
// which QApplication removes only once it has connected to a display.
QStringList ProgramArguments(int argc, char *argv[])
{
    static const char *const kWithValue[] = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon", "qwindowtitle", "session", "display", "geometry", "name", "title",
        "visual", "style", "stylesheet",
    };
    static const char *const kFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        QString bare = arg;
        while (i > 0 && bare.startsWith(QLatin1Char('-')))
            bare.remove(0, 1);
        bool qtOwn = false;
        if (i > 0 && bare != arg) {
            for (const char *name : kWithValue) {
                if (bare == QLatin1String(name)) {
                    qtOwn = true;
                    ++i; // its value
                    break;
                }
                if (bare.startsWith(QLatin1String(name) + QLatin1Char('=')))
                    qtOwn = true;
            }
            for (const char *name : kFlags)
                qtOwn = qtOwn || bare == QLatin1String(name);
            qtOwn = qtOwn || bare.startsWith(QLatin1String("qmljsdebugger="));
        }
        if (!qtOwn)
            args << arg;
    }
    return args;
}

} // namespace

int main(int argc, char *argv[])
{
    // A file-size limit makes a write fail (and the viewer say so) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // The arguments are read before the window system is asked for: --help, --version and
    // wrong arguments answer on a machine without a display.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Pellister recording viewer"));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    QCommandLineOption folderOption(QStringLiteral("folder"),
                                    QStringLiteral("Load DIR at start, as \"Set Folder\" would."),
                                    QStringLiteral("DIR"));
    parser.addOption(folderOption);
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"), QStringLiteral("Also show the diagnostics of the libraries (browser engine, sound, Qt)."));
    parser.addOption(verboseOption);
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("The same as --folder DIR."),
                                 QStringLiteral("[DIR]"));
    if (!parser.parse(ProgramArguments(argc, argv))) {
        std::fprintf(stderr, "Corvana: %s\nTry 'Corvana --help'.\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        // Without an application object the usage line would name the program by its path.
        std::fputs(qPrintable(parser.helpText().replace(QRegularExpression(QStringLiteral("^Usage: \\S+")),
                                                         QStringLiteral("Usage: Corvana"))),
                   stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("Corvana (Pellister) %s\n", PELLISTER_VERSION_STRING);
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    QString folder = parser.value(folderOption);
    if (positional.size() > 1) {
        std::fprintf(stderr, "Corvana: one folder at most, not %d\nTry 'Corvana --help'.\n",
                     static_cast<int>(positional.size()));
        return 2;
    }
    if (!positional.isEmpty()) {
        if (parser.isSet(folderOption) && folder != positional.first()) {
            std::fprintf(stderr, "Corvana: two folders given (--folder %s and %s)\nTry 'Corvana --help'.\n",
                         qPrintable(folder), qPrintable(positional.first()));
            return 2;
        }
        folder = positional.first();
    }

    // Only the viewer's own lines from here on, unless the libraries' are asked for.
    HoldBackLibraryNotices(parser.isSet(verboseOption));
    // The browser's flags and graphics must be said before the application.
    CMapView::PrepareProcess(PlatformName(argc, argv));
    QApplication app(argc, argv);
    // The recorder's files and the GPX export use "." as the decimal point whatever the locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Corvana"));
    QApplication::setOrganizationName(QStringLiteral("Pellister"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pellister"));
    QApplication::setApplicationVersion(QStringLiteral(PELLISTER_VERSION_STRING));
    // The menu entry's name, so that the desktop finds the entry (and its icon) for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("pellister"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/skin/pellister.svg")));

    // A downloaded update takes the program file's place and starts it; this copy then ends.
    switch (RunStartupHandOver(QCoreApplication::applicationFilePath())) {
    case HandOverResult::EndInstance: return 0;
    case HandOverResult::StartFailed:
        CurrentPrompt().Info(nullptr, QString::fromLatin1(kMsgProcessFailed));
        break;
    case HandOverResult::ContinueStart: break;
    }

    // Caches in the user's cache folder (~/.cache/Pellister/Corvana), each within its limit:
    // thumbnails of the lists, and the browser's files with the map tiles seen.
    const QSettings settings;
    const auto megabytes = [&settings](const char *key, qint64 byDefault) {
        bool ok = false;
        const qint64 mb = settings.value(QString::fromLatin1(key)).toLongLong(&ok);
        return qMin(ok && mb >= 0 ? mb : byDefault, qint64(1) << 20) << 20; // at most a terabyte
    };
    CThumbnailer::SetCacheLimit(megabytes("thumbnailCacheMB", 64));
    const QString cacheFolder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    // The profile goes after the main frame's pages and before the application.
    std::unique_ptr<QWebEngineProfile> browserProfile;
    if (!cacheFolder.isEmpty()) {
        browserProfile.reset(CMapView::MakeCachingProfile(cacheFolder + QStringLiteral("/browser"),
                                                          megabytes("tileCacheMB", 256), nullptr));
        CMapView::SetBrowserProfile(browserProfile.get());
    }
    CMapView::SetTileSource(settings.value(QStringLiteral("tiles")).toString().trimmed(),
                            settings.value(QStringLiteral("tilesAttribution")).toString().trimmed());

    CGlobal skin;
    if (!skin.LoadDefaults())
        std::fprintf(stderr, "Corvana: some skin pictures are missing; windows are drawn without them\n");

    CCorvanaDoc doc;
    CCompositionRoot viewer(&doc);
    viewer.Frame()->show();

    if (!folder.isEmpty()) {
        // Once the window is on screen, so that the progress window has an owner to centre on.
        QTimer::singleShot(0, &viewer, [&viewer, folder] { viewer.SetFolderAndLoad(folder); });
    }
    return app.exec();
}
