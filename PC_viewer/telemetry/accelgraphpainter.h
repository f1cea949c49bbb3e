// Drawing of the G-sensor graph into any QPainter: the pane paints its picture with these, and the
// report draws the same picture, with the same calls, onto paper. Coordinates are the graph's own
// client pixels (CGraphGeometry); a caller that wants another size scales the painter.
#pragma once

#include "catalogue/recordinfo.h"
#include "telemetry/graphgeometry.h"
#include "base/units.h"

#include <QFont>
#include <QString>
#include <QVector>

class QPainter;

// Arial whose character cell (ascent + descent) is cellHeight pixels, as the graph and the report
// lay their texts out; a fallback font of other proportions is sized down until its cell fits.
QFont ArialCellFont(int cellHeight);

// GDI draws text from its top-left corner; so do the graph and the report.
void DrawTextAt(QPainter &p, int x, int y, const QString &text);

// What does not change while a clip plays: background, axes, grid, panel labels, axis labels.
void DrawAccelGraphBackground(QPainter &p, const CGraphGeometry &geo, unsigned zoom);

// The extremes of the samples drawn, maxima from -2 and minima from +2.
struct tagACCELEXTREMES {
    float fMax[3] = {-2.0f, -2.0f, -2.0f};
    float fMin[3] = {2.0f, 2.0f, 2.0f};
};

// The three curves over the samples inside the clip (durationMs long from startMs) and the panel's
// maximum and minimum rows; returns the extremes.
tagACCELEXTREMES DrawAccelGraphCurves(QPainter &p, const CGraphGeometry &geo, const tagDATAFILEINFO &rec,
                                      int64_t startMs, int64_t durationMs, unsigned zoom);

// One point of the speed curve: a valid fix inside the clip, llRelMs after the sync time, with its
// speed in the chosen unit. bJoined: the curve runs to it from the point before; a void fix (or
// one whose speed is no number) between them breaks the curve, as the receiver knew nothing then.
struct tagSPEEDPOINT {
    int64_t llRelMs = 0;
    double dSpeed = 0;
    bool bJoined = false;
};
// The curve of a record's fixes in array order, over the same time axis as the sample curves
// (fixes before the sync time or after the clip's end are left out, like samples).
QVector<tagSPEEDPOINT> SpeedCurvePoints(const tagDATAFILEINFO &rec, int64_t startMs, int64_t durationMs,
                                        SpeedUnit unit);

// The speed curve over the plot, with its own axis on the plot's right edge (ticks and labels in
// the unit, the top label naming it), scaled to the fastest point drawn. Nothing without points.
// Drawn after the X/Y/Z curves, so it lies over them.
void DrawSpeedCurve(QPainter &p, const CGraphGeometry &geo, const tagDATAFILEINFO &rec, int64_t startMs,
                    int64_t durationMs, SpeedUnit unit);

// The parts of one frame, drawn over the picture above.
struct tagACCELFRAMEPARTS {
    bool bValues = false; // the frame has a sample: the "Cur." row
    float fValues[3] = {0, 0, 0};
    QString strFrame;     // row 7, empty for none
    QString strSpeed;     // rows 4 and 5, empty for none
    QString strDirection;
    QString strClock;     // row 6, empty for none
    int nMarkerX = -1;    // the marker, when above 0
    // The car's own state (a record that has it): its rows are drawn, with the frame's values
    // (empty for a frame without an entry); see VehicleRowTexts and kGraphVehicleBoxWidth.
    bool bVehicleRows = false;
    QString strVehicle[6];
};
void DrawAccelGraphFrameParts(QPainter &p, const CGraphGeometry &geo, const tagACCELFRAMEPARTS &parts);
