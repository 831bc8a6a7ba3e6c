#pragma once

#include "statusview.h"

#include <QWidget>

#include <map>

class QLabel;
class QPushButton;

// The status window: a Device and a Test group, each with its port, baud and state fields, and
// the Clear and Request buttons.
class StatusWindow : public QWidget, public StatusView
{
    Q_OBJECT
public:
    explicit StatusWindow(QWidget *parent = nullptr);

    QString caption(Field field) const override;
    void setCaption(Field field, const QString &text) override;
    void keepHidden() override;
    bool isKeptHidden() const { return m_keptHidden; }

    void setVisible(bool visible) override;

    // Adds the Printer group, with its port and state, below the Test group; once.
    void addPrinterGroup(const QString &port);

    // Empties both state fields; nothing else.
    void clearStatus();

Q_SIGNALS:
    void requestClicked();
    // A state field (the Device, Test or Printer state) was written.
    void stateWritten(Field field, const QString &text);
    // The window is closing; the program ends with it.
    void unloading();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::map<Field, QLabel *> m_fields;
    QPushButton *m_request = nullptr;
    QPushButton *m_clear = nullptr;
    bool m_keptHidden = false;
};
