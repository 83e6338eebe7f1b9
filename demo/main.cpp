// The console beside a simulated board: the board's pty is listed in the port
// selector as "Simulated board", next to the real ports, so the console can be
// tried without hardware.

#include "boardsimulator.h"
#include "boardthread.h"
#include "gui/mainwindow.h"
#include "link/portregistry.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);

    BoardThread board;
    QString error;
    if (!board.start(&error)) {
        QTextStream(stderr) << "bench-console-demo: cannot start the simulated board: " << error << '\n';
        QMessageBox::critical(nullptr, QStringLiteral("bench-console-demo"),
                              QStringLiteral("Cannot start the simulated board: %1").arg(error));
        return 1;
    }
    QTextStream(stdout) << "Simulated board on " << board.portName() << Qt::endl;
    // What the board makes of every frame, for whoever watches the terminal.
    QObject::connect(board.simulator(), &BoardSimulator::lineLogged, &application,
                     [](const QString &line, BoardSimulator::LineKind kind) {
                         if (kind != BoardSimulator::LineKind::Telemetry)
                             QTextStream(stdout) << line << Qt::endl;
                     });

    PortRegistry ports;
    ports.addExtraPort({ board.portName(), QStringLiteral("Simulated board"), std::nullopt, std::nullopt });
    ports.setPreferredPort(board.portName());
    MainWindow window(&ports);
    window.show();
    return application.exec();
}
