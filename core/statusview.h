#pragma once

#include <QString>

// The window's display fields, by the names of their labels.
enum class Field {
    Label6, // Device port
    Label7, // Device baud
    Label8, // Device state
    Label9, // Test port
    Label4, // Test baud
    Label3, // Test state
};

// What the handlers need of the status window. The port and baud fields double as the store
// that the port set-up reads back.
class StatusView
{
public:
    virtual ~StatusView() = default;
    virtual QString caption(Field field) const = 0;
    virtual void setCaption(Field field, const QString &text) = 0;
    // Visible := false; the window is never shown again.
    virtual void setInvisible() = 0;

protected:
    StatusView() = default;
    StatusView(const StatusView &) = default;
    StatusView &operator=(const StatusView &) = default;
};
