// One region followed from picture to picture by OpenCV's MIL tracker, on grey pictures. The only
// file that sees OpenCV: it is built into a library of its own that only the export links.
#pragma once

#include <QImage>
#include <QRect>

#include <memory>

class CRegionFollower
{
public:
    CRegionFollower();
    ~CRegionFollower();
    CRegionFollower(const CRegionFollower &) = delete;
    CRegionFollower &operator=(const CRegionFollower &) = delete;

    // Starts (again) on `grey` (Format_Grayscale8) at `box`, clipped to the picture. False when
    // too little of it is left to follow.
    bool Start(const QImage &grey, const QRect &box);
    bool Started() const;
    // Where the region is on the next picture; false (box unchanged) when it was lost or not
    // started.
    bool Follow(const QImage &grey, QRect *box);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
