// Our readers of other cameras' telemetry against independent decoders of the same files:
// exiftool for GPMF and CAMM clips (real H.264 clips that ffprobe lists with their data track),
// gpsbabel for NMEA logs and GPX tracks.
#include "catalogue/cameraclock.h"
#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"
#include "catalogue/gpxtrack.h"
#include "catalogue/mp4boxes.h"
#include "catalogue/nmealog.h"
#include "fixtures/telemetryclips.h"
#include "fixtures/testfiles.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace telemetryclips;

QString Tool(const char *name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

qint64 UtcMs(int h, int m, int s, int ms = 0)
{
    return QDateTime(QDate(2014, 10, 17), QTime(h, m, s, ms), QTimeZone::utc()).toMSecsSinceEpoch();
}

// A drive of n fixes at hz, starting at utc, with speed and course changing as it goes.
QVector<Fix> Drive(int n, int hz, qint64 utc, double clipOffset = 0.0)
{
    QVector<Fix> fixes;
    for (int i = 0; i < n; ++i) {
        Fix f;
        f.clipTime = clipOffset + double(i) / hz;
        f.utcMs = utc + i * 1000LL / hz;
        f.lat = 37.5662 + 0.0000731 * i;
        f.lon = 126.9779 - 0.0000417 * i;
        f.alt = 38.2 + 0.1 * i; // gpsbabel's unicsv gives one decimal
        f.speed = 12.5 + 0.25 * (i % 7);
        f.course = std::fmod(20.0 + 7.5 * i, 360.0);
        f.dop = 0.8;
        fixes << f;
    }
    return fixes;
}

// The same fixes in the southern and western hemispheres.
QVector<Fix> SouthWest(QVector<Fix> fixes)
{
    for (Fix &f : fixes) {
        f.lat = -f.lat;
        f.lon = -f.lon;
    }
    return fixes;
}

QVector<Accel> Shake(int n, int hz)
{
    QVector<Accel> accel;
    for (int i = 0; i < n; ++i)
        accel.append(
            {double(i) / hz, 0.5 * std::sin(i * 0.3), -2.0 + 0.1 * i, kStandardGravity + 0.2 * std::cos(i)});
    return accel;
}

// exiftool's reading of the embedded documents of a clip (-ee3: every sample of every document).
struct ExifFix {
    double sampleTime = -1.0; // start of the document (MP4 sample) that holds the fix
    bool firstOfSample = false;
    QString dateTime; // GPSDateTime, given for the first fix of a sample only
    double lat = 0, lon = 0, alt = 0, speed = -1;
    double east = 0, north = 0;
    bool velocity = false;
};

QVector<ExifFix> ExifFixes(const QByteArray &listing)
{
    QVector<ExifFix> fixes;
    double sampleTime = -1.0;
    QString pendingTime;
    bool first = false;
    for (const QByteArray &raw : listing.split('\n')) {
        const QByteArray line = raw.trimmed();
        const int colon = line.indexOf(": "), bracket = line.indexOf("] ");
        if (!line.startsWith("[Doc") || colon < 0 || bracket < 0)
            continue;
        const QByteArray tag = line.mid(bracket + 2, colon - bracket - 2), value = line.mid(colon + 2);
        if (tag == "SampleTime") {
            sampleTime = value.toDouble();
            first = true;
            pendingTime.clear();
        } else if (tag == "GPSDateTime") {
            pendingTime = QString::fromLatin1(value);
        } else if (tag == "GPSLatitude") {
            ExifFix f;
            f.sampleTime = sampleTime;
            f.firstOfSample = first;
            f.dateTime = pendingTime;
            f.lat = value.toDouble();
            fixes << f;
            first = false;
            pendingTime.clear();
        } else if (!fixes.isEmpty()) {
            ExifFix &f = fixes.last();
            if (tag == "GPSLongitude")
                f.lon = value.toDouble();
            else if (tag == "GPSAltitude")
                f.alt = value.toDouble();
            else if (tag == "GPSSpeed")
                f.speed = value.toDouble();
            else if (tag == "GPSVelocityEast")
                f.east = value.toDouble(), f.velocity = true;
            else if (tag == "GPSVelocityNorth")
                f.north = value.toDouble();
        }
    }
    return fixes;
}

// "2014:10:17 01:05:00.000" or "2014:10:17 01:10:16.005Z", always UTC.
qint64 ExifUtcMs(QString text)
{
    text.remove(QLatin1Char('Z'));
    QDateTime t = QDateTime::fromString(text, QStringLiteral("yyyy:MM:dd HH:mm:ss.zzz"));
    if (!t.isValid())
        t = QDateTime::fromString(text, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    t.setTimeZone(QTimeZone::utc());
    return t.isValid() ? t.toMSecsSinceEpoch() : -1;
}

// The accelerations exiftool gives, document by document (GPMF's Accelerometer holds many).
QVector<double> ExifAccelValues(const QByteArray &json)
{
    const QJsonObject o = QJsonDocument::fromJson(json).array().at(0).toObject();
    QMap<int, QString> docs;
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = it.key();
        if (key.startsWith(QLatin1String("Doc")) &&
            (key.endsWith(QLatin1String(":Accelerometer")) || key.endsWith(QLatin1String(":Acceleration"))))
            docs.insert(key.mid(3, key.indexOf(QLatin1Char(':')) - 3).toInt(), it.value().toString());
    }
    QVector<double> values;
    for (const QString &d : docs)
        for (const QString &v : d.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            values << v.toDouble();
    return values;
}

// GPMF and CAMM clips: ffprobe sees the video and the data track; exiftool and ReadMp4Telemetry
// read the same fixes (positions within 1e-6 degrees, speeds within 0.01 m/s, times within 1 ms
// where exiftool gives them) and the same accelerations.
TEST(CrossCheck, Mp4TelemetryAgreesWithExiftool)
{
    const QString exiftool = Tool("exiftool"), ffprobe = Tool("ffprobe");
    if (exiftool.isEmpty() || ffprobe.isEmpty() || Tool("ffmpeg").isEmpty())
        FAIL() << "exiftool, ffmpeg or ffprobe missing (scripts/setup --tests installs them)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDateTime creation = Utc(UtcMs(1, 5, 0));
    // The recorder's time zone, UTC+9: local times differ from UTC whatever this computer's zone.
    ASSERT_TRUE(testfiles::Write(dir.filePath(QStringLiteral("configuration/qx310_blackbox.conf")), "CITY_INDEX=116\r\n"));

    GpmfClip gpmf;
    gpmf.seconds = 3;
    gpmf.creation = creation;
    gpmf.fixes = Drive(30, 10, UtcMs(1, 5, 0));
    gpmf.accel = Shake(600, 200);
    CammClip camm;
    camm.seconds = 3;
    camm.creation = creation;
    // Fixes 5 ms after each tenth of a second, accelerations every 20 ms from 0: no two at once.
    camm.fixes = Drive(25, 10, UtcMs(1, 5, 0, 5), 0.005);
    camm.accel = Shake(150, 50);
    CammClip minimal = camm;
    minimal.minimalGps = true;
    minimal.accel.clear();
    minimal.fixes = Drive(3, 1, UtcMs(1, 5, 0));

    QString cammError, minimalError;
    const QString gpmfPath = WriteGpmfClip(dir.path(), QStringLiteral("gpmf.mp4"), gpmf);
    const QString cammPath = WriteCammClip(dir.path(), QStringLiteral("camm.mp4"), camm, &cammError);
    const QString minimalPath =
        WriteCammClip(dir.path(), QStringLiteral("minimal.mp4"), minimal, &minimalError);
    ASSERT_TRUE(cammError.isEmpty() && minimalError.isEmpty())
        << cammError.toStdString() << minimalError.toStdString();

    const struct {
        const char *name;
        QByteArray entry;
        QString path;
        int fixes, samples;
        int timed; // fixes that exiftool gives a GPS time for: GPMF's first of each second, CAMM's all
    } cases[] = {
        {"GPMF GPS5 10 Hz, ACCL 200 Hz", "gpmd", gpmfPath, 30, 600, 3},
        {"CAMM GPS 10 Hz, acceleration 50 Hz", "camm", cammPath, 25, 150, 25},
        {"CAMM minimal GPS", "camm", minimalPath, 3, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.path.isEmpty());

        const auto probe = testfiles::Run(
            ffprobe, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                      QStringLiteral("stream=codec_type,codec_tag_string"), QStringLiteral("-of"),
                      QStringLiteral("csv=p=0"), c.path});
        EXPECT_EQ(QByteArray("video,avc1\ndata,") + c.entry, probe.out.trimmed());

        tagTRACKTELEMETRY ours;
        QString error;
        ASSERT_EQ(1, ReadMp4Telemetry(c.path, &ours, &error)) << error.toStdString();
        ASSERT_EQ(c.fixes, ours.vecFix.size());
        ASSERT_EQ(c.samples, ours.vecAccel.size());
        EXPECT_EQ(0, ours.bTooLarge);

        const auto listing = testfiles::Run(exiftool, {QStringLiteral("-ee3"), QStringLiteral("-a"),
                                                       QStringLiteral("-n"), QStringLiteral("-G3"),
                                                       QStringLiteral("-s"), QStringLiteral("-s"), c.path});
        ASSERT_EQ(0, listing.exitCode) << listing.err.constData();
        const QVector<ExifFix> theirs = ExifFixes(listing.out);
        ASSERT_EQ(c.fixes, theirs.size());
        int timed = 0;
        for (int i = 0; i < c.fixes; ++i) {
            const tagTRACKFIX &a = ours.vecFix[i];
            const ExifFix &b = theirs[i];
            SCOPED_TRACE(i);
            EXPECT_EQ('A', a.cStatus);
            EXPECT_NEAR(b.lat, a.dLat, 1e-6);
            EXPECT_NEAR(b.lon, a.dLon, 1e-6);
            EXPECT_NEAR(b.alt, a.dAlt, 1e-3);
            if (b.velocity || b.speed >= 0) {
                EXPECT_NEAR(b.velocity ? std::hypot(b.east, b.north) : b.speed, a.dSpeed, 0.01);
            }
            if (b.firstOfSample) {
                EXPECT_NEAR(b.sampleTime, a.dTime, 0.001);
            }
            EXPECT_EQ(c.timed > 0, a.bHasUtc);
            if (!b.dateTime.isEmpty() && a.bHasUtc) {
                // exiftool takes CAMM's GPS time for UTC, without the leap seconds.
                const qint64 leap =
                    b.dateTime.endsWith(QLatin1Char('Z')) ? GpsLeapSeconds(a.nUtcMs) * 1000LL : 0;
                EXPECT_NEAR(double(ExifUtcMs(b.dateTime) - leap), double(a.nUtcMs), 1.0)
                    << b.dateTime.toStdString();
                ++timed;
            }
        }
        EXPECT_EQ(c.timed, timed);

        // What the views and the GPX export get through the catalogue: the same positions and
        // speeds, at the clip times and UTC times exiftool gives.
        const tagDATAFILEINFO rec = CCorvanaDoc::RecordOfClip(c.path);
        ASSERT_EQ(c.fixes, rec.vecGps.size());
        const QVector<tagGPSINFO> utc = FixesInUtc(rec);
        int64_t start = 0;
        ASSERT_TRUE(TimeKey(rec.stSyncTime, &start));
        for (int i = 0; i < c.fixes; ++i) {
            const ExifFix &b = theirs[i];
            SCOPED_TRACE(i);
            EXPECT_NEAR(b.lat, utc[i].dLat, 1e-6);
            EXPECT_NEAR(b.lon, utc[i].dLon, 1e-6);
            if (!b.velocity && b.speed >= 0)
                EXPECT_NEAR(b.speed * 3600 / 1852, utc[i].dSpeedKnots, 0.01);
            int64_t key = 0, ms = 0;
            ASSERT_TRUE(TimeKey(rec.vecGps[i].stTime, &key));
            if (b.firstOfSample)
                EXPECT_NEAR(b.sampleTime * 1000, double(key - start), 1.0);
            if (!b.dateTime.isEmpty() && c.timed > 0 && WallClockMs(utc[i].stTime, &ms)) {
                const qint64 leap = b.dateTime.endsWith(QLatin1Char('Z')) ? GpsLeapSeconds(ms) * 1000LL : 0;
                EXPECT_NEAR(double(ExifUtcMs(b.dateTime) - leap), double(ms), 1.0);
            }
        }

        // Accelerations in m/s²: GPMF's in the file's order Y, -X, Z, CAMM's X, Y, Z.
        const auto json = testfiles::Run(exiftool, {QStringLiteral("-ee3"), QStringLiteral("-n"),
                                                    QStringLiteral("-j"), QStringLiteral("-G3"),
                                                    QStringLiteral("-b"), QStringLiteral("-Accelerometer"),
                                                    QStringLiteral("-Acceleration"), c.path});
        const QVector<double> values = ExifAccelValues(json.out);
        ASSERT_EQ(3 * c.samples, values.size());
        const bool gpmd = c.entry == "gpmd";
        for (int i = 0; i < c.samples; ++i) {
            const tagTRACKSAMPLE &s = ours.vecAccel[i];
            const double x = gpmd ? -values[3 * i + 1] : values[3 * i],
                         y = gpmd ? values[3 * i] : values[3 * i + 1];
            EXPECT_NEAR(x / kStandardGravity, s.fX, 1e-5) << i;
            EXPECT_NEAR(y / kStandardGravity, s.fY, 1e-5) << i;
            EXPECT_NEAR(values[3 * i + 2] / kStandardGravity, s.fZ, 1e-5) << i;
        }
    }
}

// gpsbabel's points by UTC time (ms): unicsv with a header line naming the columns.
struct BabelPoint {
    double lat = 0, lon = 0, alt = 0, speed = -1, course = -1;
    bool hasAlt = false;
};

QMap<qint64, BabelPoint> BabelPoints(const QByteArray &csv, int *count)
{
    QMap<qint64, BabelPoint> points;
    const QList<QByteArray> lines = csv.trimmed().split('\n');
    *count = 0;
    if (lines.isEmpty())
        return points;
    const QList<QByteArray> header = lines[0].trimmed().split(',');
    const auto col = [&](const char *name) { return header.indexOf(name); };
    const int lat = col("Latitude"), lon = col("Longitude"), alt = col("Altitude"), speed = col("Speed"),
              course = col("Course"), date = col("Date"), time = col("Time");
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].trimmed().split(',');
        if (f.size() != header.size() || date < 0 || time < 0)
            continue;
        const QString when = QString::fromLatin1(f[date] + ' ' + f[time]);
        QDateTime t = QDateTime::fromString(when, QStringLiteral("yyyy/MM/dd HH:mm:ss.zzz"));
        if (!t.isValid())
            t = QDateTime::fromString(when, QStringLiteral("yyyy/MM/dd HH:mm:ss"));
        t.setTimeZone(QTimeZone::utc());
        BabelPoint p;
        p.lat = f[lat].toDouble();
        p.lon = f[lon].toDouble();
        p.hasAlt = alt >= 0 && !f[alt].isEmpty();
        p.alt = p.hasAlt ? f[alt].toDouble() : 0.0;
        if (speed >= 0 && !f[speed].isEmpty())
            p.speed = f[speed].toDouble();
        if (course >= 0 && !f[course].isEmpty())
            p.course = f[course].toDouble();
        points.insert(t.toMSecsSinceEpoch(), p);
        ++*count;
    }
    return points;
}

