#include "catalogue/corvanadoc.h"

#include "fixtures/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class Document : public ::testing::Test
{
protected:
    // A clip (its bytes do not matter to the catalogue) and, when time is given, its data file.
    void Clip(const QString &relPath, const QString &time = QString(),
              const QString &date = QStringLiteral("130512"))
    {
        const QString clip = root.filePath(relPath);
        ASSERT_TRUE(testfiles::Write(clip, "clip"));
        if (!time.isEmpty()) {
            ASSERT_TRUE(testfiles::WriteSynced(DataFilePathForClip(clip), time, date));
        }
    }
    QStringList Names() const
    {
        QStringList names;
        for (int i = 0; i < doc.Count(); ++i)
            names << FileNameOfPath(doc.MediaPathAt(i));
        return names;
    }
    void Load()
    {
        doc.SetFolder(root.path());
        doc.LoadFolder([this](int p) { progress << p; });
    }

    QTemporaryDir root;
    CCorvanaDoc doc;
    QList<int> progress;
};

TEST_F(Document, OrdersByTimeWithRecordingsWithoutDataLast)
{
    Clip(QStringLiteral("b.avi"), QStringLiteral("083000.000"));
    Clip(QStringLiteral("a.avi")); // no data file
    Clip(QStringLiteral("sub/deeper/c.mp4"), QStringLiteral("082959.999"));
    Clip(QStringLiteral("sub/d.MP4"), QStringLiteral("090000.000"), QStringLiteral("120101"));
    Clip(QStringLiteral("e.Avi"), QStringLiteral("083000.001"));
    Load();
    EXPECT_EQ((QStringList{"d.MP4", "c.mp4", "b.avi", "e.Avi", "a.avi"}), Names());
    EXPECT_EQ(QString(), doc.DataPathAt(4));
    EXPECT_EQ(0, doc.RecordRef(4).bValid);
    EXPECT_EQ(root.filePath(QStringLiteral("sub/deeper/data/c.dat")), doc.DataPathAt(1));

    doc.Sort(1);
    EXPECT_EQ((QStringList{"e.Avi", "b.avi", "c.mp4", "d.MP4", "a.avi"}), Names());
    // The three arrays moved together.
    for (int i = 0; i < doc.Count(); ++i) {
        if (doc.RecordRef(i).bValid) {
            EXPECT_EQ(DataFilePathForClip(doc.MediaPathAt(i)), doc.DataPathAt(i));
        }
    }
}

TEST_F(Document, ExchangeSortIsNotStableForEqualTimes)
{
    // Scan order A, B, C with sync times 5, 5 and 1.
    Clip(QStringLiteral("A.avi"), QStringLiteral("000005.000"));
    Clip(QStringLiteral("B.avi"), QStringLiteral("000005.000"));
    Clip(QStringLiteral("C.avi"), QStringLiteral("000001.000"));
    Load();
    EXPECT_EQ((QStringList{"C.avi", "B.avi", "A.avi"}), Names());
}

TEST_F(Document, RecordingsWithoutDataKeepWhatTheExchangesLeave)
{
    // Scan order: n1 (no data), t2, n3 (no data), t1. Pair (0,1) swaps n1 behind t2, pair (0,3)
    // brings t1 forward, and so on; the result is the exchange sort's, not the scan order.
    Clip(QStringLiteral("1.avi"));
    Clip(QStringLiteral("2.avi"), QStringLiteral("000002.000"));
    Clip(QStringLiteral("3.avi"));
    Clip(QStringLiteral("4.avi"), QStringLiteral("000001.000"));
    Load();
    EXPECT_EQ((QStringList{"4.avi", "2.avi", "3.avi", "1.avi"}), Names());
}

TEST_F(Document, SyncTimesOutsideTheCalendarSortWithTheRecordingsWithoutData)
{
    Clip(QStringLiteral("a.avi"), QStringLiteral("083000.000"), QStringLiteral("131301")); // month 13
    Clip(QStringLiteral("b.avi"), QStringLiteral("253000.000"));                           // hour 25
    Clip(QStringLiteral("c.avi"), QStringLiteral("083000.000"));
    Clip(QStringLiteral("d.avi"));
    Load();
    ASSERT_EQ(4, doc.Count());
    EXPECT_EQ(QStringLiteral("c.avi"), Names().first());
    // Still loaded with their telemetry: only their place in time is unknown.
    for (int i = 1; i < 4; ++i) {
        if (Names()[i] != QLatin1String("d.avi")) {
            EXPECT_EQ(1, doc.RecordRef(i).bValid) << Names()[i].toStdString();
        }
    }
}

