// The report of an evidence package: the printed report of the range's first moment, as "Print"
// makes it of the single view, followed by the package's Evidence pages. This object puts the
// open recording there through the playback controller; the printing itself is the report pane's
// (handed in as a function, the pane being a view).
#pragma once

#include "export/evidence.h"
#include "export/evidencepackage.h"

#include <QString>

#include <cstdint>
#include <functional>

class CPlaybackController;

// While the picture on show is zoomed or adjusted: its view of the frame on show goes into the
// package as a derived picture, and the report (which prints the view) says so. Nothing changes
// for a plain picture.
void AddEnhancedView(const CPlaybackController &playback, tagEVIDENCEJOB *job);

class CEvidenceReport
{
public:
    // Prints the report of the moment on show with the Evidence pages of `facts` to the PDF at
    // pdfPath; false when nothing could be printed.
    using PrintFn = std::function<bool(const QString &pdfPath, const tagEVIDENCEFACTS &facts)>;

    CEvidenceReport(CPlaybackController *playback, PrintFn print) : m_playback(playback), m_print(std::move(print)) {}

    // Recording `recording` at `frame` (opened unless it is current, in the single view, paused),
    // then the report. Runs on the UI thread. False with the reason in *why.
    bool Write(const QString &pdfPath, const tagEVIDENCEFACTS &facts, int recording, int64_t frame, QString *why);

private:
    CPlaybackController *m_playback;
    PrintFn m_print;
};
