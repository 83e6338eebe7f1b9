#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include "coretestsupport.h"
#include "core/charttrigger.h"
#include "gui/mainwindow.h"
#include "link/portregistry.h"
#include "ptytestsupport.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QColor>
#include <QStringList>

#include <memory>
#include <thread>

class QTextBrowser;

namespace TestSupport {

// The ports every window of a test lists: the platform's and the test's ptys.
PortRegistry &testPorts();

// Paragraphs of the log pane as the user reads them.
QStringList logParagraphs(const MainWindow &window);
// The paragraphs added after the first `skip` ones.
QStringList logParagraphsFrom(const MainWindow &window, qsizetype skip);
// Foreground colour of the text at the start of a paragraph.
QColor paragraphColour(const MainWindow &window, int paragraph);
// The text of the paragraphs from `paragraph` on that is shown in the colour given.
QString textInColour(const MainWindow &window, int paragraph, const QColor &colour);
// What the user switched or sent, and a flash's end.
inline QColor orange() { return QColor(QStringLiteral("orange")); }
inline QColor red() { return QColor(QStringLiteral("red")); }

template <typename Widget>
Widget *widget(const MainWindow &window, const char *objectName)
{
    return window.findChild<Widget *>(QLatin1String(objectName));
}

void click(const MainWindow &window, const char *buttonName);
// Does what the user does; OpenPort opens portName.
void perform(MainWindow &window, const UserAction &action, const QString &portName = {});

// Offers the image file for "打开文件" and presses it.
void loadImage(MainWindow &window, const QString &path);
bool isFlashing(const MainWindow &window);
// The flash runs from the event loop: the handler returns after the first packet.
bool waitForFlashEnd(const MainWindow &window, int timeoutMs = 10000);
// The bytes "已发送 N/total 字节" says, or -1 when the line says something else.
qsizetype bytesReportedSent(const QString &line, qsizetype imageSize);

// The X of the newest point is the running frame number, so this counts every
// frame plotted in this process, also past the points a curve keeps.
qint64 framesPlotted();

// CPU time the process spends over windowMs of running its event loop with nothing
// to do: a port spinning on a dead device shows here. Spinning takes time to show,
// so this one waits a fixed time on purpose.
qint64 idleCpuMs(int windowMs);

// Opens "限值…", types one curve's low and high (empty for none) and presses OK:
// true when the dialog took them and closed.
bool enterLimits(MainWindow &window, int series, const QString &low, const QString &high);
// Ticks "发布到 MQTT…", fills its dialog and presses OK: true when the dialog took
// them and closed.
bool publishToMqtt(MainWindow &window, const QString &url, const QString &board, const QString &password,
                   bool rememberPassword);

// Sets the trigger as the user does, through "触发…" and its dialog, with the level
// typed as given (the settings' own by default); false when the dialog stays open.
bool chooseTrigger(MainWindow &window, const ChartTrigger::Settings &settings, const QString &levelText = {});

// Selects the selector entry of the given system port name; false when not listed.
bool selectPort(MainWindow &window, const QString &portName);
// Lists one more port, as the user's "刷新" finds it, selects it and presses open.
void openListedPort(MainWindow &window, const QString &portName, const QString &description);

// Plays a board that writes the given numberedFrame()s into the pty: as fast as it
// can, ten to a write, or one frame a write at framesPerSecond, as a busy board
// does. The frames are all written when it is destroyed.
class StreamingBoard
{
public:
    StreamingBoard(TestPty &pty, qint64 first, qint64 count, int framesPerSecond = 0);
    ~StreamingBoard() { m_thread.join(); }

private:
    std::thread m_thread;
};

// A console window whose selector lists a fresh pty pair as one more port, with
// that port opened: the test plays the board on the master side.
class PtyConsole
{
public:
    explicit PtyConsole(bool openPort = true);

    MainWindow &window() { return *m_window; }
    // Closes the window as the user would, keeping the board's side of the line.
    void destroyWindow();
    TestPty &board() { return *m_pty; }

    // Everything the console sent that reached the board within timeoutMs.
    QByteArray sentBytes(qsizetype expected, int timeoutMs = 2000);
    // The bytes expected, then any the console sent behind them.
    QByteArray everythingSent(qsizetype expected, int timeoutMs = 2000);
    // Bytes that reached the board ahead of a marker sent now on the console's
    // line: none are expected. The pty keeps order, so once the marker is in,
    // every byte the console sent before it is too, without a quiet period.
    QByteArray strayBytes();
    // Writes bytes as the board and runs the event loop until the console has
    // taken every one of them in; false when it did not within timeoutMs.
    bool boardSends(const QByteArray &bytes, int timeoutMs = 2000);
    // Each piece as an arrival of its own.
    bool boardSends(const QList<QByteArray> &pieces);

    // Takes one step of a command sequence, then checks what reached the board, the
    // lines the window added and their colours, and that a step sending nothing
    // left every command frame as it was.
    void takeStep(const CommandStep &step);

    QStringList newLogLines();
    // Colour of a paragraph counted back from the end of the log pane (1 = last).
    QColor colourFromEnd(int fromEnd) const;

private:
    bool sendMarker(const QByteArray &marker);

    std::unique_ptr<TestPty> m_pty;
    // Counts arrivals ahead of the window's own receive slot.
    std::unique_ptr<QObject> m_arrivalCounter;
    qint64 m_bytesTakenIn = 0;
    std::unique_ptr<MainWindow> m_window;
    qsizetype m_seenLogParagraphs = 0;
};

} // namespace TestSupport

#endif // TESTSUPPORT_H
