// The printed report read back from PDF: pellister-cli report over a generated clip and data file
// (page counts, the rows of every page as pdftotext reads them, the panels' bands in pdftoppm's
// picture of the pages on A4 and Letter, portrait and landscape), the records without data, GPS
// or samples, an unreachable map server, the refusals; and the report pane itself with its print
// dialog, its preview dialog and the run's bPrinting.
#include "playback/playbackcontroller.h"
#include "telemetry/printview.h"

#include "catalogue/corvanadoc.h"
#include "fixtures/testfiles.h"
#include "media/audiooutput.h"
#include "media/nullaudiooutput.h"
#include "playback/playbackpane.h"
#include "playback/playbacksession.h"
#include "qstringprint.h"
#include "telemetry/accelsensorgraphview.h"

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kFrameTime = 333333; // 30 fps
constexpr int kFrames = 60;

QApplication *App()
{
    static int argc = 1;
    static char name[] = "report_pdf_test";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return app;
}

QString Cli()
{
    return testfiles::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
}

// A card folder with clips that carry their frame numbers in colour; each clip gets the data
// file asked for (none when lines is empty).
class Card
{
public:
    Card() { EXPECT_TRUE(dir.isValid()); }

    QString Clip(const QString &name, const QStringList &dataLines, const QString &size = "320x240")
    {
        const QString clip = dir.filePath(name + ".avi");
        const auto r = testfiles::Run("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                                 QStringLiteral("testsrc=size=%1:rate=30").arg(size), "-frames:v",
                                                 QString::number(kFrames), "-c:v", "mjpeg", clip});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        if (!dataLines.isEmpty())
            EXPECT_TRUE(testfiles::WriteLines(dir.filePath("data/" + name + ".dat"), dataLines));
        return clip;
    }
    QString Out(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

// Sync 08:30:15.250 on 12 May 2013; a sample every 100 ms from 10 ms after it (two frames in three
// have none) and a fix every second.
QStringList FullData()
{
    QStringList lines{"$SYNCTIME,083015.250,130512,"};
    const QTime sync(8, 30, 15, 250);
    for (int i = 0; i < 20; ++i) {
        const QTime t = sync.addMSecs(10 + 100 * i);
        lines << QStringLiteral("$ACCELERATOR,%1,130512,%2,-0.98,0.11,")
                     .arg(t.toString("HHmmss.zzz"))
                     .arg(0.05 * i, 0, 'f', 2);
    }
    for (int k = 0; k < 3; ++k)
        lines << QStringLiteral("$GPRMC,%1,A,%2,N,12658.5678,E,21.5,87.3,120513,,")
                     .arg(QTime(8, 30, 15 + k).toString("HHmmss.zzz"))
                     .arg(3733.1234 + 0.01 * k, 0, 'f', 4);
    return lines;
}

struct tagPDF {
    int exitCode = -1;
    QString out;
    QString err;
};

tagPDF Report(const QStringList &args)
{
    const auto r = testfiles::Run(Cli(), QStringList{"report"} + args, 90000);
    return {r.exitCode, QString::fromUtf8(r.out), QString::fromUtf8(r.err)};
}

int Pages(const QString &pdf)
{
    const auto r = testfiles::Run("pdfinfo", {pdf});
    for (const QByteArray &line : r.out.split('\n'))
        if (line.startsWith("Pages:"))
            return line.mid(6).trimmed().toInt();
    return -1;
}

QStringList PageText(const QString &pdf, int page)
{
    const auto r = testfiles::Run("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
    QStringList lines;
    for (const QString &l : QString::fromUtf8(r.out).split('\n'))
        if (!l.trimmed().isEmpty())
            lines << l.simplified(); // pdftotext gives runs of spaces as one
    return lines;
}

QStringList Simplified(const QStringList &rows)
{
    QStringList lines;
    for (const QString &l : rows)
        lines << l.simplified();
    return lines;
}

QImage PagePicture(const QString &pdf, int page, int dpi = 72)
{
    const QString base = pdf + QStringLiteral(".p%1").arg(page);
    testfiles::Run("pdftoppm", {"-r", QString::number(dpi), "-f", QString::number(page), "-l",
                                QString::number(page), "-singlefile", "-png", pdf, base});
    return QImage(base + ".png");
}

// The record's own values, as the data-file reader gives them.
tagDATAFILEINFO RecordOf(const QString &clip)
{
    CCorvanaDoc doc;
    doc.SetFolder(QFileInfo(clip).path());
    doc.LoadFolder();
    return doc.Count() == 1 ? doc.RecordRef(0) : tagDATAFILEINFO();
}

// The rows a "Frame info" page must carry for frame f of a clip of kFrames with this record, as
// pdftotext reads them.
QStringList ExpectedRows(const tagDATAFILEINFO &rec, int f)
{
    int64_t sync = 0;
    EXPECT_TRUE(TimeKey(rec.stSyncTime, &sync));
    const int64_t T = sync + f * kFrameTime / 10000;
    const QDateTime t = QDateTime::fromSecsSinceEpoch(T / 1000, Qt::LocalTime);
    QStringList rows{QStringLiteral("Date : %1  %2")
                         .arg(t.toString("yyyy / MM / dd"),
                              QLocale::c().dayName(t.date().dayOfWeek(), QLocale::LongFormat)),
                     QStringLiteral("Time : %1.%2").arg(t.toString("HH : mm : ss")).arg(T % 1000, 3, 10, QChar('0')),
                     QStringLiteral("Frame number : %1  /  %2").arg(f).arg(kFrames)};
    const int s = FindSampleForFrame(SampleTimeKeys(rec), sync, kFrameTime, f);
    if (s >= 0)
        rows << "<<< Acceleration sensor info >>>"
             << QString::asprintf("Acceleration sensor : X = %+1.2f, Y = %+1.2f, Z = %+1.2f",
                                  double(rec.vecAccel[s].fX), double(rec.vecAccel[s].fY), double(rec.vecAccel[s].fZ));
    else
        rows << "<<< An acceleration sensor info does not exist. >>>";
    const int g = FindFixForFrame(FixTimeKeys(rec), sync, kFrameTime, f);
    if (g >= 0)
        rows << "<<< GPS Info >>>" << "GPS Coordinate(Latitude) : " + rec.vecGps[g].strLat
             << "GPS Coordinate(Longitude) : " + rec.vecGps[g].strLon
             << "GPS Ground Speed : " + rec.vecGps[g].strSpeed
             << QStringLiteral("GPS Direction : %1(%2").arg(rec.vecGps[g].strDirection).arg(rec.vecGps[g].dCourse, 0, 'f', 2) +
                    QChar(0x00B0) + ")";
    else
        rows << "<<< GPS info does not exist. >>>";
    return rows;
}

QStringList ExpectedFrameRows(const tagDATAFILEINFO &rec, int f)
{
    return Simplified(ExpectedRows(rec, f));
}

// Rows of a "Frame info" page: from the line after its title.
QStringList FrameRows(const QStringList &text)
{
    const qsizetype title = text.indexOf(QStringLiteral("Frame info"));
    return title < 0 ? QStringList() : text.mid(title + 1);
}

class ReportPdf : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        App();
        card = new Card;
        full = card->Clip("20130512_083015E", FullData());
    }
    static void TearDownTestSuite()
    {
        delete card;
        card = nullptr;
    }
    static Card *card;
    static QString full;
};
Card *ReportPdf::card = nullptr;
QString ReportPdf::full;

