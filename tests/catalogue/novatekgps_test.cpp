// "freeGPS " blocks written byte by byte from known values, in every layout read, then decoded,
// placed on the clip's timeline, found in MP4 files (index and search) and compared with exiftool.
#include "catalogue/cliptelemetry.h"
#include "catalogue/corvanadoc.h"
#include "catalogue/novatekgps.h"
#include "fixtures/makerclips.h"
#include "fixtures/telemetryclips.h"
#include "fixtures/testfiles.h"

#include <QMap>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <numeric>

namespace {

using namespace makerclips;

qint64 UtcMs(int h, int m, int s, int ms = 0)
{
    return QDateTime(QDate(2019, 5, 24), QTime(h, m, s, ms), QTimeZone::utc()).toMSecsSinceEpoch();
}

using Point = NovatekPoint;

// A record `second` s and `ms` into the drive, north and west, from 36 km/h.
Point At(int second, double ms = 0)
{
    Point p;
    p.utc = UtcMs(10, 20, 30) + qint64(second) * 1000 + qint64(ms);
    p.lat = 37.75205 + 0.0003 * second;
    p.lon = -122.425 + 0.0004 * second;
    p.speed = 10.0 + second;
    p.course = 123.5;
    p.alt = 45.5;
    p.ax = 0.5;
    p.ay = -0.25;
    p.az = 1.0;
    return p;
}

QByteArray Transcend(const Point &p)
{
    return Blk(Type3(p)).F64(0x70, Ddmm(p.lat)).F64(0x80, Ddmm(p.lon)).F64(0xa0, p.alt);
}
QByteArray Iqs(const Point &p)
{
    return Blk(Type3(p)).Put(16, "IQS_A7_20150417").U32(0x4c, std::llround(std::fabs(p.lat) * 1e7))
        .U32(0x50, std::llround(std::fabs(p.lon) * 1e7)).U32(0x54, std::lround(p.speed * 100)).F32(0x58, p.alt * 1000);
}
QByteArray Viofo(const Point &p, int yearBase = 2000)
{
    return Blk().Clock(16, p, "hmsYMD", yearBase).Letters(40, p).F32(0x2c, Ddmm(p.lat)).F32(0x30, Ddmm(p.lon))
        .F32(0x34, p.speed / kKnot).F32(0x38, p.course).Accel(60, p, 256);
}
QByteArray Eace(const Point &p, const QByteArray &lat, const QByteArray &lon)
{
    return Blk().Clock(16, p, "hmsYMD").Letters(40, p).Put(0x2c, lat).Put(0x40, lon).F32(0x54, p.speed / kKnot)
        .F32(0x58, p.course);
}
QByteArray Akaso(const Point &p)
{
    return Blk().Clock(48, p, "hms").C(60, 'A').F32(0x40, Ddmm(p.lat)).C(0x44, Ns(p)).F32(0x48, Ddmm(p.lon))
        .C(0x4c, Ew(p)).F32(0x50, p.speed * 3.6).F32(0x54, p.course).Clock(88, p, "YMD", 0).Accel(100, p, 1000);
}
QByteArray VantrueS1(const Point &p)
{
    return Blk().Letters(64, p).Clock(68, p, "YMDhms").F32(0x5c, Ddmm(p.lon)).F32(0x60, Ddmm(p.lat))
        .F32(0x64, p.speed / kKnot).F32(0x68, p.course).F32(0x6c, p.alt).Accel(112, p, 1000);
}
QByteArray Type2(const Point &p)
{
    return Blk().Clock(0x30, p, "hms").C(0x3c, 'A').F64(0x40, Ddmm(p.lat)).C(0x48, Ns(p)).F64(0x50, Ddmm(p.lon))
        .C(0x58, Ew(p)).F64(0x60, p.speed / kKnot).F64(0x68, p.course).Clock(0x70, p, "YMD").Accel(0x7c, p, 1000);
}
QByteArray VantrueN4(const Point &p)
{
    return Blk().Clock(16, p, "hms").C(28, 'A').F64(32, Ddmm(p.lat)).C(40, Ns(p)).F64(48, Ddmm(p.lon)).C(56, Ew(p))
        .F64(64, p.speed / kKnot).F64(72, p.course).Clock(80, p, "YMD").Accel(92, p, 1000);
}
QByteArray Innovv(const QVector<Point> &ps)
{
    Blk b;
    for (int i = 0; i < ps.size(); ++i)
        b.Letters(16 + 32 * i, ps[i]).F32(20 + 32 * i, Ddmm(ps[i].lat)).F32(24 + 32 * i, Ddmm(ps[i].lon))
            .F32(28 + 32 * i, ps[i].speed / kKnot).F32(32 + 32 * i, ps[i].course);
    return b;
}
QByteArray Xbht(const QVector<Point> &ps)
{
    Blk b;
    for (int i = 0; i < ps.size(); ++i) {
        const int at = 16 + 36 * i;
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(ps[i].utc, QTimeZone::utc());
        const char clock[] = {0, char(t.date().year() - 2000), char(t.date().month()), char(t.date().day()),
                              char(t.time().hour()), char(t.time().minute()), char(t.time().second()),
                              char(t.time().msec() / 100)};
        b.Put(at, QByteArray(clock, 8)).Letters(at + 8, ps[i]).U32(at + 16, std::llround(Ddmm(ps[i].lat) * 1e4))
            .U32(at + 20, std::llround(Ddmm(ps[i].lon) * 1e4)).Put(at + 28, Le(quint16(std::lround(ps[i].speed * 3.6))));
    }
    return b;
}
QByteArray Mai70(const Point &p)
{
    return Blk().C(30, 'A').U32(31, std::llround(std::copysign(Ddmm(p.lat), p.lat) * 1e5))
        .U32(35, std::llround(std::copysign(Ddmm(p.lon), p.lon) * 1e5)).U32(43, std::lround(p.speed * 3.6)).Put(51, "VV");
}
QByteArray NextbaseBinary(const QVector<Point> &ps)
{
    Blk b;
    for (int i = 0; i < ps.size(); ++i) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(ps[i].utc, QTimeZone::utc());
        const double course = ps[i].course > 180 ? ps[i].course - 360 : ps[i].course;
        b.Put(0x30 + 0x20 * i, "$S" + Be(std::lround(ps[i].speed * 100), 2) + Be(quint16(std::lround(course * 100)), 2)
                                   + Be(t.date().year(), 2) + char(t.date().month()) + char(t.date().day())
                                   + char(t.time().hour()) + char(t.time().minute())
                                   + Be(t.time().second() * 10 + t.time().msec() / 100, 2) + char(2)
                                   + Be(quint32(qint32(std::llround(ps[i].lat * 1e7))), 4)
                                   + Be(quint32(qint32(std::llround(ps[i].lon * 1e7))), 4) + char(16));
    }
    return b;
}

