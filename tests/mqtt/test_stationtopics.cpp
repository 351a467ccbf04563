// What goes to the broker: the channel states, the discovery configs, and the settings.
#include "publishsettings.h"
#include "stationtopics.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

namespace nimbra {
namespace {

using namespace Qt::StringLiterals;

QJsonObject Json(const std::string& text)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

TEST(ChannelState, ValuesInTheStationsUnitAndNullForNoValue)
{
    struct Case
    {
        float temperature;
        int humidity;
        bool fahrenheit;
        QJsonValue expectTemperature, expectHumidity, expectDewPoint;
        const char* unit;
    };
    const QJsonValue null = QJsonValue::Null;
    const Case cases[] = {
        {25.0f, 60, false, 25.0, 60, 16.7, "\u00B0C"},
        {20.0f, 50, false, 20.0, 50, 9.3, "\u00B0C"},
        {23.1f, 45, true, 73.6, 45, 51.0, "\u00B0F"},
        {-40.0f, 50, true, -40.0, 50, null, "\u00B0F"},
        {NoValueTemperature, 50, false, null, 50, null, "\u00B0C"},
        {21.5f, NoValue, false, 21.5, null, null, "\u00B0C"},
    };
    for (const Case& c : cases) {
        LiveSnapshot values;
        values.m_Temperature[2] = c.temperature;
        values.m_Humidity[2] = c.humidity;
        const std::string text = ChannelStateJson(values, 3, c.fahrenheit, "2026-12-09T03:21:42Z");
        SCOPED_TRACE(text);
        const QJsonObject state = Json(text);
        EXPECT_EQ(state[u"temperature"], c.expectTemperature);
        EXPECT_EQ(state[u"humidity"], c.expectHumidity);
        EXPECT_EQ(state[u"dew_point"], c.expectDewPoint);
        EXPECT_EQ(state[u"unit"].toString(), QString::fromUtf8(c.unit));
        EXPECT_EQ(state[u"time"].toString(), u"2026-12-09T03:21:42Z");
    }
}

// Every config points at a state topic and a field that the states really have, in the unit
// the states are written in.
TEST(Discovery, ConfigsMatchTheStatesTheyRead)
{
    StationTopics topics;
    topics.prefix = "home/cellar station";
    for (const bool fahrenheit : {false, true}) {
        const std::vector<MqttMessage> configs = DiscoveryConfigs(topics, fahrenheit, 60);
        ASSERT_EQ(configs.size(), 24u) << "eight channels, three quantities";
        std::set<std::string> configTopics;
        std::set<QString> uniqueIds;
        for (const auto& [topic, payload] : configs) {
            SCOPED_TRACE(topic);
            configTopics.insert(topic);
            EXPECT_EQ(topic.rfind("homeassistant/sensor/home_cellar_station/ch", 0), 0u);
            const QJsonObject config = Json(payload);
            uniqueIds.insert(config[u"unique_id"].toString());
            EXPECT_EQ(config[u"availability_topic"].toString().toStdString(),
                      topics.availability());
            const QString stateTopic = config[u"state_topic"].toString();
            const int channel = stateTopic.section(u'/', -2, -2).mid(2).toInt();
            ASSERT_GE(channel, 1);
            EXPECT_EQ(stateTopic.toStdString(), topics.state(channel));

            LiveSnapshot values;
            values.m_Temperature[channel - 1] = 20.0f;
            values.m_Humidity[channel - 1] = 50;
            const QJsonObject state = Json(ChannelStateJson(values, channel, fahrenheit, "t"));
            const QString field =
                config[u"value_template"].toString().remove(u"{{ value_json."_s).remove(u" }}"_s);
            ASSERT_TRUE(state.contains(field)) << field.toStdString();
            const QString unit = config[u"unit_of_measurement"].toString();
            EXPECT_EQ(unit, field == u"humidity" ? u"%"_s : state[u"unit"].toString());
            EXPECT_EQ(config[u"device_class"].toString(),
                      field == u"humidity" ? u"humidity"_s : u"temperature"_s);
            EXPECT_EQ(config[u"device"][u"identifiers"][0].toString(), u"home_cellar_station");
            EXPECT_EQ(config[u"device"][u"name"].toString(), u"Nimbra home/cellar station");
            EXPECT_EQ(config[u"expire_after"].toInt(), 60) << "three polls of 20 s";
            EXPECT_EQ(config[u"suggested_display_precision"],
                      field == u"humidity" ? QJsonValue(QJsonValue::Undefined) : QJsonValue(1));
            for (const char16_t* block : {u"device", u"origin"})
                EXPECT_EQ(config[block][u"sw_version"].toString(), QStringLiteral(NIMBRA_VERSION));
            EXPECT_EQ(config[u"origin"][u"name"].toString(), u"Nimbra");
        }
        EXPECT_EQ(configTopics.size(), 24u);
        EXPECT_EQ(uniqueIds.size(), 24u);
    }
    topics.prefix = "nimbra/SN-7";
    EXPECT_EQ(DeviceName(topics), "Nimbra SN-7") << "not \"Nimbra ... nimbra\"";
}

TEST(BrokerAddress, HostAndPort)
{
    struct Case
    {
        const char* text;
        bool ok;
        const char* host;
        int port;
    };
    const Case cases[] = {
        {"broker.lan", true, "broker.lan", 1883},
        {"10.0.0.2:8883", true, "10.0.0.2", 8883},
        {"[::1]:1884", true, "::1", 1884},
        {"::1", true, "::1", 1883},
        {"[::1]", true, "::1", 1883},
        {"host:", false, "", 0},
        {":1883", false, "", 0},
        {"host:0", false, "", 0},
        {"host:65536", false, "", 0},
        {"host:12a", false, "", 0},
        {"", false, "", 0},
        {"[::1", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BrokerOptions broker;
        ASSERT_EQ(ParseBrokerAddress(QString::fromLatin1(c.text), broker), c.ok);
        if (c.ok) {
            EXPECT_EQ(broker.host, c.host);
            EXPECT_EQ(broker.port, c.port);
        }
    }
}

// Off unless the file asks for it; a file that asks but cannot be used says why, and never
// shows the password.
TEST(PublishSettingsFile, OffByDefaultAndFaultsNamed)
{
    QTemporaryDir folder;
    const QString password = folder.filePath(u"pw"_s);
    {
        QFile file(password);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("s3cret\r\nsecond line\n");
    }
    struct Case
    {
        const char* what;
        QString ini; // empty: no file
        bool enabled;
        const char* error; // a part of the message; empty: none
    };
    const QString good = u"[MQTT]\nEnabled=true\nBroker=127.0.0.1:1999\nTopicPrefix=cellar\n"
                         "Username=nimbra\nPasswordFile="_s +
                         password + u"\n"_s;
    const Case cases[] = {
        {"no file", {}, false, ""},
        {"not enabled", u"[MQTT]\nBroker=h\n"_s, false, ""},
        {"enabled", good, true, ""},
        {"bad broker", u"[MQTT]\nEnabled=true\nBroker=h:x\n"_s, false, "Broker"},
        {"password without user", u"[MQTT]\nEnabled=true\nBroker=h\nPasswordFile=pw\n"_s, false,
         "user name"},
        {"unreadable password",
         u"[MQTT]\nEnabled=true\nBroker=h\nUsername=u\nPasswordFile="_s +
             folder.filePath(u"none"_s),
         false, "password file"},
        {"wildcard prefix", u"[MQTT]\nEnabled=true\nBroker=h\nTopicPrefix=a/#\n"_s, false,
         "prefix"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = QDir(folder.path()).filePath(u"mqtt.ini"_s);
        QFile::remove(path);
        if (!c.ini.isEmpty()) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.ini.toUtf8());
        }
        QString error;
        const std::optional<PublishSettings> settings = LoadPublishSettings(folder.path(), error);
        EXPECT_EQ(settings.has_value(), c.enabled);
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.error))) << error.toStdString();
        EXPECT_EQ(error.isEmpty(), *c.error == 0) << error.toStdString();
        EXPECT_FALSE(error.contains(u"s3cret"_s));
        if (settings) {
            EXPECT_EQ(settings->broker.password, "s3cret");
            EXPECT_EQ(settings->broker.port, 1999);
            EXPECT_EQ(settings->broker.willTopic, "cellar/availability");
        }
    }
}

} // namespace
} // namespace nimbra
