#include "statusview.h"

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
    }
    return "Device";
}

void reportCurrentFailure(StatusView &view, Field stateField, const QString &failureText)
{
    qCWarning(lcTralvo, "%s: %s", roleName(stateField), currentFailure().c_str());
    view.setCaption(stateField, failureText);
}
