// bench-ctl run as a program, as scripts run it, against simulated boards on pty pairs.

#include "boardsimulator.h"
#include "boardthread.h"
#include "coretestsupport.h"
#include "mqtttestsupport.h"
#include "ptytestsupport.h"

#include "core/telemetrycsv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <atomic>
#include <chrono>
#include <memory>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

using TestSupport::hex;
using TestSupport::TestBroker;
using TestSupport::TestSubscriber;

namespace {

const QString busyReason = QStringLiteral("串口正被另一个程序占用, 请先在那个程序中关闭它");
// What a failed run must leave as it was.
const QByteArray keptContent = "from an earlier run\n";
// Where bench-ctl looks for the console's settings: an empty folder unless a test
// gives one, so that the tester's own choice of language never leaks in.
QString emptyConfigHome;

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    // The JSON lines of standard output.
    QList<QJsonObject> events(const QString &name) const
    {
        QList<QJsonObject> found;
        for (const QByteArray &line : out.split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.value(QStringLiteral("event")).toString() == name)
                found.append(object);
        }
        return found;
    }
};

// bench-ctl as a script runs it, with the event loop going on meanwhile: boards in
// their threads report to this one.
class Ctl
{
public:
    explicit Ctl(const QStringList &arguments, const QString &configHome = emptyConfigHome, QProcess *output = nullptr)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        m_process.setProcessEnvironment(environment);
        if (output)
            m_process.setStandardOutputProcess(output);
        m_process.start(QStringLiteral(BENCH_CTL_EXECUTABLE), arguments);
    }

    // False when timeoutMs passed before the standard output (or error) held `text`.
    bool waitForOutput(const QByteArray &text, int timeoutMs, QProcess::ProcessChannel channel = QProcess::StandardOutput)
    {
        QByteArray &seen = channel == QProcess::StandardOutput ? m_out : m_err;
        return TestSupport::processEventsUntil([&] {
            m_process.setReadChannel(channel);
            return (seen += m_process.readAll()).contains(text);
        }, timeoutMs);
    }

    // Waits until the program has ended and `also` holds. Once its output holds
    // `stopAt` it is ended as `kill` ends it; past timeoutMs it is killed.
    Run finish(const QByteArray &stopAt = {}, const std::function<bool()> &also = {}, int timeoutMs = 30000)
    {
        bool stopping = false;
        TestSupport::processEventsUntil([&] {
            m_out += m_process.readAllStandardOutput();
            stopping = !stopAt.isEmpty() && m_out.contains(stopAt);
            return m_process.state() == QProcess::NotRunning ? !also || also() : stopping;
        }, timeoutMs);
        if (m_process.state() != QProcess::NotRunning) {
            stopping ? m_process.terminate() : m_process.kill();
            m_process.waitForFinished(10000);
        }
        return { m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1,
                 m_out + m_process.readAllStandardOutput(), m_err + m_process.readAllStandardError() };
    }

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

// Simulated boards whose finished images are reported to the test's thread.
class Boards
{
public:
    explicit Boards(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto board = std::make_unique<BoardThread>();
            if (!board->start())
                return;
            QObject::connect(board->simulator(), &BoardSimulator::imageCompleted, &m_context,
                             [this, i](const BoardSimulator::ImageReport &report) { m_reports[i] = report; });
            m_boards.push_back(std::move(board));
        }
    }

    bool isValid(int count) const { return int(m_boards.size()) == count; }
    QStringList portArguments() const
    {
        QStringList arguments;
        for (const auto &board : m_boards)
            arguments << QStringLiteral("-p") << board->portName();
        return arguments;
    }
    const QMap<int, BoardSimulator::ImageReport> &reports() const { return m_reports; }
    const BoardThread &board(int index) const { return *m_boards.at(size_t(index)); }

private:
    QObject m_context;
    std::vector<std::unique_ptr<BoardThread>> m_boards;
    QMap<int, BoardSimulator::ImageReport> m_reports;
};

// An image the board reports whole: it cannot tell trailing FF bytes from padding.
QByteArray flashImage(qsizetype size)
{
    QByteArray image = TestSupport::patternImage(size);
    image.back() = char(0x5A);
    return image;
}

// How many elements of each name a JUnit report holds; nothing when it is not
// well-formed XML.
QMap<QString, int> xmlElementCounts(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QMap<QString, int> counts;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement)
            ++counts[xml.name().toString()];
    }
    return xml.hasError() ? QMap<QString, int>() : counts;
}

// A busy board: numbered frames one a write at 9000 a second, a line of text
// before every thousandth; the text written.
QByteArray streamFrames(TestPty &board, qint64 frames)
{
    QByteArray text;
    const auto start = std::chrono::steady_clock::now();
    for (qint64 n = 0; n < frames; ++n) {
        std::this_thread::sleep_until(start + n * std::chrono::nanoseconds(1000000000 / 9000));
        const QByteArray line = n % 1000 == 999 ? "tick " + QByteArray::number(n) + "\r\n" : QByteArray();
        text += line;
        if (!board.writeMaster(line + TestSupport::numberedFrame(n)))
            break;
    }
    return text;
}

