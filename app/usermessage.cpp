#include "usermessage.h"

#include "commandline.h"
#include "logging.h"
#include "printqueue.h"
#include "tillcertificate.h"

#include <QByteArray>
#include <QDir>
#include <QStringList>

#include <exception>

#ifdef Q_OS_WIN
#include <QMessageBox>

#include <windows.h>
#else
#include <cstdio>
#endif

namespace {

#ifdef Q_OS_WIN
// A handle the program inherited (a redirection, or Wine's terminal), else the console of the
// program that started it.
HANDLE outputHandle(bool isError)
{
    const HANDLE own = GetStdHandle(isError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (own != nullptr && own != INVALID_HANDLE_VALUE)
        return own;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return INVALID_HANDLE_VALUE;
    return CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}
#endif

} // namespace

void showUserMessage(const QString &text, bool isError)
{
    const QByteArray bytes =
        (text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n')).toLocal8Bit();
#ifdef Q_OS_WIN
    const HANDLE handle = outputHandle(isError);
    DWORD written = 0;
    if (handle != INVALID_HANDLE_VALUE &&
        WriteFile(handle, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return;
    if (isError)
        QMessageBox::warning(nullptr, QStringLiteral("Tralvo"), text);
    else
        QMessageBox::information(nullptr, QStringLiteral("Tralvo"), text);
#else
    std::FILE *stream = isError ? stderr : stdout;
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
#endif
}

int answerCommandLine(const CommandLine &commandLine)
{
    switch (commandLine.action) {
    case CommandLine::Action::ListPrinters: {
        const QStringList printers = PrintQueue::list();
        showUserMessage(printers.isEmpty() ? QStringLiteral("tralvo: the system has no printers")
                                           : printers.join(QLatin1Char('\n')),
                        false);
        return 0;
    }
    case CommandLine::Action::ShowCertificatePath:
        try {
            showUserMessage(QDir::toNativeSeparators(TillCertificate::ensure().certificate), false);
            return 0;
        } catch (const std::exception &error) {
            const QString why = QStringLiteral("tralvo: the till's certificate: %1")
                                    .arg(QString::fromStdString(error.what()));
            qCWarning(lcTralvo, "%s", qPrintable(why));
            showUserMessage(why, true);
            return 1;
        }
    case CommandLine::Action::Refuse:
        // Into the log too, where a hidden instance's reasons are looked for.
        qCWarning(lcTralvo, "%s", qPrintable(commandLine.message));
#ifdef Q_OS_WIN
        showUserMessage(commandLine.message, true);
#endif
        return 2;
    case CommandLine::Action::ShowHelp:
    case CommandLine::Action::ShowVersion:
    case CommandLine::Action::Run:
        break;
    }
    showUserMessage(commandLine.message, false);
    return 0;
}
