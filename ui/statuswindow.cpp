#include "start.h"

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

struct GroupNames
{
    const char *frame;
    const char *title;
    const char *portCaption;
    const char *baudCaption;
    const char *stateCaption;
    const char *port;
    const char *baud;
    const char *state;
    QString portText;
};

} // namespace

Start::Start(QWidget *parent) : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("Start"));
    setWindowTitle(QStringLiteral("TRALVO is Not COM"));
    setFixedSize(px(3225), px(3270));

    const GroupNames groups[] = {
        {"Frame1", "Device", "Label1", "Label2", "Label5", "Label6", "Label7", "Label8",
         QStringLiteral("9")},
        {"Frame2", "Test", "Label11", "Label12", "Label10", "Label9", "Label4", "Label3",
         QStringLiteral("8")},
    };
    const int frameTops[] = {90, 1395};
    QLabel *fields[2][3] = {};
    for (int g = 0; g < 2; ++g) {
        const GroupNames &n = groups[g];
        auto *frame = new Frame(QLatin1String(n.title), this);
        frame->setObjectName(QLatin1String(n.frame));
        frame->setGeometry(twipRect(90, frameTops[g], 3045, 1185));
        frame->addRow(n.portCaption, QStringLiteral("Serial Port"), twipRect(45, 270, 1215, 180));
        frame->addRow(n.baudCaption, QStringLiteral("Serial Baud "), twipRect(45, 570, 1215, 180));
        frame->addRow(n.stateCaption, QStringLiteral("State"), twipRect(45, 870, 1215, 180));
        fields[g][0] = frame->addRow(n.port, n.portText, twipRect(1380, 270, 1620, 180));
        fields[g][1] =
            frame->addRow(n.baud, QStringLiteral("9600"), twipRect(1380, 570, 1620, 180));
        fields[g][2] =
            frame->addRow(n.state, QStringLiteral("Success"), twipRect(1380, 870, 1620, 180));
    }
    m_fields = {
        {Field::Label6, fields[0][0]}, {Field::Label7, fields[0][1]}, {Field::Label8, fields[0][2]},
        {Field::Label9, fields[1][0]}, {Field::Label4, fields[1][1]}, {Field::Label3, fields[1][2]},
    };

    // Request is made first so that it comes first in the tab order on every Qt version.
    auto *request = new QPushButton(QStringLiteral("Request"), this);
    request->setObjectName(QStringLiteral("Command1"));
    request->setGeometry(twipRect(1665, 2700, 1395, 495));
    auto *clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName(QStringLiteral("Command2"));
    clear->setGeometry(twipRect(150, 2700, 1395, 495));

    connect(clear, &QPushButton::clicked, this, &Start::clearStatus);
    connect(request, &QPushButton::clicked, this, &Start::requestClicked);
}

QString Start::caption(Field field) const
{
    return m_fields.at(field)->text();
}

void Start::setCaption(Field field, const QString &text)
{
    m_fields.at(field)->setText(text);
    if (field == Field::Label8 || field == Field::Label3)
        Q_EMIT stateWritten(field, text);
}

void Start::setInvisible()
{
    m_invisible = true;
    QWidget::setVisible(false);
}

void Start::setVisible(bool visible)
{
    if (visible && m_invisible)
        return;
    QWidget::setVisible(visible);
}

void Start::clearStatus()
{
    setCaption(Field::Label8, QString());
    setCaption(Field::Label3, QString());
}

void Start::closeEvent(QCloseEvent *event)
{
    Q_EMIT unloading();
    event->accept();
}
