// The graph's key table, run for every pane.
#include "telemetry/graphkeycommands.h"

#include "playback/controlbarkeys.h"
#include "playback/playbackcontroller.h"
#include "telemetry/graphgeometry.h"

CGraphKeyCommands::CGraphKeyCommands(CPlaybackController *controller, QObject *parent)
    : QObject(parent), m_controller(controller)
{
}

bool CGraphKeyCommands::Run(int key, bool keypad)
{
    const GraphKeyAction action = GraphKeyActionFor(key, keypad);
    switch (action) {
    case GraphKeyAction::PlayPause: m_controller->TogglePlay(); return true;
    case GraphKeyAction::ZoomIn:
    case GraphKeyAction::ZoomOut: emit ZoomRequested(action == GraphKeyAction::ZoomIn); return true;
    case GraphKeyAction::Volume:
        if (m_controlBar)
            m_controlBar->HandleKey(key);
        return true;
    case GraphKeyAction::SoundToggle:
        if (m_controlBar)
            m_controlBar->ToggleSound();
        return true;
    default:
        if (!GraphKeyMovesFrame(action))
            return false;
        m_controller->Seek(FrameAfterGraphKey(action, m_controller->Position(), m_controller->FrameCount()), this);
        return true;
    }
}
