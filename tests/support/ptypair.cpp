#include "ptypair.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

// What arrives on the descriptor within the time given, once at least `want` bytes have come.
QByteArray readFrom(int fd, int want, int timeoutMs)
{
    QByteArray got;
    const QDeadlineTimer deadline(timeoutMs);
    while (got.size() < want && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<int>(n));
    }
    return got;
}

bool writeTo(int fd, const QByteArray &bytes)
{
    return ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
}

} // namespace

ComDir::ComDir() = default;

QString ComDir::port(int n) const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("com%1").arg(n));
}

bool ComDir::link(int n, const QString &target) const
{
    QFile::remove(port(n));
    return QFile::link(target, port(n));
}

Pty::Pty()
{
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    m_slavePath = QString::fromLocal8Bit(name);
}

Pty::~Pty()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool Pty::write(const QByteArray &bytes) const
{
    return writeTo(m_master, bytes);
}

QByteArray Pty::read(int want, int timeoutMs) const
{
    return readFrom(m_master, want, timeoutMs);
}

void Pty::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

PortEnd::PortEnd(const QString &path)
    : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC))
{
    termios tio{};
    if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
}

PortEnd::~PortEnd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PortEnd::write(const QByteArray &bytes) const
{
    return writeTo(m_fd, bytes);
}

QByteArray PortEnd::read(int want, int timeoutMs) const
{
    return readFrom(m_fd, want, timeoutMs);
}

SocatPair::SocatPair(const ComDir &dir, int a, int b)
{
    m_socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_socat.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + dir.port(a),
                                            QStringLiteral("pty,raw,echo=0,link=") + dir.port(b)});
    if (!m_socat.waitForStarted(5000))
        return;
    m_ready = waitUntil(
        [&] { return QFileInfo::exists(dir.port(a)) && QFileInfo::exists(dir.port(b)); }, 5000);
}

SocatPair::~SocatPair()
{
    stop();
}

void SocatPair::stop()
{
    if (m_socat.state() == QProcess::NotRunning)
        return;
    m_socat.terminate();
    if (!m_socat.waitForFinished(3000)) {
        m_socat.kill();
        m_socat.waitForFinished(3000);
    }
}

PortHolder::PortHolder(const QString &path)
{
    m_process.start(QStringLiteral(TRALVO_HOLDPORT), {path});
    if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000))
        m_held = m_process.readAllStandardOutput().startsWith("held");
}

PortHolder::~PortHolder()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool writeToPort(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY);
    if (fd < 0)
        return false;
    const bool ok =
        ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    ::tcdrain(fd);
    ::close(fd);
    return ok;
}

bool processHoldsFile(qint64 pid, const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd :
         fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            return true;
    }
    return false;
}

qint64 processCpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return fields[11].toLongLong() + fields[12].toLongLong();
}
