#include "publishsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>
#include <mosquitto.h>

namespace nimbra {

bool ParseBrokerAddress(const QString& text, BrokerOptions& broker)
{
    QString host = text;
    QString port;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return false;
        host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return false;
        port = rest.mid(1);
        if (rest.startsWith(u':') && port.isEmpty())
            return false;
    } else if (text.count(u':') == 1) {
        host = text.section(u':', 0, 0);
        port = text.section(u':', 1);
        if (port.isEmpty())
            return false;
    }
    if (host.isEmpty())
        return false;
    int number = 1883;
    if (!port.isEmpty()) {
        bool ok = false;
        number = port.toInt(&ok);
        if (!ok || number < 1 || number > 65535)
            return false;
    }
    broker.host = host.toStdString();
    broker.port = number;
    return true;
}

std::optional<std::string> ReadPasswordFile(const QString& file, QString& error)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the password file %1").arg(file);
        return std::nullopt;
    }
    QByteArray line = in.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line.toStdString();
}

namespace {

constexpr SettingNames IniKeys{"Broker", "TopicPrefix", "ClientId", "Username"};

// Whether MQTT can carry text (a topic, host, client id or user name): UTF-8 of at most 65535
// bytes without NUL or other control characters, by libmosquitto's own test.
bool IsMqttText(const std::string& text)
{
    return text.size() <= 65535 &&
           mosquitto_validate_utf8(text.data(), static_cast<int>(text.size())) == MOSQ_ERR_SUCCESS;
}

// Whether the library takes every topic the readings go to (their prefix and their length).
bool AreMqttTopics(const StationTopics& topics)
{
    std::vector<std::string> all{topics.availability()};
    for (int channel = 1; channel <= ChannelCount; ++channel)
        all.push_back(topics.state(channel));
    // The topics depend on neither the unit nor the expiry.
    for (const MqttMessage& config : DiscoveryConfigs(topics, false, 0))
        all.push_back(config.first);
    return std::all_of(all.begin(), all.end(), [](const std::string& topic) {
        return IsMqttText(topic) &&
               mosquitto_pub_topic_check2(topic.data(), topic.size()) == MOSQ_ERR_SUCCESS;
    });
}

// The first of the texts MQTT cannot carry, as "the user name (Username) must be ...".
QString TextFault(const PublishSettings& settings, const SettingNames& names)
{
    const std::pair<const std::string&, QString> texts[] = {
        {settings.broker.host, QStringLiteral("the broker host (%1)").arg(names.broker)},
        {settings.broker.clientId, QStringLiteral("the client id (%1)").arg(names.clientId)},
        {settings.broker.username, QStringLiteral("the user name (%1)").arg(names.username)},
    };
    for (const auto& [text, what] : texts)
        if (!IsMqttText(text))
            return what + QStringLiteral(" must be UTF-8 text without control characters");
    return {};
}

} // namespace

QString CompleteSettings(PublishSettings& settings, const QString& passwordFile,
                         const SettingNames& names)
{
    if (settings.topics.prefix.empty() || !AreMqttTopics(settings.topics))
        return QStringLiteral("the topic prefix (%1) must be a topic name: UTF-8 text without "
                              "control characters, + or #")
            .arg(names.prefix);
    if (const QString fault = TextFault(settings, names); !fault.isEmpty())
        return fault;
    if (!passwordFile.isEmpty() && settings.broker.username.empty())
        return QStringLiteral("a password file needs a user name");
    if (!passwordFile.isEmpty()) {
        QString error;
        const std::optional<std::string> password = ReadPasswordFile(passwordFile, error);
        if (!password)
            return error;
        settings.broker.password = *password;
    }
    const QString ca = QString::fromStdString(settings.broker.tlsCaFile);
    if (!ca.isEmpty() && !QFileInfo(ca).isReadable())
        return QStringLiteral("cannot read the CA file %1").arg(ca);
    settings.broker.willTopic = settings.topics.availability();
    return {};
}

std::optional<PublishSettings> LoadPublishSettings(const QString& dataFolder, QString& error)
{
    const QString path = QDir(dataFolder).filePath(QString::fromLatin1(PublishSettingsFile));
    if (!QFileInfo::exists(path))
        return std::nullopt;
    QSettings ini(path, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("MQTT"));
    if (ini.value(QStringLiteral("Enabled")).toString().toLower() != QStringLiteral("true"))
        return std::nullopt;

    PublishSettings settings;
    if (!ParseBrokerAddress(ini.value(QStringLiteral("Broker")).toString(), settings.broker)) {
        error = QStringLiteral("%1: Broker must be HOST or HOST:PORT").arg(path);
        return std::nullopt;
    }
    const QString prefix = ini.value(QStringLiteral("TopicPrefix")).toString();
    if (!prefix.isEmpty())
        settings.topics.prefix = prefix.toStdString();
    settings.broker.clientId = ini.value(QStringLiteral("ClientId")).toString().toStdString();
    settings.broker.username = ini.value(QStringLiteral("Username")).toString().toStdString();
    settings.broker.tlsCaFile = ini.value(QStringLiteral("TlsCaFile")).toString().toStdString();
    const QString problem =
        CompleteSettings(settings, ini.value(QStringLiteral("PasswordFile")).toString(), IniKeys);
    if (!problem.isEmpty()) {
        error = QStringLiteral("%1: %2").arg(path, problem);
        return std::nullopt;
    }
    return settings;
}

} // namespace nimbra
