#ifndef CORETESTSUPPORT_H
#define CORETESTSUPPORT_H

#include <QByteArray>
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
// Readings that differ from frame to frame, so a point shows which frame it came from.
QByteArray numberedFrame(qint64 number);

// An image whose every run of 256 bytes holds every byte value once; the seed
// shifts it, so two images differ.
QByteArray patternImage(qsizetype size, int seed = 3);
// A packet as the board must see it, spelled out byte by byte.
QByteArray expectedPacket(const QByteArray &image, qsizetype index);
// Every packet of an image, in the order the board must receive them.
QByteArray expectedPackets(const QByteArray &image);

bool writeFile(const QString &path, const QByteArray &content);

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

} // namespace TestSupport

#endif // CORETESTSUPPORT_H
