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
#include "chat/Answers.h"
#include "chat/Classifier.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"
#include "text/Cp1252.h"
#include "text/Encoding.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::IrcTestClient;
using test::AwaitCondition;
using test::Escaped;

constexpr const char* kServerBinary = "/usr/sbin/ngircd";
const std::string kGrey = "\x03" "14";

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
        port_ = test::FreeLoopbackPort();
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

    void StartBot(BotPorts ports, Random* random = nullptr) {
        bot_ = std::make_unique<BotRuntime>(context_, random ? *random : random_, ports);
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
    // Reseeded to one value for every reply: equal texts get equal answers.
    Random fixedRandom_{[] { return 4242u; }};
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


// What the bot answers to a Windows-1252 text with the fixed generator.
class NoPhoto final : public PhotoOffer {
public:
    std::string LocalAddress() const override { return "127.0.0.1"; }
    std::uint16_t PrepareDccPort() override { return 0; }
    void SwitchDccOn() override {}
};

std::vector<std::string> ReplyTo(std::string_view cp1252, const ProfileContext& context) {
    Random random{[] { return 4242u; }};
    NoPhoto photo;
    const std::string reply = BuildReply(cp1252, ProfileFile(context.ProfilePath()), random, photo);
    std::vector<std::string> lines;
    for (int k = 1; k <= ReplyLineCount(reply); ++k) lines.push_back(ReplyLine(reply, k));
    return lines;
}

// The texts after " :" of the lines from `from` on that contain `part`.
std::vector<std::string> TextsOf(const IrcTestClient& client, std::string_view part, std::size_t from = 0) {
    std::vector<std::string> texts;
    for (std::size_t i = from; i < client.Lines().size(); ++i) {
        const std::string& line = client.Lines()[i];
        if (line.find(part) != std::string::npos) texts.push_back(line.substr(line.find(" :") + 2));
    }
    return texts;
}

// Two real partners ask the same questions, one from a UTF-8 client and one
// from a Windows-1252 client; an operator watches the command channel.
TEST_F(BotEndToEndTest, PartnersOnUtf8AndWindows1252ClientsAreUnderstoodAlikeAndAnsweredInTheirOwnEncoding) {
    IrcServerProcess server;
    ASSERT_TRUE(server.Start(dir_.path(), port_, false)) << server.Output();
    Set("PersonData", "Location", "Düsseldorf"_w1252);
    StartBot(BotPorts{0, 0}, &fixedRandom_);
    ASSERT_TRUE(bot_->OnlineButtonClick());
    ASSERT_TRUE(Logged(" 376 TovikBot ")) << server.Output();
    ASSERT_TRUE(Logged("MODE #Tovik-B0T +msi"));

    IrcTestClient watcher, utf8, cp1252;
    ASSERT_TRUE(watcher.Connect(port_, "watcher"));
    ASSERT_TRUE(utf8.Connect(port_, "utf8user"));
    ASSERT_TRUE(cp1252.Connect(port_, "ansiuser"));
    bot_->SendEditKeyPress("invite watcher");
    ASSERT_GE(watcher.WaitForText("INVITE watcher"), 0);
    watcher.Send("JOIN #Tovik-B0T");
    ASSERT_GE(watcher.WaitForText(" 366 watcher #Tovik-B0T "), 0);

    // The same questions, each text in its client's encoding.
    const std::vector<std::string_view> questions{"tschüß"_w1252, "wie groß?"_w1252, "woher kommst du?"_w1252};
    std::vector<std::string> expected;  // Windows-1252, the answers to either partner
    for (const std::string_view question : questions) {
        EXPECT_NE(Classify(question), "") << Escaped(question);  // no fallback: a category was understood
        for (const std::string& line : ReplyTo(question, context_)) expected.push_back(line);
        utf8.Send("PRIVMSG TovikBot :" + Cp1252ToUtf8(question));
        cp1252.Send("PRIVMSG TovikBot :" + std::string(question));
    }
    const std::string report = "PRIVMSG #Tovik-B0T :" + kGrey;
    // The server's pace: 5 lines at once, then one a second.
    ASSERT_TRUE(AwaitCondition(
        [&] {
            return utf8.Count("PRIVMSG utf8user :") == expected.size() &&
                   cp1252.Count("PRIVMSG ansiuser :") == expected.size() &&
                   watcher.Count(report + "--> ") == 2 * expected.size();
        },
        90000))
        << utf8.Count("PRIVMSG utf8user :") << " " << cp1252.Count("PRIVMSG ansiuser :") << " "
        << watcher.Count(report + "--> ");

    const std::vector<std::string> toUtf8 = TextsOf(utf8, "PRIVMSG utf8user :");
    const std::vector<std::string> toCp1252 = TextsOf(cp1252, "PRIVMSG ansiuser :");
    EXPECT_EQ(toCp1252, expected);  // exactly the bytes a Windows-1252 partner always got
    ASSERT_EQ(toUtf8.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(IsValidUtf8(toUtf8[i])) << Escaped(toUtf8[i]);
        EXPECT_EQ(Escaped(toUtf8[i]), Escaped(Cp1252ToUtf8(expected[i])));
    }
    bool umlaut = false;
    for (const std::string& line : expected) umlaut = umlaut || RecogniseEncoding(line) == TextEncoding::Cp1252;
    EXPECT_TRUE(umlaut) << "the answers should hold umlauts, or the test shows nothing";

    // The command channel reads one encoding: the profile's default, UTF-8.
    for (const std::string& text : TextsOf(watcher, report)) EXPECT_TRUE(IsValidUtf8(text)) << Escaped(text);
    for (const std::string nick : {"utf8user", "ansiuser"}) {
        const std::vector<std::string> heard = TextsOf(watcher, report + "<-- " + nick + ": ");
        ASSERT_EQ(heard.size(), questions.size()) << nick;
        for (std::size_t i = 0; i < questions.size(); ++i)
            EXPECT_EQ(Escaped(heard[i]), Escaped(kGrey + "<-- " + nick + ": " + Cp1252ToUtf8(questions[i])));
    }

    // The operator's UTF-8 ".say" reaches the Windows-1252 partner in his encoding.
    bot_->SendEditKeyPress("voice watcher");
    ASSERT_GE(watcher.WaitForText("MODE #Tovik-B0T +v watcher"), 0);
    const auto mark = cp1252.Mark();
    watcher.Send("PRIVMSG #Tovik-B0T :.say ansiuser grüß dich");
    ASSERT_GE(cp1252.WaitForText("PRIVMSG ansiuser :", 20000, mark), 0);
    EXPECT_EQ(Escaped(TextsOf(cp1252, "PRIVMSG ansiuser :", mark).at(0)), Escaped("grüß dich"_w1252));
    ASSERT_GE(watcher.WaitForText(report + "--> ansiuser: grüß dich", 20000), 0);
    EXPECT_TRUE(errors_.empty()) << errors_.front();
}

}  // namespace
}  // namespace tovik
