#include "testsupport.h"

#include "gui/SerialPortHandler.h"

#include <QCheckBox>
#include <QSerialPort>
#include <QTest>
#include <QTextEdit>

#include <memory>

// The manual console against a board on a pty: what the log pane says and which
// bytes reach the board for each text typed into the send editor.
class TestManualSend : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void initialTextInTextMode();
    void initialTextRefusedInHexMode();
    void textMode_data();
    void textMode();
    void hexMode_data();
    void hexMode();
    void emptyEditor_data();
    void emptyEditor();
    void modeLines();
    void portClosed_data();
    void portClosed();

private:
    QTextEdit *editor() const;
    QCheckBox *hexBox() const;
    void setHexMode(bool hex);
    void send();

    std::unique_ptr<TestSupport::DebugMessages> debugCapture;
    std::unique_ptr<TestSupport::PtyConsole> console;
};

namespace {

const QString hexError = QStringLiteral("错误: 只能输入16进制字符(0-9, A-F)和空格");
const QColor orange(QStringLiteral("orange"));

bool localEncodingIsUtf8()
{
    return QStringLiteral("\u00e9").toLocal8Bit() == QByteArray("\xC3\xA9");
}

} // namespace

void TestManualSend::initTestCase()
{
    debugCapture = std::make_unique<TestSupport::DebugMessages>();
    console = std::make_unique<TestSupport::PtyConsole>();
    QVERIFY(console->board().isValid());
    QVERIFY(serialPortInst->isOpen());
}

void TestManualSend::cleanupTestCase()
{
    console.reset();
    debugCapture.reset();
}

void TestManualSend::init()
{
    if (!serialPortInst->isOpen())
        TestSupport::click(console->window(), "pushButton_portOpen");
    QVERIFY(serialPortInst->isOpen());
    setHexMode(false);
    console->newLogLines();
    TestSupport::DebugMessages::messages().clear();
}

QTextEdit *TestManualSend::editor() const
{
    return TestSupport::widget<QTextEdit>(console->window(), "textEdit_uart_send");
}

QCheckBox *TestManualSend::hexBox() const
{
    return TestSupport::widget<QCheckBox>(console->window(), "checkBox_send_in_HEX");
}

void TestManualSend::setHexMode(bool hex)
{
    if (hexBox()->isChecked() != hex)
        hexBox()->click();
    console->newLogLines();
}

void TestManualSend::send()
{
    TestSupport::click(console->window(), "pushButton_uart_send");
}

// The editor's text at start-up goes out as typed, in the local 8-bit encoding.
void TestManualSend::initialTextInTextMode()
{
    const QString text = editor()->toPlainText();
    QCOMPARE(text, QStringLiteral("命令发送"));
    const QByteArray local = text.toLocal8Bit();
    if (localEncodingIsUtf8())
        QCOMPARE(local.size(), qsizetype(12));

    send();
    QCOMPARE(console->sentBytes(local.size()), local);
    QCOMPARE(console->strayBytes(), QByteArray());
    QCOMPARE(console->newLogLines(),
             QStringList({ QStringLiteral("输入字符: 4, 字节数: %1").arg(local.size()),
                           QStringLiteral("16进制: ") + QString::fromLatin1(local.toHex(' ').toUpper()) }));
    QCOMPARE(editor()->toPlainText(), text);
    QCOMPARE(TestSupport::DebugMessages::messages(), QStringList());
}

void TestManualSend::initialTextRefusedInHexMode()
{
    QCOMPARE(editor()->toPlainText(), QStringLiteral("命令发送"));
    setHexMode(true);

    send();
    QCOMPARE(console->newLogLines(), QStringList { hexError });
    QCOMPARE(console->strayBytes(), QByteArray());
    QCOMPARE(editor()->toPlainText(), QStringLiteral("命令发送"));
}

void TestManualSend::textMode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("lineEndBox");
    QTest::addColumn<bool>("utf8Only");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("AB") << "AB" << false << false << QByteArray("AB")
                        << QStringList({ "输入字符: 2, 字节数: 2", "16进制: 41 42" });
    QTest::newRow("AB and a line feed") << "AB\n" << false << false << QByteArray("AB\n")
                                        << QStringList({ "输入字符: 3, 字节数: 3", "16进制: 41 42 0A" });
    QTest::newRow("line end box ticked adds nothing") << "AB\n" << true << false << QByteArray("AB\n")
                                                      << QStringList({ "输入字符: 3, 字节数: 3", "16进制: 41 42 0A" });
    QTest::newRow("one blank") << " " << false << false << QByteArray(" ")
                               << QStringList({ "输入字符: 1, 字节数: 1", "16进制: 20" });
    QTest::newRow("hex digits go as characters") << "0A" << false << false << QByteArray("0A")
                                                 << QStringList({ "输入字符: 2, 字节数: 2", "16进制: 30 41" });
    QTest::newRow("two-byte character") << QStringLiteral("\u00e9") << false << true << QByteArray("\xC3\xA9")
                                        << QStringList({ "输入字符: 1, 字节数: 2", "16进制: C3 A9" });
}

