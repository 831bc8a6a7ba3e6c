#pragma once

#include "bytesource.h"
#include "webroutes.h"

// A web request that prints or opens the drawer, as a source of POS bytes on the path like a
// network connection: its bytes (the ESC/POS the request means) are all there at once, and it is
// one job. Its outcome gathers what the receiver's pulse and the printer did with it; complete()
// tells once the printer has been handed its last byte (at once when it is for the drawer alone).
class WebJob : public ByteSource
{
    Q_OBJECT
public:
    WebJob(WebJobOrder order, QString peer, QObject *parent = nullptr);

    const WebJobOrder &order() const { return m_order; }
    const QString &peer() const { return m_peer; }
    const JobOutcome &outcome() const { return m_outcome; }

    qint64 available() const override { return m_bytes.size() - m_read; }
    QByteArray read(qint64 maxBytes) override;

    // Hands its bytes to the receiver; finished() follows once all are read.
    void begin();
    // The receiver's pulse for it, and its result.
    void notePulse(bool succeeded) { m_outcome.pulsed = succeeded; }
    // The printer has been handed its last byte, or it had nothing for the printer.
    void noteWritten();

Q_SIGNALS:
    void finished();
    void completed();

private:
    void checkEnd();

    WebJobOrder m_order;
    QString m_peer;
    QByteArray m_bytes;
    qint64 m_read = 0;
    JobOutcome m_outcome;
    bool m_finished = false;
};
