#include "characterdevice.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

CharacterDevice::CharacterDevice(QString path, QObject *parent)
    : QIODevice(parent), m_path(std::move(path))
{
}

CharacterDevice::~CharacterDevice()
{
    release();
}

bool CharacterDevice::isCharacterDevice(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool terminal = ::isatty(fd) != 0;
    ::close(fd);
    return !terminal;
}

bool CharacterDevice::open(OpenMode mode)
{
    const QByteArray path = QFile::encodeName(m_path);
    constexpr int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    // A named pipe opened for reading as well would hand back what it was just given, as if the
    // printer had sent it: it is only written.
    struct stat info = {};
    if (::stat(path.constData(), &info) == 0 && S_ISFIFO(info.st_mode))
        mode = mode & ~ReadOnly;
    m_fd = ::open(path.constData(), ((mode & ReadOnly) ? O_RDWR : O_WRONLY) | flags);
    // A printer that sends nothing back may be write-only.
    if (m_fd < 0 && (mode & ReadOnly) && (errno == EACCES || errno == EINVAL))
        m_fd = ::open(path.constData(), O_WRONLY | flags);
    if (m_fd < 0) {
        setErrorString(qt_error_string(errno));
        return false;
    }
    const bool readable = (::fcntl(m_fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    if (readable) {
        m_readable = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_readable, &QSocketNotifier::activated, this, &QIODevice::readyRead);
    }
    m_writable = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_writable->setEnabled(false);
    connect(m_writable, &QSocketNotifier::activated, this, &CharacterDevice::writePending);
    return QIODevice::open((readable ? mode : (mode & ~ReadOnly)) | Unbuffered);
}

void CharacterDevice::close()
{
    if (m_fd < 0)
        return;
    release();
    QIODevice::close();
}

void CharacterDevice::release()
{
    if (m_fd < 0)
        return;
    // The notifiers may be the very ones whose signal is being handled: let them go later.
    for (QSocketNotifier *notifier : {m_readable, m_writable}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readable = m_writable = nullptr;
    ::close(m_fd);
    m_fd = -1;
    m_pending.clear();
}

qint64 CharacterDevice::readData(char *data, qint64 maxSize)
{
    const ssize_t n = ::read(m_fd, data, static_cast<size_t>(maxSize));
    if (n >= 0)
        return n;
    if (errno == EAGAIN || errno == EINTR)
        return 0;
    fail(errno);
    return -1;
}

qint64 CharacterDevice::writeData(const char *data, qint64 maxSize)
{
    m_pending.append(data, static_cast<int>(maxSize));
    m_writable->setEnabled(true);
    return maxSize;
}

void CharacterDevice::writePending()
{
    if (m_fd < 0)
        return;
    const ssize_t n = ::write(m_fd, m_pending.constData(), static_cast<size_t>(m_pending.size()));
    if (n < 0) {
        if (errno != EAGAIN && errno != EINTR)
            fail(errno);
        return;
    }
    m_pending.remove(0, static_cast<int>(n));
    m_writable->setEnabled(!m_pending.isEmpty());
    if (n > 0)
        Q_EMIT bytesWritten(n);
}

bool CharacterDevice::waitForBytesWritten(int msecs)
{
    const QDeadlineTimer deadline(msecs);
    while (m_fd >= 0 && !m_pending.isEmpty()) {
        pollfd entry{m_fd, POLLOUT, 0};
        if (::poll(&entry, 1, static_cast<int>(deadline.remainingTime())) <= 0)
            return false;
        const qint64 before = m_pending.size();
        writePending();
        if (m_pending.size() < before)
            return true;
    }
    return false;
}

void CharacterDevice::fail(int error)
{
    const QString reason = qt_error_string(error);
    setErrorString(reason);
    close();
    Q_EMIT failed(reason);
}
