// `export` and `evidence`: a stretch of driving as an MP4 with the telemetry burnt in (or cut
// losslessly), and the evidence package around it.
#include "cli/exportcommands.h"

#include "cli/mediacommands.h"
#include "cli/reportcommands.h"

#include "catalogue/corvanadoc.h"
#include "export/evidencepackage.h"
#include "export/videoexport.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <memory>

namespace {

int Usage(QTextStream &err, const char *command, const QString &why)
{
    if (!why.isEmpty())
        err << "pellister-cli: " << command << ": " << why << "\n";
    if (qstrcmp(command, "export") == 0)
        err << "pellister-cli: export: usage: export CLIP [NEXT_CLIP ...] --from N --to M [--overlay LIST] "
               "[--units kmh|mph] [--no-sound] [--copy] [--channels LIST] [--layout side|pip|grid] [--track FILE.gpx] "
               "[--blur X,Y,W,H[@F] ...] [--privacy] OUT.mp4\n";
    else
        err << "pellister-cli: evidence: usage: evidence CLIP [NEXT_CLIP ...] --from N --to M [--units kmh|mph] "
               "[--track FILE.gpx] [--blur X,Y,W,H[@F] ...] [--privacy] OUTDIR\n";
    return kExitUsage;
}

bool ReadFrame(const QString &value, qint64 *frame)
{
    bool ok = false;
    *frame = value.toLongLong(&ok);
    return ok && *frame >= 0;
}

} // namespace

int ParseRangeArgs(const tagCLIARGS &args, const char *command, bool bExportOptions, tagRANGEARGS *a,
                   QTextStream &err)
{
    if (bExportOptions) {
        a->options.bSound = !args.IsSet("no-sound");
        a->options.bCopy = args.IsSet("copy");
        if (args.IsSet("overlay")) {
            QString bad;
            if (!ParseOverlayList(args.Value("overlay"), &a->options.nOverlay, &bad))
                return Usage(err, command,
                             QStringLiteral("unknown overlay item '%1' (items: %2)").arg(bad, OverlayListText(OVERLAY_ALL)));
        }
    }
    if (bExportOptions && args.IsSet("channels")) {
        for (const QString &name : args.Value("channels").split(QRegularExpression(QStringLiteral("[,+]")), Qt::SkipEmptyParts))
            a->options.channels << name.trimmed();
        // The names themselves are checked with the range (CVideoExporter::Prepare).
        if (a->options.channels.isEmpty())
            return Usage(err, command, QStringLiteral("--channels needs camera names (front,rear,...)"));
    }
    if (bExportOptions && args.IsSet("layout")) {
        if (!ParseExportLayout(args.Value("layout"), &a->options.layout))
            return Usage(err, command, QStringLiteral("--layout must be side, pip or grid, not '%1'").arg(args.Value("layout")));
        a->bAllChannels = a->options.channels.isEmpty();
    }
    if (a->Composed() && a->options.bCopy)
        return Usage(err, command, QStringLiteral("--copy cuts one camera's clip; --channels and --layout need the pictures encoded"));
    if (!args.IsSet("from") || !args.IsSet("to"))
        return Usage(err, command, QStringLiteral("--from and --to are needed"));
    if (!ReadFrame(args.Value("from"), &a->llFrom))
        return Usage(err, command, QStringLiteral("--from needs a frame number, not '%1'").arg(args.Value("from")));
    if (!ReadFrame(args.Value("to"), &a->llTo))
        return Usage(err, command, QStringLiteral("--to needs a frame number, not '%1'").arg(args.Value("to")));
    if (args.IsSet("units") && !ParseSpeedUnit(args.Value("units"), &a->options.unit))
        return Usage(err, command, QStringLiteral("--units must be kmh or mph, not '%1'").arg(args.Value("units")));
    // Regions to blur: their frames counted from the range's first (the picture and the range
    // check them once the clips are measured).
    for (const QString &text : args.Values("blur")) {
        tagBLURREGION region;
        QRect rect;
        int64_t frame = -1;
        QString why;
        if (!ParseBlurRegion(text, &rect, &frame, &why))
            return Usage(err, command, why);
        region.bFollow = frame >= 0;
        if (region.bFollow && frame < a->llFrom)
            return Usage(err, command,
                         QStringLiteral("the frame of --blur %1 is before the range, which starts at frame %2")
                             .arg(text)
                             .arg(a->llFrom));
        region.keys.insert(region.bFollow ? frame - a->llFrom : 0, rect);
        a->options.blur.append(region);
    }
    a->options.bPrivacy = args.IsSet("privacy");
    if (a->options.bCopy && (!a->options.blur.isEmpty() || a->options.bPrivacy))
        return Usage(err, command,
                     QStringLiteral("--copy keeps the pictures and tags as recorded; --blur and --privacy need the "
                                    "pictures encoded"));
    QStringList positional = args.positional;
    a->strOut = positional.takeLast();
    a->clips = positional;
    return kExitOk;
}

