#pragma once

#include "drawerlibrary.h"

#include <QLibrary>
#include <QStringList>

#include <memory>

// The vendor's CashBox library, bound at the first pulse and kept for the life of the process.
// A failed load or lookup keeps nothing, so the next pulse tries again.
class CashBoxLibrary : public DrawerLibrary
{
public:
    // Each folder is tried in order, then (when systemSearch is set) the platform's own library
    // search. The current working folder is never tried.
    explicit CashBoxLibrary(QStringList folders, bool systemSearch = true);

    // The program's own library folder: next to the executable on Windows, the private
    // library folder of an installation elsewhere.
    static QStringList defaultFolders();

    // Keeps the current folder and PATH out of the platform's library search for the whole
    // process (Windows; elsewhere neither is searched anyway). The program runs elevated, and a
    // CashBox.dll planted there must never be loaded.
    static void restrictSystemSearch();

    qint32 cashBoxNormalGpio(const GpioProfile &profile) override;

    bool isBound() const { return m_function != nullptr; }

#if defined(_WIN32) && !defined(_WIN64)
    using NormalGpio = qint32(__stdcall *)(const char *, const char *, const char *, const char *);
#else
    using NormalGpio = qint32 (*)(const char *, const char *, const char *, const char *);
#endif

private:
    void bind();

    QStringList m_folders;
    bool m_systemSearch;
    std::unique_ptr<QLibrary> m_library;
    NormalGpio m_function = nullptr;
};
