#include "statuswindow.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <algorithm>
#include <utility>
#include <vector>

// One row of a group: a caption and the value field beside it, which shows the board's text.
struct StatusRow
{
    const char *captionName;
    const char *valueName;
    Field role;
    const char *caption;
};

// One group of the window. The object names are the controls' names of old, which UI tests and
// accessibility tools find them by; the roles say which field each value label is.
struct StatusGroup
{
    const char *frame;
    const char *title;
    int top; // in twips
    std::vector<StatusRow> rows;
};

namespace {

// The layout is drawn in twips; 15 twips are one pixel at 96 dots per inch, and Qt scales
// device-independent pixels for other densities.
constexpr int px(int twips)
{
    return twips / 15;
}

QRect twipRect(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

// A group box whose rows stay clear of its title. Styles draw the title differently (above the
// frame in Fusion, on its top edge in the Windows styles), and a large system font makes it
// taller: rows that would meet the title move down by what it needs, and stay where the layout
// puts them otherwise.
class Frame : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

    QLabel *addRow(const char *name, const QString &text, const QRect &rect)
    {
        auto *label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::NoTextInteraction);
        m_rows.emplace_back(label, rect);
        placeRows();
        return label;
    }

protected:
    void changeEvent(QEvent *event) override
    {
        QGroupBox::changeEvent(event);
        if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
            placeRows();
    }

private:
    void placeRows()
    {
        QStyleOptionGroupBox option;
        initStyleOption(&option);
        const int titleBottom =
            style()
                ->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this)
                .bottom();
        int firstTop = height();
        for (const auto &row : m_rows)
            firstTop = std::min(firstTop, row.second.top());
        const int shift = std::max(0, titleBottom + 1 - firstTop);
        for (const auto &[label, rect] : m_rows)
            label->setGeometry(rect.translated(0, shift));
    }

    std::vector<std::pair<QLabel *, QRect>> m_rows;
};

const StatusGroup deviceGroup{"Frame1",
                              "Device",
                              90,
                              {{"Label1", "Label6", Field::DevicePort, "Serial Port"},
                               {"Label2", "Label7", Field::DeviceBaud, "Serial Baud "},
                               {"Label5", "Label8", Field::DeviceState, "State"}}};
const StatusGroup testGroup{"Frame2",
                            "Test",
                            1395,
                            {{"Label11", "Label9", Field::TestPort, "Serial Port"},
                             {"Label12", "Label4", Field::TestBaud, "Serial Baud "},
                             {"Label10", "Label3", Field::TestState, "State"}}};
// Shown only when the bytes pass through to a printer; the buttons move below it.
const StatusGroup printerGroup{"Frame3",
                               "Printer",
                               2700,
                               {{"Label13", "Label15", Field::PrinterPort, "Serial Port"},
                                {"Label14", "Label16", Field::PrinterState, "State"}}};
// Shown only with the network print port, below the printer group if there is one.
const StatusGroup networkGroup{"Frame4",
                               "Network",
                               2700,
                               {{"Label17", "Label19", Field::NetworkAddress, "Address"},
                                {"Label18", "Label20", Field::NetworkState, "State"}}};
// Shown only with the web door, below the groups before it: its HTTP address, its HTTPS one, or
// both, then its state.
const StatusRow webAddressRow{"Label21", "Label23", Field::WebAddress, "Address"};
const StatusRow webSecureAddressRow{"Label25", "Label26", Field::WebSecureAddress, "HTTPS"};
const StatusRow webStateRow{"Label22", "Label24", Field::WebState, "State"};
constexpr int rowPitch = 300; // twips from one row to the next

// What a group adds to the window, in twips: 975 for two rows.
int groupHeight(const StatusGroup &group)
{
    return 375 + rowPitch * static_cast<int>(group.rows.size());
}

// Makes a group in the window and enters its value fields by role.
void addGroup(QWidget *window, const StatusBoard &board, std::map<Field, QLabel *> &fields,
              const StatusGroup &group, int shift = 0)
{
    const int height = 285 + rowPitch * static_cast<int>(group.rows.size());
    auto *frame = new Frame(QLatin1String(group.title), window);
    frame->setObjectName(QLatin1String(group.frame));
    frame->setGeometry(twipRect(90, group.top + shift, 3045, height));
    int top = 270;
    for (const StatusRow &row : group.rows) {
        frame->addRow(row.captionName, QLatin1String(row.caption), twipRect(45, top, 1215, 180));
        fields[row.role] =
            frame->addRow(row.valueName, board.text(row.role), twipRect(1380, top, 1620, 180));
        top += rowPitch;
    }
    frame->show();
}

} // namespace

StatusWindow::StatusWindow(StatusBoard &board, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint), m_board(board)
{
    setObjectName(QStringLiteral("Start"));
    setWindowTitle(QStringLiteral("TRALVO is Not COM"));
    setFixedSize(px(3225), px(3270));

    addGroup(this, m_board, m_fields, deviceGroup);
    addGroup(this, m_board, m_fields, testGroup);

    // Request is made first so that it comes first in the tab order on every Qt version.
    m_request = new QPushButton(QStringLiteral("Request"), this);
    m_request->setObjectName(QStringLiteral("Command1"));
    m_request->setGeometry(twipRect(1665, 2700, 1395, 495));
    m_clear = new QPushButton(QStringLiteral("Clear"), this);
    m_clear->setObjectName(QStringLiteral("Command2"));
    m_clear->setGeometry(twipRect(150, 2700, 1395, 495));

    connect(m_clear, &QPushButton::clicked, this, &StatusWindow::clearStatus);
    connect(m_request, &QPushButton::clicked, this, &StatusWindow::requestClicked);
    connect(&m_board, &StatusBoard::textChanged, this, &StatusWindow::showText);
    connect(&m_board, &StatusBoard::keptHidden, this, [this] { QWidget::setVisible(false); });
}

void StatusWindow::addPrinterGroup()
{
    addLowerGroup(printerGroup, Field::PrinterPort);
}

void StatusWindow::addNetworkGroup()
{
    addLowerGroup(networkGroup, Field::NetworkAddress);
}

void StatusWindow::addWebGroup(bool plain, bool secure)
{
    StatusGroup webGroup{"Frame5", "Web", 2700, {}};
    if (plain)
        webGroup.rows.push_back(webAddressRow);
    if (secure)
        webGroup.rows.push_back(webSecureAddressRow);
    webGroup.rows.push_back(webStateRow);
    addLowerGroup(webGroup, Field::WebState);
}

void StatusWindow::addLowerGroup(const StatusGroup &group, Field firstField)
{
    if (m_fields.count(firstField))
        return;
    addGroup(this, m_board, m_fields, group, m_lowerGroupsHeight);
    const int added = groupHeight(group);
    m_lowerGroupsHeight += added;
    for (QPushButton *button : {m_request, m_clear})
        button->move(button->x(), button->y() + px(added));
    setFixedSize(width(), height() + px(added));
}

void StatusWindow::showText(Field field, const QString &text)
{
    const auto label = m_fields.find(field);
    if (label != m_fields.end())
        label->second->setText(text);
}

void StatusWindow::setVisible(bool visible)
{
    if (visible && m_board.isKeptHidden())
        return;
    QWidget::setVisible(visible);
}

void StatusWindow::clearStatus()
{
    m_board.setText(Field::DeviceState, QString());
    m_board.setText(Field::TestState, QString());
}

void StatusWindow::closeEvent(QCloseEvent *event)
{
    Q_EMIT unloading();
    event->accept();
}
