#include "checkreport.h"

#include "output.h"

#include "core/telemetrycsv.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include <algorithm>

namespace {

// How far a reading lies outside a limit; 0 within it.
double excess(const CurveLimit &limit, double value)
{
    return std::max(limit.low ? *limit.low - value : 0.0, limit.high ? value - *limit.high : 0.0);
}

QString reading(double value)
{
    return QString::fromLatin1(TelemetryCsv::number(value));
}

QString curveName(const LimitRule &rule)
{
    return QLatin1String(Telemetry::seriesNames[size_t(rule.series)]);
}

// "first at sample 12: 52.65 (7 samples outside, worst 53.1)"
QString violationText(const LimitTally &tally)
{
    return QStringLiteral("first at sample %1: %2 (%3 samples outside, worst %4)")
        .arg(tally.firstSample).arg(reading(tally.firstValue)).arg(tally.outside).arg(reading(tally.worstValue));
}

// A limit of a port that could not be checked to the end and was kept so far has no verdict.
QJsonObject limitJson(const PortVerdict &verdict, const LimitTally &tally)
{
    const bool unknown = tally.passed() && !verdict.checkedToTheEnd();
    QJsonObject object {
        { QStringLiteral("limit"), tally.rule.text },
        { QStringLiteral("curve"), curveName(tally.rule) },
        { QStringLiteral("status"), tally.passed() ? (unknown ? QStringLiteral("error") : QStringLiteral("passed"))
                                                   : QStringLiteral("failed") },
        { QStringLiteral("samples_outside"), tally.outside },
    };
    if (!tally.passed()) {
        object.insert(QStringLiteral("sample"), tally.firstSample);
        object.insert(QStringLiteral("value"), Telemetry::rounded(tally.firstValue));
        object.insert(QStringLiteral("worst"), Telemetry::rounded(tally.worstValue));
    }
    return object;
}

QJsonValue interlockJson(const PortVerdict &verdict)
{
    if (!verdict.interlock)
        return QJsonValue::Null;
    const LimitTally &tally = verdict.limits.at(verdict.interlock->limit);
    return QJsonObject {
        { QStringLiteral("limit"), tally.rule.text },
        { QStringLiteral("curve"), curveName(tally.rule) },
        { QStringLiteral("sample"), verdict.interlock->sample },
        { QStringLiteral("value"), Telemetry::rounded(verdict.interlock->value) },
    };
}

void sayLines(Output &output, const PortVerdict &verdict)
{
    const SeriesStatistics &statistics = verdict.statistics;
    output.info(QStringLiteral("%1: %2 frames in %3 s").arg(verdict.port).arg(statistics.count).arg(verdict.seconds, 0, 'f', 2));
    if (statistics.count > 0) {
        const Telemetry::Sample mean = statistics.mean();
        for (size_t i = 0; i < mean.size(); ++i)
            output.info(QStringLiteral("  %1  min %2  max %3  mean %4")
                            .arg(QLatin1String(Telemetry::seriesNames[i]), -10)
                            .arg(reading(statistics.minimum[i]), reading(statistics.maximum[i]))
                            .arg(Telemetry::rounded(mean[i], SeriesStatistics::meanDecimals)));
    }
    for (const LimitTally &tally : verdict.limits) {
        if (!tally.passed())
            output.info(QStringLiteral("  violated  %1: %2").arg(tally.rule.text, violationText(tally)));
        else if (verdict.checkedToTheEnd())
            output.info(QStringLiteral("  passed    %1").arg(tally.rule.text));
        else
            output.info(QStringLiteral("  unknown   %1: kept until the readings stopped").arg(tally.rule.text));
    }
    if (verdict.interlock)
        output.info(QStringLiteral("  ") + CheckReport::interlockLine(verdict));
    if (!verdict.checkedToTheEnd())
        output.problem(QStringLiteral("%1: %2").arg(verdict.port, verdict.message));
    output.info(QStringLiteral("%1: %2").arg(verdict.port, verdict.status()));
}

void writeTestCase(QXmlStreamWriter &xml, const PortVerdict &verdict, const LimitTally &tally)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"), tally.rule.text);
    xml.writeAttribute(QStringLiteral("classname"), QStringLiteral("bench-ctl.check.") + verdict.port);
    xml.writeAttribute(QStringLiteral("time"), QString::number(verdict.seconds, 'f', 3));
    if (!tally.passed()) {
        xml.writeStartElement(QStringLiteral("failure"));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("limit"));
        xml.writeAttribute(QStringLiteral("message"), QStringLiteral("%1 = %2 at sample %3")
                                                          .arg(curveName(tally.rule), reading(tally.firstValue))
                                                          .arg(tally.firstSample));
        xml.writeCharacters(QStringLiteral("%1 %2").arg(tally.rule.text, violationText(tally)));
        xml.writeEndElement();
    } else if (!verdict.checkedToTheEnd()) {
        // Passed so far, but the readings stopped before the end: no verdict.
        xml.writeStartElement(QStringLiteral("error"));
        xml.writeAttribute(QStringLiteral("message"), verdict.message);
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

// A port's test cases: every limit, those violated, and those left without a
// verdict as the readings stopped before the end.
struct CaseCounts
{
    qsizetype tests = 0;
    qsizetype failures = 0;
    qsizetype errors = 0;

    void add(const PortVerdict &verdict)
    {
        const qsizetype violated = std::count_if(verdict.limits.cbegin(), verdict.limits.cend(),
                                                 [](const LimitTally &tally) { return !tally.passed(); });
        tests += qsizetype(verdict.limits.size());
        failures += violated;
        errors += verdict.checkedToTheEnd() ? 0 : qsizetype(verdict.limits.size()) - violated;
    }

    void writeTo(QXmlStreamWriter &xml) const
    {
        xml.writeAttribute(QStringLiteral("tests"), QString::number(tests));
        xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
        xml.writeAttribute(QStringLiteral("errors"), QString::number(errors));
    }
};

void writeTestSuite(QXmlStreamWriter &xml, const PortVerdict &verdict)
{
    CaseCounts counts;
    counts.add(verdict);
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), verdict.port);
    counts.writeTo(xml);
    xml.writeAttribute(QStringLiteral("time"), QString::number(verdict.seconds, 'f', 3));
    if (verdict.started.isValid())
        xml.writeAttribute(QStringLiteral("timestamp"), verdict.started.toString(Qt::ISODate));
    xml.writeStartElement(QStringLiteral("properties"));
    QList<std::pair<QString, QString>> properties { { QStringLiteral("frames"), QString::number(verdict.statistics.count) } };
    if (verdict.interlock)
        properties.append({ QStringLiteral("interlock"), CheckReport::interlockLine(verdict) });
    for (const auto &[name, value] : properties) {
        xml.writeEmptyElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), name);
        xml.writeAttribute(QStringLiteral("value"), value);
    }
    xml.writeEndElement();
    for (const LimitTally &tally : verdict.limits)
        writeTestCase(xml, verdict, tally);
    xml.writeEndElement();
}

} // namespace

