// `probe`, `frame`, `play` and `snapshot`: the media engine measured, positioned and played from
// the command line, and stills saved, exactly as the viewer opens, seeks, plays and saves a clip.
#include "cli/mediacommands.h"

#include "cli/climoment.h"

#include "media/audiooutput.h"
#include "media/mediagraph.h"
#include "media/nullaudiooutput.h"
#include "media/pictureadjust.h"
#include "playback/playbackpane.h"
#include "playback/playbackcontroller.h"
#include "playback/snapshot.h"

#include "base/frametime.h"
#include "catalogue/corvanadoc.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QImageWriter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

QString HexCode(long hr)
{
    return QStringLiteral("0x%1").arg(static_cast<quint32>(hr), 8, 16, QLatin1Char('0'));
}

// The tool plays no sound, but "has audio" should say what the viewer would find on a machine
// with a sound card, not depend on this one.
void UseNullSoundDevice()
{
    CAudioOutput::SetFactory([] { return std::make_unique<CNullAudioOutput>(); });
}

int OpenClip(CMediaGraph &graph, const QString &strPath, QTextStream &err)
{
    UseNullSoundDevice();
    const HRESULT hr = graph.OpenMedia(strPath);
    if (FAILED(hr)) {
        err << "pellister-cli: cannot open '" << strPath << "': " << MediaResultText(hr) << " ("
            << HexCode(hr) << ")\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunProbe(const tagCLIARGS &cli, QTextStream &out, QTextStream &err)
{
    const QStringList &args = cli.positional;
    CMediaGraph graph;
    if (const int nStatus = OpenClip(graph, args.at(0), err))
        return nStatus;
    out << "frames=" << graph.FrameCount() << "\n"
        << "frame_time=" << graph.FrameTime() << "\n"
        << "duration=" << graph.Duration() << "\n"
        << "width=" << graph.VideoSize().width() << "\n"
        << "height=" << graph.VideoSize().height() << "\n"
        << "has_audio=" << graph.HasAudio() << "\n";
    return kExitOk;
}

// One line per channel of the recording the clip belongs to: name, clip, frames, frame rate,
// size and the channel's offset against the main one.
int RunChannels(const tagCLIARGS &cli, QTextStream &out, QTextStream &err)
{
    const QString strClip = QDir::fromNativeSeparators(cli.positional.at(0));
    if (!QFileInfo(strClip).isFile()) {
        err << "pellister-cli: no such clip: " << cli.positional.at(0) << "\n";
        return kExitFailed;
    }
    int nStatus = kExitOk;
    for (const tagCHANNELCLIP &c : CCorvanaDoc::RecordingOfClip(strClip).channels) {
        CMediaGraph graph;
        if (const int nOpen = OpenClip(graph, c.strMediaPath, err)) {
            nStatus = nOpen;
            continue;
        }
        const double dRate = graph.FrameTime() > 0 ? 1e7 / static_cast<double>(graph.FrameTime()) : 0.0;
        out << c.strName << '\t' << QDir::toNativeSeparators(c.strMediaPath) << '\t' << graph.FrameCount() << '\t'
            << QString::number(dRate, 'f', 3) << '\t' << graph.VideoSize().width() << 'x'
            << graph.VideoSize().height() << '\t' << FrameStartMs(0, graph.FrameTime(), c.nOffsetFrames) << '\n';
    }
    return nStatus;
}

// --crop, --scale and --adjust of `frame` on the decoded picture; false (the reason said) for a
// value that does not fit the picture.
bool ApplyFrameView(const tagCLIARGS &cli, QImage *image, QTextStream &err)
{
    if (!cli.parser)
        return true;
    const auto isSet = [&](const char *name) { return cli.parser->isSet(QString::fromLatin1(name)); };
    const auto value = [&](const char *name) { return cli.parser->value(QString::fromLatin1(name)); };
    QRect region = image->rect();
    if (isSet("crop")) {
        const QStringList parts = value("crop").split(QLatin1Char(','));
        int v[4] = {0, 0, 0, 0};
        bool ok = parts.size() == 4;
        for (int i = 0; ok && i < 4; ++i)
            v[i] = parts.at(i).trimmed().toInt(&ok);
        const QRect crop(v[0], v[1], v[2], v[3]);
        if (!ok || v[2] <= 0 || v[3] <= 0 || v[0] < 0 || v[1] < 0 || !image->rect().contains(crop)) {
            err << "pellister-cli: frame: --crop must be X,Y,W,H inside the picture (" << image->width() << "x"
                << image->height() << "), not '" << value("crop") << "'\n";
            return false;
        }
        region = crop;
    }
    QSize size = region.size();
    if (isSet("scale")) {
        bool ok = false;
        const double k = value("scale").toDouble(&ok);
        // No picture larger than the engine would ever make (16384 a side).
        const double largest = 16384.0 / std::max(region.width(), region.height());
        if (!ok || !std::isfinite(k) || k <= 0 || k > largest) {
            err << "pellister-cli: frame: --scale must be a number above 0 and at most " << largest
                << " for this crop, not '" << value("scale") << "'\n";
            return false;
        }
        size = QSize(std::max(1, static_cast<int>(std::lround(region.width() * k))),
                     std::max(1, static_cast<int>(std::lround(region.height() * k))));
    }
    tagPICTUREADJUST adjust;
    if (isSet("adjust")) {
        QString why;
        if (!ParsePictureAdjust(value("adjust"), &adjust, &why)) {
            err << "pellister-cli: frame: --adjust: " << why << "\n";
            return false;
        }
    }
    if (region != image->rect() || size != region.size())
        *image = ScaleRegionBicubic(*image, region, size);
    *image = AdjustPicture(*image, adjust);
    return !image->isNull();
}

int RunFrame(const tagCLIARGS &cli, QTextStream &out, QTextStream &err)
{
    const QStringList &args = cli.positional;
    const QString strClip = args.at(0);
    const QString strOut = args.at(2);
    bool bNumber = false;
    qlonglong llFrame = args.at(1).toLongLong(&bNumber);
    if (!bNumber) {
        err << "pellister-cli: frame: '" << args.at(1) << "' is not a frame number\n";
        return kExitUsage;
    }
    const QString strSuffix = QFileInfo(strOut).suffix().toLower();
    QByteArray format;
    if (strSuffix == QLatin1String("png"))
        format = "PNG";
    else if (strSuffix == QLatin1String("jpg") || strSuffix == QLatin1String("jpeg"))
        format = "JPEG";
    if (format.isEmpty()) {
        err << "pellister-cli: frame: '" << strOut
            << "' must end in .png, .jpg or .jpeg (the picture's format)\n";
        return kExitUsage;
    }
    CMediaGraph graph;
    if (cli.parser && cli.parser->isSet(QStringLiteral("channel"))) {
        // Main frame N's moment in the named channel of the recording.
        const QString strName = cli.parser->value(QStringLiteral("channel"));
        const tagRECORDINGCLIPS recording = CCorvanaDoc::RecordingOfClip(QDir::fromNativeSeparators(strClip));
        QString strChannelClip;
        int nOffset = 0;
        for (const tagCHANNELCLIP &c : recording.channels)
            if (c.strName == strName) {
                strChannelClip = c.strMediaPath;
                nOffset = c.nOffsetFrames;
            }
        if (strChannelClip.isEmpty()) {
            err << "pellister-cli: frame: the recording of '" << strClip << "' has no channel '" << strName
                << "' (it has " << recording.ChannelList() << ")\n";
            return kExitFailed;
        }
        CMediaGraph main;
        if (const int nStatus = OpenClip(main, recording.channels.first().strMediaPath, err))
            return nStatus;
        if (llFrame < 0 || llFrame >= main.FrameCount()) {
            err << "pellister-cli: frame: " << llFrame << " is out of range; the main channel has "
                << main.FrameCount() << " frames\n";
            return kExitFailed;
        }
        if (const int nStatus = OpenClip(graph, strChannelClip, err))
            return nStatus;
        const int64_t llOther = ChannelFrameOfMoment(llFrame, main.Duration(), main.FrameCount(), graph.Duration(),
                                                     graph.FrameCount(), nOffset);
        if (llOther < 0) {
            err << "pellister-cli: frame: channel '" << strName << "' has no picture at main frame " << llFrame
                << "\n";
            return kExitFailed;
        }
        llFrame = llOther;
    } else if (const int nStatus = OpenClip(graph, strClip, err)) {
        return nStatus;
    }
    if (llFrame < 0 || llFrame >= graph.FrameCount()) {
        err << "pellister-cli: frame: " << llFrame << " is out of range; '" << strClip << "' has "
            << graph.FrameCount() << " frames (0 to " << graph.FrameCount() - 1 << ")\n";
        return kExitFailed;
    }
    HRESULT hr = graph.SeekToFrame(llFrame);
    QImage image;
    int64_t llShown = -1;
    if (SUCCEEDED(hr))
        hr = graph.GetCurrentImage(&image, &llShown);
    if (FAILED(hr) || llShown != llFrame) {
        err << "pellister-cli: frame: cannot decode frame " << llFrame << " of '" << strClip
            << "': " << MediaResultText(FAILED(hr) ? hr : E_FAIL) << "\n";
        return kExitFailed;
    }
    if (!ApplyFrameView(cli, &image, err))
        return kExitUsage;
    QImageWriter writer(strOut, format);
    if (!writer.write(image)) {
        err << "pellister-cli: frame: cannot write '" << strOut << "': " << writer.errorString() << "\n";
        return kExitFailed;
    }
    out.flush();
    return kExitOk;
}

// The video pane's size in the main window as it first opens.
constexpr QSize kPlayPaneSize(632, 494);

// Plays the clip through the viewer's playback session (1x in real time, other rates and reverse
// by timed steps) and prints every position it publishes, as the video pane would show them.
int RunPlay(const tagCLIARGS &cli, QTextStream &out, QTextStream &err)
{
    const QStringList &args = cli.positional;
    const QString strClip = args.at(0);
    bool bNumber = false;
    const double dRate = args.at(1).toDouble(&bNumber);
    const double dMagnitude = std::fabs(dRate);
    if (!bNumber || !(dMagnitude == 1 || dMagnitude == 2 || dMagnitude == 4 || dMagnitude == 8 ||
                      dMagnitude == 16 || dMagnitude == 32)) {
        err << "pellister-cli: play: RATE must be 1, 2, 4, 8, 16 or 32, negative for reverse, not '"
            << args.at(1) << "'\n";
        return kExitUsage;
    }
    qlonglong llFrom = -1;
    if (args.size() > 2) {
        llFrom = args.at(2).toLongLong(&bNumber);
        if (!bNumber || llFrom < 0) {
            err << "pellister-cli: play: FROM must be a frame number, not '" << args.at(2) << "'\n";
            return kExitUsage;
        }
    }
    UseNullSoundDevice();
    CCorvanaDoc doc;
    CPlaybackController playback(&doc);
    // Pictures are made at the size of the viewer's video pane, as they are there.
    playback.SetVideoArea(QRect(QPoint(0, 0), kPlayPaneSize));
    HRESULT hr = playback.OpenFile(strClip);
    if (FAILED(hr)) {
        err << "pellister-cli: cannot open '" << strClip << "': " << MediaResultText(hr) << " ("
            << HexCode(hr) << ")\n";
        return kExitFailed;
    }
    const qint64 llLast = playback.FrameCount();
    if (llFrom > llLast) {
        err << "pellister-cli: play: " << llFrom << " is past the end; '" << strClip << "' has " << llLast
            << " frames\n";
        return kExitFailed;
    }
    if (llFrom < 0)
        llFrom = dRate > 0 ? 0 : llLast;
    if (llFrom > 0)
        playback.Seek(llFrom, nullptr);
    QObject::connect(&playback, &CPlaybackController::PositionChanged, [&](const tagPLAYPOSITION &position) {
        // Each position as it is shown, so that a program reading the lines follows playback.
        if (position.pOrigin == playback.MainSession()) {
            out << "frame=" << position.llFrame << "\n";
            out.flush();
        }
    });
    playback.SetRate(dRate);
    hr = playback.Play();
    // Until playback rests, or far longer than the clip can take.
    const qint64 llLimitMs = playback.Duration() / 10000 / static_cast<qint64>(dMagnitude) + 30000;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (playback.GetPlayState() != PlayState::Running || clock.elapsed() > llLimitMs)
            loop.quit();
    });
    poll.start(10);
    if (SUCCEEDED(hr))
        loop.exec();
    const bool bRested = playback.GetPlayState() != PlayState::Running;
    playback.Pause();
    if (FAILED(hr) || !bRested) {
        err << "pellister-cli: play: playback of '" << strClip
            << "' did not come to an end: " << MediaResultText(FAILED(hr) ? hr : VFW_E_TIMEOUT) << "\n";
        return kExitFailed;
    }
    out << "end=" << playback.Position() << "\n";
    out.flush();
    return kExitOk;
}

} // namespace

