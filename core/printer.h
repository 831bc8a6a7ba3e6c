#pragma once

#include "onward.h"
#include "printerbacklog.h"
#include "printerdevice.h"

#include <QString>

#include <memory>

// The receipt printer the POS's bytes pass on to, whatever device reaches it. What is sent is
// held in the backlog, up to the capacity, until the device has written it; what the device had
// been handed but not written when it is lost or closed stays there and goes out once it is open
// again, so nothing is lost or sent twice. Jobs are marked in the backlog, so that a device that
// keeps jobs apart knows where one ends and the sender hears when its job has been written.
// Failures are reported as a reason: open() throws with it, a device lost at run time is closed
// and signalled.
class Printer : public Onward
{
    Q_OBJECT
public:
    static constexpr qint64 defaultCapacity = qint64{1024} * 1024;

    explicit Printer(std::unique_ptr<PrinterDevice> device, qint64 capacity = defaultCapacity,
                     QObject *parent = nullptr);
    ~Printer() override;

    const PrinterDevice &device() const { return *m_device; }
    QString name() const { return m_device->name(); }
    // Opens the device (closing it first if open); throws with the reason. What waits starts
    // going out at once.
    void open();
    void close();
    bool isOpen() const { return m_device->isOpen(); }
    bool answersStatus() const { return m_device->answersStatus(); }
    // Waits up to timeoutMs for the device to take what waits; returns what is left.
    qint64 flush(int timeoutMs);

    // Bytes held and not yet written.
    qint64 queued() const { return m_backlog.size(); }
    qint64 room() const override { return m_capacity - queued(); }
    qint64 send(const QByteArray &bytes) override;
    void waitForRoom() override;
    void endJob() override;

Q_SIGNALS:
    // The open device broke; it is closed now.
    void lost(const QString &reason);

private:
    void writeMore();
    void deviceWrote();
    void deviceLost(const QString &reason);
    void continueWriting();
    void passJobEnds();

    std::unique_ptr<PrinterDevice> m_device;
    qint64 m_capacity;
    PrinterBacklog m_backlog;
    qint64 m_handed = 0;       // of the backlog's front, given to the device and not written
    bool m_roomShort = false;  // room() was below half the capacity
    bool m_continuing = false; // continueWriting() is on its way
};