// What a subscriber got on one kind of topic: the "event" of each event, or each
// status, in order.
QStringList published(const TestSubscriber &subscriber, const QString &topicSuffix)
{
    QStringList said;
    for (const TestSubscriber::Message &message : subscriber.messages(topicSuffix)) {
        said << (topicSuffix.endsWith(QLatin1String("/event"))
                     ? QJsonDocument::fromJson(message.payload).object().value("event").toString()
                     : QString::fromUtf8(message.payload));
    }
    return said;
}

} // namespace

class TestBenchCtl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void send_data();
    void send();
    void endsBeforeTheBoard_data();
    void endsBeforeTheBoard();
    void boardSends_data();
    void boardSends();
    void closedOutput_data();
    void closedOutput();
    void flashFourBoards();
    void unplugMidFlash();
    void interruptedFlash();
    void recordFrames();
    void check_data();
    void check();
    void checkInterlock();
    void recordPublished();
    void flashPublished();

private:
    QStringList filledIn(QStringList arguments, const QString &port) const;
    bool keptFilesKept() const;

    QTemporaryDir m_dir;
};

void TestBenchCtl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(TestSupport::writeFile(m_dir.filePath(QStringLiteral("image.bin")), flashImage(1000)));
    QVERIFY(TestSupport::writeFile(m_dir.filePath(QStringLiteral("image-64k.bin")), flashImage(64 * 1024)));
    QVERIFY(TestSupport::writeFile(m_dir.filePath(QStringLiteral("empty.bin")), {}));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), m_dir.filePath(QStringLiteral("null-link"))));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("config")));
    emptyConfigHome = m_dir.filePath(QStringLiteral("config"));
}

// The tables' placeholders: PTY the board's port, KEPT_CSV and KEPT_TXT files a
// run must not change.
QStringList TestBenchCtl::filledIn(QStringList arguments, const QString &port) const
{
    for (const QString name : { "kept.csv", "kept.txt" })
        TestSupport::writeFile(m_dir.filePath(name), keptContent);
    const QMap<QString, QString> values {
        { "PTY", port },
        { "IMAGE", m_dir.filePath("image.bin") },
        { "IMAGE_64K", m_dir.filePath("image-64k.bin") },
        { "CSV", m_dir.filePath("sent.csv") },
        { "EMPTY", m_dir.filePath("empty.bin") },
        { "MISSING", m_dir.filePath("missing.bin") },
        { "DIR", m_dir.path() },
        { "LINK", m_dir.filePath("null-link") },
        { "KEPT_CSV", m_dir.filePath("kept.csv") },
        { "KEPT_TXT", m_dir.filePath("kept.txt") },
    };
    for (QString &argument : arguments)
        argument = values.value(argument, argument);
    return arguments;
}

bool TestBenchCtl::keptFilesKept() const
{
    return TestSupport::readFile(m_dir.filePath("kept.csv")) == keptContent
        && TestSupport::readFile(m_dir.filePath("kept.txt")) == keptContent;
}

// Every command of the table that bench-ctl is given, with the bytes it sends.
void TestBenchCtl::send_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("wire");

    for (const TestSupport::CommandSequence &sequence : TestSupport::commandSequences()) {
        for (const TestSupport::CommandStep &step : sequence.steps) {
            if (!step.ctlArguments.isEmpty() && !step.bytes.isEmpty())
                QTest::newRow(qPrintable(step.ctlArguments.join(u' ').simplified())) << step.ctlArguments << step.bytes;
        }
    }
}

void TestBenchCtl::send()
{
    QFETCH(QStringList, command);
    QFETCH(QByteArray, wire);

    TestPty board;
    QVERIFY(board.isValid());
    const Run run = Ctl(QStringList { "send", "--json", "-p", board.slavePath() } + command).finish();
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(board.readMaster(1000).toHex(' '), wire.toHex(' '));
    QCOMPARE(run.events("sent").value(0).value("length").toInt(), wire.size());
}

