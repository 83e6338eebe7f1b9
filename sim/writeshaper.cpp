#include "writeshaper.h"

#include <QTimer>

#include <utility>

WriteShaper::WriteShaper(QObject *parent)
    : QObject(parent),
      m_splitRandom(1),
      m_mergeTimer(new QTimer(this)),
      m_splitTimer(new QTimer(this))
{
    m_mergeTimer->setSingleShot(true);
    m_mergeTimer->setInterval(m_settings.mergeWindowMs);
    connect(m_mergeTimer, &QTimer::timeout, this, &WriteShaper::flushMerged);

    m_splitTimer->setSingleShot(true);
    m_splitTimer->setTimerType(Qt::PreciseTimer);
    connect(m_splitTimer, &QTimer::timeout, this, &WriteShaper::releaseHeldRest);
}

void WriteShaper::setSettings(const Settings &settings)
{
    m_settings = settings;
    m_settings.mergeCount = qMax(1, settings.mergeCount);
    m_settings.mergeWindowMs = qMax(1, settings.mergeWindowMs);
    m_settings.splitPoint = qMax(0, settings.splitPoint);
    m_settings.splitDelayMs = qMax(0, settings.splitDelayMs);
    // A running window is restarted only when its length changes.
    if (m_mergeTimer->interval() != m_settings.mergeWindowMs)
        m_mergeTimer->setInterval(m_settings.mergeWindowMs);
    if (m_mergePendingCount >= m_settings.mergeCount)
        flushMerged();
}

void WriteShaper::seed(quint32 seed)
{
    m_splitRandom.seed(seed);
}

void WriteShaper::write(const QByteArray &message)
{
    if (m_settings.mergeCount <= 1) {
        writeOut(message);
        return;
    }
    m_mergePending += message;
    ++m_mergePendingCount;
    if (m_mergePendingCount >= m_settings.mergeCount)
        flushMerged();
    else if (!m_mergeTimer->isActive())
        m_mergeTimer->start();
}

void WriteShaper::flushMerged()
{
    m_mergeTimer->stop();
    if (m_mergePending.isEmpty())
        return;
    const QByteArray merged = m_mergePending;
    m_mergePending.clear();
    m_mergePendingCount = 0;
    writeOut(merged);
}

// The rest of a cut write waits for the split delay, so that the console's driver
// sees two arrivals, but never for a later write: that one pushes it out first.
// Were the next write to wait behind the pause, a board writing more often than the
// delay would queue without end and fall behind for good.
void WriteShaper::writeOut(const QByteArray &bytes)
{
    releaseHeldRest();
    if (!m_settings.splitWrites || bytes.size() < 2) {
        emit writeRequested(bytes);
        return;
    }
    const int cut = m_settings.splitPoint > 0 ? int(qMin<qsizetype>(m_settings.splitPoint, bytes.size() - 1))
                                              : int(m_splitRandom.bounded(1, int(bytes.size())));
    // Held before the first piece goes out, so that a write made from a slot of
    // writeRequested still comes after it.
    m_heldRest = bytes.mid(cut);
    if (m_settings.splitDelayMs > 0)
        m_splitTimer->start(m_settings.splitDelayMs);
    emit writeRequested(bytes.left(cut));
    if (m_settings.splitDelayMs == 0)
        releaseHeldRest();
}

void WriteShaper::releaseHeldRest()
{
    m_splitTimer->stop();
    if (m_heldRest.isEmpty())
        return;
    emit writeRequested(std::exchange(m_heldRest, QByteArray()));
}

void WriteShaper::flush()
{
    flushMerged();
    releaseHeldRest();
}
