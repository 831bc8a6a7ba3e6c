#pragma once

#include <QString>

// The two fields of the command line "hide,profile", kept as typed and converted where used.
struct StartOptions
{
    QString hideField = QStringLiteral("0");
    QString profileField = QStringLiteral("0");

    // Splits at every comma, untrimmed; anything but exactly two fields gives "0" and "0".
    static StartOptions fromArgumentText(const QString &argumentText);
};
