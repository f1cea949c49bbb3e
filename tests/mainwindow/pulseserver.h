// A PulseAudio server of the test's own: one null sink, the native protocol on a socket in a
// temporary runtime folder, nothing of the machine's or the user's sound set-up. What the viewer
// plays into the sink can be recorded from the sink's monitor (CSinkRecorder).
//
// The server is a child of the test process: it is ended by the destructor on every path out of
// a test, and the kernel ends it should the test process itself die first.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class CPulseServer
{
public:
    CPulseServer();
    ~CPulseServer();
    CPulseServer(const CPulseServer &) = delete;
    CPulseServer &operator=(const CPulseServer &) = delete;

    // Starts the server and waits (bounded) until it answers; false with the reason when the
    // program is missing, refuses to start or does not answer.
    bool Start(QString *pError);
    void Stop();
    bool IsRunning() const;

    static QString SinkName() { return QStringLiteral("pellister_test"); }
    static QString MonitorName() { return SinkName() + QStringLiteral(".monitor"); }
    // The sink's own format: what the viewer sends is neither resampled nor remixed on the way.
    static constexpr int kSinkRate = 48000;
    static constexpr int kSinkChannels = 2;

    // unix:<runtime>/pulse/native
    QString Address() const;
    // What a client of this server needs in its environment (PULSE_SERVER, PULSE_SINK,
    // XDG_RUNTIME_DIR), added to the test's own.
    QProcessEnvironment ClientEnvironment() const;
    // Points this process's own sound (Qt Multimedia) at the server. Must come before Qt's sound
    // back end first connects: it connects once per process.
    void ExportToThisProcess() const;
    // Streams playing into the server now (pactl list sink-inputs); -1 when it cannot be asked.
    int PlayingStreams() const;
    // What the server wrote on its error output so far (for failure messages).
    QString Log();

private:
    QString RuntimeDir() const;
    // Runs pactl with the arguments (bounded); false with the reason when it fails.
    bool Ask(const QStringList &args, QString *pOut, QString *pError) const;
    bool Answers(QString *pError) const;

    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_log;
};