int LoadRangeClips(const tagRANGEARGS &a, const char *command, QVector<tagEXPORTCLIP> *clips, QString *catalogueRoot,
                   QTextStream &err)
{
    // Each clip's record as the viewer reads it: from the catalogue of the clip's own folder.
    QHash<QString, std::shared_ptr<CCorvanaDoc>> docs;
    struct Placed {
        std::shared_ptr<CCorvanaDoc> doc;
        int index;
    };
    QVector<Placed> placed;
    for (const QString &named : a.clips) {
        // Cameras composed: the clip stands for its recording, whose frames are the main camera's.
        tagRECORDINGCLIPS recording;
        QString clip = named;
        if (a.Composed() && QFileInfo(named).isFile()) {
            recording = CCorvanaDoc::RecordingOfClip(QFileInfo(named).absoluteFilePath());
            if (!recording.channels.isEmpty())
                clip = recording.channels.first().strMediaPath;
        }
        const QFileInfo info(clip);
        if (!info.isFile()) {
            err << "pellister-cli: cannot open '" << clip << "': " << MediaResultText(VFW_E_NOT_FOUND) << "\n";
            return kExitFailed;
        }
        std::shared_ptr<CCorvanaDoc> &doc = docs[info.absolutePath()];
        if (!doc) {
            doc = std::make_shared<CCorvanaDoc>();
            doc->SetFolder(info.absolutePath());
            doc->SetTrackFile(CliTrackFile());
            doc->LoadFolder();
        }
        int index = -1;
        for (int i = 0; i < doc->Count() && index < 0; ++i)
            if (QFileInfo(doc->MediaPathAt(i)).canonicalFilePath() == info.canonicalFilePath())
                index = i;
        if (index < 0) {
            err << "pellister-cli: cannot open '" << clip << "': " << MediaResultText(VFW_E_NOT_FOUND) << "\n";
            return kExitFailed;
        }
        placed.append({doc, index});
        tagEXPORTCLIP c;
        c.strPath = info.absoluteFilePath();
        c.strDataPath = doc->DataPathAt(index);
        c.moreDataPaths = doc->DataFilesAt(index).mid(1);
        c.record = doc->RecordAt(index);
        c.channels = recording.channels;
        clips->append(c);
    }
    // The clips must follow each other in time as continuous play goes: each after the one
    // before, with no recording of their folders in between.
    for (int i = 1; i < placed.size(); ++i) {
        const tagDATAFILEINFO &prev = clips->at(i - 1).record;
        const tagDATAFILEINFO &next = clips->at(i).record;
        int64_t kp = 0, kn = 0;
        const bool keyed = OrderingKey(prev, &kp) && OrderingKey(next, &kn);
        bool consecutive = keyed ? kn > kp : FileNameOfPath(clips->at(i).strPath) > FileNameOfPath(clips->at(i - 1).strPath);
        for (auto d = docs.cbegin(); keyed && consecutive && d != docs.cend(); ++d)
            for (int r = 0; r < d.value()->Count() && consecutive; ++r) {
                int64_t k = 0;
                if (OrderingKey(d.value()->RecordRef(r), &k) && k > kp && k < kn)
                    consecutive = false;
            }
        if (!consecutive)
            return Usage(err, command,
                         QStringLiteral("'%1' does not follow '%2' in time")
                             .arg(FileNameOfPath(clips->at(i).strPath), FileNameOfPath(clips->at(i - 1).strPath)));
    }
    (*clips)[0].llFrom = a.llFrom;
    clips->last().llTo = a.llTo;
    if (catalogueRoot)
        *catalogueRoot = QFileInfo(a.clips.first()).absolutePath();
    return kExitOk;
}

