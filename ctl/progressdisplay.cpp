#include "progressdisplay.h"

#include "platform.h"

#include <QJsonObject>

#include <algorithm>

namespace {

constexpr qint64 barRedrawIntervalMs = 100;
constexpr int barWidth = 30;

double rate(qsizetype bytes, qint64 elapsedMs)
{
    return elapsedMs > 0 ? double(bytes) * 1000.0 / double(elapsedMs) : 0.0;
}

} // namespace

QString byteSize(double bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(qint64(bytes));
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KiB").arg(bytes / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024), 0, 'f', 1);
}

ProgressDisplay::ProgressDisplay(const Output &output, const QStringList &ports, qsizetype total)
    : m_output(output)
    , m_ports(ports)
    , m_total(total)
    , m_mode(output.json() ? Mode::Events
                 : output.quiet() ? Mode::Silent
                 : Platform::isTerminal(output.humanStream()) ? Mode::Bars
                                                              : Mode::Lines)
    , m_progress(ports.size())
{
}

void ProgressDisplay::update(int port, qsizetype bytes, qint64 elapsedMs)
{
    PortProgress &progress = m_progress[port];
    progress.bytes = bytes;
    progress.elapsedMs = elapsedMs;
    switch (m_mode) {
    case Mode::Silent:
        return;
    case Mode::Bars:
        if (!m_barsDrawn || m_sinceDrawn.elapsed() >= barRedrawIntervalMs)
            drawBars();
        return;
    case Mode::Lines:
    case Mode::Events:
        break;
    }
    const int tenths = m_total > 0 ? int(bytes * 10 / m_total) : 10;
    while (progress.tenthsShown < tenths) {
        ++progress.tenthsShown;
        const int percent = progress.tenthsShown * 10;
        if (m_mode == Mode::Lines) {
            m_output.info(QStringLiteral("%1: %2% (%3/%4 bytes, %5/s)")
                              .arg(m_ports.at(port)).arg(percent).arg(bytes).arg(m_total)
                              .arg(byteSize(rate(bytes, elapsedMs))));
        } else {
            m_output.event(QStringLiteral("progress"), {
                { QStringLiteral("port"), m_ports.at(port) },
                { QStringLiteral("percent"), percent },
                { QStringLiteral("bytes"), bytes },
                { QStringLiteral("total"), m_total },
                { QStringLiteral("bytes_per_second"), qRound64(rate(bytes, elapsedMs)) },
            });
        }
    }
}

void ProgressDisplay::finish()
{
    if (m_mode == Mode::Bars)
        drawBars();
}

QString ProgressDisplay::bar(int port) const
{
    const PortProgress &progress = m_progress.at(port);
    const int filled = m_total > 0 ? int(progress.bytes * barWidth / m_total) : barWidth;
    const int percent = m_total > 0 ? int(progress.bytes * 100 / m_total) : 100;
    qsizetype nameWidth = 0;
    for (const QString &name : m_ports)
        nameWidth = std::max(nameWidth, name.size());
    return QStringLiteral("%1 [%2%3] %4% %5/%6 %7/s")
        .arg(m_ports.at(port), -int(nameWidth))
        .arg(QString(filled, u'#'), QString(barWidth - filled, u'-'))
        .arg(percent, 3)
        .arg(byteSize(double(progress.bytes)), byteSize(double(m_total)), byteSize(rate(progress.bytes, progress.elapsedMs)));
}

void ProgressDisplay::drawBars()
{
    QString text;
    // Back to the first bar, then each line cleared and written again.
    if (m_barsDrawn)
        text += QStringLiteral("\x1b[%1A").arg(m_ports.size());
    for (int port = 0; port < m_ports.size(); ++port)
        text += QStringLiteral("\r\x1b[2K") + bar(port) + u'\n';
    Output::write(m_output.humanStream(), text);
    m_barsDrawn = true;
    m_sinceDrawn.start();
}
