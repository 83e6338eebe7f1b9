#include "testsupport.h"

#include "gui/SerialPortHandler.h"
#include "gui/logpane.h"
#include "core/telemetry.h"

#include <QDebug>
#include <QScrollBar>
#include <QSerialPort>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <memory>

using Readings = std::array<double, Telemetry::seriesCount>;

Q_DECLARE_METATYPE(QList<QByteArray>)
Q_DECLARE_METATYPE(Readings)

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
    void frameHeadDroppedOnReopen();
    void splitCharacters_data();
    void splitCharacters();
    void partialCharacterDroppedOnReopen();

    void longLineFreeStream();
    void limitParagraphs_data();
    void limitParagraphs();
    void boardLinesKeepThePaneBounded();
    void statusLinesKeepThePaneBounded();
    void lineFreeTextKeepsThePaneBounded();
    void linesIntoParagraphs_data();
    void linesIntoParagraphs();
    void statusLineFormat_data();
    void statusLineFormat();
    void boardTextKeepsTheUsersView_data();
    void boardTextKeepsTheUsersView();

private:
    void boardSends(const QList<QByteArray> &pieces);
    QTextBrowser *pane() const;
    // The paragraphs from the open line on, and their green part alone.
    QStringList paragraphsSinceOpen() const;
    QString greenTextSinceOpen() const;

    std::unique_ptr<TestSupport::DebugMessages> debugCapture;
    std::unique_ptr<TestSupport::PtyConsole> console;
    int openLineParagraph = 0;
};

namespace {

const QString openLine = QStringLiteral("串口打开成功");
const QByteArray referenceFrame = QByteArray::fromHex("FFFF000000640A50F07F");
const Readings referenceReadings { 100, 10, 21.6, -7.2, 127 };

bool localEncodingIsUtf8()
{
    return QStringLiteral("\u00e9").toLocal8Bit() == QByteArray("\xC3\xA9");
}

QStringList paragraphs(const QTextDocument *document)
{
    QStringList texts;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        texts.append(block.text());
    return texts;
}

QList<QTextCharFormat> characterFormats(const QTextBlock &block)
{
    QList<QTextCharFormat> formats;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
        formats.append(it.fragment().charFormat());
    return formats;
}

// A pane as the console's starts, with nothing but its first paragraph.
void startPane(QTextBrowser &pane)
{
    pane.setPlainText(QStringLiteral("串口报文"));
}

QStringList cutEvery(const QString &text, qsizetype length)
{
    QStringList pieces;
    for (qsizetype at = 0; at < text.size(); at += length)
        pieces.append(text.mid(at, length));
    return pieces;
}

// Where the user is in the pane when more lines come.
enum class UserPlace { AtTheEnd, ScrolledUp, HoldingSelection, ScrolledUpWhileTrimmed };
enum class UserCursor { Untouched, ClickedIntoBoardText, SelectingBoardText };

} // namespace

Q_DECLARE_METATYPE(UserPlace)
Q_DECLARE_METATYPE(UserCursor)

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

// Each piece taken in by the console as an arrival of its own. The curves are
// redrawn after the arrival, at most once per display frame: a test that expects
// points waits for them; one that expects none sees no frame in the debug output,
// so no redraw can be on its way.
void TestReceive::boardSends(const QList<QByteArray> &pieces)
{
    for (const QByteArray &piece : pieces)
        QVERIFY(console->boardSends(piece));
}

QTextBrowser *TestReceive::pane() const
{
    return TestSupport::widget<QTextBrowser>(console->window(), "textBrowser_logout");
}

QStringList TestReceive::paragraphsSinceOpen() const
{
    return TestSupport::logParagraphsFrom(console->window(), openLineParagraph);
}

