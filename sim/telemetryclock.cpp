#include "telemetryclock.h"

#include <QTimer>

#include <algorithm>

TelemetryClock::TelemetryClock(QObject *parent)
    : QObject(parent),
      m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &TelemetryClock::emitDueFrames);
}

void TelemetryClock::setRate(int framesPerSecond)
{
    m_rate = std::clamp(framesPerSecond, 1, 1000);
    if (m_timer->isActive())
        restart();
}

void TelemetryClock::setRunning(bool on)
{
    m_running = on;
    if (!on)
        m_timer->stop();
    else if (!m_timer->isActive())
        restart();
}

void TelemetryClock::restart()
{
    m_clock.start();
    m_framesSent = 0;
    schedule();
}

void TelemetryClock::schedule()
{
    const qint64 dueUs = (m_framesSent + 1) * 1000000 / m_rate;
    const qint64 waitUs = dueUs - m_clock.nsecsElapsed() / 1000;
    m_timer->start(int(std::max<qint64>(0, (waitUs + 999) / 1000)));
}

void TelemetryClock::emitDueFrames()
{
    const qint64 due = m_clock.nsecsElapsed() / 1000 * m_rate / 1000000;
    // Frames a busy machine made late go out at once, and the rate holds. A board held
    // up for longer than a second (a debugger) makes up one second, not all it missed.
    const qint64 catchUpLimit = m_rate;
    if (due - m_framesSent > catchUpLimit)
        m_framesSent = due - catchUpLimit;
    while (m_framesSent < due && m_running) {
        ++m_framesSent;
        emit frameDue();
    }
    if (m_running && !m_timer->isActive())
        schedule();
}
