// pellister-cli: the viewer's catalogue, media and export code without the main window.
#include "cli/clicommands.h"
#include "cli/exportcommands.h"
#include "cli/mediacommands.h"
#include "cli/reportcommands.h"

#include "catalogue/corvanadoc.h"
#include "platform/diagnostics.h"
#include "version.h"

#include <QCoreApplication>

#include <clocale>
#include <csignal>
#include <cstdio>

namespace {

QString &TrackFile()
{
    static QString path;
    return path;
}

QVector<CliCommand> AllCommands()
{
    QVector<CliCommand> all;
    all += CatalogueCommands();
    all += TripCommands();
    all += MediaCommands();
    all += DeviceConfigCommands();
    all += ReportCommands();
    all += ExportCommands();
    all += EvidenceCommands();
    all += CsvCommands();
    return all;
}

void PrintUsage(QTextStream &s, const QVector<CliCommand> &commands)
{
    s << "Usage: pellister-cli COMMAND [ARGUMENTS]\n\n"
      << "Pellister " << PELLISTER_VERSION_STRING << " command-line companion.\n\nCommands:\n";
    for (const CliCommand &c : commands)
        s << "  " << c.name << ' ' << c.synopsis << "\n      " << c.summary << "\n";
    s << "\n  --help     Show this text.\n  --version  Show the version.\n"
      << "  --verbose  With any command: also show the libraries' diagnostics (browser engine, Qt).\n"
      << "\nExit status: 0 success, 1 the command failed, 2 wrong arguments.\n";
}

} // namespace

QString CliTrackFile()
{
    return TrackFile();
}

void SetCliTrackFile(const QString &path)
{
    TrackFile() = path;
}

int main(int argc, char *argv[])
{
    // Only the command's own lines, unless the libraries' are asked for.
    HoldBackLibraryNotices(TakeVerboseArgument(argc, argv));
    const std::unique_ptr<QCoreApplication> app = MakeCliApplication(argc, argv);
    // Files for and from the recorder always use '.' as the decimal point.
    std::setlocale(LC_NUMERIC, "C");
    // A file-size limit makes a write fail (and say so) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QVector<CliCommand> commands = AllCommands();
    QStringList args = app->arguments().mid(1);
    if (args.isEmpty()) {
        PrintUsage(err, commands);
        return kExitUsage;
    }
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        PrintUsage(out, commands);
        return kExitOk;
    }
    if (name == QLatin1String("--version") || name == QLatin1String("-v")) {
        out << "pellister-cli (Pellister) " << PELLISTER_VERSION_STRING << "\n";
        return kExitOk;
    }
    for (const CliCommand &c : commands) {
        if (name != QLatin1String(c.name))
            continue;
        if (args.contains(QLatin1String("--help"))) {
            out << "Usage: pellister-cli " << c.name << ' ' << c.synopsis << "\n" << c.summary << "\n";
            return kExitOk;
        }
        const int track = c.bTrack ? static_cast<int>(args.indexOf(QLatin1String("--track"))) : -1;
        if (track >= 0) {
            if (track + 1 >= args.size()) {
                err << "pellister-cli: " << c.name << ": --track needs a GPX file\n";
                return kExitUsage;
            }
            QVector<tagGPXPOINT> points;
            QString why;
            if (!CCorvanaDoc::ReadTrackFile(args.at(track + 1), &points, &why)) {
                err << "pellister-cli: " << c.name << ": " << why << "\n";
                return kExitFailed;
            }
            SetCliTrackFile(args.at(track + 1));
            args.remove(track, 2);
        }
        if (args.size() < c.minArgs || args.size() > c.maxArgs) {
            err << "pellister-cli: " << c.name << " takes " << c.synopsis << "\n"
                << "Usage: pellister-cli " << c.name << ' ' << c.synopsis << "\n";
            return kExitUsage;
        }
        const int status = c.run(args, out, err);
        out.flush();
        err.flush();
        return status;
    }
    err << "pellister-cli: unknown command '" << name << "' (see pellister-cli --help)\n";
    return kExitUsage;
}
