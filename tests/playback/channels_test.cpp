// A recording of several cameras plays in step: every channel shows its picture of the main
// channel's moment, as ffmpeg decodes that frame of its own clip, and none past its end.
#include "clipfactory.h"

#include "fixtures/stepping.h"

#include "base/frametime.h"
#include "catalogue/channeloffsets.h"
#include "catalogue/corvanadoc.h"
#include "export/evidencepackage.h"
#include "export/videoexport.h"
#include "media/mediagraph.h"
#include "playback/playbackcontroller.h"
#include "playback/snapshot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Front: 2 s at 30 fps, H.264 in MP4. Rear: 1.2 s at 25 fps and another size, with B-frames.
class ChannelsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_card.isValid());
        m_front = clips::Make(QStringLiteral("channel-front.mp4"),
                              {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=30:d=2", "-c:v", "libx264", "-preset",
                               "ultrafast", "-g", "15", "-pix_fmt", "yuv420p"});
        m_rear = clips::Make(QStringLiteral("channel-rear.mp4"),
                             {"-f", "lavfi", "-i", "testsrc2=s=240x180:r=25:d=1.2", "-vf", "hflip", "-c:v", "libx264",
                              "-preset", "ultrafast", "-bf", "2", "-g", "10", "-pix_fmt", "yuv420p"});
        ASSERT_FALSE(m_front.isEmpty());
        ASSERT_FALSE(m_rear.isEmpty());
        ASSERT_TRUE(QDir().mkpath(m_card.filePath(QStringLiteral("DCIM/Movie"))));
        m_frontCard = m_card.filePath(QStringLiteral("DCIM/Movie/2024_0315_081500_0001F.MP4"));
        m_rearCard = m_card.filePath(QStringLiteral("DCIM/Movie/2024_0315_081500_0002R.MP4"));
        ASSERT_TRUE(QFile::copy(m_front, m_frontCard));
        ASSERT_TRUE(QFile::copy(m_rear, m_rearCard));
        m_doc.SetFolder(m_card.path());
        m_doc.LoadFolder();
        ASSERT_EQ(m_doc.Count(), 1);
        m_ctl = std::make_unique<CPlaybackController>(&m_doc);
        m_ctl->SetStepClock(&m_clock);
        m_ctl->SetVideoArea(QRect(0, 0, 640, 480));
        ASSERT_TRUE(m_ctl->Open(0));
        ASSERT_EQ(m_ctl->Channels(), 2);
    }

    // Waits until every channel's picture asked for has arrived.
    bool Settle()
    {
        for (int i = 0; i < m_ctl->Channels(); ++i)
            if (!stepping::Settle(*m_ctl->Session(i)))
                return false;
        return true;
    }

    QTemporaryDir m_card;
    QString m_front, m_rear, m_frontCard, m_rearCard;
    CCorvanaDoc m_doc;
    CManualStepClock m_clock;
    std::unique_ptr<CPlaybackController> m_ctl;
};

} // namespace

TEST_F(ChannelsTest, EveryChannelShowsItsPictureOfTheMoment)
{
    const tagOPENEDRECORDING &rec = m_ctl->Recording();
    ASSERT_EQ(rec.channels.size(), 2);
    EXPECT_EQ(rec.channels[0].strName, QStringLiteral("front"));
    EXPECT_EQ(rec.channels[1].strMediaPath, m_rearCard);
    EXPECT_EQ(m_ctl->FrameCount(), 60) << "the main channel measures the recording";
    const QObject origin;
    // Main frame -> the rear's frame whose span holds its moment (25 against 30 a second);
    // past 1.2 s the rear has none.
    const struct {
        int64_t main;
        int64_t rear;
    } cases[] = {{7, 5}, {29, 24}, {35, 29}, {36, -1}, {59, -1}, {12, 10}, {0, 0}};
    ASSERT_EQ(m_ctl->Session(1)->Graph()->FrameCount(), 30);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.main);
        m_ctl->Seek(c.main, &origin);
        ASSERT_TRUE(Settle());
        EXPECT_EQ(m_ctl->ChannelFrame(0), c.main);
        EXPECT_EQ(m_ctl->ChannelFrame(1), c.rear);
        EXPECT_EQ(m_ctl->ChannelImage(1).isNull(), c.rear < 0);
        if (c.rear >= 0) {
            EXPECT_LT(clips::MeanDifference(m_ctl->Session(1)->NativeImage(), clips::FfmpegPicture(m_rear, c.rear)),
                      4.0);
        }
    }
}

