// The graph's state table, its wrong-state codes, events in order on the owner's thread, and
// sound (has audio, volume).
#include "clipfactory.h"
#include "testsupport.h"

#include "media/audiooutput.h"
#include "media/mediagraph.h"
#include "media/nullaudiooutput.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QPainter>

#include <cmath>
#include <functional>

namespace {

QString ShortClipWithSound()
{
    return clips::Make(QStringLiteral("short-sound.mp4"),
                       {"-f",       "lavfi",   "-i",      "testsrc2=s=160x120:r=30:d=1",
                        "-f",       "lavfi",   "-i",      "sine=d=1",
                        "-c:v",     "libx264", "-preset", "ultrafast",
                        "-g",       "10",      "-bf",     "0",
                        "-pix_fmt", "yuv420p", "-c:a",    "aac",
                        "-shortest"});
}

// Sound goes to the clocked null device; the test sees the gain it was given.
struct NullDevice {
    NullDevice()
    {
        CAudioOutput::SetFactory([this] {
            auto pOutput = std::make_unique<CNullAudioOutput>();
            pLast = pOutput.get();
            return pOutput;
        });
    }
    ~NullDevice() { CAudioOutput::SetFactory({}); }
    CNullAudioOutput *pLast = nullptr;
};

struct NoDevice {
    NoDevice()
    {
        CAudioOutput::SetFactory([] { return std::unique_ptr<CAudioOutput>(); });
    }
    ~NoDevice() { CAudioOutput::SetFactory({}); }
};

TEST(GraphState, WithoutAClipEveryOperationIsRefusedWithItsCode)
{
    CMediaGraph graph;
    RecordingCallback callback;
    int64_t llValue = 0;
    QRect rc(0, 0, 10, 10);
    const struct {
        const char *pszOperation;
        std::function<HRESULT()> call;
        HRESULT hrExpected;
    } cases[] = {
        {"Run", [&] { return graph.Run(); }, VFW_E_WRONG_STATE},
        {"Pause", [&] { return graph.Pause(); }, VFW_E_WRONG_STATE},
        {"Stop", [&] { return graph.Stop(); }, VFW_E_WRONG_STATE},
        {"SeekToFrame", [&] { return graph.SeekToFrame(3); }, VFW_E_WRONG_STATE},
        {"SeekToFrameAsync", [&] { return graph.SeekToFrameAsync(3); }, VFW_E_WRONG_STATE},
        {"SeekToTime", [&] { return graph.SeekToTime(0); }, E_UNEXPECTED},
        {"SetPlaybackRate", [&] { return graph.SetPlaybackRate(2.0); }, E_UNEXPECTED},
        {"CurrentTime", [&] { return graph.CurrentTime(&llValue); }, E_UNEXPECTED},
        {"CurrentFrame", [&] { return graph.CurrentFrame(&llValue); }, E_UNEXPECTED},
        {"CurrentFrame(null)", [&] { return graph.CurrentFrame(nullptr); }, E_POINTER},
        {"PlaceVideo", [&] { return graph.PlaceVideo(&rc); }, E_ACCESSDENIED},
        {"DispatchGraphEvents", [&] { return graph.DispatchGraphEvents(&callback); }, E_UNEXPECTED},
        {"DispatchGraphEvents(null)", [&] { return graph.DispatchGraphEvents(nullptr); }, E_POINTER},
        {"OpenMedia(empty)", [&] { return graph.OpenMedia(QString()); }, E_UNEXPECTED},
        {"SetAudioVolume", [&] { return graph.SetAudioVolume(-500); }, S_OK},
        {"SetEventTarget", [&] { return graph.SetEventTarget(nullptr); }, S_OK},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.call(), c.hrExpected) << c.pszOperation;
        EXPECT_EQ(graph.State(), GraphState::NoGraph) << c.pszOperation;
    }
    EXPECT_EQ(rc, QRect(0, 0, 10, 10)) << "a refused PlaceVideo must not touch the rectangle";
    EXPECT_EQ(graph.AudioVolume(), -500) << "the volume is stored even without a clip";
    EXPECT_TRUE(graph.CurrentImage().isNull());
}

