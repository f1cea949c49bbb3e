// Naming rules of the recorder's card: data-file pairing, recording kinds, time keys.
#include "catalogue/recordinfo.h"

#include <QFileInfo>

#include <ctime>

bool SYSTEMTIME::operator==(const SYSTEMTIME &o) const
{
    return wYear == o.wYear && wMonth == o.wMonth && wDayOfWeek == o.wDayOfWeek && wDay == o.wDay &&
           wHour == o.wHour && wMinute == o.wMinute && wSecond == o.wSecond &&
           wMilliseconds == o.wMilliseconds;
}

QString RecordingTypeName(int type)
{
    switch (type) {
    case RT_ORDINARY: return QStringLiteral("Ordinary");
    case RT_EVENT: return QStringLiteral("Event");
    case RT_USER: return QStringLiteral("User");
    case RT_AUDIO: return QStringLiteral("Audio");
    case RT_PARKING: return QStringLiteral("Parking");
    case RT_PARKING_MOTION: return QStringLiteral("P-Motion");
    case RT_PARKING_AUDIO: return QStringLiteral("P-Audio");
    default: return QStringLiteral("Unknown");
    }
}

namespace {

int LastSeparator(const QString &path)
{
#ifdef Q_OS_WIN
    return qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
#else
    return path.lastIndexOf(QLatin1Char('/'));
#endif
}

} // namespace

QString DataFilePathForClip(const QString &clipPath)
{
    const int sep = LastSeparator(clipPath);
    QString path = clipPath.left(sep + 1) + QStringLiteral("data");
    // The file name keeps its leading separator; a bare name gets one so that it lands in data/.
    path += sep >= 0 ? clipPath.mid(sep) : QStringLiteral("/") + clipPath;
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot > LastSeparator(path))
        return path.left(dot + 1) + QStringLiteral("dat");
    return path + QStringLiteral(".dat");
}

int RecordingTypeFromPath(const QString &dataFilePath)
{
    const QString name = dataFilePath.mid(LastSeparator(dataFilePath) + 1);
    const QChar c1 = name.isEmpty() ? QChar() : name.at(0).toUpper();
    const QChar c16 = name.size() > 15 ? name.at(15).toUpper() : QChar();

    int type = RT_UNKNOWN;
    if (c1 == QLatin1Char('C') || c16 == QLatin1Char('N')) {
        type = RT_ORDINARY;
    } else if (dataFilePath.toUpper().contains(QLatin1String("PARKING"))) {
        if (c16 == QLatin1Char('S'))
            type = RT_PARKING;
        else if (c16 == QLatin1Char('A'))
            type = RT_PARKING_AUDIO;
        else if (c16 == QLatin1Char('M'))
            type = RT_PARKING_MOTION;
    } else if (c1 == QLatin1Char('E') || c16 == QLatin1Char('E')) {
        type = RT_EVENT;
    } else if (c16 == QLatin1Char('A')) {
        type = RT_AUDIO;
    }
    if (c16 == QLatin1Char('F'))
        type = RT_USER;
    return type;
}

bool TimeKey(const SYSTEMTIME &st, int64_t *keyMs)
{
    // The recorder can write garbage after a power cut; such a time stamp has no place in time.
    if (st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 || st.wDay > 31 || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59)
        return false;
    std::tm tm{};
    tm.tm_year = 2000 + st.wYear - 1900;
    tm.tm_mon = st.wMonth - 1;
    tm.tm_mday = st.wDay;
    tm.tm_hour = st.wHour;
    tm.tm_min = st.wMinute;
    tm.tm_sec = st.wSecond;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return false;
    *keyMs = static_cast<int64_t>(t) * 1000 + st.wMilliseconds;
    return true;
}

bool OrderingKey(const tagDATAFILEINFO &rec, int64_t *keyMs)
{
    if (rec.bValid == 1 && !rec.bNoClock)
        return TimeKey(rec.stSyncTime, keyMs);
    return rec.bHasNameTime && TimeKey(rec.stNameTime, keyMs);
}

QString FileNameOfPath(const QString &path)
{
    return path.mid(LastSeparator(path) + 1);
}

bool IsInsideFolder(const QString &path, const QString &root)
{
    if (root.isEmpty())
        return false;
    const QString real = QFileInfo(path).canonicalFilePath();
    if (real.isEmpty())
        return false;
    if (real == root)
        return true;
    return real.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

const char kTooLargeListNote[] = " (data file too large: read in part)";

namespace {
const struct {
    int source;
    const char *name;
} kSourceNames[] = {
    {TS_DAT, "dat"},           {TS_NMEA, "nmea"},   {TS_GPX, "gpx"},           {TS_GPMF, "gpmf"},
    {TS_CAMM, "camm"},         {TS_NOVATEK, "novatek"}, {TS_BLACKVUE, "blackvue"}, {TS_70MAI, "70mai"},
    {TS_THINKWARE, "thinkware"}, {TS_SSTAR, "sstar"}, {TS_GARMIN, "garmin"},   {TS_NEXTBASE, "nextbase"},
    {TS_TESLA, "tesla"},
};
} // namespace

QString TelemetrySourceName(int source)
{
    for (const auto &s : kSourceNames) {
        if (s.source == source)
            return QString::fromLatin1(s.name);
    }
    return QString();
}

int TelemetrySourceFromName(const QString &name)
{
    for (const auto &s : kSourceNames) {
        if (name == QLatin1String(s.name))
            return s.source;
    }
    return TS_NONE;
}

QString RecordListText(const tagDATAFILEINFO &rec, const QString &mediaPath)
{
    const bool clock = rec.bValid == 1 && !rec.bNoClock;
    if (clock || rec.bHasNameTime) {
        const SYSTEMTIME &t = clock ? rec.stSyncTime : rec.stNameTime;
        QString text = QString::asprintf("20%02d/%02d/%02d - %02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay,
                                         t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
        if (rec.bTooLarge)
            text += QLatin1String(kTooLargeListNote);
        return text;
    }
    return QStringLiteral("File name : %1").arg(FileNameOfPath(mediaPath));
}
