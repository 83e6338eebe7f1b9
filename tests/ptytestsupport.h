#ifndef PTYTESTSUPPORT_H
#define PTYTESTSUPPORT_H

#include "ptypair.h"

#include <QByteArray>

#include <atomic>
#include <thread>

// Reads what a non-blocking descriptor holds, waiting at most timeoutMs for the first byte.
QByteArray readAvailable(int fd, int timeoutMs);
// Reads until count bytes arrived or timeoutMs passed.
QByteArray readExactly(int fd, qsizetype count, int timeoutMs);

// A pty pair whose master side a test or a benchmark drives by hand, blocking
// with a timeout; the simulated board's own end (BoardLink) never blocks.
class TestPty : public PtyPair
{
public:
    // Writes every byte to the master, retrying on short writes for up to 5 s.
    bool writeMaster(const QByteArray &bytes);
    // Reads what the master holds now, waiting at most timeoutMs for the first byte.
    QByteArray readMaster(int timeoutMs);
    // Reads until exactly count bytes arrived or timeoutMs passed.
    QByteArray readMasterExactly(qsizetype count, int timeoutMs);
    // Reads until count bytes arrived or timeoutMs passed, with the event loop
    // running meanwhile: the console writes from it.
    QByteArray readMasterWhileRunning(qsizetype count, int timeoutMs = 2000);
    // Writes filler to the slave, from a descriptor of its own, until its driver
    // takes no more, as one the board stopped reading is left. Returns how many
    // bytes that took, -1 on failure.
    qsizetype fillSlaveDriver(char filler);
};

// Plays a board that takes everything in until told to stop; given unplugAfter,
// its adapter is pulled out (the master closed) once it has taken that many bytes.
class DrainingBoard
{
public:
    explicit DrainingBoard(PtyPair &pty, qsizetype unplugAfter = -1);
    ~DrainingBoard() { stop(); }
    DrainingBoard(const DrainingBoard &) = delete;
    DrainingBoard &operator=(const DrainingBoard &) = delete;

    qsizetype stop();
    qsizetype received() const { return m_received; }

private:
    std::atomic<bool> m_stop { false };
    std::atomic<qsizetype> m_received { 0 };
    std::thread m_thread;
};

#endif // PTYTESTSUPPORT_H
