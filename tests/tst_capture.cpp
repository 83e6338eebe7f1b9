// Keeping what the board sends: telemetry recorded as CSV rows and the raw bytes
// captured, the log saved and cleared, and the status bar's counts, with the
// board played over a pty.

#include "core/curvelimits.h"
#include "core/portlisting.h"
#include "core/telemetry.h"
#include "core/telemetrycsv.h"
#include "gui/powerchart.h"
#include "gui/quitrequests.h"
#include "gui/statusline.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLineSeries>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

using namespace TestSupport;

namespace {

QList<Telemetry::Sample> historyOf(const MainWindow &window)
{
    const ChartHistory &history = window.powerChart()->history();
    QList<Telemetry::Sample> samples;
    for (qint64 n = history.firstSample(); n < history.endSample(); ++n)
        samples.append(*history.sample(n));
    return samples;
}

const char recordingConsoleMode[] = "--recording-console";

// The console as bench-console runs it, in a process of its own that a test ends
// from outside: settings kept (in the XDG_CONFIG_HOME it is given), the port
// opened, both recordings running, the chart live or paused, and the system's
// quit requests wired as main wires them. Arguments: port, CSV file, capture
// file, "live" or "paused". The test finds in the files what went wrong.
int runRecordingConsole(const QStringList &arguments)
{
    QCoreApplication::setOrganizationName(QStringLiteral("bench-console-test"));
    QCoreApplication::setApplicationName(QStringLiteral("console"));
    testPorts().addExtraPort({ arguments.value(2), QStringLiteral("Test pty"), std::nullopt, std::nullopt });
    MainWindow window(&testPorts());
    QuitRequests::closeWindowOnRequest(&window);
    window.setSaveFileChooser([&](QWidget *, const QString &, const QString &suggested) {
        return arguments.value(suggested.endsWith(QLatin1String(".csv")) ? 3 : 4);
    });
    selectPort(window, arguments.value(2));
    widget<QAbstractButton>(window, "pushButton_portOpen")->click();
    widget<QAction>(window, "action_pause_chart")->setChecked(arguments.value(5) == QLatin1String("paused"));
    widget<QAction>(window, "action_record_telemetry")->trigger();
    widget<QAction>(window, "action_capture_raw")->trigger();
    window.show();
    std::puts("ready");
    std::fflush(stdout);
    return QApplication::exec();
}

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void recordsEveryFrameInOrder_data();
    void recordsEveryFrameInOrder();
    void recordingFailuresStopOnlyTheRecording_data();
    void recordingFailuresStopOnlyTheRecording();
    void rawCaptureKeepsTheBytesAsReceived();
    void stopSaysWhenTheFileIsGone_data();
    void stopSaysWhenTheFileIsGone();
    void replayShowsTheSameInASecondConsole();
    void savesAndClearsTheLog();
    void saveDialogOffersADatedName();
    void statusBarCountsBothWays();
    void spaceOnTheChartAndCtrlPAnywherePause();

private:
    void recordsUntilASignal(bool paused, int signal);

    std::unique_ptr<DebugMessages> m_debug;
};

void TestCapture::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    // The frames' debug lines are kept, not printed.
    m_debug = std::make_unique<DebugMessages>();
}

void TestCapture::cleanupTestCase()
{
    m_debug.reset();
}

void TestCapture::recordsEveryFrameInOrder_data()
{
    QTest::addColumn<bool>("paused");
    QTest::addColumn<QString>("stop");

    QTest::newRow("live, unchecked") << false << "uncheck";
    QTest::newRow("paused, unchecked") << true << "uncheck";
    QTest::newRow("live, port closed") << false << "close port";
    QTest::newRow("paused, window closed") << true << "close window";
    QTest::newRow("live, SIGTERM") << false << "SIGTERM";
    QTest::newRow("paused, SIGINT") << true << "SIGINT";
}

