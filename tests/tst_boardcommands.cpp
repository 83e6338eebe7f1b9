#include "gui/SerialPortHandler.h"
#include "core/commandframes.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

using TestSupport::PtyConsole;

// The frames are process-wide and keep what the last handler left in them, also
// from one console window to the next; the start-up tests therefore come first.
class TestBoardCommands : public QObject
{
    Q_OBJECT

private slots:
    void plottingRightAfterStartUp();
    void registerInitRightAfterStartUp();

    void armReset();
    void eraseAndJump_data();
    void eraseAndJump();
    void gpuPowerAndPlotting();
    void fanAfterPowerOffThenPowerOn();
    void fanAction_data();
    void fanAction();
    void fanKeySteps();
    void fanDrag();
    void registerInitCarriesLastWrite();
    void registerWrite_data();
    void registerWrite();
    void controlsWithoutCommand_data();
    void controlsWithoutCommand();
    void portClosed_data();
    void portClosed();
    void commandWhilePortClosedStillSetsFrame();
};

namespace {

// What reached the board for a frame of `size` bytes, with anything that followed it.
QByteArray sent(PtyConsole &console, qsizetype size)
{
    QByteArray bytes = console.sentBytes(size);
    bytes += console.strayBytes();
    return bytes.toHex(' ');
}

QByteArray nothingSent(PtyConsole &console)
{
    return console.strayBytes().toHex(' ');
}

QColor orange()
{
    return QColor(QStringLiteral("orange"));
}

void setText(PtyConsole &console, const char *lineEditName, const QString &text)
{
    TestSupport::widget<QLineEdit>(console.window(), lineEditName)->setText(text);
}

QSlider *fanSlider(PtyConsole &console)
{
    return TestSupport::widget<QSlider>(console.window(), "verticalSlider_GPU_FAN_speed");
}

// A debug line that ends with the decimal fan value, whatever its prefix.
void expectFanDebugLine(int value)
{
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^\\D*%1$").arg(value)));
}

} // namespace

void TestBoardCommands::plottingRightAfterStartUp()
{
    PtyConsole console;
    QVERIFY(serialPortInst->isOpen());

    TestSupport::click(console.window(), "checkBox_GPU_power_draw");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 01 00 4E 80 AE AE"));
    QCOMPARE(console.newLogLines(), QStringList { QStringLiteral("曲线绘制") });
    QCOMPARE(console.colourFromEnd(1), orange());

    TestSupport::click(console.window(), "checkBox_GPU_power_draw");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 02 00 4E 80 AE AE"));
    QCOMPARE(console.newLogLines(), QStringList { QStringLiteral("关闭绘制") });
    QCOMPARE(console.colourFromEnd(1), orange());
}

void TestBoardCommands::registerInitRightAfterStartUp()
{
    PtyConsole console;

    TestSupport::click(console.window(), "pushButton_AD_init");
    QCOMPARE(sent(console, 8), TestSupport::wire("96 53 00 00 00 00 00 00"));
    TestSupport::click(console.window(), "pushButton_DA_init");
    QCOMPARE(sent(console, 8), TestSupport::wire("91 22 00 00 00 00 00 00"));
    QCOMPARE(console.newLogLines(), QStringList());
}

void TestBoardCommands::armReset()
{
    PtyConsole console;

    for (int time = 0; time < 3; ++time) {
        TestSupport::click(console.window(), "pushButton_ARM_reset");
        QCOMPARE(sent(console, 8), TestSupport::wire("A4 A4 72 65 73 65 74 00"));
        QCOMPARE(console.newLogLines(), QStringList { QStringLiteral("ARM复位指令发送") });
        QCOMPARE(console.colourFromEnd(1), orange());
    }
}

void TestBoardCommands::eraseAndJump_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("spinBox");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("erase at 5") << QByteArray("pushButton_erase_APP") << QByteArray("spinBox_erase_APP") << 5
                                << TestSupport::wire("A9 A9 9A 05");
    QTest::newRow("erase at 0") << QByteArray("pushButton_erase_APP") << QByteArray("spinBox_erase_APP") << 0
                                << TestSupport::wire("A9 A9 9A 00");
    QTest::newRow("erase at 99") << QByteArray("pushButton_erase_APP") << QByteArray("spinBox_erase_APP") << 99
                                 << TestSupport::wire("A9 A9 9A 63");
    QTest::newRow("jump at 99") << QByteArray("pushButton_jump_to_APP") << QByteArray("spinBox_jump_to_APP") << 99
                                << TestSupport::wire("A8 A8 9B 63");
    QTest::newRow("jump at 0") << QByteArray("pushButton_jump_to_APP") << QByteArray("spinBox_jump_to_APP") << 0
                               << TestSupport::wire("A8 A8 9B 00");
    QTest::newRow("jump at 5") << QByteArray("pushButton_jump_to_APP") << QByteArray("spinBox_jump_to_APP") << 5
                               << TestSupport::wire("A8 A8 9B 05");
}