QByteArray Checksummed(const QByteArray &body)
{
    char sum = 0;
    for (char c : body)
        sum ^= c;
    return '$' + body + '*' + QByteArray::number(uchar(sum), 16).toUpper().rightJustified(2, '0') + "\r\n";
}
QByteArray DdmmText(double deg, int width)
{
    return QByteArray::number(Ddmm(deg), 'f', 4).rightJustified(width + 5, '0');
}
QByteArray Rmc(const Point &p)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(p.utc, QTimeZone::utc());
    return Checksummed("GPRMC," + t.toString(QStringLiteral("HHmmss.zzz")).toLatin1() + ",A," + DdmmText(p.lat, 4) + ','
                       + Ns(p) + ',' + DdmmText(p.lon, 5) + ',' + Ew(p) + ',' + QByteArray::number(p.speed / kKnot, 'f', 3)
                       + ',' + QByteArray::number(p.course, 'f', 2) + ',' + t.toString(QStringLiteral("ddMMyy")).toLatin1()
                       + ",,,A");
}
QByteArray NextbaseText(const Point &p)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(p.utc, QTimeZone::utc());
    const QByteArray gga = Checksummed("GPGGA," + t.toString(QStringLiteral("HHmmss.zzz")).toLatin1() + ','
                                       + DdmmText(p.lat, 4) + ',' + Ns(p) + ',' + DdmmText(p.lon, 5) + ',' + Ew(p)
                                       + ",1,08,0.9," + QByteArray::number(p.alt, 'f', 1) + ",M,,,,");
    return Blk().Put(52, t.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1()).Accel(68, p, 256)
        .Put(0x51, Rmc(p) + gga);
}
QByteArray ShiftedRmc(const Point &p)
{
    QByteArray text = Rmc(p);
    for (char &c : text)
        c = char(c + 16);
    return Blk().Put(16, "ZXSBNXYS").Put(60, text);
}
QByteArray Azdome(const Point &p)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(p.utc, QTimeZone::utc());
    QByteArray text(0x101, '\0');
    text.replace(0, 8, QByteArray("\0\0XKZD\xfe\xfe", 8));
    text.replace(8, 14, t.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1());
    text.replace(23, 15, "5567GP         ");
    text.replace(38, 27, Ns(p) + QByteArray::number(std::llround(Ddmm(p.lat) * 1e4)).rightJustified(8, '0') + Ew(p)
                             + QByteArray::number(std::llround(Ddmm(p.lon) * 1e4)).rightJustified(9, '0')
                             + QByteArray::number(std::lround(p.speed * 3.6)).rightJustified(8, '0'));
    text.replace(173, 12, "+050-025+100");
    for (char &c : text)
        c = char(c ^ 0xaa);
    return Blk().Put(16, "\x01\x03").Put(18, text);
}
QByteArray Xgody(const Point &p)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(p.utc, QTimeZone::utc());
    return Blk().Put(16, "normal:" + t.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")).toLatin1() + ' ' + Ns(p) + ':'
                             + QByteArray::number(std::fabs(p.lat), 'f', 6) + ' ' + Ew(p) + ':'
                             + QByteArray::number(std::fabs(p.lon), 'f', 6) + ' '
                             + QByteArray::number(p.speed / kKnot, 'f', 4) + " km/h x:0.50 y:-0.25 z:1.00 A:"
                             + QByteArray::number(p.course) + " H:245.5");
}

