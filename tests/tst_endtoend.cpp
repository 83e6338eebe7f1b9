// The console as it ships, against the simulated board over a pty.

#include "gui/SerialPortHandler.h"
#include "boardsimulator.h"
#include "boardthread.h"
#include "core/portlisting.h"
#include "testsupport.h"

#include <QLineSeries>
#include <QValueAxis>
#include <QAbstractSlider>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <functional>
#include <memory>

using namespace TestSupport;

namespace {

// Telemetry at 50 frames a second and no text.
void telemetryAlone(BoardSimulator::Settings &settings)
{
    settings.textAnswers = false;
    settings.telemetryRate = 50;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void controlsReachTheBoard_data();
    void controlsReachTheBoard();
    void boardKeepsCommandedState();
    void resetShowsBootBannerInGreen();
    void flashWhileTelemetryStreams_data();
    void flashWhileTelemetryStreams();
    void plottingStartsTelemetryOnAllCurves();
    void everyFrameAndAnswerGetsThrough_data();
    void everyFrameAndAnswerGetsThrough();

private:
    struct Decoded
    {
        BoardSimulator::FrameKind kind;
        QByteArray frame;
        QString meaning;
    };

    QList<Decoded> waitForBoard();
    void setBoard(const std::function<void(BoardSimulator::Settings &)> &change);

    std::unique_ptr<BoardThread> m_board;
    std::unique_ptr<MainWindow> m_window;
    QList<Decoded> m_decoded;
    QByteArray m_skipped;
    qint64 m_writes = 0;
    qint64 m_telemetryFrames = 0;
    qint64 m_textAnswers = 0;
};

// One board and one console for the whole run, as at the bench: the curves and
// the frames carry on from test to test.
void TestEndToEnd::initTestCase()
{
    m_board = std::make_unique<BoardThread>();
    QString error;
    QVERIFY2(m_board->start(&error), qPrintable(error));
    connect(m_board->simulator(), &BoardSimulator::frameDecoded, this,
            [this](BoardSimulator::FrameKind kind, const QByteArray &frame, const QString &meaning) {
                m_decoded.append({ kind, frame, meaning });
            });
    connect(m_board->simulator(), &BoardSimulator::bytesSkipped, this,
            [this](const QByteArray &bytes) { m_skipped += bytes; });
    connect(m_board->simulator(), &BoardSimulator::writeRequested, this, [this] { ++m_writes; });
    connect(m_board->simulator(), &BoardSimulator::lineLogged, this,
            [this](const QString &, BoardSimulator::LineKind kind) {
                if (kind == BoardSimulator::LineKind::Telemetry)
                    ++m_telemetryFrames;
                else if (kind == BoardSimulator::LineKind::Text)
                    ++m_textAnswers;
            });

    testPorts().addExtraPort({ m_board->portName(), QStringLiteral("Simulated board"), std::nullopt, std::nullopt });
    m_window = std::make_unique<MainWindow>(&testPorts());
    QVERIFY(selectPort(*m_window, m_board->portName()));
    click(*m_window, "pushButton_portOpen");
    QVERIFY(serialPortInst->isOpen());
}

void TestEndToEnd::cleanupTestCase()
{
    m_window.reset();
    m_board.reset();
}

void TestEndToEnd::init()
{
    setBoard([](BoardSimulator::Settings &settings) {
        settings.textAnswers = true;
        settings.telemetryRate = 20;
        settings.writes.splitWrites = false;
        settings.writes.mergeCount = 1;
    });
    // run() returns once the board has done the call, so what it reported before
    // is queued here by then: counted now, it is not counted in the test to come.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_decoded.clear();
    m_skipped.clear();
    m_writes = 0;
    m_telemetryFrames = 0;
}

void TestEndToEnd::cleanup()
{
    if (widget<QCheckBox>(*m_window, "checkBox_GPU_power_draw")->isChecked()) {
        const qsizetype decodedBefore = m_decoded.size();
        click(*m_window, "checkBox_GPU_power_draw");
        // The next test starts counting frames afresh: this one must be in first.
        QVERIFY(processEventsUntil([&] { return m_decoded.size() > decodedBefore; }));
    }
}

// Changes the board's settings in its thread, where it runs.
void TestEndToEnd::setBoard(const std::function<void(BoardSimulator::Settings &)> &change)
{
    m_board->run([this, &change] {
        BoardSimulator::Settings settings = m_board->simulator()->settings();
        change(settings);
        m_board->simulator()->setSettings(settings);
    });
}

// Bytes the board cannot read, sent behind everything else, tell when it has
// decoded all that came before them; it acts on and answers every frame, so no
// frame can serve. Its answer to them is left out: it would continue a line of a
// later test.
QList<TestEndToEnd::Decoded> TestEndToEnd::waitForBoard()
{
    static const QByteArray marker(2, '\0');
    setBoard([](BoardSimulator::Settings &settings) { settings.textAnswers = false; });
    const qsizetype skippedBefore = m_skipped.size();
    m_window->SerialPortTransmitByteArray(marker);
    if (!processEventsUntil([&] { return m_skipped.size() >= skippedBefore + marker.size(); }, 3000))
        qWarning("the board did not report the marker");
    m_skipped.chop(marker.size());
    return m_decoded;
}

void TestEndToEnd::controlsReachTheBoard_data()
{
    QTest::addColumn<CommandSequence>("sequence");

    const auto opensOrCloses = [](const CommandStep &step) {
        return std::any_of(step.actions.cbegin(), step.actions.cend(), [](const UserAction &action) {
            return action.kind == UserAction::ClosePort || action.kind == UserAction::OpenPort;
        });
    };
    for (const CommandSequence &sequence : commandSequences()) {
        if (sequence.group == CommandSequence::BoardPanel
            && std::none_of(sequence.steps.cbegin(), sequence.steps.cend(), opensOrCloses))
            QTest::newRow(qPrintable(sequence.name)) << sequence;
    }
}

// Every frame the board panel sends is read by the board as the command it is.
void TestEndToEnd::controlsReachTheBoard()
{
    QFETCH(CommandSequence, sequence);

    QList<CommandStep> sending;
    for (const CommandStep &step : std::as_const(sequence.steps)) {
        for (const UserAction &action : step.actions)
            perform(*m_window, action);
        if (!step.bytes.isEmpty())
            sending.append(step);
    }
    const QList<Decoded> decoded = waitForBoard();
    QCOMPARE(decoded.size(), sending.size());
    for (qsizetype i = 0; i < sending.size(); ++i) {
        QCOMPARE(decoded.at(i).frame.toHex(' '), sending.at(i).bytes.toHex(' '));
        if (!sending.at(i).board.isEmpty())
            QCOMPARE(decoded.at(i).meaning, sending.at(i).board);
    }
    QCOMPARE(m_skipped, QByteArray());
}

void TestEndToEnd::boardKeepsCommandedState()
{
    for (const UserAction &action : writeRegister(true, "0x10", "BEEF"))
        perform(*m_window, action);
    click(*m_window, "pushButton_GPU_power_on");
    auto *const slider = widget<QAbstractSlider>(*m_window, "verticalSlider_GPU_FAN_speed");
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const int fanPosition = slider->sliderPosition();
    click(*m_window, "checkBox_GPU_power_draw");
    QCOMPARE(waitForBoard().size(), 4);

    // The rail, plotting, the fan speed and register 0x10 of the AD converter.
    QList<int> state;
    m_board->run([&] {
        const BoardSimulator &board = *m_board->simulator();
        state = { board.isRailOn(), board.isPlotting(), board.fanSpeed(), board.adRegisters().value(0x10) };
    });
    QCOMPARE(state, QList<int>({ true, true, fanPosition, 0xBEEF }));
}

void TestEndToEnd::resetShowsBootBannerInGreen()
{
    const qsizetype before = logParagraphs(*m_window).size();
    click(*m_window, "pushButton_ARM_reset");
    QTRY_VERIFY_WITH_TIMEOUT(logParagraphsFrom(*m_window, before).join('\n').contains("Board bootloader v1.0 ready"), 3000);

    const QStringList paragraphs = logParagraphs(*m_window);
    const qsizetype line = paragraphs.indexOf(QRegularExpression(".*Board bootloader v1.0 ready"), before);
    QVERIFY2(line >= 0, qPrintable(paragraphs.mid(before).join(u'|')));
    // The banner continues the line the reset logged, in green.
    QCOMPARE(paragraphs.at(line), QStringLiteral("ARM复位指令发送Board bootloader v1.0 ready"));
    const QTextBlock block = widget<QTextBrowser>(*m_window, "textBrowser_logout")->document()->findBlockByNumber(int(line));
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + QStringLiteral("ARM复位指令发送").size() + 1);
    QCOMPARE(cursor.charFormat().foreground().color(), QColor(Qt::green));
}

