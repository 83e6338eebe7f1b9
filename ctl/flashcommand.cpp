#include "boardport.h"
#include "boardpublishers.h"
#include "commandline.h"
#include "platform.h"

#include "core/consoletext.h"
#include "core/crc32.h"
#include "core/firmwareimage.h"
#include "link/firmwareflasher.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QList>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr qint64 barRedrawIntervalMs = 100;
constexpr int barWidth = 30;

double rate(qsizetype bytes, qint64 elapsedMs)
{
    return elapsedMs > 0 ? double(bytes) * 1000.0 / double(elapsedMs) : 0.0;
}

// "117.9 KiB"
QString byteSize(double bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(qint64(bytes));
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KiB").arg(bytes / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024), 0, 'f', 1);
}

// Progress of several transfers at once. On a terminal one bar per port, with
// bytes, percent and rate, redrawn in place a few times a second; otherwise one
// line (with --json one "progress" event) per port each time it passes 10 %.
class ProgressDisplay
{
public:
    ProgressDisplay(Output &output, const QStringList &ports, qsizetype total)
        : m_output(output)
        , m_ports(ports)
        , m_total(total)
        , m_bars(!output.json() && !output.quiet() && Platform::isTerminal(output.stream()))
        , m_progress(ports.size())
    {
    }

    void update(int port, qsizetype bytes, qint64 elapsedMs)
    {
        PortProgress &progress = m_progress[port];
        progress.bytes = bytes;
        progress.elapsedMs = elapsedMs;
        // The output keeps the line without --json and the event with it; the
        // event goes to a broker too, bars or not.
        const int tenths = m_total > 0 ? int(bytes * 10 / m_total) : 10;
        while (progress.tenthsShown < tenths) {
            const int percent = ++progress.tenthsShown * 10;
            if (!m_bars)
                m_output.info(QStringLiteral("%1: %2% (%3/%4 bytes, %5/s)")
                                  .arg(m_ports.at(port)).arg(percent).arg(bytes).arg(m_total)
                                  .arg(byteSize(rate(bytes, elapsedMs))));
            m_output.event(QStringLiteral("progress"), {
                { QStringLiteral("port"), m_ports.at(port) },
                { QStringLiteral("percent"), percent },
                { QStringLiteral("bytes"), bytes },
                { QStringLiteral("total"), m_total },
                { QStringLiteral("bytes_per_second"), qRound64(rate(bytes, elapsedMs)) },
            });
        }
        if (m_bars && (!m_barsDrawn || m_sinceDrawn.elapsed() >= barRedrawIntervalMs))
            drawBars();
    }

    // Draws the bars once more as they end; lines and events need nothing.
    void finish()
    {
        if (m_bars)
            drawBars();
    }

private:
    struct PortProgress
    {
        qsizetype bytes = 0;
        qint64 elapsedMs = 0;
        int tenthsShown = 0;
    };

    QString bar(int port) const
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

    void drawBars()
    {
        QString text;
        // Back to the first bar, then each line cleared and written again.
        if (m_barsDrawn)
            text += QStringLiteral("\x1b[%1A").arg(m_ports.size());
        for (int port = 0; port < m_ports.size(); ++port)
            text += QStringLiteral("\r\x1b[2K") + bar(port) + u'\n';
        m_output.text(text);
        m_barsDrawn = true;
        m_sinceDrawn.start();
    }

    Output &m_output;
    const QStringList m_ports;
    const qsizetype m_total;
    const bool m_bars;
    QList<PortProgress> m_progress;
    QElapsedTimer m_sinceDrawn;
    bool m_barsDrawn = false;
};

struct FlashOptions
{
    QStringList ports;
    QString imagePath;
    FirmwareImage image;
    MqttOptions mqtt;

