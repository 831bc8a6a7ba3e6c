#pragma once

#include <QFile>
#include <QString>
#include <QtGlobal>

#include <mutex>

// The program's log lines (the "tralvo: ..." lines that go to standard error on Linux), also
// appended to a file with the time in front: a GUI program on Windows has no standard error, and
// a hidden instance must still leave a record. Once the file would pass maxBytes it is set aside
// as <name>.old.<suffix> (replacing the one before) and a new one begun, so a till that runs for
// months keeps at most two files. Installed as Qt's message handler while it lives; messages
// still reach the handler that was there before.
class MessageLog
{
public:
    static constexpr qint64 defaultMaxBytes = qint64{1024} * 1024;

    explicit MessageLog(QString path, qint64 maxBytes = defaultMaxBytes);
    ~MessageLog();
    MessageLog(const MessageLog &) = delete;
    MessageLog &operator=(const MessageLog &) = delete;

    QString path() const { return m_path; }
    QString previousPath() const;

    // Appends one line; used by the message handler, and by tests.
    void write(const QString &line);

    // Where a hidden instance on Windows logs: Tralvo\tralvo.log in the user's local
    // application-data folder.
    static QString defaultPath();

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);
    bool openForAppend();

    QString m_path;
    qint64 m_maxBytes;
    std::mutex m_mutex;
    QFile m_file;
    QtMessageHandler m_previous = nullptr;
};