// A ring of ATC records holding the points, each record enciphered with its own two keys.
QByteArray Atc(const QVector<Point> &ps)
{
    Blk b;
    for (int i = 0; i < ps.size(); ++i) {
        const Point &p = ps[i];
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(p.utc, QTimeZone::utc());
        Blk r(52);
        r.b.fill('\0');
        r.C(0x0d, char(t.time().hour() - 1)).C(0x0e, char(t.time().minute())).C(0x0f, char(t.time().second()))
            .U32(0x10, std::llround(p.lat * 1e7)).Put(0x15, "ATC").U32(0x18, std::llround(p.lon * 1e7)).Put(0x1d, "001")
            .U32(0x20, std::lround(p.speed * 100)).Put(0x24, Le(qint16(std::lround((p.course > 180 ? p.course - 360 : p.course) * 100))))
            .U32(0x28, std::lround(p.alt * 1000)).Put(0x2c, Le(quint16(t.date().year()))).C(0x2e, char(t.date().month()))
            .C(0x2f, char(t.date().day()));
        const uchar key1 = uchar(0x5a + i), key2 = uchar(0xc3 - i);
        for (int k = 0; k < 52; ++k) {
            if (k <= 0x14 || (k >= 0x18 && k <= 0x1b))
                r.b[k] = char(r.b[k] ^ key1);
            else if (k == 0x1c || (k >= 0x20 && k <= 0x32))
                r.b[k] = char(r.b[k] ^ key2);
        }
        b.Put(0x30 + 52 * i, r.b);
    }
    return b;
}

QByteArray Rc4(const QByteArray &data, const QByteArray &key)
{
    std::array<int, 256> s;
    std::iota(s.begin(), s.end(), 0);
    for (int i = 0, j = 0; i < 256; ++i)
        std::swap(s[i], s[j = (j + s[i] + uchar(key[i % key.size()])) % 256]);
    QByteArray out = data;
    for (int n = 0, i = 0, j = 0; n < out.size(); ++n) {
        i = (i + 1) % 256;
        std::swap(s[i], s[j = (j + s[i]) % 256]);
        out[n] = char(out[n] ^ s[(s[i] + s[j]) % 256]);
    }
    return out;
}

tagTRACKTELEMETRY Decode(const QVector<QByteArray> &blocks, tagNOVATEKSTATS *stats = nullptr)
{
    tagTRACKTELEMETRY out;
    CNovatekGps reader(&out);
    for (const QByteArray &b : blocks)
        reader.AddBlock(b);
    if (stats)
        *stats = reader.Stats();
    return out;
}

