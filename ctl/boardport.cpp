#include "boardport.h"

#include "output.h"

#include "core/boardcommand.h"
#include "core/consoletext.h"

#include <QEventLoop>
#include <QTimer>

#include <cmath>

BoardPort::BoardPort(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_session(&m_port, &m_ports)
{
    connect(&m_port, &QSerialPort::readyRead, &m_session, &BoardSession::receive);
    connect(&m_session, &BoardSession::piecesReceived, this, &BoardPort::deliver);
    connect(&m_session, &BoardSession::openFailed, this, [this](const QString &, const QString &reason) {
        m_openFailure = ConsoleText::portOpenFailed() + QStringLiteral(": ") + reason;
    });
    connect(&m_session, &BoardSession::lost, this, [this] {
        m_lost = true;
        end(ConsoleText::portLost());
    });
}

std::unique_ptr<BoardPort> BoardPort::openOrExplain(const QString &name, Output &output)
{
    auto port = std::make_unique<BoardPort>(name);
    if (port->open())
        return port;
    output.problem(QStringLiteral("%1: %2").arg(name, port->openFailure()));
    return nullptr;
}

bool BoardPort::open()
{
    m_session.open(m_name);
    return m_port.isOpen();
}

QString BoardPort::send(const QByteArray &bytes)
{
    if (!m_session.isOpen())
        return m_lost ? ConsoleText::portLost() : ConsoleText::portNotOpen();
    if (bytes.isEmpty())
        return {};
    QString failure;
    QEventLoop loop;
    connect(m_session.writer(), &SerialWriter::drained, &loop, &QEventLoop::quit);
    connect(m_session.writer(), &SerialWriter::failed, &loop, [&failure, &loop](const QString &reason) {
        failure = ConsoleText::sendFailed(reason);
        loop.quit();
    });
    connect(&m_session, &BoardSession::lost, &loop, &QEventLoop::quit);
    m_session.send(bytes);
    if (failure.isEmpty() && !m_lost)
        loop.exec();
    return m_lost ? ConsoleText::portLost() : failure;
}

void BoardPort::listen()
{
    if (!m_ended)
        m_listening.exec();
}

void BoardPort::end(const QString &failure)
{
    if (m_failure.isEmpty())
        m_failure = failure;
    m_listening.quit();
    if (!m_ended) {
        m_ended = true;
        emit ended();
    }
}

void BoardPort::endAfter(double seconds)
{
    if (seconds > 0)
        QTimer::singleShot(int(std::ceil(seconds * 1000)), Qt::PreciseTimer, this, [this] { end(); });
}

void BoardPort::startPlotting()
{
    m_plotting = true;
    if (const QString failure = send(BoardCommand::plotting(m_gpuFrame, true).bytes); !failure.isEmpty())
        end(failure);
}

void BoardPort::stopPlotting()
{
    if (m_plotting && m_session.isOpen())
        end(send(BoardCommand::plotting(m_gpuFrame, false).bytes));
    m_plotting = false;
}

bool BoardPort::powerOffGpu()
{
    return m_session.send(BoardCommand::gpuPower(m_gpuFrame, false).bytes, SerialWriter::Urgency::Urgent);
}

void BoardPort::close()
{
    QEventLoop loop;
    connect(&m_session, &BoardSession::closed, &loop, &QEventLoop::quit);
    m_session.close();
    if (m_session.isClosing())
        loop.exec();
}

void BoardPort::deliver(const ReceiveStream::Pieces &pieces)
{
    const QDateTime now = QDateTime::currentDateTime();
    for (const ReceivedPiece &piece : pieces) {
        if (m_ended)
            return;
        // A frame head that was never completed is too short to decode.
        if (piece.kind == ReceivedPiece::Text)
            emit textReceived(piece.text);
        else if (const std::optional<Telemetry::Sample> values = Telemetry::decodeFrame(piece.bytes))
            emit frameReceived(*values, now);
    }
}
