// The export marks of the viewer: where a stretch to export starts and ends, as frame positions
// in recordings of the catalogue, and the recordings that stretch covers (as continuous play goes
// from one recording to the next of the list).
#pragma once

#include "export/videoexport.h"

#include <QObject>

class CCorvanaDoc;

struct tagEXPORTMARK {
    int nRecording = -1; // catalogue index; -1: not set
    int64_t llFrame = -1;
    bool IsSet() const { return nRecording >= 0 && llFrame >= 0; }
};

// Messages of the export commands.
extern const char kMsgMarkExportStart[];
extern const char kMsgExportEndBeforeStart[];

class CExportMarks : public QObject
{
    Q_OBJECT
public:
    explicit CExportMarks(const CCorvanaDoc *doc, QObject *parent = nullptr);

    // At the document's current recording and position; false without a current recording.
    bool MarkStart();
    bool MarkEnd();
    void Clear();
    const tagEXPORTMARK &Start() const { return m_start; }
    const tagEXPORTMARK &End() const { return m_end; }

    // The recordings from the start mark to the end mark (without an end mark: to the end of the
    // start's recording). False with the message for the user when there is no range.
    bool Range(QVector<tagEXPORTCLIP> *clips, QString *why) const;

signals:
    void Changed();

private:
    bool MarkHere(tagEXPORTMARK *mark);

    const CCorvanaDoc *m_doc;
    tagEXPORTMARK m_start, m_end;
};
