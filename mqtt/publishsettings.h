#pragma once

#include "mqttpublisher.h"
#include "stationtopics.h"

#include <QString>
#include <optional>

namespace nimbra {

// Everything a publisher needs: the broker and the topics.
struct PublishSettings
{
    BrokerOptions broker;
    StationTopics topics;
};

// "HOST", "HOST:PORT", "[IPv6]:PORT"; false for an empty host or a port outside 1..65535.
bool ParseBrokerAddress(const QString& text, BrokerOptions& broker);

// The password: the first line of file, without its line end. Empty with error set when the
// file cannot be read; the error names the file, never its content.
std::optional<std::string> ReadPasswordFile(const QString& file, QString& error);

// What the user calls each setting where it comes from: mqtt.ini's keys or the options of
// nimbractl publish. A fault names the setting so.
struct SettingNames
{
    const char* broker;
    const char* prefix;
    const char* clientId;
    const char* username;
};

// Checks what is given and fills in what follows from it (the will topic, the password);
// the text of the first fault, empty when the settings can be used. Texts are checked as the
// MQTT library checks them, so that it never refuses one later, when nobody is told.
QString CompleteSettings(PublishSettings& settings, const QString& passwordFile,
                         const SettingNames& names);

// The window's publishing, from "mqtt.ini" in the data folder:
//   [MQTT]
//   Enabled=true
//   Broker=HOST[:PORT]
//   TopicPrefix=nimbra  ClientId=...  Username=...  PasswordFile=...  TlsCaFile=...
// Empty (and no error) when the file is missing or Enabled is not true: publishing is off by
// default. error is set when the file asks for publishing but cannot be used.
std::optional<PublishSettings> LoadPublishSettings(const QString& dataFolder, QString& error);

inline constexpr const char* PublishSettingsFile = "mqtt.ini";

} // namespace nimbra