testfiles::RunResult Gpsbabel(const char *format, const QString &path)
{
    return testfiles::Run(Tool("gpsbabel"),
                          {QStringLiteral("-t"), QStringLiteral("-i"), QString::fromLatin1(format),
                           QStringLiteral("-f"), path, QStringLiteral("-o"), QStringLiteral("unicsv"),
                           QStringLiteral("-F"), QStringLiteral("-")});
}

// NMEA logs with the damage that real loggers leave, five fixes each, the third one damaged: which
// fixes each reader keeps ('1' in the strings, by fix), and for the fixes both keep the same time,
// position, altitude and speed. The damage is shown on RMC-only logs: once gpsbabel has seen a GGA,
// an RMC only completes the GGA point before it, giving it the RMC's time, so a lost GGA line
// would shift its times. Where the two differ it is on purpose:
// - we read a whole sentence without checksum, a "[ms since the epoch]" prefix and NUL bytes before
//   a sentence; gpsbabel drops a line without checksum after lines with one (it may be cut), and
//   every line that does not begin with '$';
// - we split glued sentences at the '$'; gpsbabel drops a line with two;
// - a GGA alone makes no fix of ours (it has no date); gpsbabel makes a point of it.
TEST(CrossCheck, NmeaLogsAgreeWithGpsbabel)
{
    if (Tool("gpsbabel").isEmpty())
        FAIL() << "gpsbabel missing (scripts/setup --tests installs it)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        const char *name;
        int hz;
        const char *talker;
        NmeaDamage damage;
        bool epochPrefix, gga, secondTalker, southWest;
        const char *ours, *babel;
    } cases[] = {
        {"1 Hz GP, RMC and GGA", 1, "GP", NmeaDamage::None, false, true, false, false, "11111", "11111"},
        {"south and west", 1, "GP", NmeaDamage::None, false, true, false, true, "11111", "11111"},
        {"10 Hz GN, RMC and GGA", 10, "GN", NmeaDamage::None, false, true, false, false, "11111", "11111"},
        {"bad checksum", 10, "GN", NmeaDamage::BadChecksum, false, false, false, false, "11011", "11011"},
        {"bad checksum, GGA kept", 10, "GN", NmeaDamage::BadChecksum, false, true, false, false, "11011",
         "11111"},
        {"no checksum", 1, "GN", NmeaDamage::NoChecksum, false, false, false, false, "11111", "11011"},
        {"void with a position", 1, "GP", NmeaDamage::Void, false, true, false, false, "11011", "11011"},
        {"void, empty fields", 10, "GN", NmeaDamage::EmptyFields, false, true, false, false, "11011",
         "11011"},
        {"glued to the next RMC", 1, "GN", NmeaDamage::Glued, false, false, false, false, "11111", "11001"},
        {"cut after the longitude", 10, "GN", NmeaDamage::Cut, false, false, false, false, "11011", "11011"},
        {"NUL bytes before the line", 1, "GN", NmeaDamage::NulBytes, false, false, false, false, "11111",
         "11011"},
        {"[epoch ms] prefix", 10, "GN", NmeaDamage::None, true, false, false, false, "11111", "11011"},
        {"GN and GP of one fix", 1, "GN", NmeaDamage::None, false, true, true, false, "11111", "11111"},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QVector<NmeaFix> log;
        QVector<Fix> fixes = Drive(5, c.hz, UtcMs(1, 15, 0) + 1000LL * n);
        if (c.southWest)
            fixes = SouthWest(fixes);
        for (int i = 0; i < fixes.size(); ++i) {
            NmeaFix f;
            f.fix = fixes[i];
            f.talker = c.talker;
            f.gga = c.gga;
            if (i == 2) {
                f.damage = c.damage;
                f.epochPrefix = c.epochPrefix;
            }
            log << f;
            if (i == 2 && c.secondTalker) {
                f.talker = "GP";
                log << f;
            }
        }
        const QString path = dir.filePath(QStringLiteral("log%1.nmea").arg(n++));
        ASSERT_TRUE(testfiles::Write(path, NmeaLog(log)));

        CNmeaLog nmea;
        nmea.Load(path);
        QMap<qint64, const tagNMEAFIX *> ours;
        for (const tagNMEAFIX &f : nmea.Fixes()) {
            const SYSTEMTIME &t = f.fix.stTime;
            if (f.fix.cStatus == 'A')
                ours.insert(QDateTime(QDate(2000 + t.wYear % 100, t.wMonth, t.wDay),
                                      QTime(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds), QTimeZone::utc())
                                .toMSecsSinceEpoch(),
                            &f);
        }
        const auto babel = Gpsbabel("nmea", path);
        ASSERT_EQ(0, babel.exitCode) << babel.err.constData();
        int babelCount = 0;
        const QMap<qint64, BabelPoint> theirs = BabelPoints(babel.out, &babelCount);

        QByteArray oursKept, babelKept;
        for (const Fix &f : fixes) {
            oursKept += ours.contains(f.utcMs) ? '1' : '0';
            babelKept += theirs.contains(f.utcMs) ? '1' : '0';
        }
        EXPECT_EQ(QByteArray(c.ours), oursKept);
        EXPECT_EQ(QByteArray(c.babel), babelKept);
        EXPECT_EQ(oursKept.count('1'), ours.size()) << "a fix at a time that the log does not hold";
        EXPECT_EQ(babelKept.count('1'), babelCount);
        for (auto it = ours.begin(); it != ours.end(); ++it) {
            if (!theirs.contains(it.key()))
                continue;
            const tagNMEAFIX &a = **it;
            const BabelPoint &b = theirs[it.key()];
            EXPECT_NEAR(b.lat, a.fix.dLat, 1e-6) << it.key();
            EXPECT_NEAR(b.lon, a.fix.dLon, 1e-6) << it.key();
            EXPECT_EQ(b.hasAlt, a.bHasAltitude) << it.key();
            if (b.hasAlt && a.bHasAltitude) {
                EXPECT_NEAR(b.alt, a.dAltitude, 0.05) << it.key();
            }
            if (b.speed >= 0) {
                EXPECT_NEAR(b.speed, a.fix.dSpeedKnots * 1852.0 / 3600.0, 0.01) << it.key();
            }
        }
    }
}

