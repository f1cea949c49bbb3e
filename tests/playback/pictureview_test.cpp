// The zoom and pan of the picture on show, and the adjustments' values as the CLI and the panel
// take them.
#include "playback/pictureview.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The picture's point under a place of the pane, for a view.
QPointF PointUnder(const tagPICTUREVIEW &view, const QPointF &at)
{
    return {view.region.left() + at.x() * view.region.width(), view.region.top() + at.y() * view.region.height()};
}

bool Inside(const QRectF &r)
{
    return r.left() >= 0 && r.top() >= 0 && r.right() <= 1 + 1e-12 && r.bottom() <= 1 + 1e-12;
}

} // namespace

TEST(PictureView, ZoomKeepsThePointUnderTheCursorAndStaysInsideThePicture)
{
    const struct {
        QPointF at;
        double factor;
        int times;
        bool pointKept; // false where the picture's edge holds the region
    } cases[] = {
        {{0.5, 0.5}, 2.0, 1, true},     {{0.25, 0.3}, 1.25, 4, true}, {{0.9, 0.1}, 1.5, 3, true},
        {{0.0, 1.0}, 2.0, 2, true},     {{0.5, 0.5}, 2.0, 20, true},  // held at the largest zoom
    };
    for (const auto &c : cases) {
        tagPICTUREVIEW view;
        const QPointF before = PointUnder(view, c.at);
        for (int i = 0; i < c.times; ++i)
            view = ZoomPictureAt(view, c.at, c.factor);
        EXPECT_TRUE(Inside(view.region));
        const double expected = std::max(1.0 / kMaxPictureZoom, std::pow(c.factor, -c.times));
        EXPECT_NEAR(view.region.width(), expected, 1e-9);
        if (c.pointKept) {
            EXPECT_NEAR(PointUnder(view, c.at).x(), before.x(), 1e-9);
            EXPECT_NEAR(PointUnder(view, c.at).y(), before.y(), 1e-9);
        }
    }
    // Zooming out past the whole picture gives exactly the whole picture.
    tagPICTUREVIEW view = ZoomPictureAt(tagPICTUREVIEW(), {0.8, 0.2}, 3.0);
    view = ZoomPictureAt(view, {0.1, 0.9}, 1.0 / 5.0);
    EXPECT_TRUE(view.IsWhole());
    EXPECT_FALSE(view.IsEnhanced());
}

TEST(PictureView, PanOneToOneAndRegionPixels)
{
    tagPICTUREVIEW view = ZoomPictureAt(tagPICTUREVIEW(), {0.5, 0.5}, 4.0);
    // A drag of half the pane to the right shows the part half a region further left, and a drag
    // far beyond the edge stops at it.
    const tagPICTUREVIEW panned = PanPicture(view, {0.5, 0});
    EXPECT_NEAR(panned.region.left(), view.region.left() - view.region.width() / 2, 1e-9);
    EXPECT_EQ(PanPicture(view, {100, -100}).region.topLeft(), QPointF(0, 1 - view.region.height()));
    // 1:1 on a 1920x1080 picture in a 960x540 pane: a quarter of it, around the same centre.
    const tagPICTUREVIEW native = PictureOneToOne(panned, {1920, 1080}, {960, 540});
    EXPECT_NEAR(native.region.width(), 0.5, 1e-9);
    EXPECT_EQ(PictureRegionPixels(native, {1920, 1080}).size(), QSize(960, 540));
    // A pane larger than the picture shows it whole.
    EXPECT_TRUE(PictureOneToOne(view, {320, 240}, {640, 480}).IsWhole());
    // Pixels rounded outwards, never past the picture.
    tagPICTUREVIEW odd;
    odd.region = QRectF(0.25, 0.125, 0.5, 0.5);
    EXPECT_EQ(PictureRegionPixels(odd, {826, 464}), QRect(206, 58, 414, 232));
    EXPECT_EQ(PictureViewText(odd, {826, 464}), QStringLiteral("region 206,58 414x232"));
}

TEST(PictureView, AdjustmentsParseWithinEqsRanges)
{
    const struct {
        const char *text;
        bool ok;
        tagPICTUREADJUST expected;
    } cases[] = {
        {"brightness=0.2,contrast=1.3,gamma=0.8", true, {0.2, 1.3, 0.8, 0.0}},
        {"gamma=2, sharpen=1.5", true, {0.0, 1.0, 2.0, 1.5}},
        {"Brightness=-1", true, {-1.0, 1.0, 1.0, 0.0}},
        {"brightness=1.5", false, {}},
        {"gamma=0", false, {}},
        {"sharpen=-1", false, {}},
        {"contrast=abc", false, {}},
        {"hue=2", false, {}},
        {"gamma=1,gamma=2", false, {}},
        {"", false, {}},
        {"gamma", false, {}},
    };
    for (const auto &c : cases) {
        tagPICTUREADJUST adjust;
        QString why;
        EXPECT_EQ(ParsePictureAdjust(QString::fromLatin1(c.text), &adjust, &why), c.ok) << c.text;
        if (c.ok)
            EXPECT_EQ(adjust, c.expected) << c.text;
        else
            EXPECT_FALSE(why.isEmpty()) << c.text;
    }
    EXPECT_EQ(PictureAdjustText({0.2, 1.0, 0.8, 1.0}), QStringLiteral("brightness +0.20, gamma 0.80, sharpen 1.00"));
}

TEST(PictureView, SharpeningKeepsFlatAreasAndSteepensEdges)
{
    QImage flat(24, 16, QImage::Format_RGB32);
    flat.fill(qRgb(90, 120, 150));
    tagPICTUREADJUST sharpen;
    sharpen.dSharpen = 2.0;
    EXPECT_EQ(AdjustPicture(flat, sharpen), flat);
    // A dark-to-light step: the dark side gets darker and the light side lighter next to it.
    QImage edge = flat;
    for (int y = 0; y < edge.height(); ++y)
        for (int x = 12; x < edge.width(); ++x)
            edge.setPixel(x, y, qRgb(160, 160, 160));
    const QImage out = AdjustPicture(edge, sharpen);
    EXPECT_LT(qRed(out.pixel(11, 8)), 90);
    EXPECT_GT(qRed(out.pixel(12, 8)), 160);
    EXPECT_EQ(out.pixel(2, 8), edge.pixel(2, 8));
}
