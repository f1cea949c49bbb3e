// Display matrices to one of the eight picture orientations, and applying them.
#include "videoorientation.h"

extern "C" {
#include <libavutil/display.h>
}

#include <QTransform>

#include <cmath>

namespace {

// The 2x2 part of the matrix each orientation makes, on a y-down picture, the way FFmpeg applies
// its display matrix: a point (x, y) goes to (a*x + c*y, b*x + d*y), with a, b, c, d the entries
// 0, 1, 3 and 4.
struct tagLINEAR {
    int a, b, c, d;
};

tagLINEAR LinearOf(const tagVIDEOORIENTATION &o)
{
    // Mirror: x -> -x. Then each clockwise quarter turn on screen: (x, y) -> (-y, x).
    tagLINEAR m{o.bMirror ? -1 : 1, 0, 0, 1};
    for (int turn = 0; turn < o.nRotation / 90; ++turn)
        m = tagLINEAR{-m.b, m.a, -m.d, m.c};
    return m;
}

} // namespace

tagVIDEOORIENTATION OrientationOfMatrix(const int32_t *pMatrix)
{
    if (!pMatrix)
        return {};
    // Entries are 16.16 fixed point; only their direction matters. The orientation whose matrix
    // lies closest wins, so an angle between right angles goes to the nearest one.
    const double a = pMatrix[0], b = pMatrix[1], c = pMatrix[3], d = pMatrix[4];
    if (std::hypot(a, b) <= 0.0 || std::hypot(c, d) <= 0.0)
        return {};
    tagVIDEOORIENTATION best;
    double dBest = -1e300;
    for (int nMirror = 0; nMirror < 2; ++nMirror) {
        for (int nRotation = 0; nRotation < 360; nRotation += 90) {
            const tagVIDEOORIENTATION o{nRotation, nMirror != 0};
            const tagLINEAR m = LinearOf(o);
            const double dScore = m.a * a + m.b * b + m.c * c + m.d * d;
            if (dScore > dBest + 1e-9) {
                dBest = dScore;
                best = o;
            }
        }
    }
    return best;
}

QSize OrientedSize(const QSize &stored, const tagVIDEOORIENTATION &orientation)
{
    return orientation.SwapsSides() ? stored.transposed() : stored;
}

QImage ApplyOrientation(const QImage &image, const tagVIDEOORIENTATION &orientation)
{
    if (image.isNull() || orientation.IsIdentity())
        return image;
    QImage result = orientation.bMirror ? image.mirrored(true, false) : image;
    if (orientation.nRotation != 0) {
        // Right-angle turns move whole pixels (QImage takes its exact path for them).
        result = result.transformed(QTransform().rotate(orientation.nRotation), Qt::FastTransformation);
    }
    return result;
}
