// Pace of stepped playback in the video pane: plays a clip at 2x to 32x forwards and backwards
// and prints, for each rate, how many frames of the clip went by per second of wall time against
// what the rate asks for, how many pictures were shown on the way, and whether every published
// position was the frame of the picture on screen.
//
//   build/bench/shell/bench_playpace [CLIP]
//
// Without CLIP a 1920x1080 H.264 clip of 20 s at 30 pictures a second is made with ffmpeg.
#include "catalogue/corvanadoc.h"
#include "playback/mediagraph.h"
#include "playback/mediaplayview.h"
#include "shell/contentlistview.h"
#include "shell/global.h"
#include "shell/mainframe.h"
#include "shell/prompt.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    QTemporaryDir work;
    QString clip = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (clip.isEmpty()) {
        clip = work.filePath(QStringLiteral("card/20130512_083000N.mp4"));
        QDir().mkpath(work.filePath(QStringLiteral("card")));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-y"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                      QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("testsrc2=size=1920x1080:rate=30:duration=20"), QStringLiteral("-c:v"),
                      QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"),
                      QStringLiteral("-g"), QStringLiteral("60"), QStringLiteral("-pix_fmt"),
                      QStringLiteral("yuv420p"), clip});
        if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitCode() != 0) {
            std::fprintf(stderr, "bench_playpace: ffmpeg could not make the clip\n");
            return 1;
        }
    }

    CGlobal skin;
    skin.LoadDefaults();
    CScriptedPrompt prompt;
    CPromptScope scope(prompt);
    CCorvanaDoc doc;
    CMainFrame frame(&doc);
    frame.show();
    frame.SetFolderAndLoad(QFileInfo(clip).path());
    int index = -1;
    for (int i = 0; i < doc.Count(); ++i)
        if (QFileInfo(doc.MediaPathAt(i)) == QFileInfo(clip))
            index = i;
    if (index < 0 || !frame.ListView()->Open(index)) {
        std::fprintf(stderr, "bench_playpace: the clip does not open\n");
        return 1;
    }
    CMediaPlayView *view = frame.PlayView();
    const double fps = 1e7 / static_cast<double>(doc.FrameTime());
    std::printf("%s: %lld pictures at %.2f a second\n", qPrintable(QFileInfo(clip).fileName()),
                static_cast<long long>(doc.LastPosition()), fps);

    int published = 0;
    int mismatches = 0;
    QObject::connect(&doc, &CCorvanaDoc::ViewsUpdated, [&](QObject *sender, qint64) {
        if (sender != view)
            return;
        ++published;
        QImage image;
        int64_t shown = -1;
        // The published position must be the frame whose picture is on screen (or the end).
        if (SUCCEEDED(view->Graph()->GetCurrentImage(&image, &shown)) && shown != doc.CurrentPosition() &&
            doc.CurrentPosition() != doc.LastPosition())
            ++mismatches;
    });

    for (double rate : {2.0, 4.0, 8.0, 16.0, 32.0, -2.0, -8.0, -32.0}) {
        if (rate > 0)
            view->SeekToBeginning();
        else
            view->SeekToEnd();
        const qint64 start = doc.CurrentPosition();
        view->SetRate(rate);
        published = 0;
        mismatches = 0;
        QElapsedTimer t;
        t.start();
        view->Play();
        // Three seconds of wall time, or until the clip ends.
        while (view->GetPlayState() == PlayState::Running && t.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double seconds = t.nsecsElapsed() / 1e9;
        const qint64 moved = std::llabs(doc.CurrentPosition() - start);
        view->Pause();
        std::printf("rate %+5.0fx: %6.1f frames/s of clip (asked %6.1f, %.0f%%), %4d pictures shown, "
                    "%d published positions not on screen\n",
                    rate, moved / seconds, std::abs(rate) * fps,
                    100.0 * moved / seconds / (std::abs(rate) * fps), published, mismatches);
        std::fflush(stdout);
    }
    return 0;
}