void TestCapture::recordsEveryFrameInOrder()
{
    QFETCH(bool, paused);
    QFETCH(QString, stop);
    if (stop.startsWith(QLatin1String("SIG"))) {
        recordsUntilASignal(paused, stop == QLatin1String("SIGTERM") ? SIGTERM : SIGINT);
        return;
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    PtyConsole console;
    MainWindow &window = console.window();
    window.setSaveFileChooser([&](QWidget *, const QString &, const QString &) { return path; });
    widget<QAction>(window, "action_pause_chart")->setChecked(paused);
    QCOMPARE(window.powerChart()->isPaused(), paused);
    widget<QAction>(window, "action_record_telemetry")->trigger();
    QVERIFY(widget<QAction>(window, "action_record_telemetry")->isChecked());
    QCOMPARE(console.newLogLines(), QStringList { "开始记录遥测: " + path });
    QTRY_VERIFY(window.statusLine()->text().contains(QStringLiteral("记录中 00:00:")));

    constexpr qint64 frames = 2000;
    const qint64 firstSample = window.powerChart()->data().sampleCount();
    {
        StreamingBoard board(console.board(), 0, frames);
        QVERIFY(processEventsUntil(
            [&] { return window.powerChart()->data().sampleCount() == firstSample + frames; }, 10000));
    }
    const auto shownLast = [&window] {
        const QLineSeries *series = window.powerChart()->series(0);
        return series->count() > 0 ? series->at(series->count() - 1).x() : -1.0;
    };
    if (paused) {
        QTest::qWait(3 * PowerChart::refreshIntervalMs);
        QVERIFY(shownLast() < double(firstSample));
    } else {
        QTRY_COMPARE(shownLast(), double(firstSample + frames - 1));
    }

    const QString stopLine = QStringLiteral("停止记录遥测: %1, 共 %2 行").arg(path).arg(frames);
    if (stop == QLatin1String("uncheck")) {
        widget<QAction>(window, "action_record_telemetry")->trigger();
        QCOMPARE(console.newLogLines(), QStringList { stopLine });
    } else if (stop == QLatin1String("close port")) {
        click(window, "pushButton_portClose");
        QVERIFY(console.newLogLines().contains(stopLine));
    } else {
        console.destroyWindow();
    }
    if (stop != QLatin1String("close window"))
        QVERIFY(!widget<QAction>(window, "action_record_telemetry")->isChecked());

    QCOMPARE(recordedRows(path, firstSample, 0), frames);
}

// Ended by `kill` or Ctrl-C while a board streams at its full rate, the console
// leaves as the user's quit does: every frame sent before the signal is a row,
// the capture holds every byte, the window's choices are kept.
void TestCapture::recordsUntilASignal(bool paused, int signal)
{
    QTemporaryDir dir;
    const QString csvPath = dir.filePath(QStringLiteral("run.csv"));
    const QString capturePath = dir.filePath(QStringLiteral("run.bin"));
    TestPty board;
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    // A debug line for every frame would fill the pipe nobody reads.
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=false"));
    console.setProcessEnvironment(environment);
    console.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    console.start(QCoreApplication::applicationFilePath(),
                  { QLatin1String(recordingConsoleMode), board.slavePath(), csvPath, capturePath,
                    QLatin1String(paused ? "paused" : "live") });
    QVERIFY(console.waitForReadyRead(10000));
    QCOMPARE(console.readLine().trimmed(), QByteArray("ready"));

    constexpr qint64 frames = 9000;
    QByteArray sent;
    for (qint64 n = 0; n < frames; ++n)
        sent += numberedFrame(n);
    {
        StreamingBoard streaming(board, 0, frames, 9000);
    }
    // Every byte in the console's hands: what the driver still held would be
    // the port's to lose, not the recordings'.
    QVERIFY(processEventsUntil([&] { return board.unreadBytes() == 0; }, 10000));
    QCOMPARE(::kill(pid_t(console.processId()), signal), 0);
    QVERIFY(console.waitForFinished(10000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), 0);

    const QByteArray captured = readFile(capturePath);
    QCOMPARE(captured.size(), sent.size());
    QVERIFY(captured == sent);
    QCOMPARE(recordedRows(csvPath, 0, 0), frames);
    const QSettings kept(dir.filePath(QStringLiteral("config/bench-console-test/console.conf")), QSettings::IniFormat);
    QVERIFY(!kept.value(QStringLiteral("window/geometry")).toByteArray().isEmpty());
    QCOMPARE(kept.value(QStringLiteral("port/name")).toString(), board.slavePath());
}

void TestCapture::recordingFailuresStopOnlyTheRecording_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("target");
    QTest::addColumn<qint64>("fileSizeLimit");

    QTest::newRow("CSV in a missing folder") << "action_record_telemetry" << "missing/run.csv" << qint64(0);
    QTest::newRow("capture in a missing folder") << "action_capture_raw" << "missing/run.bin" << qint64(0);
    QTest::newRow("CSV on a full device") << "action_record_telemetry" << "/dev/full" << qint64(0);
    QTest::newRow("capture on a full device") << "action_capture_raw" << "/dev/full" << qint64(0);
    QTest::newRow("CSV past the file size limit") << "action_record_telemetry" << "run.csv" << qint64(100000);
}

