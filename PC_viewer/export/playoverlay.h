// The telemetry band over the playing picture ("Telemetry overlay"): the exported video's band,
// with the same lookup and drawing, for the frame the video pane shows of the open recording.
#pragma once

#include <QRect>

#include <cstdint>

class CPlaybackController;
class QPainter;

class CPlayOverlay
{
public:
    // Reads the open recording, its telemetry tables and the export's remembered choices (units
    // and items) at every picture.
    explicit CPlayOverlay(const CPlaybackController *playback) : m_playback(playback) {}

    // Lays the band over the bottom of `picture` (rather than under it: the pane keeps its shape)
    // for frame `frame`; nothing without an open recording of the catalogue or its tables.
    void Draw(QPainter &painter, const QRect &picture, int64_t frame) const;

private:
    const CPlaybackController *m_playback;
};