TEST_F(Document, FindsClipsAndDataWhateverTheirCase)
{
    Clip(QStringLiteral("x.AVI"));
    ASSERT_TRUE(testfiles::WriteSynced(root.filePath(QStringLiteral("DATA/X.DAT")),
                                       QStringLiteral("083000.000"), QStringLiteral("130512")));
    Clip(QStringLiteral("y.mp4"));
    ASSERT_TRUE(testfiles::WriteSynced(root.filePath(QStringLiteral("DATA/y.dat")),
                                       QStringLiteral("083001.000"), QStringLiteral("130512")));
    Clip(QStringLiteral("notaclip.avi.txt"));
    Load();
    EXPECT_EQ((QStringList{"x.AVI", "y.mp4"}), Names());
    EXPECT_EQ(root.filePath(QStringLiteral("DATA/X.DAT")), doc.DataPathAt(0));
    EXPECT_EQ(root.filePath(QStringLiteral("DATA/y.dat")), doc.DataPathAt(1));
    EXPECT_EQ(root.filePath(QStringLiteral("DATA/X.DAT")),
              CCorvanaDoc::DataFileOfClip(root.filePath(QStringLiteral("x.AVI"))));
}

TEST_F(Document, BadEntriesNeitherStopNorHangTheLoad)
{
    Clip(QStringLiteral("good.avi"), QStringLiteral("083000.000"));
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("folder.avi"))); // a directory, not a clip
    Clip(QStringLiteral("dirdata.avi"));
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("data/dirdata.dat"))); // a directory, not data
    Clip(QStringLiteral("dangling.avi"));
    ASSERT_EQ(0, symlink("/nonexistent/x",
                         QFile::encodeName(root.filePath(QStringLiteral("data/dangling.dat"))).constData()));
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("loop/inner")));
    ASSERT_EQ(0, symlink(QFile::encodeName(root.path()).constData(),
                         QFile::encodeName(root.filePath(QStringLiteral("loop/inner/back"))).constData()));
    Load();
    // Scan order dangling, dirdata, good: the exchange with good reverses the two without data.
    EXPECT_EQ((QStringList{"good.avi", "dirdata.avi", "dangling.avi"}), Names());
    EXPECT_EQ(QString(), doc.DataPathAt(1)); // unreadable data counts as none
    EXPECT_EQ(QString(), doc.DataPathAt(2));
}

TEST_F(Document, LinksAreFollowedOnlyInsideTheFolderAndEachFolderOnce)
{
    QTemporaryDir outside; // e.g. the user's own videos
    const auto link = [](const QString &target, const QString &at) {
        return symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
    };
    ASSERT_TRUE(testfiles::WriteSynced(outside.filePath(QStringLiteral("data/own.dat")),
                                       QStringLiteral("083000.000"), QStringLiteral("130512")));
    ASSERT_TRUE(testfiles::Write(outside.filePath(QStringLiteral("own.avi")), "clip"));
    Clip(QStringLiteral("trip/a.avi"), QStringLiteral("083001.000"));
    Clip(QStringLiteral("b.avi"));
    const QString own = outside.filePath(QStringLiteral("own.avi"));
    ASSERT_TRUE(link(outside.path(), root.filePath(QStringLiteral("videos"))));       // a folder out
    ASSERT_TRUE(link(own, root.filePath(QStringLiteral("own.avi"))));                 // a file
    ASSERT_TRUE(link(root.filePath(QStringLiteral("trip")), root.filePath(QStringLiteral("zz")))); // in
    Clip(QStringLiteral("trip/x/own.avi")); // its data folder leads out
    ASSERT_TRUE(link(outside.filePath(QStringLiteral("data")), root.filePath(QStringLiteral("trip/x/data"))));
    Load();
    // The linked file plays from where it is; the linked folders out are not walked.
    EXPECT_EQ((QStringList{"a.avi", "own.avi", "b.avi", "own.avi"}), Names());
    EXPECT_EQ(root.filePath(QStringLiteral("own.avi")), doc.MediaPathAt(1));
    EXPECT_EQ(root.filePath(QStringLiteral("trip/x/own.avi")), doc.MediaPathAt(3));
    EXPECT_EQ(QString(), doc.DataPathAt(3));
    EXPECT_EQ(root.filePath(QStringLiteral("trip/a.avi")), doc.MediaPathAt(0));
}

TEST_F(Document, MissingFolderGivesAnEmptyCatalogue)
{
    doc.SetFolder(root.filePath(QStringLiteral("gone")));
    doc.LoadFolder();
    EXPECT_EQ(0, doc.Count());
}

TEST_F(Document, ProgressValuesOfBothPatterns)
{
    // Two AVI clips and one MP4 clip in three folders that each have a data folder.
    Clip(QStringLiteral("a.avi"), QStringLiteral("083000.000"));
    Clip(QStringLiteral("s1/b.avi"), QStringLiteral("083001.000"));
    Clip(QStringLiteral("s2/c.mp4"), QStringLiteral("083002.000"));
    Load();
    // The data folders count as subfolders too: root, data, s1, s1/data, s2, s2/data (20 / 6 = 3).
    const QList<int> perPattern = {10, 10, 13, 16, 19, 22, 25};
    QList<int> want = perPattern;
    want += {30, 50}; // two AVI clips: 0*40/2+30, 1*40/2+30
    want += perPattern;
    want += {30}; // one MP4 clip
    EXPECT_EQ(want, progress);
}

