// The report pane.
#include "telemetry/printview.h"

#include "telemetry/recordingtelemetry.h"

#include "catalogue/corvanadoc.h"
#include "media/mediagraph.h"
#include "playback/playbackpane.h"
#include "playback/playbacksession.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/mapview.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

CPrintView::CPrintView(CCorvanaDoc *doc, QWidget *parent) : QWidget(parent), m_doc(doc)
{
    m_printDialog = [](QPrinter *printer, QWidget *dialogParent) {
        QPrintDialog dialog(printer, dialogParent);
        return dialog.exec() == QDialog::Accepted;
    };
}

void CPrintView::SetPrinting(int printing)
{
    if (bPrinting == printing)
        return;
    bPrinting = printing;
    emit PrintingChanged(printing != 0);
}

bool CPrintView::OnPreparePrinting()
{
    SetPrinting(1);
    const int index = m_doc->CurrentIndex();
    const tagDATAFILEINFO &rec = m_doc->RecordRef(index);
    bReportHasGps = index >= 0 && rec.bValid == 1 && !rec.vecGps.isEmpty() ? 1 : 0;
    arrPrintPanes.clear();
    m_pageCount = 0;
    if (!m_session)
        return false;
    if (m_session->IsMulti()) {
        QList<int> marks;
        for (int i = 0; i < m_session->Panes(); ++i)
            marks.append(m_session->Pane(i)->IsMarked());
        arrPrintPanes = ReportPrintPanes(marks);
        m_pageCount = ReportPageCount(static_cast<int>(arrPrintPanes.size()));
    } else {
        m_pageCount = ReportPageCount(1);
    }
    return m_pageCount > 0;
}

void CPrintView::OnEndPrinting()
{
    SetPrinting(0);
}

bool CPrintView::OnFilePrint(QPrinter *printer)
{
    if (!OnPreparePrinting()) {
        OnEndPrinting();
        return false;
    }
    const bool chosen = m_printDialog && m_printDialog(printer, window());
    const bool printed = chosen && PrintPages(printer);
    OnEndPrinting();
    return printed;
}

bool CPrintView::OnFilePrintDirect(QPrinter *printer)
{
    if (!OnPreparePrinting()) {
        OnEndPrinting();
        return false;
    }
    const bool printed = PrintPages(printer);
    OnEndPrinting();
    return printed;
}

void CPrintView::OnFilePrintPreview(QPrinter *printer)
{
    if (!OnPreparePrinting()) {
        OnEndPrinting();
        return;
    }
    {
        QPrintPreviewDialog preview(printer, window());
        preview.setObjectName(QStringLiteral("PrintPreview"));
        // Pages big enough to read: most of the main window.
        if (window() && window() != this)
            preview.resize(window()->size() * 9 / 10);
        connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *p) { PrintPages(p); });
        preview.exec();
    }
    OnEndPrinting();
}

tagREPORTPANE CPrintView::PaneOfGraph(int pane) const
{
    tagREPORTPANE out;
    CMediaGraph *graph = nullptr;
    if (pane < 0) {
        graph = m_session->Graph();
        out.picture = m_session->NativeImage();
    } else if (CPlaybackPane *p = m_session->Pane(pane)) {
        graph = p->Graph();
        // A pane past the end of a short clip shows nothing and prints a blank page, even while its
        // graph still holds the clip's last picture.
        out.picture = p->NativeImage();
    }
    if (graph) {
        graph->CurrentTime(&out.llTime);
        graph->CurrentFrame(&out.llFrame);
        out.llFrameCount = graph->FrameCount();
    }
    return out;
}

QImage CPrintView::MapPicture() const
{
    // The picture is taken once the page says it shows the moment being printed; a page that
    // never says so within the limit is printed as it stands.
    constexpr int kMapDrawnWaitMs = 10000;
    if (m_map)
        m_map->WaitUntilDrawn(kMapDrawnWaitMs);
    long w = 0, h = 0;
    if (!m_map || FAILED(m_map->GetMapPageSize(&w, &h)) || w <= 0 || h <= 0)
        return QImage();
    QImage argb(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32);
    argb.fill(Qt::transparent);
    m_map->DrawMapToImage(&argb);
    // Over a white background, as a plain picture.
    QImage plain(argb.size(), QImage::Format_RGB32);
    plain.fill(Qt::white);
    QPainter(&plain).drawImage(0, 0, argb);
    return plain;
}

tagREPORTDATA CPrintView::CollectReport() const
{
    tagREPORTDATA data;
    const int index = m_doc->CurrentIndex();
    if (index >= 0) {
        data.record = m_doc->RecordRef(index);
        data.strDataPath = m_doc->DataPathAt(index);
    }
    data.strMediaPath = m_doc->CurrentMediaPath();
    data.bReportHasGps = bReportHasGps;
    if (m_graph) {
        data.frameToSample = m_graph->FrameToSample();
        data.graphSize = m_graph->size();
        CAccelSensorGraphView *graph = m_graph;
        data.drawGraph = [graph](QPainter &p) { graph->PlotGraph(p); };
    }
    if (m_map) {
        data.frameToFix = m_map->FrameToFix();
        if (bReportHasGps)
            data.mapPicture = MapPicture();
    }
    // The rows come from the recording's own tables, whatever the map page managed to load.
    if (m_telemetry) {
        data.frameToSample = m_telemetry->FrameToSample();
        data.frameToFix = m_telemetry->FrameToFix();
    }
    if (m_session) {
        if (m_session->IsMulti()) {
            for (int pane : arrPrintPanes)
                data.panes.append(PaneOfGraph(pane));
        } else {
            data.panes.append(PaneOfGraph(-1));
        }
    }
    return data;
}

bool CPrintView::PrintPages(QPrinter *printer)
{
    const tagREPORTDATA data = CollectReport();
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    const QSize page(printer->width(), printer->height());
    const int pages = ReportPageCount(static_cast<int>(data.panes.size()));
    for (int n = 1; n <= pages; ++n) {
        if (n > 1)
            printer->newPage();
        DrawReportPage(painter, page, data, n);
    }
    const int extra = m_countExtraPages && m_drawExtraPage ? m_countExtraPages(page) : 0;
    m_pageCount = pages + extra;
    for (int i = 0; i < extra; ++i) {
        printer->newPage();
        painter.save();
        m_drawExtraPage(painter, page, i);
        painter.restore();
    }
    return painter.end();
}
