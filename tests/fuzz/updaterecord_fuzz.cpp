// libFuzzer target for the update record parser (the server's version file, read before anything
// else of the update is trusted): any bytes must be refused or taken without a crash, a hang or a
// sanitizer report, and a record taken must hold what the check relies on.
//
//   cmake --preset fuzz && cmake --build --preset fuzz
//   ctest --preset fuzz       the test command's run: 30 s from the seeds in tests/fuzz/corpus/updaterecord
//   build-fuzz/tests/fuzz/fuzz_updaterecord -max_total_time=300 -max_len=4096 NEW_DIR tests/fuzz/corpus/updaterecord
#include "update/updaterecord.h"
#include "update/versionrules.h"

#include <array>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    tagUPDATERECORD record;
    if (!ParseUpdateRecord(bytes, &record)) {
        if (!record.version.isEmpty() || !record.signedBytes.isEmpty())
            std::abort();
        return 0;
    }
    std::array<quint32, 4> parts{};
    if (!ParseFourPartVersion(record.version, &parts) || record.shortVersion != NormalizeVersion(record.version))
        std::abort();
    if (!record.package.IsValid() || record.package.size < 1 || record.package.size > kMaxPackageBytes)
        std::abort();
    if (record.signature.size() != kEd25519SignatureBytes || bytes.size() > kMaxRecordBytes)
        std::abort();
    if (record.signedBytes.isEmpty() || record.signedBytes.size() >= bytes.size() || !bytes.startsWith(record.signedBytes))
        std::abort();
    const QByteArray key = ReleasePublicKey();
    if (VerifyUpdateRecord(record, key.left(kEd25519KeyBytes - 1)))
        std::abort();
    // The seeds hold a release record: one changed byte must break its signature.
    if (VerifyUpdateRecord(record, key)) {
        tagUPDATERECORD changed = record;
        changed.signedBytes[changed.signedBytes.size() / 2] ^= 1;
        if (VerifyUpdateRecord(changed, key))
            std::abort();
    }
    return 0;
}
