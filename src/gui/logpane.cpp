#include "gui/logpane.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

namespace {

QTextCharFormat lineFormat(LogPane::LineKind kind)
{
    QTextCharFormat format;
    switch (kind) {
    case LogPane::Outcome:
        break;
    case LogPane::UserAction:
        format.setForeground(QColor(QStringLiteral("orange")));
        break;
    case LogPane::FlashDone:
        format.setForeground(QColor(Qt::red));
        break;
    }
    return format;
}

QTextCharFormat boardTextFormat()
{
    QTextCharFormat format;
    format.setForeground(QBrush(Qt::green));
    return format;
}

bool endsParagraph(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator;
}

// The document takes these two code points as the start and the end of a frame,
// which would let a line make structure in the pane; they are shown as the
// replacement character instead.
QString withoutFrameMarkers(QStringView text)
{
    QString shown = text.toString();
    for (QChar &c : shown) {
        if (c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1)
            c = QChar::ReplacementCharacter;
    }
    return shown;
}

// Inserts text at the cursor in one format. A line break starts a new paragraph, as
// QTextCursor::insertText makes it (CR LF is one break), and so does a paragraph
// that would grow past maxParagraphLength, cut before a surrogate pair rather than
// through it.
void insertCut(QTextCursor &cursor, QStringView text, const QTextCharFormat &format)
{
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype room = std::max<qsizetype>(LogPane::maxParagraphLength - cursor.positionInBlock(), 0);
        // Looking no further than the paragraph can hold keeps a long text without
        // breaks (the hex echo of a 1 MiB send) from being scanned once per piece.
        const auto searchEnd = text.cbegin() + std::min(text.size(), start + room + 1);
        const qsizetype lineEnd = std::find_if(text.cbegin() + start, searchEnd, endsParagraph) - text.cbegin();
        if (lineEnd - start > room) {
            qsizetype cut = start + room;
            if (cut > start && text.at(cut - 1).isHighSurrogate())
                --cut;
            cursor.insertText(withoutFrameMarkers(text.sliced(start, cut - start)), format);
            cursor.insertBlock(QTextBlockFormat(), format);
            start = cut;
            continue;
        }
        qsizetype pieceEnd = lineEnd;
        if (pieceEnd < text.size()) {
            ++pieceEnd;
            if (text.at(lineEnd) == u'\r' && pieceEnd < text.size() && text.at(pieceEnd) == u'\n')
                ++pieceEnd;
        }
        cursor.insertText(withoutFrameMarkers(text.sliced(start, pieceEnd - start)), format);
        start = pieceEnd;
    }
}