enum class Op { Run, Pause, Stop, SeekToFrame };

TEST(GraphState, FollowsTheStateTable)
{
    const QString strClip = clips::Mp4H264();
    const struct {
        GraphState from;
        Op op;
        HRESULT hrExpected;
        GraphState to;
    } cases[] = {
        {GraphState::Stopped, Op::Run, S_OK, GraphState::Running},
        {GraphState::Stopped, Op::Pause, S_OK, GraphState::Paused},
        {GraphState::Stopped, Op::SeekToFrame, S_OK, GraphState::Paused},
        {GraphState::Stopped, Op::Stop, VFW_E_WRONG_STATE, GraphState::Stopped},
        {GraphState::Running, Op::Pause, S_OK, GraphState::Paused},
        {GraphState::Running, Op::SeekToFrame, S_OK, GraphState::Paused},
        {GraphState::Running, Op::Stop, S_OK, GraphState::Stopped},
        {GraphState::Running, Op::Run, VFW_E_WRONG_STATE, GraphState::Running},
        {GraphState::Paused, Op::Run, S_OK, GraphState::Running},
        {GraphState::Paused, Op::Stop, S_OK, GraphState::Stopped},
        {GraphState::Paused, Op::Pause, S_OK, GraphState::Paused},
        {GraphState::Paused, Op::SeekToFrame, S_OK, GraphState::Paused},
    };
    NoDevice noSound;
    for (const auto &c : cases) {
        CMediaGraph graph;
        ASSERT_EQ(graph.OpenMedia(strClip), S_OK);
        ASSERT_EQ(graph.State(), GraphState::Stopped);
        if (c.from == GraphState::Running) {
            ASSERT_EQ(graph.Run(), S_OK);
        } else if (c.from == GraphState::Paused) {
            ASSERT_EQ(graph.Pause(), S_OK);
        }
        HRESULT hr = E_FAIL;
        switch (c.op) {
        case Op::Run: hr = graph.Run(); break;
        case Op::Pause: hr = graph.Pause(); break;
        case Op::Stop: hr = graph.Stop(); break;
        case Op::SeekToFrame: hr = graph.SeekToFrame(5); break;
        }
        EXPECT_EQ(hr, c.hrExpected) << "from " << int(c.from) << " op " << int(c.op);
        EXPECT_EQ(graph.State(), c.to) << "from " << int(c.from) << " op " << int(c.op);
        EXPECT_EQ(graph.ReleaseGraph(), S_OK);
        EXPECT_EQ(graph.State(), GraphState::NoGraph);
    }
}

TEST(GraphState, FramePositionsFollowTheFrameArithmetic)
{
    CMediaGraph graph;
    ASSERT_EQ(graph.OpenMedia(clips::Mp4H264()), S_OK);
    const int64_t llFrameTime = graph.FrameTime();
    const int64_t llCount = graph.FrameCount();
    const auto &reference = clips::FfmpegFrames(clips::Mp4H264());
    int64_t llFrame = -1;

    // A position of 2.9 frame times is frame 2, and shows picture 2.
    ASSERT_EQ(graph.SeekToTime(llFrameTime * 29 / 10), S_OK);
    ASSERT_EQ(graph.CurrentFrame(&llFrame), S_OK);
    EXPECT_EQ(llFrame, 2);
    EXPECT_LT(clips::MeanDifference(graph.CurrentImage(), reference[2]), 4.0);
    EXPECT_EQ(graph.State(), GraphState::Stopped) << "a time seek leaves a stopped graph stopped";

    // The frame count itself is a valid target: the end, still showing the last picture.
    ASSERT_EQ(graph.SeekToFrame(llCount), S_OK);
    ASSERT_EQ(graph.CurrentFrame(&llFrame), S_OK);
    EXPECT_EQ(llFrame, llCount);
    EXPECT_LT(clips::MeanDifference(graph.CurrentImage(), reference.back()), 4.0);
    // Beyond it, the end as well.
    ASSERT_EQ(graph.SeekToFrame(llCount + 50), S_OK);
    ASSERT_EQ(graph.CurrentFrame(&llFrame), S_OK);
    EXPECT_EQ(llFrame, llCount);

    // A negative frame is not sent: on a paused graph nothing is done and E_UNEXPECTED comes back.
    ASSERT_EQ(graph.SeekToFrame(7), S_OK);
    EXPECT_EQ(graph.SeekToFrame(-1), E_UNEXPECTED);
    ASSERT_EQ(graph.CurrentFrame(&llFrame), S_OK);
    EXPECT_EQ(llFrame, 7);
    // On a stopped graph it only pauses.
    ASSERT_EQ(graph.Stop(), S_OK);
    EXPECT_EQ(graph.SeekToFrame(-1), S_OK);
    EXPECT_EQ(graph.State(), GraphState::Paused);
    EXPECT_EQ(graph.SeekToTime(-1), E_INVALIDARG);
}

