#pragma once

#include "statusboard.h"

#include <QStringList>

// The fields' texts with a record of every write, each named by the label that shows it.
class RecordingView : public StatusBoard
{
public:
    RecordingView()
    {
        QObject::connect(this, &StatusBoard::textChanged, [this](Field field, const QString &text) {
            m_writes << name(field) + QLatin1Char('=') + text;
        });
    }

    QStringList writes() const { return m_writes; }

    static QString name(Field field)
    {
        switch (field) {
        case Field::DevicePort:
            return QStringLiteral("Label6");
        case Field::DeviceBaud:
            return QStringLiteral("Label7");
        case Field::DeviceState:
            return QStringLiteral("Label8");
        case Field::TestPort:
            return QStringLiteral("Label9");
        case Field::TestBaud:
            return QStringLiteral("Label4");
        case Field::TestState:
            return QStringLiteral("Label3");
        case Field::PrinterPort:
            return QStringLiteral("Label15");
        case Field::PrinterState:
            return QStringLiteral("Label16");
        case Field::NetworkAddress:
            return QStringLiteral("Label19");
        case Field::NetworkState:
            return QStringLiteral("Label20");
        case Field::WebAddress:
            return QStringLiteral("Label23");
        case Field::WebSecureAddress:
            return QStringLiteral("Label26");
        case Field::WebState:
            return QStringLiteral("Label24");
        }
        return {};
    }

private:
    QStringList m_writes;
};
