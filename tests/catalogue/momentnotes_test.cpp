// Notes on moments: the notes file read back and every rule it breaks named, the moment's time,
// and a card that keeps its notes in its file, or in the settings when the file is damaged or
// cannot be written.
#include "catalogue/channeloffsets.h"
#include "catalogue/momentnotes.h"

#include "fixtures/testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

tagMOMENTNOTE Note(const char *clip, int64_t frame, const QString &text)
{
    tagMOMENTNOTE n;
    n.strClip = QString::fromLatin1(clip);
    n.llFrame = frame;
    n.llOffsetMs = frame * 100;
    n.strTime = QStringLiteral("2013-05-12T08:30:01.200");
    n.strText = text;
    return n;
}

QByteArray OneNote(const QByteArray &members)
{
    return R"({"version": 1, "notes": [{)" + members + "}]}";
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(MomentNotes, TheFileReadsBackAndEveryBrokenRuleIsNamed)
{
    const QVector<tagMOMENTNOTE> notes = {Note("sub/b.mp4", 3, QStringLiteral("Käse ahead")),
                                          Note("a.mp4", 12, QStringLiteral("here the lorry pulls out"))};
    QVector<tagMOMENTNOTE> read;
    QString why;
    ASSERT_TRUE(ParseMomentNotes(MomentNotesJson(notes), &read, &why)) << why.toStdString();
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read[0].strClip, QStringLiteral("a.mp4")) << "sorted by clip";
    EXPECT_EQ(read[1].strText, QStringLiteral("Käse ahead"));
    EXPECT_EQ(read[1].llFrame, 3);
    EXPECT_EQ(read[1].llOffsetMs, 300);
    EXPECT_EQ(read[1].strTime, notes[0].strTime);

    const QByteArray good = R"("clip": "a.mp4", "frame": 1, "offset_ms": 100, "time": null, "text": "x")";
    QByteArray many = R"({"version": 1, "notes": [)";
    for (int i = 0; i <= kMaxMomentNotes; ++i)
        many += (i ? "," : "") + QByteArray(R"({"clip": "a.mp4", "offset_ms": 0, "text": "x", "frame": )") +
                QByteArray::number(i) + "}";
    many += "]}";
    const struct {
        QByteArray json;
        const char *why; // nullptr: read
    } cases[] = {
        {OneNote(good), nullptr},
        {OneNote(R"("clip": "d/a.mp4", "frame": 0, "offset_ms": 0, "text": "x")"), nullptr},
        {"{not json", "no JSON"},
        {R"({"version": 2, "notes": []})", "version 1"},
        {R"({"notes": {}})", "version 1"},
        {OneNote(R"("clip": "../a.mp4", "frame": 1, "offset_ms": 0, "text": "x")"), "names no clip"},
        {OneNote(R"("clip": "/card/a.mp4", "frame": 1, "offset_ms": 0, "text": "x")"), "names no clip"},
        {OneNote(R"("frame": 1, "offset_ms": 0, "text": "x")"), "names no clip"},
        {OneNote(R"("clip": "a.mp4", "frame": -1, "offset_ms": 0, "text": "x")"), "frame and offset_ms"},
        {OneNote(R"("clip": "a.mp4", "frame": 1.5, "offset_ms": 0, "text": "x")"), "frame and offset_ms"},
        {OneNote(R"("clip": "a.mp4", "frame": 1, "text": "x")"), "frame and offset_ms"},
        {OneNote(R"("clip": "a.mp4", "frame": 1, "offset_ms": 0, "time": 5, "text": "x")"), "time"},
        {OneNote(R"("clip": "a.mp4", "frame": 1, "offset_ms": 0, "text": "")"), "1 to 200"},
        {OneNote(R"("clip": "a.mp4", "frame": 1, "offset_ms": 0, "text": "two\nlines")"), "1 to 200"},
        {OneNote(R"("clip": "a.mp4", "frame": 1, "offset_ms": 0, "text": ")" + QByteArray(201, 'x') + "\""), "1 to 200"},
        {R"({"version": 1, "notes": [{)" + good + "}, {" + good + "}]}", "two notes are at frame 1 of a.mp4"},
        {many, "more than 2000"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.json.left(120).constData());
        why.clear();
        EXPECT_EQ(ParseMomentNotes(c.json, &read, &why), c.why == nullptr);
        if (c.why) {
            EXPECT_TRUE(why.contains(QLatin1String(c.why))) << why.toStdString();
        }
    }
}

TEST(MomentNotes, TheMomentsTimeIsUtcWhereTheRecordTellsIt)
{
    tagDATAFILEINFO rec;
    rec.bValid = 1;
    rec.stSyncTime.wYear = 13;
    rec.stSyncTime.wMonth = 5;
    rec.stSyncTime.wDay = 12;
    rec.stSyncTime.wHour = 8;
    rec.stSyncTime.wMinute = 30;
    const int64_t frameTime = 333667; // 29.97 pictures a second: frame 30 starts 1001.001 ms in
    EXPECT_EQ(MomentTimeText(rec, 30, frameTime), QStringLiteral("2013-05-12T08:30:01.001"));
    rec.bHasUtcOffset = 1;
    rec.nUtcOffsetMs = 9 * 3600 * 1000;
    EXPECT_EQ(MomentTimeText(rec, 30, frameTime), QStringLiteral("2013-05-11T23:30:01.001Z"));
    rec.bNoClock = 1;
    EXPECT_EQ(MomentTimeText(rec, 30, frameTime), QString());
}

