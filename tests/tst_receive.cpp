#include "testsupport.h"

#include "gui/SerialPortHandler.h"
#include "gui/logpane.h"
#include "core/receivestream.h"
#include "core/telemetry.h"

#include <QLineSeries>
#include <QValueAxis>
#include <QDebug>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

#include <sys/ioctl.h>

Q_DECLARE_METATYPE(QList<QByteArray>)

// What the board sends, as the console's log pane and chart show it. One console
// serves every test; each test starts from a freshly opened port, whose success
// line is the paragraph that the board's text continues.
class TestReceive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void textContinuesTheLastLineInGreen();
    void boardText_data();
    void boardText();
    void splitFrames_data();
    void splitFrames();
    void burstOfFramesIsPlottedWhole();
    void frameTailWhileTheWindowIsBusy();
    void heldBytesDroppedOnReopen_data();
    void heldBytesDroppedOnReopen();

    void longLineFreeStream();
    void boardLinesKeepThePaneBounded();

private:
    // Each piece as an arrival of its own. The curves are redrawn after the
    // arrival, at most once per display frame: a test that expects points waits
    // for them; one that expects none sees no frame in the debug output, so no
    // redraw can be on its way.
    void boardSends(const QList<QByteArray> &pieces) { QVERIFY(console->boardSends(pieces)); }
    // The paragraphs from the open line on, and their green part alone.
    QStringList paragraphsSinceOpen() const;
    QString greenTextSinceOpen() const
    {
        return TestSupport::textInColour(console->window(), openLineParagraph, Qt::green);
    }

    std::unique_ptr<TestSupport::DebugMessages> debugCapture;
    std::unique_ptr<TestSupport::PtyConsole> console;
    int openLineParagraph = 0;
};

namespace {

const QString openLine = QStringLiteral("串口打开成功");
const QByteArray referenceFrame = TestSupport::referenceFrame();

} // namespace

void TestReceive::initTestCase()
{
    debugCapture = std::make_unique<TestSupport::DebugMessages>();
    console = std::make_unique<TestSupport::PtyConsole>();
    QVERIFY(console->board().isValid());
    QVERIFY(serialPortInst->isOpen());
}

void TestReceive::cleanupTestCase()
{
    console.reset();
    debugCapture.reset();
}

void TestReceive::init()
{
    TestSupport::click(console->window(), "pushButton_portOpen");
    QVERIFY(serialPortInst->isOpen());
    const QStringList paragraphs = TestSupport::logParagraphs(console->window());
    QCOMPARE(paragraphs.last(), openLine);
    openLineParagraph = int(paragraphs.size()) - 1;
    QVERIFY(TestSupport::paragraphColour(console->window(), openLineParagraph) != QColor(Qt::green));
    TestSupport::DebugMessages::messages().clear();
}

QStringList TestReceive::paragraphsSinceOpen() const
{
    return TestSupport::logParagraphsFrom(console->window(), openLineParagraph);
}

void TestReceive::textContinuesTheLastLineInGreen()
{
    boardSends({ "OK" });

    QCOMPARE(paragraphsSinceOpen(), QStringList { openLine + "OK" });
    QCOMPARE(greenTextSinceOpen(), QStringLiteral("OK"));
    QVERIFY(TestSupport::paragraphColour(console->window(), openLineParagraph) != QColor(Qt::green));
    QCOMPARE(TestSupport::logParagraphs(console->window()).first(), QStringLiteral("串口报文"));

    // A status line after board text starts a paragraph of its own, not green.
    TestSupport::click(console->window(), "pushButton_portClose");
    QCOMPARE(paragraphsSinceOpen(), QStringList({ openLine + "OK", "关闭串口" }));
    QVERIFY(TestSupport::paragraphColour(console->window(), openLineParagraph + 1) != QColor(Qt::green));
}