QString MediaResultText(long hr)
{
    switch (static_cast<HRESULT>(hr)) {
    case S_OK: return QStringLiteral("success");
    case E_UNEXPECTED: return QStringLiteral("no video stream, or no clip open");
    case VFW_E_CANNOT_RENDER: return QStringLiteral("not a clip that can be decoded");
    case VFW_E_NOT_FOUND: return QStringLiteral("the file cannot be read");
    case VFW_E_TIMEOUT: return QStringLiteral("the file did not answer in time (damaged?)");
    case VFW_E_INVALID_FILE_FORMAT:
        return QStringLiteral("the clip has no measurable frames (no pictures or no frame rate)");
    case VFW_E_WRONG_STATE: return QStringLiteral("wrong state");
    case E_OUTOFMEMORY: return QStringLiteral("out of memory");
    default: return QStringLiteral("decoding failed");
    }
}

// "Save image" of the viewer on frame N: the single view's picture, or the marked panes of a grid
// of K panes started at N (moved back as the viewer moves it), written into OUTDIR under the
// viewer's names; prints every file written and the viewer's message.
int RunSnapshot(const tagCLIARGS &args, QTextStream &out, QTextStream &err)
{
    const QStringList &positional = args.positional;
    tagCLIMOMENT moment;
    QString why;
    if (!ReadMoment(args, &moment, &why)) {
        if (!why.isEmpty())
            err << "pellister-cli: snapshot: " << why << "\n";
        else
            err << "pellister-cli: snapshot: usage: snapshot CLIP --frame N OUTDIR [--grid K --marked i,j,...]\n";
        return kExitUsage;
    }
    const QString strClip = positional.at(0);
    const QString strFolder = positional.at(1);

    UseNullSoundDevice();
    CCorvanaDoc doc;
    CPlaybackController playback(&doc);
    const HRESULT hr = playback.OpenFile(strClip);
    if (FAILED(hr)) {
        err << "pellister-cli: cannot open '" << strClip << "': " << MediaResultText(hr) << " (" << HexCode(hr)
            << ")\n";
        return kExitFailed;
    }
    if (const int nStatus = ShowMoment(playback, moment, strClip, "snapshot", out, err))
        return nStatus;
    // The folder chooser gives only existing folders.
    if (!QFileInfo(strFolder).isDir()) {
        out << "Wrong folder.\n";
        return kExitFailed;
    }
    QStringList written;
    const QString strMessage = SaveSnapshots(playback, QDir(strFolder).absolutePath(), &written);
    for (const QString &path : written)
        out << "file=" << path << "\n";
    out << strMessage << "\n";
    return strMessage == QLatin1String(kSnapshotSaved) ? kExitOk : kExitFailed;
}

