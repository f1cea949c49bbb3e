// What the window benchmarks share: the process set-up, the skin and prompt, a viewer on a
// document of its own, the 1080p clip they play and opening it in the viewer the way the list does.
#pragma once

#include "catalogue/corvanadoc.h"
#include "shell/compositionroot.h"
#include "skin/global.h"
#include "skin/prompt.h"

#include <QApplication>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class CMainFrame;
class CPlaybackController;

// The process of a window benchmark, made first in main and gone last: the offscreen platform
// unless another is asked for, settings in a temporary home, the browser's flags and graphics as
// the viewer sets them, then the QApplication and numbers printed with a point.
class CBenchApplication
{
public:
    CBenchApplication(int &argc, char **argv);
    CBenchApplication(const CBenchApplication &) = delete;
    CBenchApplication &operator=(const CBenchApplication &) = delete;

private:
    QTemporaryDir m_home; // outlives the application, which keeps its settings there
    std::unique_ptr<QApplication> m_app;
};

// The skin's defaults (the first CGlobal is the one the windows read) and a scripted prompt in
// place of every message box and folder chooser, for as long as it lives. Once a process, before
// any viewer.
class CBenchSkin
{
public:
    CBenchSkin();
    CBenchSkin(const CBenchSkin &) = delete;
    CBenchSkin &operator=(const CBenchSkin &) = delete;

private:
    CGlobal m_skin;
    CScriptedPrompt m_prompt;
    CPromptScope m_scope{m_prompt};
};

// A viewer on a fresh document: the composition root and its main frame, not yet shown. The skin
// it is given must outlive it.
class CBenchViewer
{
public:
    explicit CBenchViewer(const CBenchSkin &skin);
    CBenchViewer(const CBenchViewer &) = delete;
    CBenchViewer &operator=(const CBenchViewer &) = delete;

    CCorvanaDoc &Document() { return m_doc; }
    CCompositionRoot &Root() { return m_root; }
    CMainFrame &Frame() { return *m_root.Frame(); }
    CPlaybackController *Playback() { return m_root.Playback(); }

    // Loads the clip's folder and opens the clip from the list; false (with a message naming
    // `tool`) when it does not open.
    bool OpenClip(const QString &clip, const char *tool);

private:
    CCorvanaDoc m_doc; // made before the root and gone after it
    CCompositionRoot m_root{&m_doc};
};

// A 1920x1080 H.264 clip of `seconds` at 30 pictures a second, made with ffmpeg in `work`/card;
// empty (and a message naming `tool`) when ffmpeg failed.
QString MakeBenchClip(const QTemporaryDir &work, int seconds, const char *tool);
