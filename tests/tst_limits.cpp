// Limits on the curves in the window: the dialog, the lines on the chart, the
// status bar, the log pane's lines, and the protection that cuts the GPU's power.

#include "core/commandframes.h"
#include "gui/powerchart.h"
#include "gui/statusline.h"
#include "testsupport.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QDialog>
#include <QGraphicsLineItem>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QRegularExpression>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

using namespace TestSupport;

namespace {

constexpr int twelveVolt = 3;

// A frame whose 12V reading is raw * 0.45: 100 reads 45, 117 reads 52.65, 120 reads 54.
QByteArray twelveVoltFrame(uchar raw, int times = 1)
{
    return telemetryFrame(10, 20, 30, raw, 90).repeated(times);
}

// The colour the status bar shows a piece of its text in; invalid where it is not shown.
QColor statusColour(const MainWindow &window, const QString &text)
{
    QTextDocument shown;
    shown.setHtml(widget<QLabel>(window, "label_status")->text());
    // Searching takes a no-break space for a blank.
    const QTextCursor found = shown.find(text);
    return found.isNull() ? QColor() : found.charFormat().foreground().color();
}

} // namespace

class TestLimits : public QObject
{
    Q_OBJECT

private slots:
    void dialog_data();
    void dialog();
    void outAndBack();
    void chatterIsSummarised();
    void protectionCutsTheGpuOnce();
};

void TestLimits::dialog_data()
{
    QTest::addColumn<QString>("low");
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("problem");

    QTest::newRow("both") << "5" << "50" << QString();
    QTest::newRow("equal") << "50" << "50" << QString();
    QTest::newRow("every digit kept") << "" << "12.3456789" << QString();
    QTest::newRow("low above high") << "60" << "50" << "12V power: 下限 60 高于上限 50, 限值未应用";
    QTest::newRow("not a number") << "5" << "5O" << "12V power: \"5O\" 不是数字, 限值未应用";
}

void TestLimits::dialog()
{
    QFETCH(QString, low);
    QFETCH(QString, high);
    QFETCH(QString, problem);

    PtyConsole console(false);
    MainWindow &window = console.window();
    window.show();
    PowerChart *chart = window.powerChart();
    QCOMPARE(enterLimits(window, twelveVolt, low, high), problem.isEmpty());
    if (!problem.isEmpty()) {
        const QList<QLabel *> problems = window.findChildren<QLabel *>(QStringLiteral("label_limits_problem"));
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems.first()->text(), problem);
        QVERIFY(chart->limitLines().isEmpty());
        return;
    }

    QList<double> bounds;
    for (const QString &text : { low, high }) {
        if (!text.isEmpty())
            bounds << text.toDouble();
    }
    QCOMPARE(chart->limitLines().size(), bounds.size());
    // Dashed, in the curve's colour, where its value is, live and paused alike.
    for (const bool paused : { false, true }) {
        chart->setPaused(paused);
        for (int i = 0; i < bounds.size(); ++i) {
            const QGraphicsLineItem *line = chart->limitLines().at(i);
            QCOMPARE(line->pen().style(), Qt::DashLine);
            QCOMPARE(line->pen().color(), chart->series(twelveVolt)->pen().color());
            QVERIFY(line->isVisible());
            QChart *shown = widget<QChartView>(window, "power_moniter")->chart();
            QCOMPARE(line->line().y1(), shown->mapToPosition(QPointF(0, bounds[i]), chart->series(0)).y());
            QCOMPARE(line->line().length(), shown->plotArea().width());
        }
    }
    // What the dialog offers next time is what is set.
    widget<QAction>(window, "action_limits")->trigger();
    const QList<QDialog *> dialogs = window.findChildren<QDialog *>(QStringLiteral("dialog_limits"));
    QCOMPARE(dialogs.last()->findChild<QLineEdit *>(QStringLiteral("lineEdit_limit_high_3"))->text(), high);
}