// Runs that end before anything reaches the board: help and version on standard
// output (status 0), a refused command (2) or a port that does not open (3) on
// standard error, in the language asked for or the one the console remembers.
void TestBenchCtl::endsBeforeTheBoard_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("obstacle");   // between the program and the board's port
    QTest::addColumn<QString>("remembered"); // the console's language setting; none when empty

    const QString registerRefused = "错误: 寄存器地址和数据须为0-FFFF的16进制数";
    const QString busy = "串口打开失败: " + busyReason;
    const QString gone = "串口打开失败: No such file or directory";
    const QStringList fanTooFast { "send", "-p", "PTY", "fan", "999" };
    const QString chinese = "错误: fan 的值 '999' 须为 0 到 99 的整数";
    const QString english = "Error: fan takes a whole number from 0 to 99, not '999'";
    const struct Row {
        const char *name;
        QStringList arguments;
        QString said;
        int exitCode = 2;
        QString obstacle = {};
        QString remembered = {};
    } rows[] = {
        { "help-all", { "--help-all" }, "Usage: bench-ctl [options] command", 0 },
        { "a command's help-all", { "flash", "--help-all" }, "Usage: bench-ctl flash", 0 },
        { "help beside an unknown option", { "send", "--fast", "--help" }, "Usage: bench-ctl send", 0 },
        { "help beside a wrong value", { "record", "--frames", "0", "-h" }, "Usage: bench-ctl record", 0 },
        { "a command's version", { "monitor", "--version" }, "bench-ctl 1", 0 },
        { "no command", {}, "no command given" },
        { "unknown command", { "erase" }, "unknown command 'erase'" },
        { "unknown option", { "flash", "--fast", "-p", "PTY", "IMAGE" }, "Unknown option 'fast'" },
        { "send without a port", { "send", "reset" }, "give one port with -p" },
        { "unknown board command", { "send", "-p", "PTY", "jump", "1" }, "错误: 未知命令 'jump'" },
        { "fan past the slider", { "send", "-p", "PTY", "fan", "100" }, "错误: fan 的值 '100' 须为 0 到 99 的整数" },
        { "erase below the spin box", { "send", "-p", "PTY", "erase", "-1" }, "错误: erase 的值 '-1' 须为 0 到 99 的整数" },
        { "gpu neither on nor off", { "send", "-p", "PTY", "gpu", "1" }, "错误: gpu 的值 '1' 须为 on 或 off" },
        { "register past FFFF", { "send", "-p", "PTY", "ad-write", "10000", "1" }, registerRefused },
        { "register argument missing", { "send", "-p", "PTY", "da-write", "1" }, "错误: da-write 需要 2 个参数, 给出了 1 个" },
        { "not hex", { "send", "-p", "PTY", "hex", "AG" }, "错误: 只能输入16进制字符(0-9, A-F)和空格" },
        { "empty text", { "send", "-p", "PTY", "text", "" }, "错误: textEdit内容为空" },
        { "port is a regular file", { "send", "-p", "IMAGE", "reset" }, "is a regular file, not a serial port" },
        { "port is a folder", { "send", "-p", "DIR", "reset" }, "is a folder, not a serial port" },
        { "flash without a port", { "flash", "IMAGE" }, "give at least one port with -p" },
        { "same port twice", { "flash", "-p", "PTY", "-p", "PTY", "IMAGE" }, "is given twice" },
        { "same port through a link", { "flash", "-p", "/dev/null", "-p", "LINK", "IMAGE" }, "is given twice" },
        { "image missing", { "flash", "-p", "PTY", "MISSING" }, "无法打开文件: " },
        { "image empty", { "flash", "-p", "PTY", "EMPTY" }, "错误: 固件文件为空" },
        { "image is a folder", { "flash", "-p", "PTY", "DIR" }, "无法打开文件: " },
        { "record zero frames", { "record", "-p", "PTY", "--frames", "0" }, "--frames: '0'" },
        { "record for no time", { "record", "-p", "PTY", "--seconds", "-1" }, "--seconds: '-1'" },
        { "record into a folder", { "record", "-p", "PTY", "-o", "DIR" }, "cannot create" },
        { "monitor two ports", { "monitor", "-p", "PTY", "-p", "IMAGE" }, "give one port with -p" },
        { "0x inside a register", { "send", "-p", "PTY", "ad-write", "A0x5", "1" }, registerRefused },
        { "0x twice in a register", { "send", "-p", "PTY", "da-write", "1", "0x0x2" }, registerRefused },
        { "a language bench-ctl does not speak", { "--lang", "fr", "list" }, "--lang" },
        // A refused recording leaves the files it names as they were.
        { "record without a port", { "record", "-o", "KEPT_CSV", "--text", "KEPT_TXT" }, "give one port with -p" },
        { "record from a folder", { "record", "-p", "DIR", "-o", "KEPT_CSV", "--text", "KEPT_TXT" }, "is a folder" },
        { "record from two ports", { "record", "-p", "PTY", "-p", "PTY", "-o", "KEPT_CSV", "--text", "KEPT_TXT" },
          "give one port with -p" },
        { "record text into a folder", { "record", "-p", "PTY", "-o", "KEPT_CSV", "--text", "DIR" }, "cannot create" },
        { "record rows and text into one file", { "record", "-p", "PTY", "-o", "KEPT_CSV", "--text", "KEPT_CSV" },
          "given twice" },
        { "send to a port that is gone", { "send", "-p", "PTY", "reset" }, gone, 3, "missing" },
        { "send to a port held elsewhere", { "send", "-p", "PTY", "reset" }, busy, 3, "held" },
        { "record from a port held elsewhere", { "record", "-p", "PTY", "--frames", "1" }, busy, 3, "held" },
        { "flash to a port held elsewhere", { "flash", "-p", "PTY", "IMAGE" }, busy, 3, "held" },
        { "flash to a port another program holds with flock", { "flash", "-p", "PTY", "IMAGE" }, busy, 3, "flock" },
        { "check with a bad limit",
          { "check", "-p", "PTY", "--limit", "12v<=40", "--limit", "13v<=1", "-o", "KEPT_CSV", "--junit", "KEPT_TXT" },
          "--limit: '13v<=1' is not" },
        // Refused before the port is opened: not told as busy.
        { "check with a bad limit on a port held elsewhere", { "check", "-p", "PTY", "--limit", "12v=<40" },
          "--limit: '12v=<40' is not", 2, "held" },
        { "check a range upside down", { "check", "-p", "PTY", "--limit", "1v8 in 20..5" }, "--limit: '1v8 in 20..5'" },
        { "check without a limit", { "check", "-p", "PTY", "--frames", "1" }, "give at least one --limit" },
        { "check two boards into one file", { "check", "-p", "PTY", "-p", "/dev/null", "--limit", "5v<=1", "-o", "KEPT_CSV" },
          "must hold %p" },
        { "publish to a broker that is no URL",
          { "record", "-p", "PTY", "--mqtt", "http://127.0.0.1/bench", "-o", "KEPT_CSV", "--text", "KEPT_TXT" }, "--mqtt: " },
        { "a board name without a broker", { "record", "-p", "PTY", "--board", "rig", "-o", "KEPT_CSV" }, "--board takes --mqtt" },
        { "a CA without a broker", { "flash", "-p", "PTY", "--mqtt-ca", "IMAGE", "IMAGE" }, "--mqtt-ca takes --mqtt" },
        { "a CA that cannot be read",
          { "monitor", "-p", "PTY", "--mqtt", "mqtts://127.0.0.1/bench", "--mqtt-ca", "MISSING" }, "--mqtt: " },
        { "one board name for two boards",
          { "check", "-p", "PTY", "-p", "/dev/null", "--limit", "5v<=1", "--mqtt", "mqtt://127.0.0.1/bench", "--board", "rig" },
          "--board rig: with several ports the name must hold %p" },
        { "check a port held elsewhere", { "check", "-p", "PTY", "--limit", "5v<=1", "--frames", "1" }, busy, 3, "held" },
        { "record from a port that is gone", { "record", "-p", "PTY", "-o", "KEPT_CSV", "--text", "KEPT_TXT" }, gone, 3,
          "missing" },
        { "Chinese unless asked", fanTooFast, chinese },
        { "English on request", QStringList { "--lang", "en" } + fanTooFast, english },
        { "asked after the command's name", { "send", "--lang", "en", "-p", "PTY", "fan", "999" }, english },
        { "as the console was left", fanTooFast, english, 2, {}, "en" },
        { "asked over the console", QStringList { "--lang", "zh" } + fanTooFast, chinese, 2, {}, "en" },
        { "JSON in the console's own words", { "--lang", "en", "record", "--json", "-p", "MISSING" }, "串口打开失败", 3, {},
          "en" },
    };
    for (const Row &row : rows)
        QTest::newRow(row.name) << row.arguments << row.said << row.exitCode << row.obstacle << row.remembered;
}

