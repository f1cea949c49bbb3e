// The evidence package's building blocks: copies and hashes against coreutils, SHA256SUMS through
// `sha256sum -c`, the manifest read back, the clock offset and time zone from a card's files, and
// the file table of the Evidence pages.
#include "export/evidence.h"

#include "device_config/configstore.h"
#include "device_config/deviceconfig.h"
#include "device_config/regiontable.h"
#include "fixtures/testfiles.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPaintEngine>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kProcessLimitMs = 30000;
constexpr qint64 kHourMs = 3600 * 1000;

// Bytes that differ from block to block, so that a block written twice or skipped shows.
QByteArray Pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (qint64 i = 0; i < size; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        bytes[i] = static_cast<char>(x);
    }
    return bytes;
}

// Exit code of a program run in `folder`; -1 when it does not finish in time.
int RunIn(const QString &folder, const QString &program, const QStringList &args,
          QByteArray *output = nullptr)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(kProcessLimitMs)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    if (output)
        *output = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QByteArray Read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(EvidenceSums, SumsFileVerifiesEveryNameAndEachChangedFileFails)
{
    const char *const names[] = {"originals/DCIM/20240501_120000_F.avi",
                                 "originals/with space.avi",
                                 "originals/back\\slash.txt",
                                 "originals/new\nline.txt",
                                 "carriage\rreturn.txt",
                                 "report.pdf"};
    QTemporaryDir dir;
    QList<tagEVIDENCEFILE> files;
    for (const char *name : names) {
        tagEVIDENCEFILE f;
        QString why;
        f.strPath = QString::fromLatin1(name);
        ASSERT_TRUE(testfiles::Write(dir.filePath(f.strPath), Pattern(1000 + 777 * files.size())));
        ASSERT_TRUE(HashFile(dir.filePath(f.strPath), nullptr, &f, &why)) << qPrintable(why);
        files.append(f);
    }
    ASSERT_TRUE(testfiles::Write(dir.filePath(QStringLiteral("SHA256SUMS")), Sha256SumsText(files)));
    const QStringList check{"--strict", "-c", "SHA256SUMS"};
    QByteArray output;
    EXPECT_EQ(RunIn(dir.path(), QStringLiteral("sha256sum"), check, &output), 0) << output.constData();

    // Each line must name its own file: a byte changed in any one of them fails the check.
    for (const tagEVIDENCEFILE &f : files) {
        const QString path = dir.filePath(f.strPath);
        const QByteArray original = Read(path);
        QByteArray changed = original;
        changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 1);
        ASSERT_TRUE(testfiles::Write(path, changed));
        EXPECT_NE(RunIn(dir.path(), QStringLiteral("sha256sum"), check), 0) << qPrintable(f.strPath);
        ASSERT_TRUE(testfiles::Write(path, original));
    }
}