// Every layout gives back the values written: position (to a millionth of a degree where the
// layout keeps one), speed, course, altitude, UTC and G-sensor where the layout has them.
TEST(Novatek, LayoutsGiveTheValuesWritten)
{
    const Point p = At(0), q = At(0, 500), r = At(0, 100), south = [] { Point s = At(0); s.lat = -33.8688; s.lon = 151.2093; return s; }();
    const QByteArray key = "customer cc gps";
    const struct {
        const char *name;
        QByteArray block;
        QVector<Point> points;
        bool utc, course, alt, accel;
        double tolerance; // degrees
    } cases[] = {
        {"type 3", Type3(p), {p}, true, true, false, false, 1e-5},
        {"type 3, southern and eastern", Type3(south), {south}, true, true, false, false, 1e-5},
        {"type 3, Transcend doubles", Transcend(p), {p}, true, true, true, false, 1e-9},
        {"type 3, IQS", Iqs(p), {p}, true, false, true, false, 1e-6},
        {"Viofo A119 v3", Viofo(p), {p}, true, true, false, true, 1e-5},
        {"Kenwood, local clock", Viofo(p, 0), {p}, false, true, false, true, 1e-5},
        {"E-ACE, texts", Eace(p, DdmmText(p.lat, 4), DdmmText(p.lon, 5)), {p}, true, true, false, false, 1e-6},
        {"E-ACE, enciphered", Eace(p, Rc4(DdmmText(p.lat, 4), key).toBase64(), Rc4(DdmmText(p.lon, 5), key).toBase64()),
         {p}, true, true, false, false, 1e-6},
        {"Akaso", Akaso(p), {p}, true, true, false, true, 1e-5},
        {"shifted RMC", ShiftedRmc(q), {q}, true, true, false, false, 1e-6},
        {"Vantrue S1", VantrueS1(p), {p}, true, true, true, true, 1e-5},
        {"ATC ring, first block", Atc({At(-2), At(-1), p}), {p}, true, true, true, false, 1e-6},
        {"type 2", Type2(south), {south}, true, true, false, true, 1e-9},
        {"INNOVV", Innovv({p, At(1)}), {p, At(1)}, false, true, false, false, 1e-5},
        {"XBHT", Xbht({p, q}), {p, q}, true, false, false, false, 1e-6},
        {"Vantrue N4", VantrueN4(p), {p}, true, true, false, true, 1e-9},
        {"XGODY text", Xgody(p), {p}, true, true, false, true, 1e-6},
        {"70mai", Mai70(p), {p}, false, false, false, false, 1e-6},
        {"Nextbase binary, 10 Hz", NextbaseBinary({p, r, At(0, 200)}), {p, r, At(0, 200)}, true, true, false, false, 1e-6},
        {"Nextbase NMEA", NextbaseText(q), {q}, true, true, true, true, 1e-6},
        {"Azdome", Azdome(p), {p}, true, false, false, true, 1e-6},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tagNOVATEKSTATS stats;
        const tagTRACKTELEMETRY out = Decode({c.block}, &stats);
        EXPECT_EQ(1, stats.nDecoded);
        ASSERT_EQ(c.points.size(), out.vecFix.size());
        for (int i = 0; i < c.points.size(); ++i) {
            const Point &e = c.points[i];
            const tagTRACKFIX &f = out.vecFix[i];
            EXPECT_EQ('A', f.cStatus);
            EXPECT_NEAR(e.lat, f.dLat, c.tolerance);
            EXPECT_NEAR(e.lon, f.dLon, c.tolerance);
            EXPECT_NEAR(e.speed, f.dSpeed, 2e-3); // km/h written as whole numbers
            EXPECT_NEAR(c.course ? e.course : -1.0, f.dCourse, 1e-3);
            EXPECT_NEAR(c.alt ? e.alt : 0.0, f.dAlt, 0.05);
            ASSERT_EQ(c.utc, f.bHasUtc);
            if (c.utc) {
                EXPECT_EQ(e.utc, f.nUtcMs);
            }
        }
        ASSERT_EQ(c.accel ? 1 : 0, out.vecAccel.size());
        if (c.accel) {
            EXPECT_FLOAT_EQ(0.5f, out.vecAccel[0].fX);
            EXPECT_FLOAT_EQ(-0.25f, out.vecAccel[0].fY);
            EXPECT_FLOAT_EQ(1.0f, out.vecAccel[0].fZ);
        }
    }
}