QString TestReceive::greenTextSinceOpen() const
{
    QString text;
    const QColor green(Qt::green);
    for (QTextBlock block = pane()->document()->findBlockByNumber(openLineParagraph); block.isValid();
         block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().foreground().color() == green)
                text += it.fragment().text();
        }
    }
    return text;
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
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("AB") << QList<QByteArray> { "AB" } << QStringList { openLine + "AB" };
    QTest::newRow("single byte") << QList<QByteArray> { "Z" } << QStringList { openLine + "Z" };
    QTest::newRow("FF 41 42") << QList<QByteArray> { "\xFF" "AB" }
                              << QStringList { openLine + QString::fromLocal8Bit("\xFF" "AB") };
    QTest::newRow("lone FF, then a non-FF byte") << QList<QByteArray> { "\xFF", "AB" }
                                                 << QStringList { openLine + QString::fromLocal8Bit("\xFF" "AB") };
    QTest::newRow("two arrivals continue one line") << QList<QByteArray> { "AB", "CD" }
                                                    << QStringList { openLine + "ABCD" };
    QTest::newRow("line feed starts a paragraph") << QList<QByteArray> { "line1\nline2" }
                                                  << QStringList { openLine + "line1", "line2" };
    QTest::newRow("carriage return and line feed are one break")
        << QList<QByteArray> { "line1\r\nline2\r\n" } << QStringList { openLine + "line1", "line2", "" };
    QTest::newRow("carriage return ends one arrival, line feed starts the next")
        << QList<QByteArray> { "line1\r", "\nline2" } << QStringList { openLine + "line1", "line2" };
    QTest::newRow("line feed at the end") << QList<QByteArray> { "done\n" } << QStringList { openLine + "done", "" };
    QTest::newRow("lone FF at the end goes out once the line is quiet")
        << QList<QByteArray> { "OK\xFF" } << QStringList { openLine + QString::fromLocal8Bit("OK\xFF") };
    QTest::newRow("markup shown as typed") << QList<QByteArray> { "<b>x</b>&amp;" }
                                           << QStringList { openLine + "<b>x</b>&amp;" };
}

void TestReceive::boardText()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QStringList, expected);

    const qint64 x = TestSupport::framesPlotted();
    boardSends(pieces);

    QTRY_COMPARE(paragraphsSinceOpen(), expected);
    QString green = expected.join(QString());
    green.remove(0, openLine.size());
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
        QCOMPARE(series->at(series->count() - 1), QPointF(double(x), referenceReadings[i]));
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
    for (int i = 0; i < frames; ++i) {
        QByteArray frame = referenceFrame;
        frame[9] = char(i);
        boardSends({ frame });
    }
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

// A frame head from before the port was opened again is not put in front of
// what the board sends afterwards.
void TestReceive::frameHeadDroppedOnReopen()
{
    const qint64 x = TestSupport::framesPlotted();
    const int firstOpenLine = openLineParagraph;
    boardSends({ referenceFrame.left(4) });
    init();
    boardSends({ "AB" });

    QCOMPARE(TestSupport::framesPlotted(), x);
    QCOMPARE(TestSupport::DebugMessages::messages(), QStringList());
    QCOMPARE(TestSupport::logParagraphsFrom(console->window(), firstOpenLine), QStringList({ openLine, openLine + "AB" }));
}

void TestReceive::splitCharacters_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QString>("text");

    QTest::newRow("two-byte character, 1 + 1") << QList<QByteArray> { "x\xC3", "\xA9y" } << QStringLiteral("x\u00e9y");
    QTest::newRow("three-byte character, 1 + 2") << QList<QByteArray> { "\xE4", "\xB8\xAD" } << QStringLiteral("中");
    QTest::newRow("three-byte character, 2 + 1") << QList<QByteArray> { "\xE4\xB8", "\xAD" } << QStringLiteral("中");
    QTest::newRow("four-byte character, 1 + 1 + 2") << QList<QByteArray> { "\xF0", "\x9F", "\x98\x80" }
                                                    << QStringLiteral("\U0001F600");
    QTest::newRow("whole character, then a split one") << QList<QByteArray> { "\xE4\xB8\xAD\xE6", "\x96\x87!" }
                                                       << QStringLiteral("中文!");
    QTest::newRow("split before a line feed") << QList<QByteArray> { "\xE4\xB8", "\xAD\nok" }
                                              << QStringLiteral("中\nok");
}