void TestBenchCtl::endsBeforeTheBoard()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    QFETCH(int, exitCode);
    QFETCH(QString, obstacle);
    QFETCH(QString, remembered);

    TestPty board;
    QVERIFY(board.isValid());
    const QTemporaryDir configHome;
    const QString settingsPath = configHome.filePath("bench-console/bench-console.conf");
    const QByteArray settings = "[General]\nlanguage=" + remembered.toUtf8() + "\nversion=1\n";
    if (!remembered.isEmpty())
        QVERIFY(QDir(configHome.path()).mkdir("bench-console") && TestSupport::writeFile(settingsPath, settings));
    QSerialPort holder(board.slavePath());
    QProcess locker;
    if (obstacle == "held") {
        QVERIFY(holder.open(QIODevice::ReadWrite));
    } else if (obstacle == "flock") {
        locker.start(QStringLiteral("flock"), { QStringLiteral("--nonblock"), board.slavePath(), QStringLiteral("-c"),
                                                QStringLiteral("echo locked; exec cat") });
        if (!locker.waitForStarted())
            QSKIP("flock from util-linux is not installed");
        QVERIFY(locker.waitForReadyRead(5000));
        QCOMPARE(locker.readAll(), QByteArray("locked\n"));
    }
    const QString port = obstacle == "missing" ? m_dir.filePath("ttyGone") : board.slavePath();
    const Run run = Ctl(filledIn(arguments, port), configHome.path()).finish();
    if (locker.state() != QProcess::NotRunning) {
        locker.closeWriteChannel();
        QVERIFY(locker.waitForFinished(5000));
    }
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode == 0) {
        QVERIFY2(QString::fromUtf8(run.out).startsWith(said), run.out.constData());
        QCOMPARE(run.err, QByteArray());
    } else {
        QVERIFY2(QString::fromUtf8(run.err).contains(said), run.err.constData());
    }
    QCOMPARE(board.readMaster(0), QByteArray());
    QVERIFY(keptFilesKept());
    // The console's settings are only read.
    QCOMPARE(QDir(configHome.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), remembered.isEmpty() ? 0 : 1);
    if (!remembered.isEmpty())
        QCOMPARE(TestSupport::readFile(settingsPath), settings);
}

