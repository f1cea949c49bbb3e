// libFuzzer target for the MP4 telemetry readers: any bytes, read as an MP4 file, as one GPMF
// payload, one CAMM sample and as a video sample's NAL units, an SEI unit and a car's message,
// must give a bounded, consistent result without a crash, a hang or a sanitizer report.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_mp4telemetry
//   build-fuzz/tests/fuzz/fuzz_mp4telemetry -max_total_time=300 -max_len=4096 NEW_DIR tests/fuzz/corpus/mp4telemetry
#include "catalogue/camm.h"
#include "catalogue/gpmf.h"
#include "catalogue/mp4boxes.h"
#include "catalogue/teslasei.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

void Check(const tagTRACKTELEMETRY &t)
{
    if (t.vecFix.size() > kMaxFixesPerFile || t.vecAccel.size() > kMaxSamplesPerFile ||
        t.vecVehicle.size() > kMaxSamplesPerFile)
        std::abort();
    for (const tagTRACKFIX &f : t.vecFix) {
        if ((f.cStatus != 'A' && f.cStatus != 'V') || f.dLat < -90.0 || f.dLat > 90.0 || f.dLon < -180.0
            || f.dLon > 180.0)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("clip.mp4"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    tagTRACKTELEMETRY fromFile;
    if (!ReadMp4Telemetry(path, &fromFile) && (!fromFile.vecFix.isEmpty() || !fromFile.vecAccel.isEmpty()))
        std::abort();
    Check(fromFile);

    CMp4Boxes boxes;
    if (boxes.Open(path)) {
        for (const tagMP4TRACK &t : boxes.Tracks()) {
            for (const tagMP4SAMPLE &s : t.samples) {
                if (s.nOffset < 0 || s.nSize < 0 || s.nOffset + s.nSize > qint64(size) || !(s.dDuration >= 0.0))
                    std::abort();
            }
        }
    }

    const char *bytes = reinterpret_cast<const char *>(data);
    tagTRACKTELEMETRY gpmf, camm;
    CGpmf::ParsePayload(bytes, qint64(size), 0.0, 1.0, &gpmf);
    CCamm::ParseSample(bytes, qint64(size), 0.0, 1.0, &camm);
    Check(gpmf);
    Check(camm);

    // The same bytes as one video sample's head, one SEI NAL unit and one car's message.
    const QByteArray raw = QByteArray::fromRawData(bytes, qsizetype(size));
    qint64 need = 0;
    int damaged = 0;
    for (int lengthSize : {1, 2, 4}) {
        for (const QByteArray &m : CTeslaSei::Messages(raw, lengthSize, &need, &damaged)) {
            if (m.size() >= raw.size() || need < 0)
                std::abort();
        }
    }
    tagTRACKTELEMETRY tesla;
    tagTESLASTATS stats;
    for (const QByteArray &m : CTeslaSei::MessagesOfSei(raw, &damaged)) {
        tagTESLAFRAME frame;
        if (CTeslaSei::Decode(m, &frame))
            CTeslaSei::AddFrame(frame, 0.0, &tesla, &stats);
    }
    tagTESLAFRAME frame;
    if (CTeslaSei::Decode(raw, &frame))
        CTeslaSei::AddFrame(frame, 0.0, &tesla, &stats);
    Check(tesla);
    return 0;
}
