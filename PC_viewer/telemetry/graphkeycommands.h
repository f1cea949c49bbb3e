// CGraphKeyCommands: the one command path of the G-sensor graph's key table. Every pane that
// takes keys (list, video, map, control bar, the graph itself) hands the key here; the table
// (GraphKeyActionFor) decides: Space plays or pauses, Home/End/Left/Right and the keypad move the
// position, +/- zoom the graph, Up/Down/Delete go to the control bar's volume and sound.
//
// Design note: a core object on the UI thread, owned by the composition root (or a test). It
// asks the playback controller to play, pause and seek (positions in its own name, so that every
// pane follows) and the control bar's key interface for the volume; zooming is the graph pane's,
// asked for with ZoomRequested.
#pragma once

#include <QObject>

class CPlaybackController;
class IControlBarKeys;

class CGraphKeyCommands : public QObject
{
    Q_OBJECT
public:
    explicit CGraphKeyCommands(CPlaybackController *controller, QObject *parent = nullptr);

    // May be null: its keys then do nothing.
    void SetControlBar(IControlBarKeys *controlBar) { m_controlBar = controlBar; }

    // Runs the key's command (keypad: the key came from the number pad); false when the table
    // has none for it.
    bool Run(int key, bool keypad = false);

signals:
    // +/- : the graph pane zooms in or out.
    void ZoomRequested(bool in);

private:
    CPlaybackController *m_controller;
    IControlBarKeys *m_controlBar = nullptr;
};
