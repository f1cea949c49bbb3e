// Choosing the sound device.
#include "audiooutput.h"

#include "qtaudiooutput.h"

#include <cmath>
#include <mutex>

namespace {
std::mutex g_factoryMutex;
CAudioOutput::Factory g_factory;
} // namespace

std::unique_ptr<CAudioOutput> CAudioOutput::Create()
{
    {
        std::lock_guard<std::mutex> lock(g_factoryMutex);
        if (g_factory)
            return g_factory();
    }
    if (!CQtAudioOutput::DeviceAvailable())
        return nullptr;
    return std::make_unique<CQtAudioOutput>();
}

void CAudioOutput::SetFactory(Factory factory)
{
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    g_factory = std::move(factory);
}

double CAudioOutput::GainOfVolume(long lVolume)
{
    if (lVolume <= -10000)
        return 0.0;
    if (lVolume >= 0)
        return 1.0;
    return std::pow(10.0, static_cast<double>(lVolume) / 2000.0);
}
