#include "gui/logpane.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QVariant>

#include <algorithm>

namespace LogPane {

namespace {

// Set on the document after board text that ended with a carriage return: the
// document's length then. A line feed that starts the next board text at that same
// length belongs to that CR, which has broken the line already. Any line appended
// or trimmed since changes the length, and the line feed is a break of its own again.
const char carriageReturnEndedAt[] = "logPaneCarriageReturnEndedAt";

bool endsParagraph(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator;
}

// Inserts text at the cursor in one format. A line break starts a new paragraph, as
// QTextCursor::insertText makes it (CR LF is one break), and so does a paragraph
// that would grow past maxBoardTextParagraphLength, cut before a surrogate pair
// rather than through it.
void insertCut(QTextCursor &cursor, QStringView text, const QTextCharFormat &format)
{
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype room = std::max<qsizetype>(maxBoardTextParagraphLength - cursor.positionInBlock(), 0);
        const qsizetype lineEnd = std::find_if(text.cbegin() + start, text.cend(), endsParagraph) - text.cbegin();
        if (lineEnd - start > room) {
            qsizetype cut = start + room;
            if (cut > start && text.at(cut - 1).isHighSurrogate())
                --cut;
            cursor.insertText(text.sliced(start, cut - start).toString(), format);
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
        cursor.insertText(text.sliced(start, pieceEnd - start).toString(), format);
        start = pieceEnd;
    }
}

// Drops paragraphs from the second one on, a batch at a time so that most insertions
// trim nothing; returns the height they took up in the pane.
qreal dropOldest(QTextDocument *document, int maxParagraphs, int maxCharacters)
{
    const int paragraphExcess = document->blockCount() - maxParagraphs;
    const int characterExcess = document->characterCount() - maxCharacters;
    if (paragraphExcess <= 0 && characterExcess <= 0)
        return 0;
    const int paragraphsToDrop = paragraphExcess > 0 ? paragraphExcess + maxParagraphs / 20 : 0;
    const int charactersToDrop = characterExcess > 0 ? characterExcess + maxCharacters / 20 : 0;

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

QTextCursor endOf(QTextDocument *document)
{
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    return cursor;
}

} // namespace

void appendLine(QTextBrowser *pane, const QString &line)
{
    const UserView view(pane);
    QTextDocument *document = pane->document();
    QTextCursor cursor = endOf(document);
    cursor.beginEditBlock();
    // Fresh formats: the pane's own cursor carries whatever the user last clicked into.
    if (!document->isEmpty())
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    // Only plain lines grow long (the hex echo of a send), and only they can be cut
    // without breaking markup; Qt::mightBeRichText is the test QTextEdit::append makes.
    if (Qt::mightBeRichText(line))
        cursor.insertHtml(line);
    else
        insertCut(cursor, line, QTextCharFormat());
    cursor.endEditBlock();
    view.restore(dropOldest(document, maxParagraphs, maxCharacters));
}

void insertBoardText(QTextBrowser *pane, const QString &text)
{
    // Half a character held by the decoder comes as nothing; it changes nothing either.
    if (text.isEmpty())
        return;
    const UserView view(pane);
    QTextDocument *document = pane->document();
    QStringView rest(text);
    if (rest.startsWith(u'\n') && document->property(carriageReturnEndedAt).toInt() == document->characterCount())
        rest = rest.sliced(1);

    QTextCharFormat format;
    format.setForeground(QBrush(Qt::green));
    QTextCursor cursor = endOf(document);
    cursor.beginEditBlock();
    insertCut(cursor, rest, format);
    cursor.endEditBlock();
    const qreal heightTrimmed = dropOldest(document, maxParagraphs, maxCharacters);
    document->setProperty(carriageReturnEndedAt, text.endsWith(u'\r') ? document->characterCount() : 0);
    view.restore(heightTrimmed);
}

void limitParagraphs(QTextBrowser *pane, int maxParagraphs, int maxCharacters)
{
    const UserView view(pane);
    view.restore(dropOldest(pane->document(), maxParagraphs, maxCharacters));
}

} // namespace LogPane
