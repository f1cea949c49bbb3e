// Files a recorder or a card can leave behind: each gets a clear result code, and nothing hangs.
#include "clipfactory.h"

#include "media/mediagraph.h"
#include "media/picturecache.h"
#include "media/thumbnailer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>
#include <random>

namespace {

TEST(BadInput, UnplayableFilesAreRefusedWithTheirCode)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const struct {
        const char *pszCase;
        std::function<QString()> path;
        HRESULT hrExpected;
    } cases[] = {
        {"zero-byte file", clips::ZeroBytes, VFW_E_CANNOT_RENDER},
        {"random bytes named .avi", clips::RandomBytes, VFW_E_CANNOT_RENDER},
        {"MP4 without its index atom", clips::Mp4WithoutIndex, VFW_E_CANNOT_RENDER},
        {"HLS playlist named .avi", clips::HlsPlaylistNamedAvi, VFW_E_CANNOT_RENDER},
        {"sound only", clips::AudioOnly, E_UNEXPECTED},
        {"missing file", [&] { return temp.filePath("missing.avi"); }, VFW_E_NOT_FOUND},
        {"a folder", [&] { return temp.path(); }, VFW_E_NOT_FOUND},
    };
    for (const auto &c : cases) {
        const QString strPath = c.path();
        ASSERT_FALSE(strPath.isEmpty()) << c.pszCase;
        CMediaGraph graph;
        EXPECT_EQ(graph.OpenMedia(strPath), c.hrExpected) << c.pszCase;
        EXPECT_EQ(graph.State(), GraphState::NoGraph) << c.pszCase;
        EXPECT_FALSE(graph.HasVideo()) << c.pszCase;
        QRect rc;
        EXPECT_EQ(graph.PlaceVideo(&rc), E_ACCESSDENIED) << c.pszCase;
        QImage thumbnail;
        EXPECT_TRUE(FAILED(CThumbnailer::Decode(strPath, QSize(32, 32), &thumbnail))) << c.pszCase;
        EXPECT_TRUE(thumbnail.isNull()) << c.pszCase;
    }
}

TEST(BadInput, AFailedOpenReleasesTheClipOpenBefore)
{
    CMediaGraph graph;
    ASSERT_EQ(graph.OpenMedia(clips::Mp4H264()), S_OK);
    EXPECT_EQ(graph.OpenMedia(clips::AudioOnly()), E_UNEXPECTED);
    EXPECT_EQ(graph.State(), GraphState::NoGraph);
    EXPECT_EQ(graph.HasAudio(), 0);
    EXPECT_EQ(graph.SeekCapabilities(), 0u);
    // An empty path changes nothing at all.
    ASSERT_EQ(graph.OpenMedia(clips::Mp4H264()), S_OK);
    EXPECT_EQ(graph.OpenMedia(QString()), E_UNEXPECTED);
    EXPECT_EQ(graph.State(), GraphState::Stopped);
}

TEST(BadInput, AHeaderClaimingABillionPicturesIsMeasuredByWhatTheFileHolds)
{
    const QString strClip = clips::AviClaimingBillionFrames();
    ASSERT_FALSE(strClip.isEmpty());
    CMediaGraph graph;
    ASSERT_EQ(graph.OpenMedia(strClip), S_OK);
    EXPECT_EQ(graph.FrameCount(), clips::FfprobeCountFrames(strClip));
    EXPECT_LT(graph.FrameCount(), 100);
}

TEST(BadInput, AHeaderClaimingZeroPicturesASecondNeverGivesAZeroFrameTime)
{
    const QString strClip = clips::AviZeroRate();
    ASSERT_FALSE(strClip.isEmpty());
    CMediaGraph graph;
    const HRESULT hr = graph.OpenMedia(strClip);
    if (SUCCEEDED(hr)) {
        // FFmpeg substitutes a rate; then the clip must be measured consistently.
        EXPECT_GT(graph.FrameTime(), 0);
        EXPECT_EQ(graph.FrameCount(), clips::FfprobeCountFrames(strClip));
        EXPECT_EQ(graph.SeekToFrame(graph.FrameCount() - 1), S_OK);
    } else {
        EXPECT_EQ(hr, VFW_E_INVALID_FILE_FORMAT);
        EXPECT_EQ(graph.State(), GraphState::NoGraph);
    }
}

// A clip copied to a temporary folder, so that the test may damage it.
QString CopyOf(const QString &strClip, const QTemporaryDir &temp, const QString &strName)
{
    const QString strCopy = temp.filePath(strName);
    return QFile::copy(strClip, strCopy) ? strCopy : QString();
}

TEST(BadInput, AClipDeletedOrCutWhileOpenGivesCodesOrRightPictures)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    CMediaGraph::SetPictureCacheLimit(0); // every seek must go to the file
    const struct {
        const char *pszCase;
        std::function<QString()> clip;
        bool bDelete;
    } cases[] = {
        {"MP4 deleted", clips::Mp4H264, true},
        {"MP4 cut to a third", clips::Mp4H264, false},
        {"AVI deleted", clips::AviMjpeg, true},
        {"AVI cut to a third", clips::AviMjpeg, false},
        {"AVI without index cut to a third", clips::AviWithoutIndex, false},
    };
    int nCase = 0;
    for (const auto &c : cases) {
        const QString strClip = c.clip();
        const auto &reference = clips::FfmpegFrames(strClip);
        const QString strCopy =
            CopyOf(strClip, temp, QStringLiteral("clip%1.%2").arg(nCase++).arg(QFileInfo(strClip).suffix()));
        ASSERT_FALSE(strCopy.isEmpty()) << c.pszCase;
        CMediaGraph graph;
        ASSERT_EQ(graph.OpenMedia(strCopy), S_OK) << c.pszCase;
        ASSERT_EQ(graph.SeekToFrame(3), S_OK) << c.pszCase;
        if (c.bDelete) {
            ASSERT_TRUE(QFile::remove(strCopy));
        } else {
            QFile file(strCopy);
            ASSERT_TRUE(file.resize(file.size() / 3));
        }
        std::mt19937 random(3);
        for (int i = 0; i < 20; ++i) {
            const int64_t n = std::uniform_int_distribution<int64_t>(0, graph.FrameCount() - 1)(random);
            const HRESULT hr = graph.SeekToFrame(n);
            if (SUCCEEDED(hr)) {
                // Never a wrong picture reported as the right one.
                EXPECT_LT(clips::MeanDifference(graph.CurrentImage(), reference[size_t(n)]), 4.0)
                    << c.pszCase << " frame " << n;
            } else {
                EXPECT_EQ(graph.State(), GraphState::Paused) << c.pszCase;
            }
        }
        // The graph stays usable: release and reopen elsewhere.
        EXPECT_EQ(graph.ReleaseGraph(), S_OK);
        EXPECT_EQ(graph.OpenMedia(clips::AviH264()), S_OK) << c.pszCase;
    }
    CMediaGraph::SetPictureCacheLimit(PICTURE_CACHE_DEFAULT_BYTES);
}

} // namespace
