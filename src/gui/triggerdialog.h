#ifndef TRIGGERDIALOG_H
#define TRIGGERDIALOG_H

#include "core/charttrigger.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// The trigger's settings, asked for without blocking the window: frames keep
// arriving while it is open. A level that is no number keeps it open and says so.
class TriggerDialog : public QDialog
{
    Q_OBJECT

public:
    TriggerDialog(const ChartTrigger::Settings &settings, QWidget *parent = nullptr);

    void accept() override;

signals:
    void settingsChosen(const ChartTrigger::Settings &settings);

private:
    QComboBox *m_curve;
    QLineEdit *m_level;
    QComboBox *m_edge;
    QComboBox *m_mode;
    QSpinBox *m_position;
    QLabel *m_problem;
};

#endif // TRIGGERDIALOG_H
