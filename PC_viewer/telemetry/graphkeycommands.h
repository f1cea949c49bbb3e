// CGraphKeyCommands: the one command path of the G-sensor graph's key table. Every pane that
// takes keys (list, video, map, control bar, the graph itself) hands the key here; the table
// (GraphKeyActionFor) decides: Space plays or pauses, Home/End/Left/Right and the keypad move the
// position, +/- zoom the graph, Up/Down/Delete go to the control bar's volume and sound.
//
// Design note: a core object on the UI thread, owned by the main frame (or a graph pane used on
// its own). It drives the playback session, the document and the control bar's key interface it
// is given; zooming is the graph pane's, asked for with ZoomRequested. A key that moves the
// position publishes it in the publisher's name (the graph pane's in the viewer).
#pragma once

#include <QObject>

class CCorvanaDoc;
class CPlaybackSession;
class IControlBarKeys;

class CGraphKeyCommands : public QObject
{
    Q_OBJECT
public:
    explicit CGraphKeyCommands(CCorvanaDoc *doc, QObject *parent = nullptr);

    // Any may be null: their keys then do nothing.
    void SetPlaybackSession(CPlaybackSession *session) { m_session = session; }
    void SetControlBar(IControlBarKeys *controlBar) { m_controlBar = controlBar; }
    // The name position moves are published in (the graph pane, whose table this is); null: this
    // object.
    void SetPublisher(QObject *publisher) { m_publisher = publisher; }

    // Runs the key's command (keypad: the key came from the number pad); false when the table
    // has none for it.
    bool Run(int key, bool keypad = false);

signals:
    // +/- : the graph pane zooms in or out.
    void ZoomRequested(bool in);
    // A key moved the position; emitted before it is published (the publisher, which does not
    // follow its own broadcast, redraws on this).
    void PositionMoved();

private:
    CCorvanaDoc *m_doc;
    CPlaybackSession *m_session = nullptr;
    IControlBarKeys *m_controlBar = nullptr;
    QObject *m_publisher = nullptr;
};
