// A car's own state (Tesla's clips): pellister-cli csv, the graph pane's panel and the telemetry
// band show it for every frame of a record that has it, and nothing of it for one that has not.
#include "catalogue/corvanadoc.h"
#include "export/telemetrycsv.h"
#include "export/telemetryoverlay.h"
#include "fixtures/openedrecording.h"
#include "fixtures/teslaclip.h"
#include "fixtures/testfiles.h"
#include "qstringprint.h"
#include "telemetry/accelsensorgraphview.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kFrameTime = 1000000; // 10 fps
constexpr int kFrames = 10;

TEST(VehicleRows, CsvPanelAndBandShowTheCarsStateOfEachFrameAndNothingWithoutIt)
{
    static int argc = 1;
    static char name[] = "vehiclerows_test";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv); // the graph pane is a widget
    (void)app;
    QTemporaryDir dir;
    QVector<teslaclip::Frame> frames;
    for (int i = 0; i < kFrames; ++i) {
        teslaclip::Frame f;
        f.gear = i % 4;
        f.accelerator = 10.0f * i + 0.2f;
        f.steering = -45.3f + 10.0f * i;
        f.left = i % 3 == 1 || i == 9;
        f.right = i % 3 == 2 || i == 9;
        f.brake = i % 2;
        f.autopilot = i % 4;
        f.lat = 37.5 + 0.001 * i;
        f.lon = -122.25;
        f.speed = 10.0f;
        f.ax = 1.0;
        frames.append(f);
    }
    const QString clip = teslaclip::Make(dir.path(), QStringLiteral("2025-11-20_14-05-33-front.mp4"), frames);
    ASSERT_FALSE(clip.isEmpty());
    CCorvanaDoc doc;
    doc.SetFolder(dir.path());
    doc.LoadFolder();
    ASSERT_EQ(doc.Count(), 1);
    const tagDATAFILEINFO &rec = doc.RecordRef(0);
    EXPECT_EQ(rec.nSource, TS_TESLA);
    ASSERT_EQ(rec.vecVehicle.size(), kFrames);

    const QString out = dir.filePath("out.csv");
    const testfiles::RunResult run =
        testfiles::Run(QStringLiteral("%1/PC_viewer/cli/pellister-cli").arg(testfiles::BinaryDir()),
                       {"csv", clip, out}, 120000);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), kFrames + 2);
    EXPECT_EQ(lines.first(),
              QByteArray(kTelemetryCsvHeader) + ",gear,accelerator,steering,blinker,brake,autopilot");

    CRecordingTelemetry telemetry;
    CAccelSensorGraphView view(&doc, &telemetry);
    view.OnRecordingOpened(fixtures::OpenedRecording(doc, 0, kFrameTime, kFrames, &telemetry));
    view.resize(400, 180);
    view.OnInitialUpdate();
    view.RebuildGraph();
    const CClipOverlay band(rec, clip, kFrameTime, kFrames);

    // Frames 0 to 3 and 9: every gear, blinker, brake and autopilot state.
    const struct {
        int frame;
        const char *csv;
        QStringList panel;
        const char *band;
    } cases[] = {
        {0,
         "P,0.2,-45.3,none,off,none",
         {"P", "0 %", "-45.3°", "—", "off", "none"},
         "Gear P  Accel 0 %  Steer -45.3°  Blinker —  Brake off  Autopilot none"},
        {1,
         "D,10.2,-35.3,left,on,self-driving",
         {"D", "10 %", "-35.3°", "left", "on", "self-driving"},
         "Gear D  Accel 10 %  Steer -35.3°  Blinker left  Brake on  Autopilot self-driving"},
        {2,
         "R,20.2,-25.3,right,off,autosteer",
         {"R", "20 %", "-25.3°", "right", "off", "autosteer"},
         "Gear R  Accel 20 %  Steer -25.3°  Blinker right  Brake off  Autopilot autosteer"},
        {3,
         "N,30.2,-15.3,none,on,traffic-aware cruise",
         {"N", "30 %", "-15.3°", "—", "on", "traffic-aware cruise"},
         "Gear N  Accel 30 %  Steer -15.3°  Blinker —  Brake on  Autopilot traffic-aware cruise"},
        {9,
         "D,90.2,44.7,both,on,self-driving",
         {"D", "90 %", "44.7°", "both", "on", "self-driving"},
         "Gear D  Accel 90 %  Steer 44.7°  Blinker both  Brake on  Autopilot self-driving"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.frame);
        const QList<QByteArray> cells = lines.at(c.frame + 1).split(',');
        ASSERT_EQ(cells.size(), 15);
        EXPECT_EQ(cells.mid(9).join(','), QByteArray(c.csv));
        EXPECT_FALSE(cells[2].isEmpty()) << "the frame's fix";
        view.OnPositionChanged({c.frame, c.frame * kFrameTime, nullptr});
        const tagACCELFRAMEPARTS parts = view.FrameParts();
        ASSERT_TRUE(parts.bVehicleRows);
        for (int r = 0; r < 6; ++r)
            EXPECT_EQ(parts.strVehicle[r], c.panel[r]) << r;
        EXPECT_EQ(band.Texts(c.frame, SpeedUnit::Kmh).strVehicle, QString::fromUtf8(c.band));
    }

    // A recorder's record: the file, the panel and the band as they always were.
    QTemporaryDir plainDir;
    ASSERT_TRUE(testfiles::Write(plainDir.filePath("REC_0001.avi"), "clip"));
    ASSERT_TRUE(testfiles::WriteLines(
        plainDir.filePath("data/REC_0001.dat"),
        {"$SYNCTIME,083015.250,130512,", "$ACCELERATOR,083015.260,130512,0.02,-0.98,0.11,"}));
    CCorvanaDoc plain;
    plain.SetFolder(plainDir.path());
    plain.LoadFolder();
    ASSERT_EQ(plain.Count(), 1);
    const QString plainCsv = plainDir.filePath("out.csv");
    QString why;
    ASSERT_TRUE(WriteTelemetryCsv(plainCsv, plain.RecordRef(0), kFrameTime, 2, SpeedUnit::Kmh, &why));
    QFile plainFile(plainCsv);
    ASSERT_TRUE(plainFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> plainLines = plainFile.readAll().split('\n');
    EXPECT_EQ(plainLines.first(), kTelemetryCsvHeader);
    EXPECT_EQ(plainLines.at(1).split(',').size(), 9);
    CRecordingTelemetry plainTelemetry;
    CAccelSensorGraphView plainView(&plain, &plainTelemetry);
    plainView.OnRecordingOpened(fixtures::OpenedRecording(plain, 0, kFrameTime, 2, &plainTelemetry));
    plainView.OnPositionChanged({0, 0, nullptr});
    EXPECT_FALSE(plainView.FrameParts().bVehicleRows);
    EXPECT_TRUE(CClipOverlay(plain.RecordRef(0), plain.MediaPathAt(0), kFrameTime, 2)
                    .Texts(0, SpeedUnit::Kmh)
                    .strVehicle.isEmpty());
}

} // namespace