void TestEndToEnd::flashWhileTelemetryStreams_data()
{
    QTest::addColumn<int>("stopAtPercent");
    QTest::newRow("whole image") << 0;
    QTest::newRow("stopped by the close button") << 30;
}

// A 256 KiB image while the board streams telemetry: the window keeps plotting,
// and the board ends up with the file's bytes, or with part of them when the user
// closes the port.
void TestEndToEnd::flashWhileTelemetryStreams()
{
    QFETCH(int, stopAtPercent);

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    QByteArray image(256 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20261207);
    for (char &byte : image)
        byte = char(random.bounded(256));
    // The board cannot tell trailing FF bytes from the last packet's padding.
    image.back() = 0x5A;
    const QString path = directory.filePath("app.bin");
    QVERIFY(writeFile(path, image));

    setBoard(telemetryAlone);
    loadImage(*m_window, path);
    QCOMPARE(widget<QLineEdit>(*m_window, "lineEdit_file_path")->text(), path);
    click(*m_window, "checkBox_GPU_power_draw");
    QVERIFY(processEventsUntil([this] { return m_telemetryFrames > 0; }, 3000));

    auto *const progress = widget<QProgressBar>(*m_window, "progressBar_flash");
    const qsizetype paragraphsBefore = logParagraphs(*m_window).size();
    const qint64 plottedBefore = TestSupport::framesPlotted();
    click(*m_window, "pushButton_flash");
    QVERIFY(isFlashing(*m_window));
    if (stopAtPercent > 0) {
        QVERIFY(processEventsUntil([&] { return progress->value() >= stopAtPercent; }, 20000));
        QVERIFY(TestSupport::framesPlotted() > plottedBefore);
        click(*m_window, "pushButton_portClose");
    }
    QVERIFY(waitForFlashEnd(*m_window, 30000));
    const qint64 plottedDuring = TestSupport::framesPlotted() - plottedBefore;
    const QStringList lines = logParagraphsFrom(*m_window, paragraphsBefore);
    QVERIFY(widget<QAbstractButton>(*m_window, "checkBox_GPU_power_draw")->isEnabled());
    QVERIFY(widget<QAbstractButton>(*m_window, "pushButton_portOpen")->isEnabled());

    BoardSimulator::ImageReport report;
    QVERIFY(processEventsUntil(
        [&] {
            bool pending = true;
            m_board->run([&] {
                pending = m_board->simulator()->isImagePending();
                report = m_board->simulator()->imageReport();
            });
            return !pending && report.packets > 0;
        },
        5000));
    QCOMPARE(report.holes.size(), 0);
    QCOMPARE(report.outOfOrderPackets, 0);

    qsizetype sentBytes = image.size();
    if (stopAtPercent == 0) {
        // Frames that arrived while the packets went out were plotted then; until
        // every frame of an arrival is plotted, only the count is sure to grow.
        QVERIFY2(plottedDuring > 0, qPrintable(QString::number(plottedDuring)));
        QCOMPARE(lines, QStringList { QStringLiteral("烧录成功！") });
    } else {
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0), QStringLiteral("烧录失败！"));
        QCOMPARE(lines.at(2), QStringLiteral("关闭串口"));
        sentBytes = bytesReportedSent(lines.at(1), image.size());
        QVERIFY2(sentBytes >= 0, qPrintable(lines.at(1)));
    }
    QCOMPARE(progress->value(), int(sentBytes * 100 / image.size()));
    // The board holds the part reported as sent, and no more: 8192 packets for the whole image.
    QCOMPARE(report.packets, int(sentBytes / 32));
    QCOMPARE(report.size, sentBytes);
    QCOMPARE(report.crc32, BoardSimulator::crc32(image.left(sentBytes)));
    if (stopAtPercent > 0) {
        click(*m_window, "pushButton_portOpen");
        QVERIFY(serialPortInst->isOpen());
    }
}

