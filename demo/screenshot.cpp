// Takes the README's picture: the demo window with the simulated board opened,
// a few commands clicked one right after the other, the board's answers logged and
// the curves running for a while. The board runs on its defaults.
// Usage: demo-screenshot OUTPUT.png [seconds] [en|paused|trigger]
// With "en" the window is switched to English from its language menu first. With
// "paused", the chart is then paused, zoomed into its history with the Y axis
// fitted, and read under the mouse. With "trigger", a rising trigger on 12V is
// armed before the GPU rail is switched on, its capture of the inrush is zoomed
// into and the two cursors are placed around it.

#include "boardthread.h"
#include "gui/chartcursors.h"
#include "gui/mainwindow.h"
#include "gui/powerchart.h"
#include "link/portregistry.h"

#include <QAbstractButton>
#include <QAction>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QMouseEvent>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

namespace {

template <typename Widget>
Widget *child(const MainWindow &window, const char *name)
{
    return window.findChild<Widget *>(QLatin1String(name));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2) {
        QTextStream(stderr) << "usage: demo-screenshot OUTPUT.png [seconds] [en|paused]\n";
        return 2;
    }
    const QString output = arguments.at(1);
    const int seconds = arguments.size() > 2 ? arguments.at(2).toInt() : 8;
    const QString mode = arguments.size() > 3 ? arguments.at(3) : QString();
    const bool paused = mode == QLatin1String("paused");
    const bool triggered = mode == QLatin1String("trigger");

    BoardThread board;
    QString error;
    if (!board.start(&error)) {
        QTextStream(stderr) << "cannot start the simulated board: " << error << '\n';
        return 1;
    }
    PortRegistry ports;
    ports.addExtraPort({ board.portName(), QStringLiteral("Simulated board"), std::nullopt, std::nullopt });
    ports.setPreferredPort(board.portName());

    MainWindow window(&ports);
    if (arguments.size() > 3 && arguments.at(3) == QLatin1String("en"))
        window.findChild<QAction *>(QStringLiteral("action_language_english"))->trigger();
    window.show();

    child<QAbstractButton>(window, "pushButton_portOpen")->click();
    child<QAbstractButton>(window, "pushButton_ARM_reset")->click();
    child<QCheckBox>(window, "checkBox_GPU_power_draw")->click();
    if (triggered) {
        // Room for the chart, its cursors and their readout side by side.
        window.resize(1270, 960);
        window.powerChart()->setTriggerSettings(ChartTrigger::Settings {});
        child<QAction>(window, "action_trigger_arm")->trigger();
    }
    // Switched on after the curves have run a while, so that the capture has room before the inrush.
    QTimer::singleShot(triggered ? 3000 : 0, &window,
                       [&window] { child<QAbstractButton>(window, "pushButton_GPU_power_on")->click(); });
    child<QLineEdit>(window, "lineEdit_AD_addr")->setText(QStringLiteral("12AB"));
    child<QLineEdit>(window, "lineEdit_AD_data")->setText(QStringLiteral("CDEF"));
    child<QAbstractButton>(window, "pushButton_AD_write_reg")->click();

    QTimer shot;
    shot.setSingleShot(true);
    shot.setInterval(seconds * 1000);
    QObject::connect(&shot, &QTimer::timeout, &application, [&] {
        if (triggered) {
            PowerChart *chart = window.powerChart();
            if (!chart->triggerMarker()) {
                shot.start(200);
                return;
            }
            const qint64 at = *chart->triggerMarker();
            chart->zoom(0.2, double(at));
            window.chartCursors()->place(ChartCursors::A, at - 2);
            window.chartCursors()->place(ChartCursors::B, at + 12);
            QApplication::processEvents();
        }
        if (paused) {
            child<QAction>(window, "action_pause_chart")->trigger();
            child<QAction>(window, "action_autoscale_y")->trigger();
            PowerChart *chart = window.powerChart();
            const qint64 end = chart->history().endSample();
            chart->zoom(0.4, double(end - 150));
            auto *view = child<QChartView>(window, "power_moniter");
            const qint64 readAt = end - 160;
            const QPointF inChart = view->chart()->mapToPosition(
                QPointF(double(readAt), chart->history().sample(readAt)->at(4)), chart->series(4));
            const QPoint at = view->mapFromScene(view->chart()->mapToScene(inChart));
            QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(view->viewport(), &move);
            QApplication::processEvents();
        }
        const QPixmap picture = window.grab();
        const bool saved = picture.save(output);
        QTextStream(saved ? stdout : stderr) << (saved ? "saved " : "cannot save ") << output << '\n';
        application.exit(saved ? 0 : 1);
    });
    shot.start();
    return application.exec();
}
