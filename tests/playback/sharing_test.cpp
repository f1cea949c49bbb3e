// The picture cache shared by every graph on a clip (the grid), stepping backwards, decoding
// ahead on workers, asynchronous seeks, and thumbnails.
#include "clipfactory.h"
#include "testsupport.h"

#include "media/mediagraph.h"
#include "media/mediasource.h"
#include "media/picturecache.h"
#include "media/thumbnailer.h"
#include "media/thumbnailqueue.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <memory>
#include <numeric>
#include <vector>

namespace {

// Decoding ahead off, so that pictures decoded are only those the graphs asked for.
struct NoWorkers {
    NoWorkers() { CMediaSource::SetWorkerCount(0); }
    ~NoWorkers() { CMediaSource::SetWorkerCount(2); }
};

std::shared_ptr<CMediaSource> SourceOf(const QString &strClip)
{
    std::shared_ptr<CMediaSource> pSource;
    EXPECT_EQ(CMediaSource::Acquire(strClip, &pSource), S_OK);
    return pSource;
}

TEST(PictureSharing, SlidingAGridByOneFrameDecodesOnePicture)
{
    NoWorkers noWorkers;
    const QString strClip = clips::Mp4H264();
    const auto &reference = clips::FfmpegFrames(strClip);
    for (int nPanes : {4, 9, 16, 25}) {
        std::vector<std::unique_ptr<CMediaGraph>> panes;
        for (int i = 0; i < nPanes; ++i) {
            panes.push_back(std::make_unique<CMediaGraph>());
            ASSERT_EQ(panes.back()->OpenMedia(strClip), S_OK);
        }
        const auto pSource = SourceOf(strClip);
        int64_t llFirst = 20;
        for (int i = 0; i < nPanes; ++i)
            ASSERT_EQ(panes[size_t(i)]->SeekToFrame(llFirst + i), S_OK);
        for (int nStep = 0; nStep < 5; ++nStep) {
            ++llFirst;
            const int64_t llBefore = pSource->DecodedCount();
            for (int i = 0; i < nPanes; ++i)
                ASSERT_EQ(panes[size_t(i)]->SeekToFrame(llFirst + i), S_OK);
            EXPECT_EQ(pSource->DecodedCount() - llBefore, 1) << nPanes << " panes, step " << nStep;
        }
        for (int i = 0; i < nPanes; ++i)
            EXPECT_LT(clips::MeanDifference(panes[size_t(i)]->CurrentImage(), reference[size_t(llFirst + i)]),
                      4.0);
    }
}

TEST(PictureSharing, SteppingBackDecodesTheGroupOnce)
{
    NoWorkers noWorkers;
    const QString strClip = clips::Mp4H264(); // key frame every 15 pictures
    const auto &reference = clips::FfmpegFrames(strClip);
    CMediaGraph graph;
    ASSERT_EQ(graph.OpenMedia(strClip), S_OK);
    const auto pSource = SourceOf(strClip);
    ASSERT_EQ(graph.SeekToFrame(44), S_OK);
    const int64_t llAfterFirst = pSource->DecodedCount();
    for (int64_t n = 43; n >= 30; --n) {
        ASSERT_EQ(graph.SeekToFrame(n), S_OK);
        EXPECT_LT(clips::MeanDifference(graph.CurrentImage(), reference[size_t(n)]), 4.0);
    }
    EXPECT_EQ(pSource->DecodedCount(), llAfterFirst) << "the group was decoded again";
}

TEST(PictureSharing, GoingBackwardsTheWorkerDecodesThePreviousGroup)
{
    const QString strClip = clips::Mp4H264();
    CMediaGraph graph;
    ASSERT_EQ(graph.OpenMedia(strClip), S_OK);
    ASSERT_EQ(graph.SeekToFrame(44), S_OK);
    ASSERT_EQ(graph.SeekToFrame(43), S_OK);
    const auto pSource = SourceOf(strClip);
    EXPECT_TRUE(WaitFor([&] {
        for (int64_t n = 15; n < 30; ++n)
            if (!pSource->CachedPicture(n))
                return false;
        return true;
    })) << "frames 15 to 29 were not decoded ahead";
}

TEST(PictureSharing, TheCacheStaysWithinItsLimit)
{
    const QString strClip = clips::Mp4H264();
    const auto &reference = clips::FfmpegFrames(strClip);
    const int64_t llLimit = 300 * 1024;
    CMediaGraph::SetPictureCacheLimit(llLimit);
    {
        CMediaGraph graph;
        ASSERT_EQ(graph.OpenMedia(strClip), S_OK);
        for (int64_t n = graph.FrameCount() - 1; n >= 0; n -= 3) {
            ASSERT_EQ(graph.SeekToFrame(n), S_OK);
            EXPECT_LE(CPictureCache::Instance().Bytes(), llLimit);
            EXPECT_LT(clips::MeanDifference(graph.CurrentImage(), reference[size_t(n)]), 4.0);
        }
    }
    CMediaGraph::SetPictureCacheLimit(PICTURE_CACHE_DEFAULT_BYTES);
}

TEST(PictureSharing, ShortOfMemoryAGroupIsKeptAtTheSizeItIsShown)
{
    const QString strClip = clips::Mp4H264(); // key frame every 15 pictures
    const auto &reference = clips::FfmpegFrames(strClip);
    const int64_t llLimit = 1024 * 1024; // less than a group of decoded pictures
    CMediaGraph::SetPictureCacheLimit(llLimit);
    {
        CMediaGraph graph;
        graph.SetVideoWindowRect(QRect(0, 0, 80, 60));
        ASSERT_EQ(graph.OpenMedia(strClip), S_OK);
        const auto pSource = SourceOf(strClip);
        ASSERT_EQ(graph.SeekToFrame(44), S_OK);
        ASSERT_EQ(graph.SeekToFrame(43), S_OK); // backwards: the worker decodes 15 to 29
        ASSERT_TRUE(WaitFor([&] {
            for (int64_t n = 15; n < 30; ++n)
                if (!pSource->CachedPicture(n))
                    return false;
            return true;
        }));
        EXPECT_LE(CPictureCache::Instance().Bytes(), llLimit);
        NoWorkers noWorkers;
        const int64_t llDecoded = pSource->DecodedCount();
        for (int64_t n = 29; n >= 15; --n) {
            ASSERT_EQ(graph.SeekToFrame(n), S_OK);
            QImage shown;
            ASSERT_EQ(graph.GetShownImage(&shown), S_OK);
            const QImage expected = reference[size_t(n)].scaled(80, 60, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            // Another frame of the clip differs by about 15 at this size; scalers differ by up to 7.
            EXPECT_LT(clips::MeanDifference(shown, expected), 9.0) << n;
        }
        EXPECT_EQ(pSource->DecodedCount(), llDecoded) << "the group was decoded again";
        // The native picture of one kept at screen size only is decoded again, exactly.
        EXPECT_LT(clips::MeanDifference(graph.FrameImage(20), reference[20]), 4.0);
    }
    CMediaGraph::SetPictureCacheLimit(PICTURE_CACHE_DEFAULT_BYTES);
}

TEST(ThumbnailQueue, RowsAskedForComeNextAndAReplacedBatchSaysNothing)
{
    CThumbnailer::SetCacheDirectory(QString()); // every thumbnail decoded
    const QStringList paths(40, clips::Mp4H264());
    CThumbnailQueue queue(QSize(32, 32), 1);
    std::vector<int> order;
    QObject::connect(&queue, &CThumbnailQueue::Made, [&](int row, const QImage &image) {
        EXPECT_EQ(image.size(), QSize(32, 32));
        order.push_back(row);
    });
    queue.Start(paths);
    queue.Prioritise(30, 34);
    ASSERT_TRUE(WaitFor([&] { return queue.Done() == 40; }));
    // The one worker may have taken a row or two before; the rows asked for come next, in order.
    const auto first = std::find(order.begin(), order.end(), 30) - order.begin();
    EXPECT_LE(first, 2);
    ASSERT_LE(first + 5, 40);
    EXPECT_EQ(std::vector<int>(order.begin() + first, order.begin() + first + 5), (std::vector<int>{30, 31, 32, 33, 34}));
    std::vector<int> all(40);
    std::iota(all.begin(), all.end(), 0);
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, all) << "every row once";

    order.clear();
    queue.Start(paths);
    queue.Start(paths.mid(0, 3));
    ASSERT_TRUE(WaitFor([&] { return queue.Done() == 3; }));
    EXPECT_EQ(queue.Total(), 3);
    EXPECT_TRUE(std::all_of(order.begin(), order.end(), [](int row) { return row < 3; }));
    EXPECT_EQ(order.size(), 3u);
}

TEST(AsyncSeek, DeliversExactlyTheLastRequestedPicture)
{
    const QString strClip = clips::Mp4H264BFrames();
    const auto &reference = clips::FfmpegFrames(strClip);
    QObject owner;
    CMediaGraph graph;
    RecordingCallback callback;
    graph.SetEventTarget(&owner);
    QObject::connect(&graph, &CMediaGraph::MediaEvent, &owner, [&] { graph.DispatchGraphEvents(&callback); });
    CMediaGraph::SetPictureCacheLimit(0); // the answers must come from a decoder
    ASSERT_EQ(graph.OpenMedia(strClip), S_OK);
    for (int64_t n : {int64_t(50), int64_t(100), int64_t(7)}) {
        const HRESULT hr = graph.SeekToFrameAsync(n);
        ASSERT_TRUE(hr == S_OK || hr == S_FALSE);
        EXPECT_EQ(graph.State(), GraphState::Paused);
        ASSERT_TRUE(WaitFor([&] { return !graph.IsSeekPending(); }));
        int64_t llFrame = -1;
        ASSERT_EQ(graph.CurrentFrame(&llFrame), S_OK);
        EXPECT_EQ(llFrame, n);
        EXPECT_LT(clips::MeanDifference(graph.CurrentImage(), reference[size_t(n)]), 4.0);
    }
    // Requests made faster than they are served: the last one is where the graph ends.
    ASSERT_EQ(graph.SeekToFrame(0), S_OK);
    graph.SeekToFrameAsync(90);
    graph.SeekToFrameAsync(33);
    ASSERT_TRUE(WaitFor([&] { return !graph.IsSeekPending(); }));
    WaitFor([] { return false; }, 300); // let any late answer arrive
    int64_t llFrame = -1;
    ASSERT_EQ(graph.CurrentFrame(&llFrame), S_OK);
    EXPECT_EQ(llFrame, 33);
    EXPECT_LT(clips::MeanDifference(graph.CurrentImage(), reference[33]), 4.0);
    EXPECT_TRUE(callback.Has(EC_OLE_EVENT));
    EXPECT_FALSE(callback.Has(EC_USERABORT));
    CMediaGraph::SetPictureCacheLimit(PICTURE_CACHE_DEFAULT_BYTES);
}

TEST(Thumbnails, FirstPictureScaledAndKeptOnDisk)
{
    QTemporaryDir cacheDir;
    QTemporaryDir clipDir;
    ASSERT_TRUE(cacheDir.isValid() && clipDir.isValid());
    CThumbnailer::SetCacheDirectory(cacheDir.path());
    const QSize size(32, 32);
    for (const QString &strClip : {clips::Mp4H264(), clips::AviMjpeg(), clips::Mp4H264BFrames()}) {
        QImage thumbnail;
        ASSERT_EQ(CMediaGraph::GetThumbnail(strClip, size, &thumbnail), S_OK);
        EXPECT_EQ(thumbnail.size(), size);
        // Scalers differ in detail: the thumbnail must look like the first picture, more than
        // like a later one.
        const auto &frames = clips::FfmpegFrames(strClip);
        const auto scaled = [&](const QImage &image) {
            return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        };
        const double dFirst = clips::MeanDifference(thumbnail, scaled(frames.front()));
        EXPECT_LT(dFirst, 20.0) << qPrintable(strClip);
        EXPECT_LT(dFirst, clips::MeanDifference(thumbnail, scaled(frames[frames.size() / 2])))
            << qPrintable(strClip);
    }
    EXPECT_EQ(QDir(cacheDir.path()).entryList(QDir::Files).size(), 3);

    // A second load is served from the disk; a changed clip is decoded again.
    const QString strCopy = clipDir.filePath("copy.avi");
    ASSERT_TRUE(QFile::copy(clips::AviMjpeg(), strCopy));
    QImage first, second;
    ASSERT_EQ(CThumbnailer::Get(strCopy, size, &first), S_OK);
    EXPECT_EQ(QDir(cacheDir.path()).entryList(QDir::Files).size(), 4);
    ASSERT_EQ(CThumbnailer::Get(strCopy, size, &second), S_OK);
    EXPECT_EQ(QDir(cacheDir.path()).entryList(QDir::Files).size(), 4);
    EXPECT_EQ(first, second);
    {
        QFile file(strCopy);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QFileInfo(strCopy).lastModified().addSecs(60), QFileDevice::FileModificationTime);
    }
    ASSERT_EQ(CThumbnailer::Get(strCopy, size, &second), S_OK);
    EXPECT_EQ(QDir(cacheDir.path()).entryList(QDir::Files).size(), 5);
    CThumbnailer::SetCacheDirectory(QString());
}

