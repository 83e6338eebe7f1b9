// Shows the console window and exits as soon as it has been painted once; the
// report script times whole runs of it, from process start to that exit.

#include "gui/mainwindow.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    // Queued behind the first expose and paint of the shown window.
    QTimer::singleShot(0, &application, [] { QCoreApplication::exit(0); });
    return application.exec();
}