void TestBoardCommands::eraseAndJump()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, spinBox);
    QFETCH(int, value);
    QFETCH(QByteArray, frame);

    PtyConsole console;
    // The other command first, so that every byte of the shared frame must change.
    const bool erase = button == "pushButton_erase_APP";
    TestSupport::widget<QSpinBox>(console.window(), erase ? "spinBox_jump_to_APP" : "spinBox_erase_APP")->setValue(42);
    TestSupport::click(console.window(), erase ? "pushButton_jump_to_APP" : "pushButton_erase_APP");
    QCOMPARE(sent(console, 4), erase ? TestSupport::wire("A8 A8 9B 2A") : TestSupport::wire("A9 A9 9A 2A"));

    TestSupport::widget<QSpinBox>(console.window(), spinBox.constData())->setValue(value);
    TestSupport::click(console.window(), button.constData());
    QCOMPARE(sent(console, 4), frame);
    QCOMPARE(console.newLogLines(), QStringList());
}

void TestBoardCommands::gpuPowerAndPlotting()
{
    PtyConsole console;

    TestSupport::click(console.window(), "pushButton_GPU_power_off");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 00 00 46 20 AE AE"));
    QCOMPARE(console.newLogLines(), QStringList { QStringLiteral("GPU断电") });
    QCOMPARE(console.colourFromEnd(1), orange());

    TestSupport::click(console.window(), "checkBox_GPU_power_draw");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 01 00 46 20 AE AE"));
    QCOMPARE(console.newLogLines(), QStringList { QStringLiteral("曲线绘制") });

    TestSupport::click(console.window(), "checkBox_GPU_power_draw");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 02 00 46 20 AE AE"));
    QCOMPARE(console.newLogLines(), QStringList { QStringLiteral("关闭绘制") });

    TestSupport::click(console.window(), "pushButton_GPU_power_on");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 00 00 4E 80 AE AE"));
    QCOMPARE(console.newLogLines(), QStringList { QStringLiteral("GPU上电") });
    QCOMPARE(console.colourFromEnd(1), orange());

    TestSupport::click(console.window(), "checkBox_GPU_power_draw");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 01 00 4E 80 AE AE"));
}

void TestBoardCommands::fanAfterPowerOffThenPowerOn()
{
    PtyConsole console;
    QSlider *slider = fanSlider(console);
    QCOMPARE(slider->value(), 0);

    TestSupport::click(console.window(), "pushButton_GPU_power_off");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 00 00 46 20 AE AE"));
    console.newLogLines();

    expectFanDebugLine(1);
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 03 00 46 01 AE AE"));
    expectFanDebugLine(2);
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 03 00 46 02 AE AE"));
    QCOMPARE(console.newLogLines(), QStringList());

    // The plotting frame repeats the rail state and the fan speed last set.
    TestSupport::click(console.window(), "checkBox_GPU_power_draw");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 01 00 46 02 AE AE"));

    TestSupport::click(console.window(), "pushButton_GPU_power_on");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 00 00 4E 80 AE AE"));
    QCOMPARE(slider->value(), 2);

    expectFanDebugLine(3);
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 03 00 4E 03 AE AE"));
}

void TestBoardCommands::fanAction_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("position");

    QTest::newRow("step up from 0") << 0 << int(QAbstractSlider::SliderSingleStepAdd) << 1;
    QTest::newRow("step up from 40") << 40 << int(QAbstractSlider::SliderSingleStepAdd) << 41;
    QTest::newRow("step down from 40") << 40 << int(QAbstractSlider::SliderSingleStepSub) << 39;
    QTest::newRow("step down at 0") << 0 << int(QAbstractSlider::SliderSingleStepSub) << 0;
    QTest::newRow("step up at 99") << 99 << int(QAbstractSlider::SliderSingleStepAdd) << 99;
    QTest::newRow("page up from 0") << 0 << int(QAbstractSlider::SliderPageStepAdd) << 10;
    QTest::newRow("page down from 5") << 5 << int(QAbstractSlider::SliderPageStepSub) << 0;
    QTest::newRow("to maximum") << 0 << int(QAbstractSlider::SliderToMaximum) << 99;
    QTest::newRow("to minimum") << 50 << int(QAbstractSlider::SliderToMinimum) << 0;
}

