#pragma once

#include "onward.h"

#include <QByteArray>
#include <QString>

#include <deque>

// The receipt printer the POS's bytes pass on to, whatever reaches it (a port, a device, a
// network printer). What is sent is queued here, up to the capacity, until the printer's device
// has written it; what the device had been handed but not written when it is lost stays queued
// and goes out once it is open again, so nothing is lost or sent twice. Jobs are marked in the
// queue, so that a printer that takes each job on a connection of its own knows where one ends
// and a source learns when its job has been written. Failures are reported as a reason, never
// thrown into the event loop: open() throws with the reason, a device lost at run time is closed
// and signalled.
class Printer : public Onward
{
    Q_OBJECT
public:
    static constexpr qint64 defaultCapacity = qint64{1024} * 1024;

    explicit Printer(qint64 capacity = defaultCapacity, QObject *parent = nullptr);

    // As the window and the log show it: "COM3", "socket://192.168.1.50:9100".
    virtual QString name() const = 0;
    // Opens the device (closing it first if open); throws with the reason. Queued bytes start
    // going out at once.
    virtual void open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Whether it answers status requests (DLE EOT) itself; a print queue does not.
    virtual bool answersStatus() const { return true; }
    // Waits up to timeoutMs for the printer to take what is queued; returns what is left.
    qint64 flush(int timeoutMs);

    // Bytes queued and not yet written.
    qint64 queued() const { return m_queue.size() - m_head; }
    qint64 room() const override { return m_capacity - queued(); }
    qint64 send(const QByteArray &bytes) override;
    // room() was 0, so it is below half the capacity: roomAvailable() follows at half.
    void waitForRoom() override {}
    // jobWritten() follows once the job's last byte has been written by the device.
    void endJob() override;

Q_SIGNALS:
    // The open device broke (a device pulled, a peer gone); it is closed now.
    void lost(const QString &reason);

protected:
    // The device's part. writeToDevice() takes what it can of the bytes without blocking and
    // returns how many (a failure is reported through lost()); devicePending() is what it was
    // handed and has not written yet.
    virtual qint64 writeToDevice(const char *data, qint64 size) = 0;
    virtual qint64 devicePending() const = 0;
    // Whether handing bytes now would write them; when not, wantDevice() is told that bytes wait.
    virtual bool deviceReady() const { return isOpen(); }
    virtual void wantDevice() {}
    // Waits up to ms for the device to make progress (write, connect); false when it cannot.
    virtual bool waitForDevice(int ms) = 0;
    // The last byte of a job has been written (the queue may hold the next one's).
    virtual void jobEndWritten() {}
    // Whether a job's bytes go out on their own: nothing of the next job is handed to the device
    // before jobEndWritten() of the one before.
    virtual bool jobsApart() const { return false; }

    // Hands the device what it takes of the queue.
    void writeMore();
    // The device has written some of what it was handed (its bytes-written signal).
    void deviceWrote();
    // The device is closed: what it held unwritten goes out again at the next open.
    void forgetHanded() { m_handed = 0; }
    void loseDevice(const QString &reason);
    // Whether some of a job is handed to the device or waits for it.
    bool jobUnderway() const;

private:
    void continueWriting();
    void passJobEnds();

    qint64 m_capacity;
    // Bytes not yet written: m_queue from m_head on. Of those, m_handed were given to the device
    // and wait in its own buffer.
    QByteArray m_queue;
    qint64 m_head = 0;
    qint64 m_handed = 0;
    qint64 m_written = 0;         // bytes ever written, to place the job ends
    std::deque<qint64> m_jobEnds; // where jobs end, in bytes ever sent
    bool m_roomShort = false;     // room() was below half the capacity
    bool m_continuing = false;    // continueWriting() is on its way
};
