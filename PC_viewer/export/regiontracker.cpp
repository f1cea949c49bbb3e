// Tracking the followed regions through the range.
#include "export/regiontracker.h"

#include "export/rangepictures.h"
#include "export/regionfollower.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

QRect tagREGIONTRACKS::At(int r, int64_t n) const
{
    const QVector<QRect> &followed = rects.at(r);
    if (followed.isEmpty())
        return regions.at(r).keys.isEmpty() ? QRect() : regions.at(r).keys.first();
    return followed.at(static_cast<int>(std::clamp<int64_t>(n, 0, followed.size() - 1)));
}

namespace {

// One followed region during a pass.
struct Follow {
    int nRegion;
    int64_t llFirstKey;
    CRegionFollower follower;
    int64_t llSegmentStart = -1; // the key frame the forward track left from
};

} // namespace

int64_t TrackedPictures(const QVector<tagBLURREGION> &regions, int64_t count)
{
    int64_t minFirst = count, maxFirst = -1;
    for (const tagBLURREGION &region : regions) {
        if (!region.bFollow || region.keys.isEmpty())
            continue;
        const int64_t first = std::clamp<int64_t>(region.keys.firstKey(), 0, std::max<int64_t>(0, count - 1));
        minFirst = std::min(minFirst, first);
        maxFirst = std::max(maxFirst, first);
    }
    return maxFirst < 0 ? 0 : (count - minFirst) + (maxFirst + 1);
}

HRESULT TrackRegions(CRangePictures &pictures, const QVector<tagBLURREGION> &regions,
                     const std::function<bool()> &cancelled, const TrackProgress &progress, tagREGIONTRACKS *tracks,
                     QString *why)
{
    tracks->regions = regions;
    tracks->rects = QVector<QVector<QRect>>(regions.size());
    const int64_t count = pictures.Count();
    const QSize picture = pictures.FirstSize();
    if (count <= 0 || picture.isEmpty())
        return S_OK;
    const double scale = std::min(1.0, double(kTrackSide) / std::max(picture.width(), picture.height()));
    const QSize small(std::max(1, int(picture.width() * scale)), std::max(1, int(picture.height() * scale)));
    const QRect smallArea(QPoint(0, 0), small);
    const QRect pictureArea(QPoint(0, 0), picture);
    const auto down = [&](const QRect &r) { return MapRect(r, picture, smallArea); };
    const auto up = [&](const QRect &r) { return MapRect(r, small, pictureArea).intersected(pictureArea); };

    std::vector<std::unique_ptr<Follow>> follows;
    int64_t minFirst = count, maxFirst = -1;
    for (int r = 0; r < regions.size(); ++r) {
        const tagBLURREGION &region = regions.at(r);
        if (!region.bFollow || region.keys.isEmpty())
            continue;
        auto f = std::make_unique<Follow>();
        f->nRegion = r;
        f->llFirstKey = std::clamp<int64_t>(region.keys.firstKey(), 0, count - 1);
        minFirst = std::min(minFirst, f->llFirstKey);
        maxFirst = std::max(maxFirst, f->llFirstKey);
        // Until the tracker says otherwise: the rectangle the user gave nearest before.
        QVector<QRect> &line = tracks->rects[r];
        line.resize(static_cast<int>(count));
        for (int64_t n = 0; n < count; ++n)
            line[static_cast<int>(n)] = region.KeyRectAt(n);
        follows.push_back(std::move(f));
    }
    if (follows.empty())
        return S_OK;
    const int64_t total = TrackedPictures(regions, count);
    int64_t done = 0;
    const auto tell = [&] {
        ++done;
        if (progress)
            progress(done, total);
    };

    // Forwards, from the first key frame on.
    int64_t expected = minFirst;
    HRESULT hr = pictures.Walk(minFirst, count - 1, small, QImage::Format_Grayscale8,
        [&](int64_t i, const QImage &grey) {
            for (; expected <= i; ++expected) {
                const bool bHave = expected == i;
                for (auto &f : follows) {
                    if (expected < f->llFirstKey)
                        continue;
                    const tagBLURREGION &region = regions.at(f->nRegion);
                    QVector<QRect> &line = tracks->rects[f->nRegion];
                    const int at = static_cast<int>(expected);
                    const auto key = region.keys.constFind(expected);
                    if (key != region.keys.cend()) {
                        // Arriving at a key frame: the drift since the last one is taken back
                        // over the stretch between them.
                        if (f->llSegmentStart >= 0) {
                            QRect predicted = line.at(at - 1);
                            QRect found;
                            if (bHave && f->follower.Follow(grey, &found))
                                predicted = up(found);
                            const int64_t a = f->llSegmentStart;
                            const int64_t length = expected - a;
                            for (int64_t n = a + 1; n < expected; ++n) {
                                const double t = double(n - a) / length;
                                const QRect &raw = line.at(static_cast<int>(n));
                                line[static_cast<int>(n)] =
                                    QRect(raw.x() + int(std::lround((key->x() - predicted.x()) * t)),
                                          raw.y() + int(std::lround((key->y() - predicted.y()) * t)),
                                          raw.width() + int(std::lround((key->width() - predicted.width()) * t)),
                                          raw.height() + int(std::lround((key->height() - predicted.height()) * t)))
                                        .intersected(pictureArea);
                            }
                        }
                        line[at] = *key;
                        f->llSegmentStart = expected;
                        f->follower.Start(bHave ? grey : QImage(), down(*key));
                        continue;
                    }
                    QRect found;
                    if (bHave && f->follower.Follow(grey, &found))
                        line[at] = up(found);
                    else if (at > 0)
                        line[at] = line.at(at - 1);
                }
                tell();
            }
            return true;
        },
        cancelled);
    if (FAILED(hr)) {
        if (hr != E_ABORT)
            *why = QStringLiteral("the pictures could not be decoded for tracking");
        return hr;
    }

    // Backwards from the first key frames, a chunk at a time.
    for (int64_t end = maxFirst; end >= 0;) {
        const int64_t start = std::max<int64_t>(0, end - kTrackChunk + 1);
        std::vector<QImage> chunk(static_cast<size_t>(end - start + 1));
        hr = pictures.Walk(start, end, small, QImage::Format_Grayscale8,
                           [&](int64_t i, const QImage &grey) {
                               chunk[static_cast<size_t>(i - start)] = grey;
                               return true;
                           },
                           cancelled);
        if (FAILED(hr)) {
            if (hr != E_ABORT)
                *why = QStringLiteral("the pictures could not be decoded for tracking");
            return hr;
        }
        for (int64_t i = end; i >= start; --i) {
            const QImage &grey = chunk[static_cast<size_t>(i - start)];
            for (auto &f : follows) {
                if (i > f->llFirstKey)
                    continue;
                QVector<QRect> &line = tracks->rects[f->nRegion];
                const int at = static_cast<int>(i);
                if (i == f->llFirstKey) {
                    // Anew, forgetting the forward track (a missing picture leaves it stopped).
                    f->follower.Start(grey, down(line.at(at)));
                    continue;
                }
                QRect found;
                if (!grey.isNull() && f->follower.Follow(grey, &found))
                    line[at] = up(found);
                else
                    line[at] = line.at(at + 1);
            }
            tell();
        }
        chunk.clear();
        end = start - 1;
    }
    return S_OK;
}