TEST_F(ChannelsTest, SteppingAtEveryRateKeepsTheChannelsInStep)
{
    for (const double rate : {4.0, -4.0, 2.0}) {
        SCOPED_TRACE(rate);
        int outOfStep = 0, positions = 0;
        const auto check = QObject::connect(m_ctl.get(), &CPlaybackController::PositionChanged,
                                            [&](const tagPLAYPOSITION &p) {
                                                ++positions;
                                                const int64_t want = m_ctl->ChannelFrameAt(1, p.llFrame);
                                                if (want >= 0 && m_ctl->Session(1)->Position() != want)
                                                    ++outOfStep;
                                            });
        const QObject origin;
        m_ctl->Seek(rate < 0 ? 59 : 0, &origin);
        m_ctl->SetRate(rate);
        ASSERT_EQ(m_ctl->Play(), S_OK);
        ASSERT_TRUE(stepping::RunToRest(*m_ctl->MainSession(), m_clock));
        ASSERT_TRUE(Settle());
        QObject::disconnect(check);
        EXPECT_GT(positions, 5);
        EXPECT_EQ(outOfStep, 0);
        // Where it rests, the rear shows exactly its picture of that moment, or none.
        const int64_t rear = m_ctl->ChannelFrameAt(1, std::min<int64_t>(m_ctl->Position(), 59));
        EXPECT_EQ(m_ctl->ChannelFrame(1), rear);
        if (rear >= 0) {
            EXPECT_LT(clips::MeanDifference(m_ctl->Session(1)->NativeImage(), clips::FfmpegPicture(m_rear, rear)),
                      4.0);
        }
    }
}

TEST_F(ChannelsTest, SnapshotsSaveEveryShownChannelUnderItsOwnClipsName)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QObject origin;
    for (const int64_t frame : {12, 40}) {
        m_ctl->Seek(frame, &origin);
        ASSERT_TRUE(Settle());
        QStringList written;
        EXPECT_EQ(SaveSnapshots(*m_ctl, out.path(), &written), QString::fromLatin1(kSnapshotSaved));
        QStringList names;
        for (const QString &path : written)
            names << QFileInfo(path).fileName();
        // At 40 the rear (1.2 s) has no picture: the front alone is saved.
        EXPECT_EQ(names, frame == 12 ? QStringList({"2024_0315_081500_0001F_12.jpg", "2024_0315_081500_0002R_10.jpg"})
                                     : QStringList({"2024_0315_081500_0001F_40.jpg"}));
    }
}

TEST_F(ChannelsTest, ACameraNudgedIntoStepStaysSoForTheCardInTheWindowAndTheCommands)
{
    QObject::connect(m_ctl.get(), &CPlaybackController::ChannelOffsetChanged, &m_doc, &CCorvanaDoc::SetChannelOffset);
    const QObject origin;
    m_ctl->Seek(12, &origin);
    ASSERT_TRUE(Settle());
    ASSERT_EQ(m_ctl->ChannelFrame(1), 10);
    // The rear started 3 of its frames (120 ms) late: at main frame 12 it shows its frame 7.
    m_ctl->SetChannelOffset(1, 3);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(m_ctl->ChannelFrame(1), 7);
    EXPECT_LT(clips::MeanDifference(m_ctl->Session(1)->NativeImage(), clips::FfmpegPicture(m_rear, 7)), 4.0);

    CCorvanaDoc again;
    again.SetFolder(m_card.path());
    again.LoadFolder();
    ASSERT_EQ(again.Count(), 1);
    EXPECT_EQ(again.ClipsAt(0).channels.value(1).nOffsetFrames, 3);
    const QString cli = clips::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
    QByteArray stdOut, stdErr;
    ASSERT_EQ(clips::RunProgram(cli, {"channels", m_rearCard}, &stdOut, &stdErr), 0) << stdErr.constData();
    EXPECT_TRUE(stdOut.contains("\t240x180\t120\n")) << stdOut.constData();
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString png = out.filePath("rear.png");
    ASSERT_EQ(clips::RunProgram(cli, {"frame", m_frontCard, "12", png, "--channel", "rear"}, &stdOut, &stdErr), 0)
        << stdErr.constData();
    EXPECT_LT(clips::MeanDifference(QImage(png), clips::FfmpegPicture(m_rear, 7)), 4.0);

    // Back as recorded: the card keeps nothing.
    m_ctl->SetChannelOffset(1, 0);
    EXPECT_TRUE(ChannelOffsetsOfCard(m_card.path()).isEmpty());
}

