#include "gui/mqttpublishing.h"

#include "gui/logpane.h"
#include "gui/mqttdialog.h"
#include "gui/mqttfeed.h"
#include "gui/statusline.h"
#include "gui/windowpreferences.h"

#include <QAction>
#include <QSignalBlocker>

#include <utility>

namespace {

QString passwordFromEnvironment()
{
    return qEnvironmentVariable("BENCH_MQTT_PASSWORD");
}

} // namespace

MqttPublishing::MqttPublishing(MqttFeed *feed, WindowPreferences *preferences, LogPane *log, StatusLine *status,
                               DefaultBoardName defaultBoardName, QWidget *window)
    : QObject(window)
    , m_feed(feed)
    , m_preferences(preferences)
    , m_log(log)
    , m_defaultBoardName(std::move(defaultBoardName))
    , m_window(window)
{
    connect(m_feed->publisher(), &MqttPublisher::stateChanged, status, &StatusLine::setMqttState);
    connect(m_feed->publisher(), &MqttPublisher::message, m_log, [this](const QString &line) { m_log->appendLine(line); });
    QAction *const publishing = m_preferences->mqttAction();
    connect(publishing, &QAction::toggled, this, [this](bool on) {
        if (on) {
            askForBroker();
            return;
        }
        m_feed->stop();
        MqttChoices choices = m_preferences->mqttChoices();
        choices.publishing = false;
        m_preferences->rememberMqtt(choices);
    });

    const MqttChoices remembered = m_preferences->mqttChoices();
    if (!remembered.publishing)
        return;
    const MqttPublisher::Settings settings {
        remembered.url, remembered.board.isEmpty() ? m_defaultBoardName() : remembered.board,
        remembered.rememberPassword ? remembered.password : passwordFromEnvironment(), {}
    };
    if (start(settings)) {
        const QSignalBlocker quiet(publishing);
        publishing->setChecked(true);
    }
}

// The dialog leaves the window answering; cancelling it leaves publishing off.
void MqttPublishing::askForBroker()
{
    MqttChoices choices = m_preferences->mqttChoices();
    if (choices.board.isEmpty())
        choices.board = m_defaultBoardName();
    if (!choices.rememberPassword)
        choices.password = passwordFromEnvironment();
    auto *dialog = new MqttDialog(choices, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        if (start(dialog->settings()))
            m_preferences->rememberMqtt(dialog->choices());
        else
            uncheck();
    });
    connect(dialog, &QDialog::rejected, this, [this] { uncheck(); });
    dialog->open();
}

bool MqttPublishing::start(const MqttPublisher::Settings &settings)
{
    const QString refusal = MqttPublisher::check(settings);
    if (!refusal.isEmpty()) {
        m_log->appendLine(refusal);
        return false;
    }
    return m_feed->start(settings);
}

// Nothing was started, so there is nothing to stop.
void MqttPublishing::uncheck()
{
    QAction *const publishing = m_preferences->mqttAction();
    const QSignalBlocker quiet(publishing);
    publishing->setChecked(false);
}
