// Other makers' cards: what a clip's name tells, and the clips of one moment as one recording.
#include "catalogue/cameranames.h"
#include "catalogue/corvanadoc.h"

#include "fixtures/testfiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(CameraNames, EachMakersNamesTellChannelKindAndTime)
{
    const struct {
        const char *path;
        const char *maker; // "" : no maker's name
        const char *channel;
        int type;
        const char *time; // YYMMDDhhmmss
    } cases[] = {
        {"DCIM/Movie/2024_0315_081500_0012F.MP4", "Viofo", "front", RT_ORDINARY, "240315081500"},
        {"DCIM/RO/2024_0315_081500_0013R.MP4", "Viofo", "rear", RT_EVENT, "240315081500"},
        {"DCIM/Parking/2024_0315_081500_0014IT.MP4", "Viofo", "interior", RT_PARKING, "240315081500"},
        {"Record/20240315_081500_NF.mp4", "BlackVue", "front", RT_ORDINARY, "240315081500"},
        {"Record/20240315_081500_MR.mp4", "BlackVue", "rear", RT_USER, "240315081500"},
        {"Record/20240315_081500_BF.mp4", "BlackVue", "front", RT_EVENT, "240315081500"},
        {"Record/20240315_081500_II.mp4", "BlackVue", "interior", RT_PARKING_MOTION, "240315081500"},
        {"Record/20240315_081500_PR.mp4", "BlackVue", "rear", RT_PARKING, "240315081500"},
        {"evt_rec/EVT_2024_03_15_08_15_00_F.MP4", "Thinkware", "front", RT_EVENT, "240315081500"},
        {"motion_rec/MOT_2024_03_15_08_15_00_R.MP4", "Thinkware", "rear", RT_PARKING_MOTION, "240315081500"},
        {"manual_rec/man_2024_03_15_08_15_00_f.mp4", "Thinkware", "front", RT_USER, "240315081500"},
        {"Normal/Back/NO20240315-081500-000123B.MP4", "70mai", "rear", RT_ORDINARY, "240315081500"},
        {"Event/Front/EV20240315-081500-000124.MP4", "70mai", "front", RT_EVENT, "240315081500"},
        {"Parking/Front/PA20240315-081500-000125F.MP4", "70mai", "front", RT_PARKING, "240315081500"},
        {"DCIM/Movie/240315_081500_012_RH.MP4", "Nextbase", "rear", RT_ORDINARY, "240315081500"},
        {"DCIM/Protected/240315_081500_013_FL.MP4", "Nextbase", "front", RT_EVENT, "240315081500"},
        {"TeslaCam/RecentClips/2024-03-15_08-15-00-left_repeater.mp4", "Tesla", "left", RT_ORDINARY, "240315081500"},
        {"TeslaCam/SavedClips/2024-03-15_08-20-11/2024-03-15_08-15-00-back.mp4", "Tesla", "rear", RT_USER, "240315081500"},
        {"TeslaCam/SentryClips/2024-03-15_08-20-11/2024-03-15_08-15-00-right_pillar.mp4", "Tesla", "right_pillar",
         RT_PARKING_MOTION, "240315081500"},
        // The recorder's own names and near misses are nobody's.
        {"Parking/X20130512083000M.avi", "", "", RT_UNKNOWN, ""},
        {"DCIM/Movie/2024_0315_081500_0012X.MP4", "", "", RT_UNKNOWN, ""},
        {"Record/20240315_081500_NF_copy.mp4", "", "", RT_UNKNOWN, ""},
        {"TeslaCam/RecentClips/2024-03-15_08-15-00-roof.mp4", "", "", RT_UNKNOWN, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        tagCAMERACLIPNAME name;
        const bool named = ReadCameraClipName(QStringLiteral("/card/") + QLatin1String(c.path), &name);
        ASSERT_EQ(named, *c.maker != 0);
        if (!named)
            continue;
        EXPECT_EQ(name.strMaker, QLatin1String(c.maker));
        EXPECT_EQ(name.strChannel, QLatin1String(c.channel));
        EXPECT_EQ(name.nType, c.type);
        const SYSTEMTIME &t = name.stTime;
        EXPECT_EQ(QString::asprintf("%02u%02u%02u%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond),
                  QLatin1String(c.time));
        EXPECT_FALSE(name.strTip.isEmpty());
    }
}

TEST(CameraNames, ClipsOfOneMomentAreOneRecordingWithTheFrontFirst)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QStringList clips = {
        // Rear listed before front (Back < Front), a second moment with a front only, an event of
        // the same second as an ordinary clip (another recording), a clip of the recorder's own.
        "Normal/Back/NO20240315-081500-000123B.MP4", "Normal/Front/NO20240315-081500-000123F.MP4",
        "Normal/Front/NO20240315-081600-000124F.MP4", "Event/Back/EV20240315-081500-000125B.MP4",
        "TeslaCam/RecentClips/2024-03-15_08-10-00-back.mp4", "TeslaCam/RecentClips/2024-03-15_08-10-00-front.mp4",
        "TeslaCam/RecentClips/2024-03-15_08-10-00-right_repeater.mp4",
        "TeslaCam/RecentClips/2024-03-15_08-10-00-left_repeater.mp4", "C20130512083000N.avi"};
    for (const QString &clip : clips)
        ASSERT_TRUE(testfiles::Write(root.filePath(clip), "clip"));
    CCorvanaDoc doc;
    doc.SetFolder(root.path());
    doc.LoadFolder();
    QStringList rows;
    for (int i = 0; i < doc.Count(); ++i) {
        const tagRECORDINGCLIPS c = doc.ClipsAt(i);
        ASSERT_FALSE(c.channels.isEmpty());
        EXPECT_EQ(c.channels.first().strMediaPath, doc.MediaPathAt(i)) << "the row is its main channel's";
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(QFileInfo(doc.MediaPathAt(i)).fileName(), RecordingTypeName(doc.RecordRef(i).nType),
                         RecordListText(doc.RecordRef(i), doc.MediaPathAt(i)), c.ChannelList());
    }
    // Oldest first by the names' clock; the recorder's own clip without data goes last.
    EXPECT_EQ(rows.join('\n').toStdString(), QStringList({
                        "2024-03-15_08-10-00-front.mp4 Ordinary 2024/03/15 - 08:10:00.000 front+rear+left+right",
                        "NO20240315-081500-000123F.MP4 Ordinary 2024/03/15 - 08:15:00.000 front+rear",
                        "EV20240315-081500-000125B.MP4 Event 2024/03/15 - 08:15:00.000 rear",
                        "NO20240315-081600-000124F.MP4 Ordinary 2024/03/15 - 08:16:00.000 front",
                        "C20130512083000N.avi Unknown File name : C20130512083000N.avi front",
                    }).join('\n').toStdString());
    // Any channel's clip finds its recording, from the folders of the other cameras too.
    const tagRECORDINGCLIPS rec =
        CCorvanaDoc::RecordingOfClip(root.filePath(QStringLiteral("Normal/Back/NO20240315-081500-000123B.MP4")));
    EXPECT_EQ(rec.ChannelList(), QStringLiteral("front+rear"));
    EXPECT_EQ(rec.channels.first().strMediaPath, root.filePath(QStringLiteral("Normal/Front/NO20240315-081500-000123F.MP4")));
}

TEST(CameraNames, ATeslaEventFoldersFileGivesTheTipItsTimeReasonAndPlace)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString secret = root.filePath(QStringLiteral("secret.json"));
    ASSERT_TRUE(testfiles::Write(secret, R"({"reason":"secret","city":"elsewhere"})"));
    const struct {
        const char *folder;
        QByteArray eventJson; // "link": a link to a file outside the event folder
        const char *tip;
    } cases[] = {
        {"SavedClips/2024-03-15_08-20-11",
         R"({"timestamp":"2024-03-15T08:19:44","city":"Berlin","est_lat":"52.5","est_lon":"13.4",)"
         R"("reason":"user_interaction_honk","camera":"0"})",
         "Tesla: SavedClips/2024-03-15_08-20-11 (event at 2024-03-15 08:19:44, user interaction honk, Berlin)"},
        {"SentryClips/2024-03-15_09-00-00", "not json", "Tesla: SentryClips/2024-03-15_09-00-00"},
        {"SentryClips/2024-03-15_10-00-00", "link", "Tesla: SentryClips/2024-03-15_10-00-00"},
    };
    for (const auto &c : cases) {
        const QString folder = root.filePath(QStringLiteral("TeslaCam/") + QLatin1String(c.folder));
        const QString clip = folder + QStringLiteral("/2024-03-15_08-15-00-front.mp4");
        ASSERT_TRUE(testfiles::Write(clip, "clip"));
        if (c.eventJson == "link")
            ASSERT_TRUE(QFile::link(secret, folder + QStringLiteral("/event.json")));
        else
            ASSERT_TRUE(testfiles::Write(folder + QStringLiteral("/event.json"), c.eventJson));
        tagCAMERACLIPNAME name;
        ASSERT_TRUE(ReadCameraClipName(clip, &name));
        EXPECT_EQ(name.strTip, QLatin1String(c.tip));
        // The event's moment, for its marker: the first folder's alone tells one.
        EXPECT_EQ(name.bEventTime, c.eventJson.startsWith("{"));
        if (name.bEventTime) {
            EXPECT_EQ(QString::asprintf("%02u%02u%02u", name.stEventTime.wHour, name.stEventTime.wMinute,
                                        name.stEventTime.wSecond),
                      QStringLiteral("081944"));
        }
    }
}

} // namespace
