// Ids, periods, limits, positions and colours of the telemetry panes (G-sensor graph and map).
#pragma once

#include <QtGui/qrgb.h>

// G-sensor graph: layout in client pixels.
constexpr int kGraphPanelWidth = 180;    // text panel left of the plot; the plot starts here
constexpr int kGraphRightMargin = 10;    // client width - plot width = panel + margin
constexpr int kGraphTopMargin = 10;      // plot starts at this y
constexpr int kGraphVerticalMargin = 20; // client height - plot height
constexpr int kGraphVerticalGridLines = 25;
constexpr int kGraphHorizontalGridLines = 5; // each side of the 0 g line
constexpr int kGraphTickHalfLength = 3;
constexpr double kGraphLabelStepG = 0.4; // g per horizontal grid line at zoom 1

// G-sensor graph: panel text.
constexpr int kGraphRowStep = 18;
constexpr int kGraphRowTop = 20;
constexpr int kGraphLabelX = 12;
constexpr int kGraphValueX[3] = {50, 82, 114}; // X, Y, Z values of rows 1 to 3
constexpr int kGraphHeadX[3] = {72, 104, 136}; // "X", "Y", "Z" heads of row 0
constexpr int kGraphTextX = 50;                // rows 4 to 6
constexpr int kGraphFrameTextX = 55;           // row 7
constexpr int kGraphZeroLabelX = 165;
constexpr int kGraphAxisLabelX = 150;
constexpr int kGraphPanelFontPx = 12;
constexpr int kGraphAxisFontPx = 10;

// G-sensor graph: the rows of a car's own state (a record that has it). The pane is no taller than
// the panel's eight rows, so they stand in a box of their own over the plot, on the panel's rows
// 0 to 5, at the plot's left; while the marker passes under it, at the plot's right instead.
constexpr int kGraphVehicleBoxWidth = 170;
constexpr int kGraphVehicleBoxGap = 4;      // from the plot's edge (and the speed labels' room)
constexpr int kGraphVehicleValueX = 76;     // value column, from the box's left
constexpr int kGraphVehicleRightRoom = 36;  // left free at the plot's right for the speed axis labels
constexpr QRgb kColourVehicleBox = qRgb(250, 250, 250);
constexpr int kGraphVehicleBoxAlpha = 210;

enum GraphPanelRow {
    GRAPH_ROW_HEADS = 0,
    GRAPH_ROW_CURRENT = 1,
    GRAPH_ROW_MAX = 2,
    GRAPH_ROW_MIN = 3,
    GRAPH_ROW_SPEED = 4,
    GRAPH_ROW_DIRECTION = 5,
    GRAPH_ROW_TIME = 6,
    GRAPH_ROW_FRAME = 7,
};

// G-sensor graph: zoom, marker, magnifier, extremes.
constexpr unsigned kGraphZoomMin = 1;
constexpr unsigned kGraphZoomMax = 8;
constexpr int kGraphMarkerHalfWidth = 4;
constexpr int kMagnifierSourceWidth = 40;
constexpr int kMagnifierSourceHeight = 30;
constexpr int kMagnifierScale = 4;
constexpr float kGraphMaxStart = -2.0f;
constexpr float kGraphMinStart = 2.0f;

// G-sensor graph: colours.
constexpr QRgb kColourAxisX = qRgb(77, 77, 255);
constexpr QRgb kColourAxisY = qRgb(255, 127, 0);
constexpr QRgb kColourAxisZ = qRgb(35, 142, 35);
constexpr QRgb kColourGrid = qRgb(192, 192, 192);
constexpr QRgb kColourMarker = qRgb(255, 0, 0);
constexpr QRgb kColourMagnifier = qRgb(77, 77, 255);
constexpr QRgb kColourBackgroundTop = qRgb(192, 192, 192);
constexpr QRgb kColourBackgroundBottom = qRgb(242, 242, 242);
constexpr int kGraphBackgroundHeight = 172; // the gradient picture is 1 x 172 pixels

// G-sensor graph: the speed curve over the X/Y/Z curves, with its own axis on the plot's right edge.
constexpr QRgb kColourSpeed = qRgb(170, 0, 170);
constexpr int kSpeedCurvePenWidth = 2;
constexpr double kSpeedAxisMinTop = 10.0;  // km/h or mph
constexpr double kSpeedAxisMaxTop = 1.0e6; // a corrupt fix cannot stretch the axis beyond this
constexpr int kSpeedAxisMaxTicks = 5;      // above 0
constexpr int kSpeedLabelGap = 5;          // from the right edge to the end of a tick label

// Trip timeline: the colours of the clips by kind (RT_UNKNOWN first, then Ordinary .. P-Audio), of
// the event markers by reason (Event, User, G-sensor peak), of |g| and of the rows.
constexpr QRgb kColourTimelineKinds[8] = {qRgb(180, 180, 180), qRgb(102, 140, 186), qRgb(214, 69, 65),
                                          qRgb(240, 160, 40),  qRgb(64, 176, 196),  qRgb(110, 110, 110),
                                          qRgb(140, 100, 180), qRgb(160, 120, 80)};
constexpr QRgb kColourTimelineEvents[3] = {qRgb(214, 69, 65), qRgb(240, 160, 40), qRgb(40, 90, 220)};
constexpr QRgb kColourTimelineG = qRgb(120, 190, 120);
constexpr QRgb kColourTimelineClipEdge = qRgb(40, 40, 40);
constexpr QRgb kColourTimelineCurves = qRgb(250, 250, 250);
constexpr QRgb kColourTimelineGrid = qRgb(225, 225, 225);
constexpr QRgb kColourTimelineNote = qRgb(0, 150, 90); // a driver's note on a moment
constexpr int kTimelineRulerHeight = 18;
constexpr int kTimelineMarkerRowHeight = 12;
constexpr int kTimelineLaneHeight = 12;
constexpr int kTimelineFontPx = 11;
constexpr double kTimelineGAxisMin = 1.0; // g at the top of the curves at least

// Map view: timers and waits.
constexpr int kMapRouteTimerId = 120;
constexpr int kMapRouteDelayMs = 100;
constexpr int kMapRetryTimerId = 140;
constexpr int kMapRetryDelayMs = 5000;
constexpr int kMapPageCompletePollMs = 10;
constexpr int kMapPageCompletePolls = 500;
constexpr int kMapFixWindowMs = 1000;

// The loopback web server: limits of one connection.
constexpr int kWebSecretBytes = 16;                  // the random first path segment: 128 bits
constexpr int kWebRequestHeadMaxBytes = 16 * 1024;   // request line and header fields
constexpr int kWebChunkBytes = 64 * 1024;            // a file is read and sent this much at a time
constexpr int kWebHeadTimeoutMs = 10000;             // from connecting to the end of the request head
constexpr int kWebIdleTimeoutMs = 30000;             // an answer the client stops taking is given up
constexpr int kWebLingerMs = 2000;                   // unread input is drained this long before closing
constexpr int kWebMaxConnections = 64;               // more at once are closed at once

// Map pages on the vendor's web server, relative to its base address.
constexpr const char *kGoogleMapPagePath = "corvana_mapview/google_map_world.html";
constexpr const char *kNaverMapPagePath = "corvana_mapview/naver_map.html";
