// pellister-cli `trips`: the drives and parking periods of a folder, one line each.
#include "cli/clicommands.h"

#include "catalogue/corvanadoc.h"
#include "trips/trips.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace {

int Usage(QTextStream &err, const QString &why)
{
    err << "pellister-cli: trips: " << why << "\n"
        << "Usage: pellister-cli trips FOLDER [--gap SECONDS] [--track FILE.gpx]\n";
    return kExitUsage;
}

int RunTrips(const tagCLIARGS &args, QTextStream &out, QTextStream &err)
{
    tagTRIPSETTINGS settings;
    if (args.IsSet("gap")) {
        bool ok = false;
        const QString value = args.Value("gap");
        settings.dGapSeconds = value.toDouble(&ok);
        if (!ok || !std::isfinite(settings.dGapSeconds) || settings.dGapSeconds < 0.0)
            return Usage(err, QStringLiteral("--gap must be a number of seconds, 0 or more, not '%1'").arg(value));
    }
    CCorvanaDoc doc;
    if (!LoadFolderArgument(args.positional.at(0), &doc, err))
        return kExitFailed;
    const QVector<tagTRIP> trips = BuildTrips(doc, settings);
    for (int i = 0; i < trips.size(); ++i) {
        const tagTRIP &t = trips.at(i);
        out << i << '\t' << TripKindName(t.nKind) << '\t' << (t.bHasTime ? TripClockText(t.llStartMs) : QString())
            << '\t' << (t.bHasTime ? TripClockText(t.llEndMs) : QString()) << '\t' << t.nClips << '\t'
            << QString::asprintf("%.2f", t.dDistanceMetres / 1000.0) << '\t'
            << (t.bHasMaxSpeed ? QString::asprintf("%.1f", t.dMaxSpeedKmh) : QString()) << '\t' << t.vecEvents.size()
            << '\n';
    }
    return kExitOk;
}

} // namespace

QVector<CliCommand> TripCommands()
{
    return {
        {"trips", "FOLDER [--gap SECONDS] [--track FILE.gpx]",
         "List the trips of FOLDER: recordings one after another (each starting within SECONDS, "
         "default 60, of the end of those before) as drives and parking periods, then every "
         "recording without a time alone. One line each, TAB separated: index, drive, parking or "
         "single, start and end (YYYY-MM-DD hh:mm:ss.mmm), clips, distance in km, top speed in km/h "
         "(empty without GPS), events (Event and User recordings, G-sensor peaks)",
         1, 1, RunTrips, true, {{"gap", "SECONDS"}}},
    };
}