void TestBoardCommands::fanAction()
{
    QFETCH(int, start);
    QFETCH(int, action);
    QFETCH(int, position);

    PtyConsole console;
    TestSupport::click(console.window(), "pushButton_GPU_power_on");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 00 00 4E 80 AE AE"));
    QSlider *slider = fanSlider(console);
    slider->setValue(start);
    QCOMPARE(nothingSent(console), QByteArray());

    expectFanDebugLine(position);
    slider->triggerAction(QAbstractSlider::SliderAction(action));
    const QByteArray frame = QByteArray::fromHex("A5A503004E") + char(position) + QByteArray::fromHex("AEAE");
    QCOMPARE(sent(console, 8), frame.toHex(' '));
    QCOMPARE(slider->value(), position);
}

void TestBoardCommands::fanKeySteps()
{
    PtyConsole console;
    TestSupport::click(console.window(), "pushButton_GPU_power_on");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 00 00 4E 80 AE AE"));
    QSlider *slider = fanSlider(console);
    QCOMPARE(slider->orientation(), Qt::Vertical);
    QCOMPARE(slider->value(), 0);

    expectFanDebugLine(1);
    QTest::keyClick(slider, Qt::Key_Up);
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 03 00 4E 01 AE AE"));
    expectFanDebugLine(2);
    QTest::keyClick(slider, Qt::Key_Up);
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 03 00 4E 02 AE AE"));
    expectFanDebugLine(1);
    QTest::keyClick(slider, Qt::Key_Down);
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 03 00 4E 01 AE AE"));
}

void TestBoardCommands::fanDrag()
{
    PtyConsole console;
    TestSupport::click(console.window(), "pushButton_GPU_power_on");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 00 00 4E 80 AE AE"));
    QSlider *slider = fanSlider(console);
    slider->setValue(40);

    slider->setSliderDown(true);
    expectFanDebugLine(41);
    slider->setSliderPosition(41);
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 03 00 4E 29 AE AE"));
    expectFanDebugLine(42);
    slider->setSliderPosition(42);
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 03 00 4E 2A AE AE"));
    slider->setSliderDown(false);
    QCOMPARE(nothingSent(console), QByteArray());
}

void TestBoardCommands::registerInitCarriesLastWrite()
{
    PtyConsole console;

    setText(console, "lineEdit_DA_addr", QStringLiteral("0102"));
    setText(console, "lineEdit_DA_data", QStringLiteral("0304"));
    TestSupport::click(console.window(), "pushButton_DA_write_reg");
    QCOMPARE(sent(console, 8), TestSupport::wire("91 22 01 00 02 01 04 03"));

    setText(console, "lineEdit_AD_addr", QStringLiteral("12AB"));
    setText(console, "lineEdit_AD_data", QStringLiteral("CDEF"));
    TestSupport::click(console.window(), "pushButton_AD_write_reg");
    QCOMPARE(sent(console, 8), TestSupport::wire("96 53 01 00 AB 12 EF CD"));

    // The fields are read by the write only: the initialise sends what the write left.
    setText(console, "lineEdit_AD_addr", QStringLiteral("7777"));
    setText(console, "lineEdit_DA_addr", QStringLiteral("7777"));
    for (int time = 0; time < 2; ++time) {
        TestSupport::click(console.window(), "pushButton_AD_init");
        QCOMPARE(sent(console, 8), TestSupport::wire("96 53 00 00 AB 12 EF CD"));
        TestSupport::click(console.window(), "pushButton_DA_init");
        QCOMPARE(sent(console, 8), TestSupport::wire("91 22 00 00 02 01 04 03"));
    }
    QCOMPARE(console.newLogLines(), QStringList());
}

