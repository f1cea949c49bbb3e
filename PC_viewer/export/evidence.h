// The building blocks of an evidence package (the folder handed to the police or an insurer):
// copying and hashing its files, its SHA256SUMS and manifest.json, the recorder's clock offset
// and time zone, and the report's "Evidence" pages.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>

class QPainter;

// Files are read (and copied) in blocks of this size; a cancel is noticed between two blocks.
inline constexpr qint64 kEvidenceBlockSize = 1024 * 1024;
// A data file is searched for a GPS fix in its first this many bytes only.
inline constexpr qint64 kClockOffsetScanLimit = 64 * 1024 * 1024;

// One file of a package: its path inside the package ('/' separators), size and SHA-256 (64
// lower-case hex).
struct tagEVIDENCEFILE {
    QString strPath;
    qint64 llSize = 0;
    QByteArray hexSha256;
    QString strCamera; // the camera of a recording of several that recorded this clip; else empty
    // How the file was made from the originals (an enhanced view; a shared copy: "blurred: 2
    // regions; privacy: no time or place"); empty for an original or the package's own files.
    QString strDerived;
};

// Reads src in blocks, writes each block to dst and hashes it in the same pass (the source is
// read once). dst is created new in a folder that exists; an existing dst is an error and is left
// as it was. `cancel` (may be null) is polled between blocks; `progress` (may be empty) gets the
// bytes done so far after each block. The copy is flushed to the disk before it counts as done.
// On any failure or cancel: the dst this call created is removed, false, and *why says it in plain
// words ("cancelled", "cannot write X: the disk is full", "cannot read X: <reason>", ...).
// out->strPath is left to the caller; llSize and hexSha256 are filled.
bool CopyAndHashFile(const QString &src, const QString &dst, const std::atomic<bool> *cancel,
                     const std::function<void(qint64)> &progress, tagEVIDENCEFILE *out, QString *why);
// SHA-256 of a file, read in the same blocks; llSize and hexSha256 filled.
bool HashFile(const QString &path, const std::atomic<bool> *cancel, tagEVIDENCEFILE *out, QString *why);

// The text of SHA256SUMS exactly as GNU sha256sum writes it in text mode ("<hex>  <path>\n"),
// escaping included: a path holding '\\', '\n' or '\r' gets a leading '\\' on its line and those
// characters written as "\\\\", "\\n" and "\\r", so that `sha256sum -c SHA256SUMS` in the
// package's folder reads every path back. (Older coreutils read no "\\r"; a recorder never
// writes such a name.)
QByteArray Sha256SumsText(const QList<tagEVIDENCEFILE> &files);

// One recording of the exported range: clip path relative to the catalogue folder, first and last
// frame (inclusive).
struct tagEVIDENCESEGMENT {
    QString strClip;
    qint64 llFrom = 0;
    qint64 llTo = 0;
};

// What a package states about itself: in manifest.json and on the report's "Evidence" pages.
struct tagEVIDENCEFACTS {
    QString strProgram;  // "Pellister"
    QString strVersion;  // four-part version
    QDateTime exportUtc; // export time, UTC
    QString strTimeZone; // e.g. "UTC+09:00 (recorder configuration)", made by the caller
    QList<tagEVIDENCESEGMENT> segments;
    QString strRange;       // human text of the range, made by the caller
    QString strClockOffset; // ClockOffsetText(...)
    bool bClockOffsetKnown = false;
    qint64 llClockOffsetMs = 0; // recorder time - GPS time; read only when known
    // The card's clock correction: the times above are corrected by it; the text gives the
    // recorded range as well ("" and 0 without one).
    QString strClockCorrection;
    qint64 llClockCorrectionMs = 0;
    // The driver's notes on the recordings' moments: how many and in which file, or why the card's
    // notes could not be read ("" when the recordings have none).
    QString strNotes;
    QList<tagEVIDENCEFILE> files;
};

// manifest.json: one object with program, version, export_time_utc (ISO 8601 ending in Z; null
// for an invalid time), time_zone, range, segments ([{clip, from, to}]), clock_offset (text),
// clock_offset_ms (number, null when unknown), with a clock correction clock_correction (text)
// and clock_correction_ms (number), and files ([{path, size, sha256}, with camera and derived
// where they apply]), in that order, indented, UTF-8.
QByteArray ManifestJson(const tagEVIDENCEFACTS &facts);

// The recorder's clock offset in milliseconds from a data file's text: recorder time - (GPS UTC +
// tzHours), both taken as calendar values (never through the computer's own zone or its daylight
// saving). The recorder's time of a $GPRMC fix is the time of the last $SYNCTIME or $ACCELERATOR
// line before it; the first fix with status A, a complete time and date and such a line before it
// gives the offset. Lines whose time or date is incomplete or no calendar value (month 13, hour
// 25) are passed over. Only the first kClockOffsetScanLimit bytes are read. False when no fix
// qualifies.
bool RecorderClockOffsetMs(const QByteArray &dataFileText, double tzHours, qint64 *offsetMs);
// "unknown" when !known; else signed seconds with milliseconds and what the sign means:
// "+3600.250 s (the recorder's clock is ahead of GPS time)", "-2.000 s (the recorder's clock is
// behind GPS time)", "+0.000 s".
QString ClockOffsetText(bool known, qint64 offsetMs);

// "UTC+09:00", "UTC-04:30", "UTC+00:00" (rounded to the minute).
QString UtcOffsetText(double hours);

// The report's "Evidence" pages, drawn into any QPainter whose printable area is pageSize device
// pixels (a printer page, a PDF, an image): the title, the facts and a table of every file with its
// size and SHA-256 in a fixed-pitch font, on as many pages as the table needs. The layout depends
// only on the page's proportions; fonts scale with its width. Both measure text, so a
// QGuiApplication must exist.
int EvidencePageCount(const QSize &pageSize, const tagEVIDENCEFACTS &facts);
// `page` counts from 0; a page out of range draws nothing.
void DrawEvidencePage(QPainter &p, const QSize &pageSize, const tagEVIDENCEFACTS &facts, int page);
