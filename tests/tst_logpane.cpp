#include "core/firmwareimage.h"
#include "coretestsupport.h"
#include "gui/logpane.h"

#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <algorithm>

using TestSupport::cutEvery;

// The log pane alone, on a text browser of its own: how lines fall into
// paragraphs, how they look, how the pane stays bounded and where the user's view
// stays.
class TestLogPane : public QObject
{
    Q_OBJECT

private slots:
    void limitParagraphs_data();
    void limitParagraphs();
    void statusLinesKeepThePaneBounded();
    void lineFreeTextKeepsThePaneBounded();
    void linesIntoParagraphs_data();
    void linesIntoParagraphs();
    void statusLineFormat_data();
    void statusLineFormat();
    void boardTextKeepsTheUsersView_data();
    void boardTextKeepsTheUsersView();
    void describeImage();
    void describeImageWithoutBirthTime();
};

namespace {

const QString openLine = QStringLiteral("串口打开成功");

QList<QTextCharFormat> characterFormats(const QTextBlock &block)
{
    QList<QTextCharFormat> formats;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
        formats.append(it.fragment().charFormat());
    return formats;
}

// A pane as the console's starts, with nothing but its first paragraph.
struct Pane
{
    Pane() { browser.setPlainText(QStringLiteral("串口报文")); }

    QStringList paragraphs() const
    {
        QStringList texts;
        for (QTextBlock block = browser.document()->begin(); block.isValid(); block = block.next())
            texts.append(block.text());
        return texts;
    }

    QTextBrowser browser;
    LogPane log { &browser };
};

// Where the user is in the pane when more lines come.
enum class UserPlace { AtTheEnd, ScrolledUp, HoldingSelection, ScrolledUpWhileTrimmed };
enum class UserCursor { Untouched, ClickedIntoBoardText, SelectingBoardText };

} // namespace

Q_DECLARE_METATYPE(UserPlace)
Q_DECLARE_METATYPE(UserCursor)
Q_DECLARE_METATYPE(LogPane::LineKind)

void TestLogPane::limitParagraphs_data()
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

