// CGpxTrack reads the track points of a GPX 1.0 or 1.1 file (a track that another camera or a
// GPS logger wrote) into time-stamped points, for pairing with clips by time.
//
// What is read: every trk/trkseg/trkpt of every track, in one list (segments are not kept apart):
// the attributes lat and lon (decimal degrees, WGS 84), <time>, and when present <ele> (metres),
// <speed> (metres per second; GPX 1.0, or any extension element of that name such as Garmin's
// gpxtpx:speed) and <course> (degrees from true north; GPX 1.0 or an extension). Elements are
// matched by local name, so both GPX namespaces and any extension prefix work. Waypoints and
// routes are skipped.
//
// Time base: <time> is ISO 8601; it is turned into UTC milliseconds since the epoch. A time with an
// offset is converted; one without a zone is UTC, as GPX says.
//
// Points that cannot be placed are skipped and counted (SkippedPoints()): no time or a time that
// does not parse, lat or lon missing, not a number or out of range. A bad ele, speed or course
// only drops that value.
//
// Order: the points are sorted by time after reading (a stable sort, so equal times keep file
// order); WasUnsorted() says that the file's order was different, e.g. tracks stored out of order.
//
// Speed and course that the file does not give are computed from the neighbouring points: the
// great-circle (haversine, mean Earth radius 6371008.8 m) distance and the initial bearing from
// the point before to the point after (or to/from the one neighbour at the ends), over their time
// difference; the point is marked computed. A point with no neighbour at a different time keeps
// neither.
//
// Limits: kMaxDataFileBytes read and kMaxFixesPerFile points, as for the data file; beyond that
// the rest counts as absent and TooLarge() is set. A document type declaration is refused (a GPX
// file has none, and it is how entity expansion attacks come in); external entities are never
// resolved. A file that stops being well-formed keeps the points before the fault and says so in
// Error().
#pragma once

#include <QString>
#include <QVector>

class QIODevice;

struct tagGPXPOINT {
    qint64 nTimeMs = 0; // UTC, milliseconds since the epoch
    double dLat = 0.0;
    double dLon = 0.0;
    double dEle = 0.0; // metres
    double dSpeed = 0.0; // metres per second
    double dCourse = 0.0; // degrees, 0 <= course < 360
    bool bHasEle = false;
    bool bHasSpeed = false;
    bool bHasCourse = false;
    bool bSpeedComputed = false;
    bool bCourseComputed = false;
};

class CGpxTrack
{
public:
    // Reads the file at path; true when it gave at least one point. A path that is not a readable
    // regular file gives none and sets OpenFailed().
    bool Load(const QString &path);
    bool Read(QIODevice *device);

    const QVector<tagGPXPOINT> &Points() const { return m_points; }
    bool OpenFailed() const { return m_openFailed; }
    bool TooLarge() const { return m_tooLarge; }
    bool WasUnsorted() const { return m_wasUnsorted; }
    int SkippedPoints() const { return m_skipped; }
    // Empty when the file was read to its end without a fault.
    const QString &Error() const { return m_error; }

    // The points whose time lies in [startMs, endMs), by binary search. points must be sorted by
    // time, as Points() is; an unsorted list gives some contiguous run of it (never a fault).
    static QVector<tagGPXPOINT> PointsInWindow(const QVector<tagGPXPOINT> &points, qint64 startMs,
                                               qint64 endMs);

    // Great-circle distance in metres and initial bearing in degrees [0, 360) between two points.
    static double DistanceMetres(double lat1, double lon1, double lat2, double lon2);
    static double BearingDegrees(double lat1, double lon1, double lat2, double lon2);

private:
    void Clear();
    void FillMissingSpeedAndCourse();

    QVector<tagGPXPOINT> m_points;
    QString m_error;
    int m_skipped = 0;
    bool m_openFailed = false;
    bool m_tooLarge = false;
    bool m_wasUnsorted = false;
};
