// Peak resident memory after 100 MB of mixed telemetry and board text through the
// console's receive path over a pty. Prints "name: value unit" lines.

#include "SerialPortHandler.h"
#include "testsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTextStream>

#include <atomic>
#include <thread>

namespace {

qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

QByteArray telemetryBlock(qsizetype size)
{
    QByteArray block;
    for (int i = 0; block.size() < size; ++i)
        block += QByteArray::fromHex("ffff000000") + char(20 + i % 7) + char(30) + char(40) + char(50) + char(100);
    return block.left(size);
}

QByteArray textBlock(qsizetype size)
{
    QByteArray block;
    for (int i = 0; block.size() < size; ++i)
        block += "board says " + QByteArray::number(i) + (i % 4 == 3 ? "\n" : " ");
    return block.left(size);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    constexpr qint64 total = 100LL * 1024 * 1024;
    constexpr qsizetype blockSize = 4096;

    TestSupport::PtyConsole console;
    const qint64 startRss = statusKiB("VmRSS:");
    const QByteArray telemetry = telemetryBlock(blockSize);
    const QByteArray text = textBlock(blockSize);

    std::atomic<qint64> written { 0 };
    std::thread board([&] {
        for (qint64 i = 0; written < total; ++i) {
            const QByteArray &block = i % 2 == 0 ? telemetry : text;
            if (!console.board().writeMaster(block))
                break;
            written += block.size();
        }
    });
    QElapsedTimer timer;
    timer.start();
    while (written < total)
        QTest::qWait(5);
    board.join();
    QTest::qWait(200);

    QTextStream out(stdout);
    out << "receive_100mb_wall: " << timer.elapsed() / 1000.0 << " s\n";
    out << "receive_100mb_rss_start: " << startRss / 1024.0 << " MiB\n";
    out << "receive_100mb_peak_rss: " << statusKiB("VmHWM:") / 1024.0 << " MiB\n";
    return 0;
}
