// A clip in which a checkered box moves across colour bars, and where the box is at each frame.
#pragma once

#include "playback/clipfactory.h"

#include <QRect>

namespace moving {

constexpr int kFrames = 75;
constexpr QSize kPicture(320, 240);

// 3 s at 25 pictures a second, a key picture every 25; the 40x40 box goes 3 pixels right and 1
// down each frame.
inline QString Clip()
{
    return clips::Make(QStringLiteral("moving-box.mp4"),
                       {"-f", "lavfi", "-i", "smptebars=s=320x240:r=25:d=3", "-f", "lavfi", "-i",
                        "color=c=black:s=40x40:r=25:d=3,format=yuv420p,"
                        "geq=lum='if(mod(floor(X/5)+floor(Y/5),2),235,16)':cb=128:cr=128",
                        "-filter_complex", "[0][1]overlay=x='20+3*n':y='60+n'", "-c:v", "libx264", "-preset",
                        "ultrafast", "-g", "25", "-bf", "0", "-pix_fmt", "yuv420p"});
}

inline QRect BoxAt(int n)
{
    return QRect(20 + 3 * n, 60 + n, 40, 40);
}

} // namespace moving
