#include "gui/SerialPortHandler.h"
#include "testsupport.h"

#include <QSlider>
#include <QTest>

using TestSupport::CommandSequence;

// Every command sequence of the board panel, each in a window of its own: the
// frames are process-wide and keep what the last handler left in them, also from
// one console window to the next, so the sequences that need the frames as they
// are at start-up come first.
class TestBoardCommands : public QObject
{
    Q_OBJECT

private slots:
    void fanSliderAtStartUp();
    void sequence_data();
    void sequence();
};

// The sequences set the fan slider where they need it; a window starts it here.
void TestBoardCommands::fanSliderAtStartUp()
{
    TestSupport::PtyConsole console;
    const auto *slider = TestSupport::widget<QSlider>(console.window(), "verticalSlider_GPU_FAN_speed");
    QCOMPARE(slider->orientation(), Qt::Vertical);
    QCOMPARE(slider->value(), 0);
}

void TestBoardCommands::sequence_data()
{
    QTest::addColumn<CommandSequence>("sequence");

    for (const CommandSequence &sequence : TestSupport::commandSequences()) {
        if (sequence.group == CommandSequence::BoardPanel)
            QTest::newRow(qPrintable(sequence.name)) << sequence;
    }
}

void TestBoardCommands::sequence()
{
    QFETCH(CommandSequence, sequence);

    TestSupport::PtyConsole console;
    QVERIFY(serialPortInst->isOpen());
    for (qsizetype i = 0; i < sequence.steps.size(); ++i) {
        console.takeStep(sequence.steps.at(i));
        if (QTest::currentTestFailed()) {
            qWarning("step %d", int(i + 1));
            return;
        }
    }
}

QTEST_MAIN(TestBoardCommands)
#include "tst_boardcommands.moc"
