// `csv`: a clip's telemetry per frame as CSV for spreadsheets, read as the viewer reads it (the
// clip's record from the catalogue of its folder, its frames as the media engine measures them).
#include "cli/clicommands.h"
#include "cli/mediacommands.h"

#include "catalogue/corvanadoc.h"
#include "media/mediasource.h"
#include "export/telemetrycsv.h"

#include <QFileInfo>

namespace {

int Usage(QTextStream &err, const QString &why)
{
    if (!why.isEmpty())
        err << "pellister-cli: csv: " << why << "\n";
    err << "pellister-cli: csv: usage: csv CLIP OUT.csv [--units kmh|mph] [--track FILE.gpx]\n";
    return kExitUsage;
}

struct tagCSVARGS {
    QString strClip;
    QString strOut;
    SpeedUnit unit = SpeedUnit::Kmh;
};

int ParseArgs(const tagCLIARGS &args, tagCSVARGS *a, QTextStream &err)
{
    if (args.IsSet("units") && !ParseSpeedUnit(args.Value("units"), &a->unit))
        return Usage(err, QStringLiteral("--units must be kmh or mph, not '%1'").arg(args.Value("units")));
    a->strClip = args.positional.at(0);
    a->strOut = args.positional.at(1);
    return kExitOk;
}

int CannotOpen(QTextStream &err, const QString &clip, long hr)
{
    err << "pellister-cli: cannot open '" << clip << "': " << MediaResultText(hr) << "\n";
    return kExitFailed;
}

int RunCsv(const tagCLIARGS &args, QTextStream &out, QTextStream &err)
{
    tagCSVARGS a;
    if (const int status = ParseArgs(args, &a, err); status != kExitOk)
        return status;
    const QFileInfo clip(a.strClip);
    if (!clip.isFile())
        return CannotOpen(err, a.strClip, VFW_E_NOT_FOUND);

    // The clip's record as the list holds it: from the catalogue of its own folder.
    CCorvanaDoc doc;
    doc.SetFolder(clip.absolutePath());
    doc.SetTrackFile(CliTrackFile());
    doc.LoadFolder();
    int index = -1;
    for (int i = 0; i < doc.Count() && index < 0; ++i)
        if (QFileInfo(doc.MediaPathAt(i)).canonicalFilePath() == clip.canonicalFilePath())
            index = i;
    if (index < 0)
        return CannotOpen(err, a.strClip, VFW_E_NOT_FOUND);

    // A slip of the arguments must not put a table over a recording or its data.
    const QString target = QFileInfo(a.strOut).canonicalFilePath();
    for (int i = 0; i < doc.Count() && !target.isEmpty(); ++i) {
        const QString data = doc.DataPathAt(i);
        if (QFileInfo(doc.MediaPathAt(i)).canonicalFilePath() == target ||
            (!data.isEmpty() && QFileInfo(data).canonicalFilePath() == target))
            return Usage(err, QStringLiteral("'%1' is a file of the recordings; it is not overwritten").arg(a.strOut));
    }

    std::shared_ptr<CMediaSource> source;
    const HRESULT hr = CMediaSource::Acquire(clip.absoluteFilePath(), &source);
    if (FAILED(hr))
        return CannotOpen(err, a.strClip, hr);

    QString why;
    if (!WriteTelemetryCsv(a.strOut, doc.RecordRef(index), source->FrameTime(), source->FrameCount(), a.unit, &why)) {
        err << "pellister-cli: csv: cannot write '" << a.strOut << "': " << why << "\n";
        return kExitFailed;
    }
    out << "file=" << QFileInfo(a.strOut).absoluteFilePath() << "\n"
        << "frames=" << source->FrameCount() << "\n";
    return kExitOk;
}

} // namespace

QVector<CliCommand> CsvCommands()
{
    return {
        {"csv", "CLIP OUT.csv [--units kmh|mph] [--track FILE.gpx]",
         "Write the clip's telemetry to OUT.csv, one row per frame with what the G-sensor graph's "
         "panel shows for it: frame,time,latitude,longitude,speed,heading,x,y,z (speed in km/h or "
         "mph; empty cells where the panel shows nothing). Prints file= and frames= (exit 0).",
         2, 2, &RunCsv, true, {{"units", "kmh|mph"}}},
    };
}
