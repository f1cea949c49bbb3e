// Reader of NMEA 0183 logs; lines are cut into sentences in place and read in blocks.
#include "catalogue/nmealog.h"

#include "base/clocktime.h"
#include "base/numparse.h"
#include "catalogue/boundedlines.h"
#include "catalogue/datafileinfo.h"

#include <QFile>

#include <cstring>
#include <vector>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

int CountCommas(const char *s, int length)
{
    int n = 0;
    for (int i = 0; i < length; ++i)
        n += s[i] == ',';
    return n;
}

// The text of field `index` (0 is the tag) of a sentence body; empty when absent.
void Field(const char *s, int length, int index, const char **begin, int *n)
{
    int start = 0;
    for (int i = 0; i <= length; ++i) {
        if (i == length || s[i] == ',') {
            if (index-- == 0) {
                *begin = s + start;
                *n = i - start;
                return;
            }
            start = i + 1;
        }
    }
    *begin = s + length;
    *n = 0;
}

// Milliseconds of the day of an NMEA time (a leap second allowed); -1 when it is not one.
int MsOfDay(const char *t, int n)
{
    return ClockTimeMs(t, n, true);
}

// Orders fixes by their calendar time (two-digit year first).
qint64 TimeOrder(const SYSTEMTIME &t)
{
    return ((((static_cast<qint64>(t.wYear) * 13 + t.wMonth) * 32 + t.wDay) * 24 + t.wHour) * 60 + t.wMinute) *
               61000 +
           t.wSecond * 1000 + t.wMilliseconds;
}

// A "[digits]" prefix at the start of a line; returns its length (0 when there is none).
int EpochPrefix(const char *line, int length, qint64 *ms)
{
    if (length < 3 || line[0] != '[')
        return 0;
    qint64 v = 0;
    int i = 1;
    for (; i < length && IsDigit(line[i]); ++i) {
        if (i > 18) // beyond what fits; not a time stamp
            return 0;
        v = v * 10 + (line[i] - '0');
    }
    if (i == 1 || i >= length || line[i] != ']')
        return 0;
    *ms = v;
    return i + 1;
}

} // namespace

void CNmeaLog::Clear()
{
    m_fixes.clear();
    m_pendingGgaMs = -1;
    m_lastTimeOrder = -1;
    m_lastFixMs = -1;
    m_openFailed = false;
    m_tooLarge = false;
    m_timeWentBack = false;
    m_badChecksums = 0;
}

bool CNmeaLog::Load(const QString &path)
{
    Clear();
    QFile file;
    m_openFailed = !OpenRegularFile(path, &file);
    return !m_openFailed && Read(&file);
}

bool CNmeaLog::Read(QIODevice *device)
{
    const bool openFailed = m_openFailed;
    Clear();
    m_openFailed = openFailed;
    if (ReadBoundedLines(device, kMaxDataFileBytes, kMaxNmeaLineBytes,
                         [this](const char *line, int length) { return HandleLine(line, length); }))
        m_tooLarge = true;
    return !m_fixes.isEmpty();
}

bool CNmeaLog::HandleLine(const char *line, int length)
{
    qint64 epochMs = 0;
    const int prefix = EpochPrefix(line, length, &epochMs);
    const bool hasEpoch = prefix > 0;
    // Every '$' opens a sentence; it ends at the next '$', a control byte or the line end.
    const char *p = static_cast<const char *>(std::memchr(line, '$', static_cast<size_t>(length)));
    const char *end = line + length;
    while (p) {
        const char *q = p + 1;
        while (q < end && *q != '$' && static_cast<unsigned char>(*q) >= 0x20 && *q != 0x7f)
            ++q;
        if (!HandleSentence(p, static_cast<int>(q - p), hasEpoch, epochMs))
            return false;
        p = q < end ? static_cast<const char *>(std::memchr(q, '$', static_cast<size_t>(end - q))) : nullptr;
    }
    return true;
}