namespace {

int RunExport(const tagCLIARGS &args, QTextStream &out, QTextStream &err)
{
    tagRANGEARGS a;
    if (const int status = ParseRangeArgs(args, "export", true, &a, err); status != kExitOk)
        return status;
    QVector<tagEXPORTCLIP> clips;
    if (const int status = LoadRangeClips(a, "export", &clips, nullptr, err); status != kExitOk)
        return status;
    if (a.bAllChannels)
        a.options.channels = ChannelsOfRange(clips);
    CVideoExporter exporter(clips, a.options);
    QString why;
    HRESULT hr = exporter.Prepare(&why);
    if (hr == E_INVALIDARG)
        return Usage(err, "export", why);
    if (FAILED(hr)) {
        err << "pellister-cli: export: " << why << ": " << MediaResultText(hr) << "\n";
        return kExitFailed;
    }
    if (a.options.bCopy && exporter.CopyStartFrame() != a.llFrom)
        err << "pellister-cli: export: a lossless cut starts at a key picture: frame " << exporter.CopyStartFrame()
            << " instead of " << a.llFrom << "\n";
    tagEXPORTRESULT r;
    hr = exporter.Run(a.strOut, {}, &r, &why);
    if (FAILED(hr)) {
        err << "pellister-cli: export: " << why << "\n";
        return kExitFailed;
    }
    if (r.llStandIns > 0)
        err << "pellister-cli: export: " << r.llStandIns
            << " pictures could not be decoded; the picture before each stands in for it\n";
    out << "file=" << r.strFile << "\n"
        << "frames=" << r.llFrames << "\n"
        << "duration=" << r.llDuration << "\n";
    if (a.options.bCopy)
        out << "from=" << r.llCopyFrom << "\n";
    return kExitOk;
}

int RunEvidence(const tagCLIARGS &args, QTextStream &out, QTextStream &err)
{
    tagRANGEARGS a;
    if (const int status = ParseRangeArgs(args, "evidence", false, &a, err); status != kExitOk)
        return status;
    tagEVIDENCEJOB job;
    if (const int status = LoadRangeClips(a, "evidence", &job.clips, &job.strCatalogueRoot, err); status != kExitOk)
        return status;
    job.options = a.options;
    // --blur or --privacy: a redacted copy for sharing beside the originals; the package's own
    // video stays whole.
    job.bSharedCopy = !a.options.blur.isEmpty() || a.options.bPrivacy;
    job.shared = a.options;
    job.options.blur.clear();
    job.options.bPrivacy = false;
    {
        // The range (and the shared copy's regions) are checked before anything is written.
        CVideoExporter check(job.clips, job.bSharedCopy ? job.shared : job.options);
        QString why;
        const HRESULT hr = check.Prepare(&why);
        if (hr == E_INVALIDARG)
            return Usage(err, "evidence", why);
        if (FAILED(hr)) {
            err << "pellister-cli: evidence: " << why << ": " << MediaResultText(hr) << "\n";
            return kExitFailed;
        }
    }
    const EvidenceReportWriter report = [&](const QString &pdf, const tagEVIDENCEFACTS &facts, QString *why) {
        tagREPORTJOB r;
        r.strClip = job.clips.first().strPath;
        r.strOut = pdf;
        r.moment.llFrame = job.clips.first().llFrom;
        const tagEVIDENCEFACTS copy = facts;
        r.drawExtraPage = [copy](QPainter &p, const QSize &page, int i) { DrawEvidencePage(p, page, copy, i); };
        r.countExtraPages = [copy](const QSize &page) { return EvidencePageCount(page, copy); };
        QString messages;
        QTextStream sink(&messages);
        const int status = PrintReportOfMoment(r, "evidence", out, sink, nullptr);
        sink.flush();
        err << messages;
        if (status != kExitOk)
            *why = QStringLiteral("the report could not be printed");
        return status == kExitOk;
    };
    CEvidencePackage package(job);
    tagEVIDENCEFACTS facts;
    QString why;
    const HRESULT hr = package.Run(a.strOut, report, {}, &facts, &why);
    if (hr == E_INVALIDARG)
        return Usage(err, "evidence", why);
    if (FAILED(hr)) {
        err << "pellister-cli: evidence: " << why << "\n";
        return kExitFailed;
    }
    out << "folder=" << QFileInfo(a.strOut).absoluteFilePath() << "\n";
    for (const tagEVIDENCEFILE &f : facts.files)
        out << "file=" << f.strPath << "\n";
    out << "clock_offset=" << facts.strClockOffset << "\n";
    return kExitOk;
}

} // namespace