void TestLogPane::limitParagraphs()
{
    QFETCH(int, lines);
    QFETCH(int, limit);
    QFETCH(int, characterLimit);

    Pane pane;
    for (int i = 0; i < lines; ++i)
        pane.browser.append(QStringLiteral("line %1").arg(i));
    const int charactersBefore = pane.browser.document()->characterCount();
    pane.log.limitParagraphs(limit, characterLimit);

    const QStringList kept = pane.paragraphs();
    const int characters = pane.browser.document()->characterCount();
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

void TestLogPane::statusLinesKeepThePaneBounded()
{
    Pane pane;
    const int lines = LogPane::maxParagraphs + 100;
    for (int i = 0; i < lines; ++i)
        pane.log.appendLine(QStringLiteral("line %1").arg(i), LogPane::UserAction);

    const QStringList kept = pane.paragraphs();
    QVERIFY2(kept.size() <= LogPane::maxParagraphs, qPrintable(QString::number(kept.size())));
    QCOMPARE(kept.first(), QStringLiteral("串口报文"));
    QCOMPARE(kept.last(), QStringLiteral("line %1").arg(lines - 1));
}

// Board text with no line break at all, more than the pane keeps.
void TestLogPane::lineFreeTextKeepsThePaneBounded()
{
    Pane pane;
    pane.log.appendLine(openLine);
    QString chunk(1000, QChar());
    for (int i = 0; i < LogPane::maxCharacters * 3 / 2 / chunk.size(); ++i) {
        chunk.fill(QChar(u'a' + i % 26));
        pane.log.insertBoardText(chunk);
    }

    const QTextDocument *document = pane.browser.document();
    QVERIFY2(document->characterCount() <= LogPane::maxCharacters, qPrintable(QString::number(document->characterCount())));
    QVERIFY(document->characterCount() > LogPane::maxCharacters * 9 / 10);
    QCOMPARE(document->firstBlock().text(), QStringLiteral("串口报文"));
    QVERIFY(document->lastBlock().text().endsWith(chunk));
}

// How the console's lines and the board's text fall into paragraphs: none longer
// than the cap, none cut through a character, markup never cut.
void TestLogPane::linesIntoParagraphs_data()
{
    QTest::addColumn<QStringList>("statusLines"); // before the board text
    QTest::addColumn<QStringList>("boardText");   // one insertion each
    QTest::addColumn<QStringList>("expected");    // every paragraph of the pane

    constexpr int cap = LogPane::maxParagraphLength;
    const QString first = QStringLiteral("串口报文");
    const QString smiley = QStringLiteral("\U0001F600");
    const QString x(cap, u'x');

    // A hex send of 128 KiB echoes 256 Ki digits on one line.
    const QString hexEcho = QStringLiteral("16进制: ") + QStringLiteral("A5 ").repeated(128 * 1024).trimmed();
    QTest::newRow("hex echo of a 128 KiB send") << QStringList { hexEcho } << QStringList {}
                                                << QStringList { first } + cutEvery(hexEcho, cap);
    QStringList echoThenBoardText = QStringList { first } + cutEvery(hexEcho, cap);
    echoThenBoardText.last() += "a";
    echoThenBoardText.append("b");
    QTest::newRow("board text waits behind a line longer than a turn")
        << QStringList { hexEcho } << QStringList { "a\r", "\nb" } << echoThenBoardText;
    QTest::newRow("status line, surrogate pair across the cap")
        << QStringList { x.left(cap - 1) + smiley + "y" } << QStringList {}
        << QStringList { first, x.left(cap - 1), smiley + "y" };
    QTest::newRow("status line, surrogate pair just inside the cap")
        << QStringList { x.left(cap - 2) + smiley + "y" } << QStringList {}
        << QStringList { first, x.left(cap - 2) + smiley, "y" };
    QTest::newRow("markup is shown, not rendered") << QStringList { "<b>a &amp; b</b>" } << QStringList {}
                                                   << QStringList { first, "<b>a &amp; b</b>" };
    QTest::newRow("board text holding frame markers makes no paragraph")
        << QStringList {} << QStringList { QString::fromUtf8("a\xEF\xB7\x90" "b\xEF\xB7\x91" "c\n") }
        << QStringList { first + "a\uFFFDb\uFFFDc", "" };
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

void TestLogPane::linesIntoParagraphs()
{
    QFETCH(QStringList, statusLines);
    QFETCH(QStringList, boardText);
    QFETCH(QStringList, expected);

    Pane pane;
    for (const QString &line : std::as_const(statusLines))
        pane.log.appendLine(line);
    for (const QString &text : std::as_const(boardText))
        pane.log.insertBoardText(text);

    QTRY_COMPARE(pane.paragraphs(), expected);
}

void TestLogPane::statusLineFormat_data()
{
    QTest::addColumn<UserCursor>("userCursor");
    QTest::addColumn<QString>("line");
    QTest::addColumn<LogPane::LineKind>("kind");
    QTest::addColumn<QColor>("colour"); // none for a plain line

    const LogPane::LineKind plain = LogPane::Outcome;
    QTest::newRow("plain, cursor untouched") << UserCursor::Untouched << "关闭串口" << plain << QColor();
    QTest::newRow("plain, clicked into board text")
        << UserCursor::ClickedIntoBoardText << "关闭串口" << plain << QColor();
    QTest::newRow("plain, board text selected") << UserCursor::SelectingBoardText << "串口未打开" << plain << QColor();
    QTest::newRow("plain with a reason, clicked into board text")
        << UserCursor::ClickedIntoBoardText << "串口已断开: 设备已挂断" << plain << QColor();
    QTest::newRow("user action, clicked into board text")
        << UserCursor::ClickedIntoBoardText << "GPU上电" << LogPane::UserAction << QColor("orange");
    QTest::newRow("flash done, board text selected")
        << UserCursor::SelectingBoardText << "烧录成功！" << LogPane::FlashDone << QColor(Qt::red);
}

void TestLogPane::statusLineFormat()
{
    QFETCH(UserCursor, userCursor);
    QFETCH(QString, line);
    QFETCH(LogPane::LineKind, kind);
    QFETCH(QColor, colour);

    Pane reference;
    reference.log.appendLine(line, kind);
    const QTextBlock expected = reference.browser.document()->lastBlock();

    Pane pane;
    pane.log.appendLine(openLine);
    pane.log.insertBoardText(QStringLiteral("board says hello"));
    QTextCursor user(pane.browser.document());
    const int boardText = pane.browser.document()->lastBlock().position() + int(openLine.size());
    if (userCursor != UserCursor::Untouched)
        user.setPosition(boardText + 3);
    if (userCursor == UserCursor::SelectingBoardText)
        user.setPosition(boardText + 8, QTextCursor::KeepAnchor);
    pane.browser.setTextCursor(user);
    pane.log.appendLine(line, kind);

    const QTextBlock appended = pane.browser.document()->lastBlock();
    QCOMPARE(appended.text(), expected.text());
    const QList<QTextCharFormat> formats = characterFormats(appended);
    QCOMPARE(formats, characterFormats(expected));
    for (const QTextCharFormat &format : formats) {
        if (colour.isValid())
            QCOMPARE(format.foreground().color(), colour);
        else
            QVERIFY(!format.hasProperty(QTextFormat::ForegroundBrush));
    }
    QCOMPARE(pane.browser.textCursor().selectedText(), user.selectedText());
}

void TestLogPane::boardTextKeepsTheUsersView_data()
{
    QTest::addColumn<UserPlace>("place");

    QTest::newRow("at the end, the pane follows") << UserPlace::AtTheEnd;
    QTest::newRow("scrolled up") << UserPlace::ScrolledUp;
    QTest::newRow("holding a selection at the end") << UserPlace::HoldingSelection;
    QTest::newRow("scrolled up while the oldest lines are dropped") << UserPlace::ScrolledUpWhileTrimmed;
}

void TestLogPane::boardTextKeepsTheUsersView()
{
    QFETCH(UserPlace, place);

    Pane pane;
    pane.browser.resize(320, 200);
    for (int i = 0; i < 200; ++i)
        pane.log.insertBoardText(QStringLiteral("line %1\n").arg(i));
    pane.browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane.browser));
    QScrollBar *scrollBar = pane.browser.verticalScrollBar();
    scrollBar->setValue(place == UserPlace::ScrolledUp || place == UserPlace::ScrolledUpWhileTrimmed
                            ? scrollBar->maximum() / 2
                            : scrollBar->maximum());
    if (place == UserPlace::HoldingSelection) {
        QTextCursor selection(pane.browser.document()->findBlockByNumber(195));
        selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        pane.browser.setTextCursor(selection);
    }
    const int maximumBefore = scrollBar->maximum();
    const auto topLine = [&pane] { return pane.browser.cursorForPosition(QPoint(2, 2)).block().text(); };
    const QString topLineBefore = topLine();
    const QString selectedBefore = pane.browser.textCursor().selectedText();

    for (int i = 0; i < 50; ++i)
        pane.log.insertBoardText(QStringLiteral("more %1\n").arg(i));
    if (place == UserPlace::ScrolledUpWhileTrimmed)
        pane.log.limitParagraphs(200);

    QCOMPARE(pane.browser.textCursor().selectedText(), selectedBefore);
    if (place == UserPlace::AtTheEnd) {
        QVERIFY(scrollBar->maximum() > maximumBefore);
        QCOMPARE(scrollBar->value(), scrollBar->maximum());
    } else {
        QCOMPARE(topLine(), topLineBefore);
    }
}