TEST_F(ReportPdf, SingleViewPrintsTheSummaryAndTheFramesPage)
{
    const QString pdf = card->Out("single.pdf");
    const tagPDF r = Report({full, "--frame", "31", pdf});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(Pages(pdf), 2);
    const tagDATAFILEINFO rec = RecordOf(full);
    ASSERT_EQ(rec.bValid, 1);

    const QStringList page1 = PageText(pdf, 1);
    const QStringList frame = ExpectedFrameRows(rec, 31);
    ASSERT_GE(page1.size(), 6);
    EXPECT_EQ(page1.mid(0, 6),
              (QStringList{"Pellister Report", "Data : " + frame[0].mid(7, 14), frame[1],
                           "Media file : 20130512_083015E.avi", "Data file : 20130512_083015E.dat",
                           "Recording type : Event"}));
    // The graph panel is the graph pane's own drawing: its texts are text on paper.
    EXPECT_TRUE(page1.contains(QStringLiteral("Frame : 31/60"))) << page1.join('|').toStdString();
    EXPECT_EQ(FrameRows(PageText(pdf, 2)), frame);
}

TEST_F(ReportPdf, GridPrintsOnePagePerMarkedPaneAtThatPanesFrame)
{
    struct Case {
        int grid;
        QString marked;
        QList<int> panes;
    };
    QList<int> all;
    for (int i = 0; i < 25; ++i)
        all << i;
    const Case cases[] = {{4, "0,2,3", {0, 2, 3}}, {25, "", all}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.grid);
        QString marked = c.marked;
        if (marked.isEmpty())
            for (int i : c.panes)
                marked += (marked.isEmpty() ? "" : ",") + QString::number(i);
        const QString pdf = card->Out(QStringLiteral("grid%1.pdf").arg(c.grid));
        const int start = 20;
        const tagPDF r = Report({full, "--frame", QString::number(start), "--grid", QString::number(c.grid),
                                 "--marked", marked, pdf});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(Pages(pdf), 1 + c.panes.size());
        // The grid starts where it would in the viewer: moved back so its last pane is in the clip.
        const int first = std::min(start, kFrames - c.grid);
        const tagDATAFILEINFO rec = RecordOf(full);
        for (int n = 0; n < c.panes.size(); ++n)
            EXPECT_EQ(FrameRows(PageText(pdf, n + 2)), ExpectedFrameRows(rec, first + c.panes[n])) << "page " << n + 2;
        // Page 1 reads the first printed pane's time.
        EXPECT_EQ(PageText(pdf, 1).value(2), ExpectedFrameRows(rec, first + c.panes[0]).value(1));
    }
}

