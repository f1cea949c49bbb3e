// Trips over generated cards: which clips make one trip, its span, distance, top speed and events,
// and `pellister-cli trips` as a script reads it.
#include "catalogue/corvanadoc.h"
#include "trips/trips.h"

#include "fixtures/minutecard.h"
#include "fixtures/tripcard.h"
#include "fixtures/testfiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

using namespace tripcard;

namespace {

constexpr double kEarthRadiusMetres = 6371008.8;
constexpr double kPi = 3.14159265358979323846;

struct tagCLIP {
    char kind;
    const char *date;
    int64_t ms;
    int durationMs;
    int64_t lastSampleMs = -1; // a second sample, for the span of a clip without a header
};

// "drive 2013-05-12 08:30:00.000 2013-05-12 08:31:00.000 2; single - - 1"
QString Spans(const QVector<tagTRIP> &trips)
{
    QStringList out;
    for (const tagTRIP &t : trips) {
        out << QStringLiteral("%1 %2 %3 %4")
                   .arg(TripKindName(t.nKind), t.bHasTime ? TripClockText(t.llStartMs) : QStringLiteral("-"),
                        t.bHasTime ? TripClockText(t.llEndMs) : QStringLiteral("-"))
                   .arg(t.nClips);
    }
    return out.join(QStringLiteral("; "));
}

TEST(TripsTest, ClipsJoinByGapAndKind)
{
    const int64_t h8 = 8 * kHour, min = 60000;
    const struct {
        const char *what;
        std::vector<tagCLIP> clips;
        double gap;
        const char *trips;
    } cases[] = {
        {"at the gap", {{'N', "130512", h8, 60000}, {'N', "130512", h8 + 2 * min, 60000}}, 60,
         "drive 2013-05-12 08:00:00.000 2013-05-12 08:03:00.000 2"},
        {"just under the gap", {{'N', "130512", h8, 60000}, {'N', "130512", h8 + 2 * min - 1, 60000}}, 60,
         "drive 2013-05-12 08:00:00.000 2013-05-12 08:02:59.999 2"},
        {"just over the gap", {{'N', "130512", h8, 60000}, {'N', "130512", h8 + 2 * min + 1, 60000}}, 60,
         "drive 2013-05-12 08:00:00.000 2013-05-12 08:01:00.000 1; "
         "drive 2013-05-12 08:02:00.001 2013-05-12 08:03:00.001 1"},
        {"a gap of 5 s", {{'N', "130512", h8, 60000}, {'N', "130512", h8 + min + 5001, 1000}}, 5,
         "drive 2013-05-12 08:00:00.000 2013-05-12 08:01:00.000 1; "
         "drive 2013-05-12 08:01:05.001 2013-05-12 08:01:06.001 1"},
        {"a parking period inside a day of drives",
         {{'N', "130512", h8, 60000},
          {'E', "130512", h8 + min, 60000},
          {'M', "130512", h8 + 2 * min, 60000},
          {'M', "130512", h8 + 3 * min, 60000},
          {'N', "130512", h8 + 4 * min, 60000}},
         60,
         "drive 2013-05-12 08:00:00.000 2013-05-12 08:02:00.000 2; "
         "parking 2013-05-12 08:02:00.000 2013-05-12 08:04:00.000 2; "
         "drive 2013-05-12 08:04:00.000 2013-05-12 08:05:00.000 1"},
        {"an Event clip inside a longer clip",
         {{'N', "130512", h8, 10 * 60000}, {'E', "130512", h8 + min, 20000}, {'N', "130512", h8 + 11 * min, 60000}},
         60, "drive 2013-05-12 08:00:00.000 2013-05-12 08:12:00.000 3"},
        {"no header, no data, no time",
         {{'N', "130512", h8, -1, h8 + 45000}, {'N', "", 0, 60000}, {'N', "131312", h8, 60000}}, 60,
         "drive 2013-05-12 08:00:00.000 2013-05-12 08:00:45.000 1; single - - 1; single - - 1"},
        {"across midnight", {{'N', "130512", 24 * kHour - 30000, 60000}, {'N', "130513", 40000, 60000}}, 60,
         "drive 2013-05-12 23:59:30.000 2013-05-13 00:01:40.000 2"},
        {"across a year", {{'N', "131231", 24 * kHour - 30000, 60000}, {'N', "140101", 30000, 60000}}, 60,
         "drive 2013-12-31 23:59:30.000 2014-01-01 00:01:30.000 2"},
    };
    for (const auto &c : cases) {
        CCard card;
        for (const tagCLIP &clip : c.clips) {
            QStringList lines;
            if (clip.lastSampleMs >= 0)
                lines = {Accel(clip.ms, 0, 0, 1), Accel(clip.lastSampleMs, 0, 0, 1)};
            card.Clip(clip.kind, clip.date, clip.ms, clip.durationMs, lines);
        }
        tagTRIPSETTINGS settings;
        settings.dGapSeconds = c.gap;
        EXPECT_EQ(c.trips, Spans(card.Trips(settings)).toStdString()) << c.what;
    }
}

// A route of 180 fixes a second apart over three clips, 120 steps north then 59 east (80 and 63
// km/h), with one more fix half a second after fix `at`, `ahead` metres north of it, or with an
// Event clip that repeats fixes 50 to 69.
TEST(TripsTest, DistanceAndTopSpeedFromValidFixes)
{
    const double lat0 = 37.5, lon0 = 127.0, step = 0.0002, metresPerDegree = kEarthRadiusMetres * kPi / 180;
    const double known = metresPerDegree * (120 * step + std::cos((lat0 + 120 * step) * kPi / 180) * 59 * step);
    const struct {
        const char *what;
        char status; // of the route's fixes
        int at;      // -1: no extra fix
        double ahead;
        char extraStatus;
        double longer; // metres beyond the route
        const char *maxSpeed;
        bool eventCopy = false;
    } cases[] = {
        {"the route", 'A', -1, 0, 'A', 0, "83.3"},
        {"an Event clip over the same stretch", 'A', -1, 0, 'A', 0, "83.3", true},
        {"a V fix far off, at 400 knots", 'A', 30, 100000, 'V', 0, "83.3"},
        {"a step of 306 km/h, at 400 knots", 'A', 90, 42.5, 'A', 0, "83.3"},
        {"a step of 288 km/h, at 400 knots", 'A', 90, 40, 'A', 2 * (40 - step * metresPerDegree), "740.8"},
        {"a first fix far off, at 400 knots", 'A', 0, -1000, 'A', 0, "83.3"},
        {"no valid fix", 'V', -1, 0, 'A', -known, ""},
    };
    for (const auto &c : cases) {
        CCard card;
        QStringList route;
        for (int clip = 0; clip < 3; ++clip) {
            QStringList lines;
            for (int k = clip * 60; k < clip * 60 + 60; ++k) {
                const double lat = lat0 + std::min(k, 120) * step, lon = lon0 + std::max(k - 120, 0) * step;
                const int64_t ms = 8 * kHour + k * 1000;
                route << Rmc(ms, lat, lon, k == 0 ? 45.0 : 40.0, c.status);
                lines << route.last();
                if (k == c.at)
                    lines.insert(k ? lines.size() : 0,
                                 Rmc(ms + (k ? 500 : -500), lat + c.ahead / metresPerDegree, lon, 400, c.extraStatus));
            }
            card.Clip('N', "130512", 8 * kHour + clip * 60000, 60000, lines);
        }
        if (c.eventCopy)
            card.Clip('E', "130512", 8 * kHour + 50000, 20000, route.mid(50, 20));
        const QVector<tagTRIP> trips = card.Trips();
        ASSERT_EQ(1, trips.size()) << c.what;
        EXPECT_NEAR(known + c.longer, trips[0].dDistanceMetres, 1.0) << c.what;
        EXPECT_EQ(c.maxSpeed, trips[0].bHasMaxSpeed ? QString::number(trips[0].dMaxSpeedKmh, 'f', 1).toStdString() : "")
            << c.what;
    }
}

struct tagEVENTCLIP {
    char kind;
    int64_t ms;
    int durationMs;
    std::vector<std::array<double, 4>> samples; // ms from the clip's start, x, y, z
};

// Per trip, its events as reason and time of day: "E08:00:00.000 G08:00:10.000 | G08:01:05.000".
QString Events(const QVector<tagTRIP> &trips)
{
    QStringList out;
    for (const tagTRIP &t : trips) {
        QStringList events;
        for (const tagTRIPEVENT &e : t.vecEvents)
            events << QStringLiteral("EUG").at(e.nReason) + TripClockText(e.llTimeMs).mid(11);
        out << events.join(QLatin1Char(' '));
    }
    return out.join(QStringLiteral(" | "));
}

TEST(TripsTest, EventsFromKindsAndPeaks)
{
    const int64_t h8 = 8 * kHour;
    // Around 10 s one shake on each axis in turn (|Z - 1| for Z), then exactly 0.5 g (not above),
    // then peaks 6.6 s, 2.0 s and 2.1 s after the one before.
    const std::vector<std::array<double, 4>> shakes = {
        {10000, 0.6, 0, 1},   {11500, 0, -0.6, 1}, {13400, 0, 0, 0.4},    {15500, 0, 0, 1.5},
        {16000, 0.5, 0, 1},   {20000, 0, 0, 1.6},  {22000, -0.51, 0, 1}, {24100, 0, 0.9, 1},
    };
    const struct {
        const char *what;
        std::vector<tagEVENTCLIP> clips;
        double threshold;
        const char *events;
    } cases[] = {
        {"Event and User recordings",
         {{'E', h8, 60000, {}}, {'F', h8 + 60000, 60000, {}}, {'N', h8 + 120000, 60000, {}}}, 0.5,
         "E08:00:00.000 U08:01:00.000"},
        {"peaks merged within 2 s", {{'N', h8, 60000, shakes}}, 0.5, "G08:00:10.000 G08:00:20.000 G08:00:24.100"},
        {"a higher threshold", {{'N', h8, 60000, shakes}}, 0.7, "G08:00:24.100"},
        {"a sensor that reads Z -1 g at rest",
         {{'N', h8, 60000, {{1000, 0, 0, -1}, {2000, 0, 0, -0.98}, {3000, 0, 0, -1.6}, {4000, 0, 0, -1}}}}, 0.5,
         "G08:00:03.000"},
        {"one shock in two overlapping clips",
         {{'N', h8, 60000, {{55000, 0, 0, 2}}}, {'E', h8 + 50000, 20000, {{5000, 0, 0, 2}}}}, 0.5,
         "E08:00:50.000 G08:00:55.000"},
        {"a drive's and a parking period's", {{'N', h8, 60000, {{5000, 1, 0, 1}}}, {'M', h8 + 60000, 60000, {{5000, 1, 0, 1}}}},
         0.5, "G08:00:05.000 | G08:01:05.000"},
    };
    for (const auto &c : cases) {
        CCard card;
        for (const tagEVENTCLIP &clip : c.clips) {
            QStringList lines;
            for (const auto &a : clip.samples)
                lines << Accel(clip.ms + int64_t(a[0]), a[1], a[2], a[3]);
            card.Clip(clip.kind, "130512", clip.ms, clip.durationMs, lines);
        }
        tagTRIPSETTINGS settings;
        settings.dPeakThresholdG = c.threshold;
        EXPECT_EQ(c.events, Events(card.Trips(settings)).toStdString()) << c.what;
    }
}

TEST(TripsTest, ATeslaEventIsMarkedAtTheMomentItsFileTells)
{
    // Minute-long clips: a saved event at 08:16:30 inside the second clip, a Sentry event at
    // 09:00:20; an event folder without a time marks its User recording at the start.
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const struct {
        const char *folder, *clip, *eventJson;
    } files[] = {
        {"SavedClips/2024-03-15_08-17-00", "2024-03-15_08-15-00", R"({"timestamp":"2024-03-15T08:16:30"})"},
        {"SavedClips/2024-03-15_08-17-00", "2024-03-15_08-16-00", R"({"timestamp":"2024-03-15T08:16:30"})"},
        {"SentryClips/2024-03-15_09-01-00", "2024-03-15_09-00-00", R"({"timestamp":"2024-03-15T09:00:20"})"},
        {"SavedClips/2024-03-15_10-01-00", "2024-03-15_10-00-00", R"({"reason":"user_interaction_dashcam"})"},
    };
    for (const auto &f : files) {
        const QString folder = root.filePath(QStringLiteral("TeslaCam/") + QLatin1String(f.folder));
        ASSERT_TRUE(testfiles::Write(folder + QLatin1Char('/') + QLatin1String(f.clip) + "-front.mp4",
                                     ClipHeader(true)));
        ASSERT_TRUE(testfiles::Write(folder + QStringLiteral("/event.json"), f.eventJson));
    }
    CCorvanaDoc doc;
    doc.SetFolder(root.path());
    doc.LoadFolder();
    ASSERT_EQ(doc.Count(), 4);
    EXPECT_EQ(Events(BuildTrips(doc, {})).toStdString(), "U08:15:00.000 U08:16:30.000 | E09:00:20.000 | U10:00:00.000");
}

TEST(TripsTest, CliPrintsOneLinePerTrip)
{
    const int64_t h8 = 8 * kHour;
    CCard card;
    QStringList fixes;
    for (int k = 0; k < 60; ++k)
        fixes << Rmc(h8 + k * 1000, 37.5 + k * 0.0002, 127.0, 40.0);
    card.Clip('N', "130512", h8, 60000, fixes);
    card.Clip('E', "130512", h8 + 70000, 30000);
    card.Clip('M', "130512", h8 + 100000, 60000);
    card.Clip('N', "", 0, 60000);
    const QString gpx = card.Path() + QStringLiteral("/day.gpx");
    ASSERT_TRUE(testfiles::Write(gpx, "<gpx version=\"1.1\"><trk><trkseg><trkpt lat=\"37.5\" lon=\"127\">"
                                      "<time>2013-05-12T00:00:00Z</time></trkpt></trkseg></trk></gpx>"));
    const QString cli = testfiles::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
    const auto line = [](int index, const char *rest) { return QByteArray::number(index) + '\t' + rest + '\n'; };
    const char drive[] = "drive\t2013-05-12 08:00:00.000\t2013-05-12 08:01:40.000\t2\t1.31\t74.1\t1";
    const char parking[] = "parking\t2013-05-12 08:01:40.000\t2013-05-12 08:02:40.000\t1\t0.00\t\t0";
    const char single[] = "single\t\t\t1\t0.00\t\t0";
    const struct {
        QStringList args;
        int exitCode;
        QByteArray out;
    } cases[] = {
        {{}, 0, line(0, drive) + line(1, parking) + line(2, single)},
        {{QStringLiteral("--track"), gpx}, 0, line(0, drive) + line(1, parking) + line(2, single)},
        {{QStringLiteral("--gap"), QStringLiteral("9.999")}, 0,
         line(0, "drive\t2013-05-12 08:00:00.000\t2013-05-12 08:01:00.000\t1\t1.31\t74.1\t0") +
             line(1, "drive\t2013-05-12 08:01:10.000\t2013-05-12 08:01:40.000\t1\t0.00\t\t1") + line(2, parking) +
             line(3, single)},
        {{QStringLiteral("--gap"), QStringLiteral("-1")}, 2, ""},
        {{QStringLiteral("--gap"), QStringLiteral("ten")}, 2, ""},
        {{QStringLiteral("--gap"), QStringLiteral("nan")}, 2, ""},
        {{QStringLiteral("--gap")}, 2, ""},
        {{QStringLiteral("--gaps"), QStringLiteral("5")}, 2, ""},
    };
    for (const auto &c : cases) {
        const auto r = testfiles::Run(cli, QStringList{QStringLiteral("trips"), card.Path()} + c.args);
        EXPECT_EQ(c.exitCode, r.exitCode) << c.args.join(' ').toStdString() << r.err.constData();
        EXPECT_EQ(c.out, r.out) << c.args.join(' ').toStdString();
        EXPECT_EQ(c.exitCode != 0, !r.err.isEmpty()) << c.args.join(' ').toStdString();
    }
}

} // namespace
