#ifndef BOARDTHREAD_H
#define BOARDTHREAD_H

#include <QObject>
#include <QString>
#include <QThread>

#include <functional>

class BoardLink;
class BoardSimulator;

// A simulated board on a pty pair, running in a thread of its own. The console
// blocks its thread while it sends and while it flashes; a board sharing that
// thread could not drain the line meanwhile, and the console would wait out its
// write timeout on a full pty.
class BoardThread : public QObject
{
    Q_OBJECT

public:
    explicit BoardThread(QObject *parent = nullptr);
    ~BoardThread() override;

    // Opens the pty pair and starts the board; false (with the reason) on failure.
    bool start(QString *error = nullptr);

    QString portName() const { return m_portName; }

    // The simulator lives in the board thread: connect to its signals freely, but
    // touch it only through run(), which executes the call there and waits for it.
    BoardSimulator *simulator() const { return m_simulator; }
    void run(const std::function<void()> &call) const;

private:
    void stop();

    QThread m_thread;
    BoardSimulator *m_simulator = nullptr;
    BoardLink *m_link = nullptr;
    QString m_portName;
};

#endif // BOARDTHREAD_H
