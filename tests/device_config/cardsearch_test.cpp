// Finding the card: removable volumes from the kernel's tables, and the configuration folder on
// them.
#include "configtestsupport.h"

#include "device_config/configstore.h"
#include "platform/removablevolumes.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(RemovableVolumes, MountTableKeepsRemovableBlockDevicesAndUserMedia)
{
    const QByteArray mountinfo =
        "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
        "23 22 8:1 / /boot rw shared:2 - vfat /dev/sda1 rw\n"
        "24 22 8:17 / /media/u/CARD\\040ONE rw,nosuid shared:3 - vfat /dev/sdb1 rw\n"
        "25 22 8:33 / /mnt/stick rw - vfat /dev/sdc1 rw\n"
        "26 22 8:49 / /run/media/u/SSD rw shared:4 - exfat /dev/sdd1 rw\n"
        "27 22 0:45 / /media/ram rw - tmpfs tmpfs rw\n"
        "28 22 8:17 /DCIM /home/u/dcim rw - vfat /dev/sdb1 rw\n"
        "29 22 8:65 / /srv/backup rw - ext4 /dev/sde1 rw\n"
        "30 22 8:17 / /media/u/CARD\\040ONE rw - vfat /dev/sdb1 rw\n"
        "broken line\n";
    const QSet<QString> removable{QStringLiteral("8:17"), QStringLiteral("8:33")};
    const QStringList roots =
        RemovableMountPoints(mountinfo, [&](const QString &device) { return removable.contains(device); });
    EXPECT_EQ(QStringList({QStringLiteral("/media/u/CARD ONE"), QStringLiteral("/mnt/stick"),
                           QStringLiteral("/run/media/u/SSD")}),
              roots);
}

TEST(RemovableVolumes, RemovableFlagIsTheDisksNotThePartitions)
{
    QTemporaryDir sys;
    auto make = [&](const QString &device, const QString &disk, const char *flag) {
        const QString diskDir = sys.filePath(QStringLiteral("devices/") + disk);
        const QString partDir = diskDir + QLatin1Char('/') + disk + QLatin1Char('1');
        ASSERT_TRUE(testfiles::Write(diskDir + QStringLiteral("/removable"), flag));
        ASSERT_TRUE(testfiles::Write(partDir + QStringLiteral("/partition"), "1\n"));
        QDir().mkpath(sys.filePath(QStringLiteral("dev/block")));
        ASSERT_TRUE(QFile::link(partDir, sys.filePath(QStringLiteral("dev/block/") + device)));
    };
    make(QStringLiteral("8:17"), QStringLiteral("sdb"), "1\n");
    make(QStringLiteral("8:1"), QStringLiteral("sda"), "0\n");
    EXPECT_TRUE(IsRemovableBlockDevice(QStringLiteral("8:17"), sys.path()));
    EXPECT_FALSE(IsRemovableBlockDevice(QStringLiteral("8:1"), sys.path()));
    EXPECT_FALSE(IsRemovableBlockDevice(QStringLiteral("9:9"), sys.path()));
}

class CardSearchTest : public ::testing::Test
{
protected:
    QString Reader(const char *name) const { return top.filePath(QLatin1String(name)); }
    void MakeReaders(std::initializer_list<const char *> names)
    {
        QStringList roots;
        for (const char *n : names) {
            QDir().mkpath(Reader(n));
            roots.prepend(Reader(n)); // in reverse: the search sorts them
        }
        volumes.SetRoots(roots);
    }
    QTemporaryDir top;
    CFixedVolumes volumes;
};

TEST_F(CardSearchTest, TwoReadersOnlyOneWithTheFile)
{
    MakeReaders({"E", "G"});
    QDir().mkpath(Reader("E") + QStringLiteral("/configuration"));
    ASSERT_FALSE(configtest::WriteCardConfig(Reader("G"), {QStringLiteral("CITY_INDEX=116")}).isEmpty());
    const tagCONFIGFOLDER r = FindConfigFolder(volumes, true);
    EXPECT_EQ(Reader("G") + QStringLiteral("/configuration"), r.folder);
    EXPECT_EQ(Reader("G"), r.volumeRoot);
    EXPECT_TRUE(r.bFound);
    EXPECT_TRUE(r.messages.isEmpty());
}

TEST_F(CardSearchTest, AFolderNamedLikeTheFileDoesNotCount)
{
    MakeReaders({"E", "G"});
    QDir().mkpath(Reader("E") + QStringLiteral("/configuration/qx310_blackbox.conf"));
    const tagCONFIGFOLDER r = FindConfigFolder(volumes, true);
    EXPECT_EQ(Reader("E") + QStringLiteral("/configuration"), r.folder);
    EXPECT_FALSE(r.bFound);
    EXPECT_TRUE(r.messages.isEmpty());
}

TEST_F(CardSearchTest, NoConfigurationFolder)
{
    MakeReaders({"E", "G"});
    tagCONFIGFOLDER r = FindConfigFolder(volumes, true);
    EXPECT_EQ(Reader("E") + QStringLiteral("/configuration"), r.folder);
    EXPECT_EQ(QStringList{QString::fromLatin1(configtext::kNoConfigFolder)}, r.messages);
    EXPECT_FALSE(r.bFound);
    r = FindConfigFolder(volumes, false);
    EXPECT_EQ(Reader("E"), r.folder);
    EXPECT_TRUE(r.messages.isEmpty());
}

TEST_F(CardSearchTest, NoRemovableVolume)
{
    const tagCONFIGFOLDER r = FindConfigFolder(volumes, true);
    EXPECT_TRUE(r.folder.isEmpty());
    EXPECT_FALSE(r.bFound);
    EXPECT_EQ(QStringList{QString::fromLatin1(configtext::kNoRemovableDisk)}, r.messages);
}

TEST_F(CardSearchTest, VolumeRootOfAChosenFolder)
{
    MakeReaders({"E", "EE"});
    EXPECT_EQ(Reader("EE"), VolumeRootOf(Reader("EE") + QStringLiteral("/configuration"), volumes));
    EXPECT_EQ(Reader("E"), VolumeRootOf(Reader("E"), volumes));
    EXPECT_FALSE(VolumeRootOf(top.path(), volumes).isEmpty()); // not on a card: its file system's root
}