TEST_F(ChannelsTest, AComposedExportShowsEachCamerasPictureOfTheMoment)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    tagEXPORTCLIP clip;
    clip.strPath = m_frontCard;
    clip.channels = m_doc.ClipsAt(0).channels;
    clip.llFrom = 20;
    clip.llTo = 40;
    tagEXPORTOPTIONS options;
    options.nOverlay = 0; // the pictures alone
    options.bSound = false;
    options.channels = QStringList{"rear", "front"};
    CVideoExporter exporter({clip}, options);
    QString why;
    tagEXPORTRESULT result;
    ASSERT_EQ(exporter.Run(out.filePath("side.mp4"), {}, &result, &why), S_OK) << qPrintable(why);
    EXPECT_EQ(result.llFrames, 21);
    // Front 320x240 as it is, the rear (240x180) beside it at that height: 640x240. Main frame 20
    // is 0.667 s (rear frame 16), 30 is 1.0 s (rear 25); at 40 (1.333 s) the rear has ended.
    const struct {
        long long out, front, rear;
    } cases[] = {{0, 20, 16}, {10, 30, 25}, {20, 40, -1}};
    // Of a clip's frames near `want`, the one ffmpeg decodes closest to `image`.
    const auto closest = [](const QString &clip, long long want, long long count, const QImage &image) {
        long long best = -1;
        double bestDifference = 1e9;
        for (long long n = std::max(0LL, want - 3); n <= std::min(count - 1, want + 3); ++n) {
            const double d = clips::MeanDifference(clips::FfmpegPicture(clip, n), image);
            if (d < bestDifference) {
                bestDifference = d;
                best = n;
            }
        }
        return best;
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.out);
        const QImage picture = clips::FfmpegPicture(result.strFile, k.out);
        ASSERT_EQ(picture.size(), QSize(640, 240));
        EXPECT_EQ(closest(m_front, k.front, 60, picture.copy(0, 0, 320, 240)), k.front);
        const QImage rear = picture.copy(320, 0, 320, 240);
        if (k.rear >= 0) {
            EXPECT_EQ(closest(m_rear, k.rear, 30, rear.scaled(240, 180, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
                      k.rear);
        } else {
            // "no picture": grey words on black.
            const QImage grey = rear.convertToFormat(QImage::Format_Grayscale8);
            double sum = 0;
            for (int y = 0; y < grey.height(); ++y)
                for (int x = 0; x < grey.width(); ++x)
                    sum += grey.constScanLine(y)[x];
            EXPECT_LT(sum / (grey.width() * grey.height()), 30.0);
        }
    }
    // A camera the recording lacks, a name that is no camera and a lossless cut are refused.
    for (const QStringList &names : {QStringList{"interior"}, QStringList{"dashboard"}}) {
        tagEXPORTOPTIONS o = options;
        o.channels = names;
        CVideoExporter refused({clip}, o);
        EXPECT_EQ(refused.Prepare(&why), E_INVALIDARG) << qPrintable(names.join(','));
    }
    tagEXPORTOPTIONS copy = options;
    copy.bCopy = true;
    CVideoExporter cut({clip}, copy);
    EXPECT_EQ(cut.Prepare(&why), E_INVALIDARG);
}

TEST_F(ChannelsTest, TheCommandLineComposesTheCamerasOfTheRecordingOfAnyOfItsClips)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString cli = clips::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
    const QString target = out.filePath("both.mp4");
    const struct {
        QStringList args;
        int status;
    } cases[] = {
        // The rear clip names its recording; the frames are the front's.
        {{m_rearCard, "--from", "20", "--to", "30", "--layout", "side", "--no-sound", target}, 0},
        {{m_frontCard, "--from", "0", "--to", "5", "--channels", "front,dashboard", target}, 2},
        {{m_frontCard, "--from", "0", "--to", "5", "--channels", "interior", target}, 2},
        {{m_frontCard, "--from", "0", "--to", "5", "--channels", "rear", "--copy", target}, 2},
        {{m_frontCard, "--from", "0", "--to", "5", "--layout", "diagonal", target}, 2},
    };
    for (const auto &c : cases) {
        QByteArray stdOut, stdErr;
        EXPECT_EQ(clips::RunProgram(cli, QStringList{"export"} + c.args, &stdOut, &stdErr), c.status)
            << qPrintable(c.args.join(' ')) << stdErr.constData();
        if (c.status == 0)
            EXPECT_TRUE(stdOut.contains("frames=11\n")) << stdOut.constData();
    }
    EXPECT_EQ(clips::FfmpegPicture(target, 0).size(), QSize(640, 240 + OverlayBandHeight(QSize(640, 240))));
}