TEST_F(ReportPdf, RecordsWithoutDataGpsOrSamplesCarryTheirMessages)
{
    const QString noData = card->Clip("nodata", {});
    const QString noGps = card->Clip("nogps", FullData().filter("$SYNCTIME") + FullData().filter("$ACCELERATOR"));
    const QString noSamples = card->Clip("nosamples", FullData().filter("$SYNCTIME") + FullData().filter("$GPRMC"));
    struct Case {
        QString clip;
        QStringList page1; // lines page 1 must hold
        QStringList frame; // lines the frame page must hold
    };
    const QString noSensor = "<<< An acceleration sensor info does not exist. >>>";
    const QString noSensorGraph = "<<< Unable to display the graph of an acceleration sensor. >>>";
    const QString noGpsText = "<<< GPS info does not exist. >>>";
    const QString noGpsMap = "<<< Unable to display the GPS info. >>>";
    const Case cases[] = {
        {noData,
         {"Data : Unknown", "Time : Unknown", "Media file : nodata.avi", "Recording type : Unknown", noGpsText, noGpsMap,
          noSensor, noSensorGraph},
         {"Data : Unknown", "Time : Unknown", "Frame number : 3/60", noSensor, noGpsText}},
        {noGps, {noGpsText, noGpsMap}, {noGpsText, "<<< Acceleration sensor info >>>"}},
        {noSamples, {noSensor, noSensorGraph}, {noSensor, "<<< GPS Info >>>"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.clip.toStdString());
        const QString pdf = c.clip + ".pdf";
        const tagPDF r = Report({c.clip, "--frame", "3", pdf});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        ASSERT_EQ(Pages(pdf), 2);
        const QStringList page1 = PageText(pdf, 1);
        const QStringList frame = PageText(pdf, 2);
        for (const QString &line : c.page1)
            EXPECT_TRUE(page1.contains(line)) << line.toStdString() << " in " << page1.join('|').toStdString();
        for (const QString &line : c.frame)
            EXPECT_TRUE(frame.contains(line)) << line.toStdString() << " in " << frame.join('|').toStdString();
    }
}

// Whether a pixel is the border pen's blue (or its blend with white at a low resolution).
bool Bluish(QRgb c)
{
    return qBlue(c) > 200 && qBlue(c) - qRed(c) > 50 && qBlue(c) - qGreen(c) > 50;
}

// First and last rows (per cent of the printable area's height) with the border's blue in column
// x, between from and to per cent.
std::pair<double, double> BlueRows(const QImage &page, const QRect &area, int x, double from, double to)
{
    int first = -1, last = -1;
    for (int y = area.top() + int(area.height() * from / 100); y < area.top() + int(area.height() * to / 100); ++y) {
        if (Bluish(page.pixel(x, y))) {
            if (first < 0)
                first = y;
            last = y;
        }
    }
    return {100.0 * (first - area.top()) / area.height(), 100.0 * (last - area.top()) / area.height()};
}

TEST_F(ReportPdf, PanelsLieInTheirBandsOnEveryPaperAndOrientation)
{
    for (const QString &paper : {QStringLiteral("A4"), QStringLiteral("Letter")}) {
        for (const bool landscape : {false, true}) {
            SCOPED_TRACE((paper + (landscape ? " landscape" : " portrait")).toStdString());
            const QString pdf = card->Out(QStringLiteral("bands-%1-%2.pdf").arg(paper).arg(landscape));
            QStringList args{full, "--frame", "10", "--paper", paper, pdf};
            if (landscape)
                args.insert(0, "--landscape");
            ASSERT_EQ(Report(args).exitCode, 0);
            const QImage p1 = PagePicture(pdf, 1);
            const QImage p2 = PagePicture(pdf, 2);
            ASSERT_FALSE(p1.isNull());
            ASSERT_EQ(p1.width() > p1.height(), landscape);
            // The bands are fractions of the printable area: the page less the PDF printer's
            // margins, at 72 dots an inch as pdftoppm drew it.
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setPageSize(QPageSize(paper == "A4" ? QPageSize::A4 : QPageSize::Letter));
            printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
            const QRect area = printer.pageLayout().paintRectPixels(72);
            ASSERT_EQ(printer.pageLayout().fullRectPixels(72).size(), p1.size());
            const int x = area.center().x();
            struct Band {
                const QImage *page;
                double top, bottom; // per cent of the printable area
            };
            const Band bands[] = {{&p1, 5, 35}, {&p1, 38, 76}, {&p1, 79, 97}, {&p2, 5, 55}, {&p2, 58, 95}};
            for (const Band &b : bands) {
                const auto [first, last] = BlueRows(*b.page, area, x, b.top - 1.5, b.bottom + 1.5);
                EXPECT_NEAR(first, b.top, 0.8) << "band " << b.top;
                EXPECT_NEAR(last, b.bottom, 0.8) << "band " << b.top;
            }
            // Margin to margin across the page, through the header.
            int left = -1, right = -1;
            const int y = area.top() + area.height() * 20 / 100;
            for (int xx = 0; xx < p1.width(); ++xx)
                if (Bluish(p1.pixel(xx, y))) {
                    if (left < 0)
                        left = xx;
                    right = xx;
                }
            EXPECT_NEAR(100.0 * (left - area.left()) / area.width(), 5, 0.8);
            EXPECT_NEAR(100.0 * (right - area.left()) / area.width(), 95, 0.8);
        }
    }
}

TEST_F(ReportPdf, AnUnreachableMapServerLeavesThePlaceholderButKeepsTheGpsRows)
{
    const QString pdf = card->Out("offline.pdf");
    // Nothing listens on port 1.
    const tagPDF r = Report({full, "--frame", "31", "--server", "http://127.0.0.1:1/", pdf});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    // The rows come from the recording's data, not from the map page.
    const QStringList rows = FrameRows(PageText(pdf, 2));
    EXPECT_TRUE(rows.contains("<<< GPS Info >>>")) << rows.join('|').toStdString();
    EXPECT_FALSE(rows.contains("<<< GPS info does not exist. >>>"));
    // The map panel still shows what the map pane shows: its offline page, not a white square.
    const QImage p1 = PagePicture(pdf, 1);
    const QRect inside(p1.width() * 15 / 100, p1.height() * 40 / 100, p1.width() * 70 / 100, p1.height() * 34 / 100);
    int drawn = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            drawn += p1.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(drawn, inside.width() * inside.height() / 50);
}

TEST_F(ReportPdf, TheMapPanelIsTheSameEveryTime)
{
    // The picture is taken once the page says it shows the route and the position, however busy
    // the machine is: every report of the same moment prints the same map.
    QImage first;
    for (int run = 0; run < 4; ++run) {
        const QString pdf = card->Out(QStringLiteral("again%1.pdf").arg(run));
        const tagPDF r = Report({full, "--frame", "31", pdf});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("map page")) << r.err.toStdString();
        const QImage p1 = PagePicture(pdf, 1);
        const QImage map = p1.copy(p1.width() * 15 / 100, p1.height() * 40 / 100, p1.width() * 70 / 100,
                                   p1.height() * 34 / 100);
        if (run == 0) {
            first = map;
            continue;
        }
        ASSERT_EQ(map.size(), first.size());
        int differ = 0;
        for (int y = 0; y < map.height(); ++y)
            for (int x = 0; x < map.width(); ++x)
                differ += map.pixel(x, y) != first.pixel(x, y);
        EXPECT_LT(differ, map.width() * map.height() / 100) << "run " << run;
    }
}

