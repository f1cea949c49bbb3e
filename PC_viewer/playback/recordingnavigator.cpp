// Opening, closing and reopening recordings.
#include "playback/recordingnavigator.h"

#include "base/frametime.h"
#include "catalogue/corvanadoc.h"
#include "playback/playbackcontroller.h"

#include <algorithm>

CRecordingNavigator::CRecordingNavigator(CPlaybackController *controller, QObject *parent)
    : QObject(parent), m_controller(controller)
{
}

bool CRecordingNavigator::Open(int index)
{
    const CCorvanaDoc *doc = m_controller->Document();
    if (index < 0 || index >= doc->Count())
        return false;
    const int previous = m_controller->CurrentIndex();
    int a = index;
    for (;;) {
        emit ProgressMoved(0);
        emit ProgressShown();
        const int before = m_controller->CurrentIndex();
        m_controller->SetCurrent(a);
        emit CurrentRowMoved(before, a);
        emit ProgressMoved(10);

        if (FAILED(m_controller->OpenCurrent())) {
            emit ProgressHidden();
            emit Unplayable();
            if (previous == -1 || previous == a) {
                m_controller->SetCurrent(-1);
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

void CRecordingNavigator::CloseCurrent(bool showProgress)
{
    m_controller->SetCurrent(-1);
    m_controller->MainSession()->CloseRecording(showProgress);
}

bool CRecordingNavigator::Reopen(const QString &mediaPath, qint64 position)
{
    const CCorvanaDoc *doc = m_controller->Document();
    for (int i = 0; i < doc->Count(); ++i) {
        if (doc->MediaPathAt(i) != mediaPath)
            continue;
        if (!Open(i))
            return false;
        m_controller->Seek(position, this);
        return true;
    }
    return false;
}

bool CRecordingNavigator::OpenAt(int index, qint64 offsetMs)
{
    if (index < 0 || index >= m_controller->Document()->Count())
        return false;
    if (index != m_controller->CurrentIndex() && !Open(index))
        return false;
    const int64_t frame = FrameAtMs(offsetMs, m_controller->FrameTime());
    // The last picture at most: the end position (one past it) shows no moment of its own.
    m_controller->Seek(std::clamp<int64_t>(frame, 0, std::max<int64_t>(0, m_controller->FrameCount() - 1)), this);
    return true;
}
