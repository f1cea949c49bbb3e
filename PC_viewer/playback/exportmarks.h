// The export marks of the viewer: where a stretch to export starts and ends, as frame positions
// in recordings of the catalogue. The export builds the range of recordings they cover
// (ExportRange, export/exportrange.h).
#pragma once

#include <QObject>

#include <cstdint>

struct tagEXPORTMARK {
    int nRecording = -1; // catalogue index; -1: not set
    int64_t llFrame = -1;
    bool IsSet() const { return nRecording >= 0 && llFrame >= 0; }
};

class CExportMarks : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // At recording `recording`, position `position` of a clip of `frameCount` frames; false
    // without a recording (-1).
    bool MarkStart(int recording, int64_t position, int64_t frameCount);
    bool MarkEnd(int recording, int64_t position, int64_t frameCount);
    void Clear();
    const tagEXPORTMARK &Start() const { return m_start; }
    const tagEXPORTMARK &End() const { return m_end; }

signals:
    void Changed();

private:
    bool MarkHere(tagEXPORTMARK *mark, int recording, int64_t position, int64_t frameCount);

    tagEXPORTMARK m_start, m_end;
};
