#include "statusboard.h"

#include "logging.h"

const char *roleName(Field field)
{
    switch (field) {
    case Field::DevicePort:
    case Field::DeviceBaud:
    case Field::DeviceState:
        break;
    case Field::TestPort:
    case Field::TestBaud:
    case Field::TestState:
        return "Test";
    case Field::PrinterPort:
    case Field::PrinterState:
        return "Printer";
    case Field::NetworkAddress:
    case Field::NetworkState:
        return "Network";
    case Field::WebAddress:
    case Field::WebSecureAddress:
    case Field::WebState:
        return "Web";
    }
    return "Device";
}

bool isStateField(Field field)
{
    return field == Field::DeviceState || field == Field::TestState ||
           field == Field::PrinterState || field == Field::NetworkState || field == Field::WebState;
}

StatusBoard::StatusBoard(QObject *parent)
    : QObject(parent), m_texts{
                           {Field::DevicePort, QStringLiteral("9")},
                           {Field::DeviceBaud, QStringLiteral("9600")},
                           {Field::DeviceState, QStringLiteral("Success")},
                           {Field::TestPort, QStringLiteral("8")},
                           {Field::TestBaud, QStringLiteral("9600")},
                           {Field::TestState, QStringLiteral("Success")},
                           {Field::PrinterPort, QString()},
                           {Field::PrinterState, QString()},
                           {Field::NetworkAddress, QString()},
                           {Field::NetworkState, QString()},
                           {Field::WebAddress, QString()},
                           {Field::WebSecureAddress, QString()},
                           {Field::WebState, QString()},
                       }
{
}

QString StatusBoard::text(Field field) const
{
    return m_texts.at(field);
}

void StatusBoard::setText(Field field, const QString &text)
{
    m_texts[field] = text;
    Q_EMIT textChanged(field, text);
}

void StatusBoard::keepHidden()
{
    m_keptHidden = true;
    Q_EMIT keptHidden();
}

void reportCurrentFailure(StatusBoard &board, Field stateField, const QString &failureText)
{
    qCWarning(lcTralvo, "%s: %s", roleName(stateField), currentFailure().c_str());
    board.setText(stateField, failureText);
}