void TestLimits::outAndBack()
{
    PtyConsole console;
    MainWindow &window = console.window();
    QVERIFY(enterLimits(window, twelveVolt, QString(), QStringLiteral("50")));
    const qint64 first = window.powerChart()->data().sampleCount();
    console.newLogLines();

    QVERIFY(console.boardSends(twelveVoltFrame(100) + twelveVoltFrame(117)));
    QTRY_VERIFY(window.statusLine()->text().contains(QStringLiteral("1.8V 10  3.3V 20  5V 8.1  12V 52.65  all 90")));
    QCOMPARE(statusColour(window, QStringLiteral("12V 52.65")), QColor(Qt::red));
    QVERIFY(statusColour(window, QStringLiteral("5V 8.1")) != QColor(Qt::red));
    QCOMPARE(console.newLogLines(), QStringList { QStringLiteral("超出限值: 12V power = 52.65 (上限 50, 样本 %1)").arg(first + 1) });

    QVERIFY(console.boardSends(twelveVoltFrame(120) + twelveVoltFrame(100)));
    const QStringList back = console.newLogLines();
    QCOMPARE(back.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^回到限值内: 12V power = 45 \\(样本 %1, 超出 2 个样本 \\d+\\.\\d{3} 秒, 最差值 54\\)$")
                                    .arg(first + 3))
                 .match(back.first())
                 .hasMatch(),
             qPrintable(back.first()));
    QTRY_VERIFY(window.statusLine()->text().contains(QStringLiteral("12V 45")));
    QVERIFY(statusColour(window, QStringLiteral("12V 45")) != QColor(Qt::red));
}

void TestLimits::chatterIsSummarised()
{
    PtyConsole console;
    MainWindow &window = console.window();
    QVERIFY(enterLimits(window, twelveVolt, QString(), QStringLiteral("50")));
    const qint64 first = window.powerChart()->data().sampleCount();
    console.newLogLines();

    // Ten crossings: the first told out and back, the other nine counted.
    QVERIFY(console.boardSends(twelveVoltFrame(100) + (twelveVoltFrame(117) + twelveVoltFrame(100)).repeated(10)));
    QStringList lines = console.newLogLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines.at(0).startsWith(QStringLiteral("超出限值: ")));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("回到限值内: ")));
    QTRY_VERIFY_WITH_TIMEOUT(logParagraphs(window).last().startsWith(QStringLiteral("反复越限")), 5000);
    lines = console.newLogLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^反复越限: 12V power 在 \\d+\\.\\d{3} 秒内超出限值 9 次 \\(最差值 52.65, 样本 %1 至 %2\\)$")
                                    .arg(first + 3)
                                    .arg(first + 20))
                 .match(lines.first())
                 .hasMatch(),
             qPrintable(lines.first()));
}

void TestLimits::protectionCutsTheGpuOnce()
{
    PtyConsole console;
    MainWindow &window = console.window();
    auto *interlock = widget<QAction>(window, "action_interlock");
    QVERIFY(!interlock->isChecked());
    QVERIFY(enterLimits(window, twelveVolt, QString(), QStringLiteral("50")));
    click(window, "pushButton_GPU_power_on");
    QCOMPARE(console.sentBytes(8).toHex(' '), wire("A5 A5 00 00 4E 80 AE AE"));

    for (int armed = 0; armed < 2; ++armed) {
        interlock->trigger();
        QTRY_VERIFY(window.statusLine()->text().endsWith(QStringLiteral("保护")));
        const qint64 third = window.powerChart()->data().sampleCount() + 2;
        console.newLogLines();
        QVERIFY(console.boardSends(twelveVoltFrame(117, 3)));
        QCOMPARE(console.sentBytes(8).toHex(' '), wire("A5 A5 00 00 46 20 AE AE"));
        QStringList expected { QStringLiteral("越限保护: 12V power = 52.65 (上限 50, 样本 %1), 连续 3 个样本, 关闭GPU电源").arg(third),
                               QStringLiteral("GPU断电") };
        if (armed == 0)
            expected.prepend(QStringLiteral("超出限值: 12V power = 52.65 (上限 50, 样本 %1)").arg(third - 2));
        QCOMPARE(console.newLogLines(), expected);
        QCOMPARE(console.colourFromEnd(1), orange());
        QVERIFY(!interlock->isChecked());
        QTRY_VERIFY(!window.statusLine()->text().contains(QStringLiteral("保护")));

        // Off until the user turns it on again, however long the curve stays out.
        QVERIFY(console.boardSends(twelveVoltFrame(117, 10)));
        QCOMPARE(console.strayBytes().toHex(' '), QByteArray());
    }
    // The frame keeps the state the button would have left.
    QCOMPARE(CommandFrames::frameBytes(GPU_POWER_order).toHex(' '), wire("A5 A5 00 00 46 20 AE AE"));
}

QTEST_MAIN(TestLimits)
#include "tst_limits.moc"
