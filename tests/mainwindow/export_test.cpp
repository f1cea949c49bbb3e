// Export from the main window: marks, the export command with a cancel and without, the messages,
// and the telemetry band over the playing picture, grabbed from the real pane.
#include "framefixture.h"

#include "export/exportrange.h"
#include "export/exportactions.h"
#include "skin/commandids.h"

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QSettings>

using namespace frametest;

namespace {

class ExportTest : public FrameTest
{
protected:
    void SetUp() override
    {
        FrameTest::SetUp();
        QSettings().remove(QStringLiteral("export"));
        m_card = std::make_unique<CTestCard>(ThreeRecordings());
        ASSERT_TRUE(m_card->IsValid());
        LoadCard(*m_card);
    }
    void GoTo(int row, qint64 frame)
    {
        ASSERT_TRUE(OpenRow(row));
        m_ctl->Seek(frame, m_frame->GraphView());
    }
    std::unique_ptr<CTestCard> m_card;
};

long long Frames(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                        "stream=nb_read_frames", "-of", "csv=p=0", path});
    return p.waitForFinished(60000) ? p.readAllStandardOutput().trimmed().toLongLong() : -1;
}

TEST_F(ExportTest, MarkStepMarkThenExportOnceCancelledAndOnceWhole)
{
    // Without a start mark the command says what to do.
    m_frame->Command(ID_MEDIA_EXPORT_VIDEO);
    EXPECT_EQ(m_prompt.MessageTexts().value(0), QLatin1String(kMsgMarkExportStart));

    GoTo(0, 3);
    m_frame->Command(ID_MEDIA_MARK_EXPORT_START);
    GoTo(1, 5);
    m_frame->Command(ID_MEDIA_MARK_EXPORT_END);
    EXPECT_EQ((&m_ctl->ExportMarks())->Start().llFrame, 3);
    EXPECT_EQ((&m_ctl->ExportMarks())->End().nRecording, 1);

    CExportActions *actions = m_root->ExportActions();
    QString shownRange;
    actions->SetOptionsDialog([&](const QString &range, tagEXPORTOPTIONS *options) {
        shownRange = range;
        options->unit = SpeedUnit::Mph;
        return true;
    });
    QTemporaryDir target;
    m_prompt.Clear();
    m_prompt.QueueFolder(target.path());
    actions->SetProgressObserver([&](int) { emit actions->CancelRequested(); });
    m_frame->Command(ID_MEDIA_EXPORT_VIDEO);
    EXPECT_EQ(m_prompt.MessageTexts(), QStringList{QLatin1String(kMsgExportCancelled)});
    EXPECT_TRUE(QDir(target.path()).isEmpty());

    m_prompt.Clear();
    m_prompt.QueueFolder(target.path());
    actions->SetProgressObserver({});
    m_frame->Command(ID_MEDIA_EXPORT_VIDEO);
    const QString file = actions->LastWritten();
    ASSERT_FALSE(file.isEmpty()) << qPrintable(m_prompt.MessageTexts().join('\n'));
    EXPECT_TRUE(shownRange.contains(QStringLiteral("frame 3"))) << qPrintable(shownRange);
    EXPECT_TRUE(m_prompt.MessageTexts().value(0).contains(file));
    // The rest of the first recording and the second up to its frame 5.
    EXPECT_EQ(Frames(file), (kMp4Frames - 3) + 6);
    // The units chosen are remembered for the next export, the play view's band and the graph's
    // speed curve.
    EXPECT_EQ(RememberedExportOptions().unit, SpeedUnit::Mph);
    EXPECT_EQ(m_frame->GraphView()->SpeedCurveUnit(), SpeedUnit::Mph);
}

TEST_F(ExportTest, TheBandOverThePictureIsTheExportsDrawing)
{
    GoTo(0, 4);
    m_frame->Command(ID_VIEW_TELEMETRY_OVERLAY);
    ASSERT_TRUE(m_frame->IsCommandChecked(ID_VIEW_TELEMETRY_OVERLAY));
    ASSERT_TRUE(WaitFor([&] { return ShownFrame() == 4; }));
    const QImage shown = m_play->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect video = m_play->Graph()->VideoRect();
    const int h = OverlayBandHeight(video.size());
    const QRect band(video.left(), video.bottom() + 1 - h, video.width(), h);

    const tagDATAFILEINFO &rec = m_doc->RecordRef(0);
    const tagFRAMETELEMETRY t = FrameTelemetry(rec, (&m_ctl->Telemetry())->FrameToSample(),
                                               (&m_ctl->Telemetry())->FrameToFix(), 4, 4 * m_ctl->FrameTime());
    QImage expected(band.size(), QImage::Format_RGB32);
    {
        QPainter p(&expected);
        DrawTelemetryOverlay(p, expected.rect(),
                             OverlayTexts(rec, t, QStringLiteral("20130512_083000N.mp4"), 4, kMp4Frames,
                                          SpeedUnit::Kmh),
                             OVERLAY_ALL);
    }
    EXPECT_TRUE(shown.copy(band) == expected);

    m_frame->Command(ID_VIEW_TELEMETRY_OVERLAY);
    EXPECT_FALSE(m_play->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(band) == expected);
}

TEST_F(ExportTest, AnEnhancedViewGoesIntoTheEvidencePackageAsDerived)
{
    GoTo(0, 3);
    m_frame->Command(ID_MEDIA_MARK_EXPORT_START);
    m_ctl->Seek(10, m_frame->GraphView());
    m_frame->Command(ID_MEDIA_MARK_EXPORT_END);
    tagPICTUREVIEW view;
    view.region = QRectF(0.25, 0.25, 0.5, 0.5);
    view.adjust.dGamma = 1.5;
    m_ctl->SetPictureView(view);
    QTemporaryDir target;
    m_prompt.Clear();
    m_prompt.QueueFolder(target.path());
    m_frame->Command(ID_MEDIA_SAVE_EVIDENCE);
    const QString package = m_root->ExportActions()->LastWritten();
    ASSERT_FALSE(package.isEmpty()) << qPrintable(m_prompt.MessageTexts().join('\n'));
    // The view of the frame on show, at native resolution, beside the originals.
    const QImage derived(package + QStringLiteral("/derived/20130512_083000N_10_view.jpg"));
    EXPECT_EQ(derived.size(), QSize(80, 60));
    QFile manifest(package + QStringLiteral("/manifest.json"));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    const QByteArray json = manifest.readAll();
    EXPECT_TRUE(json.contains("\"derived\": \"enhanced view of 20130512_083000N.mp4, frame 10: region 40,30 80x60; gamma 1.50\""))
        << json.constData();
    QProcess sums;
    sums.setWorkingDirectory(package);
    sums.start(QStringLiteral("sha256sum"), {"-c", "--quiet", "SHA256SUMS"});
    ASSERT_TRUE(sums.waitForFinished(60000));
    EXPECT_EQ(sums.exitCode(), 0) << sums.readAllStandardOutput().constData();
    // The report prints the view and says so.
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {package + QStringLiteral("/report.pdf"), "-"});
    ASSERT_TRUE(text.waitForFinished(60000));
    EXPECT_TRUE(text.readAllStandardOutput().contains("enhanced view: region 40,30 80x60; gamma 1.50"));
}

} // namespace
