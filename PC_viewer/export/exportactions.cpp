// Export and evidence package commands of the viewer.
#include "export/exportactions.h"

#include "catalogue/corvanadoc.h"
#include "export/evidencereport.h"
#include "export/exportdialog.h"
#include "export/rangepictures.h"
#include "skin/progressviewer.h"
#include "skin/prompt.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>


const char kTitleExportFolder[] = "Specify the folder to save the data.";
const char kMsgExportCancelled[] = "The export was cancelled; nothing was written.";
const char kMsgAskSharedCopy[] = "Add a copy for sharing beside the originals, with the regions you mark blurred "
                                 "and, if you choose, without time and place?";

namespace {

QString FrameClock(const tagEXPORTCLIP &c, int64_t frame, int64_t frameTime)
{
    const QString text = FrameTimeText(c.record, frame, frameTime);
    return text.isEmpty() ? text : QStringLiteral(" (") + text + QLatin1Char(')');
}

// A new folder name beside the others: name, name_2, name_3, ...
QString FreeName(const QString &folder, const QString &name)
{
    QString candidate = QDir(folder).filePath(name);
    for (int n = 2; QFileInfo::exists(candidate) && n < 1000; ++n)
        candidate = QDir(folder).filePath(name + QLatin1Char('_') + QString::number(n));
    return candidate;
}

} // namespace

QString ExportRangeText(const QVector<tagEXPORTCLIP> &clips)
{
    if (clips.isEmpty())
        return QString();
    CVideoExporter measure(clips, tagEXPORTOPTIONS());
    QString why;
    if (FAILED(measure.Prepare(&why)))
        return why;
    const QVector<CVideoExporter::Span> spans = measure.Spans();
    const CVideoExporter::Span &a = spans.first();
    const CVideoExporter::Span &b = spans.last();
    return QStringLiteral("From %1 frame %2%3\nto %4 frame %5%6\n%7 frames in %8 recording(s), %9 s")
        .arg(FileNameOfPath(a.strPath))
        .arg(a.llFrom)
        .arg(FrameClock(clips.first(), a.llFrom, a.llFrameTime))
        .arg(FileNameOfPath(b.strPath))
        .arg(b.llTo)
        .arg(FrameClock(clips.last(), b.llTo, b.llFrameTime))
        .arg(measure.TotalFrames())
        .arg(spans.size())
        .arg(measure.TotalDuration() / 1e7, 0, 'f', 1);
}

tagREGIONPICTURES RegionPicturesOf(const QVector<tagEXPORTCLIP> &clips)
{
    tagREGIONPICTURES p;
    if (clips.isEmpty())
        return p;
    CVideoExporter measure(clips, tagEXPORTOPTIONS());
    QString why;
    if (FAILED(measure.Prepare(&why)))
        return p;
    auto pictures = std::make_shared<CRangePictures>(measure.Spans());
    if (FAILED(pictures->Open(&why)))
        return p;
    p.llCount = pictures->Count();
    p.llFirstFrame = measure.Spans().first().llFrom;
    p.size = pictures->FirstSize();
    p.picture = [pictures](int64_t place) { return pictures->Picture(place); };
    return p;
}

CExportActions::CExportActions(const CCorvanaDoc *doc, const CExportMarks *marks, CEvidenceReport *report,
                               QWidget *dialogParent)
    : QObject(dialogParent), m_doc(doc), m_marks(marks), m_report(report), m_dialogParent(dialogParent)
{
    m_optionsDialog = [this](const QString &range, tagEXPORTOPTIONS *options) {
        CExportDialog dialog(range, *options, m_dialogParent, m_regionPictures);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        *options = dialog.Options();
        return true;
    };
}

void CExportActions::RunWithProgress(const std::function<void(const std::function<void(int)> &)> &work,
                                     const std::function<void()> &cancel)
{
    CProgressViewer progress(m_dialogParent);
    progress.EnableCancel();
    progress.setWindowModality(Qt::ApplicationModal);
    const QMetaObject::Connection c1 = connect(&progress, &CProgressViewer::Cancelled, this, [&] { cancel(); });
    const QMetaObject::Connection c2 = connect(this, &CExportActions::CancelRequested, this, [&] { cancel(); });
    progress.ShowProgress();
    // The work runs on a thread of the pool; its progress and its end come back to this thread
    // as the watcher's signals, while this thread's events (the report's drawing among them)
    // go on.
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcherBase::progressValueChanged, &progress, [&](int p) {
        progress.SetProgress(p);
        if (m_observer)
            m_observer(p);
    });
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&work](QPromise<void> &promise) {
        promise.setProgressRange(0, 100);
        work([&promise](int p) { promise.setProgressValue(p); });
    }));
    if (!watcher.isFinished())
        loop.exec();
    watcher.waitForFinished();
    disconnect(c1);
    disconnect(c2);
    progress.hide();
}