void TestReceive::splitCharacters()
{
    if (!localEncodingIsUtf8())
        QSKIP("the local 8-bit encoding is not UTF-8 here");
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QString, text);

    boardSends(pieces);

    const QStringList lines = text.split(u'\n');
    QStringList expected { openLine + lines.first() };
    expected += lines.mid(1);
    QCOMPARE(paragraphsSinceOpen(), expected);
    QVERIFY(!paragraphsSinceOpen().join(QString()).contains(QChar::ReplacementCharacter));
    QCOMPARE(greenTextSinceOpen(), QString(text).remove(u'\n'));
}

// Half a character left from before the port was opened again does not join the
// bytes that follow.
void TestReceive::partialCharacterDroppedOnReopen()
{
    if (!localEncodingIsUtf8())
        QSKIP("the local 8-bit encoding is not UTF-8 here");
    const int firstOpenLine = openLineParagraph;
    boardSends({ "\xE4\xB8" });
    QCOMPARE(paragraphsSinceOpen(), QStringList { openLine });
    init();
    boardSends({ "\xAD" "Z" });

    QCOMPARE(TestSupport::logParagraphsFrom(console->window(), firstOpenLine),
             QStringList({ openLine, openLine + QString::fromUtf8("\xAD" "Z") }));
}

void TestReceive::longLineFreeStream()
{
    const int length = 3 * LogPane::maxBoardTextParagraphLength + 100;
    QByteArray text;
    for (int i = 0; i < length; ++i)
        text.append(char('a' + i % 26));
    QList<QByteArray> pieces;
    for (int at = 0; at < length; at += 256)
        pieces.append(text.mid(at, 256));
    boardSends(pieces);

    const QStringList since = paragraphsSinceOpen();
    QCOMPARE(since.join(QString()), openLine + QString::fromLatin1(text));
    QCOMPARE(since.size(), (openLine.size() + length + LogPane::maxBoardTextParagraphLength - 1)
                               / LogPane::maxBoardTextParagraphLength);
    for (qsizetype i = 0; i < since.size() - 1; ++i)
        QCOMPARE(since.at(i).size(), qsizetype(LogPane::maxBoardTextParagraphLength));
    QVERIFY(since.last().size() <= LogPane::maxBoardTextParagraphLength);
    QCOMPARE(greenTextSinceOpen(), QString::fromLatin1(text));
    QCOMPARE(TestSupport::logParagraphs(console->window()).first(), QStringLiteral("串口报文"));
}

void TestReceive::limitParagraphs_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("characterLimit");

    constexpr int characters = LogPane::maxCharacters;
    QTest::newRow("under the limit") << 5 << 10 << characters;
    QTest::newRow("at the limit") << 9 << 10 << characters;
    QTest::newRow("one over") << 10 << 10 << characters;
    QTest::newRow("far over") << 100 << 10 << characters;
    QTest::newRow("first and newest only") << 5 << 2 << characters;
    QTest::newRow("large") << 1000 << 100 << characters;
    // "串口报文" and lines "line 0" to "line 99": 5 + 790 characters, separators included.
    QTest::newRow("characters at their limit") << 100 << 1000 << 795;
    QTest::newRow("characters over") << 100 << 1000 << 400;
    QTest::newRow("characters and paragraphs over") << 1000 << 100 << 400;
}

