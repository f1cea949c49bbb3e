// Today's cameras' clips through the viewer's playback (pellister-cli play: the playback session
// with pictures made at the video pane's size), against references measured in the same run:
//  - 1x: share of the clip's pictures shown, against real time;
//  - reverse 1x: steps per second against mpv playing backwards untimed (capped at the clip's
//    frame rate);
//  - 2x to 32x and -2x to -32x: steps per second against the decode-bound limit, ffmpeg's
//    pictures per second on two threads divided by the pictures a step must decode (the rate, or
//    half a group of pictures from the key picture when that is less);
//  - each run's peak memory.
// Steps per second count from the first picture shown to the last (the program's start and the
// clip's opening left out).
//
//   build/bench/media/bench_modern [WORK] [CLIP...]
//
// Without clips, three are made with ffmpeg in WORK (default ./bench-modern): 4K H.265 at 30 a
// second, 1440p H.264 at 60 and 1080p H.265 with B-frames, 10 s each with sound.
#include "benchrun.h"
#include "fixtures/clipmaker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <sys/resource.h>

namespace {

struct tagCLIP {
    QString strPath;
    int nGroup; // pictures from one key picture to the next
};

// "frames=", "frame_time=" from pellister-cli probe.
bool Probe(const QString &strCli, const QString &strClip, double *pFps, long *pFrames)
{
    const tagRUN probe = Run(strCli, {"probe", strClip});
    *pFps = 0;
    *pFrames = 0;
    for (const QByteArray &line : probe.out.split('\n')) {
        if (line.startsWith("frames="))
            *pFrames = line.mid(7).toLong();
        else if (line.startsWith("frame_time=") && line.mid(11).toDouble() > 0)
            *pFps = 1e7 / line.mid(11).toDouble();
    }
    return probe.bOk && *pFps > 0 && *pFrames > 0;
}

void Measure(const QString &strCli, const tagCLIP &clip)
{
    const QString strName = QFileInfo(clip.strPath).fileName();
    double dFps = 0;
    long lFrames = 0;
    if (!Probe(strCli, clip.strPath, &dFps, &lFrames)) {
        std::printf("%s: pellister-cli probe failed\n", qPrintable(strName));
        return;
    }
    const tagRUN ffmpeg =
        Run(QStringLiteral("ffmpeg"), {"-v", "error", "-threads", "2", "-i", clip.strPath, "-an", "-f", "null", "-"});
    const double dDecodeFps = ffmpeg.bOk ? lFrames / ffmpeg.dSeconds : 0;
    std::printf("\n== %s: %ld pictures at %.2f a second; ffmpeg -threads 2 decodes %.1f a second\n",
                qPrintable(strName), lFrames, dFps, dDecodeFps);
    std::fflush(stdout);

    long lPeakMb = 0;
    for (int rate : {1, -1, 2, 4, 8, 16, 32, -2, -4, -8, -16, -32}) {
        const tagRUN play = Run(strCli, {"play", clip.strPath, QString::number(rate)}, true);
        lPeakMb = std::max(lPeakMb, play.lPeakMb);
        const long lSteps = play.out.count("frame=");
        if (!play.bOk) {
            std::printf("%s %+dx: pellister-cli play failed\n", qPrintable(strName), rate);
            continue;
        }
        // Steps after the first, over the time from the first to the last.
        const double dStepsPerSecond =
            play.dPlaySeconds > 0 ? (lSteps - 1) / play.dPlaySeconds : lSteps / play.dSeconds;
        const QString strCase = QStringLiteral("%1 %2%3x").arg(strName, rate > 0 ? QStringLiteral("+") : QString(),
                                                               QString::number(rate));
        if (rate == 1) {
            // Start-up (opening the clip and the sound) is part of the run; the clip's own length
            // is what real time allows.
            const double dShare = double(lSteps) / lFrames;
            Print(strCase, "pictures shown of the clip's (share)", dShare, ">= 0.98", dShare >= 0.98);
            Print(strCase, "run time / clip length", play.dSeconds / (lFrames / dFps), "(info)", true);
        } else if (rate == -1) {
            const QString strMpv = QStandardPaths::findExecutable(QStringLiteral("mpv"));
            if (strMpv.isEmpty()) {
                std::printf("%-30s mpv is not installed: no reference for reverse play\n", qPrintable(strCase));
                continue;
            }
            const tagRUN mpv = Run(strMpv, {"--no-config", "--play-dir=backward", "--vo=null", "--ao=null",
                                            "--untimed", "--really-quiet", clip.strPath});
            const double dMpv = mpv.bOk ? std::min(dFps, lFrames / mpv.dSeconds) : 0;
            Print(strCase, "steps/s", dStepsPerSecond, "(info)", true);
            Print(strCase, "steps/s vs mpv backwards (capped at fps)", dMpv > 0 ? dStepsPerSecond / dMpv : 0,
                  ">= 1.0", dMpv > 0 && dStepsPerSecond / dMpv >= 0.995);
        } else {
            const double dPerStep = std::min<double>(std::abs(rate), (clip.nGroup + 1) / 2.0);
            const double dLimit = std::min(dDecodeFps / dPerStep, dFps);
            Print(strCase, "steps/s", dStepsPerSecond, "(info)", true);
            Print(strCase, "steps/s vs decode-bound limit", dStepsPerSecond / dLimit, ">= 0.8",
                  dStepsPerSecond / dLimit >= 0.8);
        }
    }
    Print(strName, "peak memory of a run (MB)", lPeakMb, "<= 1536", lPeakMb <= 1536);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString strWork, strCli;
    int status = 0;
    if (!StartCliBench(&args, "bench-modern", "bench_modern", &strWork, &strCli, &status))
        return status;
    std::vector<tagCLIP> clips;
    for (const QString &strClip : args)
        clips.push_back({strClip, 30});
    if (clips.empty()) {
        const QStringList sound{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-c:a", "aac", "-shortest"};
        const auto make = [&](const char *name, const char *video, QStringList codec, int group) {
            std::fprintf(stderr, "making %s ...\n", name);
            const QString strPath = clipmaker::Make(
                strWork, QString::fromLatin1(name),
                QStringList{"-f", "lavfi", "-i", QString::fromLatin1(video)} + sound.mid(0, 4) + codec + sound.mid(4),
                30 * 60 * 1000);
            if (!strPath.isEmpty())
                clips.push_back({strPath, group});
        };
        make("hevc-2160p30.mp4", "testsrc2=size=3840x2160:rate=30:duration=10",
             {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "keyint=30:log-level=error"}, 30);
        make("h264-1440p60.mp4", "testsrc2=size=2560x1440:rate=60:duration=10",
             {"-c:v", "libx264", "-preset", "veryfast", "-g", "60", "-pix_fmt", "yuv420p"}, 60);
        make("hevc-1080p30-bframes.mp4", "testsrc2=size=1920x1080:rate=30:duration=10",
             {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "keyint=30:bframes=3:log-level=error"}, 30);
    }
    for (const tagCLIP &clip : clips)
        Measure(strCli, clip);
    return 0;
}
