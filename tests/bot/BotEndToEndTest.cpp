// The bot against a real IRC server: ngircd, started here on a free loopback
// port with a generated configuration, and a second client that watches the
// command channel, talks to the bot and fetches its picture over DCC.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>

#include "IrcTestClient.h"
#include "TestSupport.h"
#include "bot/BotRuntime.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"

namespace tovik {
namespace {

using test::IrcTestClient;
using test::AwaitCondition;

constexpr const char* kServerBinary = "/usr/sbin/ngircd";
const std::string kGrey = "\x03" "14";

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool CanListenOn(quint16 port) {
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, port);
}

// ngircd in the foreground. Started as root it drops to "nobody", so its
// directory and configuration are readable by everyone.
class IrcServerProcess {
public:
    bool Start(const QString& dir, quint16 port, bool ident) {
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                       QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        const QString conf = dir + "/ngircd.conf";
        const std::string text = "[Global]\nName = irc.test.local\nInfo = Test server\nListen = 127.0.0.1\n"
                                 "Ports = " + std::to_string(port) + "\nMotdPhrase = Willkommen\n"
                                 "AdminInfo1 = Test\nAdminInfo2 = Test\nAdminEMail = test@test.local\n"
                                 "[Limits]\nPingTimeout = 300\nMaxNickLength = 30\n"
                                 "[Options]\nPAM = no\n" +
                                 std::string(ident ? "DNS = yes\nIdent = yes\n" : "DNS = no\nIdent = no\n");
        test::WriteFileBytes(conf.toStdString(), text);
        QFile::setPermissions(conf, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(kServerBinary, {"-n", "-f", conf});
        if (!process_.waitForStarted(5000)) return false;
        return AwaitCondition(
            [port] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port);
                return probe.waitForConnected(200);
            },
            10000);
    }
    std::string Output() { return process_.readAll().toStdString(); }
    ~IrcServerProcess() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(2000);
    }

private:
    QProcess process_;
};

class BotEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists(kServerBinary)) GTEST_SKIP() << "ngircd is not installed";
        test::EnsureApp();
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkpath("PROFILES"));
        context_ = ProfileContext(dir_.path().toStdString(), "e2e");
        port_ = FreePort();
        Set("IRC", "Server", "127.0.0.1");
        Set("IRC", "Port", std::to_string(port_));
        Set("IRC", "BotNick", "TovikBot");
        Set("General", "CharTime", "5");
        // ngircd takes an ident answer only if the user id is letters and
        // digits; the default "Tovik-B0T" would be ignored for its "-".
        Set("PersonData", "PreName", "Tovik");
    }

    void Set(std::string_view section, std::string_view key, std::string_view value) {
        ProfileFile(context_.ProfilePath()).WriteValue(section, key, value);
    }

    void StartBot(BotPorts ports) {
        bot_ = std::make_unique<BotRuntime>(context_, random_, ports);
        QObject::connect(bot_.get(), &BotRuntime::LineReceived, [this](const std::string& l) { log_.push_back(l); });
        QObject::connect(bot_.get(), &BotRuntime::ErrorOccurred, [this](const std::string& e) { errors_.push_back(e); });
    }

    bool Logged(std::string_view part, int ms = 10000) {
        return AwaitCondition(
            [&] {
                for (const auto& line : log_)
                    if (line.find(part) != std::string::npos) return true;
                return false;
            },
            ms);
    }

    QTemporaryDir dir_;
    ProfileContext context_;
    Random random_;
    quint16 port_ = 0;
    std::unique_ptr<BotRuntime> bot_;
    std::vector<std::string> log_;
    std::vector<std::string> errors_;
};