void TestReceive::limitParagraphs()
{
    QFETCH(int, lines);
    QFETCH(int, limit);
    QFETCH(int, characterLimit);

    QTextBrowser browser;
    browser.setPlainText(QStringLiteral("串口报文"));
    for (int i = 0; i < lines; ++i)
        browser.append(QStringLiteral("line %1").arg(i));
    const int charactersBefore = browser.document()->characterCount();
    LogPane::limitParagraphs(&browser, limit, characterLimit);

    const QStringList kept = paragraphs(browser.document());
    const int characters = browser.document()->characterCount();
    QVERIFY2(kept.size() <= limit, qPrintable(QString::number(kept.size())));
    QVERIFY2(characters <= characterLimit, qPrintable(QString::number(characters)));
    QCOMPARE(kept.first(), QStringLiteral("串口报文"));
    if (lines + 1 <= limit && charactersBefore <= characterLimit) {
        QCOMPARE(kept.size(), qsizetype(lines + 1));
    } else {
        // Trimming drops a batch at a time, but never the bulk of what the bounds allow.
        QVERIFY2(kept.size() >= std::max(2, limit * 9 / 10) || characters >= characterLimit * 9 / 10 - 8,
                 qPrintable(QStringLiteral("%1 paragraphs, %2 characters").arg(kept.size()).arg(characters)));
    }
    // What stays is the newest lines, in order.
    const qsizetype newest = kept.size() - 1;
    for (qsizetype i = 0; i < newest; ++i)
        QCOMPARE(kept.at(1 + i), QStringLiteral("line %1").arg(lines - newest + i));
}

// Through the whole receive path: more lines than the pane keeps.
void TestReceive::boardLinesKeepThePaneBounded()
{
    const int lines = LogPane::maxParagraphs + 500;
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += QByteArray::number(i) + '\n';
    QList<QByteArray> pieces;
    for (qsizetype at = 0; at < text.size(); at += 4096)
        pieces.append(text.mid(at, 4096));
    boardSends(pieces);

    const QStringList kept = TestSupport::logParagraphs(console->window());
    QVERIFY2(kept.size() <= LogPane::maxParagraphs, qPrintable(QString::number(kept.size())));
    QVERIFY(kept.size() > LogPane::maxParagraphs / 2);
    QCOMPARE(kept.first(), QStringLiteral("串口报文"));
    QCOMPARE(kept.last(), QString());
    for (qsizetype i = 2; i < kept.size(); ++i)
        QCOMPARE(kept.at(i - 1), QString::number(lines - (kept.size() - i)));
}

void TestReceive::statusLinesKeepThePaneBounded()
{
    QTextBrowser browser;
    browser.setPlainText(QStringLiteral("串口报文"));
    const int lines = LogPane::maxParagraphs + 100;
    for (int i = 0; i < lines; ++i)
        LogPane::appendLine(&browser, QStringLiteral("<font color=\"orange\">line %1</font>").arg(i));

    const QStringList kept = paragraphs(browser.document());
    QVERIFY2(kept.size() <= LogPane::maxParagraphs, qPrintable(QString::number(kept.size())));
    QCOMPARE(kept.first(), QStringLiteral("串口报文"));
    QCOMPARE(kept.last(), QStringLiteral("line %1").arg(lines - 1));
}

// Board text with no line break at all, more than the pane keeps.
void TestReceive::lineFreeTextKeepsThePaneBounded()
{
    QTextBrowser pane;
    startPane(pane);
    LogPane::appendLine(&pane, openLine);
    QString chunk(1000, QChar());
    for (int i = 0; i < LogPane::maxCharacters * 3 / 2 / chunk.size(); ++i) {
        chunk.fill(QChar(u'a' + i % 26));
        LogPane::insertBoardText(&pane, chunk);
    }

    const QTextDocument *document = pane.document();
    QVERIFY2(document->characterCount() <= LogPane::maxCharacters, qPrintable(QString::number(document->characterCount())));
    QVERIFY(document->characterCount() > LogPane::maxCharacters * 9 / 10);
    QCOMPARE(document->firstBlock().text(), QStringLiteral("串口报文"));
    QVERIFY(document->lastBlock().text().endsWith(chunk));
}