TEST(GraphState, VideoRectangleAndPainting)
{
    CMediaGraph graph;
    graph.SetVideoWindowRect(QRect(0, 0, 200, 100));
    graph.SetInsetVideo(true);
    ASSERT_EQ(graph.OpenMedia(clips::AviMjpeg()), S_OK);
    EXPECT_EQ(graph.VideoRect(), QRect(2, 2, 196, 96));
    QRect rc(10, 10, 50, 40);
    ASSERT_EQ(graph.PlaceVideo(&rc), S_OK);
    EXPECT_EQ(rc, QRect(12, 12, 46, 36)) << "the caller's rectangle is shrunk too";
    EXPECT_EQ(graph.VideoRect(), rc);
    graph.SetInsetVideo(false);
    ASSERT_EQ(graph.PlaceVideo(), S_OK);
    EXPECT_EQ(graph.VideoRect(), QRect(0, 0, 200, 100));

    // Painting stretches the picture over the rectangle (no letter-boxing).
    QImage canvas(200, 100, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        ASSERT_EQ(graph.PaintVideo(&painter), S_OK);
    }
    const QImage expected = graph.CurrentImage().scaled(200, 100);
    EXPECT_LT(clips::MeanDifference(canvas, expected), 12.0);
    EXPECT_EQ(graph.PaintVideo(nullptr), E_POINTER);
}

TEST(GraphEvents, RunningToTheEndPostsRepaintsThenCompleteOnTheOwnersThread)
{
    NullDevice sound;
    QObject owner;
    CMediaGraph graph;
    RecordingCallback callback;
    ASSERT_EQ(graph.SetEventTarget(&owner), S_OK);
    int nSignals = 0;
    QObject::connect(&graph, &CMediaGraph::MediaEvent, &owner, [&] {
        ++nSignals;
        graph.DispatchGraphEvents(&callback);
    });
    ASSERT_EQ(graph.OpenMedia(ShortClipWithSound()), S_OK);
    EXPECT_EQ(graph.HasAudio(), 1);
    ASSERT_EQ(graph.SeekToFrame(graph.FrameCount() - 8), S_OK);
    ASSERT_EQ(graph.Run(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return callback.Has(EC_COMPLETE); })) << "no end-of-clip event";
    EXPECT_EQ(graph.Pause(), S_OK);

    ASSERT_GE(callback.events.size(), 2u);
    EXPECT_EQ(callback.events.front().lCode, EC_OLE_EVENT) << "new pictures are announced";
    EXPECT_EQ(callback.events.back().lCode, EC_COMPLETE);
    int nComplete = 0;
    for (const auto &event : callback.events) {
        EXPECT_EQ(event.pThread, QThread::currentThread());
        nComplete += event.lCode == EC_COMPLETE;
    }
    EXPECT_EQ(nComplete, 1);
    EXPECT_GE(nSignals, 1);
    int64_t llFrame = -1;
    ASSERT_EQ(graph.CurrentFrame(&llFrame), S_OK);
    EXPECT_EQ(llFrame, graph.FrameCount()) << "the run ends at the end position";
    EXPECT_LT(clips::MeanDifference(graph.CurrentImage(), clips::FfmpegFrames(ShortClipWithSound()).back()),
              4.0);
}

