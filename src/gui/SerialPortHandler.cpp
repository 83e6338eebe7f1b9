#include "gui/SerialPortHandler.h"

#include "core/consoletext.h"
#include "core/portlisting.h"
#include "core/telemetry.h"
#include "gui/chartcursors.h"
#include "gui/logpane.h"
#include "gui/mainwindow.h"
#include "gui/mqttfeed.h"
#include "gui/powerchart.h"
#include "gui/recording.h"
#include "gui/statusline.h"
#include "link/boardsession.h"
#include "link/firmwareflasher.h"
#include "link/portregistry.h"
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
    m_session = new BoardSession(serialPortInst, m_ports, this);
    connect(serialPortInst, SIGNAL(readyRead()), this, SLOT(ReceiveSerialPortData()));
    connect(m_session, &BoardSession::opened, this, &MainWindow::portOpened);
    connect(m_session, &BoardSession::openFailed, this,
            [this](const QString &portName, const QString &reason, const QString &detail) {
        qDebug().noquote() << portName << ConsoleText::portOpenFailed() + u':' << detail;
        m_log->appendLine(ConsoleText::portOpenFailed());
        m_log->appendLine(reason);
    });
    connect(m_session, &BoardSession::closeWaiting, this,
            [this](qint64 pendingBytes) { reportLine(ConsoleText::closeWaitsForUnsent(pendingBytes)); });
    connect(m_session, &BoardSession::unsentDropped, this,
            [this](qint64 bytes) { reportLine(ConsoleText::unsentDropped(bytes)); });
    connect(m_session, &BoardSession::closed, this, &MainWindow::portClosed);
    connect(m_session, &BoardSession::lost, this, &MainWindow::portLost);
    connect(m_session, &BoardSession::reconnected, this, &MainWindow::portReconnected);
    connect(m_session, &BoardSession::reconnectFailed, this,
            [this](const QString &reason) { reportLine(ConsoleText::reconnectFailed(reason)); });
    connect(m_session, &BoardSession::sendFailed, this, [this](const QString &reason, qint64 droppedBytes) {
        // A running flash reports its own failed packet.
        if (m_flasher)
            return;
        reportLine(ConsoleText::sendFailed(reason));
        if (droppedBytes > 0)
            reportLine(ConsoleText::unsentDropped(droppedBytes));
    });
    connect(m_session, &BoardSession::piecesReceived, this, &MainWindow::showReceived);
}

void MainWindow::OpenSerialPort()
{
    const int index = ui->comboBox_port->currentIndex();
    if (index < 0 || index >= serialPortList.size()) {
        reportLine(ConsoleText::noPortAvailable());
        return;
    }
    // Whatever the port was doing ends here: open, or lost and watched for.
    if (m_session->isOpen() || m_session->isReconnecting()) {
        stopRecordings();
        m_status->portClosed();
    }
    m_session->open(serialPortList.at(index));
}

void MainWindow::CloseSerialPort()
{
    // The flash ends before the port's queue drains: the packet already handed
    // over still goes out whole.
    if (m_flasher)
        m_flasher->stop();
    m_session->close();
}

void MainWindow::portOpened(const QString &portName)
{
    m_status->portOpened(portName, m_session->lineSettings().text());
    m_cursors->setTimeOrigin(m_chart->clockUs());
    qDebug().noquote() << portName << ConsoleText::portOpened();
    m_log->appendLine(ConsoleText::portOpened());
    m_mqtt->portOpened(portName);
}

void MainWindow::portClosed()
{
    reportLine(ConsoleText::portClosed());
    stopRecordings();
    m_status->portClosed();
    m_mqtt->portClosed();
    if (m_closeWhenPortClosed)
        QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

// The port's own error text is whatever the last failing call left (often
// "Inappropriate ioctl for device"), which tells the user nothing, so the line says
// what happened.
void MainWindow::portLost(bool reconnecting)
{
    reportLine(ConsoleText::portLost());
    // Recording goes on across a reconnect, the gap plain in its timestamps.
    if (!reconnecting)
        stopRecordings();
    m_status->portClosed();
    m_mqtt->portLost(reconnecting);
}

void MainWindow::portReconnected(const QString &portName)
{
    m_status->portOpened(portName, m_session->lineSettings().text());
    FindSerialPort();
    selectPortEntry(portName);
    reportLine(ConsoleText::portReconnected(portName));
    m_mqtt->portReconnected(portName);
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
    return transmit(data, SerialWriter::Urgency::Normal);
}

bool MainWindow::transmit(const QByteArray &data, SerialWriter::Urgency urgency)
{
    if (m_session->send(data, urgency))
        return true;
    reportLine(ConsoleText::portNotOpen());
    return false;
}

int MainWindow::FindSerialPort()
{
    const QString selectedPort = serialPortList.value(ui->comboBox_port->currentIndex());
    const PortListing listing = PortListing::format(m_ports->list());
    for (const QString &text : listing.reportedTexts)
        qDebug().noquote() << "Port:" + text;

    serialPortList = listing.portNames;
    ui->comboBox_port->clear();
    ui->comboBox_port->addItems(listing.displayTexts);
    ui->comboBox_port->setCurrentIndex(PortListing::entryToSelect(serialPortList, selectedPort, m_ports->preferredPort()));
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
    m_session->receive();
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
            m_mqtt->addText(piece.text);
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
    // One reading of the clock stamps the sample for the history and the limits alike.
    const qint64 arrivalUs = m_chart->clockUs();
    watchLimits(m_chart->data().sampleCount(), arrivalUs, *numbers);
    m_mqtt->addSample(m_chart->data().sampleCount(), *numbers);
    m_chart->addSample(*numbers, arrivalUs);
    m_status->addFrame(*numbers);
}
