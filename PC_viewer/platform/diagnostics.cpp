// Holding back the libraries' notices.
#include "platform/diagnostics.h"

#include <QByteArray>
#include <QLatin1String>

#include <cstring>

namespace {

// Warnings of Qt's own that say what it did about the machine, not what went wrong for the user.
const char *const kNoticeStarts[] = {
    "QStandardPaths: XDG_RUNTIME_DIR not set",
    "QStandardPaths: runtime directory",
    "No suitable graphics backend found",
    "PulseAudioService: pa_context_connect() failed",
    // The screenless platform (reports, exports, -platform offscreen) on what a window asked of it.
    "This plugin does not support ",
};

QtMessageHandler g_previous = nullptr;

void HoldingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (IsLibraryNotice(type, context.category, message))
        return;
    if (g_previous)
        g_previous(type, context, message);
}

} // namespace

bool TakeVerboseArgument(int &argc, char **argv)
{
    bool found = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0)
            found = true;
        else
            argv[kept++] = argv[i];
    }
    if (kept < argc)
        argv[kept] = nullptr;
    argc = kept;
    return found;
}

bool IsLibraryNotice(QtMsgType type, const char *category, const QString &message)
{
    // Debug and info lines of Qt's categories (qt.webenginecontext's start-up parameters); the
    // programs' own categories and Qt's warnings about real trouble pass.
    if ((type == QtDebugMsg || type == QtInfoMsg) && category && std::strncmp(category, "qt.", 3) == 0)
        return true;
    if (type != QtWarningMsg)
        return false;
    for (const char *start : kNoticeStarts) {
        if (message.startsWith(QLatin1String(start)))
            return true;
    }
    return false;
}

void HoldBackLibraryNotices(bool verbose)
{
    if (verbose || qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        return;
    g_previous = qInstallMessageHandler(&HoldingHandler);
}