TEST(EvidenceCopy, CopiesMatchTheSourceAndFailuresLeaveNoCopy)
{
    enum { kNoCancel = -1, kCancelBefore = 0, kCancelAfterFirstBlock = 1 };
    const struct {
        const char *label;
        qint64 size;
        bool sourceMissing;
        bool destinationExists;
        int cancel;
        const char *why; // null: the copy succeeds
    } cases[] = {
        {"empty", 0, false, false, kNoCancel, nullptr},
        {"several blocks", 2 * kEvidenceBlockSize + 3, false, false, kNoCancel, nullptr},
        {"existing destination", 10, false, true, kNoCancel, "already exists"},
        {"missing source", 10, true, false, kNoCancel, "cannot read"},
        {"cancelled before", kEvidenceBlockSize, false, false, kCancelBefore, "cancelled"},
        {"cancelled between blocks", 3 * kEvidenceBlockSize, false, false, kCancelAfterFirstBlock,
         "cancelled"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        QTemporaryDir dir;
        const QString src = dir.filePath(QStringLiteral("src.avi"));
        const QString dst = dir.filePath(QStringLiteral("dst.avi"));
        const QByteArray earlier("an earlier file");
        if (!c.sourceMissing) {
            ASSERT_TRUE(testfiles::Write(src, Pattern(c.size)));
        }
        if (c.destinationExists) {
            ASSERT_TRUE(testfiles::Write(dst, earlier));
        }
        std::atomic<bool> cancel(c.cancel == kCancelBefore);
        QList<qint64> progress;
        const auto onProgress = [&](qint64 done) {
            progress.append(done);
            if (c.cancel == kCancelAfterFirstBlock)
                cancel = true;
        };
        tagEVIDENCEFILE f;
        QString why;
        const bool copied = CopyAndHashFile(src, dst, &cancel, onProgress, &f, &why);
        if (!c.why) {
            ASSERT_TRUE(copied) << qPrintable(why);
            EXPECT_EQ(Read(dst), Read(src));
            EXPECT_EQ(f.hexSha256, testfiles::Run(QStringLiteral("sha256sum"), {src}).out.left(64));
            EXPECT_EQ(f.llSize, c.size);
            EXPECT_EQ(progress.isEmpty() ? 0 : progress.last(), c.size);
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
            continue;
        }
        EXPECT_FALSE(copied);
        EXPECT_TRUE(why.contains(QLatin1String(c.why))) << qPrintable(why);
        if (c.destinationExists) {
            EXPECT_EQ(Read(dst), earlier);
        } else {
            EXPECT_FALSE(QFileInfo::exists(dst));
        }
    }
}

TEST(EvidenceCopy, AFullDiskSaysSoAndLeavesNoCopy)
{
    // A file-size limit stops the writes the way a full disk does, for root too.
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src.avi"));
    const QString dst = dir.filePath(QStringLiteral("dst.avi"));
    ASSERT_TRUE(testfiles::Write(src, Pattern(kEvidenceBlockSize)));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100 * 1024, 100 * 1024};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(2);
        tagEVIDENCEFILE f;
        QString why;
        const bool copied = CopyAndHashFile(src, dst, nullptr, {}, &f, &why);
        ::_exit(!copied && why.contains(QLatin1String("disk is full")) && !QFileInfo::exists(dst) ? 0 : 1);
    }
    int status = 0;
    const QDeadlineTimer deadline(kProcessLimitMs);
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            FAIL() << "the copy did not end";
        }
        QThread::msleep(5);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(EvidenceClock, OffsetFromTheDataFile)
{
    const char fix[] = "3733.1234,N,12658.5678,E,12.5,90.0,"; // position, speed and course
    const auto rmc = [&](const char *time, const char *status, const char *date) {
        return QByteArray("$GPRMC,") + time + ',' + status + ',' + fix + date + ",,,A*6A\n";
    };
    const QByteArray sync = "$SYNCTIME,130000.000,240501,\n";
    const QByteArray accel = "$ACCELERATOR,120002.500,240501,0.01,-0.02,1.00,\n";
    const struct {
        const char *label;
        QByteArray text;
        double tz;
        bool found;
        qint64 offsetMs;
    } cases[] = {
        {"an hour ahead", sync + rmc("120000.000", "A", "010524"), 0, true, kHourMs},
        {"zone +9, clocks agree", "$SYNCTIME,210000.250,240501,\n" + rmc("120000.25", "A", "010524"), 9, true,
         0},
        {"zone -4:30", "$synctime,073000.000,240501,\n" + rmc("120000.000", "A", "010524"), -4.5, true, 0},
        {"behind, over midnight",
         "$ACCELERATOR,235958.000,240430,0,0,0,\n" + rmc("000000.000", "A", "010524"), 0, true, -2000},
        {"CR LF", QByteArray(sync + rmc("120000.000", "A", "010524")).replace("\n", "\r\n"), 0, true,
         kHourMs},
        {"only V fixes", sync + rmc("120000.000", "V", "010524") + rmc("120001.000", "V", "010524"), 0, false,
         0},
        {"fix before any recorder line", rmc("120000.000", "A", "010524") + sync, 0, false, 0},
        {"the later fix after an accelerator line",
         rmc("110000.000", "A", "010524") + accel + rmc("120000.000", "A", "010524"), 0, true, 2500},
        {"garbage, month 13, hour 25 and a date without its comma",
         "garbage\n,,,\n$GPRMC\n" + sync + "$ACCELERATOR,140000.000,241301,0,0,0,\n" +
             rmc("120000.000", "A", "011324") + rmc("250000.000", "A", "010524") + "$GPRMC,120000.000,A," +
             fix + "010524\n" + rmc("120000.000", "A", "010524"),
         0, true, kHourMs},
        {"empty", "", 0, false, 0},
    };
    for (const auto &c : cases) {
        qint64 offset = -1;
        EXPECT_EQ(RecorderClockOffsetMs(c.text, c.tz, &offset), c.found) << c.label;
        if (c.found) {
            EXPECT_EQ(offset, c.offsetMs) << c.label;
        }
    }
}

