#include "printqueue.h"

#include <cups/cups.h>

#include <stdexcept>
#include <utility>

// One connection to the local scheduler a queue, so that a document streamed to it is not mixed
// with other requests.
struct PrintQueue::Binding
{
    http_t *http = nullptr;
    int job = 0;
    bool inDocument = false;

    ~Binding()
    {
        if (http)
            httpClose(http);
    }
};

namespace {

[[noreturn]] void refuse(const QString &what)
{
    throw std::runtime_error(
        QStringLiteral("%1: %2").arg(what, QString::fromUtf8(cupsLastErrorString())).toStdString());
}

QString option(const cups_dest_t &dest, const char *name)
{
    return QString::fromUtf8(cupsGetOption(name, dest.num_options, dest.options));
}

} // namespace

PrintQueue::PrintQueue(QString name)
    : m_name(std::move(name)), m_binding(std::make_unique<Binding>())
{
}

PrintQueue::~PrintQueue()
{
    if (jobOpen())
        abandonJob();
}

void PrintQueue::check()
{
    cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, m_name.toUtf8().constData(), nullptr);
    if (!dest)
        refuse(QStringLiteral("no print queue \"%1\"").arg(m_name));
    const bool accepting = option(*dest, "printer-is-accepting-jobs") != QLatin1String("false");
    cupsFreeDests(1, dest);
    if (!accepting)
        throw std::runtime_error(QStringLiteral("the print queue \"%1\" does not accept jobs")
                                     .arg(m_name)
                                     .toStdString());
}

bool PrintQueue::jobOpen() const
{
    return m_binding->inDocument;
}

void PrintQueue::beginJob()
{
    Binding &b = *m_binding;
    if (!b.http) {
        b.http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                              30000, nullptr);
        if (!b.http)
            refuse(QStringLiteral("cannot reach the print scheduler"));
    }
    const QByteArray name = m_name.toUtf8();
    b.job = cupsCreateJob(b.http, name.constData(), "Tralvo", 0, nullptr);
    if (b.job == 0)
        refuse(QStringLiteral("the print queue \"%1\" took no job").arg(m_name));
    if (cupsStartDocument(b.http, name.constData(), b.job, "Tralvo", CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE) {
        cupsCancelJob2(b.http, name.constData(), b.job, 0);
        refuse(QStringLiteral("the print queue \"%1\" took no document").arg(m_name));
    }
    b.inDocument = true;
}

void PrintQueue::write(const char *data, qint64 size)
{
    if (cupsWriteRequestData(m_binding->http, data, static_cast<size_t>(size)) !=
        HTTP_STATUS_CONTINUE)
        refuse(QStringLiteral("writing to the print queue \"%1\"").arg(m_name));
}

void PrintQueue::endJob()
{
    Binding &b = *m_binding;
    b.inDocument = false;
    if (cupsFinishDocument(b.http, m_name.toUtf8().constData()) > IPP_STATUS_OK_CONFLICTING)
        refuse(QStringLiteral("the print queue \"%1\" did not take job %2").arg(m_name).arg(b.job));
}

void PrintQueue::abandonJob()
{
    Binding &b = *m_binding;
    b.inDocument = false;
    // The connection is in the middle of the document: a new one cancels the job.
    httpClose(b.http);
    b.http = nullptr;
    cupsCancelJob2(CUPS_HTTP_DEFAULT, m_name.toUtf8().constData(), b.job, 0);
}

QStringList PrintQueue::list()
{
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        const cups_dest_t &dest = dests[i];
        if (dest.instance)
            continue;
        const QString stateNumber = option(dest, "printer-state");
        QString state = stateNumber == QLatin1String("5")   ? QStringLiteral("paused")
                        : stateNumber == QLatin1String("4") ? QStringLiteral("printing")
                                                            : QStringLiteral("idle");
        if (option(dest, "printer-is-accepting-jobs") == QLatin1String("false"))
            state += QStringLiteral(", not accepting jobs");
        lines << QStringLiteral("%1\t%2\t%3")
                     .arg(QString::fromUtf8(dest.name), option(dest, "device-uri"), state);
    }
    cupsFreeDests(count, dests);
    return lines;
}
