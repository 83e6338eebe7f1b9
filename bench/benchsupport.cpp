#include "benchsupport.h"

#include "gui/SerialPortHandler.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSerialPort>

#include <cstdio>

namespace BenchSupport {

void dropDebugMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void report(const QString &name, double value, const QString &unit, const QString &comparison, int decimals)
{
    std::printf("%s: %.*f %s%s\n", qPrintable(name), decimals, value, qPrintable(unit),
                comparison.isEmpty() ? "" : qPrintable(QStringLiteral(" (") + comparison + u')'));
    std::fflush(stdout);
}

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

ReceiveProbe::ReceiveProbe()
{
    connect(serialPortInst, &QSerialPort::readyRead, this, [this] {
        receivedBytes += serialPortInst->bytesAvailable();
        arrival.start();
    });
}

void ReceiveProbe::followWindowSlot()
{
    disconnect(m_stopConnection);
    m_stopConnection = connect(serialPortInst, &QSerialPort::readyRead, this,
                               [this] { slotNanoseconds += arrival.nsecsElapsed(); });
}

bool ReceiveProbe::boardSends(TestSupport::PtyConsole &console, const QByteArray &bytes)
{
    const qint64 expected = receivedBytes + bytes.size();
    if (!console.board().writeMaster(bytes))
        return false;
    const QDeadlineTimer deadline(5000);
    while (receivedBytes < expected) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

PacedWriter::PacedWriter(TestPty &pty, qint64 writes, std::chrono::nanoseconds period, Piece piece)
    : m_thread([&pty, writes, period, piece = std::move(piece), this] {
          const auto start = std::chrono::steady_clock::now();
          for (qint64 index = 0; index < writes; ++index) {
              std::this_thread::sleep_until(start + index * period);
              const QByteArray bytes = piece(index);
              if (!pty.writeMaster(bytes)) {
                  failed = true;
                  break;
              }
              written += bytes.size();
          }
          finished = true;
      })
{
}

PacedWriter::~PacedWriter()
{
    m_thread.join();
}

} // namespace BenchSupport