TEST(EvidenceClock, CardTimeZoneFromTheNearestConfiguration)
{
    const CRegionTable regions;
    QTemporaryDir dir;
    // The card's own configuration, with daylight saving, and a nearer one without.
    const struct {
        const char *folder;
        int city;
        int daylight;
    } configs[] = {{"card", 0, 1}, {"card/DCIM", kDefaultCityIndex, 0}};
    for (const auto &c : configs)
        ASSERT_TRUE(
            testfiles::Write(dir.filePath(QLatin1String(c.folder) + "/configuration/qx310_blackbox.conf"),
                             QStringLiteral("CITY_INDEX=%1\r\nDAYLIGHT_SAVING_TIME=%2\r\n")
                                 .arg(c.city)
                                 .arg(c.daylight)
                                 .toLatin1()));
    const struct {
        const char *clipFolder;
        double hours; // NaN: none found
    } cases[] = {
        {"card/DCIM/2024/NORMAL", regions.Row(kDefaultCityIndex).offset},
        {"card/EVENT/2024/05", regions.Row(0).offset + 1},
        {"card/EVENT/2024/05/01", std::nan("")}, // four folders up is too far
    };
    for (const auto &c : cases) {
        const QString folder = dir.filePath(QLatin1String(c.clipFolder));
        ASSERT_TRUE(QDir().mkpath(folder));
        double hours = std::nan("");
        EXPECT_EQ(CardTimeZoneHours(folder, &hours, nullptr), !std::isnan(c.hours)) << c.clipFolder;
        if (!std::isnan(c.hours)) {
            EXPECT_EQ(hours, c.hours) << c.clipFolder;
        }
    }
}

namespace {

tagEVIDENCEFACTS Facts(int fileCount, bool offsetKnown)
{
    tagEVIDENCEFACTS facts;
    facts.strProgram = QStringLiteral("Pellister");
    facts.strVersion = QStringLiteral("1.2.3.4");
    facts.exportUtc = QDateTime(QDate(2024, 5, 1), QTime(12, 34, 56), Qt::UTC);
    facts.strTimeZone = QStringLiteral("UTC+09:00 (recorder configuration)");
    facts.strRange = QString::fromUtf8("2024-05-01 21:00:00 \u2013 21:05:00, \"front\" \\ rear\ncamera");
    facts.bClockOffsetKnown = offsetKnown;
    facts.llClockOffsetMs = -2000;
    facts.strClockOffset = ClockOffsetText(offsetKnown, facts.llClockOffsetMs);
    facts.segments = {{QStringLiteral("DCIM/a.avi"), 10, 299}, {QStringLiteral("DCIM/b.avi"), 0, 45}};
    for (int i = 0; i < fileCount; ++i)
        facts.files.append(
            {QStringLiteral("originals/DCIM/clip_%1.avi").arg(i), 1000LL * i + 7,
             QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Sha256).toHex(), QString(), QString()});
    return facts;
}

} // namespace

