// `probe` and `frame`: the media engine measured and positioned from the command line, exactly
// as the viewer opens and seeks a clip.
#include "cli/mediacommands.h"

#include "playback/audiooutput.h"
#include "playback/mediagraph.h"
#include "playback/nullaudiooutput.h"

#include <QFileInfo>
#include <QImageWriter>

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

int RunProbe(const QStringList &args, QTextStream &out, QTextStream &err)
{
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

int RunFrame(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const QString strClip = args.at(0);
    const QString strOut = args.at(2);
    bool bNumber = false;
    const qlonglong llFrame = args.at(1).toLongLong(&bNumber);
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
    if (const int nStatus = OpenClip(graph, strClip, err))
        return nStatus;
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
    QImageWriter writer(strOut, format);
    if (!writer.write(image)) {
        err << "pellister-cli: frame: cannot write '" << strOut << "': " << writer.errorString() << "\n";
        return kExitFailed;
    }
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

QVector<CliCommand> MediaCommands()
{
    return {
        {"probe", "CLIP",
         "Print the clip's frames=, frame_time= and duration= (100 ns units), width=, height= "
         "and has_audio= (1 when it has a sound stream the viewer plays), one per line.",
         1, 1, &RunProbe},
        {"frame", "CLIP N OUT",
         "Write picture N (0 = first) of the clip at its native size to OUT (.png, .jpg or "
         ".jpeg).",
         3, 3, &RunFrame},
    };
}
