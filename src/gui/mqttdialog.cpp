#include "gui/mqttdialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

QLineEdit *choiceField(const char *objectName, const QString &text, QWidget *parent)
{
    auto *field = new QLineEdit(text, parent);
    field->setObjectName(QLatin1String(objectName));
    field->setClearButtonEnabled(true);
    return field;
}

} // namespace

MqttDialog::MqttDialog(const MqttChoices &choices, QWidget *parent)
    : QDialog(parent)
    , m_url(choiceField("lineEdit_mqtt_url", choices.url, this))
    , m_board(choiceField("lineEdit_mqtt_board", choices.board, this))
    , m_password(choiceField("lineEdit_mqtt_password", choices.password, this))
    , m_remember(new QCheckBox(QCoreApplication::translate("MainWindow", "记住密码"), this))
    , m_problem(new QLabel(this))
{
    setObjectName(QStringLiteral("dialog_mqtt"));
    // Titled as the menu item that opens it, without the item's ellipsis.
    QString title = QCoreApplication::translate("MainWindow", "发布到 MQTT…");
    if (title.endsWith(u'…'))
        title.chop(1);
    setWindowTitle(title);
    m_url->setPlaceholderText(QStringLiteral("mqtt://user@host:1883/bench"));
    m_url->setMinimumWidth(m_url->fontMetrics().horizontalAdvance(u'x') * 40);
    m_password->setEchoMode(QLineEdit::Password);
    m_remember->setObjectName(QStringLiteral("checkBox_mqtt_remember"));
    m_remember->setChecked(choices.rememberPassword);

    auto *form = new QFormLayout;
    form->addRow(QCoreApplication::translate("MainWindow", "服务器"), m_url);
    form->addRow(QCoreApplication::translate("MainWindow", "板名"), m_board);
    form->addRow(QCoreApplication::translate("MainWindow", "密码"), m_password);
    form->addRow(QString(), m_remember);

    m_problem->setObjectName(QStringLiteral("label_mqtt_problem"));
    m_problem->setStyleSheet(QStringLiteral("color: red;"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QCoreApplication::translate(
                                     "MainWindow", "遥测、板子文本和事件发布到 mqtt://[用户@]主机[:端口]/前缀 或 mqtts://…"),
                                 this));
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

MqttChoices MqttDialog::choices() const
{
    return { m_url->text().trimmed(), m_board->text().trimmed(), m_password->text(), m_remember->isChecked(), true };
}

MqttPublisher::Settings MqttDialog::settings() const
{
    const MqttChoices chosen = choices();
    return { chosen.url, chosen.board, chosen.password, {} };
}

void MqttDialog::accept()
{
    const QString problem = MqttPublisher::check(settings());
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    if (problem.isEmpty())
        QDialog::accept();
}
