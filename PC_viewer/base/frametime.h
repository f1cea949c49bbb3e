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