TEST(MomentNotes, ACardKeepsThemInItsFileElseInTheSettingsAndNeverOverwritesADamagedFile)
{
    // Settings of a program of its own name, as the viewer has one (without a name Qt tells every
    // write to the settings as failed).
    QCoreApplication::setOrganizationName(QStringLiteral("PellisterTests"));
    QCoreApplication::setApplicationName(QStringLiteral("test_catalogue"));
    QTemporaryDir card;
    ASSERT_TRUE(card.isValid());
    const QString file = card.filePath(QLatin1String(kMomentNotesFileName));
    const auto forgetCard = [&] {
        QSettings settings;
        QVariantMap cards = settings.value(QStringLiteral("notes/cards")).toMap();
        cards.remove(CardKey(card.path()));
        settings.setValue(QStringLiteral("notes/cards"), cards);
    };
    forgetCard();
    const auto reloaded = [&] {
        CMomentNotes again;
        again.Load(card.path());
        return again;
    };
    QString why;

    // Written, changed and removed through the file.
    CMomentNotes notes;
    notes.Load(card.path());
    EXPECT_EQ(notes.Where(), CMomentNotes::Place::None);
    ASSERT_TRUE(notes.Set(Note("a.mp4", 7, QStringLiteral("  lorry\tpulls out \n")), &why)) << why.toStdString();
    EXPECT_EQ(notes.Where(), CMomentNotes::Place::File);
    ASSERT_TRUE(notes.Set(Note("a.mp4", 9, QStringLiteral("brakes")), &why));
    EXPECT_FALSE(notes.Set(Note("a.mp4", 10, QString(kMaxMomentNoteLength + 1, QLatin1Char('x'))), &why));
    ASSERT_TRUE(notes.Set(Note("a.mp4", 7, QStringLiteral("the lorry pulls out")), &why));
    ASSERT_TRUE(notes.Set(Note("a.mp4", 9, QString()), &why));
    {
        const CMomentNotes again = reloaded();
        EXPECT_EQ(again.Where(), CMomentNotes::Place::File);
        ASSERT_EQ(again.Notes().size(), 1);
        ASSERT_NE(again.Find(QStringLiteral("a.mp4"), 7), nullptr);
        EXPECT_EQ(again.Find(QStringLiteral("a.mp4"), 7)->strText, QStringLiteral("the lorry pulls out"));
    }

    // A damaged or oversized file stays as it is, is named, and the notes go to the settings.
    const QByteArray damaged[] = {"{\"version\": 1, \"notes\": [", QByteArray(kMaxMomentNotesFileBytes + 1, ' ')};
    for (const QByteArray &bytes : damaged) {
        SCOPED_TRACE(bytes.size());
        forgetCard();
        ASSERT_TRUE(testfiles::Write(file, bytes));
        CMomentNotes broken;
        broken.Load(card.path());
        EXPECT_TRUE(broken.Problem().contains(QDir::toNativeSeparators(file))) << broken.Problem().toStdString();
        EXPECT_TRUE(broken.Notes().isEmpty());
        ASSERT_TRUE(broken.Set(Note("a.mp4", 2, QStringLiteral("kept aside")), &why)) << why.toStdString();
        EXPECT_EQ(broken.Where(), CMomentNotes::Place::Settings);
        EXPECT_EQ(ReadAll(file), bytes);
        const CMomentNotes again = reloaded();
        EXPECT_EQ(again.Where(), CMomentNotes::Place::Settings);
        ASSERT_NE(again.Find(QStringLiteral("a.mp4"), 2), nullptr);
    }

    // A card that cannot take the file (its name taken by a folder: no one, root included, can
    // rename a file over it) keeps them in the settings until the file can be written again.
    forgetCard();
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir().mkdir(file));
    CMomentNotes readOnly;
    readOnly.Load(card.path());
    EXPECT_TRUE(readOnly.Problem().isEmpty());
    ASSERT_TRUE(readOnly.Set(Note("sub/b.mp4", 4, QStringLiteral("cyclist")), &why)) << why.toStdString();
    EXPECT_EQ(readOnly.Where(), CMomentNotes::Place::Settings);
    EXPECT_FALSE(readOnly.FileWriteError().isEmpty());
    EXPECT_EQ(reloaded().Notes().size(), 1);
    ASSERT_TRUE(QDir().rmdir(file));
    ASSERT_TRUE(readOnly.Set(Note("sub/b.mp4", 5, QStringLiteral("and a dog")), &why));
    EXPECT_EQ(readOnly.Where(), CMomentNotes::Place::File);
    EXPECT_FALSE(QSettings().value(QStringLiteral("notes/cards")).toMap().contains(CardKey(card.path())));
    const CMomentNotes again = reloaded();
    EXPECT_EQ(again.Where(), CMomentNotes::Place::File);
    EXPECT_EQ(again.NotesOfClip(QStringLiteral("sub/b.mp4")).size(), 2);
    forgetCard();
}