// How the console's lines and the board's text fall into paragraphs: none longer
// than the cap, none cut through a character, markup never cut.
void TestReceive::linesIntoParagraphs_data()
{
    QTest::addColumn<QStringList>("statusLines"); // before the board text
    QTest::addColumn<QStringList>("boardText");   // one insertion each
    QTest::addColumn<QStringList>("expected");    // every paragraph of the pane

    constexpr int cap = LogPane::maxBoardTextParagraphLength;
    const QString first = QStringLiteral("串口报文");
    const QString smiley = QStringLiteral("\U0001F600");
    const QString x(cap, u'x');

    // A hex send of 128 KiB echoes 256 Ki digits on one line.
    const QString hexEcho = QStringLiteral("16进制: ") + QStringLiteral("A5 ").repeated(128 * 1024).trimmed();
    QTest::newRow("hex echo of a 128 KiB send") << QStringList { hexEcho } << QStringList {}
                                                << QStringList { first } + cutEvery(hexEcho, cap);
    QTest::newRow("status line, surrogate pair across the cap")
        << QStringList { x.left(cap - 1) + smiley + "y" } << QStringList {}
        << QStringList { first, x.left(cap - 1), smiley + "y" };
    QTest::newRow("status line, surrogate pair just inside the cap")
        << QStringList { x.left(cap - 2) + smiley + "y" } << QStringList {}
        << QStringList { first, x.left(cap - 2) + smiley, "y" };
    QTest::newRow("markup is never cut") << QStringList { "<font color=\"orange\">" + x + x + "</font>" }
                                         << QStringList {} << QStringList { first, x + x };
    QTest::newRow("plain line with a line break") << QStringList { "无法打开文件: a\n错误: b" } << QStringList {}
                                                  << QStringList { first, "无法打开文件: a", "错误: b" };
    QTest::newRow("board text, surrogate pair across the cap")
        << QStringList {} << QStringList { x.left(cap - first.size() - 1) + smiley + "y" }
        << QStringList { first + x.left(cap - first.size() - 1), smiley + "y" };
    QTest::newRow("board text, surrogate pair across the cap, in two insertions")
        << QStringList {} << QStringList { x.left(cap - first.size() - 1), smiley + "y" }
        << QStringList { first + x.left(cap - first.size() - 1), smiley + "y" };
    QTest::newRow("board text, CR at the end of one insertion, LF at the start of the next")
        << QStringList {} << QStringList { "a\r", "\nb" } << QStringList { first + "a", "b" };
    QTest::newRow("board text, CR then CR") << QStringList {} << QStringList { "a\r", "\rb" }
                                            << QStringList { first + "a", "", "b" };
}

void TestReceive::linesIntoParagraphs()
{
    QFETCH(QStringList, statusLines);
    QFETCH(QStringList, boardText);
    QFETCH(QStringList, expected);

    QTextBrowser pane;
    startPane(pane);
    for (const QString &line : std::as_const(statusLines))
        LogPane::appendLine(&pane, line);
    for (const QString &text : std::as_const(boardText))
        LogPane::insertBoardText(&pane, text);

    QCOMPARE(paragraphs(pane.document()), expected);
}

void TestReceive::statusLineFormat_data()
{
    QTest::addColumn<UserCursor>("userCursor");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QColor>("colour"); // none for a plain line

    const QString orange = QStringLiteral("<font color=\"orange\">GPU上电</font>");
    const QString red = QStringLiteral("<font color=\"red\">烧录成功！</font>");
    QTest::newRow("plain, cursor untouched") << UserCursor::Untouched << "关闭串口" << QColor();
    QTest::newRow("plain, clicked into board text") << UserCursor::ClickedIntoBoardText << "关闭串口" << QColor();
    QTest::newRow("plain, board text selected") << UserCursor::SelectingBoardText << "串口未打开" << QColor();
    QTest::newRow("plain with a reason, clicked into board text")
        << UserCursor::ClickedIntoBoardText << "串口已断开: 设备已挂断" << QColor();
    QTest::newRow("orange, clicked into board text") << UserCursor::ClickedIntoBoardText << orange << QColor("orange");
    QTest::newRow("red, board text selected") << UserCursor::SelectingBoardText << red << QColor(Qt::red);
}

