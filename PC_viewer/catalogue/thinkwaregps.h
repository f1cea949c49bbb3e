// CThinkwareGps reads the GPS that Thinkware dash cams write into their MP4 clips as the cues of a
// text track, into the same fixes as the other in-clip readers.
//
// A cue is text of fields separated by ';' (after the 16-bit length of QuickTime text samples):
//   gsensori,4,512,-67,-12,100;GNRMC,161313.00,A,4529.87489,N,07337.01215,W,6.225,35.34,310819,,,A*52
//   ;CAR,0,0,0,0.0,0,0,0,0,0,0,0,0
// "gsensori," and the G-sensor's values, an RMC sentence of any talker without its '$' (UTC time
// and date, DDMM position, speed in knots, course; its checksum, when there, must match), and
// "CAR," with values of the car. The G-sensor's values have no publicly described scale or axes
// and are not read; neither are the car's.
//
// Which track: a text track (IsMp4TextTrack) with at least one cue that holds "gsensori," or an
// RMC sentence. Times: a cue's start on the track is its fix's time on the clip; the RMC gives
// the fix's UTC. A cue whose RMC has status V or no position gives no fix; one whose RMC is cut or
// holds values no receiver gives (see ParseRmcText) is counted as damaged.
#pragma once

#include "catalogue/makergps.h"

class CThinkwareGps
{
public:
    // One cue (a text sample's bytes) at its start on the clip; a fix goes to *out. MR_OTHER for a
    // cue of no Thinkware field.
    static MakerRecordResult AddCue(const QByteArray &sample, double time, tagTRACKTELEMETRY *out);

    // Reads the cues of the clip's text tracks (the samples out of *budget). True when a Thinkware
    // cue was found, even one that gave nothing.
    static bool Read(CMp4Boxes *boxes, tagTRACKTELEMETRY *out, qint64 *budget, tagMAKERGPSSTATS *stats = nullptr);
};
