// Where the channels of a recording go in the video pane.
#pragma once

#include <QRect>
#include <QVector>

// How the video pane lays out the channels of a recording: the main one over the whole area with
// the others small in a corner, all side by side, or all in a grid.
enum class ChannelLayout : int { PictureInPicture = 0, SideBySide = 1, Grid = 2 };
// The corner of the small pictures: top left, top right, bottom left, bottom right.
enum class PipCorner : int { TopLeft = 0, TopRight = 1, BottomLeft = 2, BottomRight = 3 };

// Where the channels' pictures go in `area`, the main one first, for `count` channels. One
// channel has the whole area in every layout.
QVector<QRect> ChannelRects(ChannelLayout layout, PipCorner corner, const QRect &area, int count);
