#ifndef PTYPAIR_H
#define PTYPAIR_H

#include <QString>

// A pseudo-terminal pair standing in for a serial cable: the console opens the
// slave path with QSerialPort, and the board side reads and writes the master.
// The master is non-blocking. POSIX only; the console itself never uses it.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_masterFd >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_masterFd; }

    // Bytes written to the master that the slave side has not read yet.
    qsizetype unreadBytes() const;
    // Whether someone has set the line up since the pair was made: a console's
    // serial port sets its speed when it opens the slave.
    bool slaveConfigured() const;
    // Closing the master hangs up the slave, as an unplugged USB adapter does.
    void closeMaster();

private:
    int m_masterFd = -1;
    int m_slaveFd = -1;
    unsigned m_initialSpeed = 0;
    QString m_slavePath;
};

#endif // PTYPAIR_H
