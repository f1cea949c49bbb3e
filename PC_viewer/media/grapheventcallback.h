// The interface through which a media graph hands its events to the view that owns it.
#pragma once

#include <cstdint>

// Event codes posted by CMediaGraph; the values are the platform media framework's.
constexpr long EC_COMPLETE = 1;   // a running clip reached its end
constexpr long EC_USERABORT = 2;  // playback was abandoned (the clip vanished or failed mid-run)
constexpr long EC_OLE_EVENT = 24; // a new picture is ready: repaint the video area

class GraphEventCallback
{
public:
    virtual ~GraphEventCallback() = default;
    // Receives one event, code and parameters unchanged, on the owner's (UI) thread.
    virtual void NotifyGraphEvent(long lEventCode, intptr_t lParam1, intptr_t lParam2) = 0;
};
