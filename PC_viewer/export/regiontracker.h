// Where each blurred region is at every picture of an export range. Still regions stay where
// they are; followed ones are tracked on small grey copies of the pictures, from their first key
// frame forwards to the range's end and backwards to its start, and between two key frames the
// track is bent so that it meets the second one exactly (the tracker's drift, found on arriving
// there, is taken back linearly over the stretch).
//
// Memory stays bounded whatever the range's length: forwards one picture at a time; backwards
// in chunks of kTrackChunk pictures, each decoded forwards from its key picture and then tracked
// in reverse. Only the rectangles (a few bytes a picture) are kept for the whole range.
#pragma once

#include "export/blurregions.h"
#include "media/mediaresult.h"

#include <QRect>
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>

class CRangePictures;

// Pictures are tracked at most this many pixels on their longer side.
constexpr int kTrackSide = 640;
// Pictures held at a time while tracking backwards.
constexpr int kTrackChunk = 48;

struct tagREGIONTRACKS {
    QVector<tagBLURREGION> regions;
    // For each region: its rectangle at every place of the range (followed ones), else empty.
    QVector<QVector<QRect>> rects;

    // Region r's rectangle at place n, in the first clip's picture coordinates.
    QRect At(int r, int64_t n) const;
};

// Pictures tracked so far and in all.
using TrackProgress = std::function<void(int64_t done, int64_t total)>;

// Pictures the tracking of these regions walks through in a range of `count` (0: none follows).
int64_t TrackedPictures(const QVector<tagBLURREGION> &regions, int64_t count);

// The regions' rectangles over the range of `pictures` (opened). S_OK; E_ABORT once
// `cancelled` (may be empty) says so; a decoding failure with *why.
HRESULT TrackRegions(CRangePictures &pictures, const QVector<tagBLURREGION> &regions,
                     const std::function<bool()> &cancelled, const TrackProgress &progress, tagREGIONTRACKS *tracks,
                     QString *why);
