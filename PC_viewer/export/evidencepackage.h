// An evidence package: the folder a driver hands over after an incident. It holds the recordings
// of a range byte for byte (originals/, in their layout below the catalogue folder), the range
// exported with its telemetry burnt in, the report of the range's first moment with its
// "Evidence" pages, manifest.json and SHA256SUMS; when asked, a redacted copy for sharing in
// shared/, listed as derived; and where the driver wrote notes on the recordings' moments, those
// notes (notes.json, in the card's notes format, momentnotes.h).
//
// The package is assembled in a folder beside its target and renamed into place when complete;
// a failure or Cancel removes it. Run blocks; Cancel may come from any thread.
#pragma once

#include "export/evidence.h"
#include "export/videoexport.h"

#include <QImage>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>

// A picture made from an original (the zoomed or adjusted view on screen), kept in derived/.
struct tagEVIDENCEPICTURE {
    QString strName; // file name, e.g. "<base>_<frame>_view.jpg"
    QImage image;
    QString strHow;  // "enhanced view of <clip>, frame N: region ...; brightness ..."
};

struct tagEVIDENCEJOB {
    QVector<tagEXPORTCLIP> clips; // llFrom of the first, llTo of the last
    tagEXPORTOPTIONS options;     // bCopy is ignored: the package's video is always burnt in
    QString strCatalogueRoot;     // originals/ keeps the clips' paths below this folder
    QList<tagEVIDENCEPICTURE> derivedPictures;
    // The zoom and adjustments the report's pictures are printed with ("" for the frames as
    // recorded).
    QString strEnhancedView;
    // A copy to hand on (kEvidenceShared/<name>_redacted.mp4): the range exported with `shared`
    // (its regions blurred, privacy when chosen), beside the originals, never instead of them.
    bool bSharedCopy = false;
    tagEXPORTOPTIONS shared;
};

// The report's PDF, written by the caller (it needs the viewer's panes): the report of the first
// clip's first frame of the range followed by the "Evidence" pages of facts.
using EvidenceReportWriter =
    std::function<bool(const QString &pdfPath, const tagEVIDENCEFACTS &facts, QString *why)>;

// Percent done (0..100) and a short name of the step.
using EvidenceProgress = std::function<void(int percent, const QString &step)>;

// File names inside a package.
extern const char kEvidenceOriginals[];
extern const char kEvidenceReport[];
extern const char kEvidenceDerived[];
extern const char kEvidenceManifest[];
extern const char kEvidenceSums[];
extern const char kEvidenceShared[];

// "<name>_redacted.mp4": the shared copy's name for an export named `exportName`.
QString RedactedFileName(const QString &exportName);
extern const char kEvidenceNotes[];

// "2014-10-17 08:13:00.333": the wall-clock time of a frame of a recording (sync time + frame x
// frame time), or empty without a clock.
QString FrameTimeText(const tagDATAFILEINFO &rec, int64_t frame, int64_t frameTime);

// "<base>_<N>-<M>.mp4" for one clip, "<first base>_<N>-<last base>_<M>.mp4" for several.
QString ExportFileName(const QVector<tagEXPORTCLIP> &clips);

class CEvidencePackage
{
public:
    explicit CEvidencePackage(tagEVIDENCEJOB job);

    // S_OK with the package at outDir and its facts; E_ABORT when cancelled; E_INVALIDARG for a
    // bad range or an outDir that exists already; else a failure. *why says it.
    HRESULT Run(const QString &outDir, const EvidenceReportWriter &report, const EvidenceProgress &progress,
                tagEVIDENCEFACTS *facts, QString *why);
    void Cancel();

private:
    HRESULT Assemble(const QString &staging, const EvidenceReportWriter &report, const EvidenceProgress &progress,
                     tagEVIDENCEFACTS *facts, QString *why);

    tagEVIDENCEJOB m_job;
    std::atomic<bool> m_bCancel{false};
};
