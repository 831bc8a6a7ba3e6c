#pragma once

#include <QString>
#include <QStringList>

#include <memory>

// The system's print queue NAME (a Windows printer, a CUPS queue), fed raw, one document a job:
// the binding to the spooler, and nothing of Tralvo's queue or turns. Every call blocks until the
// local spooler has answered, which takes a moment, and throws std::runtime_error with the
// system's reason when it fails.
class PrintQueue
{
public:
    explicit PrintQueue(QString name);
    ~PrintQueue();
    PrintQueue(const PrintQueue &) = delete;
    PrintQueue &operator=(const PrintQueue &) = delete;

    // Throws unless the queue exists and takes jobs (a paused queue takes them and holds them).
    void check();
    bool jobOpen() const;
    // A new raw document named "Tralvo".
    void beginJob();
    void write(const char *data, qint64 size);
    // The document is complete: the spooler prints it.
    void endJob();
    // The open document is given up (the spooler drops it).
    void abandonJob();

    // The system's printers, one a line: name, port or device, state, separated by tabs.
    static QStringList list();

private:
    struct Binding;
    QString m_name;
    std::unique_ptr<Binding> m_binding;
};
