// Thumbnails of clips: the first key picture scaled to a size, decoded on the calling thread
// (any thread), and kept on disk keyed by path, size and modification time so that a card seen
// before lists at once. The disk cache keeps to a size limit: when a new thumbnail takes it over,
// the least recently used ones go (a thumbnail read from the cache counts as used).
#pragma once

#include "mediaresult.h"

#include <QImage>
#include <QSize>
#include <QString>

class CThumbnailer
{
public:
    // From the disk cache when it holds this clip at this size and modification time, else
    // decoded (and then stored). Thread-safe.
    static HRESULT Get(const QString &strPath, const QSize &size, QImage *pImage);
    // Always decodes; never touches the disk cache.
    static HRESULT Decode(const QString &strPath, const QSize &size, QImage *pImage);

    // Folder of the disk cache; empty turns it off. Default: the user's cache folder.
    static void SetCacheDirectory(const QString &strDirectory);
    static QString CacheDirectory();
    // Bytes the disk cache may hold (its thumbnail files); default 64 MiB.
    static void SetCacheLimit(qint64 bytes);
    static qint64 CacheLimit();
    // Removes the least recently used thumbnails of strDirectory until it holds at most
    // limitBytes; returns the bytes it holds then. A store lists the folder only when the bytes
    // it counted go over the limit.
    static qint64 TrimCache(const QString &strDirectory, qint64 limitBytes);
};
