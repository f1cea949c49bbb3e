// Generated test clips and ffmpeg's reference decoding of them.
#include "clipfactory.h"

#include "fixtures/clipmaker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <QMap>
#include <QMutex>
#include <QProcess>
#include <QRandomGenerator>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

namespace clips {

namespace {

QString Size()
{
    return QStringLiteral("%1x%2").arg(kWidth).arg(kHeight);
}

QStringList VideoSource(int nSeconds)
{
    // testsrc2 moves every picture, so neighbouring pictures always differ.
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc2=s=%1:r=30:d=%2").arg(Size()).arg(nSeconds)};
}

QStringList SoundSource(int nSeconds)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("sine=f=440:d=%1").arg(nSeconds)};
}

QByteArray ReadAll(const QString &strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString WriteDerived(const QString &strName, const QByteArray &bytes)
{
    const QString strPath = Dir() + QLatin1Char('/') + strName;
    if (QFileInfo::exists(strPath))
        return strPath;
    const QString strTemp = strPath + QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid());
    QFile file(strTemp);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    file.close();
    QFile::rename(strTemp, strPath);
    QFile::remove(strTemp);
    return strPath;
}

} // namespace

int RunProgram(const QString &strProgram, const QStringList &args, QByteArray *pOut, QByteArray *pErr,
               int nTimeoutMs)
{
    QProcess process;
    process.start(strProgram, args);
    if (!process.waitForStarted(10000))
        return -1;
    process.closeWriteChannel();
    if (!process.waitForFinished(nTimeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    if (pOut)
        *pOut = process.readAllStandardOutput();
    if (pErr)
        *pErr = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString BinaryDir()
{
    const QString strFromEnvironment = qEnvironmentVariable("PELLISTER_BINARY_DIR");
    if (!strFromEnvironment.isEmpty())
        return strFromEnvironment;
#ifdef PELLISTER_BINARY_DIR
    return QStringLiteral(PELLISTER_BINARY_DIR);
#else
    return QString();
#endif
}

QString Dir()
{
    QString strBase = BinaryDir();
    if (strBase.isEmpty())
        strBase = QDir::tempPath();
    const QString strDir = strBase + QStringLiteral("/test-clips/playback");
    QDir().mkpath(strDir);
    return strDir;
}

QString Make(const QString &strName, const QStringList &args)
{
    return clipmaker::Make(Dir(), strName, args);
}

QString Mp4H264()
{
    return Make(QStringLiteral("h264.mp4"),
                VideoSource(4) + SoundSource(4) +
                    QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-g", "15", "-keyint_min", "15",
                                "-sc_threshold", "0", "-bf", "0", "-pix_fmt", "yuv420p", "-c:a", "aac",
                                "-shortest"});
}

QString Mp4H264BFrames()
{
    return Make(QStringLiteral("h264-bframes.mp4"),
                VideoSource(4) + QStringList{"-c:v", "libx264", "-preset", "fast", "-g", "15", "-keyint_min",
                                             "15", "-sc_threshold", "0", "-bf", "3", "-pix_fmt", "yuv420p"});
}

QString Mp4HevcBFrames()
{
    return Make(QStringLiteral("hevc-bframes.mp4"),
                VideoSource(4) + QStringList{"-c:v", "libx265", "-preset", "ultrafast", "-x265-params",
                                             "keyint=15:min-keyint=15:bframes=3:log-level=error", "-pix_fmt",
                                             "yuv420p"});
}

QString AviMjpeg()
{
    return Make(QStringLiteral("mjpeg.avi"), VideoSource(3) + SoundSource(3) +
                                                 QStringList{"-c:v", "mjpeg", "-q:v", "5", "-pix_fmt",
                                                             "yuvj420p", "-c:a", "pcm_s16le", "-shortest"});
}

QString AviH264()
{
    return Make(QStringLiteral("h264.avi"),
                VideoSource(3) + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-g", "10",
                                             "-keyint_min", "10", "-sc_threshold", "0", "-bf", "0",
                                             "-pix_fmt", "yuv420p"});
}

QString AviWithoutIndex()
{
    const QString strName = QStringLiteral("mjpeg-noindex.avi");
    if (QFileInfo::exists(Dir() + QLatin1Char('/') + strName))
        return Dir() + QLatin1Char('/') + strName;
    const QByteArray bytes = ReadAll(AviMjpeg());
    const int nIndex = bytes.lastIndexOf("idx1");
    if (nIndex < 0)
        return QString();
    return WriteDerived(strName, bytes.left(nIndex));
}

QString AviCutMidPicture()
{
    const QString strName = QStringLiteral("mjpeg-cut.avi");
    if (QFileInfo::exists(Dir() + QLatin1Char('/') + strName))
        return Dir() + QLatin1Char('/') + strName;
    const QByteArray bytes = ReadAll(AviMjpeg());
    const int nIndex = bytes.lastIndexOf("idx1");
    if (nIndex < 0)
        return QString();
    // Two thirds of the data, which ends inside some picture's chunk.
    return WriteDerived(strName, bytes.left(nIndex * 2 / 3 + 7));
}

QString Mp4WithoutIndex()
{
    const QString strName = QStringLiteral("h264-nomoov.mp4");
    if (QFileInfo::exists(Dir() + QLatin1Char('/') + strName))
        return Dir() + QLatin1Char('/') + strName;
    const QByteArray bytes = ReadAll(Mp4H264());
    const int nMoov = bytes.lastIndexOf("moov");
    if (nMoov < 8)
        return QString();
    return WriteDerived(strName, bytes.left(nMoov - 4));
}

QString AudioOnly()
{
    return Make(QStringLiteral("audio-only.mp4"), SoundSource(2) + QStringList{"-c:a", "aac"});
}

QString ZeroBytes()
{
    return WriteDerived(QStringLiteral("zero.avi"), QByteArray());
}

QString RandomBytes()
{
    QByteArray bytes(64 * 1024, '\0');
    QRandomGenerator generator(1234);
    for (char &c : bytes)
        c = static_cast<char>(generator.bounded(256));
    return WriteDerived(QStringLiteral("random.avi"), bytes);
}

// The silent MJPEG AVI with 32-bit fields of its headers set to `value`: each field is named by
// its chunk ("avih", "strh") and its offset in the chunk's data.
static QString PatchedSilentAvi(const QString &strName, const std::vector<std::pair<const char *, int>> &fields,
                         quint32 value)
{
    if (QFileInfo::exists(Dir() + QLatin1Char('/') + strName))
        return Dir() + QLatin1Char('/') + strName;
    QByteArray bytes = ReadAll(
        Make(QStringLiteral("mjpeg-silent.avi"), VideoSource(1) + QStringList{"-c:v", "mjpeg", "-q:v", "5"}));
    for (const auto &[pszChunk, nOffset] : fields) {
        const int nChunk = bytes.indexOf(pszChunk);
        if (nChunk < 0)
            return QString();
        qToLittleEndian<quint32>(value, bytes.data() + nChunk + 8 + nOffset);
    }
    return WriteDerived(strName, bytes);
}

QString AviZeroRate()
{
    // avih: dwMicroSecPerFrame is its first field; strh (vids): dwRate at 24.
    return PatchedSilentAvi(QStringLiteral("zero-rate.avi"), {{"avih", 0}, {"strh", 24}}, 0);
}

QString HlsPlaylistNamedAvi()
{
    // A playlist whose one segment is a playable clip beside it.
    const QString strSegment = QFileInfo(Mp4H264()).fileName();
    return WriteDerived(QStringLiteral("playlist.avi"),
                        "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4.0,\n" + strSegment.toUtf8() +
                            "\n#EXT-X-ENDLIST\n");
}

QString AviClaimingBillionFrames()
{
    // avih: dwTotalFrames at 16; strh: dwLength at 32.
    return PatchedSilentAvi(QStringLiteral("billion-frames.avi"), {{"avih", 16}, {"strh", 32}}, 1000000000u);
}

long long FfprobeCountFrames(const QString &strPath)
{
    QByteArray out;
    if (RunProgram(QStringLiteral("ffprobe"),
                   {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                    "stream=nb_read_frames", "-of", "csv=p=0", strPath},
                   &out) != 0)
        return -1;
    bool bOk = false;
    const long long llCount = out.trimmed().split(',').value(0).toLongLong(&bOk);
    return bOk ? llCount : -1;
}

const std::vector<QImage> &FfmpegFrames(const QString &strPath)
{
    static QMutex s_mutex;
    static QMap<QString, std::vector<QImage>> s_frames;
    QMutexLocker lock(&s_mutex);
    auto it = s_frames.find(strPath);
    if (it != s_frames.end())
        return it.value();
    std::vector<QImage> frames;
    QByteArray out;
    if (RunProgram(QStringLiteral("ffmpeg"),
                   {"-v", "error", "-i", strPath, "-map", "0:v:0", "-fps_mode", "passthrough", "-f",
                    "rawvideo", "-pix_fmt", "bgra", "-"},
                   &out) == 0) {
        const int nFrameBytes = kWidth * kHeight * 4;
        for (int nOffset = 0; nOffset + nFrameBytes <= out.size(); nOffset += nFrameBytes) {
            QImage image(reinterpret_cast<const uchar *>(out.constData() + nOffset), kWidth, kHeight,
                         kWidth * 4, QImage::Format_RGB32);
            frames.push_back(image.copy());
        }
    }
    return s_frames.insert(strPath, std::move(frames)).value();
}

QImage FfmpegSelectFrame(const QString &strPath, long long n)
{
    QByteArray out;
    if (RunProgram(QStringLiteral("ffmpeg"),
                   {"-v", "error", "-i", strPath, "-map", "0:v:0", "-vf",
                    QStringLiteral("select=eq(n\\,%1)").arg(n), "-vframes", "1", "-f", "rawvideo", "-pix_fmt",
                    "bgra", "-"},
                   &out) != 0 ||
        out.size() < kWidth * kHeight * 4)
        return QImage();
    return QImage(reinterpret_cast<const uchar *>(out.constData()), kWidth, kHeight, kWidth * 4,
                  QImage::Format_RGB32)
        .copy();
}

QString MakeCopied(const QString &strName, const QStringList &args, const QStringList &copyArgs)
{
    const QString strPath = Dir() + QLatin1Char('/') + strName;
    if (QFileInfo::exists(strPath))
        return strPath;
    const QString strSource = Make(QStringLiteral("src-") + strName, args);
    if (strSource.isEmpty())
        return QString();
    return Make(strName, QStringList{"-i", strSource, "-map", "0", "-c", "copy"} + copyArgs);
}

QString WithTrackMatrix(const QString &strMp4, const QString &strName, const int32_t matrix[9])
{
    QByteArray bytes = ReadAll(strMp4);
    // The video track comes first in our clips. In a version-0 track header the matrix starts
    // 44 bytes after the box type.
    const int nAt = bytes.indexOf("tkhd");
    if (nAt < 4 || bytes.size() < nAt + 80 || bytes.at(nAt + 4) != 0)
        return QString();
    for (int i = 0; i < 9; ++i) {
        const uint32_t v = static_cast<uint32_t>(matrix[i]);
        for (int k = 0; k < 4; ++k)
            bytes[nAt + 44 + 4 * i + k] = static_cast<char>((v >> (24 - 8 * k)) & 0xff);
    }
    return WriteDerived(strName, bytes);
}

QImage FfmpegPicture(const QString &strPath, long long n, const QString &strFilters, bool bAutorotate)
{
    QString strChain = QStringLiteral("select=eq(n\\,%1)").arg(n);
    if (!strFilters.isEmpty())
        strChain += QLatin1Char(',') + strFilters;
    QStringList args{"-v", "error"};
    if (!bAutorotate)
        args << "-noautorotate";
    args << "-i" << strPath << "-map" << "0:v:0" << "-vf" << strChain << "-vframes" << "1" << "-f"
         << "image2pipe" << "-c:v" << "png" << "-";
    QByteArray out;
    if (RunProgram(QStringLiteral("ffmpeg"), args, &out) != 0)
        return QImage();
    return QImage::fromData(out, "PNG").convertToFormat(QImage::Format_RGB32);
}

double MeanDifference(const QImage &a, const QImage &b)
{
    if (a.isNull() || b.isNull() || a.size() != b.size())
        return std::numeric_limits<double>::infinity();
    const QImage ca = a.convertToFormat(QImage::Format_RGB32);
    const QImage cb = b.convertToFormat(QImage::Format_RGB32);
    double dSum = 0;
    for (int y = 0; y < ca.height(); ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(ca.constScanLine(y));
        const auto *pb = reinterpret_cast<const QRgb *>(cb.constScanLine(y));
        for (int x = 0; x < ca.width(); ++x)
            dSum += std::abs(qRed(pa[x]) - qRed(pb[x])) + std::abs(qGreen(pa[x]) - qGreen(pb[x])) +
                    std::abs(qBlue(pa[x]) - qBlue(pb[x]));
    }
    return dSum / (3.0 * ca.width() * ca.height());
}

long long ClosestFrame(const QString &strPath, const QImage &image)
{
    const std::vector<QImage> &frames = FfmpegFrames(strPath);
    long long llBest = -1;
    double dBest = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < frames.size(); ++i) {
        const double d = MeanDifference(frames[i], image);
        if (d < dBest) {
            dBest = d;
            llBest = static_cast<long long>(i);
        }
    }
    return llBest;
}

} // namespace clips