TEST(Thumbnails, TheDiskCacheKeepsItsLimitAndDropsTheLeastRecentlyUsed)
{
    QTemporaryDir cacheDir;
    QTemporaryDir clipDir;
    ASSERT_TRUE(cacheDir.isValid() && clipDir.isValid());
    CThumbnailer::SetCacheDirectory(cacheDir.path());
    const qint64 defaultLimit = CThumbnailer::CacheLimit();
    const QSize size(32, 32);
    // Copies of one clip: thumbnails of the same bytes, each in a file of its own.
    QStringList copies;
    for (int i = 0; i < 3; ++i) {
        copies << clipDir.filePath(QStringLiteral("copy%1.avi").arg(i));
        ASSERT_TRUE(QFile::copy(clips::AviMjpeg(), copies.last()));
    }
    const auto files = [&] { return QDir(cacheDir.path()).entryList(QDir::Files); };
    const auto store = [&](const QString &clip) {
        QThread::msleep(20); // distinct times of use
        QImage image;
        EXPECT_EQ(CThumbnailer::Get(clip, size, &image), S_OK);
    };
    store(copies[0]);
    const QStringList first = files();
    ASSERT_EQ(first.size(), 1);
    const qint64 each = QFileInfo(cacheDir.filePath(first.front())).size();
    CThumbnailer::SetCacheLimit(2 * each + each / 2);
    store(copies[1]);
    QStringList second = files();
    ASSERT_EQ(second.size(), 2) << "two fit";
    second.removeAll(first.front());
    store(copies[0]); // used again, from the cache
    store(copies[2]);
    const QStringList left = files();
    EXPECT_EQ(left.size(), 2);
    EXPECT_TRUE(left.contains(first.front())) << "used last but one";
    EXPECT_FALSE(left.contains(second.front())) << "the least recently used went";

    // A limit below one thumbnail keeps none; nothing fails for it.
    CThumbnailer::SetCacheLimit(0);
    store(copies[1]);
    EXPECT_TRUE(files().isEmpty());
    CThumbnailer::SetCacheLimit(defaultLimit);
    CThumbnailer::SetCacheDirectory(QString());
}

} // namespace
