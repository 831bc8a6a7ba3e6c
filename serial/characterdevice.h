#pragma once

#include <QIODevice>
#include <QString>

class QSocketNotifier;

// A character device that is no terminal, such as a USB printer class device (/dev/usb/lp0),
// which QSerialPort will not open: a sequential device that never blocks. Writes are buffered
// and go out as the device takes them, with bytesWritten() as QSerialPort gives it; what the
// device sends back raises readyRead(). A device that fails (unplugged) raises failed() and is
// closed. Unix only.
class CharacterDevice : public QIODevice
{
    Q_OBJECT
public:
    explicit CharacterDevice(QString path, QObject *parent = nullptr);
    ~CharacterDevice() override;

    // True when the path names something that can be opened and is no terminal.
    static bool isCharacterDevice(const QString &path);

    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return true; }
    qint64 bytesToWrite() const override { return m_pending.size(); }
    bool waitForBytesWritten(int msecs) override;

Q_SIGNALS:
    void failed(const QString &reason);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    // Closes the descriptor and lets the notifiers go; what was not written is dropped.
    void release();
    void writePending();
    void fail(int error);

    QString m_path;
    int m_fd = -1;
    QByteArray m_pending;
    QSocketNotifier *m_readable = nullptr;
    QSocketNotifier *m_writable = nullptr;
};