void TestCapture::recordingFailuresStopOnlyTheRecording()
{
    QFETCH(QString, action);
    QFETCH(QString, target);
    QFETCH(qint64, fileSizeLimit);

    QTemporaryDir dir;
    const QString path = target.startsWith(u'/') ? target : dir.filePath(target);
    std::optional<FileSizeLimit> limit;
    if (fileSizeLimit > 0)
        QVERIFY(limit.emplace(fileSizeLimit).isSet());
    DebugMessages::messages().clear();
    PtyConsole console;
    MainWindow &window = console.window();
    window.setSaveFileChooser([&](QWidget *, const QString &, const QString &) { return path; });
    QAction *const recording = window.findChild<QAction *>(action);
    recording->trigger();

    const QRegularExpression failure(QStringLiteral("^记录失败: %1: .+$").arg(QRegularExpression::escape(path)));
    const qint64 firstSample = window.powerChart()->data().sampleCount();
    qint64 sent = 0;
    QStringList lines = console.newLogLines();
    // Enough frames to fill a block past any limit.
    while (lines.filter(failure).isEmpty() && sent < 100000) {
        StreamingBoard board(console.board(), sent, 2000);
        sent += 2000;
        QVERIFY(processEventsUntil([&] { return window.powerChart()->data().sampleCount() == firstSample + sent; },
                                   10000));
        lines += console.newLogLines();
    }
    limit.reset();
    QCOMPARE(lines.filter(failure).size(), 1);
    // Also where it outlives the window's pane, for a failure as the window goes.
    QCOMPARE(DebugMessages::messages().filter(failure).size(), 1);
    QVERIFY(!recording->isChecked());

    // The chart goes on.
    QVERIFY(console.boardSends(numberedFrame(sent)));
    QTRY_COMPARE(window.powerChart()->series(0)->points().last(),
                 QPointF(double(firstSample + sent), Telemetry::decodeFrame(numberedFrame(sent))->at(0)));
    // Unchecked by the failure, the recording says nothing more.
    recording->setChecked(false);
    QCOMPARE(console.newLogLines(), QStringList());

    if (fileSizeLimit > 0) {
        // Cut back to the last whole row, and no further.
        const QByteArray content = readFile(path);
        const qint64 rows = recordedRows(path, firstSample, 0);
        QVERIFY(rows > 0);
        QVERIFY(content.size() <= fileSizeLimit);
        QVERIFY(content.size() > fileSizeLimit - 2 * content.split('\n').at(rows).size());
    }
}

