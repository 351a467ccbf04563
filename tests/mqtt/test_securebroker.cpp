// A broker that speaks only TLS and wants a user name and password, with certificates the test
// makes itself: the publisher gets through with the right authority and password, and only so.
#include "brokerfixture.h"
#include "mqttpublisher.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <pwd.h>

namespace nimbra {
namespace {

using namespace std::chrono_literals;
using test::Broker;
using test::StatusLines;

constexpr const char* User = "nimbra";
constexpr const char* Password = "s3cret-pw";

// A certificate authority that signs the broker's certificate for 127.0.0.1, and a second one
// that has nothing to do with it.
class Certificates
{
public:
    bool make()
    {
        return run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=NimbraTestCA"
                   " -keyout ca.key -out ca.crt") &&
               run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Stranger"
                   " -keyout other.key -out other.crt") &&
               run("openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1"
                   " -keyout broker.key -out broker.csr") &&
               run("printf 'subjectAltName=IP:127.0.0.1\\n' > san.cnf") &&
               run("openssl x509 -req -days 2 -in broker.csr -CA ca.crt -CAkey ca.key"
                   " -CAcreateserial -extfile san.cnf -out broker.crt") &&
               run(std::string("mosquitto_passwd -c -b pw ") + User + " " + Password);
    }
    std::string file(const char* name) const { return m_folder.filePath(name).toStdString(); }
    // The listener's lines. A broker started as root reads these files only as long as it
    // stays root.
    std::string brokerConfig() const
    {
        const passwd* me = ::getpwuid(::geteuid());
        return "cafile " + file("ca.crt") + "\ncertfile " + file("broker.crt") + "\nkeyfile " +
               file("broker.key") + "\npassword_file " + file("pw") +
               "\nallow_anonymous false\nuser " + (me ? me->pw_name : "root") + "\n";
    }

private:
    bool run(const std::string& command) const
    {
        const std::string line =
            "cd '" + m_folder.path().toStdString() + "' && " + command + " >/dev/null 2>&1";
        return std::system(line.c_str()) == 0;
    }

    QTemporaryDir m_folder;
};

TEST(SecureBroker, OnlyTheRightAuthorityAndPasswordGetThrough)
{
    Certificates certificates;
    ASSERT_TRUE(certificates.make()) << "openssl and mosquitto_passwd make the test's files";
    Broker broker;
    ASSERT_TRUE(broker.start(certificates.brokerConfig()));

    struct Case
    {
        const char* name;
        std::string caFile;
        std::string password;
        bool connects;
        const char* said;
    };
    const Case cases[] = {
        {"the right authority and password", certificates.file("ca.crt"), Password, true,
         "connected to the broker"},
        {"a wrong password", certificates.file("ca.crt"), "wrong", false, "not authorised"},
        {"no TLS", "", Password, false, "cannot reach the broker"},
        {"a certificate of another authority", certificates.file("other.crt"), Password, false,
         "cannot reach the broker"},
        {"a CA file that is not there", certificates.file("gone.crt"), Password, false,
         "nothing is sent to the broker"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrokerOptions options;
        options.host = "127.0.0.1";
        options.port = broker.port();
        options.username = User;
        options.password = c.password;
        options.tlsCaFile = c.caFile;
        options.backoffMin = 100ms;
        options.backoffMax = 400ms;
        StatusLines status;
        MqttPublisher publisher(options, status.sink());
        publisher.publish("secure/test", "1");
        for (auto end = std::chrono::steady_clock::now() + 10s;
             !status.contains(c.said) && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(status.contains(c.said)) << status.all();
        EXPECT_EQ(publisher.connected(), c.connects);
        EXPECT_FALSE(status.contains(Password)) << status.all();
    }
}

} // namespace
} // namespace nimbra
