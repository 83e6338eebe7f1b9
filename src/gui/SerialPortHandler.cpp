#include "gui/SerialPortHandler.h"

#include "core/consoletext.h"
#include "core/portlisting.h"
#include "core/telemetry.h"
#include "gui/logpane.h"
#include "gui/mainwindow.h"
#include "gui/powerchart.h"
#include "gui/recording.h"
#include "gui/statusline.h"
#include "link/portdiscovery.h"
#include "link/portreceiver.h"
#include "link/portreconnect.h"
#include "link/serialporthangup.h"
#include "link/firmwareflasher.h"
#include "link/portlock.h"
#include "link/serialwriter.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QFontMetrics>
#include <QListView>

#include <algorithm>

QSerialPort *serialPortInst = new QSerialPort();
QStringList serialPortList;

QValueAxis *chartAxisX = nullptr;
QValueAxis *chartAxisY = nullptr;
QLineSeries *chartLineSeries[5] = {};

void MainWindow::ConfigSerialPort()
{
    serialPortInst->setBaudRate(921600, QSerialPort::AllDirections);
    serialPortInst->setDataBits(QSerialPort::Data8);
    serialPortInst->setParity(QSerialPort::NoParity);
    serialPortInst->setStopBits(QSerialPort::OneStop);
    serialPortInst->setFlowControl(QSerialPort::NoFlowControl);
    connect(serialPortInst, SIGNAL(readyRead()), this, SLOT(ReceiveSerialPortData()));
    // Made before the loss handler below, so that a send failing on a lost device
    // is reported before the loss closes the port.
    m_writer = new SerialWriter(serialPortInst, serialPortWriteTimeoutMs, this);
    connect(m_writer, &SerialWriter::failed, this, [this](const QString &reason, qint64 droppedBytes) {
        // A running flash reports its own failed packet.
        if (m_flasher)
            return;
        reportLine(ConsoleText::sendFailed(reason));
        if (droppedBytes > 0)
            reportLine(ConsoleText::unsentDropped(droppedBytes));
    });
    connect(serialPortInst, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (SerialPortHangUpWatch::isLostDeviceError(error))
            SerialPortLost();
    });
    m_receiver = new PortReceiver(this);
    connect(m_receiver, &PortReceiver::piecesReceived, this, &MainWindow::showReceived);
    m_hangUpWatch = new SerialPortHangUpWatch(this);
    // Queued: closing the port deletes the very notifier whose wake-up is being
    // delivered when the watch speaks.
    connect(m_hangUpWatch, &SerialPortHangUpWatch::hungUp, this, [this] { SerialPortLost(); },
            Qt::QueuedConnection);
    m_reconnect = new PortReconnect(serialPortInst, this);
    connect(m_reconnect, &PortReconnect::reconnected, this, &MainWindow::portReconnected);
    connect(m_reconnect, &PortReconnect::reopenFailed, this,
            [this](const QString &reason) { reportLine(ConsoleText::reconnectFailed(reason)); });
}

void MainWindow::OpenSerialPort()
{
    const int index = ui->comboBox_port->currentIndex();
    if (index < 0 || index >= serialPortList.size()) {
        reportLine(ConsoleText::noPortAvailable());
        return;
    }

    const QString curSerialPort = serialPortList.at(index);
    // Whatever the port was doing ends here: open, or lost and watched for.
    const bool hadPort = serialPortInst->isOpen() || m_reconnect->isWatching();
    m_reconnect->cancel();
    if (hadPort) {
        stopRecordings();
        m_status->portClosed();
    }
    closeAfterDrain();
    serialPortInst->setPortName(curSerialPort);
    m_receiver->reset();

    const PortLock::OpenResult result = PortLock::openExclusive(serialPortInst);
    if (result == PortLock::Opened) {
        m_hangUpWatch->watch(serialPortInst);
        m_reconnect->portOpened(curSerialPort);
        m_status->portOpened(curSerialPort);
        qDebug().noquote() << curSerialPort << ConsoleText::portOpened();
        m_log->appendLine(ConsoleText::portOpened());
        return;
    }
    if (result == PortLock::OpenButLocked)
        qDebug().noquote() << curSerialPort << ConsoleText::portOpenFailed() + u':' << "flock held by another program";
    else
        qDebug().noquote() << curSerialPort << ConsoleText::portOpenFailed() + u':' << serialPortInst->error()
                           << serialPortInst->errorString();
    m_log->appendLine(ConsoleText::portOpenFailed());
    m_log->appendLine(PortLock::failureReason(result, *serialPortInst));
}