bool CNmeaLog::HandleSentence(const char *s, int length, bool hasEpoch, qint64 epochMs)
{
    // s[0] is '$'. The body runs to the '*' of the checksum, when there is one.
    const char *star = static_cast<const char *>(std::memchr(s, '*', static_cast<size_t>(length)));
    int bodyLength = length;
    bool checked = false;
    if (star) {
        bodyLength = static_cast<int>(star - s);
        const int rest = length - bodyLength - 1;
        const int hi = rest >= 2 ? HexValue(star[1]) : -1;
        const int lo = rest >= 2 ? HexValue(star[2]) : -1;
        unsigned char sum = 0;
        for (int i = 1; i < bodyLength; ++i)
            sum ^= static_cast<unsigned char>(s[i]);
        if (hi < 0 || lo < 0 || sum != hi * 16 + lo) {
            ++m_badChecksums;
            return true;
        }
        checked = true;
    }
    // "$ttRMC," / "$ttGGA,": a two-letter talker and the sentence's name.
    if (bodyLength < 7 || s[6] != ',')
        return true;
    const char name[3] = {Upper(s[3]), Upper(s[4]), Upper(s[5])};
    // A sentence proven whole by its checksum has its last field read too; one without a
    // checksum may be cut, so its last field (after the last comma) is never trusted.
    char buf[kMaxNmeaLineBytes + 1];
    const char *body = s;
    if (checked) {
        std::memcpy(buf, s, static_cast<size_t>(bodyLength));
        buf[bodyLength++] = ',';
        body = buf;
    }
    if (std::memcmp(name, "RMC", 3) == 0)
        return AddRmc(body, bodyLength, hasEpoch, epochMs);
    if (std::memcmp(name, "GGA", 3) == 0)
        AddGga(body, bodyLength);
    return true;
}

bool CNmeaLog::AddRmc(const char *body, int length, bool hasEpoch, qint64 epochMs)
{
    if (CountCommas(body, length) < 10) // the date field and the comma after it
        return true;
    tagNMEAFIX f;
    ParseRmcFields(body, length, &f.fix);
    const char *t;
    int tn;
    Field(body, length, 1, &t, &tn);
    const int ms = MsOfDay(t, tn);
    if (ms >= 0)
        f.fix.stTime.wMilliseconds = static_cast<uint16_t>(ms % 1000);
    else if (!std::memchr(t, '.', static_cast<size_t>(tn)))
        f.fix.stTime.wMilliseconds = 0;
    f.bHasEpochMs = hasEpoch;
    f.nEpochMs = epochMs;
    if (ms >= 0 && ms == m_pendingGgaMs) {
        f.dAltitude = m_pendingAltitude;
        f.bHasAltitude = true;
        m_pendingGgaMs = -1;
    }
    // Fixes without a readable time (a receiver with no fix yet) are kept but take no part in
    // the order.
    if (ms >= 0 && !m_fixes.isEmpty()) {
        tagNMEAFIX &last = m_fixes.last();
        if (last.fix.stTime == f.fix.stTime) {
            // The same epoch from a second talker: one fix, the valid one if only one is.
            if (last.fix.cStatus != 'A' && f.fix.cStatus == 'A') {
                if (!f.bHasAltitude) {
                    f.dAltitude = last.dAltitude;
                    f.bHasAltitude = last.bHasAltitude;
                }
                last = f;
            }
            return true;
        }
    }
    if (m_fixes.size() >= kMaxFixesPerFile) {
        m_tooLarge = true;
        return false;
    }
    if (ms >= 0) {
        const qint64 order = TimeOrder(f.fix.stTime);
        if (order < m_lastTimeOrder)
            m_timeWentBack = true;
        m_lastTimeOrder = order;
    }
    m_lastFixMs = ms;
    m_fixes.append(f);
    return true;
}

void CNmeaLog::AddGga(const char *body, int length)
{
    // $ttGGA,time,lat,N,lon,E,quality,satellites,hdop,altitude,M,...
    if (CountCommas(body, length) < 10)
        return;
    const char *t, *q, *a;
    int tn, qn, an;
    Field(body, length, 1, &t, &tn);
    Field(body, length, 6, &q, &qn);
    Field(body, length, 9, &a, &an);
    const int ms = MsOfDay(t, tn);
    if (ms < 0 || an == 0 || qn == 0 || (qn == 1 && q[0] == '0'))
        return;
    const double altitude = pellister::TextToDouble(a, a + an);
    if (!m_fixes.isEmpty() && ms == m_lastFixMs) {
        tagNMEAFIX &last = m_fixes.last();
        if (!last.bHasAltitude) {
            last.dAltitude = altitude;
            last.bHasAltitude = true;
        }
        return;
    }
    m_pendingGgaMs = ms;
    m_pendingAltitude = altitude;
}
