#include "gui/SerialPortHandler.h"

#include "gui/logpane.h"
#include "gui/mainwindow.h"
#include "link/portdiscovery.h"
#include "core/portopenfailure.h"
#include "core/powerchartdata.h"
#include "core/receivestream.h"
#include "link/serialporthangup.h"
#include "link/serialsend.h"
#include "core/telemetry.h"
#include "ui_mainwindow.h"

#include <QChart>
#include <QChartView>
#include <QDebug>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QListView>
#include <QOpenGLContext>
#include <QPointer>
#include <QTimer>

#include <algorithm>

QSerialPort *serialPortInst = new QSerialPort();
QStringList serialPortList;

QValueAxis *chartAxisX = nullptr;
QValueAxis *chartAxisY = nullptr;
QLineSeries *chartLineSeries[5] = {};

namespace {

constexpr int chartXRangeLow = 0;
constexpr int chartXRangeHigh = 500;
constexpr int chartXTickCount = 11;
constexpr int chartYRangeLow = 0;
constexpr int chartYRangeHigh = 140;
constexpr int chartYTickCount = 8;

// What the receive path keeps between reads. The stream belongs to the open port:
// a frame head cut off by the driver, the half of a character whose other bytes
// are still on the way, and the timer that ends the wait for the rest of a held
// frame head once the line has gone quiet. The curves' points outlive any port
// and any window: closing and reopening the port, or a new window, carries on
// with the same curves and the same count.
//
// Moving the X axis lays its labels out anew, about a millisecond, ten times a
// frame's 108 us on the wire. Every frame goes into the point lists at once, but
// the curves and the axis are refreshed at most once per display frame, so a
// board streaming at full line rate cannot make the window fall behind.
struct ReceivePath
{
    static constexpr qint64 chartRefreshIntervalMs = 16;

    ReceiveStream stream;
    QPointer<QTimer> heldBytesTimer;
    PowerChartData chartData;
    QElapsedTimer lastChartRefresh;
    QPointer<MainWindow> chartRefreshPendingFor;
};
ReceivePath receivePath;

QPointer<SerialPortHangUpWatch> hangUpWatch;

bool isLostDeviceError(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError;
}

// The chart's OpenGL path aborts the process where no context can be made (the
// headless offscreen platform among them), so it is asked for only where one can.
bool openGLDrawingAvailable()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    QOpenGLContext context;
    return context.create();
}

} // namespace

void MainWindow::ConfigSerialPort()
{
    serialPortInst->setBaudRate(921600, QSerialPort::AllDirections);
    serialPortInst->setDataBits(QSerialPort::Data8);
    serialPortInst->setParity(QSerialPort::NoParity);
    serialPortInst->setStopBits(QSerialPort::OneStop);
    serialPortInst->setFlowControl(QSerialPort::NoFlowControl);
    connect(serialPortInst, SIGNAL(readyRead()), this, SLOT(ReceiveSerialPortData()));
    connect(serialPortInst, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (isLostDeviceError(error))
            SerialPortLost();
    });
    receivePath.heldBytesTimer = new QTimer(this);
    receivePath.heldBytesTimer->setSingleShot(true);
    receivePath.heldBytesTimer->setInterval(ReceiveStream::holdLimitMs);
    connect(receivePath.heldBytesTimer, &QTimer::timeout, this,
            [this] { showReceived(receivePath.stream.expireHeld()); });
    hangUpWatch = new SerialPortHangUpWatch(this);
    // Queued: closing the port deletes the very notifier whose wake-up is being
    // delivered when the watch speaks.
    connect(hangUpWatch, &SerialPortHangUpWatch::hungUp, this,
            [this] { SerialPortLost(); }, Qt::QueuedConnection);
}

