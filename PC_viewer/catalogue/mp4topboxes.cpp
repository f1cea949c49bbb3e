// The top-level boxes of an MP4 file and the children of its 'moov', read header by header.
#include "catalogue/mp4topboxes.h"

#include <algorithm>

bool CMp4TopBoxes::Open(const QString &path, qint64 *budget)
{
    m_boxes.clear();
    m_count = 0;
    m_tooLarge = false;
    m_budget = budget;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    m_size = m_file.size();
    bool moovSeen = false;
    tagMP4BOXREF box;
    qint64 end = 0;
    for (qint64 pos = 0; Header(pos, m_size, false, &box, &end); pos = end) {
        m_boxes.append(box);
        if (box.nType == FourCC("moov") && !moovSeen) {
            moovSeen = true;
            tagMP4BOXREF child;
            qint64 childEnd = 0;
            for (qint64 at = box.nPayload; Header(at, end, true, &child, &childEnd); at = childEnd)
                m_boxes.append(child);
        }
    }
    return true;
}

bool CMp4TopBoxes::Header(qint64 pos, qint64 end, bool inMoov, tagMP4BOXREF *box, qint64 *boxEnd)
{
    if (end - pos < 8)
        return false;
    if (++m_count > kMaxMp4Boxes) {
        m_tooLarge = true;
        return false;
    }
    tagMP4BOXHEADER h;
    if (!ParseMp4BoxHeader(Read({0, false, pos, std::min<qint64>(16, end - pos)}, 16), pos, end, &h))
        return false;
    box->nType = h.type;
    box->bInMoov = inMoov;
    box->nPayload = h.payload;
    *boxEnd = h.end;
    box->nSize = *boxEnd - box->nPayload;
    return true;
}

QByteArray CMp4TopBoxes::Read(const tagMP4BOXREF &box, qint64 cap)
{
    if (box.nSize > cap)
        m_tooLarge = true;
    const qint64 n = std::min(box.nSize, cap);
    if (n <= 0 || box.nPayload < 0 || box.nPayload > m_size - n)
        return {};
    if (n > *m_budget) {
        m_tooLarge = true;
        return {};
    }
    *m_budget -= n;
    if (!m_file.seek(box.nPayload))
        return {};
    QByteArray bytes = m_file.read(n);
    return bytes.size() == n ? bytes : QByteArray();
}
