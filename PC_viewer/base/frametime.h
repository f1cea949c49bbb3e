// Frames and milliseconds: where a frame starts in a clip and which frame is on screen at a
// moment, for frame times in 100-ns units.
#pragma once

#include <cstdint>

// Start of a frame in milliseconds: startMs + (frame x frameTime) / 10000, frameTime in 100-ns
// units (the division truncates).
int64_t FrameStartMs(int64_t startMs, int64_t frameTime, int64_t frame);
// The frame on screen offsetMs after a clip's start: the last frame that starts at or before it
// (FrameStartMs); 0 for an offset before the start or a frame time of 0 or less.
int64_t FrameAtMs(int64_t offsetMs, int64_t frameTime);
// The frame of another channel of a recording whose time span holds the moment of the main
// channel's `frame` (both channels start together, or the other `offsetFrames` of its own frames
// later; below 0, earlier). Each channel's frame time is its duration over its frames (100 ns),
// taken as that exact ratio: a moment on the boundary of two frames belongs to the later one.
// -1 when the channel has no frame there (it is shorter, or has not started) or either channel
// has no frames or no duration.
int64_t ChannelFrameOfMoment(int64_t frame, int64_t mainDuration, int64_t mainFrames, int64_t channelDuration,
                             int64_t channelFrames, int64_t offsetFrames = 0);
