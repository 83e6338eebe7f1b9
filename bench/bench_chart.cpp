// A redraw of the power chart paused and zoomed out over a full history of a
// million samples a curve: picking the points to draw and painting the view,
// the median of several; the cursors' readout with its statistics over that
// whole history; and copying all of it as CSV: the longest the event loop waits
// meanwhile, and how long the copy takes. Prints "name: value unit" lines.

#include "core/rangecsv.h"
#include "gui/chartcursors.h"
#include "gui/powerchart.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QChartView view;
    view.resize(1000, 500);
    auto *chart = new PowerChart(&view, &view);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return 1;
    for (qint64 n = 0; n < ChartHistory::defaultCapacity; ++n) {
        chart->addSample({ double(n % 128), double(n * 3 % 128), double(n % 100) - 50, double(n * 7 % 128),
                           127.0 - double(n % 128) });
    }
    chart->setPaused(true);

    chart->zoom(1e9, 0);

    std::vector<double> redrawMs;
    for (int run = 0; run < 15; ++run) {
        QElapsedTimer clock;
        clock.start();
        // Away and back, so that each run picks the points anew.
        chart->pan(run % 2 == 0 ? -1 : 1);
        view.viewport()->repaint();
        redrawMs.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(redrawMs.begin(), redrawMs.end());
    std::printf("chart_redraw_full_history (%s): %.2f ms (median of %zu, %lld samples a curve, %lld points drawn a "
                "curve, goal <= 30 ms)\n",
                chart->series(0)->useOpenGL() ? "opengl" : "raster", redrawMs[redrawMs.size() / 2], redrawMs.size(),
                chart->history().size(), qint64(chart->series(0)->count()));

    // Cursors at both ends of the history: every sample of every curve is read.
    ChartCursors cursors(chart, &view);
    const auto [first, end] = chart->drawnSamples();
    std::vector<double> statisticsMs;
    for (int run = 0; run < 15; ++run) {
        QElapsedTimer clock;
        clock.start();
        cursors.place(ChartCursors::A, first + run % 2);
        cursors.place(ChartCursors::B, end - 1);
        statisticsMs.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(statisticsMs.begin(), statisticsMs.end());
    std::printf("cursor_statistics_full_history: %.2f ms (median of %zu, %lld samples between the cursors, goal <= 30 "
                "ms)\n",
                statisticsMs[statisticsMs.size() / 2], statisticsMs.size(), end - first);

    // The longest gap between two turns of a timer that asks for every turn, with
    // the view hidden: its repaint is measured above, the copy's turns here.
    view.hide();
    QCoreApplication::processEvents();
    RangeCsv copy;
    qint64 longestTurnNs = 0;
    qint64 rows = 0;
    QElapsedTimer sinceTurn;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] {
        longestTurnNs = std::max(longestTurnNs, sinceTurn.nsecsElapsed());
        sinceTurn.start();
    });
    QObject::connect(&copy, &RangeCsv::finished, [&](const QByteArray &, qint64 copied) { rows = copied; });
    turn.start(0);
    QElapsedTimer whole;
    whole.start();
    copy.start(chart->history(), cursors.rangeFirstSample(), cursors.rangeRows());
    const double startMs = whole.nsecsElapsed() / 1e6;
    sinceTurn.start();
    while (copy.isRunning())
        QCoreApplication::processEvents();
    std::printf("copy_range_full_history_start: %.2f ms (the rows copied out of the history at once)\n", startMs);
    std::printf("copy_range_full_history_longest_turn: %.2f ms (%lld rows formatted in %.2f s, goal 20 ms)\n",
                longestTurnNs / 1e6, rows, whole.nsecsElapsed() / 1e9);
    return 0;
}
