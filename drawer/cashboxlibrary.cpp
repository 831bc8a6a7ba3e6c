#include "cashboxlibrary.h"

#include <QCoreApplication>
#include <QDir>

#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifndef TRALVO_BIN_TO_PRIVATE_LIBDIR
#define TRALVO_BIN_TO_PRIVATE_LIBDIR "../lib/tralvo"
#endif

namespace {

const QString libraryName = QStringLiteral("CashBox");

// A 32-bit Windows build of the library exports the decorated stdcall name (as MSVC writes it,
// then as MinGW does); 64-bit and non-Windows builds export the plain one.
const char *const exportNames[] = {"_CashBoxNormalGPIO@16", "CashBoxNormalGPIO@16",
                                   "CashBoxNormalGPIO"};

} // namespace

CashBoxLibrary::CashBoxLibrary(QStringList folders, bool systemSearch)
    : m_folders(std::move(folders)), m_systemSearch(systemSearch)
{
}

QStringList CashBoxLibrary::defaultFolders()
{
    const QString appDir = QCoreApplication::applicationDirPath();
#ifdef Q_OS_WIN
    return {appDir};
#else
    return {
        QDir::cleanPath(appDir + QLatin1Char('/') + QLatin1String(TRALVO_BIN_TO_PRIVATE_LIBDIR))};
#endif
}

void CashBoxLibrary::restrictSystemSearch()
{
#ifdef Q_OS_WIN
    // Looked up at run time because older SDK headers leave SetDefaultDllDirectories out.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI *)(DWORD);
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        if (auto set = reinterpret_cast<SetDefaultDllDirectoriesFn>(
                reinterpret_cast<void *>(GetProcAddress(kernel, "SetDefaultDllDirectories"))))
            set(0x00001000 /* LOAD_LIBRARY_SEARCH_DEFAULT_DIRS */);
    }
    SetDllDirectoryW(L"");
#endif
}

void CashBoxLibrary::bind()
{
    QStringList candidates;
    for (const QString &folder : std::as_const(m_folders)) {
        // A relative folder would depend on the working folder.
        if (QDir::isAbsolutePath(folder))
            candidates << QDir(folder).filePath(libraryName);
    }
    if (m_systemSearch)
        candidates << libraryName; // a bare name: the dynamic linker's own search

    QString errors;
    for (const QString &candidate : std::as_const(candidates)) {
        auto library = std::make_unique<QLibrary>(candidate);
        if (!library->load()) {
            errors += library->errorString() + QLatin1String("; ");
            continue;
        }
        for (const char *name : exportNames) {
            if (QFunctionPointer f = library->resolve(name)) {
                m_function = reinterpret_cast<NormalGpio>(f);
                m_library = std::move(library);
                return;
            }
        }
        errors += library->fileName() + QLatin1String(" has no CashBoxNormalGPIO; ");
        library->unload();
    }
    throw DrawerError("cannot bind the drawer library: " + errors.toStdString());
}

qint32 CashBoxLibrary::cashBoxNormalGpio(const GpioProfile &profile)
{
    if (!m_function)
        bind();
    // QByteArray keeps its data zero-terminated.
    return m_function(profile[0].constData(), profile[1].constData(), profile[2].constData(),
                      profile[3].constData());
}
