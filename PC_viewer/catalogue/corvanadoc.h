// CCorvanaDoc, the viewer's single document: the loaded catalogue of a recording folder (four
// parallel arrays: media paths, data paths, telemetry records, channels) and the day's track
// paired with it. A row is a recording; the clips other makers' cameras record of one moment
// are its channels, and its media path, data path and record are the main channel's.
// The card's notes on moments (momentnotes.h) are read with the folder. What plays and where is
// the playback controller's, not the document's. The views hear two notices: the catalogue was
// loaded anew, and its notes changed.
#pragma once

#include "catalogue/cameranames.h"
#include "catalogue/datafileinfo.h"
#include "catalogue/gpxtrack.h"
#include "catalogue/momentnotes.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <functional>

class CCorvanaDoc : public QObject
{
    Q_OBJECT
public:
    using ProgressCallback = std::function<void(int percent)>;

    explicit CCorvanaDoc(QObject *parent = nullptr);

    void SetFolder(const QString &folder) { m_folder = folder; }
    QString Folder() const { return m_folder; }

    // Rebuilds the catalogue from the stored folder and its subfolders; reports progress 10..70.
    void LoadFolder(const ProgressCallback &progress = ProgressCallback());

    int Count() const { return static_cast<int>(m_records.size()); }
    tagDATAFILEINFO RecordAt(int index) const;
    // The stored record itself, for views that only read (no copy of the arrays).
    const tagDATAFILEINFO &RecordRef(int index) const;
    QString MediaPathAt(int index) const;
    // The recording's data file, or the log beside the clip that gave its telemetry; "" for none.
    QString DataPathAt(int index) const;
    // Every file beside the clip that gave the recording's telemetry: the data path and, for a
    // log whose G-sensor lies in a file of its own (BlackVue's .gps and .3gf), that file too.
    QStringList DataFilesAt(int index) const;
    // The recording's channels, the main one first (one front channel for a clip of its own).
    tagRECORDINGCLIPS ClipsAt(int index) const;
    // Keeps a camera's offset (its frames after the main camera's) for this card; every
    // recording's channel of that name takes it.
    void SetChannelOffset(const QString &channel, int frames);

    // The loaded card's notes on moments (read with the folder).
    const CMomentNotes &Notes() const { return m_notes; }
    // The clip path the notes name recording `index` by.
    QString NoteClipAt(int index) const { return m_notes.ClipOf(MediaPathAt(index)); }
    // Keeps (or, with an empty text, removes) a note and tells NotesChanged; see CMomentNotes::Set.
    bool SetNote(const tagMOMENTNOTE &note, QString *why);

    void Swap(int i, int j);
    // Mode 1 newest first, mode 2 oldest first; recordings without a usable time go last.
    void Sort(int mode);

    // The data file paired with a clip (found whatever the case of "data" and of the name), or ""
    // when it has none.
    static QString DataFileOfClip(const QString &clipPath);
    // One clip's record as a load of its folder gives it: its data file, else a log beside it,
    // else a track inside it, else the points of `track` (a day's track) in its time.
    static tagDATAFILEINFO RecordOfClip(const QString &clipPath, const QVector<tagGPXPOINT> &track = {});
    // The channels of the recording any of whose clips `clipPath` is, found beside it (and in
    // the folders of the other cameras for makers that keep one folder per camera).
    static tagRECORDINGCLIPS RecordingOfClip(const QString &clipPath);

    // A day's GPS track (GPX) that loads pair with every recording that has no telemetry of its
    // own, by time. False, with *error, when the file gives no point with a time; the track
    // set before stays. An empty path removes the track. Takes effect at the next load.
    bool SetTrackFile(const QString &path, QString *error = nullptr);
    QString TrackFile() const { return m_trackPath; }
    static bool ReadTrackFile(const QString &path, QVector<tagGPXPOINT> *points, QString *error);

    // GPX export of recording `index`'s fixes; 1 on success, 0 on failure.
    int ExportGpx(int index, const QString &outputPath) const;

    // The catalogue was loaded anew (rows, records and paths all replaced).
    void NotifyCatalogueReset() { emit CatalogueReset(); }

signals:
    void CatalogueReset();
    // A note was kept or removed.
    void NotesChanged();

private:
    CDataFileInfo m_reader;
    QStringList m_mediaPaths;
    QStringList m_dataPaths;
    QStringList m_moreDataPaths;
    QVector<tagDATAFILEINFO> m_records;
    QVector<tagRECORDINGCLIPS> m_clips;
    QString m_trackPath;
    QVector<tagGPXPOINT> m_trackPoints;
    QString m_folder;
    QHash<QString, int> m_offsets; // the card's camera offsets, by channel
    CMomentNotes m_notes;
};
