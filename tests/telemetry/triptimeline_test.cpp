// The trip timeline's layout on a generated card (x of a time, the clip in a column, event markers,
// the columns of the curves) and a trip's route for the map.
#include "catalogue/corvanadoc.h"
#include "trips/trips.h"
#include "trips/triptimeline.h"

#include "fixtures/tripcard.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tripcard;

namespace {

constexpr int64_t kH8 = 8 * kHour;

// One drive of 3 minutes laid out 1800 pixels wide (a pixel per 100 ms): A and B one after the
// other, an Event clip C over the second half of B (lane 1) with a shock of 0.8 g 10 s in, a gap,
// then D.
//   A 08:00:00 +60 s   fixes at +10 s (20 kn), +20 s void, +21 s and +30 s (30 kn)
//   B 08:01:00 +60 s
//   C 08:01:30 +20 s   Event
//   D 08:02:30 +30 s
TEST(TripTimeline, LayoutOfATrip)
{
    CCard card;
    card.Clip('N', "130512", kH8, 60000,
              {Accel(kH8, 0, 0, 1), Accel(kH8 + 30000, 0, 0, 1), Rmc(kH8 + 10000, 37.5, 127.0, 20),
               Rmc(kH8 + 20000, 37.5, 127.0, 0, 'V'), Rmc(kH8 + 21000, 37.5, 127.0, 30), Rmc(kH8 + 30000, 37.5, 127.0, 30)});
    card.Clip('N', "130512", kH8 + 60000, 60000);
    card.Clip('E', "130512", kH8 + 90000, 20000, {Accel(kH8 + 90000, 0, 0, 1), Accel(kH8 + 100000, 0.8, 0, 1)});
    card.Clip('N', "130512", kH8 + 150000, 30000);
    CCorvanaDoc doc;
    card.Load(&doc);
    const QVector<tagTRIP> trips = BuildTrips(doc);
    ASSERT_EQ(trips.size(), 1);
    CTripTimeline tl;
    tl.Build(doc, trips[0], SpeedUnit::Kmh);
    tl.SetContentWidth(1800);
    ASSERT_EQ(tl.EndMs() - tl.StartMs(), 180000);
    const int64_t start = tl.StartMs();

    const struct {
        int64_t ms, x;
    } xs[] = {{0, 0}, {99, 0}, {100, 1}, {-1, -1}, {60000, 600}, {179999, 1799}, {180000, 1800}};
    for (const auto &c : xs) {
        EXPECT_EQ(tl.XOfTime(start + c.ms), c.x) << c.ms;
        if (c.x >= 0) {
            EXPECT_EQ(tl.TimeOfX(c.x), start + (c.x * 100)) << c.x;
        }
    }

    // Catalogue order is time order: A 0, B 1, C 2, D 3.
    const struct {
        int64_t x;
        int lane;
        int recording; // -1: none
    } clips[] = {
        {100, 0, 0},  {599, 0, 0},  {600, 0, 1},  {950, 1, 2},  {950, 0, 1},   {1099, 1, 2}, {1100, 1, 1},
        {1199, 0, 1}, {1200, 0, -1}, {1250, 0, -1}, {1499, 0, -1}, {1500, 0, 3}, {1799, 1, 3}, {1800, 0, -1}, {-1, 0, -1},
    };
    for (const auto &c : clips) {
        const int at = tl.ClipAt(c.x, c.lane);
        EXPECT_EQ(at < 0 ? -1 : tl.Clips()[at].nIndex, c.recording) << "x " << c.x << " lane " << c.lane;
    }
    EXPECT_EQ(tl.Clips()[tl.ClipOfRecording(2)].nLane, 1);
    EXPECT_EQ(tl.Clips()[tl.ClipOfRecording(3)].nLane, 0);

    // Events: the Event recording at x 900, the shock at x 1000 (found in C).
    ASSERT_EQ(tl.Events().size(), 2);
    const struct {
        int64_t x;
        int tolerance, event;
    } events[] = {{903, 5, 0}, {895, 5, 0}, {906, 5, -1}, {997, 5, 1}, {1005, 5, 1}, {950, 100, 0}, {1700, 5, -1}};
    for (const auto &c : events)
        EXPECT_EQ(tl.EventAt(c.x, c.tolerance), c.event) << "x " << c.x;
    EXPECT_EQ(tl.Clips()[tl.ClipOfEvent(1)].nIndex, 2);
    EXPECT_EQ(tl.EventsBetween(0, 999), std::make_pair(0, 1));

    // Columns: |g| 0 at rest, 0.8 at the shock, none where no sample lies; the speed curve breaks
    // after the void fix and goes on after the next valid one.
    EXPECT_NEAR(tl.GColumns()[1000], 0.8, 1e-6);
    EXPECT_NEAR(tl.GColumns()[0], 0.0, 1e-6);
    EXPECT_EQ(tl.GColumns()[500], -1.0f);
    const auto &speed = tl.SpeedColumns();
    EXPECT_TRUE(speed[100].bAny && !speed[100].bJoined);
    EXPECT_NEAR(speed[100].fFirst, 37.04, 1e-3);
    EXPECT_FALSE(speed[200].bAny);
    EXPECT_TRUE(speed[210].bAny && !speed[210].bJoined);
    EXPECT_TRUE(speed[300].bAny && speed[300].bJoined);
    EXPECT_NEAR(tl.TopSpeed(), 55.56, 1e-3);

    // Narrower, the same trip: columns follow the width.
    tl.SetContentWidth(180);
    EXPECT_EQ(tl.XOfTime(start + 100000), 100);
    EXPECT_NEAR(tl.GColumns()[100], 0.8, 1e-6);
    EXPECT_EQ(tl.ClipAt(95, 1), tl.ClipOfRecording(2));
}

// Eleven fixes a second apart, 22 m north each; a bad fix (10 km off, half a second later) after
// fix `at`, or instead of fix 0.
TEST(TripTimeline, RouteLeavesOutJumpsAndKeepsItsEnds)
{
    const struct {
        const char *what;
        int at; // -1: none
        int maxPoints;
        std::vector<int> fixes; // of the eleven, in order
    } cases[] = {
        {"all", -1, 100, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"a jump after fix 5", 5, 100, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"a bad first fix", 0, 100, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"thinned to three", -1, 3, {0, 5, 10}},
    };
    for (const auto &c : cases) {
        CCard card;
        QStringList lines;
        for (int k = 0; k < 11; ++k) {
            if (k == 0 && c.at == 0) {
                lines << Rmc(kH8, 37.6, 127.0, 40);
                continue;
            }
            lines << Rmc(kH8 + k * 1000, 37.5 + k * 0.0002, 127.0, 40);
            if (k == c.at)
                lines << Rmc(kH8 + k * 1000 + 500, 37.6, 127.0, 40);
        }
        card.Clip('N', "130512", kH8, 60000, lines);
        CCorvanaDoc doc;
        card.Load(&doc);
        const QVector<tagTRIP> trips = BuildTrips(doc);
        ASSERT_EQ(trips.size(), 1);
        std::vector<int> got;
        for (const tagGPSINFO &g : TripRoute(doc, trips[0], c.maxPoints))
            got.push_back(static_cast<int>(std::lround((g.dLat - 37.5) / 0.0002)));
        EXPECT_EQ(got, c.fixes) << c.what;
    }
}

} // namespace
