#ifndef PROGRESSDISPLAY_H
#define PROGRESSDISPLAY_H

#include "output.h"

#include <QElapsedTimer>
#include <QList>
#include <QStringList>

// Progress of several transfers at once. On a terminal one bar per port, with
// bytes, percent and rate, redrawn in place a few times a second; otherwise one
// line (with --json one "progress" event) per port each time it passes 10 %.
class ProgressDisplay
{
public:
    ProgressDisplay(const Output &output, const QStringList &ports, qsizetype total);

    void update(int port, qsizetype bytes, qint64 elapsedMs);
    // Draws the bars once more as they end; lines and events need nothing.
    void finish();

private:
    enum class Mode { Bars, Lines, Events, Silent };

    struct PortProgress
    {
        qsizetype bytes = 0;
        qint64 elapsedMs = 0;
        int tenthsShown = 0;
    };

    void drawBars();
    QString bar(int port) const;

    const Output &m_output;
    const QStringList m_ports;
    const qsizetype m_total;
    const Mode m_mode;
    QList<PortProgress> m_progress;
    QElapsedTimer m_sinceDrawn;
    bool m_barsDrawn = false;
};

// "117.9 KiB"
QString byteSize(double bytes);

#endif // PROGRESSDISPLAY_H