void TestReceive::statusLineFormat()
{
    QFETCH(UserCursor, userCursor);
    QFETCH(QString, line);
    QFETCH(QColor, colour);

    QTextBrowser reference;
    startPane(reference);
    LogPane::appendLine(&reference, line);
    const QTextBlock expected = reference.document()->lastBlock();

    QTextBrowser pane;
    startPane(pane);
    LogPane::appendLine(&pane, openLine);
    LogPane::insertBoardText(&pane, QStringLiteral("board says hello"));
    QTextCursor user(pane.document());
    const int boardText = pane.document()->lastBlock().position() + int(openLine.size());
    switch (userCursor) {
    case UserCursor::Untouched:
        break;
    case UserCursor::ClickedIntoBoardText:
        user.setPosition(boardText + 3);
        break;
    case UserCursor::SelectingBoardText:
        user.setPosition(boardText + 3);
        user.setPosition(boardText + 8, QTextCursor::KeepAnchor);
        break;
    }
    pane.setTextCursor(user);
    LogPane::appendLine(&pane, line);

    const QTextBlock appended = pane.document()->lastBlock();
    QCOMPARE(appended.text(), expected.text());
    const QList<QTextCharFormat> formats = characterFormats(appended);
    QCOMPARE(formats, characterFormats(expected));
    for (const QTextCharFormat &format : formats) {
        if (colour.isValid())
            QCOMPARE(format.foreground().color(), colour);
        else
            QVERIFY(!format.hasProperty(QTextFormat::ForegroundBrush));
    }
    QCOMPARE(pane.textCursor().selectedText(), user.selectedText());
}

void TestReceive::boardTextKeepsTheUsersView_data()
{
    QTest::addColumn<UserPlace>("place");

    QTest::newRow("at the end, the pane follows") << UserPlace::AtTheEnd;
    QTest::newRow("scrolled up") << UserPlace::ScrolledUp;
    QTest::newRow("holding a selection at the end") << UserPlace::HoldingSelection;
    QTest::newRow("scrolled up while the oldest lines are dropped") << UserPlace::ScrolledUpWhileTrimmed;
}

void TestReceive::boardTextKeepsTheUsersView()
{
    QFETCH(UserPlace, place);

    QTextBrowser pane;
    pane.resize(320, 200);
    startPane(pane);
    for (int i = 0; i < 200; ++i)
        LogPane::insertBoardText(&pane, QStringLiteral("line %1\n").arg(i));
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QScrollBar *scrollBar = pane.verticalScrollBar();
    scrollBar->setValue(place == UserPlace::ScrolledUp || place == UserPlace::ScrolledUpWhileTrimmed
                            ? scrollBar->maximum() / 2
                            : scrollBar->maximum());
    if (place == UserPlace::HoldingSelection) {
        QTextCursor selection(pane.document()->findBlockByNumber(195));
        selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        pane.setTextCursor(selection);
    }
    const int maximumBefore = scrollBar->maximum();
    const auto topLine = [&pane] { return pane.cursorForPosition(QPoint(2, 2)).block().text(); };
    const QString topLineBefore = topLine();
    const QString selectedBefore = pane.textCursor().selectedText();

    for (int i = 0; i < 50; ++i)
        LogPane::insertBoardText(&pane, QStringLiteral("more %1\n").arg(i));
    if (place == UserPlace::ScrolledUpWhileTrimmed)
        LogPane::limitParagraphs(&pane, 200);

    QCOMPARE(pane.textCursor().selectedText(), selectedBefore);
    if (place == UserPlace::AtTheEnd) {
        QVERIFY(scrollBar->maximum() > maximumBefore);
        QCOMPARE(scrollBar->value(), scrollBar->maximum());
    } else {
        QCOMPARE(topLine(), topLineBefore);
    }
}

QTEST_MAIN(TestReceive)

#include "tst_receive.moc"
