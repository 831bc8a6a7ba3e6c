#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A folder of port links, as TRALVO_COMDIR expects: com9, com8, ...
class ComDir
{
public:
    ComDir();
    QString path() const { return m_dir.path(); }
    QString port(int n) const;
    // Makes comN a link to the given device.
    bool link(int n, const QString &target) const;

private:
    QTemporaryDir m_dir;
};

// A pseudo-terminal whose master end the test holds; the program opens the slave.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int slaveFd() const { return m_slave; }
    int masterFd() const { return m_master; }
    bool write(const QByteArray &bytes) const;
    // What arrives at the master within the time given, once at least `want` bytes have come.
    QByteArray read(int want, int timeoutMs) const;
    // The far end goes away, as when a device is pulled.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

// A port path held open by the test, as a POS application or a printer holds its end of a cable.
class PortEnd
{
public:
    explicit PortEnd(const QString &path);
    ~PortEnd();
    PortEnd(const PortEnd &) = delete;
    PortEnd &operator=(const PortEnd &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool write(const QByteArray &bytes) const;
    // As Pty::read.
    QByteArray read(int want, int timeoutMs) const;

private:
    int m_fd;
};

// Two joined pseudo-terminals made by socat, linked as comA and comB in a folder.
class SocatPair
{
public:
    SocatPair(const ComDir &dir, int a, int b);
    ~SocatPair();
    bool isRunning() const { return m_socat.state() == QProcess::Running && m_ready; }
    void stop();

private:
    QProcess m_socat;
    bool m_ready = false;
};

// Another program (tests/support/holdport) holding a port open, as long as this object lives.
class PortHolder
{
public:
    explicit PortHolder(const QString &path);
    ~PortHolder();
    PortHolder(const PortHolder &) = delete;
    PortHolder &operator=(const PortHolder &) = delete;
    // Whether it got the port.
    bool held() const { return m_held; }

private:
    QProcess m_process;
    bool m_held = false;
};

// Writes bytes into a port path (one write call), as a POS application would.
bool writeToPort(const QString &path, const QByteArray &bytes);

// Whether the process has the file open (by the link's target).
bool processHoldsFile(qint64 pid, const QString &path);

// CPU time (user + system, in clock ticks) the process has used.
qint64 processCpuTicks(qint64 pid);

// An idle program that tries a missing port about once a second, watched for idleWindowMs: each
// attempt may be charged a whole tick on a loaded machine, and a few more come from elsewhere. A
// busy loop would take about 300 ticks at 100 Hz.
constexpr int idleWindowMs = 3000;
constexpr qint64 idleTickBound = idleWindowMs / 1000 + 5;
