// The export of a recording of two cameras, front and rear side by side, against ffmpeg composing
// the same two clips with hstack and a drawtext band, with the same encoder settings (libx264
// veryfast, crf 20, AAC), measured in the same run; and the export's peak memory.
//
//   build/bench/media/bench_channels [WORK]
//
// The card (front and rear 1080p at 30 a second, 60 s) is made with ffmpeg in WORK (default
// ./bench-channels) once.
#include "benchrun.h"
#include "fixtures/clipmaker.h"

#include <QDir>

namespace {

constexpr int kSeconds = 60;
constexpr int kFps = 30;

QString MakeCamera(const QString &folder, const QString &name, int seed, bool bSound)
{
    std::fprintf(stderr, "making %s ...\n", qPrintable(name));
    QStringList args{"-f", "lavfi", "-i",
                     QStringLiteral("testsrc2=size=1920x1080:rate=%1:duration=%2,noise=alls=12:allf=t+u:all_seed=%3")
                         .arg(kFps)
                         .arg(kSeconds)
                         .arg(seed)};
    if (bSound)
        args << QStringList{"-f", "lavfi", "-i", QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(kSeconds),
                            "-c:a", "aac", "-shortest"};
    args << QStringList{"-c:v", "libx264", "-preset", "veryfast", "-g", "30", "-pix_fmt", "yuv420p"};
    return clipmaker::Make(folder, name, args, 60 * 60 * 1000);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString work, cli;
    int status = 0;
    if (!StartCliBench(&args, "bench-channels", "bench_channels", &work, &cli, &status))
        return status;
    const QString movie = work + QStringLiteral("/card/DCIM/Movie");
    QDir().mkpath(movie);
    const QString front = MakeCamera(movie, QStringLiteral("2024_0315_081500_0001F.MP4"), 1, true);
    const QString rear = MakeCamera(movie, QStringLiteral("2024_0315_081500_0002R.MP4"), 2, false);
    if (front.isEmpty() || rear.isEmpty()) {
        std::fprintf(stderr, "bench_channels: the clips could not be made\n");
        return 1;
    }
    const QString last = QString::number(kSeconds * kFps - 1);
    const double frames = kSeconds * kFps;
    const QString ours = work + QStringLiteral("/ours.mp4");
    const QString theirs = work + QStringLiteral("/ffmpeg.mp4");
    const QStringList ffmpegArgs{
        "-v", "error", "-y", "-i", front, "-i", rear, "-filter_complex",
        "[0:v][1:v]hstack=inputs=2,pad=iw:ih+90:0:0:black,drawtext=text='%{pts\\:hms} 52 Km/h  N-NE(17.00) 37.555682 "
        "126.972280':x=8:y=h-80:fontsize=28:fontcolor=white,drawtext=text='X +0.02 Y -0.11 Z +0.98  Ordinary  "
        "%{n}':x=8:y=h-40:fontsize=28:fontcolor=white[v]",
        "-map", "[v]", "-map", "0:a", "-c:v", "libx264", "-preset", "veryfast", "-crf", "20", "-c:a", "aac", theirs};
    // Two rounds, taking turns; each one's faster run counts.
    tagRUN exported, reference;
    for (int round = 0; round < 2; ++round) {
        QFile::remove(ours);
        const tagRUN e =
            Run(cli, {"export", front, "--from", "0", "--to", last, "--channels", "front,rear", "--layout", "side", ours},
                true);
        const tagRUN r = Run(QStringLiteral("ffmpeg"), ffmpegArgs, true);
        std::printf("round %d: ours %.2f s (%ld MB), ffmpeg %.2f s (%ld MB)\n", round + 1, e.dSeconds, e.lPeakMb,
                    r.dSeconds, r.lPeakMb);
        if (round == 0 || (e.bOk && e.dSeconds < exported.dSeconds))
            exported = e;
        if (round == 0 || (r.bOk && r.dSeconds < reference.dSeconds))
            reference = r;
    }
    if (!exported.bOk || !reference.bOk) {
        std::fprintf(stderr, "bench_channels: a run failed\n%s", exported.out.constData());
        return 1;
    }
    const double oursFps = frames / exported.dSeconds, theirsFps = frames / reference.dSeconds;
    std::printf("front+rear side by side, 60 s of two 1080p cameras: ours %.1f pictures/s, ffmpeg hstack+drawtext "
                "%.1f pictures/s\n",
                oursFps, theirsFps);
    Print(QStringLiteral("two-camera export"), "speed against ffmpeg hstack+drawtext", oursFps / theirsFps, ">= 0.8",
          oursFps >= 0.8 * theirsFps);
    Print(QStringLiteral("two-camera export"), "peak memory MB", exported.lPeakMb, "<= 1024",
          exported.lPeakMb >= 0 && exported.lPeakMb <= 1024);
    return 0;
}
