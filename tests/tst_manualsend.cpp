#include "testsupport.h"

#include "gui/SerialPortHandler.h"

#include <QCheckBox>
#include <QTest>
#include <QTextEdit>

#include <memory>

using TestSupport::CommandSequence;

// The manual console against a board on a pty: what the log pane says and which
// bytes reach the board for each text typed into the send editor. One console
// serves every test; the editor's text at start-up is sent first.
class TestManualSend : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void initialTextInTextMode();
    void initialTextRefusedInHexMode();
    void sequence_data();
    void sequence();

private:
    QString editorText() const;

    std::unique_ptr<TestSupport::DebugMessages> debugCapture;
    std::unique_ptr<TestSupport::PtyConsole> console;
};

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
    TestSupport::perform(console->window(), TestSupport::tick("checkBox_send_in_HEX", false));
    console->newLogLines();
    TestSupport::DebugMessages::messages().clear();
}

QString TestManualSend::editorText() const
{
    return TestSupport::widget<QTextEdit>(console->window(), "textEdit_uart_send")->toPlainText();
}

// The editor's text at start-up goes out as typed, in the local 8-bit encoding.
void TestManualSend::initialTextInTextMode()
{
    const QString text = editorText();
    QCOMPARE(text, QStringLiteral("命令发送"));
    const QByteArray local = text.toLocal8Bit();
    if (TestSupport::localEncodingIsUtf8())
        QCOMPARE(local.size(), qsizetype(12));

    TestSupport::click(console->window(), "pushButton_uart_send");
    QCOMPARE(console->everythingSent(local.size()), local);
    QCOMPARE(console->newLogLines(),
             QStringList({ QStringLiteral("输入字符: 4, 字节数: %1").arg(local.size()),
                           QStringLiteral("16进制: ") + QString::fromLatin1(local.toHex(' ').toUpper()) }));
    QCOMPARE(editorText(), text);
    QCOMPARE(TestSupport::DebugMessages::messages(), QStringList());
}

void TestManualSend::initialTextRefusedInHexMode()
{
    QCOMPARE(editorText(), QStringLiteral("命令发送"));
    TestSupport::perform(console->window(), TestSupport::tick("checkBox_send_in_HEX", true));
    console->newLogLines();

    TestSupport::click(console->window(), "pushButton_uart_send");
    QCOMPARE(console->newLogLines(), QStringList { QStringLiteral("错误: 只能输入16进制字符(0-9, A-F)和空格") });
    QCOMPARE(console->strayBytes(), QByteArray());
    QCOMPARE(editorText(), QStringLiteral("命令发送"));
}

void TestManualSend::sequence_data()
{
    QTest::addColumn<CommandSequence>("sequence");

    for (const CommandSequence &sequence : TestSupport::commandSequences()) {
        if (sequence.group == CommandSequence::ManualConsole)
            QTest::newRow(qPrintable(sequence.name)) << sequence;
    }
}

void TestManualSend::sequence()
{
    QFETCH(CommandSequence, sequence);
    if (sequence.needsUtf8 && !TestSupport::localEncodingIsUtf8())
        QSKIP("the local 8-bit encoding is not UTF-8 here");

    for (qsizetype i = 0; i < sequence.steps.size(); ++i) {
        console->takeStep(sequence.steps.at(i));
        if (QTest::currentTestFailed()) {
            qWarning("step %d", int(i + 1));
            return;
        }
    }
}

QTEST_MAIN(TestManualSend)

#include "tst_manualsend.moc"
