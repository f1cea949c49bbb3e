// CCorvanaDoc, the viewer's single document: the loaded catalogue of a recording folder (three
// parallel arrays: media paths, data paths, telemetry records), the current recording and the
// play values every view shares. Views are told what changed through typed signals: a new
// position (with its sender), a catalogue loaded anew, another current recording.
#pragma once

#include "catalogue/datafileinfo.h"
#include "catalogue/gpxtrack.h"

#include <QObject>
#include <QStringList>

#include <functional>

// Path of the map page below the vendor web server's root.
extern const char kMapPagePath[];

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
    tagDATAFILEINFO CurrentRecord() const;
    tagDATAFILEINFO RecordAt(int index) const;
    // The stored record itself, for views that only read (no copy of the arrays).
    const tagDATAFILEINFO &RecordRef(int index) const;
    QString MediaPathAt(int index) const;
    // The recording's data file, or the log beside the clip that gave its telemetry; "" for none.
    QString DataPathAt(int index) const;

    void Swap(int i, int j);
    // Mode 1 newest first, mode 2 oldest first; recordings without a usable time go last.
    void Sort(int mode);

    // The data file paired with a clip (found whatever the case of "data" and of the name), or ""
    // when it has none.
    static QString DataFileOfClip(const QString &clipPath);
    // One clip's record as a load of its folder gives it: its data file, else a log beside it,
    // else a track inside it, else the points of `track` (a day's track) in its time.
    static tagDATAFILEINFO RecordOfClip(const QString &clipPath, const QVector<tagGPXPOINT> &track = {});

    // A day's GPS track (GPX) that loads pair with every recording that has no telemetry of its
    // own, by time. False, with *error, when the file gives no point with a time; the track
    // set before stays. An empty path removes the track. Takes effect at the next load.
    bool SetTrackFile(const QString &path, QString *error = nullptr);
    QString TrackFile() const { return m_trackPath; }
    static bool ReadTrackFile(const QString &path, QVector<tagGPXPOINT> *points, QString *error);

    // GPX export of the current recording's fixes; 1 on success, 0 on failure.
    int ExportGpx(const QString &outputPath) const;

    int CurrentIndex() const { return m_currentIndex; }
    void SetCurrentIndex(int index)
    {
        if (index == m_currentIndex)
            return;
        m_currentIndex = index;
        emit CurrentRecordingChanged(index);
    }
    QString CurrentMediaPath() const { return m_currentMediaPath; }
    void SetCurrentMediaPath(const QString &path) { m_currentMediaPath = path; }
    qint64 CurrentPosition() const { return m_currentPosition; }
    void SetCurrentPosition(qint64 frame) { m_currentPosition = frame; }
    qint64 LastPosition() const { return m_lastPosition; }
    void SetLastPosition(qint64 frames) { m_lastPosition = frames; }
    qint64 Duration() const { return m_duration; }
    void SetDuration(qint64 duration100ns) { m_duration = duration100ns; }
    qint64 FrameTime() const { return m_frameTime; }
    void SetFrameTime(qint64 frameTime100ns) { m_frameTime = frameTime100ns; }
    int PlayingFlag() const { return m_playing; }
    void SetPlayingFlag(int playing) { m_playing = playing; }
    QString MapPage() const { return m_mapPage; }
    void SetMapPage(const QString &url) { m_mapPage = url; }
    int MapPositionOn() const { return m_mapPositionOn; }
    void SetMapPositionOn(int on) { m_mapPositionOn = on; }

    // The update-all-views broadcast of a new current position: every view hears it; the sender
    // (named) ignores its own.
    void UpdateAllViews(QObject *sender) { emit PositionChanged(sender); }
    // The catalogue was loaded anew (rows, records and paths all replaced).
    void NotifyCatalogueReset() { emit CatalogueReset(); }

signals:
    // The current position moved (or was set again); sender: who moved it.
    void PositionChanged(QObject *sender);
    void CatalogueReset();
    // The current recording is another one (-1: none).
    void CurrentRecordingChanged(int index);

private:
    CDataFileInfo m_reader;
    QStringList m_mediaPaths;
    QStringList m_dataPaths;
    QVector<tagDATAFILEINFO> m_records;
    QString m_trackPath;
    QVector<tagGPXPOINT> m_trackPoints;
    QString m_folder;
    QString m_currentMediaPath;
    int m_currentIndex = -1;
    qint64 m_currentPosition = 0;
    qint64 m_lastPosition = 0;
    qint64 m_duration = 0;
    qint64 m_frameTime = 0;
    int m_playing = 0;
    QString m_mapPage;
    int m_mapPositionOn = 1;
};
