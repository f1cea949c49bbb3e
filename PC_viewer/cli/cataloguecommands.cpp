// pellister-cli commands of the recording catalogue: list a folder, export a clip's GPS track.
#include "cli/clicommands.h"

#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"
#include "export/trackfiles.h"
#include "trips/trips.h"

#include <QDir>
#include <QFileInfo>

namespace {

int RunCatalogue(const tagCLIARGS &args, QTextStream &out, QTextStream &err)
{
    CCorvanaDoc doc;
    if (!LoadFolderArgument(args.positional.at(0), &doc, err))
        return kExitFailed;
    for (int i = 0; i < doc.Count(); ++i) {
        const tagDATAFILEINFO &rec = doc.RecordRef(i);
        const QString media = doc.MediaPathAt(i);
        out << i << '\t' << RecordingTypeName(rec.nType) << '\t' << RecordListText(rec, media) << '\t'
            << QDir::toNativeSeparators(media) << '\t' << QDir::toNativeSeparators(doc.DataPathAt(i)) << '\t'
            << rec.vecAccel.size() << '\t' << rec.vecGps.size() << '\t' << TelemetrySourceName(rec.nSource) << '\t'
            << doc.ClipsAt(i).ChannelList() << '\n';
    }
    return kExitOk;
}

int RunGpx(const tagCLIARGS &args, QTextStream &out, QTextStream &err)
{
    const QString clip = QDir::fromNativeSeparators(args.positional.at(0));
    if (!QFileInfo(clip).isFile()) {
        err << "pellister-cli: no such clip: " << args.positional.at(0) << "\n";
        return kExitFailed;
    }
    QVector<tagGPXPOINT> track;
    if (!CliTrackFile().isEmpty() && !CCorvanaDoc::ReadTrackFile(CliTrackFile(), &track, nullptr)) {
        err << "pellister-cli: cannot read the track " << CliTrackFile() << "\n";
        return kExitFailed;
    }
    const tagDATAFILEINFO rec = CCorvanaDoc::RecordOfClip(clip, track);
    if (rec.bValid != 1 || rec.vecGps.isEmpty()) {
        out << "GPS data does not exist.\n";
        return kExitFailed;
    }
    if (CDataFileInfo::WriteGpx(QDir::fromNativeSeparators(args.positional.at(1)), FixesInUtc(rec)) == 1) {
        out << "Success to convert the data.\n";
        return kExitOk;
    }
    out << "An error occured in converting.\n";
    return kExitFailed;
}

// The record of CLIP as its folder's catalogue holds it (its camera's clock, the card's
// correction), with --track; false with the message said.
bool RecordOfClipArgument(const QString &argument, tagDATAFILEINFO *rec, QTextStream &err)
{
    const QString clip = QDir::fromNativeSeparators(argument);
    if (!QFileInfo(clip).isFile()) {
        err << "pellister-cli: no such clip: " << argument << "\n";
        return false;
    }
    QVector<tagGPXPOINT> track;
    if (!CliTrackFile().isEmpty() && !CCorvanaDoc::ReadTrackFile(CliTrackFile(), &track, nullptr)) {
        err << "pellister-cli: cannot read the track " << CliTrackFile() << "\n";
        return false;
    }
    *rec = CCorvanaDoc::RecordOfClip(clip, track);
    return true;
}

bool UnitArgument(const tagCLIARGS &args, SpeedUnit *unit, QTextStream &err)
{
    if (!args.IsSet("units") || ParseSpeedUnit(args.Value("units"), unit))
        return true;
    err << "pellister-cli: --units must be kmh or mph, not '" << args.Value("units") << "'\n";
    return false;
}

int Written(const QString &path, const QByteArray &bytes, QTextStream &out, QTextStream &err)
{
    QString why;
    if (!WriteBesideAndRename(path, bytes, &why)) {
        err << "pellister-cli: cannot write '" << path << "': " << why << "\n";
        return kExitFailed;
    }
    out << "file=" << QDir::toNativeSeparators(path) << "\n";
    return kExitOk;
}

int RunSrt(const tagCLIARGS &args, QTextStream &out, QTextStream &err)
{
    SpeedUnit unit = SpeedUnit::Kmh;
    if (!UnitArgument(args, &unit, err))
        return kExitUsage;
    tagDATAFILEINFO rec;
    if (!RecordOfClipArgument(args.positional.at(0), &rec, err))
        return kExitFailed;
    if (rec.bValid != 1 || rec.vecGps.isEmpty()) {
        err << "pellister-cli: srt: GPS data does not exist.\n";
        return kExitFailed;
    }
    const double seconds = ClipDurationSeconds(QDir::fromNativeSeparators(args.positional.at(0)));
    return Written(QDir::fromNativeSeparators(args.positional.at(1)), FormatSrt(rec, seconds, unit), out, err);
}

int RunKml(const tagCLIARGS &args, QTextStream &out, QTextStream &err)
{
    SpeedUnit unit = SpeedUnit::Kmh;
    if (!UnitArgument(args, &unit, err))
        return kExitUsage;
    const QString source = QDir::fromNativeSeparators(args.positional.at(0));
    const QString target = QDir::fromNativeSeparators(args.positional.at(1));
    QVector<tagKMLPLACE> places;
    if (QFileInfo(source).isDir()) {
        CCorvanaDoc doc;
        if (!LoadFolderArgument(source, &doc, err))
            return kExitFailed;
        places = TripPlaces(doc, unit);
    } else {
        tagDATAFILEINFO rec;
        if (!RecordOfClipArgument(source, &rec, err))
            return kExitFailed;
        places.append({QFileInfo(source).fileName(), RecordListText(rec, source), rec.vecGps});
    }
    const QByteArray kml = FormatKml(QFileInfo(source).fileName(), places);
    if (!kml.contains("<Placemark>")) {
        err << "pellister-cli: kml: GPS data does not exist.\n";
        return kExitFailed;
    }
    return Written(target, kml, out, err);
}

} // namespace