TEST(EvidenceManifest, ReadsBackWithItsKeysInOrder)
{
    for (const bool known : {true, false}) {
        const tagEVIDENCEFACTS facts = Facts(3, known);
        QJsonArray segments, files;
        for (const tagEVIDENCESEGMENT &s : facts.segments)
            segments.append(QJsonObject{{"clip", s.strClip}, {"from", s.llFrom}, {"to", s.llTo}});
        for (const tagEVIDENCEFILE &f : facts.files)
            files.append(
                QJsonObject{{"path", f.strPath}, {"size", f.llSize}, {"sha256", QString(f.hexSha256)}});
        const QJsonObject expected{
            {"program", facts.strProgram},
            {"version", facts.strVersion},
            {"export_time_utc", QStringLiteral("2024-05-01T12:34:56Z")},
            {"time_zone", facts.strTimeZone},
            {"range", facts.strRange},
            {"segments", segments},
            {"clock_offset", facts.strClockOffset},
            {"clock_offset_ms", known ? QJsonValue(facts.llClockOffsetMs) : QJsonValue()},
            {"files", files}};
        const QByteArray text = ManifestJson(facts);
        EXPECT_EQ(QJsonDocument::fromJson(text).object(), expected) << text.constData();
        qsizetype previous = -1;
        for (const char *key : {"program", "version", "export_time_utc", "time_zone", "range", "segments",
                                "clock_offset\"", "clock_offset_ms", "files"}) {
            const qsizetype at = text.indexOf(QByteArray("\"") + key);
            EXPECT_GT(at, previous) << key;
            previous = at;
        }
    }
}

namespace {

// A page that keeps the texts drawn on it and where they lie in device pixels.
class CTextPage : public QPaintDevice, public QPaintEngine
{
public:
    struct tagTEXT {
        QString text;
        QRectF box;
    };
    explicit CTextPage(const QSize &size) : QPaintEngine(AllFeatures), m_size(size) {}
    QList<tagTEXT> texts;

    QPaintEngine *paintEngine() const override { return const_cast<CTextPage *>(this); }
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth: return m_size.width();
        case PdmHeight: return m_size.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return 96;
        case PdmDepth: return 32;
        case PdmDevicePixelRatio: return 1;
        default: return QPaintDevice::metric(m);
        }
    }
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return User; }
    void updateState(const QPaintEngineState &state) override
    {
        if (state.state() & DirtyTransform)
            m_transform = state.transform();
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    void drawPath(const QPainterPath &) override {}
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        const QRectF box(p.x(), p.y() - item.ascent(), item.width(), item.ascent() + item.descent());
        texts.append({item.text(), m_transform.mapRect(box)});
    }

private:
    QSize m_size;
    QTransform m_transform;
};

} // namespace

TEST(EvidencePages, EveryFileIsDrawnOnceWholeOnItsPage)
{
    const struct {
        QSize page;
        int files;
        bool onePage;
    } cases[] = {
        {{794, 1123}, 3, true},
        {{794, 1123}, 400, false},
        {{9921, 14031}, 400, false}, // A4 on a 1200-dpi printer
        {{1123, 794}, 400, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.page.width() << "x" << c.page.height() << ", " << c.files);
        const tagEVIDENCEFACTS facts = Facts(c.files, true);
        const int pages = EvidencePageCount(c.page, facts);
        EXPECT_EQ(pages == 1, c.onePage) << pages;
        QHash<QString, int> drawn;
        for (int page = 0; page < pages; ++page) {
            CTextPage device(c.page);
            QPainter painter(&device);
            DrawEvidencePage(painter, c.page, facts, page);
            painter.end();
            const QRectF whole(QPointF(0, 0), QSizeF(c.page));
            for (qsizetype i = 0; i < device.texts.size(); ++i) {
                const CTextPage::tagTEXT &t = device.texts.at(i);
                ++drawn[t.text];
                EXPECT_TRUE(whole.contains(t.box)) << qPrintable(t.text) << " on page " << page;
                // Boxes of neighbouring lines may touch, never cover one another.
                for (qsizetype j = 0; j < i; ++j) {
                    const QRectF overlap = t.box.intersected(device.texts.at(j).box);
                    EXPECT_LT(overlap.height(), t.box.height() / 10)
                        << qPrintable(t.text) << " over " << qPrintable(device.texts.at(j).text);
                }
            }
        }
        for (const tagEVIDENCEFILE &f : facts.files) {
            EXPECT_EQ(drawn.value(QString::fromLatin1(f.hexSha256)), 1) << qPrintable(f.strPath);
            EXPECT_EQ(drawn.value(f.strPath), 1) << qPrintable(f.strPath);
        }
    }
}
