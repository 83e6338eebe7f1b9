#include "core/consolesettings.h"
#include "gui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Names the place of the user's settings (ConsoleSettings).
    QApplication::setOrganizationName(QStringLiteral("bench-console"));
    QApplication::setApplicationName(QStringLiteral("bench-console"));
    QApplication application(argc, argv);
    if (QApplication::arguments().contains(QStringLiteral("--reset-settings")))
        ConsoleSettings::reset();
    MainWindow window;
    window.show();
    return application.exec();
}