TEST_F(Document, TwentyFiveSubfoldersLeaveTheCountingAtTen)
{
    for (int i = 0; i < 25; ++i) {
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("f%1").arg(i, 2, 10, QLatin1Char('0'))));
    }
    Load();
    for (int i = 1; i <= 26; ++i) {
        EXPECT_EQ(10, progress.at(i)) << i;
    }
}

TEST_F(Document, ExportNeedsARecordingOfTheCatalogue)
{
    Clip(QStringLiteral("a.avi"), QStringLiteral("083000.000"));
    Load();
    for (int index : {-1, 1, 3})
        EXPECT_EQ(0, doc.ExportGpx(index, root.filePath(QStringLiteral("out.gpx")))) << index;
    EXPECT_FALSE(QFile::exists(root.filePath(QStringLiteral("out.gpx"))));
}

TEST(ListText, StartTimeOrFileName)
{
    tagDATAFILEINFO rec;
    EXPECT_EQ(QStringLiteral("File name : x.avi"), RecordListText(rec, QStringLiteral("/card/sub/x.avi")));
    rec.bValid = 1;
    rec.stSyncTime.wYear = 13;
    rec.stSyncTime.wMonth = 5;
    rec.stSyncTime.wDay = 12;
    rec.stSyncTime.wHour = 8;
    rec.stSyncTime.wMinute = 30;
    rec.stSyncTime.wSecond = 15;
    rec.stSyncTime.wMilliseconds = 250;
    EXPECT_EQ(QStringLiteral("2013/05/12 - 08:30:15.250"),
              RecordListText(rec, QStringLiteral("/card/x.avi")));
    rec.bTooLarge = 1;
    EXPECT_EQ(QStringLiteral("2013/05/12 - 08:30:15.250 (data file too large: read in part)"),
              RecordListText(rec, QStringLiteral("/card/x.avi")));
}

} // namespace

namespace {

// Reading the clips on several threads must give what one reader going through them in scan
// order gives, including a first fix that stops early and takes the previous clip's position.
TEST_F(Document, ParallelReadEqualsOneReaderInScanOrder)
{
    QStringList scanOrder;
    for (int i = 0; i < 60; ++i) {
        const QString name = QStringLiteral("c%1.avi").arg(i, 3, 10, QLatin1Char('0'));
        const QString clip = root.filePath(name);
        ASSERT_TRUE(testfiles::Write(clip, "clip"));
        scanOrder << clip;
        QStringList lines;
        if (i % 3 == 0) // stops after the status: position, speed and course carry over
            lines << QStringLiteral("$GPRMC,0800%1.000,A,").arg(i % 60, 2, 10, QLatin1Char('0'));
        if (i % 5 != 4) // some clips have no complete fix at all
            lines << QStringLiteral("$GPRMC,080000.000,A,37%1.0000,N,126%2.0000,E,%3,%4,120513,,")
                         .arg(10 + i)
                         .arg(10 + i)
                         .arg(i)
                         .arg(i * 6);
        if (i % 7 == 0)
            lines << QStringLiteral("$GPRMC,080001.000,V,3800.0000,N,"); // a short last fix
        ASSERT_TRUE(testfiles::WriteSynced(DataFilePathForClip(clip),
                                           QStringLiteral("08%1.000").arg(i, 4, 10, QLatin1Char('0')),
                                           QStringLiteral("130512"), lines));
    }
    Load();

    CDataFileInfo one;
    QHash<QString, tagDATAFILEINFO> want;
    for (const QString &clip : scanOrder) {
        one.Load(DataFilePathForClip(clip));
        want.insert(clip, one.Info());
    }
    ASSERT_EQ(60, doc.Count());
    for (int i = 0; i < doc.Count(); ++i) {
        const tagDATAFILEINFO &got = doc.RecordRef(i);
        const tagDATAFILEINFO &w = want.value(doc.MediaPathAt(i));
        ASSERT_EQ(w.vecGps.size(), got.vecGps.size()) << i;
        for (int k = 0; k < w.vecGps.size(); ++k) {
            EXPECT_EQ(w.vecGps[k].dLat, got.vecGps[k].dLat) << doc.MediaPathAt(i).toStdString();
            EXPECT_EQ(w.vecGps[k].dLon, got.vecGps[k].dLon);
            EXPECT_EQ(w.vecGps[k].dSpeedKnots, got.vecGps[k].dSpeedKnots);
            EXPECT_EQ(w.vecGps[k].dCourse, got.vecGps[k].dCourse);
            EXPECT_EQ(w.vecGps[k].strLat, got.vecGps[k].strLat);
        }
    }
}

} // namespace
