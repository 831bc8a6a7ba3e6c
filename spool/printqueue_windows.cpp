#include "printqueue.h"

#include <windows.h>
#include <winspool.h>

#include <stdexcept>
#include <utility>
#include <vector>

struct PrintQueue::Binding
{
    HANDLE printer = nullptr;
    bool inDocument = false;
};

namespace {

[[noreturn]] void refuse(const QString &what)
{
    const DWORD error = GetLastError();
    throw std::runtime_error(
        QStringLiteral("%1: %2").arg(what, qt_error_string(static_cast<int>(error))).toStdString());
}

std::wstring wide(const QString &text)
{
    return text.toStdWString();
}

HANDLE openPrinter(const QString &name)
{
    std::wstring printerName = wide(name);
    wchar_t raw[] = L"RAW";
    PRINTER_DEFAULTSW defaults = {raw, nullptr, PRINTER_ACCESS_USE};
    HANDLE printer = nullptr;
    if (!OpenPrinterW(printerName.data(), &printer, &defaults))
        refuse(QStringLiteral("no printer \"%1\"").arg(name));
    return printer;
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
    ClosePrinter(openPrinter(m_name));
}

bool PrintQueue::jobOpen() const
{
    return m_binding->inDocument;
}

void PrintQueue::beginJob()
{
    Binding &b = *m_binding;
    b.printer = openPrinter(m_name);
    wchar_t docName[] = L"Tralvo";
    wchar_t raw[] = L"RAW";
    DOC_INFO_1W document = {docName, nullptr, raw};
    if (StartDocPrinterW(b.printer, 1, reinterpret_cast<LPBYTE>(&document)) == 0) {
        const DWORD error = GetLastError();
        ClosePrinter(b.printer);
        b.printer = nullptr;
        SetLastError(error);
        refuse(QStringLiteral("the printer \"%1\" took no document").arg(m_name));
    }
    b.inDocument = true;
}

void PrintQueue::write(const char *data, qint64 size)
{
    while (size > 0) {
        DWORD written = 0;
        if (!WritePrinter(m_binding->printer, const_cast<char *>(data), static_cast<DWORD>(size),
                          &written) ||
            written == 0)
            refuse(QStringLiteral("writing to the printer \"%1\"").arg(m_name));
        data += written;
        size -= written;
    }
}

void PrintQueue::endJob()
{
    Binding &b = *m_binding;
    b.inDocument = false;
    const bool ended = EndDocPrinter(b.printer) != 0;
    const DWORD error = GetLastError();
    ClosePrinter(b.printer);
    b.printer = nullptr;
    if (!ended) {
        SetLastError(error);
        refuse(QStringLiteral("the printer \"%1\" did not take the document").arg(m_name));
    }
}

void PrintQueue::abandonJob()
{
    Binding &b = *m_binding;
    b.inDocument = false;
    AbortPrinter(b.printer);
    ClosePrinter(b.printer);
    b.printer = nullptr;
}

QStringList PrintQueue::list()
{
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !EnumPrintersW(flags, nullptr, 2, buffer.data(), needed, &needed, &count))
        return {};
    const auto *printers = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
    QStringList lines;
    for (DWORD i = 0; i < count; ++i) {
        const PRINTER_INFO_2W &p = printers[i];
        const QString state = p.Status == 0 ? QStringLiteral("ready")
                              : (p.Status & PRINTER_STATUS_PAUSED)
                                  ? QStringLiteral("paused")
                                  : QStringLiteral("status 0x%1").arg(p.Status, 0, 16);
        lines << QStringLiteral("%1\t%2\t%3")
                     .arg(QString::fromWCharArray(p.pPrinterName),
                          QString::fromWCharArray(p.pPortName ? p.pPortName : L""), state);
    }
    return lines;
}