TEST(GraphEvents, WithoutATargetEventsWaitToBeFetched)
{
    NoDevice noSound;
    CMediaGraph graph;
    int nSignals = 0;
    QObject::connect(&graph, &CMediaGraph::MediaEvent, [&] { ++nSignals; });
    ASSERT_EQ(graph.OpenMedia(ShortClipWithSound()), S_OK);
    ASSERT_EQ(graph.SeekToFrame(graph.FrameCount() - 3), S_OK);
    ASSERT_EQ(graph.Run(), S_OK);
    RecordingCallback callback;
    ASSERT_TRUE(WaitFor([&] {
        graph.DispatchGraphEvents(&callback);
        return callback.Has(EC_COMPLETE);
    }));
    EXPECT_EQ(nSignals, 0);
    EXPECT_EQ(graph.Stop(), S_OK);
}

TEST(GraphEvents, ACompletionNotFetchedBeforeAPauseIsDropped)
{
    NoDevice noSound;
    CMediaGraph graph;
    ASSERT_EQ(graph.OpenMedia(ShortClipWithSound()), S_OK);
    ASSERT_EQ(graph.SeekToFrame(graph.FrameCount() - 3), S_OK);
    ASSERT_EQ(graph.Run(), S_OK);
    // The player takes the end position just before it posts the completion; the pause waits
    // for the player, so the completion is queued by then.
    ASSERT_TRUE(WaitFor([&] {
        int64_t llFrame = -1;
        return graph.CurrentFrame(&llFrame) == S_OK && llFrame == graph.FrameCount();
    }));
    ASSERT_EQ(graph.Pause(), S_OK);
    RecordingCallback callback;
    graph.DispatchGraphEvents(&callback);
    EXPECT_FALSE(callback.Has(EC_COMPLETE)) << "a late completion would end the next play at once";
}

TEST(GraphSound, HasAudioNeedsASoundStreamAndADevice)
{
    const struct {
        const char *pszCase;
        std::function<QString()> clip;
        bool bDevice;
        int nExpected;
    } cases[] = {
        {"sound stream, device", clips::Mp4H264, true, 1},
        {"sound stream (PCM in AVI), device", clips::AviMjpeg, true, 1},
        {"no sound stream, device", clips::AviH264, true, 0},
        {"sound stream, no device", clips::Mp4H264, false, 0},
    };
    for (const auto &c : cases) {
        std::unique_ptr<NullDevice> pDevice;
        std::unique_ptr<NoDevice> pNoDevice;
        if (c.bDevice)
            pDevice = std::make_unique<NullDevice>();
        else
            pNoDevice = std::make_unique<NoDevice>();
        CMediaGraph graph;
        ASSERT_EQ(graph.OpenMedia(c.clip()), S_OK) << c.pszCase;
        EXPECT_EQ(graph.HasAudio(), c.nExpected) << c.pszCase;
        EXPECT_EQ(graph.SetAudioVolume(-301), S_OK) << c.pszCase;
        EXPECT_EQ(graph.AudioVolume(), -301) << c.pszCase;
    }
}

TEST(GraphSound, VolumeInHundredthsOfADecibelBecomesTheGain)
{
    NullDevice sound;
    CMediaGraph graph;
    ASSERT_EQ(graph.OpenMedia(clips::Mp4H264()), S_OK);
    ASSERT_NE(sound.pLast, nullptr);
    const struct {
        long lVolume;
        double dGain;
    } cases[] = {{0, 1.0}, {-2000, 0.1}, {-4000, 0.01}, {-10000, 0.0}};
    for (const auto &c : cases) {
        ASSERT_EQ(graph.SetAudioVolume(c.lVolume), S_OK);
        EXPECT_NEAR(sound.pLast->Volume(), c.dGain, 1e-9) << c.lVolume;
    }
    // The stored volume is applied when playing starts, and changed while it plays.
    ASSERT_EQ(graph.Run(), S_OK);
    ASSERT_EQ(graph.SetAudioVolume(-2000), S_OK);
    EXPECT_NEAR(sound.pLast->Volume(), 0.1, 1e-9);
    EXPECT_EQ(graph.Stop(), S_OK);
}

} // namespace
