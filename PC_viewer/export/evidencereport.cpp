// The evidence package's report of its first moment.
#include "export/evidencereport.h"

#include "playback/playbackcontroller.h"
#include "playback/snapshot.h"

#include <QFileInfo>

void AddEnhancedView(const CPlaybackController &playback, tagEVIDENCEJOB *job)
{
    const tagPICTUREVIEW &view = playback.PictureView();
    if (!view.IsEnhanced())
        return;
    const tagCAPTURE capture = CaptureOf(*playback.MainSession(), -1);
    const QString clip = QFileInfo(playback.MediaPath()).fileName();
    const QString values = PictureViewText(view, capture.image.size());
    job->strEnhancedView = values;
    if (!capture.IsValid())
        return;
    tagEVIDENCEPICTURE picture;
    picture.strName = QFileInfo(SnapshotViewFilePath(QString(), SnapshotBaseName(playback.MediaPath()), capture.frame)).fileName();
    picture.image = PictureViewImage(capture.image, view);
    picture.strHow = QStringLiteral("enhanced view of %1, frame %2: %3").arg(clip).arg(capture.frame).arg(values);
    job->derivedPictures.append(picture);
}

bool CEvidenceReport::Write(const QString &pdfPath, const tagEVIDENCEFACTS &facts, int recording, int64_t frame,
                            QString *why)
{
    if (m_playback->IsMulti())
        m_playback->SetLayout(0, 1, true);
    if (m_playback->CurrentIndex() != recording && !m_playback->Open(recording)) {
        *why = QStringLiteral("the first recording of the range does not open");
        return false;
    }
    m_playback->Pause();
    // The position comes from the package, as a frame step would put it: every pane follows.
    m_playback->Seek(frame, nullptr);
    if (!m_print || !m_print(pdfPath, facts)) {
        *why = QStringLiteral("the report could not be printed");
        return false;
    }
    return true;
}
