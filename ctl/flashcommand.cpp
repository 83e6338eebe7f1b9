#include "boardport.h"
#include "commands.h"
#include "core/crc32.h"
#include "platform.h"
#include "progressdisplay.h"

#include "core/consoletext.h"
#include "core/firmwareimage.h"
#include "link/firmwareflasher.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>

#include <memory>
#include <vector>

namespace {

// One board being flashed. Each has its own port and flasher; every flasher fills
// the process-wide update record for a packet and hands it to its port at once,
// so any number of them take turns in one thread without mixing packets.
struct FlashJob
{
    enum class State { Running, Done, Failed };

    std::unique_ptr<BoardPort> port;
    std::unique_ptr<FirmwareFlasher> flasher;
    State state = State::Running;
    QString reason;  // "open", "lost", "write" or "interrupted"
    QString message; // what failed, in the window's words where it has them
    QElapsedTimer clock;
    qint64 elapsedMs = 0;

    qsizetype bytesSent() const { return flasher ? flasher->bytesSent() : 0; }
};

QString crcText(quint32 crc)
{
    return QString::number(crc, 16).rightJustified(8, u'0');
}

} // namespace

int runFlash(const Invocation &invocation)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Flashes IMAGE to every board given with -p, all at once: the console's 40-byte update packets, "
        "with a pause of at least 1 ms after each packet is handed over. Ctrl-C stops every flash "
        "between two packets."));
    const QCommandLineOption portOption(QStringList { QStringLiteral("p"), QStringLiteral("port") },
                                        QStringLiteral("A board's port: a listed name or a device path. "
                                                       "Repeat for several boards."),
                                        QStringLiteral("PORT"));
    parser.addOption(portOption);
    parser.addPositionalArgument(QStringLiteral("image"), QStringLiteral("The image file, sent byte for byte."),
                                 QStringLiteral("IMAGE"));
    if (const std::optional<int> done = parseCommandLine(parser, invocation))
        return *done;
    const Output output = outputFor(parser, invocation);

    const QStringList portNames = parser.values(portOption);
    if (portNames.isEmpty())
        return usageError(invocation, QStringLiteral("give at least one port with -p"));
    if (parser.positionalArguments().size() != 1)
        return usageError(invocation, QStringLiteral("give one image file"));
    if (const QString problem = BoardPort::checkArguments(portNames); !problem.isEmpty())
        return usageError(invocation, problem);
    const QString imagePath = parser.positionalArguments().first();
    const FirmwareImage image = FirmwareImage::read(imagePath);
    if (!image.ok)
        return usageError(invocation, QStringLiteral("无法打开文件: %1, 错误: %2").arg(imagePath, image.error));
    if (image.data.isEmpty())
        return usageError(invocation, QStringLiteral("错误: 固件文件为空: %1").arg(imagePath));
    const quint32 crc = Crc32::of(image.data);
    const qsizetype total = image.data.size();

    InterruptWatch interruptWatch;
    QEventLoop loop;
    ProgressDisplay display(output, portNames, total);
    std::vector<FlashJob> jobs(size_t(portNames.size()));
    bool interrupted = false;

    const auto settle = [&jobs, &loop, &display] {
        for (const FlashJob &job : jobs) {
            if (job.state == FlashJob::State::Running)
                return;
        }
        display.finish();
        loop.quit();
    };

    for (int i = 0; i < portNames.size(); ++i) {
        FlashJob &job = jobs[size_t(i)];
        job.port = std::make_unique<BoardPort>(portNames.at(i));
        if (!job.port->open()) {
            job.state = FlashJob::State::Failed;
            job.reason = QStringLiteral("open");
            job.message = job.port->openFailure();
            continue;
        }
        job.flasher = std::make_unique<FirmwareFlasher>(job.port->session().writer(), image.data);
        QObject::connect(job.flasher.get(), &FirmwareFlasher::progress, job.flasher.get(),
                         [&display, &job, i](qsizetype bytes, qsizetype) { display.update(i, bytes, job.clock.elapsed()); });
        QObject::connect(job.flasher.get(), &FirmwareFlasher::finished, job.flasher.get(), [&job, &settle] {
            job.state = FlashJob::State::Done;
            job.elapsedMs = job.clock.elapsed();
            settle();
        });
        QObject::connect(job.flasher.get(), &FirmwareFlasher::failed, job.flasher.get(),
                         [&job, &settle, &interrupted](const QString &sendError) {
            job.state = FlashJob::State::Failed;
            job.elapsedMs = job.clock.elapsed();
            if (job.port->isLost() || job.port->session().checkLost()) {
                job.reason = QStringLiteral("lost");
                job.message = ConsoleText::portLost();
            } else if (!sendError.isEmpty()) {
                job.reason = QStringLiteral("write");
                job.message = ConsoleText::sendFailed(sendError);
            } else {
                job.reason = QStringLiteral("interrupted");
                job.message = interrupted ? QStringLiteral("interrupted") : QStringLiteral("stopped");
            }
            settle();
        });
    }

    QObject::connect(&interruptWatch, &InterruptWatch::interrupted, &loop, [&jobs, &interrupted] {
        interrupted = true;
        for (FlashJob &job : jobs) {
            if (job.state == FlashJob::State::Running)
                job.flasher->stop();
        }
    });

    bool anyRunning = false;
    for (FlashJob &job : jobs) {
        if (job.state != FlashJob::State::Running)
            continue;
        anyRunning = true;
        job.clock.start();
        job.flasher->start();
    }
    // A flash may end before the loop runs (a port gone at the first packet).
    bool allEnded = true;
    for (const FlashJob &job : jobs)
        allEnded = allEnded && job.state != FlashJob::State::Running;
    if (anyRunning && !allEnded)
        loop.exec();
    for (FlashJob &job : jobs)
        job.port->close();

    output.info(QStringLiteral("image: %1, %2 bytes, CRC-32 %3").arg(imagePath).arg(total).arg(crcText(crc)));
    int exitCode = ExitSuccess;
    int done = 0;
    for (const FlashJob &job : jobs) {
        const qsizetype sent = job.bytesSent();
        const QString sentLine = ConsoleText::flashBytesSent(sent, total);
        if (job.state == FlashJob::State::Done) {
            ++done;
            output.info(QStringLiteral("%1: done: %2 %3 in %4 s")
                            .arg(job.port->name(), ConsoleText::flashSucceeded(), sentLine)
                            .arg(double(job.elapsedMs) / 1000.0, 0, 'f', 1));
        } else if (!output.json()) {
            Output::write(stderr, QStringLiteral("%1: failed: %2; %3 %4\n")
                                      .arg(job.port->name(), job.message, ConsoleText::flashFailed(), sentLine));
        }
        if (job.reason == QLatin1String("open"))
            exitCode = ExitOpenFailure;
        else if (job.state == FlashJob::State::Failed && exitCode == ExitSuccess)
            exitCode = ExitLineFailure;
        QJsonObject result {
            { QStringLiteral("port"), job.port->name() },
            { QStringLiteral("status"), job.state == FlashJob::State::Done ? QStringLiteral("done") : QStringLiteral("failed") },
            { QStringLiteral("bytes_sent"), sent },
            { QStringLiteral("total"), total },
            { QStringLiteral("seconds"), double(job.elapsedMs) / 1000.0 },
        };
        if (job.state == FlashJob::State::Failed) {
            result.insert(QStringLiteral("reason"), job.reason);
            result.insert(QStringLiteral("message"), job.message);
        }
        output.event(QStringLiteral("result"), result);
    }
    if (interrupted && exitCode == ExitSuccess)
        exitCode = ExitLineFailure;
    output.event(QStringLiteral("summary"), {
        { QStringLiteral("command"), QStringLiteral("flash") },
        { QStringLiteral("image"), QFileInfo(imagePath).absoluteFilePath() },
        { QStringLiteral("size"), total },
        { QStringLiteral("crc32"), crcText(crc) },
        { QStringLiteral("ports"), int(jobs.size()) },
        { QStringLiteral("done"), done },
        { QStringLiteral("failed"), int(jobs.size()) - done },
        { QStringLiteral("interrupted"), interrupted },
        { QStringLiteral("exit_code"), exitCode },
    });
    return exitCode;
}
