#ifndef QUITREQUESTS_H
#define QUITREQUESTS_H

class QWidget;

// The system asking the console to end is the user's own quit: Ctrl-C or SIGTERM
// (Ctrl-C or closing the console on Windows) and a desktop session logging out
// close the window, so that its way out runs as after "退出": the choices saved,
// the recordings complete, the port closed. A second signal ends the process at
// once, for a console that no longer answers.
namespace QuitRequests {

void closeWindowOnRequest(QWidget *window);

} // namespace QuitRequests

#endif // QUITREQUESTS_H
