// pellister-cli commands of the recording catalogue: list a folder, export a clip's GPS track.
#include "cli/clicommands.h"

#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"

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
         "source (dat, nmea, gpx, gpmf, camm, novatek, blackvue, thinkware, garmin, sstar, 70mai or empty), channels joined by \"+\" (TAB separated)",
         1, 1, RunCatalogue, true},
        {"gpx", "CLIP OUT.gpx [--track FILE.gpx]",
         "Export the GPS fixes of CLIP (from its data file, a log beside it, a track inside it or "
         "the day's track) as a GPX 1.0 track", 2, 2, RunGpx, true},
    };
}