bool LoadFolderArgument(const QString &folder, CCorvanaDoc *doc, QTextStream &err)
{
    if (!QFileInfo(folder).isDir()) {
        err << "pellister-cli: not a folder: " << folder << "\n";
        return false;
    }
    doc->SetFolder(QDir::fromNativeSeparators(folder));
    doc->SetTrackFile(CliTrackFile());
    doc->LoadFolder();
    return true;
}

QVector<CliCommand> CatalogueCommands()
{
    return {
        {"catalogue", "FOLDER [--track FILE.gpx]",
         "List the recordings of FOLDER in the viewer's order: index, kind, start time or file "
         "name, media path (the main channel's), data path, G-sensor samples, GPS fixes, telemetry "
         "source (dat, nmea, gpx, gpmf, camm, novatek, blackvue, thinkware, garmin, sstar, 70mai, nextbase, tesla or empty), channels joined by \"+\" (TAB separated)",
         1, 1, RunCatalogue, true},
        {"gpx", "CLIP OUT.gpx [--track FILE.gpx]",
         "Export the GPS fixes of CLIP (from its data file, a log beside it, a track inside it or "
         "the day's track) as a GPX 1.0 track", 2, 2, RunGpx, true},
        {"srt", "CLIP OUT.srt [--units kmh|mph] [--track FILE.gpx]",
         "Write the GPS of CLIP as SubRip subtitles, one cue a second: time, speed, position", 2, 2, RunSrt, true,
         {{"units", "kmh|mph"}}},
        {"kml", "CLIP|FOLDER OUT.kml [--units kmh|mph] [--track FILE.gpx]",
         "Write the GPS track of CLIP, or the trips of FOLDER as placemarks, as KML", 2, 2, RunKml, true,
         {{"units", "kmh|mph"}}},
    };
}