void TestCapture::rawCaptureKeepsTheBytesAsReceived()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.bin"));
    PtyConsole console;
    MainWindow &window = console.window();
    window.setSaveFileChooser([&](QWidget *, const QString &, const QString &) { return path; });
    widget<QAction>(window, "action_capture_raw")->trigger();
    QCOMPARE(console.newLogLines(), QStringList { "开始记录原始数据: " + path });

    QByteArray sent;
    const QByteArray pieces[] = {
        numberedFrame(1), "boot ok\r\n", numberedFrame(2) + numberedFrame(3), QByteArray("\xFF\xFF\x00", 3),
        numberedFrame(4).mid(3), QByteArray("\x00\x01\xFE\xFF text \xE4\xB8\xAD\n", 15), numberedFrame(5).left(6),
        numberedFrame(5).mid(6),
    };
    for (const QByteArray &piece : pieces) {
        QVERIFY(console.boardSends(piece));
        sent += piece;
    }
    click(window, "pushButton_portClose");
    QVERIFY(console.newLogLines().contains(QStringLiteral("停止记录原始数据: %1, 共 %2 字节").arg(path).arg(sent.size())));
    QVERIFY(!widget<QAction>(window, "action_capture_raw")->isChecked());
    QCOMPARE(readFile(path).toHex(' '), sent.toHex(' '));
}

void TestCapture::stopSaysWhenTheFileIsGone_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("line");

    QTest::newRow("telemetry") << "action_record_telemetry" << "停止记录遥测: 文件已不在 %1 (被删除或移走)";
    QTest::newRow("raw bytes") << "action_capture_raw" << "停止记录原始数据: 文件已不在 %1 (被删除或移走)";
}

// The folder removed under a running recording: writes still succeed, into a file
// nobody can reach, and stopping must not say it was kept.
void TestCapture::stopSaysWhenTheFileIsGone()
{
    QFETCH(QString, action);
    QFETCH(QString, line);

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("runs"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/run.dat");
    PtyConsole console;
    console.window().setSaveFileChooser([&](QWidget *, const QString &, const QString &) { return path; });
    QAction *const recording = console.window().findChild<QAction *>(action);
    recording->trigger();
    QVERIFY(console.boardSends(numberedFrame(1) + numberedFrame(2)));
    console.newLogLines();
    QVERIFY(QDir(folder).removeRecursively());
    recording->trigger();
    QCOMPARE(console.newLogLines(), QStringList { line.arg(path) });
}


// What a capture holds, sent back by the simulated board, shows in a second
// console as it showed in the first: the same frames plotted, the same text.
void TestCapture::replayShowsTheSameInASecondConsole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.bin"));
    PtyConsole console(false);
    console.window().setSaveFileChooser([&](QWidget *, const QString &, const QString &) { return path; });
    widget<QAction>(console.window(), "action_capture_raw")->trigger();
    QVERIFY(selectPort(console.window(), console.board().slavePath()));
    click(console.window(), "pushButton_portOpen");
    for (int i = 0; i < 40; ++i) {
        QVERIFY(console.boardSends(numberedFrame(i) + numberedFrame(i + 100)));
        if (i % 5 == 0)
            QVERIFY(console.boardSends("AD reg 0x" + QByteArray::number(i) + " <= 0x0002\r\n"));
    }
    QVERIFY(console.boardSends("half a line, then a frame " + numberedFrame(7) + "and the rest\n"));
    // From the line that says the port opened, which the board text goes on from.
    const auto fromOpen = [](const QStringList &paragraphs) {
        return paragraphs.mid(paragraphs.indexOf(QRegularExpression(QStringLiteral("^串口打开成功.*"))));
    };
    const QStringList firstText = fromOpen(logParagraphs(console.window()));
    QCOMPARE(firstText.size(), 10);
    const QList<Telemetry::Sample> firstPlotted = historyOf(console.window());
    QCOMPARE(firstPlotted.size(), 81);
    console.destroyWindow();

    QProcess boardSim;
    boardSim.start(QStringLiteral(BOARD_SIM_EXECUTABLE), { QStringLiteral("--replay"), path });
    QVERIFY(boardSim.waitForReadyRead(10000));
    const QRegularExpressionMatch port = QRegularExpression(QStringLiteral("connect the console to (\\S+)"))
                                             .match(QString::fromLocal8Bit(boardSim.readLine()));
    QVERIFY(port.hasMatch());
    testPorts().addExtraPort({ port.captured(1), QStringLiteral("Replay"), std::nullopt, std::nullopt });
    MainWindow second(&testPorts());
    QVERIFY(selectPort(second, port.captured(1)));
    click(second, "pushButton_portOpen");
    QVERIFY(processEventsUntil([&] { return boardSim.state() == QProcess::NotRunning; }, 10000));
    QCOMPARE(boardSim.exitCode(), 0);
    QTRY_COMPARE(historyOf(second), firstPlotted);
    QStringList secondText = fromOpen(logParagraphs(second));
    // The replay ends with board-sim, whose end of the line then hangs up.
    if (secondText.size() == firstText.size() + 1)
        QCOMPARE(secondText.takeLast(), QStringLiteral("串口已断开: 设备已断开连接"));
    QCOMPARE(secondText, firstText);
}

