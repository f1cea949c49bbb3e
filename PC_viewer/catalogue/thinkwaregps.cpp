// Thinkware's text cues: an RMC sentence without '$' among ';'-separated fields.
#include "catalogue/thinkwaregps.h"

MakerRecordResult CThinkwareGps::AddCue(const QByteArray &sample, double time, tagTRACKTELEMETRY *out)
{
    const QByteArray text = Mp4CueText(sample);
    tagRMCFIX rmc;
    MakerRecordResult result = ParseRmcText(text, &rmc);
    if (result == MR_OTHER && (text.startsWith("gsensori,") || text.contains(";gsensori,")))
        result = MR_NOFIX; // the camera's cue before the receiver has a sentence
    if (result != MR_DECODED)
        return result;
    tagTRACKFIX f;
    f.dTime = time;
    f.bHasUtc = true;
    f.nUtcMs = rmc.nUtcMs;
    f.cStatus = 'A';
    f.dLat = rmc.dLat;
    f.dLon = rmc.dLon;
    f.dSpeed = rmc.dSpeed;
    f.dCourse = rmc.dCourse;
    ClampTrackFix(&f);
    out->AddFix(f);
    return MR_DECODED;
}

bool CThinkwareGps::Read(CMp4Boxes *boxes, tagTRACKTELEMETRY *out, qint64 *budget, tagMAKERGPSSTATS *stats)
{
    tagMAKERGPSSTATS counts;
    ForEachTrackSample(boxes, budget, out, IsMp4TextTrack, [&](const QByteArray &sample, double start) {
        CountMakerRecord(&counts, AddCue(sample, start, out));
    });
    if (stats)
        *stats = counts;
    return counts.nRecords > 0; // only a counted cue adds a fix
}
