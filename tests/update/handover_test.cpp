// The start-up hand-over with real processes in a temporary folder: the old program running as
// "Corvana", the downloaded copy started as "Corvanaupdate", and a decoy "Corvana" of another
// folder that must survive. Both copies are the hand-over probe (the viewer's hand-over code in a
// program of its own); the new one carries extra bytes so that it can be told apart. The folder
// is watched with inotify: the program file must be replaced by a rename, never deleted. And how
// a running copy is stopped: asked first, killed only when it will not end, never a process that
// merely has the id of the one found.
#include "fixtures/wait.h"
#include "platform/processes.h"
#include "update/handover.h"
#include "update/updateconst.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 20000;

QString S(const char *s)
{
    return QString::fromLatin1(s);
}

QString ProbePath()
{
    return QStringLiteral(PELLISTER_BINARY_DIR "/tests/update/handover_probe");
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteProgram(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    return f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The names in a folder that were deleted and that something was renamed to, as inotify saw
// them after Start().
class CFolderWatch
{
public:
    bool Start(const QString &folder)
    {
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        return m_fd >= 0 && inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_DELETE | IN_MOVED_TO) >= 0;
    }
    ~CFolderWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    void Read()
    {
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof(buffer));
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                const QString name = event->len ? QString::fromLocal8Bit(event->name) : QString();
                (event->mask & IN_DELETE ? deleted : renamedTo).append(name);
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
    }
    QStringList deleted;
    QStringList renamedTo;

private:
    int m_fd = -1;
};

// Stops what a test started, whatever happened in it.
struct tagCLEANUP {
    QStringList programs;
    ~tagCLEANUP()
    {
        for (const QString &p : programs)
            StopAllProcessesOf(p);
    }
};

TEST(HandOver, UpdaterReplacesTheRunningProgramAndTheNewProgramRemovesTheUpdater)
{
    const QByteArray probe = ReadAll(ProbePath());
    ASSERT_FALSE(probe.isEmpty());
    const QByteArray newBytes = probe + QByteArrayLiteral("\nthe new program build\n");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString app = dir.filePath(QStringLiteral("app"));
    const QString other = dir.filePath(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(app) && QDir().mkpath(other));
    const QString program = app + QLatin1Char('/') + S(kProgramFileName);
    const QString updater = app + QLatin1Char('/') + S(kUpdaterFileName);
    const QString decoy = other + QLatin1Char('/') + S(kProgramFileName);
    tagCLEANUP cleanup{{program, updater, decoy}};
    const QString ready = dir.filePath(QStringLiteral("ready"));
    ASSERT_TRUE(QDir().mkpath(ready));
    qputenv("HANDOVER_PROBE_READY", QFile::encodeName(ready));
    auto isReady = [&](qint64 pid) { return QFile::exists(ready + QLatin1Char('/') + QString::number(pid)); };
    ASSERT_TRUE(WriteProgram(program, probe));
    ASSERT_TRUE(WriteProgram(decoy, probe));

    ASSERT_TRUE(StartProcess(decoy));
    ASSERT_TRUE(StartProcess(program));
    ASSERT_TRUE(WaitFor([&] { return RunningProcessesOf(program).size() == 1 && RunningProcessesOf(decoy).size() == 1; }));
    const qint64 oldPid = RunningProcessesOf(program).first();
    const qint64 decoyPid = RunningProcessesOf(decoy).first();
    ASSERT_TRUE(WaitFor([&] { return isReady(oldPid) && isReady(decoyPid); }));
    // Downloaded while the old program runs (a leftover at its start would have been removed).
    ASSERT_TRUE(WriteProgram(updater, newBytes));
    CFolderWatch watch;
    ASSERT_TRUE(watch.Start(app));

    ASSERT_TRUE(StartProcess(updater));
    const bool handedOver = WaitFor([&] {
        const QList<qint64> running = RunningProcessesOf(program);
        return !QFile::exists(updater) && running.size() == 1 && running.first() != oldPid &&
               isReady(running.first()) && RunningProcessesOf(updater).isEmpty();
    });
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(ReadAll(program), newBytes);
    EXPECT_TRUE(QFileInfo(program).isExecutable());
    EXPECT_EQ(RunningProcessesOf(decoy), QList<qint64>{decoyPid});
    // No temporary copy is left beside the program.
    EXPECT_EQ(QDir(app).entryList(QDir::Files | QDir::Hidden), QStringList{S(kProgramFileName)});
    // The program file was there at every moment: renamed over, not deleted first.
    watch.Read();
    EXPECT_FALSE(watch.deleted.contains(S(kProgramFileName))) << watch.deleted.join(u' ').toStdString();
    EXPECT_TRUE(watch.renamedTo.contains(S(kProgramFileName)));
}

TEST(HandOver, RunningCopyIsAskedToEndBeforeItIsKilled)
{
    const QByteArray probe = ReadAll(ProbePath());
    ASSERT_FALSE(probe.isEmpty());
    struct Case {
        const char *name;
        const char *onTerm;    // the probe's answer to SIGTERM
        quint64 startShift;    // added to the start time found: another process with that id
        int graceMs;
        bool signalled;        // the probe saw SIGTERM
        bool ends;
    };
    const Case cases[] = {
        {"ends on SIGTERM, no kill needed", "exit", 0, kStopGraceMs, true, true},
        {"ignores SIGTERM, killed after the wait", "ignore", 0, 300, true, true},
        {"id now names another process", "exit", 1, kStopGraceMs, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString program = dir.filePath(S(kProgramFileName));
        tagCLEANUP cleanup{{program}};
        qputenv("HANDOVER_PROBE_READY", QFile::encodeName(dir.path()));
        qputenv("HANDOVER_PROBE_TERM", c.onTerm);
        ASSERT_TRUE(WriteProgram(program, probe));
        ASSERT_TRUE(StartProcess(program));
        qunsetenv("HANDOVER_PROBE_TERM");
        ASSERT_TRUE(WaitFor([&] { return RunningCopiesOf(program).size() == 1; }));
        tagPROCESSID found = RunningCopiesOf(program).first();
        ASSERT_TRUE(WaitFor([&] { return QFile::exists(dir.filePath(QString::number(found.pid))); }));

        found.startTime += c.startShift;
        EXPECT_TRUE(StopProcess(found, c.graceMs));
        EXPECT_EQ(QFile::exists(dir.filePath(QStringLiteral("term-%1").arg(found.pid))), c.signalled);
        EXPECT_EQ(RunningProcessesOf(program).isEmpty(), c.ends);
    }
}

TEST(HandOver, NormalStartWithoutUpdaterTouchesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath(S(kProgramFileName));
    ASSERT_TRUE(WriteProgram(program, "old"));
    EXPECT_EQ(RunStartupHandOver(program), HandOverResult::ContinueStart);
    EXPECT_EQ(ReadAll(program), QByteArray("old"));
    EXPECT_EQ(StopProcessByName(program), 0);
}

TEST(HandOver, UpdaterNameIsRecognisedWhateverItsCase)
{
    // The program file is replaced by the running file, here a copy named in upper case; the
    // copy is no program, so starting it fails and the caller is told so.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath(S(kProgramFileName));
    const QString shouting = dir.filePath(S(kUpdaterFileName).toUpper());
    ASSERT_TRUE(WriteProgram(program, "old"));
    ASSERT_TRUE(WriteProgram(shouting, "new"));
    EXPECT_EQ(RunStartupHandOver(shouting), HandOverResult::StartFailed);
    EXPECT_EQ(ReadAll(program), QByteArray("new"));
}

} // namespace
