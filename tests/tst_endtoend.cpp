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

using Action = std::function<void(MainWindow &)>;
Q_DECLARE_METATYPE(Action)

namespace {

Action clickOn(const char *button)
{
    return [button](MainWindow &window) { click(window, button); };
}

Action setSpin(const char *spinBox, int value)
{
    return [spinBox, value](MainWindow &window) { widget<QSpinBox>(window, spinBox)->setValue(value); };
}

Action typeInto(const char *lineEdit, const QString &text)
{
    return [lineEdit, text](MainWindow &window) { widget<QLineEdit>(window, lineEdit)->setText(text); };
}

Action fanStepUp()
{
    return [](MainWindow &window) {
        widget<QAbstractSlider>(window, "verticalSlider_GPU_FAN_speed")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    };
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

    QList<Decoded> waitForFrames(qsizetype count, int timeoutMs = 3000);

    std::unique_ptr<BoardThread> m_board;
    std::unique_ptr<MainWindow> m_window;
    QList<Decoded> m_decoded;
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
    m_board->run([this] {
        BoardSimulator::Settings settings = m_board->simulator()->settings();
        settings.textAnswers = true;
        settings.telemetryRate = 20;
        settings.writes.splitWrites = false;
        settings.writes.mergeCount = 1;
        m_board->simulator()->setSettings(settings);
    });
    // run() returns once the board has done the call, so what it reported before
    // is queued here by then: counted now, it is not counted in the test to come.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_decoded.clear();
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

QList<TestEndToEnd::Decoded> TestEndToEnd::waitForFrames(qsizetype count, int timeoutMs)
{
    processEventsUntil([&] { return m_decoded.size() >= count; }, timeoutMs);
    // A frame that should not be there left the console with the others, but no
    // marker can show that the board has read it: the board acts on and answers
    // every frame it decodes, so a marker would change what the tests check. The
    // board gets the time it needs to decode bytes already on the line.
    constexpr int extraFrameQuietMs = 100;
    QTest::qWait(extraFrameQuietMs);
    return m_decoded;
}

void TestEndToEnd::controlsReachTheBoard_data()
{
    QTest::addColumn<QList<Action>>("actions");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QStringList>("meanings");

    using K = QList<QByteArray>;
    QTest::newRow("reset") << QList<Action> { clickOn("pushButton_ARM_reset") }
                           << K { "a4a4726573657400" } << QStringList { "ARM reset" };
    QTest::newRow("erase at 5") << QList<Action> { setSpin("spinBox_erase_APP", 5), clickOn("pushButton_erase_APP") }
                                << K { "a9a99a05" } << QStringList { "erase app, parameter 5" };
    QTest::newRow("jump at 99") << QList<Action> { setSpin("spinBox_jump_to_APP", 99), clickOn("pushButton_jump_to_APP") }
                                << K { "a8a89b63" } << QStringList { "jump to app, parameter 99" };
    QTest::newRow("power on") << QList<Action> { clickOn("pushButton_GPU_power_on") }
                              << K { "a5a500004e80aeae" } << QStringList { "GPU rail on, fan 0x80" };
    QTest::newRow("power off, then plotting carries the rail state")
        << QList<Action> { clickOn("pushButton_GPU_power_off"), clickOn("checkBox_GPU_power_draw"),
                           clickOn("checkBox_GPU_power_draw") }
        << K { "a5a5000046 20aeae", "a5a5010046 20aeae", "a5a5020046 20aeae" }
        << QStringList { "GPU rail off, fan 0x20", "GPU plotting on", "GPU plotting off" };
    // The slider starts at 0: this is the first row that moves it.
    QTest::newRow("fan steps after power off, then power on")
        << QList<Action> { clickOn("pushButton_GPU_power_off"), fanStepUp(), fanStepUp(), clickOn("pushButton_GPU_power_on") }
        << K { "a5a500004620aeae", "a5a503004601aeae", "a5a503004602aeae", "a5a500004e80aeae" }
        << QStringList { "GPU rail off", "GPU fan speed 0x01", "GPU fan speed 0x02", "GPU rail on, fan 0x80" };
    QTest::newRow("AD write, then AD initialise carries its fields")
        << QList<Action> { typeInto("lineEdit_AD_addr", "12AB"), typeInto("lineEdit_AD_data", "CDEF"),
                           clickOn("pushButton_AD_write_reg"), clickOn("pushButton_AD_init") }
        << K { "96530100ab12efcd", "96530000ab12efcd" }
        << QStringList { "AD write reg 0x12AB = 0xCDEF", "AD initialise" };
    QTest::newRow("DA write with blanks, then DA initialise")
        << QList<Action> { typeInto("lineEdit_DA_addr", " 00 01 "), typeInto("lineEdit_DA_data", "2"),
                           clickOn("pushButton_DA_write_reg"), clickOn("pushButton_DA_init") }
        << K { "9122010001000200", "9122000001000200" }
        << QStringList { "DA write reg 0x0001 = 0x0002", "DA initialise" };
}

void TestEndToEnd::controlsReachTheBoard()
{
    QFETCH(QList<Action>, actions);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QStringList, meanings);

    for (const Action &action : std::as_const(actions))
        action(*m_window);
    const QList<Decoded> decoded = waitForFrames(frames.size());
    QCOMPARE(decoded.size(), frames.size());
    for (qsizetype i = 0; i < frames.size(); ++i) {
        QCOMPARE(decoded.at(i).frame.toHex(), QByteArray(frames.at(i)).replace(' ', ""));
        QVERIFY2(decoded.at(i).meaning.contains(meanings.at(i)), qPrintable(decoded.at(i).meaning));
    }
    QCOMPARE(m_board->simulator()->skippedByteCount(), 0);
}

void TestEndToEnd::boardKeepsCommandedState()
{
    typeInto("lineEdit_AD_addr", "0x10")(*m_window);
    typeInto("lineEdit_AD_data", "BEEF")(*m_window);
    click(*m_window, "pushButton_AD_write_reg");
    click(*m_window, "pushButton_GPU_power_on");
    fanStepUp()(*m_window);
    const int fanPosition = widget<QAbstractSlider>(*m_window, "verticalSlider_GPU_FAN_speed")->sliderPosition();
    click(*m_window, "checkBox_GPU_power_draw");
    waitForFrames(4);

    bool railOn = false;
    bool plotting = false;
    quint8 fan = 0;
    QMap<quint16, quint16> adRegisters;
    m_board->run([&] {
        railOn = m_board->simulator()->isRailOn();
        plotting = m_board->simulator()->isPlotting();
        fan = m_board->simulator()->fanSpeed();
        adRegisters = m_board->simulator()->adRegisters();
    });
    QVERIFY(railOn);
    QVERIFY(plotting);
    QCOMPARE(fan, quint8(fanPosition));
    QCOMPARE(adRegisters.value(0x10), quint16(0xBEEF));
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
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(image), image.size());
    file.close();

