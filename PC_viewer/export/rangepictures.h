// The pictures of an export range by their place in it (0 is the first clip's first picture of
// the range), as the export shows them (turned by the display matrix), at any size and format.
// The region tracker walks them forwards; the export dialog shows one to mark a region on.
// Each clip is decoded by the engine's CFrameDecoder, so the numbering is the export's own. Only
// the picture being handed out is held.
#pragma once

#include "export/videoexport.h"
#include "media/videoorientation.h"

#include <QImage>

#include <functional>
#include <memory>
#include <vector>

class CFrameDecoder;
class CFrameTable;

class CRangePictures
{
public:
    // Receives place and picture; returns false to stop.
    using Sink = std::function<bool(int64_t index, const QImage &picture)>;

    explicit CRangePictures(QVector<CVideoExporter::Span> spans);
    ~CRangePictures();
    CRangePictures(const CRangePictures &) = delete;
    CRangePictures &operator=(const CRangePictures &) = delete;

    // Measures the clips; the clip's open error with *why.
    HRESULT Open(QString *why);
    int64_t Count() const { return m_llCount; }
    // The first clip's picture as shown: the region coordinates' frame.
    QSize FirstSize() const;

    // Pictures first..last (places, inclusive) in order, each scaled to `size` (empty: the first
    // clip's shown size) in `format`. A picture the decoder cannot give is left out. `cancelled`
    // (may be empty) is asked between pictures: E_ABORT.
    HRESULT Walk(int64_t first, int64_t last, QSize size, QImage::Format format, const Sink &sink,
                 const std::function<bool()> &cancelled = {});
    // One picture (null when it cannot be decoded).
    QImage Picture(int64_t index, QSize size = QSize());

private:
    struct Clip;
    std::vector<std::unique_ptr<Clip>> m_clips;
    int64_t m_llCount = 0;
};
