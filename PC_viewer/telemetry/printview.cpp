// The report pane.
#include "telemetry/printview.h"

#include "catalogue/corvanadoc.h"
#include "media/mediagraph.h"
#include "playback/playbackcontroller.h"
#include "playback/playbackpane.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

CPrintView::CPrintView(const CPlaybackController *playback, QWidget *parent) : QWidget(parent), m_playback(playback)
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
    const int index = m_playback->CurrentIndex();
    const tagDATAFILEINFO &rec = m_playback->Document()->RecordRef(index);
    bReportHasGps = index >= 0 && rec.bValid == 1 && !rec.vecGps.isEmpty() ? 1 : 0;
    arrPrintPanes.clear();
    m_pageCount = 0;
    const CPlaybackSession *session = m_playback->MainSession();
    if (session->IsMulti()) {
        QList<int> marks;
        for (int i = 0; i < session->Panes(); ++i)
            marks.append(session->Pane(i)->IsMarked());
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
    const CPlaybackSession *session = m_playback->MainSession();
    CMediaGraph *graph = nullptr;
    if (pane < 0) {
        graph = session->Graph();
        out.picture = session->NativeImage();
    } else if (CPlaybackPane *p = session->Pane(pane)) {
        graph = p->Graph();
        // A pane past the end of a short clip shows nothing and prints a blank page, even while its
        // graph still holds the clip's last picture.
        out.picture = p->NativeImage();
    }
    // The view on screen when it is zoomed or adjusted: the part shown at native resolution, and
    // what was done to it.
    const tagPICTUREVIEW &view = m_playback->PictureView();
    if (view.IsEnhanced() && !out.picture.isNull()) {
        out.strEnhanced = QStringLiteral("enhanced view: ") + PictureViewText(view, out.picture.size());
        out.picture = PictureViewImage(out.picture, view);
    }
    if (graph) {
        graph->CurrentTime(&out.llTime);
        graph->CurrentFrame(&out.llFrame);
        out.llFrameCount = graph->FrameCount();
    }
    return out;
}

tagREPORTDATA CPrintView::CollectReport() const
{
    tagREPORTDATA data;
    const CCorvanaDoc *doc = m_playback->Document();
    const int index = m_playback->CurrentIndex();
    if (index >= 0) {
        data.record = doc->RecordRef(index);
        data.strDataPath = doc->DataPathAt(index);
        data.notes = doc->Notes().NotesOfClip(doc->NoteClipAt(index));
    }
    data.strMediaPath = m_playback->MediaPath();
    data.bReportHasGps = bReportHasGps;
    if (m_graphSize && m_drawGraph) {
        data.graphSize = m_graphSize();
        data.drawGraph = m_drawGraph;
    }
    if (m_mapPicture && bReportHasGps)
        data.mapPicture = m_mapPicture();
    // The rows come from the recording's own tables, whatever the map page managed to load.
    data.frameToSample = m_playback->Telemetry().FrameToSample();
    data.frameToFix = m_playback->Telemetry().FrameToFix();
    if (m_playback->IsMulti()) {
        for (int pane : arrPrintPanes)
            data.panes.append(PaneOfGraph(pane));
    } else {
        data.panes.append(PaneOfGraph(-1));
        // Every other camera's picture of the moment, a page each ("no picture": a blank page);
        // the page's frame, time and telemetry are the moment's, as the main channel counts it.
        for (int channel = 1; channel < m_playback->Channels(); ++channel) {
            tagREPORTPANE pane = data.panes.first();
            pane.strEnhanced.clear();
            pane.picture = m_playback->ChannelImage(channel).isNull() ? QImage()
                                                                      : m_playback->Session(channel)->NativeImage();
            data.panes.append(pane);
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
    const int pages = ReportTotalPages(data);
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