// Drops paragraphs from the second one on, a batch at a time so that most insertions
// trim nothing; returns the height they took up in the pane.
qreal dropOldest(QTextDocument *document, int paragraphLimit, int characterLimit)
{
    const int paragraphExcess = document->blockCount() - paragraphLimit;
    const int characterExcess = document->characterCount() - characterLimit;
    if (paragraphExcess <= 0 && characterExcess <= 0)
        return 0;
    const int paragraphsToDrop = paragraphExcess > 0 ? paragraphExcess + paragraphLimit / 20 : 0;
    const int charactersToDrop = characterExcess > 0 ? characterExcess + characterLimit / 20 : 0;

    const QTextBlock first = document->begin().next();
    QTextBlock kept = first;
    int paragraphs = 0;
    int characters = 0;
    while (kept.isValid() && kept != document->lastBlock()
           && (paragraphs < paragraphsToDrop || characters < charactersToDrop)) {
        ++paragraphs;
        characters += kept.length();
        kept = kept.next();
    }
    if (paragraphs == 0)
        return 0;

    const QAbstractTextDocumentLayout *layout = document->documentLayout();
    const qreal height = layout->blockBoundingRect(kept).top() - layout->blockBoundingRect(first).top();
    QTextCursor cursor(document);
    cursor.setPosition(first.position());
    cursor.setPosition(kept.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    return height;
}

// Where the user is in the pane, taken before a change at its end and put back after.
class UserView
{
public:
    explicit UserView(QTextBrowser *pane)
        : m_scrollBar(pane->verticalScrollBar())
        , m_offset(m_scrollBar->value())
        , m_followsEnd(!pane->textCursor().hasSelection() && m_offset >= m_scrollBar->maximum())
    {
    }

    // What was trimmed above the view moves the text up by its height; the view moves
    // with the text, so the user keeps reading the same lines.
    void restore(qreal heightTrimmed) const
    {
        m_scrollBar->setValue(m_followsEnd ? m_scrollBar->maximum() : m_offset - qRound(heightTrimmed));
    }

private:
    QScrollBar *m_scrollBar;
    int m_offset;
    bool m_followsEnd;
};

// Where a slice of text that starts at from ends, taking at most length
// characters, but never parting a surrogate pair or a CR from its LF.
qsizetype sliceEnd(QStringView text, qsizetype from, qsizetype length)
{
    qsizetype end = from + std::min(text.size() - from, length);
    if (end < text.size()
        && ((text.at(end - 1).isHighSurrogate() && text.at(end).isLowSurrogate())
            || (text.at(end - 1) == u'\r' && text.at(end) == u'\n')))
        ++end;
    return end;
}

QString timeText(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

LogPane::LogPane(QTextBrowser *browser, QObject *parent)
    : QObject(parent)
    , m_browser(browser)
    , m_pendingTimer(new QTimer(this))
{
    m_pendingTimer->setSingleShot(true);
    m_pendingTimer->setInterval(0);
    connect(m_pendingTimer, &QTimer::timeout, this, [this] { insertPending(QDeadlineTimer(insertTimePerTurn)); });
}

// Text given while nothing waits goes in at once, as far as one paragraph: the
// caller's own turn may already have used up much of what the window can spare.
void LogPane::enqueue(PendingText &&text)
{
    m_pending.append(std::move(text));
    if (m_pending.size() == 1)
        insertPending(QDeadlineTimer(0));
}

// A paragraph's worth at a time, so that the time a turn takes is bounded by what
// laying out one paragraph costs; a shown pane lays out as text goes in. At least
// one piece goes in, whatever the deadline.
void LogPane::insertPending(QDeadlineTimer deadline)
{
    while (!m_pending.isEmpty()) {
        PendingText &head = m_pending.first();
        insertSlice(head, sliceEnd(head.text, head.inserted, maxParagraphLength));
        if (head.inserted == head.text.size())
            m_pending.removeFirst();
        if (deadline.hasExpired())
            break;
    }
    if (m_pending.isEmpty())
        m_pendingTimer->stop();
    else
        m_pendingTimer->start();
}

void LogPane::insertSlice(PendingText &pending, qsizetype end)
{
    QStringView slice = QStringView(pending.text).sliced(pending.inserted, end - pending.inserted);
    const bool first = pending.inserted == 0;
    pending.inserted = end;
    if (!pending.boardText) {
        insertAtEnd(slice, lineFormat(pending.kind), first);
        return;
    }
    if (first && slice.startsWith(u'\n') && m_carriageReturnEndedAt == m_browser->document()->characterCount())
        slice = slice.sliced(1);
    insertAtEnd(slice, boardTextFormat(), false);
    m_carriageReturnEndedAt = end == pending.text.size() && pending.text.endsWith(u'\r')
        ? m_browser->document()->characterCount()
        : -1;
}

void LogPane::flush()
{
    insertPending(QDeadlineTimer(QDeadlineTimer::Forever));
}

void LogPane::insertAtEnd(QStringView text, const QTextCharFormat &format, bool newParagraph)
{
    const UserView view(m_browser);
    QTextDocument *document = m_browser->document();
    // A cursor of its own, with fresh formats: the pane's cursor carries whatever
    // the user last clicked into.
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    if (newParagraph && !document->isEmpty())
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    insertCut(cursor, text, format);
    cursor.endEditBlock();
    view.restore(dropOldest(document, maxParagraphs, maxCharacters));
}

void LogPane::appendLine(const QString &line, LineKind kind)
{
    enqueue({ line, kind, false });
}

void LogPane::insertBoardText(const QString &text)
{
    // Half a character held by the decoder comes as nothing; it changes nothing either.
    if (text.isEmpty())
        return;
    enqueue({ text, Outcome, true });
}

void LogPane::appendImageIdentity(const FirmwareImage::Description &image)
{
    appendLine(QStringLiteral("\n") + QCoreApplication::translate("MainWindow", "=== 文件信息 ==="));
    appendLine(QCoreApplication::translate("MainWindow", "文件名: ") + image.fileName);
    appendLine(QCoreApplication::translate("MainWindow", "文件路径: ") + image.absoluteFilePath);
}

void LogPane::appendImageDetails(const FirmwareImage::Description &image)
{
    appendLine(QCoreApplication::translate("MainWindow", "文件大小: %1 字节").arg(image.size));
    appendLine(QCoreApplication::translate("MainWindow", "创建时间: ") + timeText(image.created));
    appendLine(QCoreApplication::translate("MainWindow", "修改时间: ") + timeText(image.modified));
}

void LogPane::limitParagraphs(int paragraphLimit, int characterLimit)
{
    const UserView view(m_browser);
    view.restore(dropOldest(m_browser->document(), paragraphLimit, characterLimit));
}

void LogPane::clear()
{
    m_pending.clear();
    m_pendingTimer->stop();
    QTextCursor cursor(m_browser->document());
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    m_carriageReturnEndedAt = -1;
}

bool LogPane::saveTo(const QString &fileName, QString *error)
{
    flush();
    QSaveFile file(fileName);
    const QByteArray text = m_browser->document()->toPlainText().toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
