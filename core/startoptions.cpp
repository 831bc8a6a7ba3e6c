#include "startoptions.h"

#include <QStringList>

StartOptions StartOptions::fromArgumentText(const QString &argumentText)
{
    // An empty text has no fields at all, which is not two.
    const QStringList fields =
        argumentText.isEmpty() ? QStringList() : argumentText.split(QLatin1Char(','));
    StartOptions options;
    if (fields.size() == 2) {
        options.hideField = fields[0];
        options.profileField = fields[1];
    }
    return options;
}
