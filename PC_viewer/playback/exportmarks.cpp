// The export marks.
#include "playback/exportmarks.h"

#include <QtGlobal>

bool CExportMarks::MarkHere(tagEXPORTMARK *mark, int recording, int64_t position, int64_t frameCount)
{
    if (recording < 0)
        return false;
    // The position can stand one past the last picture (End): the mark is the last picture.
    const int64_t last = qMax<int64_t>(0, frameCount - 1);
    mark->nRecording = recording;
    mark->llFrame = qBound<int64_t>(0, position, last);
    emit Changed();
    return true;
}

bool CExportMarks::MarkStart(int recording, int64_t position, int64_t frameCount)
{
    return MarkHere(&m_start, recording, position, frameCount);
}

bool CExportMarks::MarkEnd(int recording, int64_t position, int64_t frameCount)
{
    return MarkHere(&m_end, recording, position, frameCount);
}

void CExportMarks::Clear()
{
    m_start = tagEXPORTMARK();
    m_end = tagEXPORTMARK();
    emit Changed();
}
