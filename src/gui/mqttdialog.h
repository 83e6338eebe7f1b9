#ifndef MQTTDIALOG_H
#define MQTTDIALOG_H

#include "core/consolesettings.h"
#include "link/mqttpublisher.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

// Asks where to publish: the broker's URL, the board's name under its prefix, the
// password, and whether to remember the password. Settings the publisher would
// refuse keep the dialog open with the reason, and nothing starts.
class MqttDialog : public QDialog
{
    Q_OBJECT

public:
    MqttDialog(const MqttChoices &choices, QWidget *parent = nullptr);

    // What the fields hold, publishing; valid once the dialog was accepted.
    MqttChoices choices() const;
    MqttPublisher::Settings settings() const;

    void accept() override;

private:
    QLineEdit *m_url;
    QLineEdit *m_board;
    QLineEdit *m_password;
    QCheckBox *m_remember;
    QLabel *m_problem;
};

#endif // MQTTDIALOG_H
