// Export of a stretch of driving to one MP4: frame N of the first recording to frame M of the
// last, the recordings between whole, as continuous play shows them.
//
// Design note
// - CVideoExporter runs on whichever thread calls Run (the CLI's main thread, the viewer's export
//   worker); Cancel may be called from any other thread. It owns everything it opens.
// - Burnt-in export: each clip is decoded once, forwards, by the engine's own CFrameDecoder (the
//   same frame numbering as the play view and the graph); every picture of the range is encoded
//   once, in order, with the telemetry band (telemetryoverlay.h) below it, by libx264. Sound is
//   decoded and resampled per clip and cut or padded with silence to exactly the length of that
//   clip's pictures, so that sound stays in step across clip boundaries. One picture and a few
//   thousand sound samples are held at a time: memory does not grow with the range.
// - Lossless cut: packets are copied; the first clip starts at the key picture at or before N.
// - The file is written beside its target under a temporary name and renamed into place when
//   complete; a failure or Cancel removes it.
#pragma once

#include "catalogue/cameranames.h"
#include "catalogue/recordinfo.h"
#include "media/mediaresult.h"
#include "playback/channellayout.h"
#include "export/blurregions.h"
#include "export/telemetryoverlay.h"

#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <cstdint>
#include <functional>

// One recording of the range; llTo is inclusive, -1 for its last picture.
struct tagEXPORTCLIP {
    QString strPath;
    QString strDataPath; // its data file; empty for none
    QStringList moreDataPaths; // other files that gave its telemetry (CCorvanaDoc::DataFilesAt)
    tagDATAFILEINFO record;
    int64_t llFrom = 0;
    int64_t llTo = -1;
    // Every channel of its recording, the main one (strPath) first; empty for a clip alone. With
    // channels chosen (tagEXPORTOPTIONS::channels) llFrom and llTo count the main one's frames.
    QVector<tagCHANNELCLIP> channels;
};

// Picture quality of the burnt-in export: x264's constant rate factor.
enum class ExportQuality { High, Normal, Small };
int ExportQualityCrf(ExportQuality quality);

struct tagEXPORTOPTIONS {
    unsigned nOverlay = OVERLAY_ALL;
    SpeedUnit unit = SpeedUnit::Kmh;
    bool bSound = true;
    bool bCopy = false;
    ExportQuality quality = ExportQuality::Normal;
    // The channels composed into each picture, by name; empty: the clip's own picture alone. Each
    // shows its picture of the main channel's moment, "no picture" where it has none.
    QStringList channels;
    ChannelLayout layout = ChannelLayout::SideBySide;
    PipCorner corner = PipCorner::BottomRight;
    // Regions blurred in the main camera's picture (first clip's pixels, range frames); only the
    // burnt-in export can blur.
    QVector<tagBLURREGION> blur;
    // A copy to share: the band leaves out the items that tell where and when
    // (kOverlayPrivateItems), and the file carries no time or place tag.
    bool bPrivacy = false;
    // The band's items as written: nOverlay without the private ones in a privacy copy.
    unsigned BandItems() const;
};

// What a privacy copy leaves out of the band: the time, the speed, the position and the file
// name (which holds the recording's date and time).
constexpr unsigned kOverlayPrivateItems = OVERLAY_TIME | OVERLAY_SPEED | OVERLAY_POSITION | OVERLAY_NAME;

// The cameras that recorded any recording of the range, in the order of kChannelOrder.
QStringList ChannelsOfRange(const QVector<tagEXPORTCLIP> &clips);

// "side", "pip", "grid".
bool ParseExportLayout(const QString &text, ChannelLayout *layout);
QString ExportLayoutName(ChannelLayout layout);

// The picture of a composed export and where each channel goes in it, for channels shown at
// `sizes` (the first is the big one of picture in picture):
// - side by side: left to right at the first one's height, each keeping its shape;
// - picture in picture: the first one whole, the others a quarter of its width with their shape
//   in a row along the corner's side;
// - grid: cells of the first one's size, as many columns as the square root asks for.
// Every corner and side is even, and the picture is at most kComposedWidthLimit wide (the
// heights shrink to keep it).
constexpr int kComposedWidthLimit = 3840;
QVector<QRect> ComposedPlaces(ChannelLayout layout, PipCorner corner, const QVector<QSize> &sizes, QSize *picture);

struct tagEXPORTRESULT {
    QString strFile;
    int64_t llFrames = 0;   // pictures written
    int64_t llDuration = 0; // 100 ns
    int64_t llCopyFrom = -1; // lossless cut: the key picture of the first clip it starts at
    int64_t llStandIns = 0;  // pictures that could not be decoded; the one before stands in
};

// The longest range an export takes.
constexpr int64_t kExportLimit100ns = 30LL * 60 * 10000000;

class CVideoExporter
{
public:
    // Frames done so far and in all.
    using Progress = std::function<void(int64_t, int64_t)>;

    CVideoExporter(QVector<tagEXPORTCLIP> clips, tagEXPORTOPTIONS options);
    ~CVideoExporter();
    CVideoExporter(const CVideoExporter &) = delete;
    CVideoExporter &operator=(const CVideoExporter &) = delete;

    // Measures the clips and checks the range: E_INVALIDARG for a frame outside its clip, an empty
    // range or one longer than the limit, a blurred region outside the first clip's picture or
    // marked outside the range, or blurring asked of a lossless cut; the clip's open error
    // otherwise. *why says it.
    HRESULT Prepare(QString *why);
    // After Prepare: pictures and duration of the range.
    int64_t TotalFrames() const;
    int64_t TotalDuration() const;
    // The key picture a lossless cut starts at in the first clip (after Prepare).
    int64_t CopyStartFrame() const;
    // The first clip's picture as shown: the frame of the blurred regions (after Prepare).
    QSize FirstPictureSize() const;
    // After Prepare: each clip's part of the range.
    struct Span {
        QString strPath;
        int64_t llFrom, llTo;          // pictures written, inclusive
        int64_t llFrameTime, llFrameCount;
    };
    QVector<Span> Spans() const;

    // Writes the MP4. S_OK with *result; E_ABORT when cancelled; a failure with *why. Nothing is
    // left at outPath (or beside it) unless S_OK.
    HRESULT Run(const QString &outPath, const Progress &progress, tagEXPORTRESULT *result, QString *why);
    // Thread-safe.
    void Cancel() { m_bCancel.store(true); }
    // A flag of the owner's that cancels as well (it must outlive Run).
    void SetCancelFlag(const std::atomic<bool> *flag) { m_pOuterCancel = flag; }
    bool Cancelled() const { return m_bCancel.load() || (m_pOuterCancel && m_pOuterCancel->load()); }

    struct Clip;

private:
    HRESULT RunEncode(const QString &partPath, const Progress &progress, tagEXPORTRESULT *result, QString *why);
    // The chosen channels' slots of a measured clip (none without channels chosen).
    HRESULT MeasureSlots(Clip *c, QString *why) const;
    HRESULT RunCopy(const QString &partPath, const Progress &progress, tagEXPORTRESULT *result, QString *why);

    QVector<tagEXPORTCLIP> m_clips;
    tagEXPORTOPTIONS m_options;
    std::vector<std::unique_ptr<Clip>> m_measured;
    std::atomic<bool> m_bCancel{false};
    const std::atomic<bool> *m_pOuterCancel = nullptr;
};

// The plain words for an FFmpeg write error ("the disk is full" for no space or a file-size limit).
QString ExportWriteErrorText(int avError);
