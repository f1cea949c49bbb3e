// The version rules and the package's integrity record.
#include "update/updatepackage.h"
#include "update/versionrules.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

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

TEST(VersionRules, ServerLineAgainstOwnVersion)
{
    const struct {
        const char *server;
        const char *own;
        bool newer;
    } cases[] = {
        {"1.008", "1.0.0.7", true},   {"1.007", "1.0.0.7", false}, {"1.0.0.8", "1.0.0.7", false},
        {"", "1.0.0.7", false},       {"garbage", "1.0.0.7", false}, {"1.006", "1.0.0.7", false},
        {" 1.1xyz", "1.0.0.7", true}, {"2", "1.0.0.7", true},       {"0.5", "7", true},
        {"1.0071", "1.0.0.7", true},  {"1e1", "1.0.0.7", true},     {"-3", "1.0.0.7", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsServerVersionNewer(QString::fromLatin1(c.server), QString::fromLatin1(c.own)), c.newer)
            << c.server << " vs " << c.own;
    EXPECT_FLOAT_EQ(VersionValue(QStringLiteral("1.0.0.8")), 1.0f);
    EXPECT_FLOAT_EQ(VersionValue(QStringLiteral("1.")), 1.0f);
    EXPECT_FLOAT_EQ(VersionValue(QStringLiteral("1e")), 1.0f);
}

TEST(PackageHash, RecordAndFileMustAgree)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p"));
    const QByteArray bytes("package bytes");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    const QString hex = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());

    EXPECT_TRUE(PackageMatches(path, ParsePackageHash(hex + QStringLiteral(" 13 corvana.bin"))));
    EXPECT_TRUE(PackageMatches(path, ParsePackageHash(hex.toUpper() + QStringLiteral("\t13"))));
    EXPECT_FALSE(PackageMatches(path, ParsePackageHash(hex + QStringLiteral(" 14"))));
    EXPECT_FALSE(ParsePackageHash(hex).IsValid());
    EXPECT_FALSE(ParsePackageHash(hex.left(63) + QStringLiteral(" 13")).IsValid());
    EXPECT_FALSE(ParsePackageHash(QString()).IsValid());
    EXPECT_FALSE(PackageMatches(dir.filePath(QStringLiteral("missing")), ParsePackageHash(hex + QStringLiteral(" 13"))));
}

} // namespace
