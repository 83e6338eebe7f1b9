#ifndef MQTTPUBLISHING_H
#define MQTTPUBLISHING_H

#include "link/mqttpublisher.h"

#include <QObject>
#include <QString>

#include <functional>

class LogPane;
class MqttFeed;
class StatusLine;
class WindowPreferences;
class QWidget;

// "串口" → "发布到 MQTT…": ticking it asks where to publish, unticking it stops.
// The broker's state goes to the status bar and its lines to the log pane. The
// choices are remembered, and publishing runs on as it was left: a console that
// quit publishing publishes again at its next start, without asking.
class MqttPublishing : public QObject
{
    Q_OBJECT

public:
    // The board's name offered when none was given before.
    using DefaultBoardName = std::function<QString()>;

    MqttPublishing(MqttFeed *feed, WindowPreferences *preferences, LogPane *log, StatusLine *status,
                   DefaultBoardName defaultBoardName, QWidget *window);

private:
    void askForBroker();
    // False, with the reason in the log, when the settings cannot be used.
    bool start(const MqttPublisher::Settings &settings);
    void uncheck();

    MqttFeed *const m_feed;
    WindowPreferences *const m_preferences;
    LogPane *const m_log;
    const DefaultBoardName m_defaultBoardName;
    QWidget *const m_window;
};

#endif // MQTTPUBLISHING_H
