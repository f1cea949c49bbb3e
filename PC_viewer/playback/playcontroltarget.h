// What the play control bar needs from playback. The playback controller implements it; the bar
// holds only this interface, so it can be built and tested without the controller.
#pragma once

#include <cmath>

class IPlayControlTarget {
public:
    virtual ~IPlayControlTarget() = default;

    // Signed play rate: magnitude 1 to 32, negative for reverse.
    virtual double GetRate() const = 0;
    // Stores the rate; does not restart playback.
    virtual void SetRate(double rate) = 0;
    // True while the play state is Running.
    virtual bool IsPlaying() const = 0;
    // Play: start or continue at the current rate.
    virtual void StartPlay() = 0;
    // Pause.
    virtual void PausePlay() = 0;
    // The volume: level 0 (silent) to 1 (full), see
    // VolumeLevelToHundredthsDb.
    virtual void ApplyVolumeLevel(double level) = 0;
};

// Volume of a level 0..1 in hundredths of a decibel, as the audio output takes it:
// trunc(1000 x log10((1 - 1e-10) x level + 1e-10)), so 1 gives 0, 0.5 gives -301 and 0 gives
// -10000 (silence). Levels outside 0..1 are taken as the nearest end rather than producing
// a logarithm of a negative number.
inline int VolumeLevelToHundredthsDb(double level)
{
    constexpr double kFloor = 1e-10;
    const double v = std::isnan(level) ? 0.0 : (level < 0.0 ? 0.0 : (level > 1.0 ? 1.0 : level));
    return static_cast<int>(std::trunc(1000.0 * std::log10((1.0 - kFloor) * v + kFloor)));
}
