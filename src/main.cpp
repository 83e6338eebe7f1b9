#include "core/consolesettings.h"
#include "gui/mainwindow.h"
#include "gui/quitrequests.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

namespace {

// Qt's own message for a missing display ends in an abort; the user is told
// plainly instead. Wayland and X are the sessions of Linux and the BSDs; an
// explicit platform (offscreen, vnc, eglfs) needs neither.
bool lacksGraphicalSession()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
#else
    return false;
#endif
}

// Qt lists its own options only through an application object, which needs the
// display: the ones a bench user may want are named here.
const char qtOptionsHelp[] = "\nQt's options, among them:\n"
                             "  -platform <name[:options]>   The platform plugin: xcb, wayland, offscreen, ...\n"
                             "  -platformtheme <name>        The platform theme.\n"
                             "  -style <style>               The widget style.\n"
                             "  -stylesheet <file>           A style sheet for the window.\n"
                             "  -reverse                     The window laid out from right to left.\n"
                             "  -qwindowgeometry <geometry>  The window's first geometry, as X11 writes it.\n";

} // namespace

int main(int argc, char *argv[])
{
    // Names the place of the user's settings (ConsoleSettings) too.
    QCoreApplication::setOrganizationName(QStringLiteral("bench-console"));
    QCoreApplication::setApplicationName(QStringLiteral("bench-console"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BENCH_CONSOLE_VERSION));

    // Read before the application object, which needs the display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Bench console for the board's serial line"));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption resetSettingsOption(QStringLiteral("reset-settings"),
                                                 QStringLiteral("Start from the default settings."));
    parser.addOption(resetSettingsOption);
    // Qt's own options (-platform, -style …) are the application's to take.
    parser.parse(arguments);
    const bool helpAll = parser.isSet(QStringLiteral("help-all"));
    if (parser.isSet(helpOption) || helpAll) {
        std::fputs(qPrintable(parser.helpText().replace(QLatin1String("<executable_name>"), QLatin1String("bench-console"))), stdout);
        if (helpAll)
            std::fputs(qtOptionsHelp, stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("bench-console %s\n", BENCH_CONSOLE_VERSION);
        return 0;
    }
    if (lacksGraphicalSession() && !arguments.contains(QLatin1String("-platform"))) {
        std::fputs("bench-console: needs a graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set)\n", stderr);
        return 1;
    }

    QApplication application(argc, argv);
    if (parser.isSet(resetSettingsOption))
        ConsoleSettings::reset();
    MainWindow window;
    QuitRequests::closeWindowOnRequest(&window);
    window.show();
    return application.exec();
}
