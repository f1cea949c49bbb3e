// CMediaGraph: one clip opened for one video pane, positioned by frame number, played at 1x with
// sound, and showing its current picture as a QImage that the owning view paints.
//
// How the engine is built
// -----------------------
// Objects and threads:
//  - CMediaGraph (this file) lives on its owner's thread, the UI thread. Every operation below is
//    called there. It holds the graph state, the current frame number and a reference to the
//    current picture; it never blocks longer than the time limits of CMediaSource.
//  - CMediaSource is shared by every graph open on the same file (the single view and up to 25
//    grid panes on one clip). It is created by the first OpenMedia on a file and deleted when the
//    last graph releases it (shared_ptr, looked up in a process-wide registry by path, size and
//    modification time). It owns the frame table (CFrameTable: every picture's time stamp in
//    presentation order and the key frames), up to four CFrameDecoder objects (each its own
//    demuxer and decoder, kept with the position it stopped at, so that the next picture costs
//    one decode) and two kinds of worker thread, started on first need and joined by its
//    destructor: a range worker that decodes the next groups ahead when graphs step forward, the
//    previous group when they step back, or one stride on at fast rates; and a request worker
//    that serves SeekToFrameAsync. GetPicture is thread-safe: a caller whose picture a worker is
//    about to deliver waits for it instead of decoding it twice.
//  - CPictureCache holds decoded pictures (CPicture: the decoder's YUV frame, plus RGB QImages
//    shared by every graph showing it: one at the size the pane shows it, made by the thread that
//    decoded or fetched the picture, and one at native size made only when asked for, for
//    snapshots, the report and the image viewer) keyed by source and frame, bounded in bytes
//    (SetPictureCacheLimit; by default a share of the machine's memory). Over the limit, native
//    RGB images go first, then decoded frames of pictures that keep their shown image, then
//    pictures, least recently used first; stepping backwards frees the pictures passed.
//  - While Running, a CMediaPlayer thread owned by the graph paces pictures by the clock of a
//    CAudioOutput (Qt's QAudioSink on a thread of its own, or the clocked null device) or, without
//    sound, by the steady clock. It asks the source for the picture due and hands it to the graph
//    under the graph's mutex; late pictures are passed over, never shown out of time.
//  - Events (end of clip, abort, repaint) are queued in the graph from any thread; the graph then
//    emits MediaEvent() through a queued connection, and the owner drains the queue on its own
//    thread with DispatchGraphEvents, one event after the other, in order.
//  - CThumbnailer works alone on any thread: its own demuxer and decoder, no shared state but
//    its folder of cached thumbnails.
// Measuring: the frame table comes from the container's index when the index matches the
// packets (MP4 and AVI without reordered pictures), else from reading every video packet once at
// open (AVI without index, MP4 with B-frames); such clips are then read packet by packet from the
// recorded positions, not through the demuxer's seek.
// Exactness: frame n is the n-th picture in presentation order. A seek goes to the last key frame
// at or before the picture, checks where the demuxer really landed, decodes forward and keeps the
// picture whose time stamp is the n-th of the table (CFrameDecoder). Every open, seek and decode
// runs under a deadline and an interrupt callback, so a damaged or vanished file returns an error
// instead of hanging the viewer.
#pragma once

#include "grapheventcallback.h"
#include "mediaresult.h"

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>

class QPainter;
class CAudioOutput;
class CMediaSource;
class CMediaPlayer;
class CPicture;

// The state of a graph: set only by the graph's own operations.
enum class GraphState : int { Running = 0, Paused = 1, Stopped = 2, NoGraph = 3 };

// Seeking capabilities as the platform media framework spells them.
constexpr uint32_t AM_SEEKING_CanSeekAbsolute = 0x1;
constexpr uint32_t AM_SEEKING_CanSeekForwards = 0x2;
constexpr uint32_t AM_SEEKING_CanSeekBackwards = 0x4;
constexpr uint32_t AM_SEEKING_CanGetCurrentPos = 0x8;
constexpr uint32_t AM_SEEKING_CanGetStopPos = 0x10;
constexpr uint32_t AM_SEEKING_CanGetDuration = 0x20;
constexpr uint32_t AM_SEEKING_CanPlayBackwards = 0x40;

// The graph's event notification (the old WM_USER + 1); kept for the code that names it.
constexpr unsigned int WM_MEDIA_EVENT = 0x401;

// Volume range, hundredths of a decibel.
constexpr long MEDIA_VOLUME_SILENT = -10000;
constexpr long MEDIA_VOLUME_FULL = 0;

// Frame time used when a clip tells none (1/30 s in 100-ns units).
constexpr int64_t MEDIA_DEFAULT_FRAME_TIME = 333333;

class CMediaGraph : public QObject
{
    Q_OBJECT
public:
    explicit CMediaGraph(QObject *pVideoWindow = nullptr);
    ~CMediaGraph() override;