void TestBenchCtl::boardSends_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("sent"); // by the board once the port is open
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");

    // 109 * 0.45 is 49.050000000000004 in binary.
    const QByteArray frame = TestSupport::telemetryFrame(1, 2, 3, 109, 5);
    QTest::newRow("readings as decimals") << QStringList { "monitor", "--json" } << frame << 0
                                          << "\"12V power\":49.05,";
    QTest::newRow("statistics as decimals") << QStringList { "record", "--json", "--frames", "1", "-o", "CSV" } << frame << 0
                                            << "\"12V power\":49.05,";
    QTest::newRow("board text into a full disk")
        << QStringList { "record", "--json", "--frames", "1", "-o", "CSV", "--text", "/dev/full" }
        << QByteArray("Board ready\r\n") + frame << 1 << "cannot write /dev/full";
    QTest::newRow("a violation as decimals") << QStringList { "check", "--json", "--frames", "1", "--limit", "12v<=40" }
                                             << frame << 4 << "\"value\":49.05,";
}

void TestBenchCtl::boardSends()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, sent);
    QFETCH(int, exitCode);
    QFETCH(QString, said);

    TestPty board;
    QVERIFY(board.isValid());
    Ctl ctl(filledIn(arguments + QStringList { "-p", "PTY" }, board.slavePath()));
    QVERIFY(ctl.waitForOutput("\"event\":\"opened\"", 10000));
    QVERIFY(board.writeMaster(sent));
    // A monitor goes on until it is stopped.
    const Run run = ctl.finish("\"event\":\"telemetry\"", {}, 20000);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(run.out).contains(said), run.out.constData());
}

void TestBenchCtl::closedOutput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("summary"); // on standard error
    QTest::addColumn<bool>("plotting");   // whether the board plots at the end

    QTest::newRow("record") << QStringList { "record", "--plot", "-o", "-" } << 1 << "recorded" << false;
    QTest::newRow("monitor") << QStringList { "monitor", "--json" } << 1 << "\"event\":\"summary\"" << true;
    // The flash goes on to the end: a board left half flashed would not start.
    QTest::newRow("flash") << QStringList { "flash", "IMAGE_64K" } << 0 << "done" << true;
}

// bench-ctl into "| head -n 5", which ends before bench-ctl does.
void TestBenchCtl::closedOutput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, summary);
    QFETCH(bool, plotting);

    BoardThread board;
    QVERIFY(board.start());
    board.run([&board] { board.simulator()->setPlotting(true); });
    QProcess head;
    Ctl ctl(filledIn(arguments + QStringList { "-p", "PTY" }, board.portName()), emptyConfigHome, &head);
    head.start(QStringLiteral("head"), { QStringLiteral("-n"), QStringLiteral("5") });
    QVERIFY(head.waitForFinished(20000));
    const Run run = ctl.finish({}, {}, 20000);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(run.err).contains(summary), run.err.constData());
    bool plottingAtTheEnd = true;
    board.run([&] { plottingAtTheEnd = board.simulator()->isPlotting(); });
    QCOMPARE(plottingAtTheEnd, plotting);
}

void TestBenchCtl::flashFourBoards()
{
    const QByteArray image = flashImage(256 * 1024);
    const QString imagePath = m_dir.filePath("flash-256k.bin");
    QVERIFY(TestSupport::writeFile(imagePath, image));
    Boards boards(4);
    QVERIFY(boards.isValid(4));

    const Run run = Ctl(QStringList { "flash", "--json" } + boards.portArguments() + QStringList { imagePath })
                        .finish({}, [&] { return boards.reports().size() == 4; }, 120000);
    QCOMPARE(run.exitCode, 0);
    for (const BoardSimulator::ImageReport &report : boards.reports()) {
        QCOMPARE(report.size, image.size());
        QCOMPARE(report.crc32, BoardSimulator::crc32(image));
    }
    const QJsonObject summary = run.events("summary").value(0);
    QCOMPARE(summary.value("crc32").toString(), QString::number(BoardSimulator::crc32(image), 16).rightJustified(8, u'0'));
    QCOMPARE(summary.value("size").toInt(), image.size());
    QCOMPARE(summary.value("done").toInt(), 4);
    const QList<QJsonObject> results = run.events("result");
    QCOMPARE(results.size(), 4);
    for (const QJsonObject &result : results)
        QCOMPARE(result.value("bytes_sent").toInt(), image.size());
    QCOMPARE(run.events("progress").size(), 4 * 10);
}