void TestReceive::boardText_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QStringList>("expected"); // the first continues the open line

    using Pieces = QList<QByteArray>;
    const QString ffAB = QString::fromLocal8Bit("\xFF" "AB");
    QTest::newRow("AB") << Pieces { "AB" } << QStringList { "AB" };
    QTest::newRow("single byte") << Pieces { "Z" } << QStringList { "Z" };
    QTest::newRow("FF 41 42") << Pieces { "\xFF" "AB" } << QStringList { ffAB };
    QTest::newRow("lone FF, then a non-FF byte") << Pieces { "\xFF", "AB" } << QStringList { ffAB };
    QTest::newRow("two arrivals continue one line") << Pieces { "AB", "CD" } << QStringList { "ABCD" };
    QTest::newRow("line feed starts a paragraph") << Pieces { "line1\nline2" } << QStringList { "line1", "line2" };
    QTest::newRow("carriage return and line feed are one break")
        << Pieces { "line1\r\nline2\r\n" } << QStringList { "line1", "line2", "" };
    QTest::newRow("carriage return ends one arrival, line feed starts the next")
        << Pieces { "line1\r", "\nline2" } << QStringList { "line1", "line2" };
    QTest::newRow("line feed at the end") << Pieces { "done\n" } << QStringList { "done", "" };
    QTest::newRow("lone FF at the end goes out once the line is quiet")
        << Pieces { "OK\xFF" } << QStringList { QString::fromLocal8Bit("OK\xFF") };
    QTest::newRow("markup shown as typed") << Pieces { "<b>x</b>&amp;" } << QStringList { "<b>x</b>&amp;" };
    // Characters cut by the driver's reads, where the local encoding is UTF-8 and so
    // the test knows their bytes.
    if (!TestSupport::localEncodingIsUtf8())
        return;
    QTest::newRow("two-byte character, 1 + 1") << Pieces { "x\xC3", "\xA9y" }
                                               << QStringList { QStringLiteral("x\u00e9y") };
    QTest::newRow("three-byte character, 1 + 2") << Pieces { "\xE4", "\xB8\xAD" } << QStringList { "中" };
    QTest::newRow("three-byte character, 2 + 1") << Pieces { "\xE4\xB8", "\xAD" } << QStringList { "中" };
    QTest::newRow("four-byte character, 1 + 1 + 2") << Pieces { "\xF0", "\x9F", "\x98\x80" }
                                                    << QStringList { QStringLiteral("\U0001F600") };
    QTest::newRow("whole character, then a split one") << Pieces { "\xE4\xB8\xAD\xE6", "\x96\x87!" }
                                                       << QStringList { "中文!" };
    QTest::newRow("character split before a line feed") << Pieces { "\xE4\xB8", "\xAD\nok" }
                                                        << QStringList { "中", "ok" };
}

void TestReceive::boardText()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QStringList, expected);

    const qint64 x = TestSupport::framesPlotted();
    boardSends(pieces);

    const QString green = expected.join(QString());
    expected.first().prepend(openLine);
    QTRY_COMPARE(paragraphsSinceOpen(), expected);
    QCOMPARE(greenTextSinceOpen(), green);
    QCOMPARE(TestSupport::framesPlotted(), x);
    QCOMPARE(TestSupport::DebugMessages::messages(), QStringList());
}

void TestReceive::splitFrames_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QByteArray>("frameChunk"); // empty when nothing is plotted
    QTest::addColumn<QString>("text");

    const QByteArray &f = referenceFrame;
    QTest::newRow("4 + 6") << QList<QByteArray> { f.left(4), f.mid(4) } << f << QString();
    QTest::newRow("lone FF + 9") << QList<QByteArray> { f.left(1), f.mid(1) } << f << QString();
    QTest::newRow("9 + 1") << QList<QByteArray> { f.left(9), f.mid(9) } << f << QString();
    QTest::newRow("2 + 3 + 5") << QList<QByteArray> { f.left(2), f.mid(2, 3), f.mid(5) } << f << QString();
    QTest::newRow("tail with text behind it") << QList<QByteArray> { f.left(4), f.mid(4) + "OK" } << f << "OK";
    QTest::newRow("split frame, then text") << QList<QByteArray> { f.left(4), f.mid(4), "OK" } << f << "OK";
    QTest::newRow("text, then a split frame") << QList<QByteArray> { "hi", f.left(3), f.mid(3) } << f << "hi";
}

void TestReceive::splitFrames()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QByteArray, frameChunk);
    QFETCH(QString, text);

    const qint64 x = TestSupport::framesPlotted();
    boardSends(pieces);

    QTRY_COMPARE(TestSupport::framesPlotted(), x + 1);
    for (int i = 0; i < Telemetry::seriesCount; ++i) {
        const QLineSeries *series = chartLineSeries[i];
        QCOMPARE(series->at(series->count() - 1), QPointF(double(x), TestSupport::referenceReadings()[i]));
    }
    QCOMPARE(TestSupport::DebugMessages::messages(), QStringList { TestSupport::debugText(frameChunk) });
    QCOMPARE(paragraphsSinceOpen(), QStringList { openLine + text });
    QCOMPARE(greenTextSinceOpen(), text);
}

void TestReceive::burstOfFramesIsPlottedWhole()
{
    int replacements = 0;
    const QMetaObject::Connection counter = connect(chartLineSeries[4], &QXYSeries::pointsReplaced, this,
                                                    [&replacements] { ++replacements; });
    const qint64 x = TestSupport::framesPlotted();
    constexpr int frames = 40;
    // The reference frame with the total counting the frames.
    for (int i = 0; i < frames; ++i)
        boardSends({ TestSupport::telemetryFrame(0x64, 0x0A, 0x50, 0xF0, uchar(i)) });
    // Frames come faster than the curves are redrawn, yet every one is plotted
    // and the newest shows once the burst is over.
    QTRY_COMPARE(TestSupport::framesPlotted(), x + frames);
    disconnect(counter);
    const QLineSeries *total = chartLineSeries[4];
    for (int i = 0; i < frames; ++i)
        QCOMPARE(total->at(total->count() - frames + i), QPointF(double(x + i), double(i)));
    QVERIFY(replacements >= 1);
    qInfo("%d frames, %d redraws", frames, replacements);
}

