// Test clips made with the ffmpeg command (never committed), and what ffmpeg itself decodes from
// them, to compare the engine's pictures with.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace clips {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// The build tree (where pellister-cli is).
QString BinaryDir();
// Folder of the generated clips (made once per build tree, shared by the test processes).
QString Dir();
// Runs ffmpeg with args writing to the clip file name (once; later calls reuse the file).
QString Make(const QString &strName, const QStringList &args);

// 4 s at 30 fps, key frame every 15 pictures, with AAC sound.
QString Mp4H264();
// The same with B-frames (pictures reordered), without sound.
QString Mp4H264BFrames();
// H.265 in MP4 with B-frames, key frame every 15 pictures.
QString Mp4HevcBFrames();
// 3 s MJPEG with PCM sound.
QString AviMjpeg();
// 3 s H.264 in AVI, key frame every 10 pictures.
QString AviH264();
// AVI MJPEG whose index was never written (recording cut off before closing).
QString AviWithoutIndex();
// AVI MJPEG cut in the middle of a picture.
QString AviCutMidPicture();
// MP4 cut before its index atom (power lost while recording).
QString Mp4WithoutIndex();
QString AudioOnly();
QString ZeroBytes();
QString RandomBytes();
// AVI whose header claims 0 pictures a second.
QString AviZeroRate();
// An HLS playlist named .avi whose segment is the local Mp4H264() clip.
QString HlsPlaylistNamedAvi();
// A one-second MJPEG AVI whose headers claim 10^9 pictures.
QString AviClaimingBillionFrames();

// Number of pictures a full decode yields (ffprobe -count_frames).
long long FfprobeCountFrames(const QString &strPath);
// Every picture ffmpeg decodes, in order, as RGB32.
const std::vector<QImage> &FfmpegFrames(const QString &strPath);
// Picture n as ffmpeg's select filter picks it.
QImage FfmpegSelectFrame(const QString &strPath, long long n);
// A clip made by ffmpeg with any arguments, then stream-copied with extra output arguments
// (metadata that only a copy keeps, such as "rotate"); named after its recipe.
QString MakeCopied(const QString &strName, const QStringList &args, const QStringList &copyArgs);
// A copy of an MP4 whose video track header carries the given display matrix (the nine numbers
// as the file stores them); empty when the clip has no track header.
QString WithTrackMatrix(const QString &strMp4, const QString &strName, const int32_t matrix[9]);
// Picture n as the ffmpeg command shows it (turned by the display matrix unless bAutorotate is
// false), after the extra filters; any size.
QImage FfmpegPicture(const QString &strPath, long long n, const QString &strFilters = QString(),
                     bool bAutorotate = true);

// Mean absolute difference of the colour channels (0..255); a huge value for different sizes.
double MeanDifference(const QImage &a, const QImage &b);
// The index of the ffmpeg picture closest to image, or -1.
long long ClosestFrame(const QString &strPath, const QImage &image);

// Runs a program; returns its exit code (-1 when it did not run or end within the time limit).
int RunProgram(const QString &strProgram, const QStringList &args, QByteArray *pOut = nullptr,
               QByteArray *pErr = nullptr, int nTimeoutMs = 120000);

} // namespace clips