void TestBenchCtl::unplugMidFlash()
{
    const QByteArray image = flashImage(64 * 1024);
    Boards boards(3);
    QVERIFY(boards.isValid(3));
    TestPty unplugged;
    DrainingBoard board(unplugged, 16 * 1024);

    const Run run = Ctl(QStringList { "flash", "--json", "-p", unplugged.slavePath() } + boards.portArguments()
                        + QStringList { m_dir.filePath("image-64k.bin") })
                        .finish({}, [&] { return boards.reports().size() == 3; }, 60000);
    QCOMPARE(run.exitCode, 1);
    for (const BoardSimulator::ImageReport &report : boards.reports())
        QCOMPARE(report.crc32, BoardSimulator::crc32(image));

    const QList<QJsonObject> results = run.events("result");
    QCOMPARE(results.size(), 4);
    const QJsonObject lost = results.first();
    QCOMPARE(lost.value("port").toString(), unplugged.slavePath());
    QCOMPARE(lost.value("status").toString(), QStringLiteral("failed"));
    QCOMPARE(lost.value("reason").toString(), QStringLiteral("lost"));
    QCOMPARE(lost.value("message").toString(), QStringLiteral("串口已断开: 设备已断开连接"));
    // Every packet the board took whole was counted as sent, and the rest was not.
    const qsizetype sent = lost.value("bytes_sent").toInteger();
    QVERIFY2(sent >= board.received() / 40 * 32 && sent < image.size(), qPrintable(QString::number(sent)));
    for (const QJsonObject &result : results.sliced(1))
        QCOMPARE(result.value("status").toString(), QStringLiteral("done"));
}

void TestBenchCtl::interruptedFlash()
{
    TestPty first;
    TestPty second;
    const DrainingBoard firstBoard(first);
    const DrainingBoard secondBoard(second);

    Ctl ctl({ "flash", "--json", "-p", first.slavePath(), "-p", second.slavePath(), m_dir.filePath("image-64k.bin") });
    QVERIFY(ctl.waitForOutput("\"percent\":20", 20000));
    const Run run = ctl.finish("\"percent\":20");

    QCOMPARE(run.exitCode, 1);
    const QList<QJsonObject> results = run.events("result");
    QCOMPARE(results.size(), 2);
    for (const QJsonObject &result : results) {
        QCOMPARE(result.value("reason").toString(), QStringLiteral("interrupted"));
        const qsizetype sent = result.value("bytes_sent").toInteger();
        QVERIFY(sent > 0 && sent < 64 * 1024);
    }
    QVERIFY(run.events("summary").value(0).value("interrupted").toBool());
}

void TestBenchCtl::recordFrames()
{
    TestPty board;
    QVERIFY(board.isValid());
    // A board streaming numbered frames as fast as the line takes them, and
    // keeping what the program sends it.
    std::atomic<bool> streaming { true };
    QByteArray commands;
    std::thread stream([&] {
        qint64 number = 0;
        QByteArray pending;
        while (streaming) {
            if (pending.isEmpty())
                pending = TestSupport::numberedFrame(number++);
            const ssize_t written = ::write(board.masterFd(), pending.constData(), size_t(pending.size()));
            if (written > 0)
                pending.remove(0, written);
            char buffer[256];
            for (ssize_t n; (n = ::read(board.masterFd(), buffer, sizeof buffer)) > 0;)
                commands.append(buffer, n);
            if (written <= 0) {
                pollfd pfd { board.masterFd(), POLLOUT, 0 };
                ::poll(&pfd, 1, 10);
            }
        }
    });
    const QString csvPath = m_dir.filePath("record.csv");
    const Run run = Ctl({ "record", "--json", "--plot", "--frames", "1000", "-o", csvPath, "-p", board.slavePath() }).finish();
    streaming = false;
    stream.join();

    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.events("summary").value(0).value("frames").toInt(), 1000);
    QVERIFY(commands.startsWith(hex("A5 A5 01 00 4E 80 AE AE")));
    QVERIFY(commands.endsWith(hex("A5 A5 02 00 4E 80 AE AE")));

    // Rows follow the frames as the board sent them, whichever frame came first.
    QCOMPARE(TestSupport::recordedRows(csvPath, 0), 1000);
}

// Simulated boards checked at once, one JUnit report for them all. The fan
// moves 5V: at 99 its reading is above 15, at 0 below 6.
void TestBenchCtl::check_data()
{
    QTest::addColumn<QStringList>("limits");
    QTest::addColumn<QList<int>>("fans"); // one board each
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QString>("violated"); // the limit, exceeded from the first sample on

    QTest::newRow("within every limit") << QStringList { "--limit", "12v<=30", "--limit", "1v8 in 5..20", "--limit", "all>=1" }
                                        << QList<int> { 0 } << 0 << QStringList { "passed" } << QString();
    QTest::newRow("a limit violated") << QStringList { "--limit", "3.3V power<=10", "--limit", "12v<=30" } << QList<int> { 0 }
                                      << 4 << QStringList { "failed" } << "3.3V power<=10";
    QTest::newRow("two boards, one failing") << QStringList { "--limit", "5v<=10" } << QList<int> { 0, 99 } << 4
                                             << QStringList { "passed", "failed" } << "5v<=10";
}

