// Opening, closing and reopening recordings.
#include "playback/recordingnavigator.h"

#include "catalogue/corvanadoc.h"
#include "playback/playbacksession.h"
#include "base/frametime.h"

#include <algorithm>

CRecordingNavigator::CRecordingNavigator(CCorvanaDoc *doc, CPlaybackSession *session, QObject *parent)
    : QObject(parent), m_doc(doc), m_session(session)
{
}

bool CRecordingNavigator::Open(int index)
{
    if (index < 0 || index >= m_doc->Count())
        return false;
    const int previous = m_doc->CurrentIndex();
    int a = index;
    for (;;) {
        emit ProgressMoved(0);
        emit ProgressShown();
        const int before = m_doc->CurrentIndex();
        m_doc->SetCurrentMediaPath(m_doc->MediaPathAt(a));
        m_doc->SetCurrentIndex(a);
        emit CurrentRowMoved(before, a);
        emit ProgressMoved(10);

        if (FAILED(m_session->OpenCurrentRecording())) {
            emit ProgressHidden();
            emit Unplayable();
            if (previous == -1 || previous == a) {
                m_doc->SetCurrentIndex(-1);
                m_doc->SetCurrentMediaPath(QString());
                emit CurrentRowMoved(a, -1);
                emit NoneOpened();
                return false;
            }
            a = previous; // the recording that played before comes back
            continue;
        }

        emit ProgressMoved(40);
        emit Opened(a);
        emit ProgressMoved(100);
        emit ProgressHidden();
        return a == index;
    }
}

void CRecordingNavigator::CloseCurrent()
{
    m_doc->SetCurrentIndex(-1);
    m_session->CloseRecording(false);
}

bool CRecordingNavigator::Reopen(const QString &mediaPath, qint64 position)
{
    for (int i = 0; i < m_doc->Count(); ++i) {
        if (m_doc->MediaPathAt(i) != mediaPath)
            continue;
        if (!Open(i))
            return false;
        m_doc->SetCurrentPosition(position);
        m_doc->UpdateAllViews(this);
        return true;
    }
    return false;
}

bool CRecordingNavigator::OpenAt(int index, qint64 offsetMs)
{
    if (index < 0 || index >= m_doc->Count())
        return false;
    if (index != m_doc->CurrentIndex() && !Open(index))
        return false;
    const int64_t frame = FrameAtMs(offsetMs, m_doc->FrameTime());
    // The last picture at most: the end position (one past it) shows no moment of its own.
    m_doc->SetCurrentPosition(std::clamp<int64_t>(frame, 0, std::max<int64_t>(0, m_doc->LastPosition() - 1)));
    m_doc->UpdateAllViews(this);
    return true;
}