    m_board->run([this] {
        BoardSimulator::Settings settings = m_board->simulator()->settings();
        settings.textAnswers = false;
        settings.telemetryRate = 50;
        m_board->simulator()->setSettings(settings);
    });
    m_window->setImageFileChooser([path](QWidget *) { return path; });
    click(*m_window, "pushButton_open_File");
    QCOMPARE(widget<QLineEdit>(*m_window, "lineEdit_file_path")->text(), path);
    click(*m_window, "checkBox_GPU_power_draw");
    QVERIFY(processEventsUntil([this] { return m_telemetryFrames > 0; }, 3000));

    auto *const flashButton = widget<QAbstractButton>(*m_window, "pushButton_flash");
    auto *const progress = widget<QProgressBar>(*m_window, "progressBar_flash");
    const qsizetype paragraphsBefore = logParagraphs(*m_window).size();
    const qint64 plottedBefore = TestSupport::framesPlotted();
    click(*m_window, "pushButton_flash");
    QVERIFY(!flashButton->isEnabled());
    if (stopAtPercent > 0) {
        QVERIFY(processEventsUntil([&] { return progress->value() >= stopAtPercent; }, 20000));
        QVERIFY(TestSupport::framesPlotted() > plottedBefore);
        click(*m_window, "pushButton_portClose");
    }
    QVERIFY(processEventsUntil([&] { return flashButton->isEnabled(); }, 30000));
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

    if (stopAtPercent == 0) {
        // Frames that arrived while the packets went out were plotted then; until
        // every frame of an arrival is plotted, only the count is sure to grow.
        QVERIFY2(plottedDuring > 0, qPrintable(QString::number(plottedDuring)));
        QCOMPARE(lines, QStringList { QStringLiteral("烧录成功！") });
        QCOMPARE(progress->value(), 100);
        QCOMPARE(report.packets, 8192);
        QCOMPARE(report.size, image.size());
        QCOMPARE(report.crc32, BoardSimulator::crc32(image));
        return;
    }

    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QStringLiteral("烧录失败！"));
    QCOMPARE(lines.at(2), QStringLiteral("关闭串口"));
    const QRegularExpressionMatch sent =
        QRegularExpression(QStringLiteral("^已发送 (\\d+)/262144 字节$")).match(lines.at(1));
    QVERIFY2(sent.hasMatch(), qPrintable(lines.at(1)));
    const qsizetype sentBytes = sent.captured(1).toLongLong();
    QCOMPARE(progress->value(), int(sentBytes * 100 / image.size()));
    // The board holds the part reported as sent, and no more.
    QCOMPARE(report.packets, int(sentBytes / 32));
    QCOMPARE(report.size, sentBytes);
    QCOMPARE(report.crc32, BoardSimulator::crc32(image.left(sentBytes)));

    click(*m_window, "pushButton_portOpen");
    QVERIFY(serialPortInst->isOpen());
}

void TestEndToEnd::plottingStartsTelemetryOnAllCurves()
{
    m_board->run([this] {
        BoardSimulator::Settings settings = m_board->simulator()->settings();
        settings.textAnswers = false;
        settings.telemetryRate = 50;
        m_board->simulator()->setSettings(settings);
    });
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

    m_board->run([this, split, merge] {
        BoardSimulator::Settings settings = m_board->simulator()->settings();
        settings.textAnswers = true;
        settings.telemetryRate = 100;
        settings.writes = { merge, 100, split, 0, 5 };
        m_board->simulator()->setSettings(settings);
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
        typeInto("lineEdit_AD_addr", QStringLiteral("0010"))(*m_window);
        typeInto("lineEdit_AD_data", data)(*m_window);
        click(*m_window, "pushButton_AD_write_reg");
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
