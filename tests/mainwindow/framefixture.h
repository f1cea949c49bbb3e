// Shared set-up of the main-window tests: tiny clips made with the ffmpeg command, recording
// folders built from them in temporary folders, and a main frame on the offscreen platform whose
// message boxes and folder choosers are answered by a scripted prompt.
#pragma once

#include "catalogue/corvanadoc.h"
#include "fixtures/wait.h"
#include "media/mediagraph.h"
#include "playback/mediaplayview.h"
#include "playback/playbackcontroller.h"
#include "playback/stepclock.h"
#include "shell/compositionroot.h"
#include "shell/contentlistview.h"
#include "shell/mainframe.h"
#include "shell/viewercommands.h"
#include "skin/prompt.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/mapview.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace frametest {

// Clip kinds, each generated once per build tree.
enum class ClipKind {
    Mp4,    // H.264 + AAC, 160x120, 10 pictures a second, 15 pictures
    Avi,    // MJPEG, 160x120, 10 pictures a second, 12 pictures
    Broken, // bytes that are no clip at all
    Tone,   // H.264 + AAC, 160x120, 30 pictures a second, 12 s of a 1 kHz sine at 48 kHz
};
constexpr int kMp4Frames = 15;
constexpr int kAviFrames = 12;
constexpr int kToneFrames = 360;
constexpr int kToneHz = 1000;

// Path of a generated clip of that kind (made on first use); empty when ffmpeg failed.
QString ClipPath(ClipKind kind);
// A clip made by ffmpeg with these arguments (input and codec options; the output name is
// added), once per build tree and name; empty when ffmpeg failed.
QString MakeClip(const QString &name, const QStringList &args);

// One recording of a test folder.
struct tagTESTCLIP {
    QString name; // e.g. "20130512_083000N.mp4"; may contain a subfolder ("sub/x.avi")
    ClipKind kind = ClipKind::Mp4;
    QString syncTime;            // hhmmss.fff of the data file's $SYNCTIME; empty: no data file
    QStringList extraLines = {}; // further data-file lines ($GPRMC ...)
};

// A recording folder in a temporary folder.
class CTestCard
{
public:
    explicit CTestCard(const std::vector<tagTESTCLIP> &clips);
    bool IsValid() const { return m_valid; }
    QString Path() const { return m_dir.path(); }
    QString ClipFile(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }
    // The data file of a clip in the folder's "data" subfolder.
    QString DataFile(const QString &name) const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};

// Three ordinary recordings, oldest first: 0 and 2 MP4 (15 pictures), 1 AVI (12 pictures).
std::vector<tagTESTCLIP> ThreeRecordings();


// The viewer (its composition root and main frame) on a fresh document, with every message
// answered by the scripted prompt.
class FrameTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // "Set Folder" on the folder (answered through the prompt).
    void LoadCard(const CTestCard &card);
    // Opens row i as a double click or Enter would; true when it became current.
    bool OpenRow(int row);
    // Positions published by playback itself (the main channel's session) since the last
    // ClearPublished.
    const std::vector<qint64> &Published() const { return m_published; }
    void ClearPublished()
    {
        m_published.clear();
        m_origins.clear();
    }
    // Every position notice since the last ClearPublished: its origin.
    const std::vector<const QObject *> &Origins() const { return m_origins; }
    // The picture the graph shows.
    int64_t ShownFrame() const;
    // Ticks the step clock until playback has come to rest (not Running).
    bool WaitUntilNotRunning(int limitMs = 30000);

    // Timed stepping of the play view follows this clock: tests move it (fixtures/stepping.h).
    CManualStepClock m_clock;
    CScriptedPrompt m_prompt;
    std::unique_ptr<CPromptScope> m_scope;
    std::unique_ptr<CCorvanaDoc> m_doc;
    std::unique_ptr<CCompositionRoot> m_root;
    CMainFrame *m_frame = nullptr;
    CPlaybackController *m_ctl = nullptr;
    CMediaPlayView *m_play = nullptr;
    CContentListView *m_list = nullptr;

private:
    std::vector<qint64> m_published;
    std::vector<const QObject *> m_origins;
};

} // namespace frametest
