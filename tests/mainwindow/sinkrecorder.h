// Records what reaches the test server's null sink: parec on the sink's monitor, 16-bit mono at
// the sink's rate, into a file. The recording runs from Start until Stop (or the destructor,
// which also ends parec on every path out of a test).
#pragma once

#include <QProcess>
#include <QString>

#include <cstdint>
#include <vector>

class CPulseServer;

class CSinkRecorder
{
public:
    explicit CSinkRecorder(const CPulseServer &server, const QString &strFile);
    ~CSinkRecorder();
    CSinkRecorder(const CSinkRecorder &) = delete;
    CSinkRecorder &operator=(const CSinkRecorder &) = delete;

    // Starts parec and waits (bounded) until samples arrive; false with the reason otherwise.
    bool Start(QString *pError);
    void Stop();
    // Seconds recorded so far.
    double Seconds() const;
    // Every sample recorded (read from the file; complete after Stop).
    std::vector<int16_t> Samples() const;

    static constexpr int kRate = 48000;

private:
    const CPulseServer &m_server;
    QString m_strFile;
    QProcess m_process;
};
