// Peak resident memory after 100 MiB through the console's receive path over a pty:
// mixed telemetry and board text by default (enough frames to fill the chart's
// history), or, with the argument "line-free", board
// text that never breaks a line, which the log pane alone has to keep in bounds. The
// peak is the process's own, so each case runs in a process of its own. Prints
// "name: value unit" lines.

#include "gui/SerialPortHandler.h"
#include "gui/powerchart.h"
#include "benchsupport.h"
#include "testsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextStream>

#include <atomic>
#include <thread>

namespace {

QByteArray telemetryBlock(qsizetype size)
{
    QByteArray block;
    for (int i = 0; block.size() < size; ++i)
        block += QByteArray::fromHex("ffff000000") + char(20 + i % 7) + char(30) + char(40) + char(50) + char(100);
    return block.left(size);
}

QByteArray textBlock(qsizetype size, bool lineBreaks)
{
    QByteArray block;
    for (int i = 0; block.size() < size; ++i)
        block += "board says " + QByteArray::number(i) + (lineBreaks && i % 4 == 3 ? "\n" : " ");
    return block.left(size);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const bool lineFree = QApplication::arguments().contains(QStringLiteral("line-free"));
    constexpr qint64 total = 100LL * 1024 * 1024;
    constexpr qsizetype blockSize = 4096;

    TestSupport::PtyConsole console;
    // A pane on screen lays out what it holds, and the layout is the bulk of its memory.
    if (lineFree) {
        console.window().show();
        if (!QTest::qWaitForWindowExposed(&console.window()))
            return 1;
    }
    const qint64 startRss = BenchSupport::statusKiB("VmRSS:");
    const QByteArray telemetry = telemetryBlock(blockSize);
    const QByteArray text = textBlock(blockSize, !lineFree);

    std::atomic<qint64> written { 0 };
    std::thread board([&] {
        for (qint64 i = 0; written < total; ++i) {
            const QByteArray &block = i % 2 == 0 && !lineFree ? telemetry : text;
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
    const QString name = lineFree ? QStringLiteral("line_free_text_100mib") : QStringLiteral("receive_100mb");
    out << name << "_wall: " << timer.elapsed() / 1000.0 << " s\n";
    out << name << "_rss_start: " << startRss / 1024.0 << " MiB\n";
    const qint64 peakKiB = BenchSupport::statusKiB("VmHWM:");
    out << name << "_peak_rss: " << peakKiB / 1024.0 << " MiB";
    out << " (" << peakKiB * 1024 / 1000000 << " MB, bound 200 MB)\n";
    if (!lineFree) {
        // Five million frames: the chart's history is full.
        out << name << "_chart_history: " << console.window().powerChart()->history().size() << " samples\n";
    }
    if (lineFree) {
        const auto *pane = console.window().findChild<QTextBrowser *>(QStringLiteral("textBrowser_logout"));
        out << name << "_kept_in_pane: " << pane->document()->characterCount() << " characters\n";
    }
    return 0;
}
