// What the other panes hand on to the play control bar: its volume keys and the sound switch.
// The bar implements it; the G-sensor graph and the map hold only this interface.
#pragma once

class IControlBarKeys
{
public:
    virtual ~IControlBarKeys() = default;
    // Up/Down (volume) and Delete (sound on/off); true when the key was the bar's.
    virtual bool HandleKey(int key) = 0;
    virtual void ToggleSound() = 0;
};
