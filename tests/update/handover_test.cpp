// The start-up hand-over with real processes in a temporary folder: the old program running as
// "Corvana", the downloaded copy started as "Corvanaupdate", and a decoy "Corvana" of another
// folder that must survive. Both copies are the hand-over probe (the viewer's hand-over code in a
// program of its own); the new one carries extra bytes so that it can be told apart.
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