void TestBenchCtl::check()
{
    QFETCH(QStringList, limits);
    QFETCH(QList<int>, fans);
    QFETCH(int, exitCode);
    QFETCH(QStringList, statuses);
    QFETCH(QString, violated);

    Boards boards(int(fans.size()));
    QVERIFY(boards.isValid(int(fans.size())));
    for (int i = 0; i < fans.size(); ++i) {
        const QByteArray fanFrame = hex("A5 A5 03 00 4E") + char(fans.at(i)) + hex("AE AE");
        boards.board(i).run([&] { boards.board(i).simulator()->receive(fanFrame); });
    }
    const QString junitPath = m_dir.filePath("check.xml");
    const QString csvPaths = m_dir.filePath("check-%p.csv");
    const Run run = Ctl(QStringList { "check", "--json", "--plot", "--frames", "10", "--junit", junitPath, "-o", csvPaths }
                        + limits + boards.portArguments()).finish();
    QCOMPARE(run.exitCode, exitCode);
    const QList<QJsonObject> results = run.events("result");
    QCOMPARE(results.size(), statuses.size());
    for (int i = 0; i < results.size(); ++i) {
        QCOMPARE(results.at(i).value("status").toString(), statuses.at(i));
        QCOMPARE(results.at(i).value("frames").toInt(), 10);
        const QString port = QFileInfo(boards.board(i).portName()).fileName();
        QCOMPARE(TestSupport::readFile(QString(csvPaths).replace("%p", port)).count('\n'), 1 + 10);
    }
    const QJsonArray violations = run.events("summary").value(0).value("violations").toArray();
    QCOMPARE(violations.size(), violated.isEmpty() ? 0 : 1);
    if (!violated.isEmpty()) {
        const QJsonObject violation = violations.first().toObject();
        QCOMPARE(violation.value("limit").toString(), violated);
        QCOMPARE(violation.value("sample").toInt(), 0);
        QVERIFY(violation.value("value").toDouble() > 10);
        QCOMPARE(violation.value("samples_outside").toInt(), 10);
    }
    const QMap<QString, int> elements = xmlElementCounts(junitPath);
    QCOMPARE(elements.value("testsuite"), fans.size());
    QCOMPARE(elements.value("testcase"), fans.size() * limits.size() / 2);
    QCOMPARE(elements.value("failure"), violations.size());
    QCOMPARE(elements.value("error"), 0);
}

// Readings past a limit for three samples in a row: the window's "GPU断电" frame,
// once, however long they stay past it, and the rail left off in the frames after.
void TestBenchCtl::checkInterlock()
{
    TestPty board;
    QVERIFY(board.isValid());
    Ctl ctl({ "check", "--json", "--plot", "--interlock", "--frames", "7", "--limit", "12v<=40", "-p", board.slavePath() });
    QVERIFY(ctl.waitForOutput("\"event\":\"opened\"", 10000));
    QByteArray frames = TestSupport::telemetryFrame(12, 25, 20, 10, 50);
    for (int i = 0; i < 6; ++i)
        frames += TestSupport::telemetryFrame(12, 25, 20, 100, 50); // 12V at 45
    QVERIFY(board.writeMaster(frames));
    const Run run = ctl.finish();
    QCOMPARE(run.exitCode, 4);
    const QByteArray wire = hex("A5 A5 01 00 4E 80 AE AE") + hex("A5 A5 00 00 46 20 AE AE") + hex("A5 A5 02 00 46 20 AE AE");
    QCOMPARE(board.readMasterExactly(wire.size() + 1, 1000).toHex(' '), wire.toHex(' '));
    const QJsonObject interlock = run.events("summary").value(0).value("interlocks").toArray().first().toObject();
    QCOMPARE(interlock.value("sample").toInt(), 3);
    QCOMPARE(interlock.value("curve").toString(), QStringLiteral("12V power"));
    QCOMPARE(interlock.value("value").toDouble(), 45.0);
}

