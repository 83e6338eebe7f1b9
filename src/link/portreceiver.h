#ifndef PORTRECEIVER_H
#define PORTRECEIVER_H

#include "core/receivestream.h"

#include <QByteArrayView>
#include <QObject>
#include <QTimer>

// What one port brings in, as pieces in order: telemetry frames, board text and
// frame heads that were never completed. It owns the stream that finds them and
// the timer that ends the wait for the rest of a frame head held at the end of a
// read, once the line has been quiet for ReceiveStream::holdLimitMs.
class PortReceiver : public QObject
{
    Q_OBJECT

public:
    explicit PortReceiver(QObject *parent = nullptr);

    // Takes what one read brought.
    void take(QByteArrayView bytes);
    // A port opened anew starts a new stream: held frame heads and half characters
    // from before are let go without a word.
    void reset();

    bool holdsBytes() const { return m_stream.holdsBytes(); }

signals:
    void piecesReceived(const ReceiveStream::Pieces &pieces);

private:
    ReceiveStream m_stream;
    QTimer m_holdTimer;
};

#endif // PORTRECEIVER_H
