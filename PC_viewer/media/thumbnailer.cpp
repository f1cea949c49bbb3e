// First-picture thumbnails and their disk cache.
#include "thumbnailer.h"

#include "ffmpegptr.h"
#include "mediainput.h"
#include "picture.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

// A thumbnail must not hold up a list for long, whatever the file.
constexpr std::chrono::milliseconds THUMBNAIL_TIME_LIMIT{5000};
// Packets read looking for the first picture before giving up.
constexpr int THUMBNAIL_MAX_PACKETS = 600;

QMutex g_dirMutex;
bool g_bDirSet = false;
QString g_strDir;
qint64 g_nLimit = qint64(64) << 20;
// Stores and trims one at a time, so that two threads never trim the same files.
QMutex g_trimMutex;
// Bytes the cache folder holds as far as this process knows (under g_trimMutex): counted once by
// listing the folder, then kept up by each store, so that the folder is listed again only when a
// store takes it over its limit (listing it after every store made a large card's first load
// quadratic in its clips).
QString g_strCountedDir;
qint64 g_nCountedBytes = -1;

qint64 FolderBytes(const QString &strDirectory)
{
    qint64 total = 0;
    for (const QFileInfo &f : QDir(strDirectory).entryInfoList({QStringLiteral("*.png")}, QDir::Files))
        total += f.size();
    return total;
}

// Bumped when the way thumbnails are made changes (2: turned by the clip's display matrix), so
// that pictures cached by an older viewer are not shown.
constexpr int THUMBNAIL_CACHE_VERSION = 2;

QString CacheFile(const QString &strDir, const QFileInfo &info, const QSize &size)
{
    // One pass over the pattern: a '%' in the clip's path stays part of the path (chained .arg()
    // would fill it with the next value, and two clips could share a cache file).
    const QString strKey = QStringLiteral("v%6|%1|%2x%3|%4|%5")
                               .arg(info.absoluteFilePath(), QString::number(size.width()),
                                    QString::number(size.height()),
                                    QString::number(info.lastModified().toMSecsSinceEpoch()),
                                    QString::number(info.size()), QString::number(THUMBNAIL_CACHE_VERSION));
    const QByteArray hash = QCryptographicHash::hash(strKey.toUtf8(), QCryptographicHash::Sha1);
    return strDir + QLatin1Char('/') + QString::fromLatin1(hash.toHex()) + QStringLiteral(".png");
}

// The reduction (halvings of each side) at which the picture stays at least twice the thumbnail.
int ThumbnailLowres(const AVStream *pStream, const QSize &size)
{
    int nLowres = 0;
    const int nWidth = pStream->codecpar->width, nHeight = pStream->codecpar->height;
    while (nLowres < 3 && (nWidth >> (nLowres + 1)) >= 2 * size.width() &&
           (nHeight >> (nLowres + 1)) >= 2 * size.height())
        ++nLowres;
    return nLowres;
}

} // namespace

void CThumbnailer::SetCacheDirectory(const QString &strDirectory)
{
    QMutexLocker lock(&g_dirMutex);
    g_bDirSet = true;
    g_strDir = strDirectory;
}

QString CThumbnailer::CacheDirectory()
{
    QMutexLocker lock(&g_dirMutex);
    if (!g_bDirSet) {
        const QString strBase = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        g_strDir = strBase.isEmpty() ? QString() : strBase + QStringLiteral("/thumbnails");
        g_bDirSet = true;
    }
    return g_strDir;
}

void CThumbnailer::SetCacheLimit(qint64 bytes)
{
    QMutexLocker lock(&g_dirMutex);
    g_nLimit = qMax<qint64>(0, bytes);
}

qint64 CThumbnailer::CacheLimit()
{
    QMutexLocker lock(&g_dirMutex);
    return g_nLimit;
}

qint64 CThumbnailer::TrimCache(const QString &strDirectory, qint64 limitBytes)
{
    if (strDirectory.isEmpty())
        return 0;
    // Least recently used first: a thumbnail's time is that of its last store or use.
    QFileInfoList files = QDir(strDirectory).entryInfoList({QStringLiteral("*.png")}, QDir::Files,
                                                           QDir::Time | QDir::Reversed);
    qint64 total = 0;
    for (const QFileInfo &f : files)
        total += f.size();
    for (const QFileInfo &f : files) {
        if (total <= limitBytes)
            break;
        if (QFile::remove(f.absoluteFilePath()))
            total -= f.size();
    }
    return total;
}