// A recording published while the board streams: the subscriber gets the CSV's
// samples once each, in order, the text and the events; a monitor killed outright
// leaves "offline" as its will; a refused login is one line, the recording as
// without a broker.
void TestBenchCtl::recordPublished()
{
    TestBroker broker({ "bench", "s3cret" });
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    TestSubscriber subscriber(broker, "lab/#");
    QVERIFY(subscriber.waitUntilSubscribed());
    qputenv("BENCH_MQTT_PASSWORD", "s3cret");
    const auto unset = qScopeGuard([] { qunsetenv("BENCH_MQTT_PASSWORD"); });
    TestPty board;
    QVERIFY(board.isValid());
    constexpr qint64 frames = 45000; // 5 s of the board at 9000 frames/s
    const QString csvPath = m_dir.filePath("published.csv");
    const QString textPath = m_dir.filePath("published.txt");
    Ctl ctl({ "record", "--json", "--frames", QString::number(frames), "-o", csvPath, "--text", textPath, "-p",
              board.slavePath(), "--mqtt", broker.url("lab"), "--board", "rig-%p" });
    QVERIFY(ctl.waitForOutput("\"event\":\"opened\"", 10000));
    QByteArray text;
    std::thread stream([&] { text = streamFrames(board, frames); });
    const Run run = ctl.finish({}, {}, 60000);
    stream.join();
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(TestSupport::recordedRows(csvPath, 0), frames);

    QVERIFY(TestSupport::processEventsUntil([&] { return published(subscriber, "/event").contains("summary"); }, 10000));
    QCOMPARE(published(subscriber, "/event"), QStringList({ "opened", "summary" }));
    QCOMPARE(published(subscriber, "/status").constLast(), "offline");
    for (const TestSubscriber::Message &message : subscriber.messages())
        QVERIFY(message.topic.startsWith("lab/rig-" + QFileInfo(board.slavePath()).fileName() + '/'));
    QCOMPARE(TestSupport::readFile(textPath), text);
    QCOMPARE(published(subscriber, "/text").join(QString()).toUtf8(), text);
    const QList<QByteArray> rows = TestSupport::readFile(csvPath).split('\n').mid(1, frames);
    const QList<TestSupport::PublishedSample> samples = TestSupport::publishedSamples(subscriber.messages("/telemetry"));
    QCOMPARE(samples.size(), frames);
    for (qint64 n = 0; n < frames; ++n) {
        const QList<QByteArray> fields = rows.at(n).split(',');
        QByteArray row = QByteArray::number(samples.at(n).sample);
        for (const double value : samples.at(n).values)
            row += ',' + TelemetryCsv::number(value);
        QCOMPARE(row, fields.mid(2).join(','));
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(fields.at(0)), Qt::ISODateWithMs);
        QCOMPARE(samples.at(n).timestampUs, at.toMSecsSinceEpoch() * 1000);
    }

    Ctl monitor({ "monitor", "-p", board.slavePath(), "--mqtt", broker.url("lab"), "--board", "killed" });
    QVERIFY(TestSupport::processEventsUntil([&] { return published(subscriber, "killed/status").endsWith("online"); }, 10000));
    QCOMPARE(monitor.finish({}, {}, 0).exitCode, -1);
    QVERIFY(TestSupport::processEventsUntil([&] { return published(subscriber, "killed/status").endsWith("offline"); }, 10000));

    qputenv("BENCH_MQTT_PASSWORD", "wrong");
    Ctl refused({ "record", "--frames", "100", "-o", csvPath, "--text", textPath, "-p", board.slavePath(), "--mqtt",
                  broker.url("lab") });
    QVERIFY(refused.waitForOutput("MQTT", 10000, QProcess::StandardError));
    QByteArray hundred;
    for (qint64 n = 0; n < 100; ++n)
        hundred += TestSupport::numberedFrame(n);
    QVERIFY(board.writeMaster(hundred));
    const Run refusedRun = refused.finish();
    QCOMPARE(refusedRun.exitCode, 0);
    QCOMPARE(TestSupport::recordedRows(csvPath, 0), 100);
    QVERIFY2(refusedRun.err.startsWith(board.slavePath().toUtf8() + ": MQTT 连接失败: ") && refusedRun.err.count('\n') == 1,
             refusedRun.err);
}

// A flash publishes its events without --json too, each board's own to its
// topics and the summary to every board's.
void TestBenchCtl::flashPublished()
{
    TestBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorString()));
    TestSubscriber subscriber(broker, "lab/#");
    QVERIFY(subscriber.waitUntilSubscribed());
    Boards boards(2);
    QVERIFY(boards.isValid(2));
    const Run run = Ctl(QStringList { "flash", "--mqtt", broker.url("lab"), "--board", "rig-%p" } + boards.portArguments()
                        + QStringList { m_dir.filePath("image.bin") }).finish();
    QCOMPARE(run.exitCode, 0);
    const QStringList events = QStringList(10, "progress") + QStringList { "result", "summary" };
    for (int i = 0; i < 2; ++i) {
        const QString topic = "lab/rig-" + QFileInfo(boards.board(i).portName()).fileName() + "/event";
        QVERIFY(TestSupport::processEventsUntil([&] { return published(subscriber, topic) == events; }, 10000));
        QCOMPARE(QJsonDocument::fromJson(subscriber.messages(topic).at(10).payload)["port"].toString(), boards.board(i).portName());
    }
}

QTEST_GUILESS_MAIN(TestBenchCtl)
#include "tst_benchctl.moc"
