#pragma once

#include <QString>

// The status window's fields, by role. The window maps each to its label (see statuswindow.cpp).
enum class Field {
    DevicePort,
    DeviceBaud,
    DeviceState,
    TestPort,
    TestBaud,
    TestState,
    PrinterPort, // shown only when the bytes pass through to a printer
    PrinterState,
};

// The role a field belongs to, as the log names it: "Device", "Test" or "Printer".
const char *roleName(Field field);

// What the handlers need of the status window. The port and baud fields double as the store
// that the port set-up reads back.
class StatusView
{
public:
    virtual ~StatusView() = default;
    virtual QString caption(Field field) const = 0;
    virtual void setCaption(Field field, const QString &text) = 0;
    // Hides the window for the rest of the run: later requests to show it are ignored.
    virtual void keepHidden() = 0;

protected:
    StatusView() = default;
    StatusView(const StatusView &) = default;
    StatusView &operator=(const StatusView &) = default;
};

// The one failure action of a handler's trap: logs the reason of the failure being handled under
// the field's role, then writes the failure text into the state field. Call it only inside a
// catch block.
void reportCurrentFailure(StatusView &view, Field stateField, const QString &failureText);
