// Snapshot names, the JPEG writer and the snapshot sequence.
#include "playback/snapshot.h"

#include "playback/playbackcontroller.h"
#include "playback/playbackpane.h"
#include "playback/playbacksession.h"

#include <QDir>
#include <QImageWriter>
#include <QSaveFile>

QString SnapshotBaseName(const QString &mediaPath)
{
    const qsizetype slash = std::max(mediaPath.lastIndexOf(QLatin1Char('/')), mediaPath.lastIndexOf(QLatin1Char('\\')));
    const QString name = mediaPath.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.left(dot);
}

QString SnapshotFilePath(const QString &folder, const QString &base, int64_t frame)
{
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    // Concatenated, not formatted: a clip named "trip%2" must not take the frame number into its
    // name ("trip%2" frame 5 is trip%2_5.jpg, never trip5_5.jpg over another clip's picture).
    return path + base + QLatin1Char('_') + QString::number(frame) + QStringLiteral(".jpg");
}

QString SnapshotViewFilePath(const QString &folder, const QString &base, int64_t frame)
{
    QString path = SnapshotFilePath(folder, base, frame);
    path.chop(4);
    return path + QStringLiteral("_view.jpg");
}

bool WriteJpegFile(const QImage &image, const QString &path)
{
    if (image.isNull())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The format follows the ".jpg" name; the encoder's own default quality.
    QImageWriter writer(&file, "jpg");
    // Flushed here, where a failed write is seen: commit() renames a file whose buffered tail
    // could not be written (a full card) into place as if it were whole.
    if (!writer.write(image) || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

tagCAPTURE CaptureOf(const CPlaybackSession &session, int pane)
{
    if (pane < 0)
        return {session.NativeImage(), session.ShownFrame()};
    const CPlaybackPane *shown = session.Pane(pane);
    return shown ? tagCAPTURE{shown->NativeImage(), shown->ShownFrame()} : tagCAPTURE{};
}

QString CaptureForViewer(const CPlaybackSession &session, int pane, tagCAPTURE *capture)
{
    const PlayState state = pane < 0 ? session.GetPlayState()
                            : session.Pane(pane) ? session.Pane(pane)->GetPlayState()
                                                 : PlayState::Paused;
    if (state == PlayState::Empty)
        return QString::fromLatin1(kSnapshotNoContent);
    *capture = CaptureOf(session, pane);
    return capture->IsValid() ? QString() : QString::fromLatin1(kSnapshotViewerError);
}

QList<tagCAPTURE> SnapshotCaptures(const CPlaybackSession &session)
{
    QList<tagCAPTURE> captures;
    if (!session.IsMulti()) {
        captures.append(CaptureOf(session, -1));
        return captures;
    }
    for (int i = 0; i < session.Panes(); ++i)
        if (session.Pane(i)->IsMarked())
            captures.append(CaptureOf(session, i));
    return captures;
}

QString SnapshotPrecheck(const CPlaybackController &playback)
{
    if (playback.CurrentIndex() < 0 && !playback.HasRecording())
        return QString::fromLatin1(kSnapshotNoContent);
    const CPlaybackSession &session = *playback.MainSession();
    if (session.IsMulti()) {
        for (int i = 0; i < session.Panes(); ++i)
            if (session.Pane(i)->IsMarked())
                return QString();
        return QString::fromLatin1(kSnapshotNoSelection);
    }
    return QString();
}

QString SaveSnapshots(CPlaybackController &playback, const QString &folder, QStringList *written)
{
    playback.Pause();
    const CPlaybackSession &session = *playback.MainSession();
    if (!session.IsMulti() && session.GetPlayState() == PlayState::Empty)
        return QString::fromLatin1(kSnapshotNoContent);
    // The main channel's pictures, then in the single view every other channel's picture of the
    // moment, each named after its own clip; a channel without one of the moment has nothing to save.
    QList<QPair<QString, tagCAPTURE>> captures;
    const QList<tagCAPTURE> mainCaptures = SnapshotCaptures(session);
    for (const tagCAPTURE &capture : mainCaptures)
        captures.append({playback.MediaPath(), capture});
    if (!session.IsMulti()) {
        for (int i = 1; i < playback.Channels(); ++i) {
            const tagCAPTURE capture{playback.Session(i)->NativeImage(), playback.ChannelFrame(i)};
            if (capture.IsValid() && !playback.ChannelImage(i).isNull())
                captures.append({playback.Recording().channels.value(i).strMediaPath, capture});
        }
    }
    bool captureFailed = false;
    bool writeFailed = false;
    for (const auto &[clip, capture] : captures) {
        if (!capture.IsValid()) {
            captureFailed = true;
            continue;
        }
        const QString path = SnapshotFilePath(folder, SnapshotBaseName(clip), capture.frame);
        if (!WriteJpegFile(capture.image, path)) {
            writeFailed = true;
            continue;
        }
        if (written)
            written->append(path);
    }
    // A zoomed or adjusted view is saved beside the frame as it is: the part shown at native
    // resolution with the adjustments.
    const tagPICTUREVIEW &view = playback.PictureView();
    for (const tagCAPTURE &capture : mainCaptures) {
        if (!view.IsEnhanced() || !capture.IsValid())
            continue;
        const QString path = SnapshotViewFilePath(folder, SnapshotBaseName(playback.MediaPath()), capture.frame);
        if (!WriteJpegFile(PictureViewImage(capture.image, view), path)) {
            writeFailed = true;
            continue;
        }
        if (written)
            written->append(path);
    }
    if (writeFailed)
        return QString::fromLatin1(kSnapshotSaveError);
    if (captureFailed)
        return QString::fromLatin1(kSnapshotNoSelection);
    return QString::fromLatin1(kSnapshotSaved);
}
