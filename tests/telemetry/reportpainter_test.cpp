// The report's page arithmetic and row texts: bands at their fractions of the page, the map
// panel's height, the placement of wide and narrow pictures, pages without width, and the rows of
// the header and "Frame info" panels for every kind of record.
#include "telemetry/reportpainter.h"

#include "qstringprint.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

TEST(ReportGeometry, BandsLieAtTheirFractionsOfEveryPage)
{
    // A4 and Letter at 1200 dpi, portrait and landscape, and an odd small page.
    const QSize pages[] = {{9921, 14031}, {14031, 9921}, {10200, 13200}, {13200, 10200}, {101, 57}};
    for (const QSize &page : pages) {
        SCOPED_TRACE(page.width());
        const CReportGeometry g(page.width(), page.height());
        const int W = page.width(), H = page.height();
        EXPECT_EQ(g.m, W * 5 / 100);
        EXPECT_EQ(g.t, H * 5 / 100);
        struct Band {
            QRect rect;
            int top, height; // per cent of H
        };
        const Band bands[] = {{g.HeaderBand(), 5, 30}, {g.MapBand(), 38, 38},     {g.GraphBand(), 79, 18},
                              {g.PictureBand(), 5, 50}, {g.FrameInfoBand(), 58, 37}};
        for (const Band &b : bands) {
            EXPECT_EQ(b.rect.left(), g.m);
            EXPECT_EQ(b.rect.width(), W - 2 * g.m);
            EXPECT_NEAR(b.rect.top(), H * b.top / 100, 2);
            EXPECT_EQ(b.rect.height(), H * b.height / 100);
        }
        // The map panel keeps its band's proportions.
        const double bandRatio = double(g.MapBand().height()) / g.MapBand().width();
        EXPECT_NEAR(double(g.MapPanelHeight()) / kReportPanelWidth, bandRatio, 2.0 / kReportPanelWidth);
    }
}

TEST(ReportGeometry, PicturesAreCentredOrSqueezedAndPagesWithoutRoomGiveNothing)
{
    const CReportGeometry portrait(9921, 14031);
    const QRect wide = portrait.PicturePlacement(QSize(1920, 1080));
    EXPECT_EQ(wide, QRect(portrait.m, portrait.t, 9921 - 2 * portrait.m, 14031 / 2)) << "squeezed";
    const CReportGeometry landscape(14031, 9921);
    const QRect fits = landscape.PicturePlacement(QSize(640, 480));
    EXPECT_EQ(fits.height(), 9921 * 50 / 100);
    EXPECT_NEAR(fits.width(), fits.height() * 4 / 3, 1);
    EXPECT_NEAR(fits.center().x(), 14031 / 2, 1);
    // No height, no width: nothing to divide by.
    EXPECT_TRUE(landscape.PicturePlacement(QSize(640, 0)).isEmpty());
    EXPECT_TRUE(landscape.PicturePlacement(QSize(0, 480)).isEmpty());
    EXPECT_EQ(CReportGeometry(0, 1000).MapPanelHeight(), 0);
}

TEST(ReportPages, CountAndPanes)
{
    EXPECT_EQ(ReportPrintPanes({0, 1, 0, 1, 1}), (QList<int>{1, 3, 4}));
    EXPECT_TRUE(ReportPrintPanes({0, 0, 0, 0}).isEmpty());
    EXPECT_EQ(ReportPageCount(1), 2);
    EXPECT_EQ(ReportPageCount(25), 26);
    EXPECT_EQ(ReportPageCount(0), 0);
}

tagDATAFILEINFO Record()
{
    tagDATAFILEINFO rec;
    rec.bValid = 1;
    rec.nType = RT_EVENT;
    rec.stSyncTime.wYear = 13;
    rec.stSyncTime.wMonth = 5;
    rec.stSyncTime.wDay = 12;
    rec.stSyncTime.wHour = 23;
    rec.stSyncTime.wMinute = 59;
    rec.stSyncTime.wSecond = 59;
    rec.stSyncTime.wMilliseconds = 900;
    tagACCELINFO a;
    a.fX = 0.5f;
    a.fY = -1.25f;
    a.fZ = 0.0f;
    rec.vecAccel = {a, a};
    tagGPSINFO g;
    g.strLat = QStringLiteral("37.552057");
    g.strLon = QStringLiteral("126.976130");
    g.strSpeed = QStringLiteral("40 Km/h");
    g.strDirection = QStringLiteral("E");
    g.dCourse = 87.3;
    rec.vecGps = {g};
    return rec;
}