void MainWindow::OpenSerialPort()
{
    const int index = ui->comboBox_port->currentIndex();
    if (index < 0 || index >= serialPortList.size()) {
        reportLine(QStringLiteral("无可用串口"));
        return;
    }

    const QString curSerialPort = serialPortList.at(index);
    SerialSend::closeAfterDrain(*serialPortInst);
    serialPortInst->setPortName(curSerialPort);
    receivePath.stream.reset();
    receivePath.heldBytesTimer->stop();

    if (serialPortInst->open(QIODevice::ReadWrite)) {
        hangUpWatch->watch(serialPortInst);
        qDebug().noquote() << curSerialPort << "串口打开成功";
        logLine(QStringLiteral("串口打开成功"));
    } else {
        const QSerialPort::SerialPortError error = serialPortInst->error();
        const QString errorText = serialPortInst->errorString();
        qDebug().noquote() << curSerialPort << "串口打开失败:" << error << errorText;
        logLine(QStringLiteral("串口打开失败"));
        logLine(PortOpenFailure::reason(error == QSerialPort::PermissionError, errorText));
    }
}

void MainWindow::CloseSerialPort()
{
    SerialSend::closeAfterDrain(*serialPortInst);
    reportLine(QStringLiteral("关闭串口"));
}

// A device that is gone (unplugged adapter, hung-up tty) keeps the port "open":
// Qt 6.4 signals the same error in a tight loop, and Qt 6.8 says nothing at all
// while its reader wakes up without end. Closing the port ends either loop, and
// later sends say plainly that the port is not open. The line comes first: closing
// ends a running flash, whose failure follows from the loss. The port's own error
// text is whatever the last failing call left (often "Inappropriate ioctl for
// device"), which tells the user nothing, so the line says what happened.
void MainWindow::SerialPortLost()
{
    if (!serialPortInst->isOpen())
        return;
    reportLine(QStringLiteral("串口已断开: 设备已断开连接"));
    serialPortInst->close();
}

QByteArray MainWindow::SerialPortUint8ArrayToQByteArray(const uint8_t *data, int length)
{
    return QByteArray(reinterpret_cast<const char *>(data), length);
}

bool MainWindow::SerialPortTransmit(const uint8_t *data, int length)
{
    return SerialPortTransmitByteArray(SerialPortUint8ArrayToQByteArray(data, length));
}

bool MainWindow::SerialPortTransmitByteArray(QByteArray data)
{
    if (!serialPortInst->isOpen()) {
        reportLine(QStringLiteral("串口未打开"));
        return false;
    }
    const SerialSend::Outcome outcome = SerialSend::writeAndWait(*serialPortInst, data, serialPortWriteTimeoutMs);
    if (!outcome.ok) {
        const QString line = QStringLiteral("发送失败: ") + outcome.error;
        reportLine(line);
    }
    return outcome.ok;
}

int MainWindow::FindSerialPort()
{
    const QString selectedPort = serialPortList.value(ui->comboBox_port->currentIndex());
    serialPortList.clear();
    const PortListing listing = PortListing::format(PortDiscovery::availablePorts());
    for (const QString &text : listing.reportedTexts)
        qDebug().noquote() << "Port:" + text;

    serialPortList = listing.portNames;
    ui->comboBox_port->clear();
    ui->comboBox_port->addItems(listing.displayTexts);
    ui->comboBox_port->setCurrentIndex(
        PortListing::entryToSelect(serialPortList, selectedPort, PortListing::preferredPort()));
    updateComboBoxWidth();
    return int(listing.displayTexts.size());
}

void MainWindow::updateComboBoxWidth()
{
    auto *view = qobject_cast<QListView *>(ui->comboBox_port->view());
    if (!view)
        return;
    const QFontMetrics metrics(ui->comboBox_port->font());
    int maxWidth = 0;
    for (int i = 0; i < ui->comboBox_port->count(); ++i)
        maxWidth = std::max(maxWidth, metrics.horizontalAdvance(ui->comboBox_port->itemText(i)));
    view->setFixedWidth(std::max(maxWidth + 8, ui->comboBox_port->width() - 2));
}

void MainWindow::ReceiveSerialPortData()
{
    const QByteArray uartData = serialPortInst->readAll();
    showReceived(receivePath.stream.take(uartData));
    if (receivePath.stream.holdsBytes())
        receivePath.heldBytesTimer->start();
    else
        receivePath.heldBytesTimer->stop();
}

