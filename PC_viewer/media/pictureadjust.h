// Picture adjustments for reading details: brightness, contrast and gamma with the meaning of
// FFmpeg's `eq` filter (applied to the luma of the picture, the colours kept), and an unsharp-mask
// sharpening; and enlarging a part of a picture with bicubic interpolation. On screen, in saved
// views and on the CLI alike; the recordings themselves never change.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

// The values, as `eq` takes them: brightness -1 to 1 (added to the luma, 0 none), contrast -1000
// to 1000 (around the middle grey, 1 none), gamma 0.1 to 10 (1 none); sharpen 0 to 5 (the unsharp
// mask's amount, 0 none).
struct tagPICTUREADJUST {
    double dBrightness = 0.0;
    double dContrast = 1.0;
    double dGamma = 1.0;
    double dSharpen = 0.0;

    bool IsNeutral() const { return dBrightness == 0.0 && dContrast == 1.0 && dGamma == 1.0 && dSharpen == 0.0; }
    bool operator==(const tagPICTUREADJUST &o) const
    {
        return dBrightness == o.dBrightness && dContrast == o.dContrast && dGamma == o.dGamma &&
               dSharpen == o.dSharpen;
    }
    bool operator!=(const tagPICTUREADJUST &o) const { return !(*this == o); }
};

inline constexpr double kBrightnessMin = -1.0, kBrightnessMax = 1.0;
inline constexpr double kContrastMin = -1000.0, kContrastMax = 1000.0;
inline constexpr double kGammaMin = 0.1, kGammaMax = 10.0;
inline constexpr double kSharpenMin = 0.0, kSharpenMax = 5.0;

// "brightness=B,contrast=C,gamma=G[,sharpen=S]": any of the names, in any order, each once; the
// others keep their neutral value. False with the reason in *why for an unknown name, a value that
// is no number or lies outside its range.
bool ParsePictureAdjust(const QString &text, tagPICTUREADJUST *adjust, QString *why);
// "brightness +0.20, contrast 1.30, gamma 0.80, sharpen 1.00": the values that are set, in that
// order; empty when neutral.
QString PictureAdjustText(const tagPICTUREADJUST &adjust);

// The picture with the adjustments applied (RGB32; the same picture when they are neutral).
QImage AdjustPicture(const QImage &image, const tagPICTUREADJUST &adjust);

// `region` of the picture (clipped to it) enlarged to `size` with bicubic interpolation (the
// region alone at its own size when `size` is empty). Null on failure or an empty region.
QImage ScaleRegionBicubic(const QImage &image, const QRect &region, const QSize &size);