    CMediaGraph(const CMediaGraph &) = delete;
    CMediaGraph &operator=(const CMediaGraph &) = delete;

    // --- The operation table ------------------------------------------------------------------
    // Events reach pTarget through MediaEvent(); takes effect at the next OpenMedia. The owner
    // connects MediaEvent() to its handler, which calls DispatchGraphEvents. Always S_OK.
    HRESULT SetEventTarget(QObject *pTarget);

    // Opens and measures a clip; Stopped on success, NoGraph on failure. E_UNEXPECTED: empty path
    // or no video stream; VFW_E_CANNOT_RENDER: nothing in the file can be decoded;
    // VFW_E_NOT_FOUND: the file cannot be read; VFW_E_INVALID_FILE_FORMAT: the clip yields no
    // frame count or frame time; VFW_E_TIMEOUT: the file did not open within its time limit.
    HRESULT OpenMedia(const QString &strPath);
    HRESULT ReleaseGraph();

    HRESULT Run();   // Paused or Stopped -> Running (1x, real time, with sound)
    HRESULT Pause(); // any state but NoGraph -> Paused
    HRESULT Stop();  // Running or Paused -> Stopped

    // Rates other than 1 are stored only; the play view steps them by frames. E_UNEXPECTED without
    // a clip.
    HRESULT SetPlaybackRate(double dRate);
    double PlaybackRate() const { return m_dRate; }

    // Hundredths of a decibel, -10000 (silent) to 0 (full). Stored, then applied when there is
    // sound.
    HRESULT SetAudioVolume(long lVolume);
    long AudioVolume() const { return m_lVolume; }

    // Position in 100-ns units, and as frame number (time / frame time, truncating).
    // E_UNEXPECTED without a clip, E_POINTER for a null pointer.
    HRESULT CurrentTime(int64_t *pTime) const;
    HRESULT CurrentFrame(int64_t *pFrame) const;

    // Absolute seek in 100-ns units: shows the picture that covers that time. A stopped graph stays
    // stopped (showing the new picture); a running one keeps running from there.
    HRESULT SeekToTime(int64_t llTime);
    // Pauses (when not paused) and shows exactly frame n; CurrentFrame then returns n. n equal to
    // the frame count is allowed (the last picture stays shown, the position is the end).
    // A negative n only pauses.
    HRESULT SeekToFrame(int64_t llFrame);

    // Non-blocking form of SeekToFrame for timed stepping: pauses, starts decoding frame n in the
    // background and returns. The current picture stays the last exact one until frame n is ready,
    // then n becomes current and EC_OLE_EVENT is posted. A newer request replaces an unfinished
    // one. S_FALSE when the picture was ready at once (already current).
    HRESULT SeekToFrameAsync(int64_t llFrame);
    // True while a SeekToFrameAsync has not yet delivered its picture.
    bool IsSeekPending() const;

    // Where the owner paints the picture. With pRect: shrunk by 2 pixels per side when
    // bInsetVideo (the caller's rectangle is changed too); without: the video window rectangle,
    // shrunk the same way. E_ACCESSDENIED when there is no video.
    HRESULT PlaceVideo(QRect *pRect = nullptr);
    // Paints the current picture stretched over the video rectangle (no letter-boxing). S_OK and
    // nothing when there is no video.
    HRESULT PaintVideo(QPainter *pPainter);
    HRESULT DisplayModeChanged() { return S_OK; }

    // Drains queued events into pCallback in order, each handled completely before the next is
    // fetched. E_POINTER for a null callback, E_UNEXPECTED without a clip.
    HRESULT DispatchGraphEvents(GraphEventCallback *pCallback);

    // --- Accessors ----------------------------------------------------------------------------
    GraphState State() const { return m_state; }
    uint32_t SeekCapabilities() const { return m_dwSeekCaps; }
    bool HasVideo() const { return m_bHasVideo; }
    int HasAudio() const { return m_nHasAudio; }
    int64_t Duration() const { return m_llDuration; }
    int64_t FrameCount() const { return m_llFrameCount; }
    int64_t FrameTime() const { return m_llFrameTime; }
    void SetInsetVideo(bool bInset) { m_bInsetVideo = bInset; }
    bool InsetVideo() const { return m_bInsetVideo; }
    QString MediaPath() const { return m_strPath; }

    // The video window's client rectangle (the default video rectangle); the owner keeps it
    // current on resize.
    void SetVideoWindowRect(const QRect &rc) { m_rcWindow = rc; }
    QRect VideoWindowRect() const { return m_rcWindow; }
    // The rectangle the picture is painted into.
    QRect VideoRect() const { return m_rcVideo; }
    // Native picture size; empty without video.
    QSize VideoSize() const { return m_szVideo; }

