#pragma once

#include <QObject>
#include <QString>

#include <map>

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
    NetworkAddress, // shown only with the network print port
    NetworkState,
    WebAddress,       // shown only with the web door
    WebSecureAddress, // its HTTPS address, shown only with HTTPS
    WebState,
};

// The role a field belongs to, as the log names it: "Device", "Test", "Printer", "Network" or
// "Web".
const char *roleName(Field field);
bool isStateField(Field field);

// The texts of every field: the ports' numbers and speeds, which the port set-up reads back, and
// the state texts the handlers write. The window shows exactly these; the log of a hidden
// instance and the service manager follow them too.
class StatusBoard : public QObject
{
    Q_OBJECT
public:
    // Every field starts with the text the window first shows.
    explicit StatusBoard(QObject *parent = nullptr);

    QString text(Field field) const;
    void setText(Field field, const QString &text);

    // No window is shown for the rest of the run.
    void keepHidden();
    bool isKeptHidden() const { return m_keptHidden; }

Q_SIGNALS:
    // A field was written (even with the text it had).
    void textChanged(Field field, const QString &text);
    void keptHidden();

private:
    std::map<Field, QString> m_texts;
    bool m_keptHidden = false;
};

// The one failure action of a handler's trap: logs the reason of the failure being handled under
// the field's role, then writes the failure text into the state field. Call it only inside a
// catch block.
void reportCurrentFailure(StatusBoard &board, Field stateField, const QString &failureText);
