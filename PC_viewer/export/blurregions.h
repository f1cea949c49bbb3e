// Regions of an export blurred for sharing: each a rectangle in the first clip's pixels (as shown),
// either standing still through the whole range or following what it covers. A followed region
// has key frames, where the user put it exactly; between and around them the tracker fills in
// (regiontracker.h), corrected so that it meets every key frame exactly.
//
// Frames of a region count places in the export range: 0 is the range's first picture (frame
// llFrom of the first clip), and they go on through the next clips.
#pragma once

#include <QMap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

#include <cstdint>

struct tagBLURREGION {
    bool bFollow = false;
    // Range frame -> rectangle; a still region has one entry, whose frame does not matter.
    QMap<int64_t, QRect> keys;

    // The rectangle the user gave nearest before frame n (the first one for frames before it).
    QRect KeyRectAt(int64_t n) const;
    // Sets the rectangle at frame n: a new key frame for a followed region, the one rectangle of a
    // still one.
    void SetRect(int64_t n, const QRect &rect);
};

// "X,Y,W,H" (still) or "X,Y,W,H@F" (followed from frame F of the first clip); F is kept as
// given in *frame (-1 without). False with *why for text that is not that.
bool ParseBlurRegion(const QString &text, QRect *rect, int64_t *frame, QString *why);
// "X,Y,W,H" / "X,Y,W,H@F" of a region at range frame n, given the first clip's first frame.
QString BlurRegionText(const QRect &rect, int64_t frame);

// Every region inside the picture with a positive width and height, and every key frame inside a
// range of `frames` pictures; false with *why naming the first that is not.
bool CheckBlurRegions(const QVector<tagBLURREGION> &regions, const QSize &picture, int64_t frames, QString *why);

// Where a rectangle of picture coordinates lands in an area of another size (the picture drawn
// at `area`), rounded outwards so that nothing it covers is left out.
QRect MapRect(const QRect &rect, const QSize &picture, const QRect &area);

// Linear blend of two rectangles: a at t = 0, b at t = 1.
QRect BlendRect(const QRect &a, const QRect &b, double t);

// Side of the blocks a region is pixelated with: a sixth of its longer side, at least
// kMinBlurBlock pixels, even (the colour planes are half size).
constexpr int kMinBlurBlock = 8;
int BlurBlockSize(const QRect &rect);

// Pixelates `rect` (clipped to the picture) of a YUV 4:2:0 picture of `size`: every block of the
// grid becomes its mean, brightness and colour, which no sharpening can take back. The grid
// starts at the rectangle's even-rounded corner.
void PixelateYuv420(uint8_t *const planes[3], const int strides[3], const QSize &size, const QRect &rect);
