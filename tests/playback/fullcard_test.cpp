// Files written beside their target and renamed into place: when the card fills up half-way (a
// file-size limit stops the writes the same way, for root too), each writer says it failed and
// leaves nothing, however small the file.
#include "clipfactory.h"

#include "catalogue/datafileinfo.h"
#include "playback/snapshot.h"
#include "media/thumbnailer.h"
#include "telemetry/qstringprint.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs write() in a child process whose files may grow to `limit` bytes; the child's exit code
// says whether write() reported a failure (0), reported success (1) or could not be set up (2).
int ReportsFailureUnderLimit(rlim_t limit, const std::function<bool()> &write)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit r{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &r) != 0)
            ::_exit(2);
        ::_exit(write() ? 1 : 0);
    }
    int status = 0;
    const QDeadlineTimer deadline(60000);
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        QThread::msleep(5);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

TEST(FullCard, EveryWriterSaysSoAndLeavesNoCutFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QVector<tagGPSINFO> fixes(20); // about 3 KB of GPX
    QImage picture(160, 120, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x * y) % 256)); // no small JPEG
    const QString thumbs = dir.filePath("thumbs");
    const struct {
        const char *name;
        std::function<bool()> write;
    } cases[] = {
        {"gpx", [&] { return CDataFileInfo::WriteGpx(dir.filePath("out.gpx"), fixes) == 1; }},
        {"jpeg", [&] { return WriteJpegFile(picture, dir.filePath("out.jpg")); }},
        {"thumbnail",
         [&] {
             CThumbnailer::SetCacheDirectory(thumbs);
             QImage image;
             // The thumbnail itself comes back; only the cache must stay clean.
             return SUCCEEDED(CThumbnailer::Get(clips::AviMjpeg(), QSize(160, 120), &image)) &&
                    !Entries(thumbs).isEmpty();
         }},
    };
    (void)clips::AviMjpeg(); // made before the limit
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReportsFailureUnderLimit(1024, c.write), 0);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        EXPECT_EQ(Entries(thumbs), QStringList());
    }
}

} // namespace