void MainWindow::CloseSerialPort()
{
    m_reconnect->cancel();
    // The flash ends before the drain, which may take the line time of what is
    // queued: the packet already handed over still goes out whole.
    if (m_flasher)
        m_flasher->stop();
    closeAfterDrain();
    reportLine(ConsoleText::portClosed());
    stopRecordings();
    m_status->portClosed();
}

// Blocks for at most the line time of what is queued, plus a margin.
void MainWindow::closeAfterDrain()
{
    const qint64 unsent = m_writer->closeAfterDrain();
    if (unsent > 0)
        reportLine(ConsoleText::unsentDropped(unsent));
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
    reportLine(ConsoleText::portLost());
    serialPortInst->close();
    m_reconnect->portLost();
    // Recording goes on across a reconnect, the gap plain in its timestamps.
    if (!m_reconnect->isWatching())
        stopRecordings();
    m_status->portClosed();
}

// Bytes from before the loss end nowhere: a frame head or half a character held
// then would glue onto the first bytes of the device that came back.
void MainWindow::portReconnected(const QString &portName)
{
    m_receiver->reset();
    m_hangUpWatch->watch(serialPortInst);
    m_status->portOpened(portName);
    FindSerialPort();
    selectPortEntry(portName);
    reportLine(ConsoleText::portReconnected(portName));
}

void MainWindow::selectPortEntry(const QString &portName)
{
    const qsizetype index = serialPortList.indexOf(portName);
    if (index >= 0)
        ui->comboBox_port->setCurrentIndex(int(index));
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
        reportLine(ConsoleText::portNotOpen());
        return false;
    }
    m_writer->send(data);
    return true;
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
    const QByteArray bytes = serialPortInst->readAll();
    m_status->addReceived(bytes.size());
    m_rawCapture->recordBytes(bytes);
    m_receiver->take(bytes);
}

void MainWindow::showReceived(const ReceiveStream::Pieces &pieces)
{
    m_readTime = m_telemetryRecording->isRecording() ? QDateTime::currentDateTime() : QDateTime();
    for (const ReceivedPiece &piece : pieces) {
        switch (piece.kind) {
        case ReceivedPiece::Frame:
            UpdateChart(piece.bytes);
            qDebug() << piece.bytes;
            break;
        case ReceivedPiece::Text:
            m_log->insertBoardText(piece.text);
            break;
        case ReceivedPiece::DroppedHead:
            qDebug().noquote() << "遥测帧不完整, 已丢弃:" << piece.bytes.toHex(' ');
            break;
        }
    }
}

void MainWindow::CreateQSplineSeries()
{
    m_chart = new PowerChart(ui->power_moniter, this);
    chartAxisX = m_chart->axisX();
    chartAxisY = m_chart->axisY();
    for (int i = 0; i < Telemetry::seriesCount; ++i)
        chartLineSeries[i] = m_chart->series(i);
}

void MainWindow::UpdateChart(const QByteArray &serialPortDataOut)
{
    const std::optional<Telemetry::Sample> numbers = Telemetry::decodeFrame(serialPortDataOut);
    if (!numbers)
        return;
    m_telemetryRecording->recordFrame(m_readTime, m_chart->data().sampleCount(), *numbers);
    m_chart->addSample(*numbers);
    m_status->addFrame(*numbers);
}