    std::optional<int> parse(CommandLine &commandLine)
    {
        commandLine.addArgument(QStringLiteral("image"), QStringLiteral("The image file, sent byte for byte."),
                                QStringLiteral("IMAGE"));
        MqttOptions::addOptions(commandLine.parser());
        if (const std::optional<int> done = commandLine.parse())
            return done;
        if (commandLine.arguments().size() != 1)
            return commandLine.usageError(QStringLiteral("give one image file"));
        ports = commandLine.ports();
        if (const std::optional<int> wrong = mqtt.read(commandLine, ports))
            return wrong;
        imagePath = commandLine.arguments().constFirst();
        image = FirmwareImage::read(imagePath);
        if (!image.ok)
            return commandLine.usageError(FirmwareImage::describeOpenFailure(imagePath, image.error));
        if (image.data.isEmpty())
            return commandLine.usageError(ConsoleText::imageEmpty() + QStringLiteral(": ") + imagePath);
        return std::nullopt;
    }
};

// One board being flashed, with its own port and flasher.
struct FlashJob
{
    std::unique_ptr<BoardPort> port;
    std::unique_ptr<FirmwareFlasher> flasher;
    QString reason;  // why it failed: "open", "lost", "write" or "interrupted"; empty when done
    QString message; // what failed, in the window's words where it has them
    QElapsedTimer clock;
    qint64 elapsedMs = 0;

    qsizetype bytesSent() const { return flasher ? flasher->bytesSent() : 0; }
};

// Every board of one flash, each started as its port opens, and reported together.
// Each flasher fills the process-wide update record for a packet and hands it to
// its port at once, so any number of them take turns in one thread without mixing
// packets.
class FlashRun
{
public:
    FlashRun(const FlashOptions &options, Output &output, BoardPublishers &publishers)
        : m_options(options)
        , m_output(output)
        , m_publishers(publishers)
        , m_display(output, options.ports, options.image.data.size())
        , m_jobs(size_t(options.ports.size()))
        , m_running(options.ports.size())
    {
    }

    int run()
    {
        QObject::connect(&m_interruptWatch, &InterruptWatch::interrupted, &m_loop, [this] {
            m_interrupted = true;
            for (FlashJob &job : m_jobs) {
                if (job.flasher)
                    job.flasher->stop();
            }
        });
        for (int i = 0; i < m_options.ports.size(); ++i)
            start(m_jobs[size_t(i)], i);
        // A flash may end before the loop runs (a port gone at the first packet).
        if (m_running > 0)
            m_loop.exec();
        for (FlashJob &job : m_jobs)
            job.port->close();
        return report();
    }

private:
    void start(FlashJob &job, int index)
    {
        job.port = std::make_unique<BoardPort>(m_options.ports.at(index));
        if (!job.port->open()) {
            end(job, QStringLiteral("open"), job.port->openFailure());
            return;
        }
        m_publishers.attach(*job.port);
        job.flasher = std::make_unique<FirmwareFlasher>(job.port->session().writer(), m_options.image.data);
        FirmwareFlasher *const flasher = job.flasher.get();
        QObject::connect(flasher, &FirmwareFlasher::progress, flasher,
                         [this, &job, index](qsizetype bytes) { m_display.update(index, bytes, job.clock.elapsed()); });
        QObject::connect(flasher, &FirmwareFlasher::finished, flasher, [this, &job] { end(job); });
        QObject::connect(flasher, &FirmwareFlasher::failed, flasher, [this, &job](const QString &sendError) {
            if (job.port->isLost() || job.port->session().checkLost())
                end(job, QStringLiteral("lost"), ConsoleText::portLost());
            else if (!sendError.isEmpty())
                end(job, QStringLiteral("write"), ConsoleText::sendFailed(sendError));
            else
                end(job, QStringLiteral("interrupted"),
                    m_interrupted ? QStringLiteral("interrupted") : QStringLiteral("stopped"));
        });
        job.clock.start();
        flasher->start();
    }

