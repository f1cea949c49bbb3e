// Tesla's telemetry in the SEI NAL units of its clips' H.264 video: NAL units, SEI messages and a
// protobuf decoder of our own, each bounded by the bytes it is given.
#include "catalogue/teslasei.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kNalSei = 6;
constexpr int kSeiUserDataUnregistered = 5;
constexpr uchar kMarkerFill = 0x42;
constexpr uchar kMarkerEnd = 0x69;
constexpr int kMaxVarintBytes = 10;

// The RBSP of a NAL unit: its bytes after the header with every 00 00 03 read as 00 00.
QByteArray Rbsp(const QByteArray &nal)
{
    QByteArray out;
    out.reserve(nal.size());
    int zeros = 0;
    for (int i = 1; i < nal.size(); ++i) {
        const uchar b = uchar(nal[i]);
        if (zeros >= 2 && b == 0x03) {
            zeros = 0;
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.append(char(b));
    }
    return out;
}

// A length prefix of 1, 2 or 4 bytes, big-endian.
quint32 LengthAt(const uchar *p, int size)
{
    quint32 v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | p[i];
    return v;
}

// Reads a protobuf varint at *pos; false when it runs past end or beyond ten bytes (or 64 bits).
bool Varint(const uchar *p, qint64 end, qint64 *pos, quint64 *value)
{
    quint64 v = 0;
    for (int i = 0; i < kMaxVarintBytes; ++i) {
        if (*pos >= end)
            return false;
        const uchar b = p[(*pos)++];
        if (i == kMaxVarintBytes - 1 && b > 1)
            return false; // more than 64 bits
        v |= quint64(b & 0x7f) << (7 * i);
        if (!(b & 0x80)) {
            *value = v;
            return true;
        }
    }
    return false;
}

double DoubleOf(const uchar *p)
{
    const quint64 bits = qFromLittleEndian<quint64>(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

float FloatOf(const uchar *p)
{
    const quint32 bits = qFromLittleEndian<quint32>(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace

QVector<QByteArray> CTeslaSei::MessagesOfSei(const QByteArray &nal, int *damaged)
{
    QVector<QByteArray> out;
    const QByteArray rbsp = Rbsp(nal);
    const uchar *p = reinterpret_cast<const uchar *>(rbsp.constData());
    qint64 end = rbsp.size();
    // The trailing-bits byte closes the RBSP; no payload reaches over it.
    if (end > 0 && p[end - 1] == 0x80)
        --end;
    qint64 pos = 0;
    while (pos < end) {
        qint64 type = 0, size = 0;
        while (pos < end && p[pos] == 0xff)
            type += p[pos++];
        if (pos >= end)
            break;
        type += p[pos++];
        while (pos < end && p[pos] == 0xff)
            size += p[pos++];
        if (pos >= end)
            break;
        size += p[pos++];
        const bool cut = size > end - pos;
        const qint64 payloadEnd = cut ? end : pos + size;
        if (type == kSeiUserDataUnregistered) {
            qint64 at = pos;
            while (at < payloadEnd && p[at] == kMarkerFill)
                ++at;
            if (at > pos && at < payloadEnd && p[at] == kMarkerEnd) {
                if (cut)
                    ++*damaged; // a message whose size claims more than the unit holds
                else
                    out.append(
                        QByteArray(reinterpret_cast<const char *>(p + at + 1), int(payloadEnd - at - 1)));
            }
        }
        pos = payloadEnd;
    }
    return out;
}

QVector<QByteArray> CTeslaSei::Messages(const QByteArray &head, int lengthSize, qint64 *needBytes,
                                        int *damaged)
{
    QVector<QByteArray> out;
    *needBytes = 0;
    if (lengthSize != 1 && lengthSize != 2 && lengthSize != 4)
        return out;
    const uchar *p = reinterpret_cast<const uchar *>(head.constData());
    const qint64 n = head.size();
    qint64 pos = 0;
    for (int units = 0; units < kMaxTeslaNalsPerSample; ++units) {
        if (pos + lengthSize + 1 > n) {
            *needBytes = pos + lengthSize + 1;
            return out;
        }
        const qint64 length = LengthAt(p + pos, lengthSize);
        if (length == 0) {
            pos += lengthSize;
            continue;
        }
        const int type = p[pos + lengthSize] & 0x1f;
        if (type >= 1 && type <= 5)
            return out; // the picture's first slice: nothing of ours after it
        const qint64 next = pos + lengthSize + length;
        if (type == kNalSei) {
            if (next > n) {
                *needBytes = next;
                return out;
            }
            out += MessagesOfSei(head.mid(int(pos + lengthSize), int(length)), damaged);
        }
        pos = next;
    }
    return out;
}

bool CTeslaSei::Decode(const QByteArray &message, tagTESLAFRAME *out)
{
    tagTESLAFRAME f;
    const uchar *p = reinterpret_cast<const uchar *>(message.constData());
    const qint64 end = message.size();
    qint64 pos = 0;
    while (pos < end) {
        quint64 key = 0;
        if (!Varint(p, end, &pos, &key))
            return false;
        const quint64 field = key >> 3;
        const int wire = int(key & 7);
        if (field == 0 || field > 0x1fffffff)
            return false;
        switch (wire) {
        case 0: {
            quint64 v = 0;
            if (!Varint(p, end, &pos, &v))
                return false;
            // Enums and uint32 are the low 32 bits, as protobuf reads them.
            switch (field) {
            case 1: f.nVersion = quint32(v); break;
            case 2: f.nGear = int(qint32(quint32(v))); break;
            case 3: f.nFrame = v; break;
            case 7: f.bBlinkerLeft = v != 0; break;
            case 8: f.bBlinkerRight = v != 0; break;
            case 9: f.bBrake = v != 0; break;
            case 10: f.nAutopilot = int(qint32(quint32(v))); break;
            default: break;
            }
            break;
        }
        case 1: {
            if (end - pos < 8)
                return false;
            const double d = DoubleOf(p + pos);
            pos += 8;
            switch (field) {
            case 11: f.dLat = d; break;
            case 12: f.dLon = d; break;
            case 13: f.dHeading = d; break;
            case 14:
            case 15:
            case 16:
                f.dAccel[field - 14] = d;
                f.bAccel = true;
                break;
            default: break;
            }
            break;
        }
        case 2: {
            quint64 length = 0;
            if (!Varint(p, end, &pos, &length) || length > quint64(end - pos))
                return false;
            pos += qint64(length);
            break;
        }
        case 5: {
            if (end - pos < 4)
                return false;
            const float v = FloatOf(p + pos);
            pos += 4;
            switch (field) {
            case 4: f.fSpeed = v; break;
            case 5: f.fAccelerator = v; break;
            case 6: f.fSteering = v; break;
            default: break;
            }
            break;
        }
        default: return false; // groups (3, 4) and wire types no message has
        }
    }
    *out = f;
    return true;
}

void CTeslaSei::AddFrame(const tagTESLAFRAME &f, double time, tagTRACKTELEMETRY *out, tagTESLASTATS *stats)
{
    tagTRACKFIX fix;
    fix.dTime = time;
    fix.cStatus = 'A';
    fix.dLat = f.dLat;
    fix.dLon = f.dLon;
    fix.dSpeed = f.fSpeed;
    fix.dCourse = std::isfinite(f.dHeading) ? std::fmod(std::fmod(f.dHeading, 360.0) + 360.0, 360.0) : -1.0;
    ClampTrackFix(&fix);
    if (fix.cStatus == 'A' && !(fix.dLat == 0.0 && fix.dLon == 0.0))
        out->AddFix(fix);
    else
        ++stats->nNoFix;

    if (f.bAccel && std::isfinite(f.dAccel[0]) && std::isfinite(f.dAccel[1]) && std::isfinite(f.dAccel[2])) {
        tagTRACKSAMPLE s;
        s.dTime = time;
        s.fX = float(f.dAccel[0] / kStandardGravity);
        s.fY = float(f.dAccel[1] / kStandardGravity);
        s.fZ = float(f.dAccel[2] / kStandardGravity);
        out->AddSample(s);
    }

    tagTRACKVEHICLE v;
    v.dTime = time;
    v.state.nGear = f.nGear;
    v.state.fAccelerator = f.fAccelerator;
    v.state.fSteering = f.fSteering;
    v.state.bBlinkerLeft = f.bBlinkerLeft ? 1 : 0;
    v.state.bBlinkerRight = f.bBlinkerRight ? 1 : 0;
    v.state.bBrake = f.bBrake ? 1 : 0;
    v.state.nAutopilot = f.nAutopilot;
    out->AddVehicle(v);
}

bool CTeslaSei::ReadFile(const QString &path, tagTRACKTELEMETRY *out, qint64 *budget, tagTESLASTATS *statsOut)
{
    tagTESLASTATS stats;
    CMp4Boxes boxes;
    if (!boxes.Open(path, true))
        return false;
    const tagMP4TRACK *video = nullptr;
    for (const tagMP4TRACK &t : boxes.Tracks()) {
        if (!video && t.sampleEntry == "avc1" && t.nNalLengthSize > 0)
            video = &t;
    }
    if (!video)
        return false;

    // Reads of one sample: its first bytes, more when its NAL units reach further.
    const auto read = [&](const tagMP4SAMPLE &s, qint64 n) -> QByteArray {
        n = std::min(n, s.nSize);
        if (n > *budget) {
            out->bTooLarge = 1;
            return {};
        }
        *budget -= n;
        return boxes.ReadSampleHead(s, n);
    };
    for (const tagMP4SAMPLE &s : video->samples) {
        if (stats.nMessages == 0 && stats.nSamples >= kTeslaProbeSamples)
            break; // an ordinary clip: none of its first pictures carries the car's SEI
        if (out->bTooLarge)
            break;
        ++stats.nSamples;
        QByteArray head = read(s, kTeslaSampleHeadBytes);
        if (head.isEmpty())
            continue;
        qint64 need = 0;
        int damaged = 0;
        QVector<QByteArray> messages = CTeslaSei::Messages(head, video->nNalLengthSize, &need, &damaged);
        if (need > 0 && need <= kTeslaMaxHeadBytes && head.size() < s.nSize) {
            head = read(s, kTeslaMaxHeadBytes);
            if (head.isEmpty())
                continue;
            damaged = 0;
            messages = CTeslaSei::Messages(head, video->nNalLengthSize, &need, &damaged);
        }
        // The walk did not reach the slice: NAL units longer than what is read of a sample, or
        // running past its end.
        stats.nDamaged += damaged + (need > 0 ? 1 : 0);
        for (const QByteArray &m : messages) {
            ++stats.nMessages;
            tagTESLAFRAME frame;
            if (!Decode(m, &frame)) {
                ++stats.nDamaged;
                continue;
            }
            ++stats.nDecoded;
            AddFrame(frame, s.dStart, out, &stats);
        }
    }
    if (boxes.TooLarge())
        out->bTooLarge = 1;
    if (statsOut)
        *statsOut = stats;
    return stats.nMessages > 0;
}