TEST_F(ReportPdf, RefusalsWriteNoFile)
{
    struct Case {
        QStringList args;
        int exitCode;
        QString out;
    };
    const QString pdf = card->Out("refused.pdf");
    const QString notClip = card->Out("notaclip.avi");
    ASSERT_TRUE(testfiles::Write(notClip, "not a clip"));
    const Case cases[] = {
        {{full, "--frame", "5", "--grid", "4", pdf}, 1, "The selected file does not exist.\n"},
        {{notClip, "--frame", "0", pdf}, 1, ""},
        {{card->Out("missing.avi"), "--frame", "0", pdf}, 1, ""},
        {{full, "--frame", "999", pdf}, 1, ""},
        {{full, pdf}, 2, ""},
        {{full, "--frame", "x", pdf}, 2, ""},
        {{full, "--frame", "1", "--grid", "5", pdf}, 2, ""},
        {{full, "--frame", "1", "--grid", "4", "--marked", "4", pdf}, 2, ""},
        {{full, "--frame", "1", "--paper", "A5", pdf}, 2, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const tagPDF r = Report(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_EQ(r.out, c.out);
        if (c.exitCode == 1 && c.out.isEmpty())
            EXPECT_FALSE(r.err.isEmpty());
        EXPECT_FALSE(QFile::exists(pdf));
        EXPECT_FALSE(QFile::exists(pdf + ".part"));
    }
}

// The report pane in this process: the print dialog and the preview over a grid of the clip.
class ReportPane : public ReportPdf
{
protected:
    void SetUp() override
    {
        CAudioOutput::SetFactory([] { return std::make_unique<CNullAudioOutput>(); });
        doc.SetFolder(QFileInfo(full).path());
        doc.LoadFolder();
        int index = -1;
        for (int i = 0; i < doc.Count(); ++i)
            if (doc.MediaPathAt(i) == full)
                index = i;
        ASSERT_GE(index, 0);
        QObject::connect(&playback, &CPlaybackController::RecordingOpened, &graph,
                         &CAccelSensorGraphView::OnRecordingOpened);
        QObject::connect(&playback, &CPlaybackController::PositionChanged, &graph,
                         &CAccelSensorGraphView::OnPositionChanged);
        ASSERT_TRUE(playback.Open(index));
        graph.resize(640, 180);
        graph.OnInitialUpdate();
        graph.RebuildGraph();
        view.SetGraphSource([this] { return graph.size(); }, [this](QPainter &p) { graph.PlotGraph(p); });
        printer.setOutputFormat(QPrinter::PdfFormat);
    }

    CCorvanaDoc doc;
    CPlaybackController playback{&doc};
    CPlaybackSession &session = *playback.MainSession();
    CAccelSensorGraphView graph{&doc, &playback.Telemetry()};
    CPrintView view{&playback};
    QPrinter printer{QPrinter::HighResolution};
};

TEST_F(ReportPane, PrintDialogRunHoldsTheLayoutAndAGridWithoutMarksShowsNoDialog)
{
    ASSERT_TRUE(SUCCEEDED(session.SetLayout(1, 4, false)));
    int dialogs = 0;
    int printingDuringDialog = -1;
    view.SetPrintDialog([&](QPrinter *p, QWidget *) {
        ++dialogs;
        printingDuringDialog = view.IsPrinting();
        p->setOutputFileName(card->Out("dialog.pdf"));
        return true;
    });
    EXPECT_FALSE(view.OnFilePrint(&printer)) << "no pane is marked";
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(view.IsPrinting(), 0);

    session.Pane(1)->SetMarked(1);
    session.Pane(3)->SetMarked(1);
    ASSERT_TRUE(view.OnFilePrint(&printer));
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(printingDuringDialog, 1);
    EXPECT_EQ(view.IsPrinting(), 0);
    EXPECT_EQ(view.PrintPanes(), (QList<int>{1, 3}));
    EXPECT_EQ(Pages(card->Out("dialog.pdf")), 3);

    view.SetPrintDialog([&](QPrinter *, QWidget *) { return false; }); // Cancel
    EXPECT_FALSE(view.OnFilePrint(&printer));
    EXPECT_EQ(view.IsPrinting(), 0);
}

TEST_F(ReportPane, PreviewShowsTheSamePages)
{
    ASSERT_TRUE(SUCCEEDED(session.SetLayout(1, 9, false)));
    for (int i : {0, 4, 5, 8})
        session.Pane(i)->SetMarked(1);
    int shownPages = -1;
    int printing = -1;
    // The preview is modal: look at it from the event loop it runs, then close it.
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *preview = qobject_cast<QPrintPreviewDialog *>(w);
            if (!preview || !preview->isVisible())
                continue;
            auto *pages = preview->findChild<QPrintPreviewWidget *>();
            if (pages && pages->pageCount() > 0) {
                shownPages = pages->pageCount();
                printing = view.IsPrinting();
                preview->reject();
            }
        }
    });
    poll.start();
    QTimer::singleShot(30000, &poll, [] { // never hang: close whatever is open
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
    });
    view.OnFilePrintPreview(&printer);
    EXPECT_EQ(shownPages, 5);
    EXPECT_EQ(printing, 1);
    EXPECT_EQ(view.IsPrinting(), 0);
}

} // namespace