bool LimitTally::add(qint64 sample, double value)
{
    if (rule.limit.admits(value))
        return false;
    if (outside == 0) {
        firstSample = sample;
        firstValue = value;
        worstValue = value;
    } else if (excess(rule.limit, value) > excess(rule.limit, worstValue)) {
        worstValue = value;
    }
    ++outside;
    return true;
}

bool PortVerdict::violated() const
{
    return std::any_of(limits.cbegin(), limits.cend(), [](const LimitTally &tally) { return !tally.passed(); });
}

QString PortVerdict::status() const
{
    if (!checkedToTheEnd())
        return QStringLiteral("error");
    return violated() ? QStringLiteral("failed") : QStringLiteral("passed");
}

int PortVerdict::exitCode() const
{
    switch (failure) {
    case Failure::Open:
        return ExitOpenFailure;
    case Failure::Line:
        return ExitLineFailure;
    case Failure::None:
        break;
    }
    return violated() ? ExitLimitViolated : ExitSuccess;
}

namespace CheckReport {

QString interlockLine(const PortVerdict &verdict)
{
    const LimitTally &tally = verdict.limits.at(verdict.interlock->limit);
    return QStringLiteral("%1: %2 held for %3 samples, at sample %4: %5 = %6")
        .arg(QCoreApplication::translate("MainWindow", "GPU断电"), tally.rule.text)
        .arg(CurveLimits::protectionSamples)
        .arg(verdict.interlock->sample)
        .arg(curveName(tally.rule), reading(verdict.interlock->value));
}

void say(Output &output, const PortVerdict &verdict)
{
    if (!output.json()) {
        sayLines(output, verdict);
        return;
    }
    QJsonObject result {
        { QStringLiteral("port"), verdict.port },
        { QStringLiteral("status"), verdict.status() },
        { QStringLiteral("frames"), verdict.statistics.count },
        { QStringLiteral("seconds"), verdict.seconds },
        { QStringLiteral("interlock"), interlockJson(verdict) },
        { QStringLiteral("exit_code"), verdict.exitCode() },
    };
    QJsonArray limits;
    for (const LimitTally &tally : verdict.limits)
        limits.append(limitJson(verdict, tally));
    result.insert(QStringLiteral("limits"), limits);
    result.insert(QStringLiteral("violations"), violations({ verdict }));
    if (verdict.statistics.count > 0)
        verdict.statistics.addTo(result);
    if (!verdict.checkedToTheEnd())
        result.insert(QStringLiteral("message"), verdict.message);
    output.event(QStringLiteral("result"), result);
}

QJsonArray violations(const std::vector<PortVerdict> &verdicts)
{
    QJsonArray list;
    for (const PortVerdict &verdict : verdicts) {
        for (const LimitTally &tally : verdict.limits) {
            if (tally.passed())
                continue;
            QJsonObject violation = limitJson(verdict, tally);
            violation.remove(QStringLiteral("status"));
            violation.insert(QStringLiteral("port"), verdict.port);
            list.append(violation);
        }
    }
    return list;
}

QJsonArray interlocks(const std::vector<PortVerdict> &verdicts)
{
    QJsonArray list;
    for (const PortVerdict &verdict : verdicts) {
        if (!verdict.interlock)
            continue;
        QJsonObject interlock = interlockJson(verdict).toObject();
        interlock.insert(QStringLiteral("port"), verdict.port);
        list.append(interlock);
    }
    return list;
}

int exitCode(const std::vector<PortVerdict> &verdicts)
{
    // From the least to the most that a status says.
    constexpr int severity[] = { ExitSuccess, ExitLimitViolated, ExitLineFailure, ExitOpenFailure };
    const auto rank = [&severity](int code) { return int(std::find(std::begin(severity), std::end(severity), code) - std::begin(severity)); };
    int worst = ExitSuccess;
    for (const PortVerdict &verdict : verdicts) {
        if (rank(verdict.exitCode()) > rank(worst))
            worst = verdict.exitCode();
    }
    return worst;
}

QString writeJUnit(const QString &path, const std::vector<PortVerdict> &verdicts)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("bench-ctl check"));
    CaseCounts counts;
    for (const PortVerdict &verdict : verdicts)
        counts.add(verdict);
    counts.writeTo(xml);
    for (const PortVerdict &verdict : verdicts)
        writeTestSuite(xml, verdict);
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return {};
}

} // namespace CheckReport
