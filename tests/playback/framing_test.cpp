// Frame counts and pictures of the engine against ffmpeg's own decoding, for every kind of clip
// the recorders write (and the damaged ones they leave behind).
#include "clipfactory.h"
#include "testsupport.h"

#include "media/mediagraph.h"
#include "media/picturecache.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <algorithm>
#include <functional>
#include <random>

namespace {

struct ClipCase {
    const char *pszName;
    std::function<QString()> make;
};

const ClipCase kClips[] = {
    {"Mp4H264", clips::Mp4H264},
    {"Mp4H264BFrames", clips::Mp4H264BFrames},
    {"Mp4HevcBFrames", clips::Mp4HevcBFrames},
    {"AviMjpeg", clips::AviMjpeg},
    {"AviH264", clips::AviH264},
    {"AviWithoutIndex", clips::AviWithoutIndex},
    {"AviCutMidPicture", clips::AviCutMidPicture},
};

class FramingTest : public ::testing::TestWithParam<ClipCase>
{
protected:
    void SetUp() override
    {
        m_strClip = GetParam().make();
        ASSERT_FALSE(m_strClip.isEmpty()) << "could not generate the clip with ffmpeg";
        m_pReference = &clips::FfmpegFrames(m_strClip);
        ASSERT_GT(m_pReference->size(), 10u);
    }
    void TearDown() override { CMediaGraph::SetPictureCacheLimit(PICTURE_CACHE_DEFAULT_BYTES); }

    // Seeks and checks position, state and that the picture is ffmpeg's picture n (closer to it
    // than to either neighbour).
    void ExpectExactSeek(CMediaGraph &graph, int64_t n)
    {
        ASSERT_EQ(graph.SeekToFrame(n), S_OK) << "frame " << n;
        EXPECT_EQ(graph.State(), GraphState::Paused);
        int64_t llFrame = -1, llTime = -1;
        ASSERT_EQ(graph.CurrentFrame(&llFrame), S_OK);
        ASSERT_EQ(graph.CurrentTime(&llTime), S_OK);
        EXPECT_EQ(llFrame, n);
        EXPECT_EQ(llTime, n * graph.FrameTime());
        QImage image;
        int64_t llShown = -1;
        ASSERT_EQ(graph.GetCurrentImage(&image, &llShown), S_OK);
        EXPECT_EQ(llShown, n);
        const auto &ref = *m_pReference;
        const double dSame = clips::MeanDifference(image, ref[size_t(n)]);
        EXPECT_LT(dSame, 4.0) << "frame " << n << " differs from ffmpeg's";
        for (int64_t m : {n - 1, n + 1}) {
            if (m < 0 || m >= int64_t(ref.size()))
                continue;
            EXPECT_LT(dSame, clips::MeanDifference(image, ref[size_t(m)]))
                << "frame " << n << " looks more like frame " << m;
        }
    }

    QString m_strClip;
    const std::vector<QImage> *m_pReference = nullptr;
};

TEST_P(FramingTest, MeasuresTheClipAsAFullDecodeDoes)
{
    CMediaGraph graph;
    ASSERT_EQ(graph.OpenMedia(m_strClip), S_OK);
    EXPECT_EQ(graph.State(), GraphState::Stopped);
    EXPECT_EQ(graph.FrameCount(), clips::FfprobeCountFrames(m_strClip));
    EXPECT_EQ(graph.FrameCount(), int64_t(m_pReference->size()));
    ASSERT_GT(graph.FrameTime(), 0);
    EXPECT_EQ(graph.FrameTime(), graph.Duration() / graph.FrameCount());
    // The clips are made at 30 pictures a second.
    EXPECT_NEAR(double(graph.FrameTime()), 1e7 / 30.0, 1.0);
    EXPECT_EQ(graph.VideoSize(), QSize(clips::kWidth, clips::kHeight));
    // After the open the graph shows the first picture, stopped.
    int64_t llFrame = -1;
    ASSERT_EQ(graph.CurrentFrame(&llFrame), S_OK);
    EXPECT_EQ(llFrame, 0);
    EXPECT_LT(clips::MeanDifference(graph.CurrentImage(), m_pReference->front()), 4.0);
}

TEST_P(FramingTest, EveryPictureIsExactForwardBackwardAndAtRandom)
{
    // A fresh graph per order, so that one order's cached pictures do not serve the next.
    const auto count = int64_t(m_pReference->size());
    std::vector<std::vector<int64_t>> orders(3);
    for (int64_t i = 0; i < count; ++i) {
        orders[0].push_back(i);
        orders[1].push_back(count - 1 - i);
    }
    std::mt19937 random(7);
    for (int i = 0; i < 40; ++i)
        orders[2].push_back(std::uniform_int_distribution<int64_t>(0, count - 1)(random));
    orders[2].push_back(count - 1);
    for (const auto &order : orders) {
        CMediaGraph graph;
        ASSERT_EQ(graph.OpenMedia(m_strClip), S_OK);
        for (int64_t n : order)
            ExpectExactSeek(graph, n);
    }
}

TEST_P(FramingTest, PicturesStayExactWithoutACache)
{
    // Every seek then goes through the decoders: going on, seeking back, landing checks.
    CMediaGraph::SetPictureCacheLimit(0);
    const auto count = int64_t(m_pReference->size());
    CMediaGraph graph;
    ASSERT_EQ(graph.OpenMedia(m_strClip), S_OK);
    std::mt19937 random(11);
    for (int i = 0; i < 25; ++i)
        ExpectExactSeek(graph, std::uniform_int_distribution<int64_t>(0, count - 1)(random));
    for (int64_t n = count - 1; n >= count - 5; --n)
        ExpectExactSeek(graph, n);
}

TEST_P(FramingTest, AgreesWithFfmpegsSelectFilter)
{
    CMediaGraph graph;
    ASSERT_EQ(graph.OpenMedia(m_strClip), S_OK);
    const int64_t llLast = graph.FrameCount() - 1;
    for (int64_t n : {int64_t(0), llLast / 2 + 1, llLast}) {
        ASSERT_EQ(graph.SeekToFrame(n), S_OK);
        EXPECT_LT(clips::MeanDifference(graph.CurrentImage(), clips::FfmpegSelectFrame(m_strClip, n)), 4.0)
            << "frame " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, FramingTest, ::testing::ValuesIn(kClips),
                         [](const ::testing::TestParamInfo<ClipCase> &info) {
                             return std::string(info.param.pszName);
                         });

} // namespace
