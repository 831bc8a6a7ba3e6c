#include "statuswindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionGroupBox>
#include <QtTest>

class TestStatusWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void window();
    void controls_data();
    void controls();
    void tabOrder();
    void titlesClearOfRows_data();
    void titlesClearOfRows();
    void clearEmptiesOnlyStateFields();
    void fieldsByName();
    void hiddenIsNeverShown();
    void requestAndClose();
    void lowerGroupsStack();
    void webGroupRows_data();
    void webGroupRows();
};

void TestStatusWindow::initTestCase()
{
    // A desktop's usual 9-point font (12 pixels): its title fits above the first row, so the
    // rows stand where the layout puts them. Platforms differ in their default (Qt 5's offscreen
    // one is much larger), and titlesClearOfRows covers larger fonts.
    QFont font = QApplication::font();
    font.setPixelSize(12);
    QApplication::setFont(font);
}

void TestStatusWindow::window()
{
    StatusBoard board;
    StatusWindow start(board);
    QCOMPARE(start.objectName(), QStringLiteral("Start"));
    QCOMPARE(start.windowTitle(), QStringLiteral("TRALVO is Not COM"));
    // 3225 x 3270 twips at 15 twips a pixel, and not resizable.
    QCOMPARE(start.minimumSize(), QSize(215, 218));
    QCOMPARE(start.maximumSize(), QSize(215, 218));
}

void TestStatusWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("twips");

    QTest::newRow("Frame1") << "Frame1"
                            << "Start"
                            << "Device" << QRect(90, 90, 3045, 1185);
    QTest::newRow("Label1") << "Label1"
                            << "Frame1"
                            << "Serial Port" << QRect(45, 270, 1215, 180);
    QTest::newRow("Label2") << "Label2"
                            << "Frame1"
                            << "Serial Baud " << QRect(45, 570, 1215, 180);
    QTest::newRow("Label5") << "Label5"
                            << "Frame1"
                            << "State" << QRect(45, 870, 1215, 180);
    QTest::newRow("Label6") << "Label6"
                            << "Frame1"
                            << "9" << QRect(1380, 270, 1620, 180);
    QTest::newRow("Label7") << "Label7"
                            << "Frame1"
                            << "9600" << QRect(1380, 570, 1620, 180);
    QTest::newRow("Label8") << "Label8"
                            << "Frame1"
                            << "Success" << QRect(1380, 870, 1620, 180);
    QTest::newRow("Frame2") << "Frame2"
                            << "Start"
                            << "Test" << QRect(90, 1395, 3045, 1185);
    QTest::newRow("Label11") << "Label11"
                             << "Frame2"
                             << "Serial Port" << QRect(45, 270, 1215, 180);
    QTest::newRow("Label12") << "Label12"
                             << "Frame2"
                             << "Serial Baud " << QRect(45, 570, 1215, 180);
    QTest::newRow("Label10") << "Label10"
                             << "Frame2"
                             << "State" << QRect(45, 870, 1215, 180);
    QTest::newRow("Label9") << "Label9"
                            << "Frame2"
                            << "8" << QRect(1380, 270, 1620, 180);
    QTest::newRow("Label4") << "Label4"
                            << "Frame2"
                            << "9600" << QRect(1380, 570, 1620, 180);
    QTest::newRow("Label3") << "Label3"
                            << "Frame2"
                            << "Success" << QRect(1380, 870, 1620, 180);
    QTest::newRow("Command2") << "Command2"
                              << "Start"
                              << "Clear" << QRect(150, 2700, 1395, 495);
    QTest::newRow("Command1") << "Command1"
                              << "Start"
                              << "Request" << QRect(1665, 2700, 1395, 495);
}

void TestStatusWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, text);
    QFETCH(QRect, twips);

    StatusBoard board;
    StatusWindow start(board);
    auto *widget = start.findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(widget->geometry(), pixels);

    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    } else if (auto *box = qobject_cast<QGroupBox *>(widget)) {
        QCOMPARE(box->title(), text);
    } else if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), text);
    } else {
        QFAIL("unexpected kind of control");
    }
}

