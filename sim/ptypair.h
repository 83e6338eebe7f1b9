#ifndef PTYPAIR_H
#define PTYPAIR_H

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair standing in for a serial cable: the console opens the
// slave path with QSerialPort, and the board side reads and writes the master.
// POSIX only; the console itself never uses it.
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

    // Writes every byte to the master, retrying on short writes.
    bool writeMaster(const QByteArray &bytes);
    // Reads what the master holds now, waiting at most timeoutMs for the first byte.
    QByteArray readMaster(int timeoutMs);
    // Reads until exactly count bytes arrived or timeoutMs passed.
    QByteArray readMasterExactly(qsizetype count, int timeoutMs);
    // Closing the master hangs up the slave, as an unplugged USB adapter does.
    void closeMaster();

private:
    int m_masterFd = -1;
    int m_slaveFd = -1;
    QString m_slavePath;
};

#endif // PTYPAIR_H
