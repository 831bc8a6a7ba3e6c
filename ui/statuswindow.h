#pragma once

#include "statusboard.h"

#include <QWidget>

#include <map>

class QLabel;
class QPushButton;
struct StatusGroup;

// The status window: a Device and a Test group, each with its port, baud and state fields, and
// the Clear and Request buttons. It shows the board's texts as they are written, and holds none
// of its own.
class StatusWindow : public QWidget
{
    Q_OBJECT
public:
    explicit StatusWindow(StatusBoard &board, QWidget *parent = nullptr);

    // Once the board says so, the window is never shown again.
    void setVisible(bool visible) override;

    // Adds the Printer group, with its port and state, below the Test group; once.
    void addPrinterGroup();
    // Adds the Network group, with the print port's address and state, below the others; once.
    void addNetworkGroup();
    // Adds the Web group, with the web door's addresses (plain: HTTP, secure: HTTPS) and state,
    // below the others; once.
    void addWebGroup(bool plain = true, bool secure = false);

    // Clear: empties the Device and Test state fields; nothing else.
    void clearStatus();

Q_SIGNALS:
    void requestClicked();
    // The window is closing; the program ends with it.
    void unloading();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showText(Field field, const QString &text);
    void addLowerGroup(const StatusGroup &group, Field firstField);

    StatusBoard &m_board;
    std::map<Field, QLabel *> m_fields;
    QPushButton *m_request = nullptr;
    QPushButton *m_clear = nullptr;
    int m_lowerGroupsHeight = 0; // twips taken by the groups added below the Test group
};
