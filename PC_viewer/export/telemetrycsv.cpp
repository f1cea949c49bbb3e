// A clip's telemetry as CSV.
#include "export/telemetrycsv.h"

#include "base/clocktime.h"
#include "playback/frameindextable.h"
#include "telemetry/graphgeometry.h"
#include "telemetry/vehicletexts.h"

#include <QSaveFile>

#include <algorithm>
#include <cmath>

const char kTelemetryCsvHeader[] = "frame,time,latitude,longitude,speed,heading,x,y,z";
const char kTelemetryCsvVehicleColumns[] = ",gear,accelerator,steering,blinker,brake,autopilot";

namespace {

// Rows go to the file in blocks of about this many bytes.
constexpr qsizetype kBlockBytes = 64 * 1024;

// A number with the given decimals; an empty cell for a value that is no number (a broken field
// of another camera's track), so that the column stays numeric.
QString Number(double value, int decimals)
{
    if (!std::isfinite(value))
        return QString();
    return QString::asprintf("%.*f", decimals, value);
}

} // namespace

QString TelemetryCsvRow(const tagDATAFILEINFO &rec, const tagFRAMETELEMETRY &t, int64_t frame, SpeedUnit unit)
{
    QString cells[9];
    cells[0] = QString::number(frame);
    if (t.bClock)
        cells[1] = GraphClockText(t.llClockMs);
    if (t.nFix >= 0) {
        // The panel's fix for this frame. The panel writes its speed as the recorder's truncated
        // "52 Km/h" text; a spreadsheet gets the number behind it, from the fix's knots.
        const tagGPSINFO &g = rec.vecGps[t.nFix];
        cells[2] = Number(g.dLat, 6);
        cells[3] = Number(g.dLon, 6);
        cells[4] = Number(SpeedInUnit(g.dSpeedKnots, unit), 1);
        cells[5] = Number(g.dCourse, 2);
    }
    if (t.nSample >= 0) {
        const tagACCELINFO &a = rec.vecAccel[t.nSample];
        const float values[3] = {a.fX, a.fY, a.fZ};
        for (int i = 0; i < 3; ++i)
            cells[6 + i] = std::isfinite(values[i]) ? GraphValueText(values[i]) : QString();
    }
    QString row = cells[0];
    for (int i = 1; i < 9; ++i)
        row += QLatin1Char(',') + cells[i];
    if (!rec.vecVehicle.isEmpty()) {
        QString car[VEHICLE_ROWS];
        if (t.nVehicle >= 0 && t.nVehicle < rec.vecVehicle.size()) {
            const tagVEHICLEINFO &v = rec.vecVehicle[t.nVehicle];
            car[VEHICLE_ROW_GEAR] = GearText(v.nGear);
            car[VEHICLE_ROW_ACCELERATOR] = Number(v.fAccelerator, 1);
            car[VEHICLE_ROW_STEERING] = Number(v.fSteering, 1);
            car[VEHICLE_ROW_BLINKER] = BlinkerText(v, QStringLiteral("none"));
            car[VEHICLE_ROW_BRAKE] = v.bBrake ? QStringLiteral("on") : QStringLiteral("off");
            car[VEHICLE_ROW_AUTOPILOT] = AutopilotText(v.nAutopilot);
        }
        for (const QString &cell : car)
            row += QLatin1Char(',') + cell;
    }
    return row;
}

bool WriteTelemetryCsv(const QString &path, const tagDATAFILEINFO &rec, int64_t frameTime, int64_t frameCount,
                       SpeedUnit unit, QString *why)
{
    // The tables the viewer builds when it opens the clip, so that every row reads what the
    // panel would show with the video on that frame.
    const CFrameIndexTable frameToSample = BuildFrameToSample(rec, frameTime, frameCount);
    const FrameFixTables fix = BuildFrameToFix(rec, frameTime, frameCount);
    const CFrameIndexTable frameToVehicle = BuildFrameToVehicle(rec, frameTime, frameCount);

    // No direct-write fallback: a folder where no file can be made beside the target gets no
    // half-written CSV either. Unbuffered, because the rows go out in blocks of their own and a
    // failed write must be seen here: QSaveFile::commit() does not notice that the flush of its
    // buffer failed and would rename a cut-off file into place as if it were whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *why = file.errorString();
        return false;
    }
    const int64_t frames = std::max<int64_t>(frameCount, 0);
    QByteArray bytes = QByteArray(kTelemetryCsvHeader);
    if (!rec.vecVehicle.isEmpty())
        bytes += kTelemetryCsvVehicleColumns;
    bytes += '\n';
    for (int64_t frame = 0; frame <= frames; ++frame) {
        if (frame < frames) {
            const tagFRAMETELEMETRY t =
                FrameTelemetry(rec, frameToSample, fix.frameToFix, frame, frame * frameTime, &frameToVehicle);
            bytes += TelemetryCsvRow(rec, t, frame, unit).toLatin1() + '\n';
            if (bytes.size() < kBlockBytes)
                continue;
        }
        const qint64 written = file.write(bytes);
        if (written != bytes.size()) {
            // A short write is the system's word for no room (a full card, a file-size limit).
            *why = written >= 0 ? QStringLiteral("the disk is full") : file.errorString();
            file.cancelWriting();
            return false;
        }
        bytes.clear();
    }
    if (!file.commit()) {
        *why = file.errorString();
        return false;
    }
    return true;
}
