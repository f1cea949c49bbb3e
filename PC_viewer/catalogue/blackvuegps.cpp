// BlackVue's 'free' box: finding it among the clip's top-level boxes, reading its start time,
// NMEA text and G-sensor records out of the caller's budget, and placing them on the clip's
// timeline. Every read is checked against the box that holds it, so a cut or hostile box reads as
// absent, never beyond.
#include "catalogue/blackvuegps.h"

#include "catalogue/boundedlines.h"

#include <QBuffer>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QTime>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kKnot = 1852.0 / 3600.0; // m/s
// A start time past the year 9999 is not one.
constexpr quint64 kMaxStartMs = 253402300800000ULL;

bool IsPittasoftBox(quint32 type)
{
    for (const char *t : {"cprt", "sttm", "ptnm", "ptrh", "thum", "gps ", "3gf "})
        if (type == FourCC(t))
            return true;
    return false;
}

using Source = tagBUDGETEDFILE;
using Box = tagMP4BOXHEADER;

bool ReadBox(Source *s, qint64 pos, qint64 end, Box *box)
{
    return s->ReadBox(pos, end, box);
}

// A box's payload up to kMaxMp4TableBytes; a longer one sets bTooLarge.
QByteArray Payload(Source *s, qint64 payload, qint64 end)
{
    qint64 n = end - payload;
    if (n > kMaxMp4TableBytes) {
        s->out->bTooLarge = 1;
        n = kMaxMp4TableBytes;
    }
    return s->Read(payload, n);
}

// The RMC's own date and time as UTC milliseconds; false when it gives none.
bool FixUtc(const tagNMEAFIX &n, qint64 *ms)
{
    const SYSTEMTIME &t = n.fix.stTime;
    if (n.fix.strDate.isEmpty() || n.fix.strTime.isEmpty())
        return false;
    const QDate date(2000 + t.wYear, t.wMonth, t.wDay);
    const QTime time(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    if (!date.isValid() || !time.isValid())
        return false;
    *ms = QDateTime(date, time, QTimeZone::utc()).toMSecsSinceEpoch();
    return true;
}

} // namespace

bool CBlackVueGps::IsTimeCoded(const QVector<tagNMEAFIX> &fixes)
{
    return !fixes.isEmpty() &&
           std::all_of(fixes.begin(), fixes.end(), [](const tagNMEAFIX &f) { return f.bHasEpochMs; });
}

void CBlackVueGps::Place(const QVector<tagNMEAFIX> &fixes, const QByteArray &records, const qint64 *startMs,
                         tagTRACKTELEMETRY *out, tagBLACKVUESTATS *stats)
{
    tagBLACKVUESTATS s;
    const auto coded = std::find_if(fixes.begin(), fixes.end(), [](const tagNMEAFIX &f) { return f.bHasEpochMs; });
    qint64 start = coded != fixes.end() ? coded->nEpochMs : 0;
    // The camera's start time is believed when the text's first time code lies near it.
    if (startMs && *startMs >= 0 &&
        (coded == fixes.end() || std::fabs(double(coded->nEpochMs) - double(*startMs)) <= kBlackVueMaxStartSkewMs)) {
        start = *startMs;
        s.bStartTime = true;
    }
    for (const tagNMEAFIX &n : fixes) {
        if (!n.bHasEpochMs) {
            ++s.nNoTimeCode;
            continue;
        }
        if (n.nEpochMs < start) {
            ++s.nBeforeStart;
            continue;
        }
        tagTRACKFIX f;
        f.dTime = double(n.nEpochMs - start) / 1000.0;
        f.bHasUtc = FixUtc(n, &f.nUtcMs);
        f.cStatus = n.fix.cStatus == 'A' ? 'A' : 'V';
        f.dLat = n.fix.dLat;
        f.dLon = n.fix.dLon;
        f.dAlt = n.bHasAltitude ? n.dAltitude : 0.0;
        f.dSpeed = n.fix.dSpeedKnots * kKnot;
        f.dCourse = n.fix.dCourse;
        ClampTrackFix(&f);
        if (!out->AddFix(f))
            break;
        ++s.nFixes;
    }

    const uchar *p = reinterpret_cast<const uchar *>(records.constData());
    const qsizetype count = records.size() / kBlackVueRecordBytes;
    qsizetype i = 0;
    for (; i < count; ++i, p += kBlackVueRecordBytes) {
        const quint32 timeCode = Be32(p);
        if (timeCode == 0xffffffffu ||
            (i > 0 && std::all_of(p, p + kBlackVueRecordBytes, [](uchar c) { return c == 0; })))
            break; // the end of what was recorded; the rest is the box's filler
        const auto tenths = [&](int at) { return float(qint16(quint16((p[at] << 8) | p[at + 1]))) / 10.0f; };
        tagTRACKSAMPLE a;
        a.dTime = timeCode / 1000.0;
        a.fX = tenths(4);
        a.fY = tenths(6);
        a.fZ = tenths(8);
        if (!out->AddSample(a))
            break;
        ++s.nRecords;
    }
    if (i == count && records.size() % kBlackVueRecordBytes != 0)
        s.nCutRecords = 1;
    if (stats)
        *stats = s;
}

