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
    void setInvisible() override { m_invisible = true; }

    bool invisible() const { return m_invisible; }
    QStringList writes() const { return m_writes; }

    static QString name(Field field)
    {
        switch (field) {
        case Field::Label6:
            return QStringLiteral("Label6");
        case Field::Label7:
            return QStringLiteral("Label7");
        case Field::Label8:
            return QStringLiteral("Label8");
        case Field::Label9:
            return QStringLiteral("Label9");
        case Field::Label4:
            return QStringLiteral("Label4");
        case Field::Label3:
            return QStringLiteral("Label3");
        }
        return {};
    }

private:
    std::map<Field, QString> m_fields{
        {Field::Label6, QStringLiteral("9")},       {Field::Label7, QStringLiteral("9600")},
        {Field::Label8, QStringLiteral("Success")}, {Field::Label9, QStringLiteral("8")},
        {Field::Label4, QStringLiteral("9600")},    {Field::Label3, QStringLiteral("Success")},
    };
    QStringList m_writes;
    bool m_invisible = false;
};