TEST_F(ChannelsTest, TheEvidencePackageHoldsAndNamesEveryCamerasOriginal)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    tagEVIDENCEJOB job;
    tagEXPORTCLIP clip;
    clip.strPath = m_frontCard;
    clip.llFrom = 0;
    clip.llTo = 10;
    job.clips = {clip};
    job.options.bSound = false;
    job.strCatalogueRoot = m_card.path();
    const EvidenceReportWriter report = [](const QString &pdf, const tagEVIDENCEFACTS &, QString *) {
        QFile f(pdf);
        return f.open(QIODevice::WriteOnly) && f.write("%PDF-1.4\n") > 0;
    };
    CEvidencePackage package(job);
    tagEVIDENCEFACTS facts;
    QString why;
    const QString folder = out.filePath("package");
    ASSERT_EQ(package.Run(folder, report, {}, &facts, &why), S_OK) << qPrintable(why);
    QStringList cameras;
    for (const tagEVIDENCEFILE &f : facts.files)
        if (!f.strCamera.isEmpty())
            cameras << f.strCamera + QLatin1Char('=') + f.strPath;
    EXPECT_EQ(cameras, QStringList({"front=originals/DCIM/Movie/2024_0315_081500_0001F.MP4",
                                    "rear=originals/DCIM/Movie/2024_0315_081500_0002R.MP4"}));
    QFile manifest(folder + QStringLiteral("/manifest.json"));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    EXPECT_TRUE(manifest.readAll().contains("\"camera\": \"rear\""));
    QFile rear(folder + QStringLiteral("/originals/DCIM/Movie/2024_0315_081500_0002R.MP4"));
    QFile original(m_rearCard);
    ASSERT_TRUE(rear.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    EXPECT_EQ(rear.readAll(), original.readAll());
}

TEST(ComposedExport, PlacesKeepEachCamerasShapeWithEvenSides)
{
    const QSize front(1280, 720), rear(640, 480), odd(854, 481);
    const struct {
        ChannelLayout layout;
        PipCorner corner;
        QVector<QSize> sizes;
        QSize picture;
        QVector<QRect> places;
    } cases[] = {
        {ChannelLayout::SideBySide, PipCorner::BottomRight, {front, rear}, {2240, 720},
         {{0, 0, 1280, 720}, {1280, 0, 960, 720}}},
        {ChannelLayout::SideBySide, PipCorner::BottomRight, {odd}, {854, 482}, {{0, 0, 854, 482}}},
        // Too wide: the height shrinks until the row fits the limit.
        {ChannelLayout::SideBySide, PipCorner::BottomRight, {front, front, front, front}, {3840, 540},
         {{0, 0, 960, 540}, {960, 0, 960, 540}, {1920, 0, 960, 540}, {2880, 0, 960, 540}}},
        {ChannelLayout::PictureInPicture, PipCorner::BottomRight, {front, rear}, {1280, 720},
         {{0, 0, 1280, 720}, {952, 472, 320, 240}}},
        {ChannelLayout::PictureInPicture, PipCorner::TopLeft, {front, rear, front}, {1280, 720},
         {{0, 0, 1280, 720}, {8, 8, 320, 240}, {336, 8, 320, 180}}},
        {ChannelLayout::Grid, PipCorner::BottomRight, {front, rear, front}, {2560, 1440},
         {{0, 0, 1280, 720}, {1280, 0, 1280, 720}, {0, 720, 1280, 720}}},
    };
    for (const auto &c : cases) {
        QSize picture;
        EXPECT_EQ(ComposedPlaces(c.layout, c.corner, c.sizes, &picture), c.places) << int(c.layout) << c.sizes.size();
        EXPECT_EQ(picture, c.picture);
    }
}

TEST(ChannelFrames, TheFrameWhoseSpanHoldsTheMoment)
{
    // Durations and frame counts (100 ns): 30 fps against 25 fps, a boundary both share (main
    // frame 12 and rear frame 10 start at 0.4 s), an hour-long clip, clips without measures;
    // a camera that starts 3 frames late (none before it starts) or 2 early (none past its end).
    const struct {
        int64_t frame, mainDuration, mainFrames, channelDuration, channelFrames, expected, offset = 0;
    } cases[] = {
        {0, 20000000, 60, 12000000, 30, 0},       {7, 20000000, 60, 12000000, 30, 5},
        {12, 20000000, 60, 12000000, 30, 10},     {35, 20000000, 60, 12000000, 30, 29},
        {36, 20000000, 60, 12000000, 30, -1},     {10, 12000000, 30, 20000000, 60, 12},
        {107999, 36000000000, 108000, 36000000000, 90000, 89999},
        {5, 0, 60, 12000000, 30, -1},             {5, 20000000, 60, 12000000, 0, -1},
        {-1, 20000000, 60, 12000000, 30, -1},
        {12, 20000000, 60, 12000000, 30, 7, 3},   {3, 20000000, 60, 12000000, 30, -1, 3},
        {0, 20000000, 60, 12000000, 30, 2, -2},   {34, 20000000, 60, 12000000, 30, -1, -2},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ChannelFrameOfMoment(c.frame, c.mainDuration, c.mainFrames, c.channelDuration, c.channelFrames,
                                       c.offset),
                  c.expected)
            << c.frame;
}