void TestCapture::savesAndClearsTheLog()
{
    QTemporaryDir dir;
    PtyConsole console;
    MainWindow &window = console.window();
    QString target = dir.filePath(QStringLiteral("log.txt"));
    window.setSaveFileChooser([&](QWidget *, const QString &, const QString &) { return target; });
    QVERIFY(console.boardSends("温度 21.6\r\nline two"));
    click(window, "pushButton_ARM_reset");
    const QString shown = widget<QTextBrowser>(window, "textBrowser_logout")->document()->toPlainText();
    widget<QAction>(window, "action_save_log")->trigger();
    QCOMPARE(QString::fromUtf8(readFile(target)), shown);
    QVERIFY(shown.contains(QStringLiteral("温度 21.6\nline two")));
    QCOMPARE(console.newLogLines().last(), "日志已保存: " + target);

    // The echo of a big send goes in over several turns: saved at once, it is in
    // the file whole; cleared at once, none of it comes back.
    widget<QCheckBox>(window, "checkBox_send_in_HEX")->setChecked(true);
    widget<QTextEdit>(window, "textEdit_uart_send")->setPlainText(QStringLiteral("A5 ").repeated(128 * 1024));
    click(window, "pushButton_uart_send");
    widget<QAction>(window, "action_save_log")->trigger();
    QVERIFY(QString::fromUtf8(readFile(target)).remove(u'\n').endsWith("16进制: " + QStringLiteral("A5").repeated(128 * 1024)));
    // Nothing is left to go in on the next turn.
    QCoreApplication::processEvents();
    QCOMPARE(console.newLogLines().last(), "日志已保存: " + target);

    target = dir.filePath(QStringLiteral("missing/log.txt"));
    widget<QAction>(window, "action_save_log")->trigger();
    QVERIFY(console.newLogLines().last().startsWith("保存日志失败: " + target + ": "));

    click(window, "pushButton_uart_send");
    widget<QAction>(window, "action_clear_log")->trigger();
    QCOMPARE(logParagraphs(window), QStringList { "串口报文" });
    // Board text goes on from the one paragraph left, CR LF still one break.
    QVERIFY(console.boardSends("next\r"));
    QVERIFY(console.boardSends("\nafter"));
    QCOMPARE(logParagraphs(window), QStringList({ "串口报文next", "after" }));
}

