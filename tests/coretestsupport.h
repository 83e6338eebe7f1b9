#ifndef CORETESTSUPPORT_H
#define CORETESTSUPPORT_H

#include "core/telemetry.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <functional>

// Helpers that need nothing but QtCore, so the tests of the pure units link the
// core library and this alone.
namespace TestSupport {

// Bytes written the way the board documents them, spaces allowed: "A6 A6 78 78".
QByteArray hex(const char *spacedHex);
// The same bytes as a test compares them, spaced hex text, so a failure shows
// which byte differs.
QByteArray wire(const char *spacedHex);

// A telemetry frame whose readings 5 to 9 are the given raw bytes.
QByteArray telemetryFrame(uchar b5, uchar b6, uchar b7, uchar b8, uchar b9);
// The board's documented frame and what it reads: 100, 10, 21.6, -7.2 and 127.
QByteArray referenceFrame();
Telemetry::Sample referenceReadings();
// Readings that differ from frame to frame, so a point shows which frame it came
// from, and the values they plot.
QByteArray numberedFrame(qint64 number);
Telemetry::Sample numberedReadings(qint64 number);
// A chart sample that differs from number to number, one curve running below zero.
Telemetry::Sample numberedSample(qint64 number);

// Whether the local 8-bit encoding is UTF-8, as the tests of characters beyond
// ASCII assume.
bool localEncodingIsUtf8();

// An image whose every run of 256 bytes holds every byte value once; the seed
// shifts it, so two images differ.
QByteArray patternImage(qsizetype size, int seed = 3);
// An image with no 0xFF byte anywhere, so that the board tells padding from data.
QByteArray imageWithoutFF(qsizetype size);
// An update packet carrying data (its first 32 bytes) for the given offset, padded with
// 0xFF as the console pads its last one.
QByteArray updatePacket(quint32 offset, const QByteArray &data);
// A packet as the board must see it, spelled out byte by byte.
QByteArray expectedPacket(const QByteArray &image, qsizetype index);
// Every packet of an image, in the order the board must receive them.
QByteArray expectedPackets(const QByteArray &image);

bool writeFile(const QString &path, const QByteArray &content);

// The pieces of `length` elements that make up whole, as reads or insertions that
// cut it anywhere.
template <typename Sequence>
QList<Sequence> cutEvery(const Sequence &whole, qsizetype length)
{
    QList<Sequence> pieces;
    for (qsizetype at = 0; at < whole.size(); at += length)
        pieces.append(whole.mid(at, length));
    return pieces;
}

// Debug messages kept for the test to read instead of printed: the console writes
// every telemetry frame and every decoded hex send there. A capture may be made
// while another lives; both keep the same messages.
class DebugMessages
{
public:
    DebugMessages();
    ~DebugMessages();
    DebugMessages(const DebugMessages &) = delete;
    DebugMessages &operator=(const DebugMessages &) = delete;

    static QStringList &messages();

private:
    QtMessageHandler m_previousHandler;
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

// While one exists, the files this process writes stop growing at `bytes`, as on a
// full disk: a write past it fails part-way (SIGXFSZ is ignored meanwhile).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isSet() const { return m_set; }

private:
    quint64 m_previous = 0;
    void (*m_previousHandler)(int) = nullptr;
    bool m_set = false;
};

// Runs the event loop, sleeping between events, until condition() holds; false when
// timeoutMs passed first. Lets a test go on as soon as the console has taken a
// board's bytes in, rather than after a fixed pause.
bool processEventsUntil(const std::function<bool()> &condition, int timeoutMs = 2000);

// The board commands, once for every test that gives them: what the user does in
// the window, what bench-ctl is given for the same, the bytes the board gets and
// the lines the window shows.

// How the fan slider is moved.
enum class SliderGesture { StepUp, StepDown, PageUp, PageDown, ToMinimum, ToMaximum, KeyUp, KeyDown, DragTo, Release };

// One thing the user does in the window.
struct UserAction
{
    enum Kind {
        Press,      // clicks a button (or a check box nothing reads)
        Tick,       // clicks a check box, unless it already is as `value` says
        SetSpinBox, // the value the spin box's button reads
        Type,       // text into a line edit or the send editor
        Slide,      // the fan slider moved by a gesture, which leaves it at `value`
        SetSlider,  // the fan slider set as a program does, which the board is not told
        ClosePort,
        OpenPort,   // the console's own port, selected and opened
    };

    Kind kind;
    const char *widget = nullptr;
    int value = 0;
    QString text = {};
    SliderGesture gesture = SliderGesture::StepUp;
};

inline UserAction press(const char *button) { return { UserAction::Press, button }; }
inline UserAction tick(const char *checkBox, bool on) { return { UserAction::Tick, checkBox, on }; }
inline UserAction type(const char *field, const QString &text) { return { UserAction::Type, field, 0, text }; }
inline UserAction setSpinBox(const char *spinBox, int value) { return { UserAction::SetSpinBox, spinBox, value }; }
inline UserAction slide(SliderGesture gesture, int position)
{
    return { UserAction::Slide, "verticalSlider_GPU_FAN_speed", position, {}, gesture };
}
inline UserAction setSlider(int position) { return { UserAction::SetSlider, "verticalSlider_GPU_FAN_speed", position }; }
inline UserAction closePort() { return { UserAction::ClosePort, "pushButton_portClose" }; }
inline UserAction openPort() { return { UserAction::OpenPort, "pushButton_portOpen" }; }
// The register fields of the AD (ad) or DA converter, then their write button.
QList<UserAction> writeRegister(bool ad, const QString &address, const QString &data);
// The send editor's text in text or hex mode, then the send button.
QList<UserAction> send(bool hexMode, const QString &text);

// One step: the user's actions, the last of which is the one that sends.
struct CommandStep
{
    QList<UserAction> actions = {}; // none: a command bench-ctl alone gives
    // bench-ctl send's arguments for the same bytes and lines, given to frames as
    // they are at start-up, where every run of bench-ctl starts; empty: none.
    QStringList ctlArguments = {};
    QByteArray bytes = {};  // what reaches the board; empty: nothing
    QStringList lines = {}; // the window's new lines, "串口未打开" where the send says so
    bool orange = false; // the step's own lines are user actions
    QString board = {};  // what the simulated board makes of the bytes, where checked
};

// Steps in the order the user takes them: each frame keeps what the last step left.
struct CommandSequence
{
    enum Group { BoardPanel, ManualConsole, BenchCtlOnly };

    QString name;
    Group group;
    QList<CommandStep> steps;
    // Run before any other, on the frames as they are at start-up; every other
    // sequence sends the same bytes whatever the sequences before it left.
    bool fromStartUp = false;
    bool needsUtf8 = false;
};

const QList<CommandSequence> &commandSequences();
// The bytes of the five process-wide command frames, to see that nothing changed them.
QByteArray processWideFrames();
const QString &portNotOpenLine();

// What a file holds; empty where it cannot be read.
QByteArray readFile(const QString &path);
// The rows of a telemetry recording of numberedFrame()s after its header, each
// "timestamp,elapsed,sample,readings" and ended by a line break, from frame
// firstFrame (by default whichever the first row holds) and sample firstSample on;
// -1, with a warning, where the file differs.
qint64 recordedRows(const QString &path, qint64 firstSample, qint64 firstFrame = -1);

} // namespace TestSupport

Q_DECLARE_METATYPE(TestSupport::CommandSequence)

#endif // CORETESTSUPPORT_H