    // The current picture at native size (RGB32), for snapshots, the report and the image
    // viewer. Null when nothing is shown yet.
    QImage CurrentImage() const;
    // The same with the frame number it shows and, read together with it, the current position as
    // a frame number (the frame count at the end, while the last picture stays). E_ACCESSDENIED
    // without video, E_UNEXPECTED when no picture is shown yet, E_POINTER for a null image pointer.
    HRESULT GetCurrentImage(QImage *pImage, int64_t *pFrame = nullptr,
                            int64_t *pPositionFrame = nullptr) const;
    // The same at the size of the video rectangle, for painting: made on the thread that decoded
    // or fetched the picture, so that painting only draws it. While the rectangle has just
    // changed size, the picture may come at the size it had (painted stretched); native while
    // the rectangle is empty.
    HRESULT GetShownImage(QImage *pImage, int64_t *pFrame = nullptr, int64_t *pPositionFrame = nullptr) const;
    // Picture n at native size, decoded again when no native picture of it is kept. Null on
    // failure.
    QImage FrameImage(int64_t llFrame) const;
    // The part `region` of picture n (native pixels) at `size`, converted straight from the
    // decoded frame and not kept (CPicture::RegionImage). Null on failure.
    QImage FrameRegionImage(int64_t llFrame, const QRect &region, const QSize &size) const;
    // Thread-safe: the size pictures are shown at (the video rectangle's; empty: native).
    QSize ShownSize() const;

    // --- Process-wide ---------------------------------------------------------------------------
    // First picture of a clip (its first key frame) scaled to size, for lists. Thread-safe; served
    // from the persistent thumbnail cache when path, size and modification time match.
    static HRESULT GetThumbnail(const QString &strPath, const QSize &size, QImage *pImage);
    // Byte limit of the decoded-picture cache shared by all graphs (default: a share of the
    // machine's memory, CPictureCache::DefaultLimit).
    static void SetPictureCacheLimit(int64_t llBytes);
    static int64_t PictureCacheLimit();

signals:
    // Queued notification that events wait in the graph; the owner calls DispatchGraphEvents.
    void MediaEvent();

private:
    friend class CMediaPlayer;

    struct GraphEvent {
        long lCode;
        intptr_t lParam1;
        intptr_t lParam2;
    };

    // Thread-safe: queues an event and signals the owner once per batch. Repaint events are
    // coalesced while one is waiting.
    void PostGraphEvent(long lCode, intptr_t lParam1 = 0, intptr_t lParam2 = 0);
    // Thread-safe: makes a decoded picture the current one.
    void SetCurrentPicture(const std::shared_ptr<CPicture> &pPicture, int64_t llFrame, int64_t llTime);
    HRESULT ShowFrame(int64_t llFrame, int64_t llPosition);
    HRESULT ApplyVolume();
    void StopPlayer();
    void CancelAsyncSeek();
    QRect InsetRect(const QRect &rc) const;
    // GetCurrentImage (native) and GetShownImage (bShown) in one.
    HRESULT GetImage(bool bShown, QImage *pImage, int64_t *pFrame, int64_t *pPositionFrame) const;
    // The video rectangle changed: pictures are made at its size from now on.
    void SetVideoRect(const QRect &rc);
    // The current picture's native image; decoded again when the cache kept only its shown
    // image. Called without the mutex held.
    QImage NativeImageOf(const std::shared_ptr<CPicture> &pPicture, int64_t llFrame) const;

    GraphState m_state = GraphState::NoGraph;
    QPointer<QObject> m_pVideoWindow;
    QPointer<QObject> m_pEventTarget;
    QPointer<QObject> m_pActiveEventTarget;
    uint32_t m_dwSeekCaps = 0;
    int m_nHasAudio = 0;
    long m_lVolume = 0;
    bool m_bInsetVideo = false;
    int64_t m_llDuration = 0;
    int64_t m_llFrameCount = 0;
    int64_t m_llFrameTime = 0;
    double m_dRate = 1.0;
    bool m_bHasVideo = false;
    QString m_strPath;
    QSize m_szVideo;
    QRect m_rcWindow;
    QRect m_rcVideo;

    std::shared_ptr<CMediaSource> m_pSource;
    std::unique_ptr<CAudioOutput> m_pAudio;
    std::unique_ptr<CMediaPlayer> m_pPlayer;

    // Shared with the player and the asynchronous seek.
    mutable QMutex m_mutex;
    std::shared_ptr<CPicture> m_pPicture; // current picture
    int64_t m_llPictureFrame = -1;        // frame the picture shows
    mutable QImage m_image;               // its RGB image once asked for (kept while shown)
    int64_t m_llPosition = 0;             // current position, 100 ns
    QSize m_szShown;                      // size of the video rectangle, for the workers
    std::deque<GraphEvent> m_events;
    bool m_bSignalPending = false;
    bool m_bRepaintQueued = false;

    struct AsyncSeek;
    std::shared_ptr<AsyncSeek> m_pAsyncSeek;
};