void TestCapture::saveDialogOffersADatedName()
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("kept.txt"));
    PtyConsole console(false);
    MainWindow &window = console.window();
    // The dialog itself, non-native on this platform, answered as a user would.
    QString offered;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answer.stop();
        auto *fileName = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        offered = dialog->directory().filePath(fileName->text());
        fileName->setText(chosen);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    answer.start(20);
    widget<QAction>(window, "action_save_log")->trigger();
    QVERIFY2(QFileInfo::exists(chosen), qPrintable(logParagraphs(window).join(u'|')));
    QVERIFY2(QRegularExpression(QStringLiteral("/log-\\d{8}-\\d{6}\\.txt$")).match(offered).hasMatch(),
             qPrintable(offered));

    // The next offer is in the folder used last.
    QString suggested;
    window.setSaveFileChooser([&](QWidget *, const QString &, const QString &path) {
        suggested = path;
        return QString();
    });
    widget<QAction>(window, "action_record_telemetry")->trigger();
    QVERIFY(!widget<QAction>(window, "action_record_telemetry")->isChecked());
    QCOMPARE(QFileInfo(suggested).absolutePath(), QFileInfo(chosen).absolutePath());
    QVERIFY2(QRegularExpression(QStringLiteral("/telemetry-\\d{8}-\\d{6}\\.csv$")).match(suggested).hasMatch(),
             qPrintable(suggested));
    widget<QAction>(window, "action_capture_raw")->trigger();
    QVERIFY2(QRegularExpression(QStringLiteral("/capture-\\d{8}-\\d{6}\\.bin$")).match(suggested).hasMatch(),
             qPrintable(suggested));
}

void TestCapture::statusBarCountsBothWays()
{
    PtyConsole console;
    MainWindow &window = console.window();
    const StatusLine &status = *window.statusLine();
    const QString port = console.board().slavePath();
    QTRY_VERIFY(status.text().startsWith(port + QStringLiteral(" 921600 8N1")));

    const QByteArray received = numberedFrame(7) + "hello\n" + numberedFrame(8);
    QVERIFY(console.boardSends(received));
    click(window, "pushButton_ARM_reset");
    const QByteArray sent = console.sentBytes(8);
    QCOMPARE(sent.size(), 8);
    const QString counts = QStringLiteral("收 %1 字节  发 %2 字节").arg(received.size()).arg(sent.size());
    QTRY_VERIFY2(status.text().contains(counts), qPrintable(status.text()));
    const Telemetry::Sample latest = *Telemetry::decodeFrame(numberedFrame(8));
    QStringList values;
    for (int series = 0; series < Telemetry::seriesCount; ++series)
        values << QLatin1String(CurveLimits::shortNames[size_t(series)]) + u' ' + QString::number(latest[size_t(series)]);
    QVERIFY2(status.text().contains(values.join(QStringLiteral("  "))), qPrintable(status.text()));

    click(window, "pushButton_portClose");
    QTRY_VERIFY(status.text().startsWith(QStringLiteral("未连接")));
    QVERIFY(status.text().contains(counts));
    click(window, "pushButton_portOpen");
    QTRY_VERIFY(status.text().contains(QStringLiteral("收 0 字节  发 0 字节")));
}

void TestCapture::spaceOnTheChartAndCtrlPAnywherePause()
{
    PtyConsole console(false);
    MainWindow &window = console.window();
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QWidget *chartView = widget<QWidget>(window, "power_moniter");
    auto *sendBox = widget<QWidget>(window, "textEdit_uart_send");

    chartView->setFocus();
    QTest::keyClick(chartView, Qt::Key_Space);
    QVERIFY(window.powerChart()->isPaused());
    QVERIFY(widget<QAction>(window, "action_pause_chart")->isChecked());
    // Space in the send box types a space.
    sendBox->setFocus();
    QTest::keyClick(sendBox, Qt::Key_Space);
    QVERIFY(window.powerChart()->isPaused());
    QTest::keyClick(sendBox, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(!window.powerChart()->isPaused());
    QVERIFY(!widget<QAction>(window, "action_pause_chart")->isChecked());
}

// The same program is the console that recordsUntilASignal ends from outside.
int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (application.arguments().value(1) == QLatin1String(recordingConsoleMode))
        return runRecordingConsole(application.arguments());
    application.setAttribute(Qt::AA_Use96Dpi, true);
    TestCapture test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_capture.moc"
