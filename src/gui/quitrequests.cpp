#include "gui/quitrequests.h"

#include "core/interruptwatch.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QWidget>

namespace QuitRequests {

void closeWindowOnRequest(QWidget *window)
{
    auto *watch = new InterruptWatch(window);
    QObject::connect(watch, &InterruptWatch::interrupted, window, &QWidget::close);
#if QT_CONFIG(sessionmanager)
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, window,
                     [window](QSessionManager &) { window->close(); });
#endif
}

} // namespace QuitRequests
