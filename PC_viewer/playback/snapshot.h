// Stills of the video: the single view's frame or the grid's marked panes written as JPEG files
// named "<folder>/<base>_<frame>.jpg", and the messages the viewer shows about them. The main
// frame, the image viewer and pellister-cli all save through here.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>

class CPlaybackController;
class CPlaybackSession;

inline constexpr char kSnapshotNoContent[] = "The loading content does not exist.";
inline constexpr char kSnapshotNoSelection[] = "The selected file does not exist.";
inline constexpr char kSnapshotSaved[] = "Success to save the image.";
inline constexpr char kSnapshotSaveError[] = "An error occured during saving the image.";
inline constexpr char kSnapshotViewerError[] = "An error occured in launching the image viewer.";
inline constexpr char kSnapshotFolderTitle[] = "Set the folder to save the image.";

// A picture taken from a view or pane: the image at the video's native size and its frame.
struct tagCAPTURE {
    QImage image;
    int64_t frame = -1;
    bool IsValid() const { return !image.isNull() && frame >= 0; }
};

// The clip's name after its last path separator and before its last dot ("a.b.avi" gives
// "a.b"; a name without a dot gives an empty base).
QString SnapshotBaseName(const QString &mediaPath);
QString SnapshotFilePath(const QString &folder, const QString &base, int64_t frame);
// "<folder>/<base>_<frame>_view.jpg": the zoomed or adjusted view saved beside the frame.
QString SnapshotViewFilePath(const QString &folder, const QString &base, int64_t frame);

// Writes the JPEG beside the target and renames it into place: a failed write (full disk,
// read-only folder, card pulled) leaves no cut file and the earlier one, if any, whole; a new
// save of the same frame replaces the earlier file. False on any failure.
bool WriteJpegFile(const QImage &image, const QString &path);

// The picture the single view (pane -1) or grid pane `pane` shows, with its frame; invalid when
// it shows none.
tagCAPTURE CaptureOf(const CPlaybackSession &session, int pane);

// The picture "View original image" shows for the single view (-1) or a pane: empty message and
// the capture in *capture, or the message for the user ("The loading content does not exist." for
// a view without a clip, "An error occured in launching the image viewer." without a picture).
QString CaptureForViewer(const CPlaybackSession &session, int pane, tagCAPTURE *capture);

// What the pictures to save are: the single view's, or every marked pane's in row order (an
// invalid capture for a pane without a picture).
QList<tagCAPTURE> SnapshotCaptures(const CPlaybackSession &session);

// Checked before the folder is asked for: no recording, or a grid without a marked pane. Empty
// when the snapshot may go on.
QString SnapshotPrecheck(const CPlaybackController &playback);

// Pauses playback and writes the pictures into `folder`; returns the message for the user.
// Every capture is written that can be; a capture without a picture gives "The selected file
// does not exist.", a file that could not be written "An error occured during saving the image."
// The paths written go to `written`. While the picture is zoomed or adjusted, each picture of the
// main camera gets a second file, its view (SnapshotViewFilePath).
QString SaveSnapshots(CPlaybackController &playback, const QString &folder, QStringList *written = nullptr);
