// How a clip's pictures are turned for display: phones and cameras mounted upside down store
// their pictures as the sensor saw them and say in a display matrix how to show them.
#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>

// One of the eight ways to lay a picture on the screen: first mirrored left to right (when
// bMirror), then turned clockwise by nRotation degrees (0, 90, 180 or 270).
struct tagVIDEOORIENTATION {
    int nRotation = 0;
    bool bMirror = false;

    bool IsIdentity() const { return nRotation == 0 && !bMirror; }
    bool SwapsSides() const { return nRotation == 90 || nRotation == 270; }
    bool operator==(const tagVIDEOORIENTATION &o) const
    {
        return nRotation == o.nRotation && bMirror == o.bMirror;
    }
};

// The orientation a display matrix (nine 32-bit numbers, as FFmpeg keeps them) asks for. Angles
// that are not a multiple of 90 degrees go to the nearest one; a null or degenerate matrix is the
// identity.
tagVIDEOORIENTATION OrientationOfMatrix(const int32_t *pMatrix);

// The size a picture of `stored` size has on screen.
QSize OrientedSize(const QSize &stored, const tagVIDEOORIENTATION &orientation);
// The picture laid as it is shown. Exact: pixels are moved, never resampled.
QImage ApplyOrientation(const QImage &image, const tagVIDEOORIENTATION &orientation);
