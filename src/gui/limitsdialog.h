#ifndef LIMITSDIALOG_H
#define LIMITSDIALOG_H

#include "core/curvelimits.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;

// Asks for each curve's lower and upper limit, in the chart's order; an empty
// field is no limit. A field that is not a number, or a low above its high, keeps
// the dialog open with a line saying which, and nothing is applied.
class LimitsDialog : public QDialog
{
    Q_OBJECT

public:
    LimitsDialog(const CurveLimits::Set &limits, QWidget *parent = nullptr);

    // What the fields hold; valid once the dialog was accepted.
    CurveLimits::Set limits() const { return m_limits; }

    void accept() override;

private:
    std::array<QLineEdit *, Telemetry::seriesCount> m_low {};
    std::array<QLineEdit *, Telemetry::seriesCount> m_high {};
    QLabel *m_problem;
    CurveLimits::Set m_limits;
};

#endif // LIMITSDIALOG_H