void TestManualSend::textMode()
{
    QFETCH(QString, text);
    QFETCH(bool, lineEndBox);
    QFETCH(bool, utf8Only);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    if (utf8Only && !localEncodingIsUtf8())
        QSKIP("the local 8-bit encoding is not UTF-8 here");

    auto *lineEnd = TestSupport::widget<QCheckBox>(console->window(), "checkBox_2");
    lineEnd->setChecked(lineEndBox);
    editor()->setPlainText(text);
    QCOMPARE(editor()->toPlainText(), text);
    send();
    lineEnd->setChecked(false);

    QCOMPARE(console->sentBytes(bytes.size()), bytes);
    QCOMPARE(console->strayBytes(), QByteArray());
    QCOMPARE(console->newLogLines(), lines);
    QCOMPARE(editor()->toPlainText(), text);
    QCOMPARE(TestSupport::DebugMessages::messages(), QStringList());
}

void TestManualSend::hexMode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("single digit") << "A" << QByteArray::fromHex("0A") << QStringList { "16进制: 0A" };
    QTest::newRow("1 2 3") << "1 2 3" << QByteArray::fromHex("0123") << QStringList { "16进制: 0123" };
    QTest::newRow("F 1") << "F 1" << QByteArray::fromHex("F1") << QStringList { "16进制: F1" };
    QTest::newRow("ab cd") << "ab cd" << QByteArray::fromHex("ABCD") << QStringList { "16进制: abcd" };
    QTest::newRow("white space around") << " 12 34\n" << QByteArray::fromHex("1234") << QStringList { "16进制: 1234" };
    QTest::newRow("line feed between bytes") << "12\n34" << QByteArray::fromHex("1234")
                                             << QStringList { "16进制: 1234" };
    QTest::newRow("tab between bytes") << "12\t34" << QByteArray::fromHex("1234") << QStringList { "16进制: 1234" };
    QTest::newRow("0x12 refused") << "0x12" << QByteArray() << QStringList { hexError };
    QTest::newRow("G1 refused") << "G1" << QByteArray() << QStringList { hexError };
    QTest::newRow("one blank") << " " << QByteArray() << QStringList();
    QTest::newRow("white space only") << " \n\t " << QByteArray() << QStringList();
}

void TestManualSend::hexMode()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);

    setHexMode(true);
    editor()->setPlainText(text);
    send();

    if (!bytes.isEmpty())
        QCOMPARE(console->sentBytes(bytes.size()), bytes);
    QCOMPARE(console->strayBytes(), QByteArray());
    QCOMPARE(console->newLogLines(), lines);
    QCOMPARE(editor()->toPlainText(), text);
    // The decoded bytes go to the debug output, once, and only when there are some.
    QStringList debugCopy;
    if (!bytes.isEmpty())
        QDebug(&debugCopy.emplaceBack()).nospace() << bytes;
    QTRY_COMPARE(TestSupport::DebugMessages::messages(), debugCopy);
}

void TestManualSend::emptyEditor_data()
{
    QTest::addColumn<bool>("hex");

    QTest::newRow("text mode") << false;
    QTest::newRow("hex mode") << true;
}

void TestManualSend::emptyEditor()
{
    QFETCH(bool, hex);

    setHexMode(hex);
    editor()->clear();
    send();

    QCOMPARE(console->newLogLines(), QStringList { QStringLiteral("错误: textEdit内容为空") });
    QCOMPARE(console->strayBytes(), QByteArray());
}

void TestManualSend::modeLines()
{
    editor()->setPlainText(QStringLiteral("G1"));
    const int before = int(TestSupport::logParagraphs(console->window()).size());

    hexBox()->click();
    QVERIFY(hexBox()->isChecked());
    hexBox()->click();
    QVERIFY(!hexBox()->isChecked());

    QCOMPARE(console->newLogLines(), QStringList({ "HEX模式", "文本模式" }));
    QCOMPARE(TestSupport::paragraphColour(console->window(), before), orange);
    QCOMPARE(TestSupport::paragraphColour(console->window(), before + 1), orange);
    // A change of mode neither checks nor converts the editor's text.
    QCOMPARE(editor()->toPlainText(), QStringLiteral("G1"));
    QCOMPARE(console->strayBytes(), QByteArray());
}

void TestManualSend::portClosed_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("text mode") << false << "AB"
                               << QStringList({ "输入字符: 2, 字节数: 2", "16进制: 41 42", "串口未打开" });
    QTest::newRow("hex mode") << true << "12" << QStringList({ "16进制: 12", "串口未打开" });
}

void TestManualSend::portClosed()
{
    QFETCH(bool, hex);
    QFETCH(QString, text);
    QFETCH(QStringList, lines);

    TestSupport::click(console->window(), "pushButton_portClose");
    QVERIFY(!serialPortInst->isOpen());
    setHexMode(hex);
    editor()->setPlainText(text);
    send();

    QCOMPARE(console->newLogLines(), lines);
    QCOMPARE(console->strayBytes(), QByteArray());
}

QTEST_MAIN(TestManualSend)

#include "tst_manualsend.moc"
