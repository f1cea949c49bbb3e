// The report's pages.
#include "telemetry/reportpainter.h"

#include "telemetry/accelgraphpainter.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int kTitleFontPx = 32;
constexpr int kRowFontPx = 16; // the device context's default font: a 16-pixel cell
constexpr int kRowX = 10;
constexpr int kRowStep = 37;
constexpr int kRowTop = 20;
constexpr int kBorderPenWidth = 3;
const QColor kBorderColour(77, 77, 255);
// Rows of a "Notes" panel: k = 2 up to the last whose text ends inside the panel.
constexpr int kNotesRowsPerPage = (kReportNotesHeight - kRowTop - kRowFontPx) / kRowStep - 1;
// A graph pane without an area still gets a panel of this size on paper.
constexpr QSize kFallbackGraphSize(640, 180);

const char *const kWeekdays[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
const char kNoGps[] = "<<< GPS info does not exist. >>>";
const char kNoGpsMap[] = "<<< Unable to display the GPS info. >>>";
const char kNoSensor[] = "<<< An acceleration sensor info does not exist. >>>";
const char kNoSensorGraph[] = "<<< Unable to display the graph of an acceleration sensor. >>>";

QPen BorderPen()
{
    return QPen(kBorderColour, kBorderPenWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

// Draws a panel of `logical` size through a transform that maps it onto `band` of the page.
template <typename Draw> void Panel(QPainter &p, const QRect &band, const QSize &logical, Draw draw)
{
    if (band.isEmpty() || logical.isEmpty())
        return;
    p.save();
    p.translate(band.topLeft());
    p.scale(static_cast<qreal>(band.width()) / logical.width(),
            static_cast<qreal>(band.height()) / logical.height());
    p.setClipRect(QRect(QPoint(0, 0), logical));
    draw();
    p.restore();
}

void Centred(QPainter &p, int x, int y, const QString &text)
{
    p.drawText(QRect(x - 5000, y, 10000, 1000), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text);
}

void Outline(QPainter &p, int w, int h)
{
    p.setPen(BorderPen());
    p.setBrush(Qt::NoBrush);
    const QPoint line[5] = {{0, 0}, {0, h - 1}, {w - 1, h - 1}, {w - 1, 0}, {0, 0}};
    p.drawPolyline(line, 5);
}

// White panel, a title box and a body box with the border pen, the centred title, and the rows
// (k = 2, 3, ...) in the row font.
void TitledPanel(QPainter &p, int height, const QString &title, const QStringList &rows)
{
    p.fillRect(QRect(0, 0, kReportPanelWidth, height), Qt::white);
    p.setPen(BorderPen());
    p.setBrush(Qt::white);
    p.drawRect(QRect(0, 0, kReportPanelWidth - 1, 50));
    p.drawRect(QRect(0, 70, kReportPanelWidth - 1, height - 1 - 70));
    p.setBrush(Qt::NoBrush);
    p.setPen(Qt::black);
    p.setFont(ArialCellFont(kTitleFontPx));
    Centred(p, kReportPanelWidth / 2, 10, title);
    p.setFont(ArialCellFont(kRowFontPx));
    for (int i = 0; i < rows.size(); ++i)
        DrawTextAt(p, kRowX, kRowStep * (i + 2) + kRowTop, rows.at(i));
}

QDateTime LocalTime(int64_t timeMs)
{
    return QDateTime::fromSecsSinceEpoch(timeMs / 1000, Qt::LocalTime);
}

QString DateText(const QDateTime &t)
{
    return QString::asprintf("%04d / %02d / %02d", t.date().year(), t.date().month(), t.date().day());
}

QString TimeText(const QDateTime &t, int64_t timeMs)
{
    const int64_t seconds = timeMs / 1000;
    return QString::asprintf("Time : %02d : %02d : %02d.%03d", t.time().hour(), t.time().minute(),
                             t.time().second(), static_cast<int>(timeMs - seconds * 1000));
}

void DrawMapPanel(QPainter &p, const tagREPORTDATA &data, int panelHeight)
{
    p.fillRect(QRect(0, 0, kReportPanelWidth, panelHeight), Qt::white);
    if (data.bReportHasGps) {
        const QImage &map = data.mapPicture;
        // A page too small to leave anything inside its 5-pixel frame leaves the panel white.
        if (!map.isNull() && map.width() > 7 && map.height() > 7) {
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(QRect((kReportPanelWidth - panelHeight) / 2, 0, panelHeight, panelHeight), map,
                        QRect(5, 5, map.width() - 7, map.height() - 7));
        }
    } else {
        p.setPen(Qt::black);
        p.setFont(ArialCellFont(kRowFontPx));
        Centred(p, kReportPanelWidth / 2, 50, QString::fromLatin1(kNoGps));
        Centred(p, kReportPanelWidth / 2, 100, QString::fromLatin1(kNoGpsMap));
    }
    Outline(p, kReportPanelWidth, panelHeight);
}

void DrawGraphPanel(QPainter &p, const tagREPORTDATA &data, const QSize &size)
{
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    if (!data.frameToSample.IsEmpty()) {
        if (data.drawGraph && !data.graphSize.isEmpty())
            data.drawGraph(p);
        Outline(p, size.width(), size.height());
        return;
    }
    // Without samples the graph would be covered whole; on paper its texts would still be there
    // beneath the cover (and found by a search), so it is not drawn at all.
    p.setPen(BorderPen());
    p.setBrush(Qt::white);
    p.drawRect(QRect(0, 0, size.width() - 1, size.height() - 1));
    p.setPen(Qt::black);
    p.setFont(ArialCellFont(kRowFontPx));
    Centred(p, kReportPanelWidth / 2, 50, QString::fromLatin1(kNoSensor));
    Centred(p, kReportPanelWidth / 2, 100, QString::fromLatin1(kNoSensorGraph));
}

// The text cut into rows no wider than `width` in the row font: at spaces where it can be, inside a
// word that is wider than a row by itself.
QStringList WrapRow(const QString &text, qreal width)
{
    const QFontMetricsF metrics(ArialCellFont(kRowFontPx));
    QStringList rows;
    QString row;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString joined = row.isEmpty() ? word : row + QLatin1Char(' ') + word;
        if (metrics.horizontalAdvance(joined) <= width) {
            row = joined;
            continue;
        }
        if (!row.isEmpty())
            rows << row;
        row = word;
        while (metrics.horizontalAdvance(row) > width && row.size() > 1) {
            int fits = 1;
            while (fits < row.size() && metrics.horizontalAdvance(row.left(fits + 1)) <= width)
                ++fits;
            rows << row.left(fits);
            row = row.mid(fits);
        }
    }
    if (!row.isEmpty())
        rows << row;
    return rows;
}

} // namespace

QList<int> ReportPrintPanes(const QList<int> &markedFlags)
{
    QList<int> panes;
    for (int i = 0; i < markedFlags.size(); ++i)
        if (markedFlags.at(i) == 1)
            panes.append(i);
    return panes;
}

int ReportPageCount(int paneCount)
{
    return paneCount > 0 ? 1 + paneCount : 0;
}

CReportGeometry::CReportGeometry(int width, int height)
    : W(width), H(height), m(width * 5 / 100), t(height * 5 / 100)
{
}

QRect CReportGeometry::HeaderBand() const
{
    return QRect(m, t, W - 2 * m, H * 30 / 100);
}

QRect CReportGeometry::MapBand() const
{
    return QRect(m, t + H * 33 / 100, W - 2 * m, H * 38 / 100);
}

QRect CReportGeometry::GraphBand() const
{
    return QRect(m, t + H * 33 / 100 + H * 41 / 100, W - 2 * m, H * 18 / 100);
}

QRect CReportGeometry::PictureBand() const
{
    return QRect(m, t, W - 2 * m, H * 50 / 100);
}

QRect CReportGeometry::FrameInfoBand() const
{
    return QRect(m, t + H * 53 / 100, W - 2 * m, H * 37 / 100);
}

QRect CReportGeometry::NotesBand() const
{
    return QRect(m, t, W - 2 * m, H * 90 / 100);
}

int CReportGeometry::MapPanelHeight() const
{
    const int inner = W - 2 * m;
    return inner > 0 ? static_cast<int>(static_cast<int64_t>(H * 38 / 100) * kReportPanelWidth / inner) : 0;
}

QRect CReportGeometry::PicturePlacement(const QSize &picture) const
{
    if (picture.width() <= 0 || picture.height() <= 0)
        return QRect();
    const int height = H * 50 / 100;
    int width = static_cast<int>(static_cast<int64_t>(H) * 50 * picture.width() / (int64_t(picture.height()) * 100));
    int x = (W - width) / 2;
    if (x < m) {
        x = m;
        width = W - 2 * m;
    }
    return QRect(x, t, width, height);
}

bool ReportTimeMs(const tagDATAFILEINFO &rec, int64_t paneTime100ns, int64_t *timeMs)
{
    int64_t startMs = 0;
    if (rec.bValid != 1 || rec.bNoClock || !TimeKey(rec.stSyncTime, &startMs))
        return false;
    *timeMs = startMs + paneTime100ns / 10000;
    return true;
}

QString ReportFileName(const QString &path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

QStringList ReportHeaderRows(const tagREPORTDATA &data)
{
    const tagREPORTPANE first = data.panes.isEmpty() ? tagREPORTPANE() : data.panes.first();
    QStringList rows;
    int64_t timeMs = 0;
    if (ReportTimeMs(data.record, first.llTime, &timeMs)) {
        const QDateTime t = LocalTime(timeMs);
        rows << QStringLiteral("Data : ") + DateText(t) << TimeText(t, timeMs);
    } else {
        rows << QStringLiteral("Data : Unknown") << QStringLiteral("Time : Unknown");
    }
    rows << QStringLiteral("Media file : ") + ReportFileName(data.strMediaPath)
         << QStringLiteral("Data file : ") + ReportFileName(data.strDataPath)
         << QStringLiteral("Recording type : ") + RecordingTypeName(data.record.nType);
    return rows;
}

QStringList ReportFrameInfoRows(const tagREPORTDATA &data, const tagREPORTPANE &pane)
{
    const tagDATAFILEINFO &rec = data.record;
    const int f = static_cast<int>(pane.llFrame);
    const int count = static_cast<int>(pane.llFrameCount);
    QStringList rows;
    int64_t timeMs = 0;
    const bool valid = rec.bValid == 1;
    if (valid && ReportTimeMs(rec, pane.llTime, &timeMs)) {
        const QDateTime t = LocalTime(timeMs);
        rows << QStringLiteral("Date : ") + DateText(t) + QStringLiteral("  ") +
                    QLatin1String(kWeekdays[t.date().dayOfWeek() - 1])
             << TimeText(t, timeMs);
    } else {
        rows << QStringLiteral("Data : Unknown") << QStringLiteral("Time : Unknown");
    }
    rows << (valid ? QString::asprintf("Frame number : %d  /  %d", f, count)
                   : QString::asprintf("Frame number : %d/%d", f, count));

    const int s = valid ? data.frameToSample.Find(pane.llFrame) : -1;
    if (s != -1 && s < rec.vecAccel.size()) {
        const tagACCELINFO &a = rec.vecAccel[s];
        rows << QStringLiteral("<<< Acceleration sensor info >>>")
             << QString::asprintf("Acceleration sensor : X = %+1.2f, Y = %+1.2f, Z = %+1.2f",
                                  static_cast<double>(a.fX), static_cast<double>(a.fY),
                                  static_cast<double>(a.fZ));
    } else {
        rows << QString::fromLatin1(kNoSensor) << QString();
    }
    const int g = valid ? data.frameToFix.Find(pane.llFrame) : -1;
    if (g != -1 && g < rec.vecGps.size()) {
        const tagGPSINFO &fix = rec.vecGps[g];
        rows << QStringLiteral("<<< GPS Info >>>") << QStringLiteral("GPS Coordinate(Latitude) : ") + fix.strLat
             << QStringLiteral("GPS Coordinate(Longitude) : ") + fix.strLon
             << QStringLiteral("GPS Ground Speed : ") + fix.strSpeed
             << QStringLiteral("GPS Direction : ") + fix.strDirection +
                    QString::asprintf("(%3.2f", fix.dCourse) + QChar(0x00B0) + QLatin1Char(')');
    } else {
        rows << QString::fromLatin1(kNoGps);
    }
    return rows;
}

QList<QStringList> ReportNotesPages(const tagREPORTDATA &data)
{
    QList<QStringList> pages;
    if (data.notes.isEmpty())
        return pages;
    const qreal width = kReportPanelWidth - 2 * kRowX;
    QStringList rows;
    for (const tagMOMENTNOTE &n : data.notes) {
        QString head = QStringLiteral("Frame %1").arg(n.llFrame);
        int64_t timeMs = 0;
        if (ReportTimeMs(data.record, n.llOffsetMs * 10000, &timeMs)) {
            const QDateTime t = LocalTime(timeMs);
            head += QStringLiteral("  ") + DateText(t) + QStringLiteral("  ") + TimeText(t, timeMs).mid(7);
        }
        if (std::any_of(data.panes.cbegin(), data.panes.cend(),
                        [&](const tagREPORTPANE &pane) { return pane.llFrame == n.llFrame; }))
            head += QStringLiteral("  (printed)");
        QStringList block = QStringList{head} + WrapRow(n.strText, width);
        // A note is not split across pages unless it is longer than a page.
        if (!rows.isEmpty() && rows.size() + block.size() > kNotesRowsPerPage) {
            pages << rows;
            rows.clear();
        }
        for (const QString &row : block) {
            if (rows.size() == kNotesRowsPerPage) {
                pages << rows;
                rows.clear();
            }
            rows << row;
        }
        if (rows.size() < kNotesRowsPerPage)
            rows << QString();
    }
    while (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    if (!rows.isEmpty())
        pages << rows;
    return pages;
}

int ReportTotalPages(const tagREPORTDATA &data)
{
    return ReportPageCount(static_cast<int>(data.panes.size())) + static_cast<int>(ReportNotesPages(data).size());
}

void DrawReportPage(QPainter &p, const QSize &pageSize, const tagREPORTDATA &data, int page)
{
    const CReportGeometry geo(pageSize.width(), pageSize.height());
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (page == 1) {
        Panel(p, geo.HeaderBand(), QSize(kReportPanelWidth - 1, kReportHeaderHeight - 1), [&] {
            TitledPanel(p, kReportHeaderHeight, QStringLiteral("Pellister Report"), ReportHeaderRows(data));
        });
        const int mapHeight = geo.MapPanelHeight();
        Panel(p, geo.MapBand(), QSize(kReportPanelWidth, mapHeight), [&] { DrawMapPanel(p, data, mapHeight); });
        const QSize graph = data.graphSize.isEmpty() ? kFallbackGraphSize : data.graphSize;
        Panel(p, geo.GraphBand(), graph, [&] { DrawGraphPanel(p, data, graph); });
    } else if (const int notesPage = page - 2 - static_cast<int>(data.panes.size()); notesPage >= 0) {
        const QList<QStringList> notes = ReportNotesPages(data);
        if (notesPage < notes.size())
            Panel(p, geo.NotesBand(), QSize(kReportPanelWidth - 1, kReportNotesHeight - 1), [&] {
                TitledPanel(p, kReportNotesHeight,
                            notesPage == 0 ? QStringLiteral("Notes") : QStringLiteral("Notes (continued)"),
                            notes.at(notesPage));
            });
    } else if (page >= 2 && page - 2 < data.panes.size()) {
        const tagREPORTPANE &pane = data.panes.at(page - 2);
        const QRect place = geo.PicturePlacement(pane.picture.size());
        // A pane without a picture prints a blank page.
        if (pane.picture.isNull() || place.isEmpty()) {
            p.restore();
            return;
        }
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(place, pane.picture);
        const QRect band = geo.PictureBand();
        p.setPen(BorderPen());
        const int bottom = band.top() + band.height() - 1;
        const QPoint line[5] = {{geo.m, band.top()},
                                {geo.m, bottom},
                                {geo.W - geo.m, bottom},
                                {geo.W - geo.m, band.top()},
                                {geo.m, band.top()}};
        p.drawPolyline(line, 5);
        if (!pane.strEnhanced.isEmpty()) {
            // In the gap between the picture and the panel, at the panels' text size.
            const int gapTop = band.top() + band.height();
            const QRect gap(geo.m, gapTop, geo.W - 2 * geo.m, geo.FrameInfoBand().top() - gapTop);
            QFont font = p.font();
            font.setPixelSize(std::max(1, gap.height() * 2 / 5));
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(gap, Qt::AlignLeft | Qt::AlignVCenter, pane.strEnhanced);
        }
        Panel(p, geo.FrameInfoBand(), QSize(kReportPanelWidth - 1, kReportFrameInfoHeight - 1), [&] {
            TitledPanel(p, kReportFrameInfoHeight, QStringLiteral("Frame info"), ReportFrameInfoRows(data, pane));
        });
    }
    p.restore();
}
