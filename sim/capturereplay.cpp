#include "capturereplay.h"

#include "boardlink.h"

#include <QFileInfo>
#include <QTimer>

namespace {

constexpr int tickMs = 5;
// After a stall (the console not reading) the replay goes on at its rate, not in
// a burst making up for the time lost.
constexpr int maxTicksOfAllowance = 4;
// The kernel may hand bytes on to the reader a moment after the write; the far
// end counts as done only when nothing was left on two looks in a row.
constexpr int drainedTicksNeeded = 2;
// Well below what the link holds back before it drops bytes, at any rate.
constexpr qint64 maxChunk = 64 * 1024;
// How long after the console set the line up the replay waits for its open to end.
constexpr qint64 farEndSettleMs = 100;

} // namespace

CaptureReplay::CaptureReplay(BoardLink *link, QObject *parent)
    : QObject(parent),
      m_link(link),
      m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(tickMs);
    connect(m_timer, &QTimer::timeout, this, &CaptureReplay::sendDue);
}

bool CaptureReplay::open(const QString &path)
{
    m_file.setFileName(path);
    if (QFileInfo(path).isDir()) {
        m_errorString = QStringLiteral("%1 is a directory").arg(path);
        return false;
    }
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_errorString = QStringLiteral("cannot read %1: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

void CaptureReplay::start(int bytesPerSecond)
{
    m_rate = qMax(1, bytesPerSecond);
    m_allowance = 0;
    m_sent = 0;
    m_drainedTicks = 0;
    m_farEndReady.invalidate();
    m_sinceLastTick.start();
    m_timer->start();
}

void CaptureReplay::sendDue()
{
    const double tickAllowance = double(m_rate) * tickMs / 1000;
    m_allowance = qMin(m_allowance + double(m_rate) * double(m_sinceLastTick.restart()) / 1000,
                       maxTicksOfAllowance * qMax(1.0, tickAllowance));
    if (!m_link->isOpen()) {
        m_timer->stop();
        emit failed(QStringLiteral("the link closed after %1 of %2 bytes").arg(m_sent).arg(m_file.size()));
        return;
    }
    // Bytes that reach a pty before the console has opened it may be thrown away
    // by the open (Qt 6.8 flushes them), so the replay waits for the console, and a
    // little longer for its open to be over.
    if (!m_farEndReady.isValid()) {
        if (m_link->isFarEndReady())
            m_farEndReady.start();
        m_allowance = 0;
        return;
    }
    if (m_farEndReady.elapsed() < farEndSettleMs) {
        m_allowance = 0;
        return;
    }
    if (!m_file.atEnd() && m_link->pendingBytes() == 0 && m_allowance >= 1) {
        const QByteArray chunk = m_file.read(qMin(qint64(m_allowance), maxChunk));
        if (chunk.isEmpty() && !m_file.atEnd()) {
            m_timer->stop();
            emit failed(QStringLiteral("cannot read %1: %2").arg(m_file.fileName(), m_file.errorString()));
            return;
        }
        m_allowance -= double(chunk.size());
        m_sent += chunk.size();
        m_link->write(chunk);
    }
    if (!m_file.atEnd())
        return;
    m_drainedTicks = m_link->undeliveredBytes() == 0 ? m_drainedTicks + 1 : 0;
    if (m_drainedTicks >= drainedTicksNeeded) {
        m_timer->stop();
        emit finished();
    }
}
