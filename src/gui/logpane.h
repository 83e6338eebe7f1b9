#ifndef LOGPANE_H
#define LOGPANE_H

#include <QString>

class QTextBrowser;

// The log pane keeps a flat cost per line however long the board talks: board text
// that never breaks a line is cut into paragraphs of bounded length (laying out a
// paragraph costs its whole length on every insertion), and the oldest paragraphs
// after the first one, "串口报文", are dropped past a fixed count.
namespace LogPane {

constexpr int maxParagraphs = 20000;
constexpr int maxBoardTextParagraphLength = 4096;

// A status line: a paragraph of its own, simple HTML rendered.
void appendLine(QTextBrowser *pane, const QString &line);

// Board text: in green, continuing the pane's last line, markup shown as typed.
void insertBoardText(QTextBrowser *pane, const QString &text);

// Drops the oldest paragraphs after the first while there are more than maxParagraphs.
void limitParagraphs(QTextBrowser *pane, int maxParagraphs = maxParagraphs);

} // namespace LogPane

#endif // LOGPANE_H
