// Assembly of an evidence package.
#include "export/evidencepackage.h"

#include "catalogue/cameraclock.h"
#include "catalogue/corvanadoc.h"
#include "catalogue/momentnotes.h"
#include "device_config/configstore.h"
#include "playback/snapshot.h"
#include "telemetry/graphgeometry.h"
#include "version.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTimeZone>

#include <algorithm>
#include <memory>

const char kEvidenceOriginals[] = "originals";
const char kEvidenceReport[] = "report.pdf";
const char kEvidenceDerived[] = "derived";
const char kEvidenceManifest[] = "manifest.json";
const char kEvidenceSums[] = "SHA256SUMS";
const char kEvidenceShared[] = "shared";
const char kEvidenceNotes[] = "notes.json";

namespace {

// A data file is read this far for the clock offset.
constexpr qint64 kClockScanBytes = 64LL * 1024 * 1024;

QString BaseName(const QString &path)
{
    return QFileInfo(path).completeBaseName();
}

// Where a file of the card goes inside originals/: its path below the catalogue folder, or just
// its name for a file outside it.
QString OriginalPath(const QString &root, const QString &file)
{
    QString rel = root.isEmpty() ? QString() : QDir(root).relativeFilePath(QFileInfo(file).absoluteFilePath());
    if (rel.isEmpty() || rel.startsWith(QLatin1String("..")) || QDir::isAbsolutePath(rel))
        rel = QFileInfo(file).fileName();
    return QLatin1String(kEvidenceOriginals) + QLatin1Char('/') + rel;
}

bool RemoveTree(const QString &path)
{
    return QDir(path).removeRecursively();
}

} // namespace

QString FrameTimeText(const tagDATAFILEINFO &rec, int64_t frame, int64_t frameTime)
{
    int64_t startMs = 0;
    if (rec.bValid != 1 || !TimeKey(rec.stSyncTime, &startMs) || frameTime <= 0)
        return QString();
    const int64_t ms = startMs + frame * frameTime / 10000;
    const QDateTime dt = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    return dt.isValid() ? dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) : QString();
}

QString ExportFileName(const QVector<tagEXPORTCLIP> &clips)
{
    if (clips.isEmpty())
        return QStringLiteral("export.mp4");
    const tagEXPORTCLIP &first = clips.first();
    const tagEXPORTCLIP &last = clips.last();
    // Plain concatenation: a '%' in a clip's name must stay a '%'.
    if (clips.size() == 1)
        return BaseName(first.strPath) + QLatin1Char('_') + QString::number(first.llFrom) + QLatin1Char('-') +
               QString::number(last.llTo) + QStringLiteral(".mp4");
    return BaseName(first.strPath) + QLatin1Char('_') + QString::number(first.llFrom) + QLatin1Char('-') +
           BaseName(last.strPath) + QLatin1Char('_') + QString::number(last.llTo) + QStringLiteral(".mp4");
}

QString RedactedFileName(const QString &exportName)
{
    return QFileInfo(exportName).completeBaseName() + QStringLiteral("_redacted.mp4");
}

CEvidencePackage::CEvidencePackage(tagEVIDENCEJOB job) : m_job(std::move(job))
{
    m_job.options.bCopy = false;
    m_job.shared.bCopy = false;
}

void CEvidencePackage::Cancel()
{
    m_bCancel.store(true);
}

