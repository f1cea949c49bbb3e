// Reader of GPX track points, fed to the XML reader in blocks so that the byte limit holds.
#include "catalogue/gpxtrack.h"

#include "catalogue/boundedlines.h"
#include "catalogue/datafileinfo.h"

#include <QDateTime>
#include <QFile>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kReadBlock = 64 * 1024;
// Longest text of a value element kept (a time, a number); anything longer is not one.
constexpr int kMaxValueText = 256;
constexpr double kEarthRadiusMetres = 6371008.8;
constexpr double kPi = 3.14159265358979323846;

double Radians(double degrees)
{
    return degrees * kPi / 180.0;
}

bool ToNumber(QStringView text, double *out)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

bool ToUtcMs(QStringView text, qint64 *out)
{
    QDateTime t = QDateTime::fromString(text.trimmed().toString(), Qt::ISODateWithMs);
    if (!t.isValid())
        return false;
    if (t.timeSpec() == Qt::LocalTime) // no zone written: GPX times are UTC
        t = QDateTime(t.date(), t.time(), QTimeZone::utc());
    *out = t.toMSecsSinceEpoch();
    return true;
}

} // namespace

void CGpxTrack::Clear()
{
    m_points.clear();
    m_error.clear();
    m_skipped = 0;
    m_openFailed = false;
    m_tooLarge = false;
    m_wasUnsorted = false;
}

bool CGpxTrack::Load(const QString &path)
{
    Clear();
    QFile file;
    m_openFailed = !OpenRegularFile(path, &file);
    return !m_openFailed && Read(&file);
}

bool CGpxTrack::Read(QIODevice *device)
{
    const bool openFailed = m_openFailed;
    Clear();
    m_openFailed = openFailed;

    QXmlStreamReader xml;
    qint64 total = 0;
    // Gives the reader the next block; false at the end of the data or at the byte limit.
    const auto feed = [&]() {
        if (total >= kMaxDataFileBytes) {
            char probe;
            m_tooLarge = device->read(&probe, 1) == 1;
            return false;
        }
        const QByteArray block = device->read(qMin(kReadBlock, kMaxDataFileBytes - total));
        if (block.isEmpty())
            return false;
        total += block.size();
        xml.addData(block);
        return true;
    };
    feed();

    int depth = 0;
    int trksegDepth = -1; // depth of the open trkseg, -1 outside one
    int pointDepth = -1;  // depth of the open trkpt
    bool pointOk = false, hasTime = false;
    tagGPXPOINT point;
    QString field, text;
    bool sawRoot = false;
    for (;;) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (xml.hasError()) {
            if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && feed())
                continue;
            if (!m_tooLarge)
                m_error = xml.errorString();
            break;
        }
        if (token == QXmlStreamReader::EndDocument)
            break;
        if (token == QXmlStreamReader::DTD) {
            m_error = QStringLiteral("A GPX file has no document type declaration.");
            break;
        }
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = xml.name();
            if (depth == 0 && !sawRoot) {
                if (name != u"gpx") {
                    m_error = QStringLiteral("Not a GPX file.");
                    break;
                }
                sawRoot = true;
            }
            ++depth;
            if (pointDepth >= 0) {
                field = name.toString();
                text.clear();
            } else if (name == u"trkseg" && trksegDepth < 0) {
                trksegDepth = depth;
            } else if (name == u"trkpt" && depth == trksegDepth + 1) {
                pointDepth = depth;
                point = tagGPXPOINT();
                hasTime = false;
                const QXmlStreamAttributes attributes = xml.attributes();
                pointOk = ToNumber(attributes.value(QLatin1String("lat")), &point.dLat) &&
                          ToNumber(attributes.value(QLatin1String("lon")), &point.dLon) &&
                          std::fabs(point.dLat) <= 90.0 && std::fabs(point.dLon) <= 180.0;
            }
        } else if (token == QXmlStreamReader::Characters) {
            if (!field.isEmpty() && text.size() < kMaxValueText)
                text += xml.text().left(kMaxValueText - text.size());
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == pointDepth) {
                pointDepth = -1;
                if (!pointOk || !hasTime) {
                    ++m_skipped;
                } else if (m_points.size() >= kMaxFixesPerFile) {
                    m_tooLarge = true;
                    break;
                } else {
                    m_points.append(point);
                }
            } else if (pointDepth >= 0 && !field.isEmpty()) {
                double v = 0.0;
                if (field == u"time") {
                    hasTime = ToUtcMs(text, &point.nTimeMs);
                } else if (field == u"ele") {
                    point.bHasEle = ToNumber(text, &point.dEle);
                } else if (field == u"speed") {
                    point.bHasSpeed = ToNumber(text, &v) && v >= 0.0;
                    point.dSpeed = point.bHasSpeed ? v : 0.0;
                } else if (field == u"course") {
                    point.bHasCourse = ToNumber(text, &v) && v >= 0.0 && v <= 360.0;
                    point.dCourse = point.bHasCourse ? std::fmod(v, 360.0) : 0.0;
                }
                field.clear();
            } else if (depth == trksegDepth) {
                trksegDepth = -1;
            }
            --depth;
        }
    }

    m_wasUnsorted = !std::is_sorted(m_points.cbegin(), m_points.cend(),
                                    [](const tagGPXPOINT &a, const tagGPXPOINT &b) { return a.nTimeMs < b.nTimeMs; });
    if (m_wasUnsorted) {
        std::stable_sort(m_points.begin(), m_points.end(),
                         [](const tagGPXPOINT &a, const tagGPXPOINT &b) { return a.nTimeMs < b.nTimeMs; });
    }
    FillMissingSpeedAndCourse();
    return !m_points.isEmpty();
}

