#ifndef BOARDPORT_H
#define BOARDPORT_H

#include "core/commandframes.h"
#include "core/receivestream.h"
#include "core/telemetry.h"
#include "link/boardsession.h"
#include "link/portregistry.h"

#include <QDateTime>
#include <QEventLoop>
#include <QObject>
#include <QSerialPort>

#include <memory>

class Output;

// One board's port for a script: the console's session over a port of its own,
// waited on where a script waits (a send that has left, a close that is over, the
// end of a recording), and what the board sends, as the window takes it in:
// telemetry frames, decoded, and board text, in arrival order.
class BoardPort : public QObject
{
    Q_OBJECT

public:
    explicit BoardPort(const QString &name, QObject *parent = nullptr);

    // The port of a command that needs it open; null when it would not open, with
    // the window's reason said.
    static std::unique_ptr<BoardPort> openOrExplain(const QString &name, Output &output);

    bool open();
    QString name() const { return m_name; }
    // The window's line and reason when open() failed.
    QString openFailure() const { return m_openFailure; }
    bool isLost() const { return m_lost; }
    BoardSession &session() { return m_session; }

    // Sends bytes as the window does, and runs the event loop until they have left
    // or failed; the line saying why when they did not go out.
    QString send(const QByteArray &bytes);
    // Runs the event loop, handing out what arrives, until end() or the loss of the
    // board.
    void listen();
    // Ends listen(), also before it runs, and hands out nothing more, the rest of a
    // read included: a frame may end the work. The first failure given is kept.
    void end(const QString &failure = {});
    QString failure() const { return m_failure; }
    // Ends listen() once that many seconds have passed; none when not above 0.
    void endAfter(double seconds);
    // Lets what was given reach the line, then closes.
    void close();

    // Plotting on, as the window's "曲线绘制" box sends it; a send that fails ends
    // the work.
    void startPlotting();
    // Plotting off again where startPlotting() turned it on and the port is open;
    // a send that fails ends the work, keeping any failure given before.
    void stopPlotting();
    // The GPU rail off, the bytes of the window's "GPU断电" button, handed to the
    // driver at once when nothing else waits to go out, else queued behind what
    // was given. Not waited for, so that frames go on being handed out in order
    // meanwhile; close() lets it out. False when the port is not open.
    bool powerOffGpu();

signals:
    // The work has ended: end() was called the first time.
    void ended();
    void frameReceived(const Telemetry::Sample &values, const QDateTime &receivedAt);
    void textReceived(const QString &text);

private:
    void deliver(const ReceiveStream::Pieces &pieces);

    const QString m_name;
    QSerialPort m_port;
    // A script names its port; no other port is listed, and none is reconnected.
    const PortRegistry m_ports;
    BoardSession m_session;
    QString m_openFailure;
    bool m_lost = false;
    QEventLoop m_listening;
    bool m_ended = false;
    QString m_failure;
    // The board's GPU frame as this run leaves it, as the window's frame keeps
    // what its last command set: plotting after a power-off carries the rail off.
    GPU_POWER_order_struct m_gpuFrame = GPU_POWER_order;
    bool m_plotting = false;
};

#endif // BOARDPORT_H
