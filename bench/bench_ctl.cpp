// Flashes a 256 KiB image with bench-ctl to 1, 4 and 8 boards at once, each a
// reader thread on a pty pair's master, and prints the wall time of each run,
// 8 boards against 1 (goal: at most 1.25), bench-ctl's CPU time per board and,
// where strace is installed, the shortest pause between two packets on any port
// (goal: at least 1 ms).
// Prints "name: value unit" lines; the exit code only says whether every board
// got exactly the packets of the image.

#include "coretestsupport.h"
#include "ptypair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>
#include <memory>
#include <poll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr qsizetype imageSize = 256 * 1024;
constexpr qsizetype packetSize = 40;

qint64 childrenCpuUs()
{
    rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec
        + usage.ru_stime.tv_usec;
}

// A board that takes every byte as it comes. Its reads cannot time the pauses: a
// pty hands bytes to its master from a kernel work queue, which may hold a packet
// back and pass it on together with the next.
class Board
{
public:
    Board()
        : m_thread([this] { run(); })
    {
    }
    ~Board() { stop(); }

    QString port() const { return m_pty.slavePath(); }
    qsizetype receivedSize() const { return m_receivedSize; }
    // Ends the reader; what it took is then safe to look at.
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    const QByteArray &received() const { return m_received; }

private:
    void run()
    {
        char buffer[4096];
        while (!m_stop) {
            pollfd pfd { m_pty.masterFd(), POLLIN, 0 };
            if (::poll(&pfd, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(m_pty.masterFd(), buffer, sizeof buffer);
            if (n > 0) {
                m_received.append(buffer, n);
                m_receivedSize = m_received.size();
            }
        }
    }

    PtyPair m_pty;
    QByteArray m_received;
    std::atomic<qsizetype> m_receivedSize { 0 };
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

// The pauses as the kernel saw them: bench-ctl run under strace, each write of a
// 40-byte packet to a pty stamped on entry with its duration; a pause is the time
// from the end of one packet's write to the start of the next on the same port.
// Tracing slows every call, so wall and CPU times come from a run without it.
struct Pauses
{
    bool measured = false;
    double shortestMs = 0;
    qint64 count = 0;
};

Pauses shortestPauses(const QString &tracePath)
{
    Pauses pauses;
    QFile trace(tracePath);
    if (!trace.open(QIODevice::ReadOnly))
        return pauses;
    static const QRegularExpression packetWrite(
        QStringLiteral("^\\d+\\s+(\\d+\\.\\d+) write\\(\\d+<(/dev/pts/\\d+)>, .*, 40\\) = 40 <(\\d+\\.\\d+)>$"));
    QHash<QString, double> lastWriteEnd;
    double shortest = std::numeric_limits<double>::max();
    while (!trace.atEnd()) {
        const QRegularExpressionMatch match = packetWrite.match(QString::fromLatin1(trace.readLine()).trimmed());
        if (!match.hasMatch())
            continue;
        const double start = match.captured(1).toDouble();
        const QString port = match.captured(2);
        if (lastWriteEnd.contains(port)) {
            shortest = std::min(shortest, start - lastWriteEnd.value(port));
            ++pauses.count;
        }
        lastWriteEnd.insert(port, start + match.captured(3).toDouble());
    }
    pauses.measured = pauses.count > 0;
    pauses.shortestMs = shortest * 1000.0;
    return pauses;
}

struct Figures
{
    double wallS = 0;
    double cpuMsPerBoard = 0;
    bool wireMatches = false;
    int exitCode = -1;
};

// tracePath empty: bench-ctl runs on its own; else under strace, writing there.
Figures flash(int boardCount, const QString &imagePath, const QByteArray &expectedWire, const QString &tracePath = {})
{
    std::vector<std::unique_ptr<Board>> boards;
    QStringList arguments { QStringLiteral(BENCH_CTL_EXECUTABLE), QStringLiteral("flash"), QStringLiteral("-q") };
    if (!tracePath.isEmpty()) {
        arguments = QStringList { QStringLiteral("-f"), QStringLiteral("-y"), QStringLiteral("-ttt"), QStringLiteral("-T"),
                                  QStringLiteral("-e"), QStringLiteral("trace=write"), QStringLiteral("-e"),
                                  QStringLiteral("signal=none"), QStringLiteral("-o"), tracePath } + arguments;
    }
    for (int i = 0; i < boardCount; ++i) {
        boards.push_back(std::make_unique<Board>());
        arguments << QStringLiteral("-p") << boards.back()->port();
    }
    arguments << imagePath;

    Figures figures;
    const qint64 cpuBeforeUs = childrenCpuUs();
    QElapsedTimer wall;
    wall.start();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(tracePath.isEmpty() ? arguments.takeFirst() : QStringLiteral("strace"), arguments);
    process.waitForFinished(-1);
    figures.wallS = double(wall.nsecsElapsed()) / 1e9;
    figures.exitCode = process.exitCode();
    figures.cpuMsPerBoard = double(childrenCpuUs() - cpuBeforeUs) / 1000.0 / boardCount;

    // The last packets may still be on their way to the readers.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 2000
           && std::any_of(boards.begin(), boards.end(),
                          [&](const auto &board) { return board->receivedSize() < expectedWire.size(); }))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    figures.wireMatches = true;
    for (const auto &board : boards) {
        board->stop();
        figures.wireMatches = figures.wireMatches && board->received() == expectedWire;
    }
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString imagePath = dir.filePath(QStringLiteral("bench-256k.bin"));
    const QByteArray image = TestSupport::patternImage(imageSize);
    if (!dir.isValid() || !TestSupport::writeFile(imagePath, image)) {
        std::fprintf(stderr, "cannot write the image to %s\n", qPrintable(imagePath));
        return 1;
    }
    const QByteArray expectedWire = TestSupport::expectedPackets(image);

    bool allMatch = true;
    double wallOfOne = 0;
    for (const int boards : { 1, 4, 8 }) {
        const Figures figures = flash(boards, imagePath, expectedWire);
        allMatch = allMatch && figures.wireMatches && figures.exitCode == 0;
        if (boards == 1)
            wallOfOne = figures.wallS;
        std::printf("ctl_flash_256k_%d_boards_wall: %.2f s\n", boards, figures.wallS);
        std::printf("ctl_flash_256k_%d_boards_cpu_per_board: %.0f ms\n", boards, figures.cpuMsPerBoard);
        std::printf("ctl_flash_256k_%d_boards_wire_matches: %d bool (exit %d)\n", boards, figures.wireMatches ? 1 : 0,
                    figures.exitCode);
        if (boards == 8)
            std::printf("ctl_flash_8_vs_1_boards_wall: %.3f (goal <= 1.25)\n", figures.wallS / wallOfOne);
        std::fflush(stdout);
    }
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty()) {
        std::printf("ctl_flash_shortest_pause: unmeasured (strace is not installed)\n");
        return allMatch ? 0 : 1;
    }
    for (const int boards : { 1, 8 }) {
        const QString tracePath = dir.filePath(QStringLiteral("trace-%1.txt").arg(boards));
        const Figures figures = flash(boards, imagePath, expectedWire, tracePath);
        const Pauses pauses = shortestPauses(tracePath);
        allMatch = allMatch && figures.wireMatches && figures.exitCode == 0;
        if (pauses.measured)
            std::printf("ctl_flash_256k_%d_boards_shortest_pause: %.3f ms over %lld pauses, under strace (goal >= 1)\n",
                        boards, pauses.shortestMs, (long long)pauses.count);
        else
            std::printf("ctl_flash_256k_%d_boards_shortest_pause: unmeasured (no packet write in the trace)\n", boards);
        std::fflush(stdout);
    }
    return allMatch ? 0 : 1;
}