void TestStatusWindow::tabOrder()
{
    StatusBoard board;
    StatusWindow start(board);
    auto *request = start.findChild<QPushButton *>(QStringLiteral("Command1"));
    auto *clear = start.findChild<QPushButton *>(QStringLiteral("Command2"));
    QVERIFY(request && clear);
    QCOMPARE(request->nextInFocusChain(), clear);
}

void TestStatusWindow::titlesClearOfRows_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("fontPixels");
    QTest::newRow("Fusion") << "Fusion" << 0;
    QTest::newRow("Windows") << "Windows" << 0;
    QTest::newRow("Fusion, large font") << "Fusion" << 24;
    QTest::newRow("Windows, large font") << "Windows" << 24;
}

void TestStatusWindow::titlesClearOfRows()
{
    QFETCH(QString, style);
    QFETCH(int, fontPixels);
    const QFont font = QApplication::font();
    QApplication::setStyle(QStyleFactory::create(style));
    if (fontPixels > 0) {
        QFont large = font;
        large.setPixelSize(fontPixels);
        QApplication::setFont(large);
    }
    StatusBoard board;
    StatusWindow start(board);
    for (const char *name : {"Frame1", "Frame2"}) {
        auto *frame = start.findChild<QGroupBox *>(QLatin1String(name));
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.textAlignment = frame->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        option.lineWidth = 1;
        const QRect title = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, frame);
        for (const QLabel *row : frame->findChildren<QLabel *>())
            QVERIFY2(row->geometry().top() > title.bottom(),
                     qPrintable(QStringLiteral("%1 in %2: title ends at %3, row starts at %4")
                                    .arg(row->objectName(), QLatin1String(name))
                                    .arg(title.bottom())
                                    .arg(row->geometry().top())));
    }
    QApplication::setFont(font);
}

void TestStatusWindow::clearEmptiesOnlyStateFields()
{
    StatusBoard board;
    StatusWindow start(board);
    board.setText(Field::DeviceState, QStringLiteral("Receive Success"));
    board.setText(Field::TestState, QStringLiteral("Open Failed"));
    QTest::mouseClick(start.findChild<QPushButton *>(QStringLiteral("Command2")), Qt::LeftButton);

    QCOMPARE(board.text(Field::DeviceState), QString());
    QCOMPARE(board.text(Field::TestState), QString());
    QCOMPARE(board.text(Field::DevicePort), QStringLiteral("9"));
    QCOMPARE(board.text(Field::DeviceBaud), QStringLiteral("9600"));
    QCOMPARE(board.text(Field::TestPort), QStringLiteral("8"));
    QCOMPARE(board.text(Field::TestBaud), QStringLiteral("9600"));
}

void TestStatusWindow::fieldsByName()
{
    StatusBoard board;
    StatusWindow start(board);
    const std::pair<Field, const char *> fields[] = {
        {Field::DevicePort, "Label6"},  {Field::DeviceBaud, "Label7"},
        {Field::DeviceState, "Label8"}, {Field::TestPort, "Label9"},
        {Field::TestBaud, "Label4"},    {Field::TestState, "Label3"},
    };
    for (const auto &[field, name] : fields) {
        board.setText(field, QLatin1String(name) + QLatin1String(" text"));
        QCOMPARE(start.findChild<QLabel *>(QLatin1String(name))->text(),
                 QLatin1String(name) + QLatin1String(" text"));
        QCOMPARE(board.text(field), QLatin1String(name) + QLatin1String(" text"));
    }
}

void TestStatusWindow::hiddenIsNeverShown()
{
    StatusBoard board;
    StatusWindow start(board);
    board.keepHidden();
    board.setText(Field::DeviceState, QStringLiteral("Open Success"));
    start.show();
    start.setVisible(true);
    QVERIFY(!start.isVisible());
    QVERIFY(board.isKeptHidden());
    QCOMPARE(board.text(Field::DeviceState), QStringLiteral("Open Success"));
}

