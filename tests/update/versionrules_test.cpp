// The version rules and the signed update record.
#include "testsigner.h"
#include "update/updaterecord.h"
#include "update/versionrules.h"

#include <QCryptographicHash>
#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(VersionRules, NormalizeVersion)
{
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"1.0.0.7", "1.007"}, {"2.1.3.0", "2.130"}, {"", ""},          {"7", ""},
        {"  1.2  ", "1.2"},   {"1. 0. 0.8", "1.008"}, {"1.0.0.0", "1.000"}, {".5", ".5"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NormalizeVersion(QString::fromLatin1(c.in)).toStdString(), c.out) << c.in;
    EXPECT_EQ(GetOwnVersionString(QStringLiteral("FileVersion")).count(QLatin1Char('.')), 3);
    EXPECT_TRUE(GetOwnVersionString(QStringLiteral("NoSuchKey")).isEmpty());
}

TEST(VersionRules, FourPartVersionsCompareAsIntegers)
{
    const struct {
        const char *offered;
        const char *own;
        bool newer;
    } cases[] = {
        {"1.0.0.8", "1.0.0.7", true},    {"1.0.0.7", "1.0.0.7", false},   {"1.0.0.6", "1.0.0.7", false},
        {"1.0.0.10", "1.0.0.9", true},   {"1.0.0.9", "1.0.0.10", false},  {"1.0.0.10", "1.0.0.1", true},
        {"1.0.1.0", "1.0.0.65535", true}, {"2.0.0.0", "1.9.9.9", true},   {"1.0.0.08", "1.0.0.7", true},
        {"1.0.0", "1.0.0.7", false},     {"1.0.0.8.1", "1.0.0.7", false}, {"1.0.0.65536", "1.0.0.7", false},
        {"1.0.0.+8", "1.0.0.7", false},  {" 1.0.0.8", "1.0.0.7", false},  {"1.0.0.8", "7", true},
        {"0.0.0.0", "", false},          {"1.008", "1.0.0.7", false},     {"1.0.0.8", " 1.0.0.7\n", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsVersionNewer(QString::fromLatin1(c.offered), QString::fromLatin1(c.own)), c.newer)
            << c.offered << " vs " << c.own;
}

TEST(UpdateRecord, OnlyAnExactlyShapedRecordSignedWithTheKeyIsTaken)
{
    const CTestSigner signer;
    const CTestSigner other;
    ASSERT_TRUE(signer.IsValid() && other.IsValid());
    const QByteArray package("the new program");
    const QByteArray body = CTestSigner::Body(QStringLiteral("1.0.0.10"), package);
    const QByteArray good = signer.SignedRecord(body);
    auto replaced = [&](const char *from, const char *to) { return QByteArray(good).replace(from, to); };
    auto resigned = [&](const char *from, const char *to) { return signer.SignedRecord(QByteArray(body).replace(from, to)); };
    const QByteArray padding(kMaxRecordBytes, 'x');
    enum Outcome { kTaken, kBadSignature, kMalformed };
    const struct {
        const char *name;
        QByteArray bytes;
        Outcome outcome;
    } cases[] = {
        {"as published", good, kTaken},
        {"signed with another key", other.SignedRecord(body), kBadSignature},
        {"size changed after signing", replaced("size 15\n", "size 16\n"), kBadSignature},
        {"first line changed after signing", QByteArray(good).replace(0, 6, "1.0011"), kMalformed},
        {"signature of another text", body + "signature " + signer.Sign("other").toBase64() + '\n', kBadSignature},
        {"no signature line (the old format)", body, kMalformed},
        {"only a version line", "1.0010\n", kMalformed},
        {"empty", QByteArray(), kMalformed},
        {"CR LF line ends", QByteArray(good).replace("\n", "\r\n"), kMalformed},
        {"no final line end", good.chopped(1), kMalformed},
        {"a seventh line", good + "extra\n", kMalformed},
        {"first line not the normalised version", resigned("1.0010\n", "1.011\n"), kMalformed},
        {"three-part version", resigned("version 1.0.0.10", "version 1.0.10"), kMalformed},
        {"other format revision", resigned("record 1\n", "record 2\n"), kMalformed},
        {"size zero", resigned("size 15", "size 0"), kMalformed},
        {"size with a leading zero", resigned("size 15", "size 015"), kMalformed},
        {"size above the limit", resigned("size 15", "size 1073741825"), kMalformed},
        {"upper-case hash", signer.SignedRecord(body.left(body.indexOf("sha256 ") + 7) + body.mid(body.indexOf("sha256 ") + 7).toUpper()), kMalformed},
        {"short signature", body + "signature " + signer.Sign(body).left(63).toBase64() + '\n', kMalformed},
        {"signature not base64", body + "signature " + QByteArray(88, '!') + '\n', kMalformed},
        {"larger than the limit", signer.SignedRecord(body + padding), kMalformed},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tagUPDATERECORD record;
        const bool parsed = ParseUpdateRecord(c.bytes, &record);
        EXPECT_EQ(parsed, c.outcome != kMalformed);
        if (parsed) {
            EXPECT_EQ(VerifyUpdateRecord(record, signer.PublicKey()), c.outcome == kTaken);
        }
        if (c.outcome == kTaken) {
            EXPECT_EQ(record.version, QStringLiteral("1.0.0.10"));
            EXPECT_EQ(record.shortVersion, QStringLiteral("1.0010"));
            EXPECT_EQ(record.package.size, package.size());
            EXPECT_EQ(record.package.sha256, QCryptographicHash::hash(package, QCryptographicHash::Sha256));
            EXPECT_FALSE(VerifyUpdateRecord(record, other.PublicKey()));
            EXPECT_FALSE(VerifyUpdateRecord(record, signer.PublicKey().left(31)));
        }
    }
}

TEST(UpdateRecord, PublishedRecordVerifiesWithTheBuiltInReleaseKey)
{
    QFile file(QStringLiteral(PELLISTER_SOURCE_DIR "/server/www/update/client_program/english/version.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    tagUPDATERECORD record;
    ASSERT_TRUE(ParseUpdateRecord(file.readAll(), &record));
    EXPECT_TRUE(VerifyUpdateRecord(record, ReleasePublicKey()));
}

} // namespace
