#include "core/curvelimits.h"

#include <QRegularExpression>

namespace CurveLimits {

std::optional<int> seriesOf(QStringView name)
{
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        if (name.compare(QLatin1String(Telemetry::seriesNames[series]), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String(aliases[series]), Qt::CaseInsensitive) == 0)
            return series;
    }
    return std::nullopt;
}

} // namespace CurveLimits

namespace {

std::optional<double> numberOf(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !qIsFinite(value))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<LimitRule> LimitRule::parse(const QString &expression)
{
    // The curve's name may hold spaces ("12V power"), so the operator splits it off.
    static const QRegularExpression bound(QStringLiteral(R"(^\s*(.+?)\s*(<=|>=)\s*(\S+)\s*$)"));
    static const QRegularExpression range(QStringLiteral(R"(^\s*(.+?)\s+in\s+(\S+?)\.\.(\S+)\s*$)"));

    LimitRule rule;
    rule.text = expression.trimmed();
    QString curve;
    if (const QRegularExpressionMatch match = range.match(expression); match.hasMatch()) {
        curve = match.captured(1);
        rule.limit.low = numberOf(match.captured(2));
        rule.limit.high = numberOf(match.captured(3));
        if (!rule.limit.low || !rule.limit.high || !rule.limit.isConsistent())
            return std::nullopt;
    } else if (const QRegularExpressionMatch match = bound.match(expression); match.hasMatch()) {
        curve = match.captured(1);
        std::optional<double> &side = match.captured(2) == QLatin1String("<=") ? rule.limit.high : rule.limit.low;
        side = numberOf(match.captured(3));
        if (!side)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    const std::optional<int> series = CurveLimits::seriesOf(curve);
    if (!series)
        return std::nullopt;
    rule.series = *series;
    return rule;
}
