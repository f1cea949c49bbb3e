// CMp4TopBoxes lists the boxes at the top of an MP4 file and inside its first 'moov', for the dash
// cams that keep their telemetry in a box of its own rather than in a track (70mai's 'GPS ',
// Garmin's 'uuid'), and reads a box's payload. Every byte read, the box headers included, comes
// out of the caller's budget.
//
// Limits: at most kMaxMp4Boxes boxes are looked at; a box longer than what is left of its parent
// (a cut file) ends there; a payload is read up to the cap the caller gives. Reaching a limit or
// the end of the budget sets TooLarge().
#pragma once

#include "catalogue/mp4boxes.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>

struct tagMP4BOXREF {
    quint32 nType = 0;
    bool bInMoov = false; // a child of the first 'moov', else a top-level box
    qint64 nPayload = 0;  // file offset of the first byte after the header
    qint64 nSize = 0;     // bytes of payload
};

class CMp4TopBoxes
{
public:
    // Lists the boxes of the file at path. False when it cannot be opened.
    bool Open(const QString &path, qint64 *budget);
    const QVector<tagMP4BOXREF> &Boxes() const { return m_boxes; }
    // The first cap bytes of the box's payload (all of it when shorter; a longer one sets
    // TooLarge()); empty when they cannot be read or the budget does not hold them.
    QByteArray Read(const tagMP4BOXREF &box, qint64 cap);
    bool TooLarge() const { return m_tooLarge; }

private:
    // The header at pos within [pos, end) into *box; false when there is none.
    bool Header(qint64 pos, qint64 end, bool inMoov, tagMP4BOXREF *box, qint64 *boxEnd);

    QFile m_file;
    qint64 m_size = 0;
    qint64 *m_budget = nullptr;
    int m_count = 0;
    bool m_tooLarge = false;
    QVector<tagMP4BOXREF> m_boxes;
};