void TestLogPane::describeImage()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("固件 <b>v1 &amp;.bin"));
    QVERIFY(TestSupport::writeFile(path, TestSupport::patternImage(1234)));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime(QDate(2023, 4, 5), QTime(16, 7, 8)), QFileDevice::FileModificationTime));
    }

    Pane pane;
    const FirmwareImage::Description description = FirmwareImage::describe(QFileInfo(path));
    pane.log.appendImageIdentity(description);
    pane.log.appendImageDetails(description);

    QStringList lines = pane.paragraphs().mid(1);
    QCOMPARE(lines.size(), 7);
    // The creation time is the file system's, where it records one.
    const QString birth = lines.takeAt(5);
    const QRegularExpression birthLine(QStringLiteral("^创建时间: (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)?$"));
    QVERIFY2(birthLine.match(birth).hasMatch(), qPrintable(birth));
    // Names the user chose are shown as they are, markup and all.
    QCOMPARE(lines, QStringList({ QString(), "=== 文件信息 ===", "文件名: 固件 <b>v1 &amp;.bin",
                                  "文件路径: " + QFileInfo(path).absoluteFilePath(), "文件大小: 1234 字节",
                                  "修改时间: 2023-04-05 16:07:08" }));
}

void TestLogPane::describeImageWithoutBirthTime()
{
    // The proc file system records no creation time.
    const QFileInfo info(QStringLiteral("/proc/version"));
    if (!info.exists() || info.birthTime().isValid())
        QSKIP("no file here without a creation time");
    Pane pane;
    pane.log.appendImageDetails(FirmwareImage::describe(info));
    QCOMPARE(pane.paragraphs().at(2), QStringLiteral("创建时间: "));
}

QTEST_MAIN(TestLogPane)

#include "tst_logpane.moc"
