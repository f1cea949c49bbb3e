// Notes on moments of a card's recordings: a short line of text a driver writes while watching
// ("here the lorry pulls out"), kept for the recording and frame it was written at.
//
// Where they are kept. In the file kMomentNotesFileName in the loaded card folder, beside the
// recordings, so that the notes travel with the card. The file is written beside itself and
// renamed into place, so a failed write leaves the file before it whole. A card that cannot take
// the file (read-only, or the name is taken by something that is not a file) keeps its notes in
// this computer's settings, under the card's folder: from the first save that could not reach the
// file, the settings hold the card's whole set and are read before it (a note the file holds at
// another moment is kept as well), until a save reaches the file again (it then holds the whole
// set and the settings forget the card).
//
// A damaged file (no JSON, a note that breaks the rules below, more than kMaxMomentNotesFileBytes)
// is never written over: Problem() names it and why, and the card's notes go to the settings as
// for a read-only card. The user may mend or remove the file; the next load reads it again, and
// the next save writes the whole set into it.
//
// The file: a JSON object {"version": 1, "notes": [...]}, each note an object with
//   clip       the clip's path relative to the card folder, '/' between folders
//   frame      the frame (position) of the clip the note was written at, 0 or more
//   offset_ms  that frame's start after the clip's start, in milliseconds
//   time       the moment's time as ISO 8601: UTC ending in "Z" where the recording tells UTC,
//              else the camera's own clock without a zone; null where the recording has no clock
//   text       1 to kMaxMomentNoteLength characters, one line
// No two notes share a clip and frame; at most kMaxMomentNotes notes.
#pragma once

#include "catalogue/recordinfo.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>

inline constexpr char kMomentNotesFileName[] = "pellister-notes.json";
inline constexpr int kMaxMomentNoteLength = 200;
inline constexpr int kMaxMomentNotes = 2000;
// Room for kMaxMomentNotes notes of the longest text in any script, with their fields.
inline constexpr qint64 kMaxMomentNotesFileBytes = 2 * 1024 * 1024;

struct tagMOMENTNOTE {
    QString strClip; // relative to the card folder, '/' separators
    int64_t llFrame = 0;
    int64_t llOffsetMs = 0;
    QString strTime; // ISO 8601 (see above); empty when the recording has no clock
    QString strText;
};

// The moment's time of frame `frame` of a recording: its sync time plus the frame's start (as the
// report and the export count it), as UTC ("2013-05-11T23:30:01.200Z") where the record tells its
// offset from UTC, else as the camera's clock ("2013-05-12T08:30:01.200"); "" without a clock.
QString MomentTimeText(const tagDATAFILEINFO &rec, int64_t frame, int64_t frameTime);

// The text as a note keeps it: line breaks and other control characters become spaces, spaces
// at either end go.
QString MomentNoteText(const QString &text);

// The notes file's bytes, and the reading of them; false with the reason in *why when the bytes
// are no notes file by the rules above.
QByteArray MomentNotesJson(const QVector<tagMOMENTNOTE> &notes);
bool ParseMomentNotes(const QByteArray &json, QVector<tagMOMENTNOTE> *notes, QString *why);

class CMomentNotes
{
public:
    enum class Place { None, File, Settings };

    // Reads the notes of the card in `cardFolder` (an empty folder: none).
    void Load(const QString &cardFolder);
    QString CardFolder() const { return m_folder; }
    // The notes file of the card.
    QString FilePath() const;
    // Where the notes are kept now: nowhere yet, in the file, or in the settings.
    Place Where() const { return m_place; }
    // Why the card's file is not used ("" when it is, or there is none): the message names it.
    QString Problem() const { return m_problem; }
    // Why the last save did not reach the file ("" when it did).
    QString FileWriteError() const { return m_writeError; }

    // Sorted by clip, then frame.
    const QVector<tagMOMENTNOTE> &Notes() const { return m_notes; }
    QVector<tagMOMENTNOTE> NotesOfClip(const QString &clip) const;
    const tagMOMENTNOTE *Find(const QString &clip, int64_t frame) const;
    // The clip path a note of the card names for a media path (relative to the card folder; a
    // clip outside it by its name alone).
    QString ClipOf(const QString &mediaPath) const;

    // Keeps the note (its text made one line by MomentNoteText), replacing the one at its clip
    // and frame; an empty text removes that one. Saved at once, in the file where it can be
    // written, else in the settings. False, and nothing changed, for a text that is too long, a
    // card that holds kMaxMomentNotes notes already, or settings that cannot be written (*why).
    bool Set(tagMOMENTNOTE note, QString *why);

private:
    bool Save(QString *why);

    QString m_folder;
    QVector<tagMOMENTNOTE> m_notes;
    Place m_place = Place::None;
    QString m_problem;
    QString m_writeError;
};