HRESULT CEvidencePackage::Run(const QString &outDir, const EvidenceReportWriter &report,
                              const EvidenceProgress &progress, tagEVIDENCEFACTS *facts, QString *why)
{
    const QString target = QFileInfo(outDir).absoluteFilePath();
    if (QFileInfo::exists(target)) {
        *why = QStringLiteral("'%1' exists already; a package goes into a new folder").arg(target);
        return E_INVALIDARG;
    }
    const QString staging = target + QStringLiteral(".part");
    if (QFileInfo::exists(staging) && !RemoveTree(staging)) {
        *why = QStringLiteral("cannot clear '%1'").arg(staging);
        return E_FAIL;
    }
    if (!QDir().mkpath(staging)) {
        *why = QStringLiteral("cannot create '%1'").arg(staging);
        return E_FAIL;
    }
    HRESULT hr = Assemble(staging, report, progress, facts, why);
    if (SUCCEEDED(hr) && m_bCancel.load())
        hr = E_ABORT;
    if (SUCCEEDED(hr) && !QDir().rename(staging, target)) {
        *why = QStringLiteral("cannot create '%1'").arg(target);
        hr = E_FAIL;
    }
    if (FAILED(hr)) {
        RemoveTree(staging);
        if (hr == E_ABORT)
            *why = QStringLiteral("cancelled");
    }
    return hr;
}

