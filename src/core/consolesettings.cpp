#include "core/consolesettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace {

bool isNamed()
{
    return !QCoreApplication::organizationName().isEmpty() && !QCoreApplication::applicationName().isEmpty();
}

std::optional<quint16> identifier(const QVariant &value)
{
    bool ok = false;
    const uint number = value.toUInt(&ok);
    return ok && number <= 0xFFFF ? std::optional<quint16>(quint16(number)) : std::nullopt;
}

QVariant identifierValue(const std::optional<quint16> &identifier)
{
    return identifier ? QVariant(uint(*identifier)) : QVariant();
}

QString limitKey(const char *side, int series)
{
    return QStringLiteral("limits/%1%2").arg(QLatin1String(side)).arg(series);
}

const QString mqttPasswordKey = QStringLiteral("mqtt/password");

std::optional<double> limitValue(const QVariant &value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok && qIsFinite(number) ? std::optional<double>(number) : std::nullopt;
}

} // namespace

ConsoleSettings::ConsoleSettings()
{
    if (!isNamed())
        return;
    m_read = std::make_unique<QSettings>();
    const QFileInfo file(m_read->fileName());
    const auto ignore = [this](const QString &line) {
        m_problemLine = line.arg(m_read->fileName());
        m_read.reset();
    };
    if (file.exists() && (!file.isFile() || !file.isReadable())) {
        ignore(QCoreApplication::translate("MainWindow", "设置文件无法读取, 本次使用默认设置: %1"));
        return;
    }
    if (file.exists() && file.size() > 0) {
        const QStringList keys = m_read->allKeys();
        bool versionOk = false;
        const int version = m_read->value(QStringLiteral("version")).toInt(&versionOk);
        if (m_read->status() != QSettings::NoError || keys.isEmpty() || !versionOk) {
            m_problemLine = QCoreApplication::translate("MainWindow", "设置文件已损坏, 已改用默认设置: %1")
                                .arg(m_read->fileName());
            m_read->clear();
        } else if (version > currentVersion) {
            ignore(QCoreApplication::translate("MainWindow", "设置文件来自更新版本的控制台, 本次使用默认设置: %1"));
            return;
        }
    }
    m_write = m_read.get();
    m_write->setValue(QStringLiteral("version"), currentVersion);
}

ConsoleSettings::~ConsoleSettings() = default;

QString ConsoleSettings::fileName() const
{
    return m_write ? m_write->fileName() : QString();
}

QVariant ConsoleSettings::value(const QString &key, const QVariant &defaultValue) const
{
    return m_read ? m_read->value(key, defaultValue) : defaultValue;
}

void ConsoleSettings::setValue(const QString &key, const QVariant &value)
{
    if (m_write)
        m_write->setValue(key, value);
}

QString ConsoleSettings::save()
{
    if (!m_write || m_saveFailureTold)
        return {};
    // The file is written anew beside the old one and keeps its permissions: the
    // old one is narrowed first, so that no copy of a password is left readable.
    const bool holdsPassword = m_write->contains(mqttPasswordKey);
    if (holdsPassword && QFileInfo::exists(m_write->fileName()))
        QFile::setPermissions(m_write->fileName(), QFile::ReadOwner | QFile::WriteOwner);
    m_write->sync();
    if (holdsPassword)
        QFile::setPermissions(m_write->fileName(), QFile::ReadOwner | QFile::WriteOwner);
    if (m_write->status() != QSettings::AccessError)
        return {};
    m_saveFailureTold = true;
    return QCoreApplication::translate("MainWindow", "设置文件无法保存, 本次的选择不会保留: %1").arg(m_write->fileName());
}

PortIdentity ConsoleSettings::port() const
{
    return { value(QStringLiteral("port/name")).toString(),
             value(QStringLiteral("port/serialNumber")).toString(),
             identifier(value(QStringLiteral("port/vendorId"))),
             identifier(value(QStringLiteral("port/productId"))),
             value(QStringLiteral("port/systemLocation")).toString() };
}