// A damaged block gives no fix and is counted; so does a block without a lock or of a layout
// that cannot be read.
TEST(Novatek, DamagedVoidAndUnreadableBlocksGiveNoFix)
{
    const Point p = At(0);
    Point far = p, nowhere = p;
    far.lon = 179.0; // written as 18130.0 below: 181.5 degrees
    nowhere.lat = nowhere.lon = 0.0;
    const struct {
        const char *name;
        QByteArray block;
        CNovatekGps::Result result;
    } cases[] = {
        {"cut before its position", Type3(p).left(0x50), CNovatekGps::Damaged},
        {"no signature", Blk(Type3(p)).Put(4, "freeGPX "), CNovatekGps::Damaged},
        {"not read at all", QByteArray(), CNovatekGps::Damaged},
        {"60 minutes", Blk(Type3(p)).F32(0x4c, 3760.5), CNovatekGps::Damaged},
        {"latitude beyond 90", Blk(Type3(p)).F32(0x4c, 9530.0), CNovatekGps::Damaged},
        {"longitude beyond 180", Blk(Type2(far)).F64(0x50, 18130.0), CNovatekGps::Damaged},
        {"latitude not a number", Blk(Type3(p)).F32(0x4c, std::nan("")), CNovatekGps::Damaged},
        {"month 13", Blk(Type3(p)).U32(0x40, 13), CNovatekGps::Damaged},
        {"hour 24", Blk(Viofo(p)).U32(16, 24), CNovatekGps::Damaged},
        {"RMC cut after the latitude", Blk(ShiftedRmc(p)).Put(90, QByteArray(50, '\0')), CNovatekGps::Damaged},
        {"no lock", Type3(p, 'V'), CNovatekGps::NoFix},
        {"no lock, Viofo A119 v3", Blk(Viofo(p)).C(40, 'V').U32(60, 0).U32(64, 0).U32(68, 0), CNovatekGps::NoFix},
        {"at 0, 0", Blk(Viofo(nowhere)).U32(60, 0).U32(64, 0).U32(68, 0), CNovatekGps::NoFix},
        {"LIGOGPSINFO", Blk().Put(16, QByteArray("LIGOGPSINFO\0\0\0\0\x05", 16)), CNovatekGps::Unknown},
        {"no known layout", Blk().Put(16, "hello"), CNovatekGps::Unknown},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tagTRACKTELEMETRY out;
        CNovatekGps reader(&out);
        EXPECT_EQ(c.result, reader.AddBlock(c.block));
        EXPECT_EQ(0, out.vecFix.size());
        EXPECT_EQ(1, reader.Stats().nBlocks);
        EXPECT_EQ(c.result == CNovatekGps::Damaged ? 1 : 0, reader.Stats().nDamaged);
    }
}

// One block a second; UTC fixes are placed by their UTC from the first one, others by their block.
TEST(Novatek, FixesAreTimedByUtcElseByTheirBlock)
{
    Point wrongDay = At(5);
    wrongDay.utc += 86400000;
    const tagTRACKTELEMETRY out = Decode({Type3(At(0), 'V'), Type3(At(1)), Type3(At(2)), Type3(At(4)),
                                          Viofo(At(4), 0), Type3(wrongDay), Innovv({At(6), At(6)})});
    const struct { double time; qint64 utc; } expected[] = {
        {1.0, At(1).utc}, {2.0, At(2).utc}, {4.0, At(4).utc}, // a second without a block
        {4.0, -1}, {5.0, -1}, {6.0, -1}, {6.5, -1},          // local clock, a wrong day, no time
    };
    ASSERT_EQ(7, out.vecFix.size());
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(expected[i].time, out.vecFix[i].dTime);
        EXPECT_EQ(expected[i].utc >= 0, out.vecFix[i].bHasUtc);
        if (expected[i].utc >= 0) {
            EXPECT_EQ(expected[i].utc, out.vecFix[i].nUtcMs);
        }
    }
    ASSERT_EQ(1, out.vecAccel.size());
    EXPECT_DOUBLE_EQ(4.0, out.vecAccel[0].dTime);

    // An ATC ring gives its records once: the second block adds one, the third nothing.
    tagNOVATEKSTATS stats;
    const tagTRACKTELEMETRY ring = Decode({Atc({At(-1), At(0)}), Atc({At(-1), At(0), At(1)}), Atc({At(-1), At(0), At(1)})}, &stats);
    ASSERT_EQ(2, ring.vecFix.size());
    EXPECT_EQ(At(1).utc, ring.vecFix[1].nUtcMs);
    EXPECT_DOUBLE_EQ(1.0, ring.vecFix[1].dTime);
    EXPECT_EQ(1, stats.nNoFix);
}

