#ifndef WRITESHAPER_H
#define WRITESHAPER_H

#include <QByteArray>
#include <QObject>
#include <QRandomGenerator>

class QTimer;

// How bytes leave the board, to meet the console with what real drivers do:
// several messages merged into one write, and each write cut in two. The rest of
// a cut write follows after the split delay, or sooner, right before the next write.
class WriteShaper : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        int mergeCount = 1;      // messages per write, at least 1
        int mergeWindowMs = 500; // a short batch goes out after this long
        bool splitWrites = false;
        int splitPoint = 0;      // bytes before the cut; 0 cuts at a random point
        int splitDelayMs = 5;
    };

    explicit WriteShaper(QObject *parent = nullptr);

    // Values out of range are brought into it; settings() gives what is in force.
    void setSettings(const Settings &settings);
    const Settings &settings() const { return m_settings; }
    void seed(quint32 seed);

    void write(const QByteArray &message);
    // Writes out whatever waits to be merged, and the second half of a split write.
    void flush();

Q_SIGNALS:
    void writeRequested(const QByteArray &bytes);

private:
    void flushMerged();
    void writeOut(const QByteArray &bytes);
    void releaseHeldRest();

    Settings m_settings;
    // Its own generator, so that cutting writes does not change the readings.
    QRandomGenerator m_splitRandom;
    QByteArray m_mergePending;
    int m_mergePendingCount = 0;
    // The second piece of the last cut write, until the split delay is over.
    QByteArray m_heldRest;
    QTimer *m_mergeTimer;
    QTimer *m_splitTimer;
};

#endif // WRITESHAPER_H
