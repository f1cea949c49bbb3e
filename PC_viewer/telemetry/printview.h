// CPrintView: the main window's report pane. It has no area on screen; it carries the print,
// print-direct and preview commands and renders the report pages (reportpainter.h) of the moment
// on show: the video's pictures from the playback controller, the graph's and the map's pictures
// from the sources the composition root hands it (it holds no other pane), the recording's notes
// from the catalogue.
//
// A print run: OnPreparePrinting decides the pages (cancelling a grid without marked panes before
// any dialog), the print dialog or the preview dialog follows, PrintPages draws every page onto
// the printer, OnEndPrinting ends the run. bPrinting is 1 from the start of the run to its end,
// whichever way it ends; the main frame does not lay its panes out meanwhile.
#pragma once

#include "telemetry/reportpainter.h"

#include <QWidget>

#include <functional>

class CPlaybackController;
class QPrinter;

class CPrintView : public QWidget
{
    Q_OBJECT
public:
    // The moment comes from the controller (its recording, pictures and telemetry tables).
    explicit CPrintView(const CPlaybackController *playback, QWidget *parent = nullptr);

    // The graph's picture: its size on screen and a drawing of it into any painter in those
    // coordinates; none: the report's panel carries its "does not exist" messages.
    using GraphSizeFn = std::function<QSize()>;
    using DrawGraphFn = std::function<void(QPainter &painter)>;
    void SetGraphSource(GraphSizeFn size, DrawGraphFn draw)
    {
        m_graphSize = std::move(size);
        m_drawGraph = std::move(draw);
    }
    // The map's picture of the moment (null: none); asked only for a recording with GPS.
    using MapPictureFn = std::function<QImage()>;
    void SetMapSource(MapPictureFn picture) { m_mapPicture = std::move(picture); }

    // Pages printed after the report's own (an evidence package's "Evidence" pages): how many
    // there are on a page of the given printable size, and the drawing of one (0-based index).
    // None by default.
    using ExtraPageCountFn = std::function<int(const QSize &page)>;
    using ExtraPagesFn = std::function<void(QPainter &painter, const QSize &page, int index)>;
    void SetExtraPages(ExtraPageCountFn count, ExtraPagesFn draw)
    {
        m_countExtraPages = std::move(count);
        m_drawExtraPage = std::move(draw);
    }

    // The print dialog; true when the user chose to print. Tests put their own answer here.
    using PrintDialogFn = std::function<bool(QPrinter *printer, QWidget *parent)>;
    void SetPrintDialog(PrintDialogFn dialog) { m_printDialog = std::move(dialog); }

    // --- Commands -----------------------------------------------------------------------------
    // "Print(&P)...": the pages, after the print dialog. False when nothing was printed.
    bool OnFilePrint(QPrinter *printer);
    // Print direct: the pages on the printer as it is set up.
    bool OnFilePrintDirect(QPrinter *printer);
    // "Print Priview(&V)": the preview dialog over the same pages.
    void OnFilePrintPreview(QPrinter *printer);

    // --- Steps of a run -----------------------------------------------------------------------
    // Page count and the panes to print; false cancels the run (a grid without marked panes).
    bool OnPreparePrinting();
    void OnEndPrinting();
    // Draws every page of the report onto the printer; false when the printer could not start.
    bool PrintPages(QPrinter *printer);
    // What the pages read, gathered now.
    tagREPORTDATA CollectReport() const;

    // --- State --------------------------------------------------------------------------------
    int IsPrinting() const { return bPrinting; }
    int ReportHasGps() const { return bReportHasGps; }
    const QList<int> &PrintPanes() const { return arrPrintPanes; }
    int PageCount() const { return m_pageCount; }

signals:
    // bPrinting changed.
    void PrintingChanged(bool printing);

private:
    void SetPrinting(int printing);
    tagREPORTPANE PaneOfGraph(int pane) const;

    const CPlaybackController *m_playback;
    GraphSizeFn m_graphSize;
    DrawGraphFn m_drawGraph;
    MapPictureFn m_mapPicture;
    PrintDialogFn m_printDialog;
    ExtraPageCountFn m_countExtraPages;
    ExtraPagesFn m_drawExtraPage;

    int bPrinting = 0;
    int bReportHasGps = 0;
    QList<int> arrPrintPanes;
    int m_pageCount = 0;
};
