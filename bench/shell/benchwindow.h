// What the window benchmarks share: the process set-up, the 1080p clip they play and opening it in
// a main frame the way the list does.
#pragma once

#include <QString>

class CCompositionRoot;
class QTemporaryDir;

// Before the QApplication: the offscreen platform unless another is asked for, settings in the
// temporary `home`, and the browser's flags and graphics as the viewer sets them.
void PrepareBenchProcess(const QTemporaryDir &home);

// A 1920x1080 H.264 clip of `seconds` at 30 pictures a second, made with ffmpeg in `work`/card;
// empty (and a message naming `tool`) when ffmpeg failed.
QString MakeBenchClip(const QTemporaryDir &work, int seconds, const char *tool);

// Loads the clip's folder into the viewer and opens the clip from its list; false (with a
// message) when it does not open.
bool OpenInFrame(CCompositionRoot &viewer, const QString &clip, const char *tool);
