// What the telemetry of one frame reads as text, and the band that shows those texts under (or
// over) the picture: one drawing used by the exported video and by the play view, so that what a
// driver saw on screen is what the police see in the file.
#pragma once

#include "base/units.h"
#include "catalogue/recordinfo.h"
#include "playback/frameindextable.h"
#include "telemetry/frametelemetry.h"

#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>

class QPainter;

// Items of the band; the command line names them time,speed,position,heading,gsensor,kind,name.
enum : unsigned {
    OVERLAY_TIME = 1u << 0,
    OVERLAY_SPEED = 1u << 1,
    OVERLAY_POSITION = 1u << 2,
    OVERLAY_HEADING = 1u << 3,
    OVERLAY_GSENSOR = 1u << 4,
    OVERLAY_KIND = 1u << 5,
    OVERLAY_NAME = 1u << 6,
    OVERLAY_ALL = (1u << 7) - 1,
};
// "time,speed" -> the bits; false for an empty list or an unknown name (named in *bad).
bool ParseOverlayList(const QString &list, unsigned *items, QString *bad);
QString OverlayListText(unsigned items);

// The speed of a fix: its own text in km/h (as the panel shows it), or whole miles an hour.
QString SpeedText(const tagGPSINFO &fix, SpeedUnit unit);

// The band's texts for one frame; an item without data reads "no GPS", "no sensor data" or
// "no time".
struct tagOVERLAYTEXTS {
    QString strTime;     // "2014-10-17 08:14:27.250"
    QString strSpeed;    // "52 Km/h" / "32 mph"
    QString strPosition; // latitude and longitude texts
    QString strHeading;  // "NE(45.00°)"
    QString strGSensor;  // "X +0.12  Y -0.03  Z +1.01"
    QString strKind;     // "Event"
    QString strName;     // "20141017_081300N.mp4  12/300"
    // The car's own state ("Gear D  Accel 23 %  ...", see VehicleBandText), drawn with the
    // G-sensor item after its values; empty for a record without it (the band is then what it
    // always was).
    QString strVehicle;
};
extern const char kOverlayNoGps[];
extern const char kOverlayNoSensor[];
extern const char kOverlayNoTime[];
extern const char kOverlayNoVehicle[]; // a frame without the car's state, of a record that has it

// The texts of frame `frame` of a clip; `position100ns` is that frame's time in the clip.
tagOVERLAYTEXTS OverlayTexts(const tagDATAFILEINFO &rec, const tagFRAMETELEMETRY &t, const QString &fileName,
                             int64_t frame, int64_t frameCount, SpeedUnit unit);

// One clip's record and tables, for whoever draws its frames one after another (the exporter).
class CClipOverlay
{
public:
    CClipOverlay(const tagDATAFILEINFO &rec, const QString &mediaPath, int64_t frameTime, int64_t frameCount);
    tagOVERLAYTEXTS Texts(int64_t frame, SpeedUnit unit) const;

private:
    tagDATAFILEINFO m_rec;
    QString m_fileName;
    int64_t m_frameTime;
    int64_t m_frameCount;
    CFrameIndexTable m_frameToSample;
    FrameFixTables m_fix;
    CFrameIndexTable m_frameToVehicle;
};

// Height of the band for a picture: two rows of text, about a twelfth of the picture's height and
// never less than 36 pixels; even, so that the band's colour planes split cleanly.
int OverlayBandHeight(const QSize &picture);
// Draws the band (an opaque black strip, white text) into rect. Safe on any thread: no shared
// font cache.
void DrawTelemetryOverlay(QPainter &p, const QRect &band, const tagOVERLAYTEXTS &texts, unsigned items);