// An MP4 file of our own bytes: filler media data holding three blocks, 0x200 bytes past the
// file's 0x8000-byte grid and two grid steps apart, then 'moov' with the index given.
struct File {
    QByteArray bytes;
    QVector<qint64> blocks;
};
File MakeFile(const std::function<QByteArray(const QVector<qint64> &blocks, qint64 end)> &index)
{
    File f;
    const QByteArray ftyp = Box("ftyp", "isom" + Be(512, 4) + "isomiso2mp41");
    QByteArray media(0x38000 - ftyp.size() - 8, 'v');
    for (int i = 0; i < 3; ++i) {
        f.blocks << 0x8200 + 0x10000 * i;
        media.replace(int(f.blocks.last()) - ftyp.size() - 8, 0x8000, Type3(At(i)));
    }
    f.bytes = ftyp + Box("mdat", media);
    const qint64 end = f.bytes.size() + 8 + (index ? index(f.blocks, 0).size() + 8 : 0);
    f.bytes += Box("moov", index ? Box("gps ", index(f.blocks, end)) : QByteArray());
    return f;
}
// The index is followed, an entry outside the file is counted as damaged; without an index, or
// with one of no readable block, the media data are searched; the byte budget holds.
TEST(Novatek, FilesAreReadThroughTheIndexElseTheSearch)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const File indexed = MakeFile([](const QVector<qint64> &b, qint64 end) {
        return NovatekIndex({{b[0], 0x8000}, {b[1], 0x8000}, {0, 0}, {b[2], 0x8000}, {end + 100, 0x8000}});
    });
    const File bare = MakeFile(nullptr);
    const File misled = MakeFile([](const QVector<qint64> &b, qint64) {
        return NovatekIndex({{b[0] + 0x4000, 0x8000}, {b[1] + 0x4000, 0x8000}});
    });
    const struct {
        const char *name;
        QByteArray bytes;
        bool indexed;
        int blocks, damaged;
    } cases[] = {
        {"index", indexed.bytes, true, 4, 1},
        {"no index", bare.bytes, false, 3, 0},
        {"index of filler", misled.bytes, false, 5, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".mp4"));
        ASSERT_TRUE(testfiles::Write(path, c.bytes));
        tagTRACKTELEMETRY out;
        tagNOVATEKSTATS stats;
        qint64 budget = kMaxDataFileBytes;
        ASSERT_TRUE(CNovatekGps::ReadFile(path, &out, &budget, &stats));
        EXPECT_EQ(c.indexed, stats.bIndexed);
        EXPECT_EQ(c.blocks, stats.nBlocks);
        EXPECT_EQ(c.damaged, stats.nDamaged);
        ASSERT_EQ(3, out.vecFix.size());
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(At(i).utc, out.vecFix[i].nUtcMs);
            EXPECT_DOUBLE_EQ(double(i), out.vecFix[i].dTime);
        }
        EXPECT_EQ(0, out.bTooLarge);
        // Box headers, the index and three blocks of kNovatekBlockBytes; the search reads the
        // filler before the first block and probes the grid.
        EXPECT_LT(kMaxDataFileBytes - budget, c.indexed ? 4 * kNovatekBlockBytes : 0x8200 + 16 * kNovatekBlockBytes);

        tagTRACKTELEMETRY viaMp4;
        ASSERT_EQ(1, ReadMp4Telemetry(path, &viaMp4));
        EXPECT_EQ(QByteArray("novatek"), viaMp4.source);
        EXPECT_EQ(3, viaMp4.vecFix.size());
    }

    // Two blocks' worth of budget reads two blocks and says the file was too large.
    const QString path = dir.filePath(QStringLiteral("index.mp4"));
    tagTRACKTELEMETRY out;
    qint64 budget = 2 * kNovatekBlockBytes + 1000;
    ASSERT_TRUE(CNovatekGps::ReadFile(path, &out, &budget));
    EXPECT_EQ(2, out.vecFix.size());
    EXPECT_EQ(1, out.bTooLarge);

    // A clip without blocks is no Novatek clip.
    const QString plain = dir.filePath(QStringLiteral("plain.mp4"));
    ASSERT_TRUE(testfiles::Write(plain, Box("ftyp", "isom" + Be(512, 4)) + Box("mdat", QByteArray(100000, 'v')) + Box("moov", {})));
    tagTRACKTELEMETRY none;
    QString error;
    EXPECT_EQ(0, ReadMp4Telemetry(plain, &none, &error));
    EXPECT_FALSE(error.isEmpty());
}

