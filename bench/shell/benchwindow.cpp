// The window benchmarks' set-up.
#include "benchwindow.h"

#include "platform/diagnostics.h"

#include "fixtures/clipmaker.h"
#include "shell/contentlistview.h"
#include "shell/mainframe.h"
#include "telemetry/mapview.h"

#include <QFileInfo>

#include <clocale>
#include <cstdio>

CBenchApplication::CBenchApplication(int &argc, char **argv)
{
    // Before the QApplication, which reads the platform and the browser's flags at its start.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
    // The figures without the libraries' start-up lines between them, as the programs print them.
    HoldBackLibraryNotices(false);
    CMapView::PrepareProcess(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
    m_app = std::make_unique<QApplication>(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
}

CBenchSkin::CBenchSkin()
{
    m_skin.LoadDefaults();
}

CBenchViewer::CBenchViewer(const CBenchSkin &) {}

bool CBenchViewer::OpenClip(const QString &clip, const char *tool)
{
    m_root.SetFolderAndLoad(QFileInfo(clip).path());
    int index = -1;
    for (int i = 0; i < m_doc.Count(); ++i)
        if (QFileInfo(m_doc.MediaPathAt(i)) == QFileInfo(clip))
            index = i;
    if (index < 0 || !Frame().ListView()->Open(index)) {
        std::fprintf(stderr, "%s: the clip does not open\n", tool);
        return false;
    }
    return true;
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
