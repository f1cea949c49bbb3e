// Running a program from a benchmark: its time, its output, the time from its first "frame="
// line to its last, and (through the benchmark itself in --peak mode) its peak memory.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>

#include <sys/resource.h>

struct tagRUN {
    bool bOk = false;
    double dSeconds = 0;
    QByteArray out;
    long lPeakMb = -1;
    // From the first "frame=" line to the last, as they arrived (-1: fewer than two): playback
    // alone, without starting the program and opening the clip.
    double dPlaySeconds = -1;
};

// Runs a program; with bPeak, through this benchmark again, so that the peak memory of that one
// program can be read as its parent's children's peak.
inline tagRUN Run(const QString &strProgram, const QStringList &args, bool bPeak = false)
{
    tagRUN run;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer timer;
    timer.start();
    if (bPeak)
        process.start(QCoreApplication::applicationFilePath(), QStringList{"--peak", strProgram} + args);
    else
        process.start(strProgram, args);
    qint64 llFirstFrameNs = -1, llLastFrameNs = -1;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
        const QByteArray chunk = process.readAllStandardOutput();
        if (chunk.contains("frame=")) {
            llLastFrameNs = timer.nsecsElapsed();
            if (llFirstFrameNs < 0)
                llFirstFrameNs = llLastFrameNs;
        }
        run.out += chunk;
    });
    if (!process.waitForStarted(10000) || !process.waitForFinished(10 * 60 * 1000)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.dSeconds = timer.nsecsElapsed() / 1e9;
    run.out += process.readAllStandardOutput();
    if (llLastFrameNs > llFirstFrameNs && llFirstFrameNs >= 0)
        run.dPlaySeconds = (llLastFrameNs - llFirstFrameNs) / 1e9;
    run.bOk = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (bPeak) {
        const int at = run.out.lastIndexOf("peak_kb=");
        if (at >= 0) {
            run.lPeakMb = run.out.mid(at + 8).trimmed().toLong() / 1024;
            run.out.truncate(at);
        }
        const int timeAt = run.out.lastIndexOf("seconds=");
        if (timeAt >= 0) {
            run.dSeconds = run.out.mid(timeAt + 8).trimmed().toDouble();
            run.out.truncate(timeAt);
        }
    }
    return run;
}

// The --peak mode: runs the program with its output passed on, then prints its time and the
// children's peak memory.
inline int RunForPeak(const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(args.at(0), args.mid(1));
    if (!process.waitForStarted(10000) || !process.waitForFinished(10 * 60 * 1000))
        return 1;
    const double dSeconds = timer.nsecsElapsed() / 1e9;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::printf("seconds=%.3f\npeak_kb=%ld\n", dSeconds, usage.ru_maxrss);
    return process.exitCode();
}

inline void Print(const QString &strCase, const char *pszFigure, double dValue, const char *pszGoal, bool bMet)
{
    std::printf("%-30s %-46s %9.2f   goal %-8s %s\n", qPrintable(strCase), pszFigure, dValue, pszGoal,
                bMet ? "met" : "NOT MET");
    std::fflush(stdout);
}


// The start of a benchmark that runs pellister-cli: --peak mode (returns its status in *status),
// else the work folder (first argument, default ./defaultWork, created) and the command's path.
// False when the benchmark is to end with *status.
inline bool StartCliBench(QStringList *args, const char *defaultWork, const char *name, QString *work, QString *cli,
                          int *status)
{
    if (!args->isEmpty() && args->first() == QLatin1String("--peak")) {
        *status = RunForPeak(args->mid(1));
        return false;
    }
    *work = args->isEmpty() ? QDir::currentPath() + QLatin1Char('/') + QLatin1String(defaultWork) : args->takeFirst();
    QDir().mkpath(*work);
    *cli = QCoreApplication::applicationDirPath() + QStringLiteral("/../../PC_viewer/cli/pellister-cli");
    if (!QFileInfo(*cli).isExecutable()) {
        std::fprintf(stderr, "%s: %s is not built\n", name, qPrintable(*cli));
        *status = 1;
        return false;
    }
    return true;
}