// ---------------------------------------------------------------------------------------------
// exiftool

struct ExifDoc {
    double lat = NAN, lon = NAN, speed = NAN; // km/h
    qint64 utc = -1;
    QVector<double> accel;
};

// "[DocN] Tag: value" lines of exiftool -G3 -s -s, by document.
QMap<int, ExifDoc> ExifDocs(const QByteArray &listing)
{
    static const QRegularExpression line(QStringLiteral("^\\[Doc(\\d+)\\] (\\w+): (.*)$"));
    static const QRegularExpression time(
        QStringLiteral("^(\\d{4}):(\\d\\d):(\\d\\d) (\\d\\d):(\\d\\d):(\\d\\d(?:\\.\\d+)?)Z$"));
    QMap<int, ExifDoc> docs;
    for (const QByteArray &raw : listing.split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw.trimmed()));
        if (!m.hasMatch())
            continue;
        ExifDoc &d = docs[m.captured(1).toInt()];
        const QString tag = m.captured(2), value = m.captured(3);
        if (tag == QLatin1String("GPSLatitude"))
            d.lat = value.toDouble();
        else if (tag == QLatin1String("GPSLongitude"))
            d.lon = value.toDouble();
        else if (tag == QLatin1String("GPSSpeed"))
            d.speed = value.toDouble();
        else if (tag == QLatin1String("Accelerometer")) {
            static const QRegularExpression separators(QStringLiteral("[ ,]+"));
            for (const QString &v : value.split(separators, Qt::SkipEmptyParts))
                d.accel << v.toDouble();
        } else if (const QRegularExpressionMatch t = time.match(value); tag == QLatin1String("GPSDateTime") && t.hasMatch())
            d.utc = QDateTime(QDate(t.captured(1).toInt(), t.captured(2).toInt(), t.captured(3).toInt()),
                              QTime(t.captured(4).toInt(), t.captured(5).toInt()), QTimeZone::utc())
                        .toMSecsSinceEpoch() + std::llround(t.captured(6).toDouble() * 1000);
    }
    return docs;
}