void TestBoardCommands::registerWrite_data()
{
    QTest::addColumn<bool>("ad");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("value");
    // Address and value bytes as sent, empty when the write must not go out.
    QTest::addColumn<QByteArray>("fields");
    QTest::addColumn<bool>("refused");

    const QByteArray none;
    for (const bool ad : { true, false }) {
        const char *const converter = ad ? "AD" : "DA";
        const auto row = [converter](const char *name) -> QTestData & {
            return QTest::addRow("%s: %s", converter, name);
        };
        row("12AB CDEF") << ad << "12AB" << "CDEF" << TestSupport::wire("AB 12 EF CD") << false;
        row("address with blanks around and between") << ad << " 12 AB " << "CDEF" << TestSupport::wire("AB 12 EF CD") << false;
        row("0x prefixes") << ad << "0x12ab" << "0XCDEF" << TestSupport::wire("AB 12 EF CD") << false;
        row("ffff and 0") << ad << "ffff" << "0" << TestSupport::wire("FF FF 00 00") << false;
        row("tab trimmed, blank inside") << ad << "\t1" << "1 2" << TestSupport::wire("01 00 12 00") << false;
        row("address 12ABC exceeds FFFF") << ad << "12ABC" << "CDEF" << none << true;
        row("address 10000 exceeds FFFF") << ad << "10000" << "1" << none << true;
        row("value 12ABC exceeds FFFF") << ad << "1" << "12ABC" << none << true;
        row("address g1 is not hexadecimal") << ad << "g1" << "1" << none << true;
        row("value 0x alone") << ad << "1" << "0x" << none << true;
        row("address of blanks only") << ad << "   " << "CDEF" << none << false;
        row("empty value") << ad << "12AB" << "" << none << false;
        row("empty address beside a bad value") << ad << "" << "g1" << none << false;
    }
}

void TestBoardCommands::registerWrite()
{
    QFETCH(bool, ad);
    QFETCH(QString, address);
    QFETCH(QString, value);
    QFETCH(QByteArray, fields);
    QFETCH(bool, refused);

    PtyConsole console;
    const char *const addressField = ad ? "lineEdit_AD_addr" : "lineEdit_DA_addr";
    const char *const valueField = ad ? "lineEdit_AD_data" : "lineEdit_DA_data";
    const char *const writeButton = ad ? "pushButton_AD_write_reg" : "pushButton_DA_write_reg";
    const char *const initButton = ad ? "pushButton_AD_init" : "pushButton_DA_init";
    const QByteArray header = ad ? TestSupport::wire("96 53") : TestSupport::wire("91 22");
    const AD_DA_order_struct &frame = ad ? AD_order : DA_order;

    setText(console, addressField, QStringLiteral("1111"));
    setText(console, valueField, QStringLiteral("2222"));
    TestSupport::click(console.window(), writeButton);
    QCOMPARE(sent(console, 8), header + ' ' + TestSupport::wire("01 00 11 11 22 22"));
    const QByteArray frameBefore = CommandFrames::frameBytes(frame);

    setText(console, addressField, address);
    setText(console, valueField, value);
    TestSupport::click(console.window(), writeButton);
    if (!fields.isEmpty()) {
        QCOMPARE(sent(console, 8), header + ' ' + TestSupport::wire("01 00") + ' ' + fields);
        QCOMPARE(console.newLogLines(), QStringList());
    } else {
        QCOMPARE(nothingSent(console), QByteArray());
        QCOMPARE(CommandFrames::frameBytes(frame).toHex(' '), frameBefore.toHex(' '));
        QCOMPARE(console.newLogLines(),
                 refused ? QStringList { QStringLiteral("错误: 寄存器地址和数据须为0-FFFF的16进制数") } : QStringList());
    }

    TestSupport::click(console.window(), initButton);
    QCOMPARE(sent(console, 8), header + ' ' + TestSupport::wire("00 00") + ' ' + (fields.isEmpty() ? TestSupport::wire("11 11 22 22") : fields));
}

void TestBoardCommands::controlsWithoutCommand_data()
{
    QTest::addColumn<QByteArray>("control");

    for (const char *name : { "pushButton_AD_read_reg", "pushButton_DA_read_reg", "pushButton_21", "pushButton_22",
                              "pushButton_23", "pushButton_24", "pushButton_25", "checkBox_2" })
        QTest::newRow(name) << QByteArray(name);
}

void TestBoardCommands::controlsWithoutCommand()
{
    QFETCH(QByteArray, control);

    PtyConsole console;
    const QStringList logBefore = TestSupport::logParagraphs(console.window());
    const QByteArray framesBefore = CommandFrames::frameBytes(ARM_Reset) + CommandFrames::frameBytes(app_order)
        + CommandFrames::frameBytes(GPU_POWER_order) + CommandFrames::frameBytes(AD_order)
        + CommandFrames::frameBytes(DA_order);

    TestSupport::click(console.window(), control.constData());
    TestSupport::click(console.window(), control.constData());
    QCOMPARE(nothingSent(console), QByteArray());
    QCOMPARE(TestSupport::logParagraphs(console.window()), logBefore);
    const QByteArray framesAfter = CommandFrames::frameBytes(ARM_Reset) + CommandFrames::frameBytes(app_order)
        + CommandFrames::frameBytes(GPU_POWER_order) + CommandFrames::frameBytes(AD_order)
        + CommandFrames::frameBytes(DA_order);
    QCOMPARE(framesAfter.toHex(' '), framesBefore.toHex(' '));
}

