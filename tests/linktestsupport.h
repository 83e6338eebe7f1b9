#ifndef LINKTESTSUPPORT_H
#define LINKTESTSUPPORT_H

#include "coretestsupport.h"
#include "ptypair.h"

#include <QtGlobal>

#include <atomic>
#include <thread>

// Helpers for the tests that drive a serial port over a pty pair, with or without
// a window: QtCore, the pty pair and nothing else.
namespace TestSupport {

// Plays a board that takes everything in until told to stop.
class DrainingBoard
{
public:
    explicit DrainingBoard(PtyPair &pty);
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

} // namespace TestSupport

#endif // LINKTESTSUPPORT_H