bool CBlackVueGps::ReadFile(const QString &path, tagTRACKTELEMETRY *out, qint64 *budget, tagBLACKVUESTATS *stats)
{
    if (stats)
        *stats = tagBLACKVUESTATS();
    Source src;
    if (!src.Open(path, budget, out))
        return false;

    int boxes = 0;
    Box box;
    for (qint64 pos = 0; ReadBox(&src, pos, src.size, &box); pos = box.end) {
        if (++boxes > kMaxMp4Boxes) {
            out->bTooLarge = 1;
            break;
        }
        Box child;
        if (box.type != FourCC("free") || !ReadBox(&src, box.payload, box.end, &child) || !IsPittasoftBox(child.type))
            continue; // filler, or another maker's
        bool hasStart = false;
        qint64 start = 0;
        QByteArray text, records;
        int children = 0;
        for (qint64 at = box.payload; ReadBox(&src, at, box.end, &child); at = child.end) {
            if (++children > kMaxBlackVueBoxes) {
                out->bTooLarge = 1;
                break;
            }
            if (child.type == FourCC("sttm") && !hasStart) {
                const QByteArray v = src.Read(child.payload, std::min<qint64>(8, child.end - child.payload));
                const quint64 ms = v.size() == 8 ? Be64(reinterpret_cast<const uchar *>(v.constData())) : 0;
                hasStart = ms > 0 && ms < kMaxStartMs;
                start = qint64(ms);
            } else if (child.type == FourCC("gps ") && text.isEmpty()) {
                text = Payload(&src, child.payload, child.end);
            } else if (child.type == FourCC("3gf ") && records.isEmpty()) {
                records = Payload(&src, child.payload, child.end);
            }
        }
        QVector<tagNMEAFIX> fixes;
        if (!text.isEmpty()) {
            QBuffer buffer(&text);
            buffer.open(QIODevice::ReadOnly);
            CNmeaLog log;
            log.Read(&buffer);
            fixes = log.Fixes();
            if (log.TooLarge())
                out->bTooLarge = 1;
        }
        Place(fixes, records, hasStart ? &start : nullptr, out, stats);
        return true;
    }
    return false;
}

bool CBlackVueGps::ReadBeside(const QVector<tagNMEAFIX> &fixes, const QString &accelPath, tagTRACKTELEMETRY *out,
                              tagBLACKVUESTATS *stats)
{
    QByteArray records;
    QFile file;
    if (!accelPath.isEmpty() && OpenRegularFile(accelPath, &file)) {
        records = file.read(kMaxDataFileBytes);
        if (!file.atEnd())
            out->bTooLarge = 1;
    }
    Place(fixes, records, nullptr, out, stats);
    out->source = "blackvue";
    return !out->vecFix.isEmpty() || !out->vecAccel.isEmpty();
}