void TestStatusWindow::requestAndClose()
{
    StatusBoard board;
    StatusWindow start(board);
    QSignalSpy requests(&start, &StatusWindow::requestClicked);
    QSignalSpy unloads(&start, &StatusWindow::unloading);
    start.show();
    QTest::mouseClick(start.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
    QCOMPARE(requests.count(), 1);
    QVERIFY(start.close());
    QCOMPARE(unloads.count(), 1);
}

// The Printer, Network and Web groups go below the Test group in the order they are added, the
// buttons below them, and their fields show the board's texts.
void TestStatusWindow::lowerGroupsStack()
{
    StatusBoard board;
    board.setText(Field::NetworkAddress, QStringLiteral("127.0.0.1:9100"));
    StatusWindow start(board);
    start.addPrinterGroup();
    start.addNetworkGroup();
    start.addNetworkGroup(); // once only
    start.addWebGroup();
    board.setText(Field::NetworkState, QStringLiteral("Open Success"));
    QCOMPARE(start.findChildren<QGroupBox *>(QStringLiteral("Frame4")).size(), 1);
    const auto top = [&start](const char *name) {
        return start.findChild<QWidget *>(QLatin1String(name))->y();
    };
    QCOMPARE(top("Frame3"), 2700 / 15);
    QCOMPARE(top("Frame4"), (2700 + 975) / 15);
    QCOMPARE(top("Frame5"), (2700 + 2 * 975) / 15);
    QCOMPARE(top("Command1"), (2700 + 3 * 975) / 15);
    QCOMPARE(start.height(), (3270 + 3 * 975) / 15);
    QCOMPARE(start.findChild<QLabel *>(QStringLiteral("Label19"))->text(),
             QStringLiteral("127.0.0.1:9100"));
    QCOMPARE(start.findChild<QLabel *>(QStringLiteral("Label20"))->text(),
             QStringLiteral("Open Success"));
}

void TestStatusWindow::webGroupRows_data()
{
    QTest::addColumn<bool>("plain");
    QTest::addColumn<bool>("secure");
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("http") << true << false << QStringList{"Address", "State"};
    QTest::newRow("https") << false << true << QStringList{"HTTPS", "State"};
    QTest::newRow("both") << true << true << QStringList{"Address", "HTTPS", "State"};
}

// The Web group has a row for each address the door listens on, and the window grows by it.
void TestStatusWindow::webGroupRows()
{
    QFETCH(bool, plain);
    QFETCH(bool, secure);
    QFETCH(QStringList, captions);
    StatusBoard board;
    board.setText(Field::WebSecureAddress, QStringLiteral("127.0.0.1:443"));
    StatusWindow start(board);
    start.addWebGroup(plain, secure);
    const auto *group = start.findChild<QGroupBox *>(QStringLiteral("Frame5"));
    QVERIFY(group);
    QStringList shown;
    for (const char *name : {"Label21", "Label25", "Label22"}) {
        if (const auto *caption = group->findChild<QLabel *>(QLatin1String(name)))
            shown << caption->text();
    }
    QCOMPARE(shown, captions);
    const int added = 375 + 300 * static_cast<int>(captions.size());
    QCOMPARE(start.height(), (3270 + added) / 15);
    QCOMPARE(start.findChild<QWidget *>(QStringLiteral("Command1"))->y(), (2700 + added) / 15);
    const auto *secureAddress = group->findChild<QLabel *>(QStringLiteral("Label26"));
    QCOMPARE(secureAddress ? secureAddress->text() : QString(),
             secure ? QStringLiteral("127.0.0.1:443") : QString());
}

QTEST_MAIN(TestStatusWindow)
#include "tst_statuswindow.moc"