void CExportActions::ExportVideo()
{
    m_lastWritten.clear();
    IPrompt &prompt = CurrentPrompt();
    QVector<tagEXPORTCLIP> clips;
    QString why;
    if (!ExportRange(*m_doc, *m_marks, &clips, &why)) {
        prompt.Info(m_dialogParent, why);
        return;
    }
    tagEXPORTOPTIONS options = RememberedExportOptions();
    // The cameras of the range, offered when there are several.
    options.channels = ChannelsOfRange(clips);
    if (options.channels.size() < 2)
        options.channels.clear();
    m_regionPictures = RegionPicturesOf(clips);
    const bool bChosen = m_optionsDialog(ExportRangeText(clips), &options);
    m_regionPictures = {};
    if (!bChosen)
        return;
    RememberExportOptions(options);
    QString folder;
    if (!prompt.ChooseTargetFolder(m_dialogParent, QLatin1String(kTitleExportFolder), &folder))
        return;
    const QString target = QDir(folder).filePath(ExportFileName(clips));
    if (QFileInfo::exists(target) &&
        !prompt.AskYesNo(m_dialogParent, QStringLiteral("%1 exists already. Replace it?").arg(target)))
        return;

    CVideoExporter exporter(clips, options);
    HRESULT hr = S_OK;
    tagEXPORTRESULT result;
    RunWithProgress(
        [&](const std::function<void(int)> &tell) {
            hr = exporter.Prepare(&why);
            if (SUCCEEDED(hr))
                hr = exporter.Run(
                    target, [&](int64_t done, int64_t total) { tell(int(100 * done / qMax<int64_t>(1, total))); },
                    &result, &why);
        },
        [&] { exporter.Cancel(); });
    if (hr == E_ABORT) {
        prompt.Info(m_dialogParent, QLatin1String(kMsgExportCancelled));
        return;
    }
    if (FAILED(hr)) {
        prompt.Info(m_dialogParent, QStringLiteral("The video could not be exported: %1.").arg(why));
        return;
    }
    m_lastWritten = result.strFile;
    QString text = QStringLiteral("The video was saved as %1 (%2 frames).").arg(result.strFile).arg(result.llFrames);
    if (result.llStandIns > 0)
        text += QStringLiteral(" %1 damaged pictures were replaced by the picture before.").arg(result.llStandIns);
    prompt.Info(m_dialogParent, text);
}

void CExportActions::SaveEvidence()
{
    m_lastWritten.clear();
    IPrompt &prompt = CurrentPrompt();
    tagEVIDENCEJOB job;
    QString why;
    if (!ExportRange(*m_doc, *m_marks, &job.clips, &why)) {
        prompt.Info(m_dialogParent, why);
        return;
    }
    {
        CVideoExporter check(job.clips, tagEXPORTOPTIONS());
        if (FAILED(check.Prepare(&why))) {
            prompt.Info(m_dialogParent, QStringLiteral("The evidence package could not be saved: %1.").arg(why));
            return;
        }
    }
    // The package's video shows everything, in the remembered units.
    job.options.unit = RememberedExportOptions().unit;
    // A redacted copy to hand on, beside the originals: its regions and privacy chosen in the
    // export dialog.
    if (prompt.AskYesNo(m_dialogParent, QLatin1String(kMsgAskSharedCopy))) {
        tagEXPORTOPTIONS shared = job.options;
        m_regionPictures = RegionPicturesOf(job.clips);
        const bool bChosen = m_optionsDialog(ExportRangeText(job.clips), &shared);
        m_regionPictures = {};
        if (!bChosen)
            return;
        job.bSharedCopy = true;
        job.shared = shared;
    }
    job.strCatalogueRoot = m_doc->Folder();
    if (m_evidenceAdditions)
        m_evidenceAdditions(&job);
    QString folder;
    if (!prompt.ChooseTargetFolder(m_dialogParent, QLatin1String(kTitleExportFolder), &folder))
        return;
    const QString target = FreeName(folder, QFileInfo(ExportFileName(job.clips)).completeBaseName() +
                                                QStringLiteral("_evidence"));
    const int recording = m_marks->Start().nRecording;
    const int64_t frame = m_marks->Start().llFrame;
    const EvidenceReportWriter report = [&](const QString &pdf, const tagEVIDENCEFACTS &facts, QString *reportWhy) {
        // The report is drawn by the main window's panes, on the UI thread.
        bool ok = false;
        QMetaObject::invokeMethod(
            this, [&] { ok = m_report && m_report->Write(pdf, facts, recording, frame, reportWhy); },
            Qt::BlockingQueuedConnection);
        return ok;
    };
    CEvidencePackage package(job);
    HRESULT hr = S_OK;
    tagEVIDENCEFACTS facts;
    RunWithProgress(
        [&](const std::function<void(int)> &tell) {
            hr = package.Run(target, report, [&](int percent, const QString &) { tell(percent); }, &facts, &why);
        },
        [&] { package.Cancel(); });
    if (hr == E_ABORT) {
        prompt.Info(m_dialogParent, QLatin1String(kMsgExportCancelled));
        return;
    }
    if (FAILED(hr)) {
        prompt.Info(m_dialogParent, QStringLiteral("The evidence package could not be saved: %1.").arg(why));
        return;
    }
    m_lastWritten = target;
    prompt.Info(m_dialogParent, QStringLiteral("The evidence package was saved in %1.").arg(target));
}
