// The printed report of the current moment: where each panel lies on the page, the texts of its
// rows, and the drawing of a whole page into any QPainter (a printer, a PDF writer, a preview, an
// image). Panels are drawn in their own 640-wide logical coordinates through the painter's
// transform, so texts and lines stay vector drawing on paper; only the video and map pictures
// are images.
//
// Pages: page 1 is the summary (header, map, graph); page n >= 2 shows pane n - 2 of the report's
// panes (its picture and its "Frame info" panel). Page 1 reads its time from the first pane. A
// recording with notes on its moments (momentnotes.h) adds, after the panes' pages, its "Notes"
// pages: every note with its frame and time, its text wrapped to the panel.
#pragma once

#include "catalogue/momentnotes.h"
#include "catalogue/recordinfo.h"
#include "playback/frameindextable.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <QStringList>

#include <functional>

class QPainter;

// Logical size of the panels.
constexpr int kReportPanelWidth = 640;
constexpr int kReportHeaderHeight = 280;
constexpr int kReportFrameInfoHeight = 480;
constexpr int kReportNotesHeight = 900;

// One printed pane: what its media graph reports and shows.
struct tagREPORTPANE {
    QImage picture;          // the shown picture; null when the pane has none (blank page)
    int64_t llTime = 0;      // current time, 100-ns units
    int64_t llFrame = 0;     // current frame
    int64_t llFrameCount = 0;
    // Set when the picture is the zoomed or adjusted view on screen rather than the frame as
    // recorded: "enhanced view: region ...; brightness ...", printed under the picture.
    QString strEnhanced;
};

// Everything a report page reads, gathered when printing starts.
struct tagREPORTDATA {
    tagDATAFILEINFO record;
    QString strMediaPath;
    QString strDataPath;
    int bReportHasGps = 0;
    CFrameIndexTable frameToSample; // the graph's table
    CFrameIndexTable frameToFix;    // the map's table
    // The map page's picture at its page size, over white; null when its size was not known.
    QImage mapPicture;
    // The graph at its pane's client size, drawn by the graph's own drawing into the painter.
    QSize graphSize;
    std::function<void(QPainter &)> drawGraph;
    // The panes printed, in page order from page 2; page 1 uses the first.
    QList<tagREPORTPANE> panes;
    // The recording's notes, by frame; none: no "Notes" pages.
    QVector<tagMOMENTNOTE> notes;
};

// The report's panes in multi-pane mode: the marked panes' indexes, in pane order.
QList<int> ReportPrintPanes(const QList<int> &markedFlags);
// Pages of a report: 1 + the panes printed (2 in the single view); 0 cancels it.
int ReportPageCount(int paneCount);
// The rows of the "Notes" pages, page by page (none without notes): for each note a row "Frame f"
// with the moment's date and time as the "Frame info" panel gives them (and "(printed)" when a
// printed pane shows that frame), then its text in rows that fit the panel, then an empty row.
QList<QStringList> ReportNotesPages(const tagREPORTDATA &data);
// All pages of the report: its own, then the "Notes" pages.
int ReportTotalPages(const tagREPORTDATA &data);

// Page geometry from the printable area W x H in device pixels (integer arithmetic as the layout
// gives it): margins, and the page bands.
struct CReportGeometry {
    CReportGeometry(int width, int height);
    int W, H, m, t;
    QRect HeaderBand() const;     // 5 % / 30 %
    QRect MapBand() const;        // 38 % / 38 %
    QRect GraphBand() const;      // 79 % / 18 %
    QRect PictureBand() const;    // 5 % / 50 %, margin to margin
    QRect FrameInfoBand() const;  // 58 % / 37 %
    QRect NotesBand() const;      // 5 % / 90 %
    // Height P of the 640-wide map panel that keeps the proportions of its band; 0 for a page
    // without width between the margins.
    int MapPanelHeight() const;
    // Where a picture of the given size is printed: half the page high, centred, squeezed to the
    // margins when it is wider; empty for a picture without size.
    QRect PicturePlacement(const QSize &picture) const;
};

// Time T of a pane's picture: the sync time's millisecond key + its time / 10000. False when the
// record is not valid or its sync time has no key.
bool ReportTimeMs(const tagDATAFILEINFO &rec, int64_t paneTime100ns, int64_t *timeMs);

// Text after the last path separator ('/' or '\').
QString ReportFileName(const QString &path);

// Rows 2 to 6 of the header panel, and rows 2 to 11 of a pane's "Frame info" panel (an empty
// string is a row left empty).
QStringList ReportHeaderRows(const tagREPORTDATA &data);
QStringList ReportFrameInfoRows(const tagREPORTDATA &data, const tagREPORTPANE &pane);

// Draws page `page` (1-based) of the report onto the painter's device, whose printable area is
// `page` W x H device pixels with the origin at its top left.
void DrawReportPage(QPainter &p, const QSize &pageSize, const tagREPORTDATA &data, int page);
