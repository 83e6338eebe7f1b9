#ifndef LOGPANE_H
#define LOGPANE_H

#include <QString>

class QTextBrowser;

// The log pane keeps a flat cost per line however long the board talks: text that
// never breaks a line is cut into paragraphs of bounded length (laying out a
// paragraph costs its whole length on every insertion), and the oldest paragraphs
// after the first one, "串口报文", are dropped past a fixed count and a fixed
// number of characters.
//
// Whatever the user does in the pane, lines go in at its end with the format the
// console gives them, and neither the user's selection nor a view scrolled up
// moves; a view at the end follows the end.
namespace LogPane {

constexpr int maxParagraphs = 20000;
constexpr int maxCharacters = 4 * 1000 * 1000;
// Board text and the console's own plain lines alike.
constexpr int maxBoardTextParagraphLength = 4096;

// A status line: a paragraph of its own, simple HTML rendered; a plain line is cut
// into paragraphs like board text.
void appendLine(QTextBrowser *pane, const QString &line);

// Board text: in green, continuing the pane's last line, markup shown as typed.
void insertBoardText(QTextBrowser *pane, const QString &text);

// Drops the oldest paragraphs after the first while there are more than
// maxParagraphs of them or they hold more than maxCharacters in all.
void limitParagraphs(QTextBrowser *pane, int maxParagraphs = maxParagraphs, int maxCharacters = maxCharacters);

} // namespace LogPane

#endif // LOGPANE_H
