// GPX 1.0 track export of a recording's GPS fixes, in the exact layout Google Earth users of the
// recorder have always received: CR LF line ends, one blank before each, tab indentation.
#include "catalogue/datafileinfo.h"

#include <QDateTime>
#include <QSaveFile>

namespace {

class CGpxLines
{
public:
    void Line(int tabs, const QByteArray &text)
    {
        m_out.append(tabs, '\t');
        m_out.append(text);
        m_out.append(" \r\n");
    }
    void Last(int tabs, const QByteArray &text)
    {
        m_out.append(tabs, '\t');
        m_out.append(text);
    }
    QByteArray Bytes() const { return m_out; }

private:
    QByteArray m_out;
};

// printf-style formatting in the C locale (QString::asprintf never uses the user's locale).
template <typename... Args> QByteArray Fmt(const char *format, Args... args)
{
    return QString::asprintf(format, args...).toLatin1();
}

} // namespace

QByteArray CDataFileInfo::FormatGpx(const QVector<tagGPSINFO> &fixes, const SYSTEMTIME &utcNow)
{
    if (fixes.isEmpty())
        return QByteArray();
    double minLat = fixes.first().dLat, maxLat = minLat;
    double minLon = fixes.first().dLon, maxLon = minLon;
    for (const tagGPSINFO &g : fixes) {
        minLat = qMin(minLat, g.dLat);
        maxLat = qMax(maxLat, g.dLat);
        minLon = qMin(minLon, g.dLon);
        maxLon = qMax(maxLon, g.dLon);
    }

    CGpxLines out;
    out.Line(0, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    out.Line(0, "<gpx");
    out.Line(1, "version=\"1.0\"");
    out.Line(1, QByteArray("creator=\"Corvana - ") + kProductWebAddress + "\"");
    out.Line(1, "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"");
    out.Line(1, "xmlns=\"http://www.topografix.com/GPX/1/0\"");
    out.Line(1, "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/0 "
                "http://www.topografix.com/GPX/1/0/gpx.xsd\">");
    out.Line(1, Fmt("<time>%4d-%02d-%02dT%02d:%02d:%02dZ</time>", utcNow.wYear, utcNow.wMonth, utcNow.wDay,
                    utcNow.wHour, utcNow.wMinute, utcNow.wSecond));
    out.Line(1, Fmt("<bounds minlat=\"%f\" minlon=\"%f\" maxlat=\"%f\" maxlon=\"%f\"/>", minLat, minLon,
                    maxLat, maxLon));
    out.Line(1, "<trk>");
    out.Line(2, "<trkseg>");
    for (const tagGPSINFO &g : fixes) {
        const SYSTEMTIME &t = g.stTime;
        out.Line(3, Fmt("<trkpt lat=\"%f\" lon=\"%f\">", g.dLat, g.dLon));
        out.Line(4, Fmt("<time>20%02d-%02d-%02dT%02d:%02d:%02d.%03dZ</time>", t.wYear, t.wMonth, t.wDay,
                        t.wHour, t.wMinute, t.wSecond, t.wMilliseconds));
        out.Line(4, Fmt("<course>%f</course>", g.dCourse));
        out.Line(4, Fmt("<speed>%f</speed>", g.dSpeedKnots));
        out.Line(3, "</trkpt>");
    }
    out.Line(2, "</trkseg>");
    out.Line(1, "</trk>");
    out.Last(0, "</gpx>");
    return out.Bytes();
}

int CDataFileInfo::WriteGpx(const QString &outputPath, const QVector<tagGPSINFO> &fixes)
{
    if (fixes.isEmpty())
        return 0;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    SYSTEMTIME utc;
    utc.wYear = static_cast<uint16_t>(now.date().year());
    utc.wMonth = static_cast<uint16_t>(now.date().month());
    utc.wDay = static_cast<uint16_t>(now.date().day());
    utc.wHour = static_cast<uint16_t>(now.time().hour());
    utc.wMinute = static_cast<uint16_t>(now.time().minute());
    utc.wSecond = static_cast<uint16_t>(now.time().second());

    // Written beside the target and renamed over it at the end, so that a full disk or a pulled
    // card never leaves a truncated track that Google Earth would half-read.
    QSaveFile file(outputPath);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    const QByteArray bytes = FormatGpx(fixes, utc);
    // Flushed here, where a failed write is seen: commit() renames a file whose buffered tail
    // could not be written (a full card) into place as if it were whole.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return 0;
    }
    return file.commit() ? 1 : 0;
}
