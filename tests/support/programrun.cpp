#include "programrun.h"

#include "ptypair.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTest>

ProgramRun::ProgramRun(const ComDir &ports)
    : m_ports(ports), m_environment(QProcessEnvironment::systemEnvironment())
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        m_environment.remove(QLatin1String(name));
    m_environment.insert(QStringLiteral("TRALVO_COMDIR"), ports.path());
    m_environment.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(TRALVO_STANDIN_DIR));
    m_environment.insert(QStringLiteral("CASHBOX_STANDIN_LOG"),
                         m_logDir.filePath(QStringLiteral("pulses")));
}

ProgramRun::~ProgramRun()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    // Ended in order, so that no lock is left behind.
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

QString ProgramRun::binary()
{
    return QStringLiteral(TRALVO_BINARY);
}

bool ProgramRun::launch(const QStringList &arguments)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(m_environment);
    m_process->start(binary(), arguments);
    return m_process->waitForStarted(5000);
}

bool ProgramRun::start(const QStringList &arguments)
{
    if (!launch(arguments) || !waitUntilHolding(9, true, 10000))
        return false;
    // Holding the port is not yet listening: what comes before the port is set up and emptied
    // is dropped, as the program promises. A hidden run reports the end of that set-up.
    return waitForLog("tralvo: Device: Open Success", 10000);
}

bool ProgramRun::waitForLog(const QByteArray &text, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!standardError().contains(text)) {
        if (deadline.hasExpired() || m_process->state() != QProcess::Running)
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool ProgramRun::waitUntilHolding(int n, bool holding, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (processHoldsFile(m_process->processId(), m_ports.port(n)) != holding) {
        if (deadline.hasExpired() || m_process->state() != QProcess::Running)
            return false;
        QTest::qWait(20);
    }
    return true;
}

QList<QByteArray> ProgramRun::pulses() const
{
    QFile f(m_logDir.filePath(QStringLiteral("pulses")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

QByteArray ProgramRun::standardError()
{
    if (m_process)
        m_standardError += m_process->readAllStandardError();
    return m_standardError;
}

quint16 freeTcpPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

bool ListenerBench::start(const QString &option, const QByteArray &role, const QStringList &more)
{
    if (!run.start(QStringList{QStringLiteral("%1=%2").arg(option).arg(port)} + more +
                   QStringList{QStringLiteral("1,0")}))
        return false;
    return run.waitForLog("tralvo: " + role + ": Open Success", 5000);
}
