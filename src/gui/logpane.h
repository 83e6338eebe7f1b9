#ifndef LOGPANE_H
#define LOGPANE_H

#include "core/firmwareimage.h"

#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>

class QTextBrowser;
class QTextCharFormat;
class QTimer;

// The window's log pane, over its text browser. Every line is typed, and the pane
// alone decides how a kind of line looks: no caller writes markup, and whatever a
// line holds (a file name, the board's text, a port's error) is shown as it is.
//
// The pane keeps a flat cost per line however long the board talks: text that
// never breaks a line is cut into paragraphs of bounded length (laying out a
// paragraph costs its whole length on every insertion), and the oldest paragraphs
// after the first one, "串口报文", are dropped past a fixed count and a fixed
// number of characters.
//
// Whatever the user does in the pane, lines go in at its end with the format the
// pane gives them, and neither the user's selection nor a view scrolled up moves;
// a view at the end follows the end.
//
// Text too long to lay out within one turn of the event loop (the hex echo of a
// megabyte sent) goes in over several turns, a paragraph at a time, and whatever
// comes after it waits behind it: the window keeps answering, and lines and text
// are shown in the order they were given in.
class LogPane : public QObject
{
    Q_OBJECT

public:
    enum LineKind {
        Outcome,    // errors and outcomes: plain
        UserAction, // what the user switched or sent: orange
        FlashDone,  // the end of a flash: red
    };

    static constexpr int maxParagraphs = 20000;
    static constexpr int maxCharacters = 4 * 1000 * 1000;
    // Board text and the console's own lines alike.
    static constexpr int maxParagraphLength = 4096;
    // How long the pane may hold the window to put text in, before what is left
    // waits for the next turn of the event loop.
    static constexpr std::chrono::milliseconds insertTimePerTurn { 5 };

    explicit LogPane(QTextBrowser *browser, QObject *parent = nullptr);

    // A paragraph of its own; line breaks in it start further paragraphs.
    void appendLine(const QString &line, LineKind kind = Outcome);

    // Board text: in green, continuing the pane's last line.
    void insertBoardText(const QString &text);

    // The lines that say which file was loaded, up to its path; then the rest.
    void appendImageIdentity(const FirmwareImage::Description &image);
    void appendImageDetails(const FirmwareImage::Description &image);

    // Drops the oldest paragraphs after the first while there are more than
    // maxParagraphs of them or they hold more than maxCharacters in all.
    void limitParagraphs(int paragraphLimit = maxParagraphs, int characterLimit = maxCharacters);

    // Back to the one paragraph the pane starts with; what was still waiting to go
    // in goes too.
    void clear();
    // The pane's text, everything given so far included, as plain UTF-8; false with
    // the reason when the file could not be written whole.
    bool saveTo(const QString &fileName, QString *error);

private:
    struct PendingText
    {
        QString text;
        LineKind kind = Outcome;
        bool boardText = false;
        qsizetype inserted = 0;
    };

    void enqueue(PendingText &&text);
    // Whatever is still waiting, in at once.
    void flush();
    void insertPending(QDeadlineTimer deadline);
    void insertSlice(PendingText &pending, qsizetype end);
    void insertAtEnd(QStringView text, const QTextCharFormat &format, bool newParagraph);

    QTextBrowser *const m_browser;
    QList<PendingText> m_pending;
    QTimer *const m_pendingTimer;
    // The document's length after board text that ended with a carriage return. A
    // line feed that starts the next board text at that same length belongs to that
    // CR, which has broken the line already; any line appended or trimmed since
    // changes the length, and the line feed is a break of its own again.
    int m_carriageReturnEndedAt = -1;
};

#endif // LOGPANE_H
