#include "logpane.h"

#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace LogPane {

namespace {

bool endsParagraph(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator;
}

} // namespace

void appendLine(QTextBrowser *pane, const QString &line)
{
    pane->append(line);
    limitParagraphs(pane);
}

void insertBoardText(QTextBrowser *pane, const QString &text)
{
    QTextCursor cursor = pane->textCursor();
    cursor.movePosition(QTextCursor::End, QTextCursor::MoveAnchor, 1);
    pane->setTextCursor(cursor);

    QTextCharFormat format;
    format.setForeground(QBrush(Qt::green));
    cursor.setCharFormat(format);

    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype room = maxBoardTextParagraphLength - cursor.positionInBlock();
        const qsizetype lineEnd = std::find_if(text.cbegin() + start, text.cend(), endsParagraph) - text.cbegin();
        if (lineEnd - start > room) {
            if (room > 0)
                cursor.insertText(text.mid(start, room), format);
            cursor.insertBlock();
            start += std::max<qsizetype>(room, 0);
            continue;
        }
        // The line break goes in with its line; CR LF is one break, as insertText takes it.
        qsizetype pieceEnd = lineEnd;
        if (pieceEnd < text.size()) {
            ++pieceEnd;
            if (text.at(lineEnd) == u'\r' && pieceEnd < text.size() && text.at(pieceEnd) == u'\n')
                ++pieceEnd;
        }
        cursor.insertText(text.mid(start, pieceEnd - start), format);
        start = pieceEnd;
    }

    cursor.movePosition(QTextCursor::End, QTextCursor::MoveAnchor, 1);
    // A status line appended next takes the format of the pane's cursor: plain, not green.
    cursor.setCharFormat(QTextCharFormat());
    pane->setTextCursor(cursor);
    limitParagraphs(pane);
}

void limitParagraphs(QTextBrowser *pane, int maxParagraphs)
{
    QTextDocument *document = pane->document();
    const int excess = document->blockCount() - maxParagraphs;
    if (excess <= 0 || maxParagraphs < 2)
        return;
    // Dropping a batch at a time keeps the trimming cost off most insertions.
    const int drop = std::min(excess + maxParagraphs / 20, document->blockCount() - 2);
    QTextCursor cursor(document);
    cursor.setPosition(document->findBlockByNumber(1).position());
    cursor.setPosition(document->findBlockByNumber(1 + drop).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

} // namespace LogPane