HRESULT CEvidencePackage::Assemble(const QString &staging, const EvidenceReportWriter &report,
                                   const EvidenceProgress &progress, tagEVIDENCEFACTS *facts, QString *why)
{
    const auto tell = [&](int percent, const QString &step) {
        if (progress)
            progress(percent, step);
    };
    CVideoExporter exporter(m_job.clips, m_job.options);
    HRESULT hr = exporter.Prepare(why);
    if (FAILED(hr))
        return hr;
    // The shared copy's regions are checked before anything is copied.
    std::unique_ptr<CVideoExporter> sharedExporter;
    if (m_job.bSharedCopy) {
        sharedExporter = std::make_unique<CVideoExporter>(m_job.clips, m_job.shared);
        hr = sharedExporter->Prepare(why);
        if (FAILED(hr))
            return hr;
    }
    // Percent of the whole at the end of the video and of the shared copy.
    const int videoEnd = m_job.bSharedCopy ? 55 : 90;

    tagEVIDENCEFACTS f;
    f.strProgram = QStringLiteral("Pellister");
    f.strVersion = QStringLiteral(PELLISTER_VERSION_STRING);
    f.exportUtc = QDateTime::currentDateTimeUtc();
    const QVector<CVideoExporter::Span> spans = exporter.Spans();
    for (int i = 0; i < spans.size(); ++i) {
        tagEVIDENCESEGMENT seg;
        seg.strClip = OriginalPath(m_job.strCatalogueRoot, spans[i].strPath).mid(int(strlen(kEvidenceOriginals)) + 1);
        seg.llFrom = spans[i].llFrom;
        seg.llTo = spans[i].llTo;
        f.segments.append(seg);
    }
    {
        const CVideoExporter::Span &a = spans.first();
        const CVideoExporter::Span &b = spans.last();
        const QString t0 = FrameTimeText(m_job.clips.first().record, a.llFrom, a.llFrameTime);
        const QString t1 = FrameTimeText(m_job.clips.last().record, b.llTo, b.llFrameTime);
        f.strRange = QStringLiteral("%1 frame %2%3 to %4 frame %5%6; %7 frames, %8 s")
                         .arg(FileNameOfPath(a.strPath))
                         .arg(a.llFrom)
                         .arg(t0.isEmpty() ? QString() : QStringLiteral(" (") + t0 + QLatin1Char(')'))
                         .arg(FileNameOfPath(b.strPath))
                         .arg(b.llTo)
                         .arg(t1.isEmpty() ? QString() : QStringLiteral(" (") + t1 + QLatin1Char(')'))
                         .arg(exporter.TotalFrames())
                         .arg(exporter.TotalDuration() / 1e7, 0, 'f', 3);
    }
    // The recorder's zone from its configuration on the card; without one, this computer's.
    double tzHours = 0;
    QString configPath;
    if (CardTimeZoneHours(QFileInfo(m_job.clips.first().strPath).absolutePath(), &tzHours, &configPath)) {
        f.strTimeZone = UtcOffsetText(tzHours) + QStringLiteral(" (recorder configuration)");
    } else {
        tzHours = QTimeZone::systemTimeZone().offsetFromUtc(QDateTime::currentDateTime()) / 3600.0;
        f.strTimeZone = UtcOffsetText(tzHours) + QStringLiteral(" (this computer; no recorder configuration found)");
    }
    for (const tagEXPORTCLIP &c : m_job.clips) {
        if (c.strDataPath.isEmpty())
            continue;
        QFile data(c.strDataPath);
        if (!data.open(QIODevice::ReadOnly))
            continue;
        qint64 offset = 0;
        if (RecorderClockOffsetMs(data.read(kClockScanBytes), tzHours, &offset)) {
            f.bClockOffsetKnown = true;
            f.llClockOffsetMs = offset;
            break;
        }
    }
    // Another maker's camera: its clock against the GPS time of its own telemetry.
    if (!f.bClockOffsetKnown) {
        for (const tagEXPORTCLIP &c : m_job.clips) {
            if (!c.record.bCameraClock)
                continue;
            int64_t zone = 0;
            int64_t error = 0;
            SplitCameraOffset(c.record.nCameraOffsetMs, &zone, &error);
            f.strTimeZone = UtcOffsetText(zone / 3600000.0) + QStringLiteral(" (the camera's clock against GPS time)");
            f.bClockOffsetKnown = true;
            f.llClockOffsetMs = error;
            break;
        }
    }
    f.strClockOffset = ClockOffsetText(f.bClockOffsetKnown, f.llClockOffsetMs);
    // The card's correction: the range above is in corrected times; the recorded ones beside it.
    const tagDATAFILEINFO &firstRecord = m_job.clips.first().record;
    if (firstRecord.nClockCorrectionMs != 0 && !spans.isEmpty()) {
        const CVideoExporter::Span &a = spans.first();
        const CVideoExporter::Span &b = spans.last();
        tagDATAFILEINFO recorded = firstRecord;
        tagDATAFILEINFO recordedLast = m_job.clips.last().record;
        ShiftRecordTimes(&recorded, -recorded.nClockCorrectionMs);
        ShiftRecordTimes(&recordedLast, -recordedLast.nClockCorrectionMs);
        f.llClockCorrectionMs = firstRecord.nClockCorrectionMs;
        f.strClockCorrection = QStringLiteral("%1 added to the times the camera recorded; recorded range %2 to %3")
                                   .arg(SignedSecondsText(f.llClockCorrectionMs),
                                        FrameTimeText(recorded, a.llFrom, a.llFrameTime),
                                        FrameTimeText(recordedLast, b.llTo, b.llFrameTime));
    }

    // 1. The originals, byte for byte, hashed as they are copied.
    QStringList sources;
    QHash<QString, QString> cameraOf; // a clip of a recording of several cameras: which one
    for (const tagEXPORTCLIP &c : m_job.clips) {
        sources << c.strPath;
        if (!c.strDataPath.isEmpty() && QFileInfo(c.strDataPath).isFile())
            sources << c.strDataPath;
        for (const QString &more : c.moreDataPaths)
            if (QFileInfo(more).isFile())
                sources << more;
        // The other cameras' clips of the same recording are originals too (each file once,
        // however its path is spelled).
        const tagRECORDINGCLIPS recording = CCorvanaDoc::RecordingOfClip(c.strPath);
        for (const tagCHANNELCLIP &channel : recording.channels) {
            const QString real = QFileInfo(channel.strMediaPath).canonicalFilePath();
            if (real.isEmpty())
                continue;
            const auto listed = std::find_if(sources.cbegin(), sources.cend(), [&](const QString &s) {
                return QFileInfo(s).canonicalFilePath() == real;
            });
            const QString source = listed == sources.cend() ? channel.strMediaPath : *listed;
            if (listed == sources.cend())
                sources << source;
            if (recording.channels.size() > 1)
                cameraOf.insert(source, channel.strName);
        }
    }
    qint64 totalBytes = 0;
    for (const QString &s : sources)
        totalBytes += QFileInfo(s).size();
    qint64 doneBytes = 0;
    QList<tagEVIDENCEFILE> originals;
    for (const QString &src : sources) {
        const QString rel = OriginalPath(m_job.strCatalogueRoot, src);
        const QString dst = staging + QLatin1Char('/') + rel;
        if (!QDir().mkpath(QFileInfo(dst).absolutePath())) {
            *why = QStringLiteral("cannot create '%1'").arg(QFileInfo(dst).absolutePath());
            return E_FAIL;
        }
        tagEVIDENCEFILE file;
        const qint64 before = doneBytes;
        if (!CopyAndHashFile(
                src, dst, &m_bCancel,
                [&](qint64 bytes) {
                    tell(totalBytes > 0 ? int(20 * (before + bytes) / totalBytes) : 20, QStringLiteral("originals"));
                },
                &file, why))
            return m_bCancel.load() ? E_ABORT : E_FAIL;
        doneBytes += file.llSize;
        file.strPath = rel;
        file.strCamera = cameraOf.value(src);
        originals.append(file);
    }

    // 2. The video with its telemetry.
    const QString videoName = ExportFileName(m_job.clips);
    tagEXPORTRESULT exported;
    exporter.SetCancelFlag(&m_bCancel);
    hr = exporter.Run(staging + QLatin1Char('/') + videoName,
                      [&](int64_t done, int64_t total) {
                          tell(20 + int((videoEnd - 20) * done / qMax<int64_t>(1, total)), QStringLiteral("video"));
                      },
                      &exported, why);
    if (FAILED(hr))
        return hr;
    tagEVIDENCEFILE video;
    if (!HashFile(exported.strFile, &m_bCancel, &video, why))
        return m_bCancel.load() ? E_ABORT : E_FAIL;
    video.strPath = videoName;

    // 2b. The copy to hand on, made from the originals like the video, redacted.
    tagEVIDENCEFILE shared;
    if (sharedExporter) {
        const QString sharedName = QLatin1String(kEvidenceShared) + QLatin1Char('/') + RedactedFileName(videoName);
        if (!QDir().mkpath(staging + QLatin1Char('/') + QLatin1String(kEvidenceShared))) {
            *why = QStringLiteral("cannot create '%1'").arg(staging + QLatin1Char('/') + QLatin1String(kEvidenceShared));
            return E_FAIL;
        }
        sharedExporter->SetCancelFlag(&m_bCancel);
        tagEXPORTRESULT sharedResult;
        hr = sharedExporter->Run(staging + QLatin1Char('/') + sharedName,
                                 [&](int64_t done, int64_t total) {
                                     tell(videoEnd + int((90 - videoEnd) * done / qMax<int64_t>(1, total)),
                                          QStringLiteral("shared copy"));
                                 },
                                 &sharedResult, why);
        if (FAILED(hr))
            return hr;
        if (!HashFile(sharedResult.strFile, &m_bCancel, &shared, why))
            return m_bCancel.load() ? E_ABORT : E_FAIL;
        shared.strPath = sharedName;
        QStringList done;
        if (!m_job.shared.blur.isEmpty())
            done << QStringLiteral("redacted copy, %1 region(s) blurred").arg(m_job.shared.blur.size());
        else
            done << QStringLiteral("redacted copy");
        if (m_job.shared.bPrivacy)
            done << QStringLiteral("privacy: no time, speed, position or place tags");
        shared.strDerived = done.join(QStringLiteral("; "));
    }

    // 3. The files beside the originals and the video: the shared copy, what was derived from
    // the originals, the driver's notes.
    f.files = originals;
    f.files.append(video);
    if (sharedExporter)
        f.files.append(shared);
    for (const tagEVIDENCEPICTURE &picture : m_job.derivedPictures) {
        const QString name = QLatin1String(kEvidenceDerived) + QLatin1Char('/') + QFileInfo(picture.strName).fileName();
        const QString path = staging + QLatin1Char('/') + name;
        if (!QDir().mkpath(staging + QLatin1Char('/') + QLatin1String(kEvidenceDerived)) || !WriteJpegFile(picture.image, path)) {
            *why = QStringLiteral("cannot write '%1'").arg(name);
            return E_FAIL;
        }
        tagEVIDENCEFILE file;
        if (!HashFile(path, &m_bCancel, &file, why))
            return m_bCancel.load() ? E_ABORT : E_FAIL;
        file.strPath = name;
        file.strDerived = picture.strHow;
        f.files.append(file);
    }

    // The driver's notes on the recordings' moments, as the card keeps them.
    {
        CMomentNotes card;
        card.Load(m_job.strCatalogueRoot);
        QVector<tagMOMENTNOTE> notes;
        for (const CVideoExporter::Span &span : spans)
            for (const tagMOMENTNOTE &n : card.NotesOfClip(card.ClipOf(span.strPath)))
                if (std::none_of(notes.cbegin(), notes.cend(), [&](const tagMOMENTNOTE &m) {
                        return m.strClip == n.strClip && m.llFrame == n.llFrame;
                    }))
                    notes.append(n);
        if (!notes.isEmpty()) {
            const QString path = staging + QLatin1Char('/') + QLatin1String(kEvidenceNotes);
            QFile out(path);
            const QByteArray bytes = MomentNotesJson(notes);
            if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) || out.write(bytes) != bytes.size() || !out.flush()) {
                *why = QStringLiteral("cannot write '%1': %2").arg(QLatin1String(kEvidenceNotes), out.errorString());
                return E_FAIL;
            }
            out.close();
            tagEVIDENCEFILE file;
            if (!HashFile(path, &m_bCancel, &file, why))
                return E_FAIL;
            file.strPath = QLatin1String(kEvidenceNotes);
            f.files.append(file);
            f.strNotes = QStringLiteral("%1 note(s) on the recordings' moments, in %2")
                             .arg(notes.size())
                             .arg(QLatin1String(kEvidenceNotes));
        }
        // The card had notes that could not be read: the package says so rather than nothing.
        if (!card.Problem().isEmpty() && card.Where() != CMomentNotes::Place::Settings)
            f.strNotes += (f.strNotes.isEmpty() ? QString() : QStringLiteral("; ")) + card.Problem();
    }

    // 4. The report, whose Evidence pages list the files above.
    tell(92, QStringLiteral("report"));
    const QString reportPath = staging + QLatin1Char('/') + QLatin1String(kEvidenceReport);
    if (!report || !report(reportPath, f, why))
        return E_FAIL;
    if (m_bCancel.load())
        return E_ABORT;
    tagEVIDENCEFILE reportFile;
    if (!HashFile(reportPath, &m_bCancel, &reportFile, why))
        return E_FAIL;
    reportFile.strPath = QLatin1String(kEvidenceReport);
    if (!m_job.strEnhancedView.isEmpty())
        reportFile.strDerived = QStringLiteral("its video pictures are the enhanced view: ") + m_job.strEnhancedView;
    f.files.append(reportFile);

    // 5. manifest.json (every file but itself and SHA256SUMS), then SHA256SUMS over all of them.
    const auto writeWhole = [&](const QString &name, const QByteArray &bytes) -> bool {
        QFile out(staging + QLatin1Char('/') + name);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) || out.write(bytes) != bytes.size() ||
            !out.flush()) {
            *why = QStringLiteral("cannot write '%1': %2").arg(name, out.errorString());
            return false;
        }
        return true;
    };
    if (!writeWhole(QLatin1String(kEvidenceManifest), ManifestJson(f)))
        return E_FAIL;
    tagEVIDENCEFILE manifest;
    if (!HashFile(staging + QLatin1Char('/') + QLatin1String(kEvidenceManifest), &m_bCancel, &manifest, why))
        return E_FAIL;
    manifest.strPath = QLatin1String(kEvidenceManifest);
    QList<tagEVIDENCEFILE> all = f.files;
    all.append(manifest);
    if (!writeWhole(QLatin1String(kEvidenceSums), Sha256SumsText(all)))
        return E_FAIL;
    tell(100, QStringLiteral("done"));
    if (facts)
        *facts = f;
    return S_OK;
}
