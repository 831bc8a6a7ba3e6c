#pragma once

#include "printer.h"
#include "printqueue.h"

// A print queue of the system as the receipt printer (--printer=queue:NAME): each job is one
// raw document of the queue, begun at its first byte and completed after its last. The spooler is
// written from the event loop after the bytes have been taken, not inside send(), so that the
// kick in what was just read pulses before the spooler is waited for. A queue gives no replies.
// A queue that does not exist or refuses jobs is reported lost with the system's reason and
// checked again only by open() (the retry); the job waits in the queue meanwhile.
class QueuePrinter : public Printer
{
    Q_OBJECT
public:
    explicit QueuePrinter(const QString &queueName, qint64 capacity = defaultCapacity,
                          QObject *parent = nullptr);

    QString name() const override { return m_name; }
    void open() override;
    void close() override;
    bool isOpen() const override { return m_usable; }
    bool answersStatus() const override { return false; }

protected:
    qint64 writeToDevice(const char *data, qint64 size) override;
    qint64 devicePending() const override { return 0; }
    bool deviceReady() const override { return m_usable && m_writing; }
    void wantDevice() override;
    bool waitForDevice(int ms) override;
    void jobEndWritten() override;
    bool jobsApart() const override { return true; }

private:
    void writeNow();
    void fail(const char *what);

    QString m_name;
    PrintQueue m_queue;
    bool m_usable = false;
    bool m_writing = false;   // inside writeNow(): the spooler is written
    bool m_scheduled = false; // writeNow() is on its way
};
