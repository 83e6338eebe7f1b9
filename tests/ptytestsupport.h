#ifndef PTYTESTSUPPORT_H
#define PTYTESTSUPPORT_H

#include "ptypair.h"

#include <QByteArray>

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
};

#endif // PTYTESTSUPPORT_H