void TestBoardCommands::portClosed_data()
{
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<QStringList>("lines");
    // Which of the lines is the orange one, -1 for none.
    QTest::addColumn<int>("orangeLine");

    const QString notOpen = QStringLiteral("串口未打开");
    QTest::newRow("reset sends before its line") << QByteArray("pushButton_ARM_reset")
                                                 << QStringList { notOpen, QStringLiteral("ARM复位指令发送") } << 1;
    QTest::newRow("power on: line before the send") << QByteArray("pushButton_GPU_power_on")
                                                    << QStringList { QStringLiteral("GPU上电"), notOpen } << 0;
    QTest::newRow("power off: line before the send") << QByteArray("pushButton_GPU_power_off")
                                                     << QStringList { QStringLiteral("GPU断电"), notOpen } << 0;
    QTest::newRow("plotting: line before the send") << QByteArray("checkBox_GPU_power_draw")
                                                    << QStringList { QStringLiteral("曲线绘制"), notOpen } << 0;
    QTest::newRow("erase") << QByteArray("pushButton_erase_APP") << QStringList { notOpen } << -1;
    QTest::newRow("jump") << QByteArray("pushButton_jump_to_APP") << QStringList { notOpen } << -1;
    QTest::newRow("fan") << QByteArray("verticalSlider_GPU_FAN_speed") << QStringList { notOpen } << -1;
    QTest::newRow("AD write") << QByteArray("pushButton_AD_write_reg") << QStringList { notOpen } << -1;
    QTest::newRow("DA write") << QByteArray("pushButton_DA_write_reg") << QStringList { notOpen } << -1;
    QTest::newRow("AD initialise") << QByteArray("pushButton_AD_init") << QStringList { notOpen } << -1;
    QTest::newRow("DA initialise") << QByteArray("pushButton_DA_init") << QStringList { notOpen } << -1;
}

void TestBoardCommands::portClosed()
{
    QFETCH(QByteArray, control);
    QFETCH(QStringList, lines);
    QFETCH(int, orangeLine);

    PtyConsole console(false);
    QVERIFY(!serialPortInst->isOpen());
    for (const char *field : { "lineEdit_AD_addr", "lineEdit_AD_data", "lineEdit_DA_addr", "lineEdit_DA_data" })
        setText(console, field, QStringLiteral("1"));

    if (control == "verticalSlider_GPU_FAN_speed") {
        expectFanDebugLine(1);
        fanSlider(console)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    } else {
        TestSupport::click(console.window(), control.constData());
    }

    QCOMPARE(console.newLogLines(), lines);
    if (orangeLine >= 0)
        QCOMPARE(console.colourFromEnd(int(lines.size()) - orangeLine), orange());
    QCOMPARE(nothingSent(console), QByteArray());
}

void TestBoardCommands::commandWhilePortClosedStillSetsFrame()
{
    PtyConsole console(false);
    TestSupport::click(console.window(), "pushButton_GPU_power_off");
    setText(console, "lineEdit_AD_addr", QStringLiteral("0A0B"));
    setText(console, "lineEdit_AD_data", QStringLiteral("0C0D"));
    TestSupport::click(console.window(), "pushButton_AD_write_reg");
    QCOMPARE(nothingSent(console), QByteArray());

    QVERIFY(TestSupport::selectPort(console.window(), console.board().slavePath()));
    TestSupport::click(console.window(), "pushButton_portOpen");
    QVERIFY(serialPortInst->isOpen());

    TestSupport::click(console.window(), "checkBox_GPU_power_draw");
    QCOMPARE(sent(console, 8), TestSupport::wire("A5 A5 01 00 46 20 AE AE"));
    TestSupport::click(console.window(), "pushButton_AD_init");
    QCOMPARE(sent(console, 8), TestSupport::wire("96 53 00 00 0B 0A 0D 0C"));
}

QTEST_MAIN(TestBoardCommands)
#include "tst_boardcommands.moc"