TEST_F(BotEndToEndTest, RegistersSetsUpItsChannelAnswersAndSendsItsPicture) {
    // Ident only where this process may listen on port 113 (as root in CI).
    const bool ident = CanListenOn(113);
    IrcServerProcess server;
    ASSERT_TRUE(server.Start(dir_.path(), port_, ident)) << server.Output();
    ASSERT_TRUE(errors_.empty());
    StartBot(BotPorts{static_cast<quint16>(ident ? 113 : 0), 0});

    const std::string picture = dir_.filePath("foto.jpg").toStdString();
    std::string pictureBytes;
    for (int i = 0; i < 300'000; ++i) pictureBytes += static_cast<char>((i * 7 + i / 256) & 0xFF);
    test::WriteFileBytes(picture, pictureBytes);
    Set("PersonData", "Picture", picture);

    // Registration and the command channel, accepted by the server.
    ASSERT_TRUE(bot_->OnlineButtonClick());
    ASSERT_TRUE(Logged(" 376 TovikBot ")) << server.Output();
    ASSERT_TRUE(Logged("TOPIC #Tovik-B0T :--] TovikBot's Kommando Channel"));
    ASSERT_TRUE(Logged("MODE #Tovik-B0T +msi"));

    // A second user, invited and voiced from the console.
    IrcTestClient user;
    ASSERT_TRUE(user.Connect(port_, "tester"));
    bot_->SendEditKeyPress("invite tester");
    ASSERT_GE(user.WaitForText("INVITE tester"), 0);
    user.Send("JOIN #Tovik-B0T");
    const int topic = user.WaitForText(" 332 tester #Tovik-B0T ");
    ASSERT_GE(topic, 0);
    EXPECT_NE(user.Lines()[topic].find(
                  ":--] TovikBot's Kommando Channel [----] Tovik-B0T (c) 2026 Tovik-Team [--"),
              std::string::npos)
        << user.Lines()[topic];
    user.Send("MODE #Tovik-B0T");
    const int modes = user.WaitForText(" 324 tester #Tovik-B0T ");
    ASSERT_GE(modes, 0);
    const std::string modeText = user.Lines()[modes].substr(user.Lines()[modes].rfind(' ') + 1);
    for (char mode : std::string("imnst")) EXPECT_NE(modeText.find(mode), std::string::npos) << modeText;
    bot_->SendEditKeyPress("voice tester");
    ASSERT_GE(user.WaitForText("MODE #Tovik-B0T +v tester"), 0);

    // The bot's user name carries no "~" when its ident answer was taken.
    if (ident) {
        user.Send("WHOIS TovikBot");
        const int whois = user.WaitForText(" 311 tester TovikBot ");
        ASSERT_GE(whois, 0);
        EXPECT_NE(user.Lines()[whois].find(" 311 tester TovikBot Tovik localhost "), std::string::npos)
            << user.Lines()[whois];
    }

    // A private message, answered line by line and reported in the channel.
    auto mark = user.Mark();
    user.Send("PRIVMSG TovikBot :hi, wie alt bist du?");
    ASSERT_GE(user.WaitForText("PRIVMSG #Tovik-B0T :" + kGrey + "<-- tester: hi, wie alt bist du?", 10000, mark), 0);
    // Reports come last when lines wait for the server's pace.
    ASSERT_TRUE(AwaitCondition(
        [&] {
            return user.Count("PRIVMSG tester :", mark) == 2 &&
                   user.Count("PRIVMSG #Tovik-B0T :" + kGrey + "--> tester: ", mark) == 2;
        },
        10000));
    std::vector<std::string> reports, answers;
    for (std::size_t i = mark; i < user.Lines().size(); ++i) {
        const std::string& l = user.Lines()[i];
        if (l.find("PRIVMSG #Tovik-B0T :" + kGrey + "--> tester: ") != std::string::npos)
            reports.push_back(l.substr(l.find("--> tester: ") + 12));
        if (l.find("PRIVMSG tester :") != std::string::npos) answers.push_back(l.substr(l.find(" :") + 2));
    }
    EXPECT_EQ(reports, answers);
    EXPECT_EQ(answers.size(), 2u);

    // Remote commands from the channel.
    mark = user.Mark();
    user.Send("PRIVMSG #Tovik-B0T :.answer tester off");
    ASSERT_GE(user.WaitForText(":" + kGrey + "Answering for tester Disabled", 10000, mark), 0);
    ASSERT_TRUE(AwaitCondition([&] { return bot_->IsDenied("TESTER"); }));
    user.Send("PRIVMSG #Tovik-B0T :.say tester hallo du");
    ASSERT_GE(user.WaitForText("PRIVMSG tester :hallo du", 10000, mark), 0);
    ASSERT_GE(user.WaitForText(":" + kGrey + "--> tester: hallo du", 10000, mark), 0);
    user.Send("PRIVMSG #Tovik-B0T :.answer tester on");
    ASSERT_GE(user.WaitForText(":" + kGrey + "Answering for tester Enabled", 10000, mark), 0);

    // A text far beyond the line limit: the report is cut, the bot stays.
    mark = user.Mark();
    user.Send("PRIVMSG TovikBot :" + std::string(482, 'x') + " :)");
    ASSERT_GE(user.WaitForText("PRIVMSG #Tovik-B0T :" + kGrey + "<-- tester: xxx", 10000, mark), 0);
    ASSERT_GE(user.WaitForText("PRIVMSG tester :", 10000, mark), 0);
    for (const auto& line : log_) EXPECT_EQ(line.find("ERROR"), std::string::npos) << line;

    // The picture over DCC, acknowledged as a DCC client does.
    mark = user.Mark();
    user.Send("PRIVMSG TovikBot :hast du ein foto?");
    const int offer = user.WaitForText("\x01" "DCC SEND foto.jpg ", 10000, mark);
    ASSERT_GE(offer, 0);
    const std::string offerLine = user.Lines()[offer];
    const std::string fields = offerLine.substr(offerLine.find("DCC SEND foto.jpg ") + 18);
    unsigned long address = 0, dccPort = 0, size = 0;
    ASSERT_EQ(std::sscanf(fields.c_str(), "%lu %lu %lu", &address, &dccPort, &size), 3) << fields;
    EXPECT_EQ(address, 0x7F000001ul);
    EXPECT_EQ(size, pictureBytes.size());

    QTcpSocket receiver;
    receiver.connectToHost(QHostAddress(static_cast<quint32>(address)), static_cast<quint16>(dccPort));
    ASSERT_TRUE(receiver.waitForConnected(5000));
    std::string received;
    QObject::connect(&receiver, &QTcpSocket::readyRead, [&] {
        const QByteArray bytes = receiver.readAll();
        received.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        const quint32 total = static_cast<quint32>(received.size());
        const char ack[4] = {static_cast<char>(total >> 24), static_cast<char>(total >> 16),
                             static_cast<char>(total >> 8), static_cast<char>(total)};
        receiver.write(ack, 4);
    });
    ASSERT_TRUE(AwaitCondition([&] { return received.size() >= pictureBytes.size(); }, 20000))
        << received.size() << " of " << pictureBytes.size();
    EXPECT_TRUE(received == pictureBytes);

    // Still registered and in service after all of it.
    mark = user.Mark();
    user.Send("PRIVMSG TovikBot :hi");
    ASSERT_GE(user.WaitForText("PRIVMSG tester :", 10000, mark), 0);
    EXPECT_TRUE(bot_->IsConnected());
    if (ident) {
        EXPECT_TRUE(errors_.empty()) << errors_.front();
    }
}

}  // namespace
}  // namespace tovik
