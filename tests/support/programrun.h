#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include "ptypair.h"

// The built program, started with no display, on a folder of port links and with the stand-in
// drawer library, whose pulses it collects. Ended in order (SIGTERM) when it goes.
class ProgramRun
{
public:
    explicit ProgramRun(const ComDir &ports);
    ~ProgramRun();
    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;

    // The built program's path.
    static QString binary();
    // The environment the next launch gets; change it before launching.
    QProcessEnvironment &environment() { return m_environment; }

    // Starts the program and returns once it runs.
    bool launch(const QStringList &arguments);
    // Starts the program hidden and returns once it holds the Device port and has set it up.
    bool start(const QStringList &arguments);
    // Waits until the program has written text to standard error; false when it has ended first.
    bool waitForLog(const QByteArray &text, int timeoutMs);
    // Waits until the program holds (or no longer holds) port n.
    bool waitUntilHolding(int n, bool holding, int timeoutMs) const;

    QProcess &process() { return *m_process; }
    qint64 pid() const { return m_process ? m_process->processId() : 0; }
    // The stand-in's pulse lines so far.
    QList<QByteArray> pulses() const;
    // All the program has written to standard error so far.
    QByteArray standardError();

private:
    const ComDir &m_ports;
    QTemporaryDir m_logDir;
    QProcessEnvironment m_environment;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_standardError;
};

// A TCP port on 127.0.0.1 that nobody listens on now (0 when none could be found).
quint16 freeTcpPort();

// What the tests of the program's listeners start from: a folder of port links, a POS pair on
// COM9 and COM8, the program, and a free TCP port for its listener.
struct ListenerBench
{
    ListenerBench() = default;
    ListenerBench(const ListenerBench &) = delete;
    ListenerBench &operator=(const ListenerBench &) = delete;

    bool ready() const { return posPair.isRunning() && port != 0; }
    // Starts the program hidden with OPTION=port (--listen, --http), then MORE and 1,0; true once
    // its log says "tralvo: ROLE: Open Success" (within 5 s).
    bool start(const QString &option, const QByteArray &role, const QStringList &more = {});

    ComDir dir;
    SocatPair posPair{dir, 9, 8};
    ProgramRun run{dir};
    quint16 port = freeTcpPort();
};
