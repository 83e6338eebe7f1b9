// What watching for a lost board costs while it stays away, and how soon it is
// open again once its device is back. The device is a link to a pty, re-pointed
// at a fresh one when the board "comes back".
// Usage: bench_reconnect [watch seconds, default 60]

#include "coretestsupport.h"
#include "link/portreconnect.h"
#include "link/portregistry.h"
#include "ptypair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 60;
    QTextStream out(stdout);

    QTemporaryDir folder;
    const QString device = folder.filePath(QStringLiteral("ttyBOARD"));
    PtyPair first;
    QFile::link(first.slavePath(), device);
    PortRegistry ports;
    ports.addExtraPort({ device, QStringLiteral("Board behind a link"), std::nullopt, std::nullopt });

    QSerialPort port;
    port.setPortName(device);
    port.setBaudRate(921600);
    if (!port.open(QIODevice::ReadWrite)) {
        out << "cannot open " << device << '\n';
        return 1;
    }
    PortReconnect reconnect(&port, &ports);
    reconnect.setEnabled(true);
    reconnect.portOpened(device);
    QFile::remove(device);
    port.close();
    reconnect.portLost();

    const qint64 cpuBefore = TestSupport::processCpuMs();
    QTimer::singleShot(seconds * 1000, &application, &QCoreApplication::quit);
    application.exec();
    const qint64 cpuMs = TestSupport::processCpuMs() - cpuBefore;
    out << "reconnect_watch_cpu: " << QString::number(100.0 * double(cpuMs) / (seconds * 1000.0), 'f', 3)
        << " % of one core (" << cpuMs << " ms CPU in " << seconds << " s; bound 0.5 %, ratio "
        << QString::number(double(cpuMs) / (seconds * 1000.0) / 0.005, 'f', 2) << ")\n";

    PtyPair back;
    QElapsedTimer sinceBack;
    QFile::link(back.slavePath(), device);
    sinceBack.start();
    qint64 latencyMs = -1;
    QObject::connect(&reconnect, &PortReconnect::reconnected, &application, [&] {
        latencyMs = sinceBack.elapsed();
        application.quit();
    });
    QTimer::singleShot(5000, &application, &QCoreApplication::quit);
    application.exec();
    out << "reconnect_latency: " << latencyMs << " ms (bound 1000 ms, ratio "
        << QString::number(double(latencyMs) / 1000.0, 'f', 2) << ")\n";
    return latencyMs >= 0 ? 0 : 1;
}
