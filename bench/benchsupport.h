#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

class TestPty;

namespace TestSupport {
class PtyConsole;
}

namespace BenchSupport {

// Frame readings are dropped rather than printed: the formatting stays in the
// measured path, writing thousands of lines to a terminal does not.
void dropDebugMessages(QtMsgType type, const QMessageLogContext &context, const QString &message);

// One figure as "name: value unit (comparison)", flushed at once so that a
// benchmark that fails later has said what it measured.
void report(const QString &name, double value, const QString &unit, const QString &comparison = {}, int decimals = 3);

// A field of /proc/self/status in KiB ("VmHWM:" for the peak), -1 where there is none.
qint64 statusKiB(const char *field);

// Counts the bytes the window takes in and the time its receive slot spends: the
// counting slot is connected before the window's own, the clock stop after it by
// followWindowSlot() once the window is made.
class ReceiveProbe : public QObject
{
public:
    ReceiveProbe();

    void followWindowSlot();
    // Writes as the board and runs the console's event loop until it took every byte.
    bool boardSends(TestSupport::PtyConsole &console, const QByteArray &bytes);

    // Restarted by every arrival.
    QElapsedTimer arrival;
    qint64 receivedBytes = 0;
    qint64 slotNanoseconds = 0;

private:
    QMetaObject::Connection m_stopConnection;
};

// Writes `writes` pieces into the pty, piece n at n * period after the start,
// from a thread of its own, so the console's thread only reads.
class PacedWriter
{
public:
    using Piece = std::function<QByteArray(qint64 index)>;

    PacedWriter(TestPty &pty, qint64 writes, std::chrono::nanoseconds period, Piece piece);
    ~PacedWriter();

    std::atomic<qint64> written { 0 };
    // The thread is done: every piece written, or failed.
    std::atomic<bool> finished { false };
    std::atomic<bool> failed { false };

private:
    std::thread m_thread;
};

} // namespace BenchSupport

#endif // BENCHSUPPORT_H