void ConsoleSettings::setPort(const PortIdentity &port)
{
    setValue(QStringLiteral("port/name"), port.portName);
    setValue(QStringLiteral("port/serialNumber"), port.serialNumber);
    setValue(QStringLiteral("port/vendorId"), identifierValue(port.vendorIdentifier));
    setValue(QStringLiteral("port/productId"), identifierValue(port.productIdentifier));
    setValue(QStringLiteral("port/systemLocation"), port.systemLocation);
}

CurveLimits::Set ConsoleSettings::limits() const
{
    CurveLimits::Set limits {};
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        const CurveLimit limit { limitValue(value(limitKey("low", series))), limitValue(value(limitKey("high", series))) };
        if (limit.isConsistent())
            limits[size_t(series)] = limit;
    }
    return limits;
}

void ConsoleSettings::setLimits(const CurveLimits::Set &limits)
{
    for (int series = 0; series < Telemetry::seriesCount; ++series) {
        const CurveLimit &limit = limits[size_t(series)];
        setValue(limitKey("low", series), limit.low ? QVariant(*limit.low) : QVariant());
        setValue(limitKey("high", series), limit.high ? QVariant(*limit.high) : QVariant());
    }
}

ChartTrigger::Settings ConsoleSettings::trigger() const
{
    const ChartTrigger::Settings defaults;
    const auto whole = [this](const QString &key, int defaultValue, int lowest, int highest) {
        bool ok = false;
        const int number = value(key).toInt(&ok);
        return ok && number >= lowest && number <= highest ? number : defaultValue;
    };
    bool levelOk = false;
    const double level = value(QStringLiteral("trigger/level")).toDouble(&levelOk);
    const int edge = whole(QStringLiteral("trigger/edge"), int(defaults.edge), 0, int(ChartTrigger::Edge::Either));
    const int mode = whole(QStringLiteral("trigger/mode"), int(defaults.mode), 0, int(ChartTrigger::Mode::Continuous));
    return { whole(QStringLiteral("trigger/curve"), defaults.series, 0, Telemetry::seriesCount - 1),
             levelOk && std::isfinite(level) ? level : defaults.level,
             ChartTrigger::Edge(edge),
             ChartTrigger::Mode(mode),
             whole(QStringLiteral("trigger/position"), defaults.positionPercent, 0, 100) };
}

void ConsoleSettings::setTrigger(const ChartTrigger::Settings &trigger)
{
    setValue(QStringLiteral("trigger/curve"), trigger.series);
    setValue(QStringLiteral("trigger/level"), trigger.level);
    setValue(QStringLiteral("trigger/edge"), int(trigger.edge));
    setValue(QStringLiteral("trigger/mode"), int(trigger.mode));
    setValue(QStringLiteral("trigger/position"), trigger.positionPercent);
}

MqttChoices ConsoleSettings::mqtt() const
{
    const QString password = value(mqttPasswordKey).toString();
    return { value(QStringLiteral("mqtt/url")).toString(), value(QStringLiteral("mqtt/board")).toString(), password,
             !password.isEmpty(), value(QStringLiteral("mqtt/publishing"), false).toBool() };
}

void ConsoleSettings::setMqtt(const MqttChoices &choices)
{
    setValue(QStringLiteral("mqtt/url"), choices.url);
    setValue(QStringLiteral("mqtt/board"), choices.board);
    setValue(QStringLiteral("mqtt/publishing"), choices.publishing);
    if (!m_write)
        return;
    if (choices.rememberPassword && !choices.password.isEmpty())
        m_write->setValue(mqttPasswordKey, choices.password);
    else
        m_write->remove(mqttPasswordKey);
}

void ConsoleSettings::reset()
{
    if (!isNamed())
        return;
    QSettings settings;
    settings.clear();
    settings.sync();
}

bool ConsoleSettings::remembersEnglish(const QString &organisation, const QString &application)
{
    const QSettings settings(organisation, application);
    return settings.value(QStringLiteral("version")).toInt() <= currentVersion
        && settings.value(QLatin1String(languageKey)).toString() == QLatin1String(englishLanguage);
}
