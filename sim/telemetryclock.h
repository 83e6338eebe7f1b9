#ifndef TELEMETRYCLOCK_H
#define TELEMETRYCLOCK_H

#include <QElapsedTimer>
#include <QObject>

class QTimer;

// Says when the board's next telemetry frame is due while streaming runs. Frame n
// is due n periods after the clock started, counted in microseconds, so the rate
// holds whatever the timer's millisecond grain: a period of 3.33 ms is not cut to
// 3, nor one of 1.67 ms to 1.
class TelemetryClock : public QObject
{
    Q_OBJECT

public:
    explicit TelemetryClock(QObject *parent = nullptr);

    int rate() const { return m_rate; }
    // Frames per second, 1 to 1000; a running clock starts counting anew.
    void setRate(int framesPerSecond);
    bool isRunning() const { return m_running; }
    void setRunning(bool on);

Q_SIGNALS:
    void frameDue();

private:
    void restart();
    void schedule();
    void emitDueFrames();

    int m_rate = 50;
    bool m_running = false;
    QElapsedTimer m_clock;
    qint64 m_framesSent = 0;
    QTimer *m_timer;
};

#endif // TELEMETRYCLOCK_H
