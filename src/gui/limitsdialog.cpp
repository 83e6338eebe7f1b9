#include "gui/limitsdialog.h"

#include "core/limitwatch.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <utility>

namespace {

QLineEdit *limitField(const char *side, int series, const std::optional<double> &value, QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(QStringLiteral("lineEdit_limit_%1_%2").arg(QLatin1String(side)).arg(series));
    field->setClearButtonEnabled(true);
    if (value)
        field->setText(LimitText::limitNumber(*value));
    return field;
}

} // namespace

LimitsDialog::LimitsDialog(const CurveLimits::Set &limits, QWidget *parent)
    : QDialog(parent)
    , m_problem(new QLabel(this))
    , m_limits(limits)
{
    setObjectName(QStringLiteral("dialog_limits"));
    setWindowTitle(QCoreApplication::translate("MainWindow", "限值"));
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QCoreApplication::translate("MainWindow", "下限"), this), 0, 1);
    grid->addWidget(new QLabel(QCoreApplication::translate("MainWindow", "上限"), this), 0, 2);
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        m_low[size_t(series)] = limitField("low", series, limits[size_t(series)].low, this);
        m_high[size_t(series)] = limitField("high", series, limits[size_t(series)].high, this);
        grid->addWidget(new QLabel(QString::fromLatin1(Telemetry::seriesNames[size_t(series)]), this), series + 1, 0);
        grid->addWidget(m_low[size_t(series)], series + 1, 1);
        grid->addWidget(m_high[size_t(series)], series + 1, 2);
    }

    m_problem->setObjectName(QStringLiteral("label_limits_problem"));
    m_problem->setStyleSheet(QStringLiteral("color: red;"));
    m_problem->hide();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QCoreApplication::translate("MainWindow", "每条曲线的下限和上限, 空白表示不限"), this));
    layout->addLayout(grid);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

void LimitsDialog::accept()
{
    CurveLimits::Set limits {};
    QString problem;
    for (int series = 0; series < Telemetry::seriesCount && problem.isEmpty(); ++series) {
        const QString curve = QString::fromLatin1(Telemetry::seriesNames[size_t(series)]);
        CurveLimit &limit = limits[size_t(series)];
        for (auto [field, bound] : { std::pair(m_low[size_t(series)], &limit.low), std::pair(m_high[size_t(series)], &limit.high) }) {
            const QString text = field->text().trimmed();
            if (text.isEmpty())
                continue;
            bool ok = false;
            const double value = text.toDouble(&ok);
            if (!ok || !qIsFinite(value)) {
                problem = QCoreApplication::translate("MainWindow", "%1: \"%2\" 不是数字, 限值未应用").arg(curve, text);
                field->setFocus();
                break;
            }
            *bound = value;
        }
        if (problem.isEmpty() && !limit.isConsistent()) {
            problem = QCoreApplication::translate("MainWindow", "%1: 下限 %2 高于上限 %3, 限值未应用")
                          .arg(curve, LimitText::limitNumber(*limit.low), LimitText::limitNumber(*limit.high));
            m_low[size_t(series)]->setFocus();
        }
    }
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    if (!problem.isEmpty())
        return;
    m_limits = limits;
    QDialog::accept();
}