// GPX tracks: gpsbabel and CGpxTrack give the same points (position, time to the millisecond,
// elevation; speed and course where gpsbabel reads them: GPX 1.0's own elements, not Garmin's
// extension).
TEST(CrossCheck, GpxTracksAgreeWithGpsbabel)
{
    if (Tool("gpsbabel").isEmpty())
        FAIL() << "gpsbabel missing (scripts/setup --tests installs it)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QVector<Fix> fixes = Drive(40, 1, UtcMs(1, 0, 0, 250));
    fixes[7].utcMs += 333; // not on the second
    const struct {
        const char *name;
        QByteArray version;
        int offsetMinutes;
        bool speed, southWest;
    } cases[] = {
        {"GPX 1.1, Garmin extension", "1.1", 0, false, false},
        {"GPX 1.1, local times with an offset", "1.1", 9 * 60, false, false},
        {"GPX 1.1, west of Greenwich, local times", "1.1", -5 * 60, false, true},
        {"GPX 1.0, speed and course", "1.0", 0, true, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".gpx"));
        ASSERT_TRUE(testfiles::Write(
            path, Gpx(c.southWest ? SouthWest(fixes) : fixes, c.version, "drive", c.offsetMinutes)));
        CGpxTrack gpx;
        ASSERT_TRUE(gpx.Load(path)) << gpx.Error().toStdString();
        const auto babel = Gpsbabel("gpx", path);
        ASSERT_EQ(0, babel.exitCode) << babel.err.constData();
        int count = 0;
        const QMap<qint64, BabelPoint> theirs = BabelPoints(babel.out, &count);
        ASSERT_EQ(fixes.size(), count);
        ASSERT_EQ(fixes.size(), gpx.Points().size());
        for (const tagGPXPOINT &p : gpx.Points()) {
            ASSERT_TRUE(theirs.contains(p.nTimeMs)) << p.nTimeMs;
            const BabelPoint &b = theirs[p.nTimeMs];
            EXPECT_NEAR(b.lat, p.dLat, 1e-6);
            EXPECT_NEAR(b.lon, p.dLon, 1e-6);
            ASSERT_TRUE(b.hasAlt && p.bHasEle);
            EXPECT_NEAR(b.alt, p.dEle, 0.01);
            ASSERT_TRUE(p.bHasSpeed && p.bHasCourse);
            EXPECT_FALSE(p.bSpeedComputed);
            if (c.speed) {
                EXPECT_NEAR(b.speed, p.dSpeed, 0.01);
                EXPECT_NEAR(b.course, p.dCourse, 0.1);
            }
        }
    }
}

