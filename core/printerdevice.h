#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// What reaches the receipt printer (a port, a device, a network printer, a spooler), as the
// Printer uses it: it takes bytes without blocking and says when it has written some. It keeps
// no backlog of its own beyond what it was handed; failures at run time are signalled, never
// thrown into the event loop.
class PrinterDevice : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // As the window and the log show it: "COM3", "socket://192.168.1.50:9100".
    virtual QString name() const = 0;
    // Opens the device; throws with the reason. The printer closes it first if it was open.
    virtual void open() = 0;
    // Closes it; what it was handed and had not written is dropped (the printer sends it again).
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Whether it answers status requests (DLE EOT) itself; a spooler does not.
    virtual bool answersStatus() const = 0;

    // Takes what it can of the bytes without blocking and returns how many; 0 while it cannot
    // write (closed, or not connected yet: it then gets ready and signals ready()). Bytes wait
    // for it from the first call on until drained().
    virtual qint64 write(const char *data, qint64 size) = 0;
    // What it was handed and has not written yet.
    virtual qint64 pending() const = 0;
    // Whether each job goes out on its own (a connection, a document): the printer hands it
    // nothing of the next job before jobWritten() of the one before.
    virtual bool keepsJobsApart() const = 0;
    // The last byte of a job has been written (the printer may hold the next one's).
    virtual void jobWritten() = 0;
    // Everything the printer held for it has been written.
    virtual void drained() = 0;
    // Waits up to ms for progress (a write, a connection), for the flush at shutdown; false
    // when it cannot make any.
    virtual bool waitForProgress(int ms) = 0;

Q_SIGNALS:
    // Some of what it was handed has been written: pending() is less.
    void wrote();
    // It can take bytes now (connected).
    void ready();
    // Bytes the printer sent back.
    void replied(const QByteArray &bytes);
    // The open device broke (a device pulled, a peer gone); it is closed now.
    void lost(const QString &reason);
};