    void end(FlashJob &job, const QString &reason = {}, const QString &message = {})
    {
        job.reason = reason;
        job.message = message;
        job.elapsedMs = job.clock.isValid() ? job.clock.elapsed() : 0;
        // A job not started yet counts as running.
        if (--m_running > 0)
            return;
        m_display.finish();
        m_loop.quit();
    }

    int report()
    {
        const qsizetype total = m_options.image.data.size();
        const QString crc = QString::number(Crc32::of(m_options.image.data), 16).rightJustified(8, u'0');
        m_output.info(QStringLiteral("image: %1, %2 bytes, CRC-32 %3").arg(m_options.imagePath).arg(total).arg(crc));
        int exitCode = m_interrupted ? ExitLineFailure : ExitSuccess;
        int done = 0;
        for (const FlashJob &job : m_jobs) {
            const QString sentLine = ConsoleText::flashBytesSent(job.bytesSent(), total);
            const double seconds = double(job.elapsedMs) / 1000.0;
            QJsonObject result {
                { QStringLiteral("port"), job.port->name() },
                { QStringLiteral("status"), job.reason.isEmpty() ? QStringLiteral("done") : QStringLiteral("failed") },
                { QStringLiteral("bytes_sent"), job.bytesSent() },
                { QStringLiteral("total"), total },
                { QStringLiteral("seconds"), seconds },
            };
            if (job.reason.isEmpty()) {
                ++done;
                m_output.info(QStringLiteral("%1: done: %2 %3 in %4 s")
                                  .arg(job.port->name(), ConsoleText::flashSucceeded(), sentLine).arg(seconds, 0, 'f', 1));
            } else {
                // A port that would not open says the most.
                exitCode = job.reason == QLatin1String("open") ? ExitOpenFailure : std::max<int>(exitCode, ExitLineFailure);
                result.insert(QStringLiteral("reason"), job.reason);
                result.insert(QStringLiteral("message"), job.message);
                if (!m_output.json())
                    Output::write(stderr, QStringLiteral("%1: failed: %2; %3 %4\n")
                                              .arg(job.port->name(), job.message, ConsoleText::flashFailed(), sentLine)
                                              .toLocal8Bit());
            }
            m_output.event(QStringLiteral("result"), result);
        }
        m_output.event(QStringLiteral("summary"), {
            { QStringLiteral("command"), QStringLiteral("flash") },
            { QStringLiteral("image"), QFileInfo(m_options.imagePath).absoluteFilePath() },
            { QStringLiteral("size"), total },
            { QStringLiteral("crc32"), crc },
            { QStringLiteral("ports"), int(m_jobs.size()) },
            { QStringLiteral("done"), done },
            { QStringLiteral("failed"), int(m_jobs.size()) - done },
            { QStringLiteral("interrupted"), m_interrupted },
            { QStringLiteral("exit_code"), exitCode },
        });
        return exitCode;
    }

    const FlashOptions &m_options;
    Output &m_output;
    BoardPublishers &m_publishers;
    ProgressDisplay m_display;
    std::vector<FlashJob> m_jobs;
    qsizetype m_running; // jobs that have not ended
    InterruptWatch m_interruptWatch;
    QEventLoop m_loop;
    bool m_interrupted = false;
};

} // namespace

int runFlash(CommandLine &commandLine)
{
    commandLine.parser().setApplicationDescription(
        QStringLiteral("Flashes IMAGE to every board given with -p, all at once: the console's 40-byte update "
                       "packets, with a pause of at least 1 ms after each packet is handed over. Ctrl-C stops "
                       "every flash between two packets."));
    FlashOptions options;
    if (const std::optional<int> done = options.parse(commandLine))
        return *done;
    // Leaves "offline" with the broker once the flash has said its last.
    BoardPublishers publishers(commandLine.output(), options.mqtt, options.ports);
    return FlashRun(options, commandLine.output(), publishers).run();
}
