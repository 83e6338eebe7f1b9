#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include "mainwindow.h"
#include "ptypair.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QColor>
#include <QStringList>

#include <functional>
#include <memory>

class QTextBrowser;

namespace TestSupport {

// Paragraphs of the log pane as the user reads them.
QStringList logParagraphs(const MainWindow &window);
// The paragraphs added after the first `skip` ones.
QStringList logParagraphsFrom(const MainWindow &window, qsizetype skip);
// Foreground colour of the text at the start of a paragraph.
QColor paragraphColour(const MainWindow &window, int paragraph);

template <typename Widget>
Widget *widget(const MainWindow &window, const char *objectName)
{
    return window.findChild<Widget *>(QLatin1String(objectName));
}

void click(const MainWindow &window, const char *buttonName);

// Debug messages kept for the test to read instead of printed: the console writes
// every telemetry frame and every decoded hex send there.
class DebugMessages
{
public:
    DebugMessages();
    ~DebugMessages();
    DebugMessages(const DebugMessages &) = delete;
    DebugMessages &operator=(const DebugMessages &) = delete;

    static QStringList &messages();
};

// A byte array as the debug output shows it.
QString debugText(const QByteArray &bytes);

// CPU time this process has used, in milliseconds: a port spinning on a dead
// device shows here.
qint64 processCpuMs();

// The first page-sized kernel attribute file that holds fewer bytes than the size
// it reports; empty where there is none.
QString shortReadingFile();

// A path, made in `directory` where it has to be, that opening an image must
// refuse: "missing", "directory", "/dev/zero", "fifo" (no writer) or "<n>GiB" (a
// sparse file). Empty when it could not be made.
QString refusedImagePath(const QString &kind, const QString &directory);

// Runs the event loop, sleeping between events, until condition() holds; false when
// timeoutMs passed first. Lets a test go on as soon as the console has taken a
// board's bytes in, rather than after a fixed pause.
bool processEventsUntil(const std::function<bool()> &condition, int timeoutMs = 2000);

// Selects the selector entry of the given system port name; false when not listed.
bool selectPort(MainWindow &window, const QString &portName);

// A console window whose selector lists a fresh pty pair as one more port, with
// that port opened: the test plays the board on the master side.
class PtyConsole
{
public:
    explicit PtyConsole(bool openPort = true);
    ~PtyConsole();

    MainWindow &window() { return *m_window; }
    // Closes the window as the user would, keeping the board's side of the line.
    void destroyWindow() { m_window.reset(); }
    PtyPair &board() { return *m_pty; }

    // Everything the console sent that reached the board within timeoutMs.
    QByteArray sentBytes(qsizetype expected, int timeoutMs = 2000);
    // Bytes that reach the board within a short quiet period: none are expected.
    QByteArray strayBytes(int quietMs = 150);
    // Writes bytes as the board and lets the console's event loop take them in.
    void boardSends(const QByteArray &bytes, int settleMs = 50);

    QStringList newLogLines();

private:
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<MainWindow> m_window;
    qsizetype m_seenLogParagraphs = 0;
};

} // namespace TestSupport

#endif // TESTSUPPORT_H
