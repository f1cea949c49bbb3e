// Frame start times and the frame at a moment.
#include "base/frametime.h"

int64_t FrameStartMs(int64_t startMs, int64_t frameTime, int64_t frame)
{
    // (frame x frameTime) / 10000 without forming the product, which a long clip with a long
    // frame time could overflow; quotient and remainder carry the sign of frameTime, so the
    // truncation is the same.
    const int64_t q = frameTime / 10000;
    const int64_t r = frameTime % 10000;
    return startMs + frame * q + (frame * r) / 10000;
}

int64_t FrameAtMs(int64_t offsetMs, int64_t frameTime)
{
    if (offsetMs <= 0 || frameTime <= 0)
        return 0;
    // The estimate is a few frames off at most (rounding, and FrameStartMs truncates); the steps
    // settle it. No clip has 2^50 frames: that is as far as it goes.
    constexpr int64_t kFarthest = int64_t(1) << 50;
    const double estimate = static_cast<double>(offsetMs) * 10000.0 / static_cast<double>(frameTime);
    if (!(estimate < static_cast<double>(kFarthest)))
        return kFarthest;
    int64_t f = static_cast<int64_t>(estimate);
    while (f > 0 && FrameStartMs(0, frameTime, f) > offsetMs)
        --f;
    while (FrameStartMs(0, frameTime, f + 1) <= offsetMs)
        ++f;
    return f;
}

int64_t ChannelFrameOfMoment(int64_t frame, int64_t mainDuration, int64_t mainFrames, int64_t channelDuration,
                             int64_t channelFrames, int64_t offsetFrames)
{
    if (frame < 0 || mainDuration <= 0 || mainFrames <= 0 || channelDuration <= 0 || channelFrames <= 0)
        return -1;
    // frame x (mainDuration / mainFrames) / (channelDuration / channelFrames), without rounding
    // either frame time first; the product needs more than 64 bits for long clips.
    __extension__ typedef __int128 wide;
    const wide other = wide(frame) * mainDuration * channelFrames / (wide(mainFrames) * channelDuration);
    const wide shifted = other - offsetFrames;
    return shifted >= 0 && shifted < channelFrames ? static_cast<int64_t>(shifted) : -1;
}