QVector<CliCommand> MediaCommands()
{
    return {
        {"probe", "CLIP",
         "Print the clip's frames=, frame_time= and duration= (100 ns units), width=, height= "
         "and has_audio= (1 when it has a sound stream the viewer plays), one per line.",
         1, 1, &RunProbe},
        {"channels", "CLIP",
         "List the channels of the recording CLIP is a clip of, one per line: name, clip, frames, "
         "frame rate, WIDTHxHEIGHT, offset in ms (TAB separated).",
         1, 1, &RunChannels},
        {"frame", "CLIP N OUT [--channel NAME] [--crop X,Y,W,H] [--scale K] [--adjust brightness=B,contrast=C,gamma=G[,sharpen=S]]",
         "Write picture N (0 = first) of the clip at its native size to OUT (.png, .jpg or "
         ".jpeg); with --channel, that channel's picture of the moment of main frame N of CLIP's "
         "recording. --crop keeps the part X,Y,W,H (native pixels), --scale enlarges it K times "
         "(bicubic), --adjust changes brightness (-1 to 1), contrast and gamma as ffmpeg's eq "
         "filter does and sharpens (0 to 5); the clip itself never changes.",
         3, 3, &RunFrame, false, {{"channel", "NAME"}, {"crop", "X,Y,W,H"}, {"scale", "K"}, {"adjust", "VALUES"}}},
        {"play", "CLIP RATE [FROM]",
         "Play the clip as the viewer does (1x in real time; 2, 4, 8, 16, 32 and negative rates by "
         "timed steps) from frame FROM (default: the start, or the end for reverse) until it "
         "rests, printing frame= for every position shown and end= for the last.",
         2, 3, &RunPlay},
        {"snapshot", "CLIP --frame N OUTDIR [--grid K --marked i,j,...]",
         "Save what \"Save image\" saves with the video on frame N: its picture, or with a grid of K "
         "(4, 9, 16, 25) panes started at N the marked panes' pictures, as OUTDIR/<base>_<frame>.jpg; "
         "prints file= for each file and the viewer's message (exit 0 on \"Success to save the "
         "image.\").",
         2, 2, &RunSnapshot, false, kMomentOptions},
    };
}
