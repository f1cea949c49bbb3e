// OpenCV's MIL tracker behind CRegionFollower.
#include "export/regionfollower.h"

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>

namespace {

// The tracker needs some texture to learn from.
constexpr int kMinSide = 4;

cv::Mat GreyMat(const QImage &grey)
{
    // A view of the image's rows: the tracker copies what it keeps.
    return cv::Mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar *>(grey.constBits()),
                   static_cast<size_t>(grey.bytesPerLine()));
}

} // namespace

struct CRegionFollower::Impl {
    cv::Ptr<cv::TrackerMIL> tracker;
};

CRegionFollower::CRegionFollower() : m_impl(std::make_unique<Impl>()) {}

CRegionFollower::~CRegionFollower() = default;

bool CRegionFollower::Start(const QImage &grey, const QRect &box)
{
    m_impl->tracker.reset();
    const QRect inside = box.intersected(grey.rect());
    if (grey.format() != QImage::Format_Grayscale8 || inside.width() < kMinSide || inside.height() < kMinSide)
        return false;
    try {
        m_impl->tracker = cv::TrackerMIL::create();
        m_impl->tracker->init(GreyMat(grey), cv::Rect(inside.x(), inside.y(), inside.width(), inside.height()));
    } catch (const cv::Exception &) {
        m_impl->tracker.reset();
        return false;
    }
    return true;
}

bool CRegionFollower::Started() const
{
    return !m_impl->tracker.empty();
}

bool CRegionFollower::Follow(const QImage &grey, QRect *box)
{
    if (m_impl->tracker.empty() || grey.format() != QImage::Format_Grayscale8)
        return false;
    cv::Rect found;
    try {
        if (!m_impl->tracker->update(GreyMat(grey), found))
            return false;
    } catch (const cv::Exception &) {
        return false;
    }
    *box = QRect(found.x, found.y, found.width, found.height);
    return true;
}
