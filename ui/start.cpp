#include "start.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

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

QLabel *addLabel(QWidget *parent, const char *name, const QString &text, const QRect &rect)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setGeometry(rect);
    return label;
}

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
        auto *frame = new QGroupBox(QLatin1String(n.title), this);
        frame->setObjectName(QLatin1String(n.frame));
        frame->setGeometry(twipRect(90, frameTops[g], 3045, 1185));
        addLabel(frame, n.portCaption, QStringLiteral("Serial Port"), twipRect(45, 270, 1215, 180));
        addLabel(frame, n.baudCaption, QStringLiteral("Serial Baud "),
                 twipRect(45, 570, 1215, 180));
        addLabel(frame, n.stateCaption, QStringLiteral("State"), twipRect(45, 870, 1215, 180));
        fields[g][0] = addLabel(frame, n.port, n.portText, twipRect(1380, 270, 1620, 180));
        fields[g][1] =
            addLabel(frame, n.baud, QStringLiteral("9600"), twipRect(1380, 570, 1620, 180));
        fields[g][2] =
            addLabel(frame, n.state, QStringLiteral("Success"), twipRect(1380, 870, 1620, 180));
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