void MainWindow::showReceived(const QList<ReceivedPiece> &pieces)
{
    for (const ReceivedPiece &piece : pieces) {
        switch (piece.kind) {
        case ReceivedPiece::Frame:
            UpdateChart(piece.bytes);
            qDebug() << piece.bytes;
            break;
        case ReceivedPiece::Text:
            LogPane::insertBoardText(ui->textBrowser_logout, piece.text);
            break;
        case ReceivedPiece::DroppedHead:
            qDebug().noquote() << "遥测帧不完整, 已丢弃:" << piece.bytes.toHex(' ');
            break;
        }
    }
}

void MainWindow::CreateQSplineSeries()
{
    chartAxisX = new QValueAxis();
    chartAxisY = new QValueAxis();
    const char *const names[5] = { "1.8V power", "3.3V power", "5V power", "12V power", "all power" };
    for (int i = 0; i < 5; ++i) {
        chartLineSeries[i] = new QLineSeries();
        chartLineSeries[i]->setName(QString::fromLatin1(names[i]));
    }

    const auto makePen = [](Qt::GlobalColor colour) {
        QPen pen(colour);
        pen.setWidth(2);
        return pen;
    };
    const QPen pens[5] = { makePen(Qt::green), makePen(Qt::red), makePen(Qt::blue),
                           makePen(Qt::yellow), makePen(Qt::white) };

    QChartView *chartView = ui->power_moniter;
    QChart *chart = chartView->chart();
    chart->setMargins(QMargins(0, 0, 0, 0));
    chartView->setRenderHint(QPainter::Antialiasing, true);
    chart->setTheme(QChart::ChartThemeDark);

    chartAxisX->setRange(chartXRangeLow, chartXRangeHigh);
    chartAxisX->setTickCount(chartXTickCount);
    chartAxisY->setRange(chartYRangeLow, chartYRangeHigh);
    chartAxisY->setTickCount(chartYTickCount);
    chart->addAxis(chartAxisX, Qt::AlignBottom);
    chart->addAxis(chartAxisY, Qt::AlignLeft);

    for (QLineSeries *series : chartLineSeries)
        chart->addSeries(series);
    for (QLineSeries *series : chartLineSeries) {
        series->attachAxis(chartAxisX);
        series->attachAxis(chartAxisY);
    }
    for (int i = 0; i < 5; ++i)
        chartLineSeries[i]->setPen(pens[i]);

    const bool useOpenGL = openGLDrawingAvailable();
    for (QLineSeries *series : chartLineSeries)
        series->setUseOpenGL(useOpenGL);
}

void MainWindow::UpdateChart(const QByteArray &serialPortDataOut)
{
    const std::optional<Telemetry::Sample> numbers = Telemetry::decodeFrame(serialPortDataOut);
    if (!numbers)
        return;
    receivePath.chartData.addSample(*numbers);

    // The redraw runs after the read that brought the frame is taken in whole, so
    // a burst of frames costs one redraw, not one per frame.
    if (receivePath.chartRefreshPendingFor == this)
        return;
    const qint64 sinceLastRefresh = receivePath.lastChartRefresh.isValid() ? receivePath.lastChartRefresh.elapsed()
                                                                            : ReceivePath::chartRefreshIntervalMs;
    receivePath.chartRefreshPendingFor = this;
    QTimer::singleShot(int(std::max<qint64>(0, ReceivePath::chartRefreshIntervalMs - sinceLastRefresh)), this, [this] {
        receivePath.chartRefreshPendingFor = nullptr;
        refreshChart();
    });
}

void MainWindow::refreshChart()
{
    for (int seriesIndex = 0; seriesIndex < Telemetry::seriesCount; ++seriesIndex)
        chartLineSeries[seriesIndex]->replace(receivePath.chartData.points(seriesIndex));

    QChart *chart = ui->power_moniter->chart();
    chart->update(QRectF());
    const QList<QAbstractAxis *> horizontalAxes = chart->axes(Qt::Horizontal);
    if (auto *axisX = horizontalAxes.isEmpty() ? nullptr : qobject_cast<QValueAxis *>(horizontalAxes.first()))
        axisX->setRange(receivePath.chartData.xRangeLow(), receivePath.chartData.xRangeHigh());
    receivePath.lastChartRefresh.start();
}
