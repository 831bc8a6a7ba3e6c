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

// One group of the window. The object names are the controls' names of old, which UI tests and
// accessibility tools find them by; the roles say which field each value label is.
struct Group
{
    const char *frame;
    const char *title;
    int top; // in twips
    const char *captionNames[3];
    const char *valueNames[3];
    Field roles[3]; // port, baud, state
    const char *portText;
};

const Group groups[] = {
    {"Frame1",
     "Device",
     90,
     {"Label1", "Label2", "Label5"},
     {"Label6", "Label7", "Label8"},
     {Field::DevicePort, Field::DeviceBaud, Field::DeviceState},
     "9"},
    {"Frame2",
     "Test",
     1395,
     {"Label11", "Label12", "Label10"},
     {"Label9", "Label4", "Label3"},
     {Field::TestPort, Field::TestBaud, Field::TestState},
     "8"},
};

} // namespace

StatusWindow::StatusWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("Start"));
    setWindowTitle(QStringLiteral("TRALVO is Not COM"));
    setFixedSize(px(3225), px(3270));

    for (const Group &group : groups) {
        auto *frame = new Frame(QLatin1String(group.title), this);
        frame->setObjectName(QLatin1String(group.frame));
        frame->setGeometry(twipRect(90, group.top, 3045, 1185));
        const QString captions[] = {QStringLiteral("Serial Port"), QStringLiteral("Serial Baud "),
                                    QStringLiteral("State")};
        const QString values[] = {QLatin1String(group.portText), QStringLiteral("9600"),
                                  QStringLiteral("Success")};
        const int rowTops[] = {270, 570, 870};
        for (int row = 0; row < 3; ++row) {
            frame->addRow(group.captionNames[row], captions[row],
                          twipRect(45, rowTops[row], 1215, 180));
            m_fields[group.roles[row]] = frame->addRow(group.valueNames[row], values[row],
                                                       twipRect(1380, rowTops[row], 1620, 180));
        }
    }

    // Request is made first so that it comes first in the tab order on every Qt version.
    auto *request = new QPushButton(QStringLiteral("Request"), this);
    request->setObjectName(QStringLiteral("Command1"));
    request->setGeometry(twipRect(1665, 2700, 1395, 495));
    auto *clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName(QStringLiteral("Command2"));
    clear->setGeometry(twipRect(150, 2700, 1395, 495));

    connect(clear, &QPushButton::clicked, this, &StatusWindow::clearStatus);
    connect(request, &QPushButton::clicked, this, &StatusWindow::requestClicked);
}

QString StatusWindow::caption(Field field) const
{
    return m_fields.at(field)->text();
}

void StatusWindow::setCaption(Field field, const QString &text)
{
    m_fields.at(field)->setText(text);
    if (field == Field::DeviceState || field == Field::TestState)
        Q_EMIT stateWritten(field, text);
}

void StatusWindow::keepHidden()
{
    m_keptHidden = true;
    QWidget::setVisible(false);
}

void StatusWindow::setVisible(bool visible)
{
    if (visible && m_keptHidden)
        return;
    QWidget::setVisible(visible);
}

void StatusWindow::clearStatus()
{
    setCaption(Field::DeviceState, QString());
    setCaption(Field::TestState, QString());
}

void StatusWindow::closeEvent(QCloseEvent *event)
{
    Q_EMIT unloading();
    event->accept();
}