double CGpxTrack::DistanceMetres(double lat1, double lon1, double lat2, double lon2)
{
    const double dLat = Radians(lat2 - lat1);
    const double dLon = Radians(lon2 - lon1);
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(Radians(lat1)) * std::cos(Radians(lat2)) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadiusMetres * std::asin(std::sqrt(std::min(1.0, a)));
}

double CGpxTrack::BearingDegrees(double lat1, double lon1, double lat2, double lon2)
{
    const double p1 = Radians(lat1), p2 = Radians(lat2), dLon = Radians(lon2 - lon1);
    const double y = std::sin(dLon) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dLon);
    const double degrees = std::atan2(y, x) * 180.0 / kPi;
    return degrees < 0 ? degrees + 360.0 : degrees;
}

void CGpxTrack::FillMissingSpeedAndCourse()
{
    const int n = m_points.size();
    for (int i = 0; i < n; ++i) {
        tagGPXPOINT &p = m_points[i];
        if (p.bHasSpeed && p.bHasCourse)
            continue;
        const tagGPXPOINT &a = m_points[qMax(0, i - 1)];
        const tagGPXPOINT &b = m_points[qMin(n - 1, i + 1)];
        if (b.nTimeMs <= a.nTimeMs)
            continue;
        const double metres = DistanceMetres(a.dLat, a.dLon, b.dLat, b.dLon);
        if (!p.bHasSpeed) {
            p.dSpeed = metres / ((b.nTimeMs - a.nTimeMs) / 1000.0);
            p.bHasSpeed = p.bSpeedComputed = true;
        }
        if (!p.bHasCourse && metres > 0.0) {
            p.dCourse = BearingDegrees(a.dLat, a.dLon, b.dLat, b.dLon);
            p.bHasCourse = p.bCourseComputed = true;
        }
    }
}

QVector<tagGPXPOINT> CGpxTrack::PointsInWindow(const QVector<tagGPXPOINT> &points, qint64 startMs, qint64 endMs)
{
    if (endMs <= startMs)
        return {};
    const auto before = [](const tagGPXPOINT &p, qint64 t) { return p.nTimeMs < t; };
    const auto first = std::lower_bound(points.cbegin(), points.cend(), startMs, before);
    const auto last = std::lower_bound(first, points.cend(), endMs, before);
    return QVector<tagGPXPOINT>(first, last);
}
