#include "gui/triggerdialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The C locale's digits always, the user's own decimal separator too.
std::optional<double> levelFrom(const QString &entered)
{
    const QString trimmed = entered.trimmed();
    bool ok = false;
    double level = QLocale::c().toDouble(trimmed, &ok);
    if (!ok)
        level = QLocale().toDouble(trimmed, &ok);
    return ok && std::isfinite(level) ? std::optional<double>(level) : std::nullopt;
}

} // namespace

TriggerDialog::TriggerDialog(const ChartTrigger::Settings &settings, QWidget *parent)
    : QDialog(parent)
    , m_curve(new QComboBox(this))
    , m_level(new QLineEdit(this))
    , m_edge(new QComboBox(this))
    , m_mode(new QComboBox(this))
    , m_position(new QSpinBox(this))
    , m_problem(new QLabel(this))
{
    setObjectName(QStringLiteral("dialog_trigger"));
    setWindowTitle(QCoreApplication::translate("MainWindow", "触发"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_curve->setObjectName(QStringLiteral("comboBox_trigger_curve"));
    for (const char *name : Telemetry::seriesNames)
        m_curve->addItem(QString::fromLatin1(name));
    m_curve->setCurrentIndex(settings.series);

    m_level->setObjectName(QStringLiteral("lineEdit_trigger_level"));
    m_level->setText(QString::number(settings.level));

    m_edge->setObjectName(QStringLiteral("comboBox_trigger_edge"));
    using Edge = ChartTrigger::Edge;
    for (const Edge edge : { Edge::Rising, Edge::Falling, Edge::Either })
        m_edge->addItem(ChartTrigger::edgeName(edge), QVariant::fromValue(int(edge)));
    m_edge->setCurrentIndex(m_edge->findData(int(settings.edge)));

    m_mode->setObjectName(QStringLiteral("comboBox_trigger_mode"));
    for (const ChartTrigger::Mode mode : { ChartTrigger::Mode::Single, ChartTrigger::Mode::Continuous })
        m_mode->addItem(ChartTrigger::modeName(mode), QVariant::fromValue(int(mode)));
    m_mode->setCurrentIndex(m_mode->findData(int(settings.mode)));

    m_position->setObjectName(QStringLiteral("spinBox_trigger_position"));
    m_position->setRange(0, 100);
    m_position->setSuffix(QStringLiteral(" %"));
    m_position->setValue(settings.positionPercent);

    m_problem->setObjectName(QStringLiteral("label_trigger_problem"));
    m_problem->setStyleSheet(QStringLiteral("color: red;"));
    m_problem->hide();

    auto *form = new QFormLayout;
    form->addRow(QCoreApplication::translate("MainWindow", "曲线"), m_curve);
    form->addRow(QCoreApplication::translate("MainWindow", "电平"), m_level);
    form->addRow(QCoreApplication::translate("MainWindow", "边沿"), m_edge);
    form->addRow(QCoreApplication::translate("MainWindow", "模式"), m_mode);
    form->addRow(QCoreApplication::translate("MainWindow", "触发位置 (从左起)"), m_position);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TriggerDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TriggerDialog::reject);
    connect(m_level, &QLineEdit::textEdited, m_problem, &QWidget::hide);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

void TriggerDialog::accept()
{
    const std::optional<double> level = levelFrom(m_level->text());
    if (!level) {
        m_problem->setText(QCoreApplication::translate("MainWindow", "电平须为数字: %1").arg(m_level->text()));
        m_problem->show();
        m_level->setFocus();
        m_level->selectAll();
        return;
    }
    emit settingsChosen({ m_curve->currentIndex(), *level, ChartTrigger::Edge(m_edge->currentData().toInt()),
                          ChartTrigger::Mode(m_mode->currentData().toInt()), m_position->value() });
    QDialog::accept();
}
