#pragma once

#include "printeraddress.h"
#include "printerdevice.h"

#include <QTcpSocket>
#include <QTimer>

// A receipt printer on the network, raw as on TCP 9100: each job gets a connection of its own,
// made when its first byte is ready and closed once its last byte has been written, so that the
// shop's other software may print to the same printer between jobs. A printer that refuses or is
// gone is reported lost, and only open() (the retry) connects again; the job waits meanwhile.
// The printer's replies are handed on as they come.
class NetworkPrinter : public PrinterDevice
{
    Q_OBJECT
public:
    explicit NetworkPrinter(PrinterAddress address, QObject *parent = nullptr);
    ~NetworkPrinter() override;

    QString name() const override { return m_address.port; }
    // Makes the printer usable; connecting waits for a job. After a loss, with a job waiting, it
    // tries to connect and throws the reason until the connection is made.
    void open() override;
    void close() override;
    bool isOpen() const override { return m_usable; }
    bool answersStatus() const override { return true; }

    qint64 write(const char *data, qint64 size) override;
    qint64 pending() const override { return m_socket.bytesToWrite(); }
    bool keepsJobsApart() const override { return true; }
    void jobWritten() override;
    void drained() override { m_bytesWait = false; }
    bool waitForProgress(int ms) override;

    // How long a connection may take before the printer counts as gone.
    static constexpr int connectTimeoutMs = 5000;

private:
    void connectToPrinter();
    void handleError();
    void fail(const QString &why);
    void handleDisconnected();

    PrinterAddress m_address;
    QTcpSocket m_socket;
    QTimer m_connectTimeout;
    bool m_usable = false;    // open, and not lost since
    bool m_lost = false;      // lost; only open() connects again
    bool m_bytesWait = false; // the printer holds bytes for it (a job is under way)
    QString m_failure;        // why the last connection failed
};
