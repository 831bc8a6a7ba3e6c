#pragma once

#include "statusview.h"

#include <QStringList>

#include <map>

// The window's fields in memory, with the initial texts the window starts with, and a record
// of every write.
class RecordingView : public StatusView
{
public:
    QString caption(Field field) const override { return m_fields.at(field); }
    void setCaption(Field field, const QString &text) override
    {
        m_fields[field] = text;
        m_writes << name(field) + QLatin1Char('=') + text;
    }
    void keepHidden() override { m_invisible = true; }

    bool invisible() const { return m_invisible; }
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
        }
        return {};
    }

private:
    std::map<Field, QString> m_fields{
        {Field::DevicePort, QStringLiteral("9")},
        {Field::DeviceBaud, QStringLiteral("9600")},
        {Field::DeviceState, QStringLiteral("Success")},
        {Field::TestPort, QStringLiteral("8")},
        {Field::TestBaud, QStringLiteral("9600")},
        {Field::TestState, QStringLiteral("Success")},
    };
    QStringList m_writes;
    bool m_invisible = false;
};