// The tail of a frame comes while the window is busy, past the time a head is held:
// the read and the end of the wait fall due together, and the event loop may take
// either first. The head is let go only once what the driver holds is read, so the
// frame is plotted whole, every time.
void TestReceive::frameTailWhileTheWindowIsBusy()
{
    const QByteArray &frame = referenceFrame;
    const auto droppedHeads = [] { return TestSupport::DebugMessages::messages().filter("遥测帧不完整").size(); };
    const qint64 x = TestSupport::framesPlotted();
    constexpr int rounds = 100;
    for (int round = 0; round < rounds; ++round) {
        QVERIFY(console->boardSends(frame.left(4)));
        QElapsedTimer sinceHead;
        sinceHead.start();
        QTimer::singleShot(0, this, [&] {
            QVERIFY(console->board().writeMaster(frame.mid(4)));
            int waiting = 0;
            while (sinceHead.elapsed() <= ReceiveStream::holdLimitMs || waiting < frame.size() - 4) {
                QThread::usleep(500);
                ::ioctl(int(serialPortInst->handle()), FIONREAD, &waiting);
            }
        });
        QVERIFY(TestSupport::processEventsUntil([&] { return TestSupport::framesPlotted() > x + round || droppedHeads() > 0; }));
        QVERIFY2(droppedHeads() == 0, qPrintable(QStringLiteral("round %1").arg(round)));
    }
    QCOMPARE(TestSupport::framesPlotted(), x + rounds);
    QCOMPARE(paragraphsSinceOpen(), QStringList { openLine });
}

// A frame head or half a character from before the port was opened again is not
// put in front of what the board sends afterwards.
void TestReceive::heldBytesDroppedOnReopen_data()
{
    QTest::addColumn<QByteArray>("held");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("utf8");

    QTest::newRow("frame head") << referenceFrame.left(4) << QByteArray("AB") << false;
    QTest::newRow("half a character") << QByteArray("\xE4\xB8") << QByteArray("\xAD" "Z") << true;
}

void TestReceive::heldBytesDroppedOnReopen()
{
    QFETCH(QByteArray, held);
    QFETCH(QByteArray, after);
    QFETCH(bool, utf8);
    if (utf8 && !TestSupport::localEncodingIsUtf8())
        QSKIP("the local 8-bit encoding is not UTF-8 here");

    const qint64 x = TestSupport::framesPlotted();
    const int firstOpenLine = openLineParagraph;
    boardSends({ held });
    QCOMPARE(paragraphsSinceOpen(), QStringList { openLine });
    init();
    boardSends({ after });

    QCOMPARE(TestSupport::framesPlotted(), x);
    QCOMPARE(TestSupport::DebugMessages::messages(), QStringList());
    QCOMPARE(TestSupport::logParagraphsFrom(console->window(), firstOpenLine),
             QStringList({ openLine, openLine + QString::fromLocal8Bit(after) }));
}

void TestReceive::longLineFreeStream()
{
    const int length = 3 * LogPane::maxParagraphLength + 100;
    QByteArray text;
    for (int i = 0; i < length; ++i)
        text.append(char('a' + i % 26));
    boardSends(TestSupport::cutEvery(text, 256));

    const QStringList since = paragraphsSinceOpen();
    QCOMPARE(since.join(QString()), openLine + QString::fromLatin1(text));
    QCOMPARE(since.size(), (openLine.size() + length + LogPane::maxParagraphLength - 1)
                               / LogPane::maxParagraphLength);
    for (qsizetype i = 0; i < since.size() - 1; ++i)
        QCOMPARE(since.at(i).size(), qsizetype(LogPane::maxParagraphLength));
    QVERIFY(since.last().size() <= LogPane::maxParagraphLength);
    QCOMPARE(greenTextSinceOpen(), QString::fromLatin1(text));
    QCOMPARE(TestSupport::logParagraphs(console->window()).first(), QStringLiteral("串口报文"));
}

// Through the whole receive path: more lines than the pane keeps.
void TestReceive::boardLinesKeepThePaneBounded()
{
    const int lines = LogPane::maxParagraphs + 500;
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += QByteArray::number(i) + '\n';
    boardSends(TestSupport::cutEvery(text, 4096));

    const QStringList kept = TestSupport::logParagraphs(console->window());
    QVERIFY2(kept.size() <= LogPane::maxParagraphs, qPrintable(QString::number(kept.size())));
    QVERIFY(kept.size() > LogPane::maxParagraphs / 2);
    QCOMPARE(kept.first(), QStringLiteral("串口报文"));
    QCOMPARE(kept.last(), QString());
    for (qsizetype i = 2; i < kept.size(); ++i)
        QCOMPARE(kept.at(i - 1), QString::number(lines - (kept.size() - i)));
}

QTEST_MAIN(TestReceive)

#include "tst_receive.moc"