// The developer's sample folder: every file reads back as described (counts, rates, the braking in
// the middle of the action camera's clip, the phone track around the phone's clip, the makers'
// clips by their readers), and a folder that is not empty is refused untouched.
TEST(CrossCheck, SampleFolderReadsBack)
{
    if (Tool("ffmpeg").isEmpty() || !QFileInfo::exists(kFont))
        FAIL() << "ffmpeg or the DejaVu font missing (scripts/setup installs them)";
    const QString program = testfiles::BinaryDir() + QStringLiteral("/tests/catalogue/make-telemetry-clips");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("samples"));
    const auto made = testfiles::Run(program, {out}, 300000);
    ASSERT_EQ(0, made.exitCode) << made.err.constData();

    tagTRACKTELEMETRY gx;
    ASSERT_EQ(1, ReadMp4Telemetry(out + QStringLiteral("/GX010001.MP4"), &gx));
    ASSERT_EQ(200, gx.vecFix.size());
    ASSERT_EQ(4000, gx.vecAccel.size());
    EXPECT_EQ(0, gx.bTooLarge);
    EXPECT_NEAR(19.9, gx.vecFix.last().dTime, 1e-6);
    EXPECT_EQ(UtcMs(1, 5, 19, 900), gx.vecFix.last().nUtcMs);
    const tagTRACKSAMPLE *hardest = &gx.vecAccel.first();
    for (const tagTRACKSAMPLE &s : gx.vecAccel)
        if (s.fY < hardest->fY)
            hardest = &s;
    EXPECT_LT(hardest->fY, -0.35); // 4 m/s² of braking
    EXPECT_NEAR(10.0, hardest->dTime, 0.6);
    for (const tagTRACKFIX &f : gx.vecFix) {
        EXPECT_NEAR(37.567, f.dLat, 0.01);
        EXPECT_NEAR(126.98, f.dLon, 0.01);
        EXPECT_GE(f.dSpeed * 3.6, 40.0);
        EXPECT_LE(f.dSpeed * 3.6, 60.0);
    }

    tagTRACKTELEMETRY camm;
    ASSERT_EQ(1, ReadMp4Telemetry(out + QStringLiteral("/CAMM_0001.mp4"), &camm));
    EXPECT_EQ(20, camm.vecFix.size());
    EXPECT_EQ(2000, camm.vecAccel.size());

    CNmeaLog nmea;
    ASSERT_TRUE(nmea.Load(out + QStringLiteral("/20141017_101500_N.nmea")));
    // 200 fixes at 10 Hz, less the one with a bad checksum and the cut one; the first six void.
    ASSERT_EQ(198, nmea.Fixes().size());
    EXPECT_EQ(1, nmea.BadChecksums());
    int valid = 0;
    for (const tagNMEAFIX &f : nmea.Fixes())
        valid += f.fix.cStatus == 'A';
    EXPECT_EQ(192, valid);

    CGpxTrack phone;
    ASSERT_TRUE(phone.Load(out + QStringLiteral("/phone/day.gpx")));
    ASSERT_EQ(3601, phone.Points().size());
    EXPECT_EQ(UtcMs(1, 0, 0), phone.Points().first().nTimeMs);
    EXPECT_EQ(UtcMs(2, 0, 0), phone.Points().last().nTimeMs);
    EXPECT_EQ(20, CGpxTrack::PointsInWindow(phone.Points(), UtcMs(1, 20, 0), UtcMs(1, 20, 20)).size());

    // The dash cams' clips: each recording read by its maker's reader, a fix a second or more; the
    // Viofo's clock 2 s ahead of GPS time.
    const auto listing = testfiles::Run(testfiles::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli"),
                                        {QStringLiteral("catalogue"), out + QStringLiteral("/makers")});
    ASSERT_EQ(0, listing.exitCode) << listing.err.constData();
    QMap<QString, QString> sources;
    for (const QByteArray &line : listing.out.split('\n')) {
        const QStringList columns = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (columns.size() > 8 && columns[6].toInt() >= 25)
            sources[QFileInfo(columns[3]).fileName()] = columns[7] + QLatin1Char(' ') + columns[8];
    }
    const QMap<QString, QString> expected{
        {QStringLiteral("2014_1017_102502_0001F.MP4"), QStringLiteral("novatek front+rear")},
        {QStringLiteral("20141017_102530_NF.mp4"), QStringLiteral("blackvue front")},
        {QStringLiteral("REC_2014_10_17_10_26_00_F.MP4"), QStringLiteral("thinkware front")},
        {QStringLiteral("NO20141017-102630-000004F.MP4"), QStringLiteral("70mai front")},
        {QStringLiteral("2014_1017_102700_005.MP4"), QStringLiteral("sstar front")},
        {QStringLiteral("GRMN0006.MP4"), QStringLiteral("garmin front")},
        {QStringLiteral("141017_102800_007_FH.MP4"), QStringLiteral("nextbase front")},
        {QStringLiteral("GOPR0008.MP4"), QStringLiteral("gpmf front")},
        {QStringLiteral("2014-10-17_10-29-00-front.mp4"), QStringLiteral("tesla front")}};
    EXPECT_EQ(expected, sources) << listing.out.constData();
    EXPECT_TRUE(CameraClockText(CCorvanaDoc::RecordOfClip(out + QStringLiteral("/makers/2014_1017_102502_0001F.MP4")))
                    .contains(QStringLiteral("2.000 s ahead")));

    const QStringList names =
        QDir(out).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(QStringList({QStringLiteral("20141017_101500_N.mp4"), QStringLiteral("20141017_101500_N.nmea"),
                           QStringLiteral("CAMM_0001.mp4"), QStringLiteral("GX010001.MP4"),
                           QStringLiteral("VID_20141017_102000.mp4"), QStringLiteral("makers"), QStringLiteral("phone")}),
              names);
    EXPECT_EQ(1, testfiles::Run(program, {out}).exitCode);
    EXPECT_EQ(names, QDir(out).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name));
    EXPECT_EQ(2, testfiles::Run(program, {}).exitCode);
}

} // namespace
