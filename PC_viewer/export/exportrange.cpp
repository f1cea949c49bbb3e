// The export marks and the range they make.
#include "export/exportrange.h"

#include "catalogue/corvanadoc.h"

const char kMsgMarkExportStart[] = "Mark the start of the export first (Mark export start).";
const char kMsgExportEndBeforeStart[] = "The export end lies before its start.";

namespace {

tagEXPORTMARK Mark(int recording, int64_t position, int64_t last)
{
    tagEXPORTMARK m;
    m.nRecording = recording;
    m.llFrame = qBound<int64_t>(0, position, last);
    return m;
}

} // namespace

CExportMarks::CExportMarks(const CCorvanaDoc *doc, QObject *parent) : QObject(parent), m_doc(doc)
{
    // Catalogue indexes mean nothing after the folder is read again.
    connect(doc, &CCorvanaDoc::CatalogueReset, this, &CExportMarks::Clear);
}

bool CExportMarks::MarkHere(tagEXPORTMARK *mark)
{
    if (m_doc->CurrentIndex() < 0)
        return false;
    // The position can stand one past the last picture (End): the mark is the last picture.
    const int64_t last = qMax<int64_t>(0, m_doc->LastPosition() - 1);
    *mark = Mark(m_doc->CurrentIndex(), m_doc->CurrentPosition(), last);
    emit Changed();
    return true;
}

bool CExportMarks::MarkStart()
{
    return MarkHere(&m_start);
}

bool CExportMarks::MarkEnd()
{
    return MarkHere(&m_end);
}

void CExportMarks::Clear()
{
    m_start = tagEXPORTMARK();
    m_end = tagEXPORTMARK();
    emit Changed();
}

bool CExportMarks::Range(QVector<tagEXPORTCLIP> *clips, QString *why) const
{
    clips->clear();
    if (!m_start.IsSet() || m_start.nRecording >= m_doc->Count()) {
        *why = QLatin1String(kMsgMarkExportStart);
        return false;
    }
    tagEXPORTMARK end = m_end;
    if (!end.IsSet()) {
        end.nRecording = m_start.nRecording;
        end.llFrame = -1;
    }
    if (end.nRecording >= m_doc->Count() || end.nRecording < m_start.nRecording ||
        (end.nRecording == m_start.nRecording && m_end.IsSet() && end.llFrame < m_start.llFrame)) {
        *why = QLatin1String(kMsgExportEndBeforeStart);
        return false;
    }
    for (int i = m_start.nRecording; i <= end.nRecording; ++i) {
        tagEXPORTCLIP c;
        c.strPath = m_doc->MediaPathAt(i);
        c.strDataPath = m_doc->DataPathAt(i);
        c.record = m_doc->RecordAt(i);
        clips->append(c);
    }
    clips->first().llFrom = m_start.llFrame;
    clips->last().llTo = end.llFrame;
    return true;
}