HRESULT CThumbnailer::Get(const QString &strPath, const QSize &size, QImage *pImage)
{
    if (!pImage)
        return E_POINTER;
    *pImage = QImage();
    const QFileInfo info(strPath);
    if (!info.isFile())
        return VFW_E_NOT_FOUND;
    const QString strDir = CacheDirectory();
    const QString strFile = strDir.isEmpty() ? QString() : CacheFile(strDir, info, size);
    if (!strFile.isEmpty()) {
        QImage cached;
        if (cached.load(strFile, "PNG") && cached.size() == size) {
            *pImage = cached.convertToFormat(QImage::Format_RGB32);
            // Used now: the last to go when the cache is trimmed.
            QFile file(strFile);
            if (file.open(QIODevice::ReadWrite))
                file.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
            return S_OK;
        }
    }
    const HRESULT hr = Decode(strPath, size, pImage);
    if (SUCCEEDED(hr) && !strFile.isEmpty() && QDir().mkpath(strDir)) {
        // Written whole or not at all, so a crash never leaves a broken thumbnail behind.
        QMutexLocker lock(&g_trimMutex);
        QSaveFile file(strFile);
        // Flushed before the commit, which would not notice that the buffered tail failed.
        if (file.open(QIODevice::WriteOnly) && pImage->save(&file, "PNG") && file.flush() && file.commit()) {
            if (g_strCountedDir != strDir || g_nCountedBytes < 0) {
                g_strCountedDir = strDir;
                g_nCountedBytes = FolderBytes(strDir);
            } else {
                g_nCountedBytes += QFileInfo(strFile).size();
            }
            if (g_nCountedBytes > CacheLimit())
                g_nCountedBytes = TrimCache(strDir, CacheLimit());
        }
    }
    return hr;
}

HRESULT CThumbnailer::Decode(const QString &strPath, const QSize &size, QImage *pImage)
{
    if (!pImage)
        return E_POINTER;
    *pImage = QImage();
    if (!size.isValid() || size.isEmpty())
        return E_INVALIDARG;
    CMediaInput input;
    HRESULT hr = input.Open(strPath, THUMBNAIL_TIME_LIMIT);
    if (FAILED(hr))
        return hr;
    input.KeepOnly(input.VideoIndex());
    const tagVIDEOORIENTATION orientation = input.VideoOrientation();
    // One thread: with frame threads the first picture would wait for later packets (several
    // clips are done at once instead). Only the first intra picture is wanted, and only at a small size:
    // the decoder skips the rest, its loop filter and, where the codec can (MJPEG), decodes at
    // a reduced resolution.
    AVCodecContextPtr pCodec;
    const int nLowres = ThumbnailLowres(input.VideoStream(), size);
    hr = input.OpenDecoder(input.VideoIndex(), 1, &pCodec, [nLowres](AVCodecContext *pContext) {
        pContext->skip_frame = AVDISCARD_NONINTRA;
        pContext->skip_loop_filter = AVDISCARD_ALL;
        pContext->flags2 |= AV_CODEC_FLAG2_FAST;
        pContext->lowres = std::min(nLowres, pContext->codec ? int(pContext->codec->max_lowres) : 0);
    });
    if (FAILED(hr))
        return hr == E_OUTOFMEMORY ? hr : VFW_E_CANNOT_RENDER;
    AVPacketPtr pPacket = MakeAvPacket();
    AVFramePtr pFrame = MakeAvFrame();
    if (!pPacket || !pFrame)
        return E_OUTOFMEMORY;
    bool bKeySeen = false;
    bool bDraining = false;
    for (int nPackets = 0; nPackets < THUMBNAIL_MAX_PACKETS;) {
        const int nErr = avcodec_receive_frame(pCodec.get(), pFrame.get());
        if (nErr == 0) {
            *pImage = CPicture::ToImage(pFrame.get(), size, orientation);
            return pImage->isNull() ? E_OUTOFMEMORY : S_OK;
        }
        if (nErr != AVERROR(EAGAIN) || bDraining)
            break;
        const int nRead = av_read_frame(input.Format(), pPacket.get());
        if (nRead < 0) {
            if (input.TimedOut())
                return VFW_E_TIMEOUT;
            avcodec_send_packet(pCodec.get(), nullptr);
            bDraining = true;
            continue;
        }
        if (pPacket->stream_index == input.VideoIndex()) {
            ++nPackets;
            // Pictures before the first key frame cannot be decoded cleanly.
            if (pPacket->flags & AV_PKT_FLAG_KEY)
                bKeySeen = true;
            if (bKeySeen)
                avcodec_send_packet(pCodec.get(), pPacket.get());
        }
        av_packet_unref(pPacket.get());
    }
    return input.TimedOut() ? VFW_E_TIMEOUT : VFW_E_CANNOT_RENDER;
}
