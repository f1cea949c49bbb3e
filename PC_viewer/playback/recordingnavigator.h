// CRecordingNavigator: which recording of the catalogue is open. It opens a recording (falling
// back to the one that played before, or to none, when it cannot be played), closes the current
// one and opens one again after the folder was loaded anew; continuous play opens the next or
// previous recording through it.
//
// Design note
// - A core object without widgets, owned by the playback controller and living on the UI thread.
//   It is the one writer of the controller's current recording; the controller opens and
//   announces what it chose.
// - What the window does around an open is asked for with signals, connected in one place (the
//   composition root): the progress window, the message for a clip that cannot be played, the
//   list's rows, and the map and graph that follow an opened recording. Emitted synchronously, in
//   the order of the open sequence, so a slot sees the controller as the step left it.
// - Its own positions (Reopen, OpenAt) are published in its own name, so that every view follows.
#pragma once

#include <QObject>
#include <QString>

class CPlaybackController;

class CRecordingNavigator : public QObject
{
    Q_OBJECT
public:
    explicit CRecordingNavigator(CPlaybackController *controller, QObject *parent = nullptr);

    // Makes recording `index` current and opens it. A recording that cannot be played is
    // reported (Unplayable) and the one that played before comes back, or none. True when
    // `index` itself became current.
    bool Open(int index);
    // No recording is current; the sessions are left empty.
    void CloseCurrent(bool showProgress = false);
    // Opens the recording of that media path again at `position` (after the folder was loaded
    // again); false when it is gone or does not open.
    bool Reopen(const QString &mediaPath, qint64 position);
    // Recording `index` at the frame on screen offsetMs after its start (FrameAtMs, within its
    // frames), told to every view in the navigator's name: opened first unless it is current.
    // False when it does not open.
    bool OpenAt(int index, qint64 offsetMs);

signals:
    // The progress window of an open: shown, moved (0 to 100), hidden.
    void ProgressShown();
    void ProgressMoved(int percent);
    void ProgressHidden();
    // The recording just tried cannot be played ("This media file is unable to play.").
    void Unplayable();
    // The current recording moved from row `before` to row `after` (-1: none).
    void CurrentRowMoved(int before, int after);
    // Recording `row` is open and published on frame 0: the map and the graph follow it.
    void Opened(int row);
    // After a failed open nothing is current any more.
    void NoneOpened();

private:
    CPlaybackController *m_controller;
};
