// A recording's GPS as the files that video editors, players and globe viewers load beside a clip:
// SubRip subtitles (one cue a second) and KML (the track; a folder's trips as placemarks).
#pragma once

#include "base/units.h"
#include "catalogue/recordinfo.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A fix counts for a cue when it lies no more than this before the cue starts.
inline constexpr int64_t kSrtFixReachMs = 2000;
// The most cues a file gets (ten hours): a duration beyond is cut there.
inline constexpr int kMaxSrtCues = 36000;

// SubRip text of a clip of durationSeconds (0 when unknown: up to the last sample or fix): cue k
// covers second k of the clip and reads the record's time at its start ("yyyy-MM-dd hh:mm:ss", on
// the record's own clock; left out without one), then the speed in `unit` and the position
// (signed degrees, six decimals) of the last fix up to the cue's end that lies at most
// kSrtFixReachMs before its start, or "no GPS". UTF-8, CR LF line ends, cues numbered from 1.
QByteArray FormatSrt(const tagDATAFILEINFO &rec, double durationSeconds, SpeedUnit unit);

// One placemark of a KML file: a line through the fixes with status A (a point where there is only
// one), named and described.
struct tagKMLPLACE {
    QString strName;
    QString strDescription;
    QVector<tagGPSINFO> fixes;
};
// KML 2.2 of a document of placemarks; a place without a fix of status A is left out.
QByteArray FormatKml(const QString &documentName, const QVector<tagKMLPLACE> &places);

// Writes bytes to path through a file beside it, renamed into place once complete; false with the
// reason in *why, an earlier file at path untouched.
bool WriteBesideAndRename(const QString &path, const QByteArray &bytes, QString *why);
