// The window benchmarks' set-up.
#include "benchwindow.h"

#include "platform/diagnostics.h"

#include "catalogue/corvanadoc.h"
#include "fixtures/clipmaker.h"
#include "shell/contentlistview.h"
#include "shell/compositionroot.h"
#include "shell/mainframe.h"
#include "telemetry/mapview.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

void PrepareBenchProcess(const QTemporaryDir &home)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    // The figures without the libraries' start-up lines between them, as the programs print them.
    HoldBackLibraryNotices(false);
    CMapView::PrepareProcess(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
}

QString MakeBenchClip(const QTemporaryDir &work, int seconds, const char *tool)
{
    const QString clip = clipmaker::Make(
        work.filePath(QStringLiteral("card")), QStringLiteral("20130512_083000N.mp4"),
        {"-f", "lavfi", "-i", QStringLiteral("testsrc2=size=1920x1080:rate=30:duration=%1").arg(seconds), "-c:v",
         "libx264", "-preset", "veryfast", "-g", "60", "-pix_fmt", "yuv420p"});
    if (clip.isEmpty())
        std::fprintf(stderr, "%s: ffmpeg could not make the clip\n", tool);
    return clip;
}

bool OpenInFrame(CCompositionRoot &viewer, const QString &clip, const char *tool)
{
    const CCorvanaDoc &doc = *viewer.Document();
    CMainFrame &frame = *viewer.Frame();
    viewer.SetFolderAndLoad(QFileInfo(clip).path());
    int index = -1;
    for (int i = 0; i < doc.Count(); ++i)
        if (QFileInfo(doc.MediaPathAt(i)) == QFileInfo(clip))
            index = i;
    if (index < 0 || !frame.ListView()->Open(index)) {
        std::fprintf(stderr, "%s: the clip does not open\n", tool);
        return false;
    }
    return true;
}
