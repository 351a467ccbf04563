#include "stationtopics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
#include <cmath>

namespace nimbra {

namespace {

struct Quantity
{
    const char* key;  // in the state JSON and the object id
    const char* name; // shown by Home Assistant
    const char* deviceClass;
    bool temperature; // in the station's temperature unit, else percent
};

constexpr Quantity Quantities[] = {
    {"temperature", "Temperature", "temperature", true},
    {"humidity", "Humidity", "humidity", false},
    {"dew_point", "Dew point", "temperature", true},
};

std::string UnitText(bool fahrenheit)
{
    return fahrenheit ? "\u00B0F" : "\u00B0C";
}

// A temperature in the station's unit with the one decimal the station shows; the text round
// trip keeps 21.5 from turning into 21.499999 in the JSON.
QJsonValue TemperatureValue(float celsius, bool fahrenheit)
{
    if (celsius == NoValueTemperature)
        return QJsonValue::Null;
    const double shown = fahrenheit ? celsius * 1.8 + 32.0 : double(celsius);
    char text[32];
    const auto written =
        std::to_chars(text, text + sizeof text, shown, std::chars_format::fixed, 1);
    double rounded = 0.0;
    std::from_chars(text, written.ptr, rounded);
    return rounded;
}

QString Compact(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

std::string StationTopics::state(int channel) const
{
    return prefix + "/ch" + std::to_string(channel) + "/state";
}

std::string StationTopics::nodeId() const
{
    std::string id = prefix;
    for (char& c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-')
            c = '_';
    return id;
}

std::string ChannelStateJson(const LiveSnapshot& values, int channel, bool fahrenheit,
                             const std::string& utcTime)
{
    const float temperature = values.m_Temperature[channel - 1];
    const int humidity = values.m_Humidity[channel - 1];
    const float dewPoint = temperature == NoValueTemperature
                               ? NoValueTemperature
                               : ComputeDewPoint(temperature, humidity);
    const QJsonObject state{
        {QStringLiteral("temperature"), TemperatureValue(temperature, fahrenheit)},
        {QStringLiteral("humidity"), humidity == NoValue ? QJsonValue::Null : QJsonValue(humidity)},
        {QStringLiteral("dew_point"), TemperatureValue(dewPoint, fahrenheit)},
        {QStringLiteral("unit"), QString::fromStdString(UnitText(fahrenheit))},
        {QStringLiteral("time"), QString::fromStdString(utcTime)},
    };
    return Compact(state).toStdString();
}

std::string DeviceName(const StationTopics& topics)
{
    const std::string_view start = "nimbra/";
    const std::string& prefix = topics.prefix;
    return "Nimbra " + (prefix.starts_with(start) ? prefix.substr(start.size()) : prefix);
}

std::vector<MqttMessage> DiscoveryConfigs(const StationTopics& topics, bool fahrenheit,
                                          int expireAfterSeconds)
{
    const QString node = QString::fromStdString(topics.nodeId());
    const QString version = QStringLiteral(NIMBRA_VERSION);
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{node}},
        {QStringLiteral("name"), QString::fromStdString(DeviceName(topics))},
        {QStringLiteral("manufacturer"), QStringLiteral("Nimbra")},
        {QStringLiteral("model"), QStringLiteral("USB thermo-hygrometer, 8 channels")},
        {QStringLiteral("sw_version"), version},
    };
    const QJsonObject origin{{QStringLiteral("name"), QStringLiteral("Nimbra")},
                             {QStringLiteral("sw_version"), version}};
    std::vector<MqttMessage> configs;
    for (int channel = 1; channel <= ChannelCount; ++channel) {
        for (const Quantity& q : Quantities) {
            const QString object = QStringLiteral("ch%1_%2").arg(channel).arg(q.key);
            QJsonObject config{
                {QStringLiteral("name"), QStringLiteral("CH%1 %2").arg(channel).arg(q.name)},
                {QStringLiteral("unique_id"), node + u'_' + object},
                {QStringLiteral("state_topic"), QString::fromStdString(topics.state(channel))},
                {QStringLiteral("value_template"),
                 QStringLiteral("{{ value_json.%1 }}").arg(q.key)},
                {QStringLiteral("device_class"), QString::fromLatin1(q.deviceClass)},
                {QStringLiteral("unit_of_measurement"),
                 QString::fromStdString(q.temperature ? UnitText(fahrenheit) : "%")},
                {QStringLiteral("state_class"), QStringLiteral("measurement")},
                {QStringLiteral("availability_topic"),
                 QString::fromStdString(topics.availability())},
                {QStringLiteral("device"), device},
                {QStringLiteral("origin"), origin},
                {QStringLiteral("expire_after"), expireAfterSeconds},
            };
            if (q.temperature)
                config.insert(QStringLiteral("suggested_display_precision"), 1);
            configs.emplace_back(topics.discoveryPrefix + "/sensor/" + topics.nodeId() + "/" +
                                     object.toStdString() + "/config",
                                 Compact(config).toStdString());
        }
    }
    return configs;
}

} // namespace nimbra
