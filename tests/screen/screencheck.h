// What a view really shows, for tests of any view that paints video pictures: the window
// system's copy of a widget (what reached the screen, not what the widget would paint now) and
// ffmpeg's own decode of a clip's pictures to compare it with.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

class QWidget;

namespace screencheck {

// Delivers the repaints waiting in the event queue, and nothing else (no timers, no queued
// signals): afterwards the screen shows what the widgets asked to show so far.
void FlushRepaints();

// The pixels of `area` (widget coordinates; empty: the whole widget) as the window system has
// them: the offscreen platform's backing store, or the X server's window. A widget that changed
// without asking for a repaint still shows its old picture here, where QWidget::grab would paint
// it anew.
QImage GrabShown(const QWidget *widget, QRect area = QRect());

// Every picture of a clip as the ffmpeg command decodes it (turned by its display matrix),
// scaled to `size` with an area filter. Made once per clip and size. Empty when ffmpeg failed.
const std::vector<QImage> &FfmpegFrames(const QString &clip, const QSize &size);

// Peak signal-to-noise ratio of two pictures of one size, in dB (100 for identical pictures,
// 0 for pictures of different sizes).
double Psnr(const QImage &a, const QImage &b);

// Which of ffmpeg's pictures a grabbed picture shows: the index of the best match after scaling
// the grab to the references' size, and its PSNR.
struct tagMATCH {
    int frame = -1;
    double psnr = 0.0;
    double secondPsnr = 0.0; // the best of the other pictures
};
tagMATCH MatchFrame(const QImage &shown, const std::vector<QImage> &references);

} // namespace screencheck
