#pragma once

#include "printerdevice.h"
#include "printqueue.h"

#include <QByteArray>

// A print queue of the system as the receipt printer (--printer=queue:NAME): each job is one
// raw document of the queue, begun at its first byte and completed after its last. The spooler is
// written from the event loop after the bytes have been taken, not inside the printer's send(),
// so that the kick in what was just read pulses before the spooler is waited for. A queue gives
// no replies. A queue that does not exist or refuses jobs is reported lost with the system's
// reason and checked again only by open() (the retry); the job waits meanwhile.
class SpoolPrinter : public PrinterDevice
{
    Q_OBJECT
public:
    explicit SpoolPrinter(const QString &queueName, QObject *parent = nullptr);

    QString name() const override { return m_name; }
    void open() override;
    void close() override;
    bool isOpen() const override { return m_usable; }
    bool answersStatus() const override { return false; }

    // Takes the bytes for the next pass of the event loop, which hands them to the spooler.
    qint64 write(const char *data, qint64 size) override;
    qint64 pending() const override { return m_pending.size(); }
    bool keepsJobsApart() const override { return true; }
    void jobWritten() override;
    void drained() override {}
    bool waitForProgress(int ms) override;

private:
    void writeNow();
    void fail(const QString &reason);

    QString m_name;
    PrintQueue m_queue;
    QByteArray m_pending; // taken, not yet with the spooler
    bool m_usable = false;
    bool m_scheduled = false; // writeNow() is on its way
};