// Clips of a real H.264 video with blocks of the layouts exiftool reads, indexed and found by
// its search: exiftool -ee and ReadMp4Telemetry give the same fixes (position, speed, UTC time,
// G-sensor), and so does the record the catalogue makes of the clip.
TEST(CrossCheck, NovatekBlocksAgreeWithExiftool)
{
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    if (exiftool.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        FAIL() << "exiftool or ffmpeg missing (scripts/setup --tests installs them)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString video =
        telemetryclips::WritePlainClip(dir.path(), QStringLiteral("video.mp4"), 3, telemetryclips::Utc(At(0).utc));
    ASSERT_FALSE(video.isEmpty());
    QFile f(video);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray base = f.readAll();

    using Writer = std::function<QByteArray(int)>;
    const auto one = [](QByteArray (*w)(const Point &)) { return Writer([w](int i) { return w(At(i)); }); };
    const struct {
        const char *name;
        Writer block;
        bool indexed;
        int voidAt; // a block without a lock there, -1 for none
        bool accel; // exiftool gives the G-sensor (its Akaso reading has none)
    } cases[] = {
        {"type 3, indexed, a void block and an entry outside the file", one([](const Point &p) { return Type3(p); }), true, 1, false},
        {"Transcend", one(Transcend), true, -1, false},
        {"Viofo A119 v3", one([](const Point &p) { return Viofo(p); }), true, -1, true},
        {"Akaso", one(Akaso), true, -1, false},
        {"shifted RMC", one(ShiftedRmc), true, -1, false},
        {"Vantrue S1", one(VantrueS1), true, -1, true},
        {"Nextbase NMEA", one(NextbaseText), true, -1, true},
        {"Azdome", one(Azdome), true, -1, true},
        {"type 3, searched", one([](const Point &p) { return Type3(p); }), false, -1, false},
        {"type 2", one(Type2), false, -1, true},
        {"Vantrue N4", one(VantrueN4), false, -1, true},
        {"ATC ring", [](int i) { QVector<Point> ring; for (int k = 0; k <= i; ++k) ring << At(k); return Atc(ring); }, false, -1, false},
        {"INNOVV", [](int i) { return Innovv({At(i)}); }, false, -1, false},
        {"Nextbase binary", [](int i) { return NextbaseBinary({At(i)}); }, false, -1, false},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QVector<QByteArray> blocks;
        for (int i = 0; i < 4; ++i)
            blocks << (i == c.voidAt ? Type3(At(i), 'V') : c.block(i));
        const QString path = dir.filePath(QStringLiteral("clip%1.mp4").arg(n++));
        const QByteArray clip = WithNovatekBlocks(base, blocks, c.indexed, c.voidAt >= 0);
        ASSERT_FALSE(clip.isEmpty());
        ASSERT_TRUE(testfiles::Write(path, clip));

        tagTRACKTELEMETRY ours;
        ASSERT_EQ(1, ReadMp4Telemetry(path, &ours));
        const auto listing = testfiles::Run(exiftool, {QStringLiteral("-ee"), QStringLiteral("-n"), QStringLiteral("-a"),
                                                       QStringLiteral("-G3"), QStringLiteral("-s"), QStringLiteral("-s"), path});
        ASSERT_EQ(0, listing.exitCode) << listing.err.constData();
        QVector<ExifDoc> theirs;
        for (const ExifDoc &d : ExifDocs(listing.out))
            if (!std::isnan(d.lat))
                theirs << d;
        ASSERT_EQ(c.voidAt >= 0 ? 3 : 4, theirs.size());
        ASSERT_EQ(theirs.size(), ours.vecFix.size());
        const tagDATAFILEINFO rec = CCorvanaDoc::RecordOfClip(path);
        EXPECT_EQ(TS_NOVATEK, rec.nSource);
        ASSERT_EQ(theirs.size(), rec.vecGps.size());
        const QVector<tagGPSINFO> utc = FixesInUtc(rec);
        int accel = 0;
        for (int i = 0; i < theirs.size(); ++i) {
            SCOPED_TRACE(i);
            const ExifDoc &b = theirs[i];
            const tagTRACKFIX &a = ours.vecFix[i];
            EXPECT_NEAR(b.lat, a.dLat, 1e-6);
            EXPECT_NEAR(b.lon, a.dLon, 1e-6);
            EXPECT_NEAR(b.speed / 3.6, a.dSpeed, 1e-4);
            EXPECT_EQ(b.utc >= 0, a.bHasUtc);
            int64_t ms = 0;
            if (b.utc >= 0 && a.bHasUtc) {
                EXPECT_EQ(b.utc, a.nUtcMs);
                ASSERT_TRUE(WallClockMs(utc[i].stTime, &ms));
                EXPECT_EQ(b.utc, ms);
            }
            EXPECT_NEAR(b.lat, utc[i].dLat, 1e-6);
            if (c.accel && b.accel.size() == 3 && accel < ours.vecAccel.size()) {
                EXPECT_NEAR(b.accel[0], ours.vecAccel[accel].fX, 1e-6);
                EXPECT_NEAR(b.accel[1], ours.vecAccel[accel].fY, 1e-6);
                EXPECT_NEAR(b.accel[2], ours.vecAccel[accel].fZ, 1e-6);
                ++accel;
            }
        }
        if (c.accel) {
            EXPECT_EQ(theirs.size(), accel);
            EXPECT_EQ(accel, ours.vecAccel.size()) << "G-sensor samples exiftool does not give";
        }
    }
}

} // namespace
