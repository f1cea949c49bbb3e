// The graph's key table, run for every pane.
#include "telemetry/graphkeycommands.h"

#include "catalogue/corvanadoc.h"
#include "playback/controlbarkeys.h"
#include "playback/playbacksession.h"
#include "telemetry/graphgeometry.h"

CGraphKeyCommands::CGraphKeyCommands(CCorvanaDoc *doc, QObject *parent) : QObject(parent), m_doc(doc) {}

bool CGraphKeyCommands::Run(int key, bool keypad)
{
    const GraphKeyAction action = GraphKeyActionFor(key, keypad);
    switch (action) {
    case GraphKeyAction::PlayPause:
        if (m_session && !m_session->IsMulti()) {
            const PlayState state = m_session->GetPlayState();
            if (state == PlayState::Running)
                m_session->Pause();
            else if (state == PlayState::Paused || state == PlayState::Stopped)
                m_session->Play();
        }
        return true;
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
        m_doc->SetCurrentPosition(FrameAfterGraphKey(action, m_doc->CurrentPosition(), m_doc->LastPosition()));
        emit PositionMoved();
        m_doc->UpdateAllViews(m_publisher ? m_publisher : this);
        return true;
    }
}
