// pellister-cli: the viewer's catalogue, media and export code without the main window.
#include "cli/clicommands.h"
#include "cli/exportcommands.h"
#include "cli/mediacommands.h"
#include "cli/reportcommands.h"

#include "catalogue/cameraclock.h"
#include "catalogue/corvanadoc.h"
#include "platform/diagnostics.h"
#include "version.h"

#include <QCoreApplication>
#include <QRegularExpression>

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
      << "  --clock-offset SECONDS\n"
      << "             With any command: add SECONDS (+3600, -2.5) to every time the cameras\n"
      << "             recorded, in place of the correction the viewer keeps for the card.\n"
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
    // The viewer's settings: what the user keeps for a card (its cameras' offsets) holds here too.
    QCoreApplication::setApplicationName(QStringLiteral("Corvana"));
    QCoreApplication::setOrganizationName(QStringLiteral("Pellister"));
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
    // A clock correction for every card the command reads, in place of the ones the viewer keeps.
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        const bool joined = arg.startsWith(QLatin1String("--clock-offset="));
        if (!joined && arg != QLatin1String("--clock-offset"))
            continue;
        const QString value = joined ? arg.mid(int(sizeof "--clock-offset=") - 1) : args.value(i + 1);
        int64_t ms = 0;
        if (!ParseClockCorrection(value, &ms)) {
            err << "pellister-cli: --clock-offset takes a number of seconds (+3600, -2.5), got \"" << value << "\"\n";
            return kExitUsage;
        }
        SetClockCorrectionForAllCards(ms);
        args.remove(i, joined ? 1 : 2);
        --i;
    }
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
        const auto usage = [&](const QString &why) {
            err << "pellister-cli: " << c.name << ": " << why << "\n"
                << "Usage: pellister-cli " << c.name << ' ' << c.synopsis << "\n";
            return static_cast<int>(kExitUsage);
        };
        QCommandLineParser parser;
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOption(QCommandLineOption(QStringLiteral("help")));
        QVector<CliOption> options = c.options;
        if (c.bTrack)
            options.append(CliOption{"track", "FILE.gpx"});
        for (const CliOption &o : options) {
            parser.addOption(o.valueName ? QCommandLineOption(QString::fromLatin1(o.name), QString(),
                                                              QString::fromLatin1(o.valueName))
                                         : QCommandLineOption(QString::fromLatin1(o.name)));
        }
        // A negative number ("play CLIP -2") is an argument, not an option: it is held back from
        // the parser under a name no option has.
        QStringList numbers;
        QStringList parsed{QStringLiteral("pellister-cli")};
        static const QRegularExpression negative(QStringLiteral("^-[0-9][0-9.]*$"));
        for (const QString &arg : args) {
            if (negative.match(arg).hasMatch()) {
                parsed << QStringLiteral("\x01%1").arg(numbers.size());
                numbers << arg;
            } else {
                parsed << arg;
            }
        }
        if (!parser.parse(parsed))
            return usage(parser.errorText());
        if (parser.isSet(QStringLiteral("help"))) {
            out << "Usage: pellister-cli " << c.name << ' ' << c.synopsis << "\n" << c.summary << "\n";
            return kExitOk;
        }
        tagCLIARGS a;
        a.parser = &parser;
        for (const QString &arg : parser.positionalArguments())
            a.positional << (arg.startsWith(QLatin1Char('\x01')) ? numbers.value(arg.mid(1).toInt()) : arg);
        if (c.bTrack && parser.isSet(QStringLiteral("track"))) {
            const QString track = parser.value(QStringLiteral("track"));
            QVector<tagGPXPOINT> points;
            QString why;
            if (!CCorvanaDoc::ReadTrackFile(track, &points, &why)) {
                err << "pellister-cli: " << c.name << ": " << why << "\n";
                return kExitFailed;
            }
            SetCliTrackFile(track);
        }
        if (a.positional.size() < c.minArgs || a.positional.size() > c.maxArgs)
            return usage(QStringLiteral("takes %1").arg(QString::fromLatin1(c.synopsis)));
        const int status = c.run(a, out, err);
        out.flush();
        err.flush();
        return status;
    }
    err << "pellister-cli: unknown command '" << name << "' (see pellister-cli --help)\n";
    return kExitUsage;
}
