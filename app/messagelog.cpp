#include "messagelog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <utility>

namespace {

MessageLog *g_log = nullptr;

} // namespace

MessageLog::MessageLog(QString path, qint64 maxBytes)
    : m_path(std::move(path)), m_maxBytes(maxBytes)
{
    Q_ASSERT(!g_log);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    openForAppend();
    g_log = this;
    m_previous = qInstallMessageHandler(&MessageLog::handle);
}

MessageLog::~MessageLog()
{
    qInstallMessageHandler(m_previous);
    g_log = nullptr;
}

QString MessageLog::previousPath() const
{
    const QFileInfo info(m_path);
    return info.dir().filePath(info.completeBaseName() + QLatin1String(".old.") + info.suffix());
}

QString MessageLog::defaultPath()
{
    // On Windows the generic data location is the local application-data folder (AppData\Local).
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Tralvo/tralvo.log"));
}

bool MessageLog::openForAppend()
{
    m_file.setFileName(m_path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void MessageLog::write(const QString &line)
{
    const QByteArray bytes = (QDateTime::currentDateTime().toString(Qt::ISODate) +
                              QLatin1Char(' ') + line + QLatin1Char('\n'))
                                 .toUtf8();
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_file.isOpen() && m_file.size() > 0 && m_file.size() + bytes.size() > m_maxBytes) {
        m_file.close();
        QFile::remove(previousPath());
        QFile::rename(m_path, previousPath());
        openForAppend();
    }
    if (!m_file.isOpen() && !openForAppend())
        return; // nowhere to write; the previous handler still has the message
    m_file.write(bytes);
    // A till may lose power at any moment: every line goes out at once.
    m_file.flush();
}

void MessageLog::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (MessageLog *log = g_log) {
        log->write(qFormatLogMessage(type, context, message));
        if (log->m_previous)
            log->m_previous(type, context, message);
    }
}
