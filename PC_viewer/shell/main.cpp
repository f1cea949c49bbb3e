// Corvana, the Pellister viewer: start-up of the application, the skin, the document and the
// main frame.
#include "catalogue/corvanadoc.h"
#include "skin/global.h"
#include "skin/prompt.h"
#include "shell/mainframe.h"
#include "telemetry/mapview.h"
#include "update/handover.h"
#include "update/updateconst.h"

#include "version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <clocale>
#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    CMapView::PrepareBrowserFlags(PlatformName(argc, argv));
    // The browser shares the widgets' graphics context; this must be said before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The recorder's files and the GPX export use "." as the decimal point whatever the locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Corvana"));
    QApplication::setOrganizationName(QStringLiteral("Pellister"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pellister"));
    QApplication::setApplicationVersion(QStringLiteral(PELLISTER_VERSION_STRING));

    // A downloaded update takes the program file's place and starts it; this copy then ends.
    switch (RunStartupHandOver(QCoreApplication::applicationFilePath())) {
    case HandOverResult::EndInstance: return 0;
    case HandOverResult::StartFailed:
        CurrentPrompt().Info(nullptr, QString::fromLatin1(kMsgProcessFailed));
        break;
    case HandOverResult::ContinueStart: break;
    }

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