QVector<CliCommand> EvidenceCommands()
{
    return {
        {"evidence", "CLIP [NEXT_CLIP ...] --from N --to M [--units kmh|mph] [--track FILE.gpx] "
                     "[--blur X,Y,W,H[@F] ...] [--privacy] OUTDIR",
         "Write an evidence package of frames N of the first clip to M of the last into the new folder OUTDIR: "
         "originals/ (the clips and data files byte for byte), the range as MP4 with the telemetry burnt in, "
         "report.pdf (the report of frame N and the Evidence pages), manifest.json and SHA256SUMS "
         "(sha256sum -c SHA256SUMS checks it). With --blur or --privacy (as for export) the package also holds "
         "shared/<name>_redacted.mp4, a copy for sharing, listed as derived. Prints folder=, one file= per file "
         "and clock_offset=.",
         2, 64, &RunEvidence, true,
         {{"from", "N"}, {"to", "M"}, {"units", "kmh|mph"}, {"blur", "X,Y,W,H[@F]"}, {"privacy", nullptr}}},
    };
}

QVector<CliCommand> ExportCommands()
{
    return {
        {"export", "CLIP [NEXT_CLIP ...] --from N --to M [--overlay LIST] [--units kmh|mph] [--no-sound] [--copy] "
                   "[--channels LIST] [--layout side|pip|grid] [--track FILE.gpx] [--blur X,Y,W,H[@F] ...] [--privacy] OUT.mp4",
         "Write frames N of the first clip to M of the last (the clips between whole; they must follow each "
         "other in time) to OUT.mp4: H.264 and AAC with a band of telemetry under the picture (LIST: "
         "time,speed,position,heading,gsensor,kind,name; default all), or with --copy the recorded streams "
         "copied from the key picture at or before N. --channels (front,rear,interior,left,right,left_pillar,"
         "right_pillar) composes those cameras of each recording, each showing its picture of the main camera's "
         "moment: side by side at the main camera's height (side, the default), the others small in the "
         "bottom right corner (pip) or a grid; --layout alone takes every camera. N and M then count the main "
         "camera's frames. --blur X,Y,W,H (first clip's pixels; may repeat) pixelates that region throughout, "
         "X,Y,W,H@F marks it at frame F of the first clip and follows what it covers forwards and backwards "
         "through the range. --privacy leaves the time, speed, position and file name out of the band and every "
         "time and place tag out of the file. Prints file=, frames=, duration= (100 ns) and, for --copy, from=.",
         2, 64, &RunExport, true,
         {{"from", "N"},
          {"to", "M"},
          {"overlay", "LIST"},
          {"units", "kmh|mph"},
          {"no-sound", nullptr},
          {"copy", nullptr},
          {"channels", "LIST"},
          {"layout", "side|pip|grid"},
          {"blur", "X,Y,W,H[@F]"},
          {"privacy", nullptr}}},
    };
}