void TestEndToEnd::plottingStartsTelemetryOnAllCurves()
{
    setBoard(telemetryAlone);
    const qint64 before = TestSupport::framesPlotted();
    click(*m_window, "checkBox_GPU_power_draw");
    QTRY_VERIFY_WITH_TIMEOUT(TestSupport::framesPlotted() >= before + 10, 5000);
    for (QLineSeries *series : chartLineSeries) {
        QVERIFY(series->count() >= 10);
        // One point per frame on every curve, at consecutive X.
        QCOMPARE(series->count(), chartLineSeries[0]->count());
        QCOMPARE(series->at(series->count() - 1).x() - series->at(0).x(), double(series->count() - 1));
    }
    // Rail off at start: the 12 V curve sits low, the total above it.
    const QLineSeries *total = chartLineSeries[4];
    QVERIFY(total->at(total->count() - 1).y() > 0);
}

void TestEndToEnd::everyFrameAndAnswerGetsThrough_data()
{
    QTest::addColumn<bool>("split");
    QTest::addColumn<int>("merge");
    QTest::newRow("every write cut in two") << true << 1;
    QTest::newRow("three messages in one write") << false << 3;
    QTest::newRow("three messages in one write, cut in two") << true << 3;
}

// Telemetry and the answers to register writes share the line, merged into one
// write and cut anywhere: every frame is plotted and every answer is shown whole.
void TestEndToEnd::everyFrameAndAnswerGetsThrough()
{
    QFETCH(bool, split);
    QFETCH(int, merge);

    setBoard([split, merge](BoardSimulator::Settings &settings) {
        settings.textAnswers = true;
        settings.telemetryRate = 100;
        settings.writes = { merge, 100, split, 0, 5 };
    });
    // What the board still holds from the row before (the second half of a cut
    // frame, merged messages) goes out now, and a line behind it tells when the
    // console has taken all of it in: frames counted from here are this row's.
    const QString marker = QStringLiteral("row %1 starts").arg(QLatin1String(QTest::currentDataTag()));
    m_board->run([this, marker] {
        m_board->simulator()->flush();
        emit m_board->simulator()->writeRequested(marker.toLatin1() + '\n');
    });
    QVERIFY(processEventsUntil([&] { return logParagraphs(*m_window).join(u'\n').contains(marker); }));
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    const qsizetype paragraphsBefore = logParagraphs(*m_window).size();
    // The console writes every frame it takes in to the debug output; the curves
    // are redrawn up to a display frame later, so they may still lag behind here.
    const TestSupport::DebugMessages debugMessages;
    const auto framesTakenIn = [] {
        const QStringList &lines = TestSupport::DebugMessages::messages();
        return std::count_if(lines.cbegin(), lines.cend(),
                             [](const QString &line) { return line.startsWith(QLatin1String("\"\\xFF\\xFF")); });
    };
    const qint64 plottedBefore = TestSupport::framesPlotted();
    m_telemetryFrames = 0;
    m_textAnswers = 0;

    click(*m_window, "checkBox_GPU_power_draw");
    constexpr int writes = 10;
    QStringList answers;
    for (int i = 0; i < writes; ++i) {
        const qint64 plotted = TestSupport::framesPlotted();
        QVERIFY(processEventsUntil([&] { return TestSupport::framesPlotted() >= plotted + 3; }));
        const QString data = QStringLiteral("%1").arg(0xA000 + i, 4, 16, QLatin1Char('0')).toUpper();
        for (const UserAction &action : writeRegister(true, QStringLiteral("0010"), data))
            perform(*m_window, action);
        answers.append(QStringLiteral("AD reg 0x0010 <= 0x") + data);
    }
    click(*m_window, "checkBox_GPU_power_draw");

    const auto shown = [&] { return logParagraphsFrom(*m_window, paragraphsBefore).join(u'\n'); };
    const auto everythingShown = [&] {
        const QString text = shown();
        return m_textAnswers == writes && framesTakenIn() == m_telemetryFrames
            && TestSupport::framesPlotted() - plottedBefore >= m_telemetryFrames
            && std::all_of(answers.cbegin(), answers.cend(), [&](const QString &answer) { return text.contains(answer); });
    };
    QVERIFY2(processEventsUntil(everythingShown, 5000),
             qPrintable(QStringLiteral("took in %1 of %2 frames, %3 answers sent; shown:\n%4")
                            .arg(framesTakenIn())
                            .arg(m_telemetryFrames)
                            .arg(m_textAnswers)
                            .arg(shown())));
    QVERIFY(m_telemetryFrames >= 3 * writes);
    // No frame byte shows as text.
    QVERIFY(!shown().contains(QChar::ReplacementCharacter));
    QVERIFY(!shown().contains(QChar::Null));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