TEST(ReportRows, FrameInfoRowsFollowTheRecordAndThePanesFrame)
{
    tagREPORTDATA data;
    data.record = Record();
    data.frameToSample.Set(7, 1);
    data.frameToSample.Set(8, 5); // beyond the samples: no values
    data.frameToFix.Set(7, 0);
    int64_t sync = 0;
    ASSERT_TRUE(TimeKey(data.record.stSyncTime, &sync));

    tagREPORTPANE pane;
    pane.llFrame = 7;
    pane.llFrameCount = 90;
    pane.llTime = 7 * 333333; // 233 ms: past midnight, into Monday
    const QStringList rows = ReportFrameInfoRows(data, pane);
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(sync + 233, Qt::LocalTime);
    ASSERT_EQ(rows.size(), 10);
    EXPECT_EQ(rows[0], QStringLiteral("Date : %1  %2")
                           .arg(t.toString(QStringLiteral("yyyy / MM / dd")),
                                QLocale::c().dayName(t.date().dayOfWeek(), QLocale::LongFormat)));
    EXPECT_EQ(rows[1], QStringLiteral("Time : ") + t.toString(QStringLiteral("HH : mm : ss.zzz")));
    EXPECT_EQ(rows[2], QStringLiteral("Frame number : 7  /  90"));
    EXPECT_EQ(rows[3], QStringLiteral("<<< Acceleration sensor info >>>"));
    EXPECT_EQ(rows[4], QStringLiteral("Acceleration sensor : X = +0.50, Y = -1.25, Z = +0.00"));
    EXPECT_EQ(rows[5], QStringLiteral("<<< GPS Info >>>"));
    EXPECT_EQ(rows[6], QStringLiteral("GPS Coordinate(Latitude) : 37.552057"));
    EXPECT_EQ(rows[7], QStringLiteral("GPS Coordinate(Longitude) : 126.976130"));
    EXPECT_EQ(rows[8], QStringLiteral("GPS Ground Speed : 40 Km/h"));
    EXPECT_EQ(rows[9], QStringLiteral("GPS Direction : E(87.30") + QChar(0x00B0) + QLatin1Char(')'));

    pane.llFrame = 8; // a sample index past the samples, no fix
    const QStringList none = ReportFrameInfoRows(data, pane);
    ASSERT_EQ(none.size(), 6);
    EXPECT_EQ(none[3], QStringLiteral("<<< An acceleration sensor info does not exist. >>>"));
    EXPECT_EQ(none[4], QString()) << "row 6 stays empty";
    EXPECT_EQ(none[5], QStringLiteral("<<< GPS info does not exist. >>>"));

    data.record.bValid = 0; // no data file: the tables do not count
    pane.llFrame = 7;
    const QStringList invalid = ReportFrameInfoRows(data, pane);
    EXPECT_EQ(invalid, (QStringList{"Data : Unknown", "Time : Unknown", "Frame number : 7/90",
                                    "<<< An acceleration sensor info does not exist. >>>", QString(),
                                    "<<< GPS info does not exist. >>>"}));
}

TEST(ReportRows, HeaderRowsCutFileNamesAndNameTheType)
{
    tagREPORTDATA data;
    data.record = Record();
    data.strMediaPath = QStringLiteral("REC_0001.avi"); // no separator: printed whole
    data.strDataPath = QStringLiteral("/card/event/data/REC_0001.dat");
    tagREPORTPANE pane;
    pane.llTime = 1000000; // 100 ms: 23:59:59.900 + 0.1 s is the next day
    data.panes = {pane};
    int64_t sync = 0;
    ASSERT_TRUE(TimeKey(data.record.stSyncTime, &sync));
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(sync + 100, Qt::LocalTime);
    EXPECT_EQ(ReportHeaderRows(data),
              (QStringList{QStringLiteral("Data : ") + t.toString(QStringLiteral("yyyy / MM / dd")),
                           QStringLiteral("Time : ") + t.toString(QStringLiteral("HH : mm : ss.zzz")),
                           "Media file : REC_0001.avi", "Data file : REC_0001.dat", "Recording type : Event"}));
    data.record.bValid = 0;
    data.record.nType = 42;
    data.strDataPath.clear();
    data.strMediaPath = QStringLiteral("C:\\card\\REC.avi");
    EXPECT_EQ(ReportHeaderRows(data), (QStringList{"Data : Unknown", "Time : Unknown", "Media file : REC.avi",
                                                   "Data file : ", "Recording type : Unknown"}));
}

TEST(ReportPages, PaneWithoutPictureAndGraphWithoutAreaDrawNoGarbage)
{
    static int argc = 1;
    static char name[] = "reportpainter_test";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = new QGuiApplication(argc, argv); // fonts
    (void)app;
    tagREPORTDATA data;
    data.record = Record();
    data.panes = {tagREPORTPANE()}; // no picture
    int graphCalls = 0;
    data.drawGraph = [&](QPainter &) { ++graphCalls; };
    data.frameToSample.Set(0, 0); // with samples: the graph would be drawn if it had an area
    data.graphSize = QSize(300, 0); // a graph pane of no height
    QImage page(200, 280, QImage::Format_RGB32);
    for (int n : {1, 2}) {
        page.fill(Qt::white);
        QPainter p(&page);
        DrawReportPage(p, page.size(), data, n);
        p.end();
        bool drawn = false;
        for (int y = 0; y < page.height() && !drawn; ++y)
            for (int x = 0; x < page.width() && !drawn; ++x)
                drawn = page.pixel(x, y) != qRgb(255, 255, 255);
        EXPECT_EQ(drawn, n == 1) << "page " << n;
    }
    EXPECT_EQ(graphCalls, 0) << "a graph without area is not drawn";
}

} // namespace
