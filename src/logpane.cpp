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
        const qsizetype room = MaxBoardTextParagraphLength - cursor.positionInBlock();
        if (room <= 0) {
            cursor.insertBlock();
            continue;
        }
        const auto lineEnd = std::find_if(text.cbegin() + start, text.cend(), endsParagraph);
        const qsizetype pieceEnd = lineEnd == text.cend() ? text.size() : (lineEnd - text.cbegin()) + 1;
        const qsizetype take = std::min(pieceEnd - start, room);
        cursor.insertText(text.mid(start, take), format);
        start += take;
    }

    cursor.movePosition(QTextCursor::End, QTextCursor::MoveAnchor, 1);
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
