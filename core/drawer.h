#pragma once

enum class Field;

// The cash drawer as the receiver sees it: a pulse for a source that asked, its outcome shown in
// that source's state field.
class Drawer
{
public:
    virtual ~Drawer() = default;
    // Pulses the drawer once and shows the outcome in stateField; true when the library reported
    // success. Throws with the reason when it cannot pulse at all.
    virtual bool kickAndShow(Field stateField) = 0;

protected:
    Drawer() = default;
    Drawer(const Drawer &) = default;
    Drawer &operator=(const Drawer &) = default;
};
