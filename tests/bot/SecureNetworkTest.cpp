// The bot over TLS and with a SASL log-in, on real servers: ngircd and
// InspIRCd with a self-signed certificate made for the test, InspIRCd linked
// to atheme-services for the accounts. Each test starts its own servers on
// free loopback ports with configuration written into its temporary
// directory, and watches the bot through plain-TCP IRC clients:
//
//   - with the server's fingerprint pinned, the bot talks over TLS as it
//     does over TCP: it sets up its command channel and answers partners;
//   - with a wrong fingerprint the bot gives up before sending a byte of
//     IRC and names the fingerprint the server showed;
//   - with an account and its password the bot logs in with SASL before it
//     registers; with a wrong password it says so and registers anyway;
//   - on InspIRCd's plain port on this machine the bot takes the IRCv3
//     capabilities it uses, logs in with PLAIN, and a partner whose client
//     understands message tags sees it typing before its answer;
//   - with a client certificate whose fingerprint NickServ knows, the bot
//     logs in with EXTERNAL and no password;
//   - a plain port that announces STS sends the bot to the TLS port, and
//     the policy the TLS port announces is kept beside the profiles and
//     renewed when the secure session ends.
//
// atheme 7.2 has no SCRAM; the scripted-server tests cover it with the
// RFC 7677 test vector, and the other refusals and the exact bytes.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cctype>
#include <ctime>
#include <functional>
#include <iostream>
#include <memory>

#include "IrcTestClient.h"
#include "SecureServers.h"
#include "TestSupport.h"
#include "bot/BotRuntime.h"
#include "bot/login/Sts.h"
#include "chat/Answers.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"

namespace tovik {
namespace {

using test::AwaitCondition;
using test::IrcTestClient;

const std::string kChannel = "#Tovik-B0T";
const std::string kNick = "TovikBot";
const std::string kTlsErrorPrefix = "TLS-Fehler: ";
const std::string kFingerprintLead = ". Fingerabdruck des Servers (SHA-256): ";

// A reply never offers the picture here (none is set), so nothing of the
// running bot is needed to build one.
class NoPhoto final : public PhotoOffer {
public:
    std::string LocalAddress() const override { return "127.0.0.1"; }
    std::uint16_t PrepareDccPort() override { return 0; }
    void SwitchDccOn() override {}
};

// "AA:BB:..." as someone might paste it: lower case, without colons.
std::string BareLowerHex(std::string fingerprint) {
    fingerprint.erase(std::remove(fingerprint.begin(), fingerprint.end(), ':'), fingerprint.end());
    std::transform(fingerprint.begin(), fingerprint.end(), fingerprint.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return fingerprint;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }
bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The profile, the bot and what it reports; the servers are the
// subclasses' business.
class SecureNetworkTest : public ::testing::Test {
protected:
    void SetUpBot() {
        test::EnsureApp();
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkpath("PROFILES"));
        context_ = ProfileContext(dir_.path().toStdString(), "secure");
        std::string why;
        auto certificate = test::MakeTestCertificate(dir_.path(), &why);
        ASSERT_TRUE(certificate) << why;
        certificate_ = *certificate;
        Set("IRC", "Server", "127.0.0.1");
        Set("IRC", "BotNick", kNick);
        Set("General", "CharTime", "5");
        Set("PersonData", "PreName", "Tovik");
    }

    void TearDown() override { bot_.reset(); }

    void Set(std::string_view section, std::string_view key, std::string_view value) {
        ProfileFile(context_.ProfilePath()).WriteValue(section, key, value);
    }

    void StartBot(const BotTimings& timings = {}) {
        bot_ = std::make_unique<BotRuntime>(context_, random_, BotPorts{0, 0});
        bot_->SetTimings(timings);
        QObject::connect(bot_.get(), &BotRuntime::LineReceived, [this](const std::string& l) { log_.push_back(l); });
        QObject::connect(bot_.get(), &BotRuntime::ErrorOccurred,
                         [this](const std::string& e) { errors_.push_back(e); });
        ASSERT_TRUE(bot_->OnlineButtonClick());
    }

    // Index of the first line of the bot's log from `from` on that holds
    // `piece`; -1 when none came within ms.
    int Logged(std::string_view piece, int ms = 15000, std::size_t from = 0) {
        int found = -1;
        AwaitCondition(
            [&] {
                for (std::size_t i = from; i < log_.size(); ++i)
                    if (log_[i].find(piece) != std::string::npos) return (found = static_cast<int>(i)) >= 0;
                return false;
            },
            ms);
        return found;
    }

    bool LoggedWelcome() const {
        return std::any_of(log_.begin(), log_.end(),
                           [](const std::string& l) { return l.find(" 001 ") != std::string::npos; });
    }

    // The first error that satisfies pred within ms, or "" when none came.
    std::string AwaitError(const std::function<bool(const std::string&)>& pred, int ms = 15000) {
        std::string found;
        AwaitCondition(
            [&] {
                for (const auto& error : errors_)
                    if (pred(error)) return !(found = error).empty();
                return false;
            },
            ms);
        return found;
    }

    std::vector<std::string> ErrorsHolding(const std::string& piece) const {
        std::vector<std::string> found;
        for (const auto& error : errors_)
            if (error.find(piece) != std::string::npos) found.push_back(error);
        return found;
    }

    std::string AllErrors() const {
        std::string all;
        for (const auto& error : errors_) all += "  " + error + "\n";
        return all.empty() ? "  (none)\n" : all;
    }

    std::unique_ptr<IrcTestClient> Connect(quint16 port, const std::string& nick) {
        auto client = std::make_unique<IrcTestClient>();
        EXPECT_TRUE(client->Connect(port, nick)) << nick << " could not register";
        return client;
    }

    // Whether the server knows a user by the bot's nick, as another user
    // sees it.
    bool BotIsOnServer(IrcTestClient& observer, const std::string& observerNick) {
        const auto mark = observer.Mark();
        observer.Send("ISON " + kNick);
        const int reply = observer.WaitForText(" 303 " + observerNick + " ", 10000, mark);
        EXPECT_GE(reply, 0) << "no ISON reply";
        return reply >= 0 && observer.Lines()[reply].find(kNick) != std::string::npos;
    }

    // How many lines the bot answers `question` with: one per category the
    // message touches, which does not depend on the random picks.
    int AnswerLines(const std::string& question) {
        NoPhoto photo;
        Random random;
        return ReplyLineCount(BuildReply(question, ProfileFile(context_.ProfilePath()), random, photo));
    }

    QTemporaryDir dir_;
    ProfileContext context_;
    Random random_;
    test::TestCertificate certificate_;
    std::unique_ptr<BotRuntime> bot_;
    std::vector<std::string> log_;
    std::vector<std::string> errors_;
};

// --- TLS on ngircd -------------------------------------------------------

class NgircdTlsTest : public SecureNetworkTest {
protected:
    void SetUp() override {
        for (const char* binary : {test::kNgircdBinary, test::kOpensslBinary})
            if (!QFile::exists(binary)) GTEST_SKIP() << binary << " is not installed";
        ASSERT_NO_FATAL_FAILURE(SetUpBot());
        server_ = std::make_unique<test::TlsNgircd>(dir_.path(), certificate_);
        std::string why;
        ASSERT_TRUE(server_->Start(&why)) << why;
        Set("IRC", "Port", "+" + std::to_string(server_->TlsPort()));
    }

    void TearDown() override {
        SecureNetworkTest::TearDown();
        if (HasFailure() && server_) std::cerr << server_->Output() << "\n" << "bot errors:\n" << AllErrors();
        server_.reset();
    }

    // After a refused certificate: the bot never registered, by its own
    // log and as the server's users see it.
    void ExpectBotNeverRegistered() {
        auto observer = Connect(server_->PlainPort(), "observer");
        EXPECT_FALSE(BotIsOnServer(*observer, "observer")) << "the bot registered despite the refused certificate";
        EXPECT_FALSE(LoggedWelcome()) << "the bot was welcomed despite the refused certificate";
        EXPECT_EQ(server_->Output().find("User \"" + kNick + "!"), std::string::npos) << server_->Output();
    }

    std::unique_ptr<test::TlsNgircd> server_;
};

// Pinned in another spelling than the bot reports it: case and colons do
// not matter. Over TLS the bot behaves as over TCP.
TEST_F(NgircdTlsTest, WithThePinnedFingerprintTheBotSetsUpItsChannelAndAnswers) {
    Set("IRC", "TLSFingerprint", BareLowerHex(certificate_.fingerprint));
    ASSERT_NO_FATAL_FAILURE(StartBot());
    ASSERT_GE(Logged(" 001 " + kNick + " "), 0) << "the bot was not welcomed";
    ASSERT_GE(Logged(" 366 " + kNick + " " + kChannel + " "), 0) << "no JOIN of the command channel";

    const std::string question = "hallo wie alt bist du?";
    const int expected = AnswerLines(question);
    ASSERT_GE(expected, 1);
    auto partner = Connect(server_->PlainPort(), "partner");
    ASSERT_FALSE(HasFailure());
    partner->Send("PRIVMSG " + kNick + " :" + question);
    const std::string answer = ":" + kNick + "!";
    const auto answers = [&] {
        std::size_t count = 0;
        for (const auto& line : partner->Lines())
            count += StartsWith(line, answer) && line.find(" PRIVMSG partner :") != std::string::npos;
        return count;
    };
    EXPECT_TRUE(AwaitCondition([&] { return answers() >= static_cast<std::size_t>(expected); }, 30000))
        << answers() << " of " << expected << " answer lines";
    EXPECT_TRUE(bot_->IsConnected());
    EXPECT_TRUE(ErrorsHolding("TLS").empty()) << AllErrors();
}

// A pin that does not match ends the attempt before the bot sends anything,
// and the message names the server's real fingerprint.
TEST_F(NgircdTlsTest, AWrongFingerprintEndsTheAttemptAndNamesTheServersFingerprint) {
    Set("IRC", "TLSFingerprint", std::string(64, '0'));
    ASSERT_NO_FATAL_FAILURE(StartBot());
    const std::string expected = kTlsErrorPrefix +
                                 "Das Zertifikat passt nicht zum Fingerabdruck in TLSFingerprint" + kFingerprintLead +
                                 certificate_.fingerprint;
    const std::string error = AwaitError([&](const std::string& e) { return StartsWith(e, kTlsErrorPrefix); });
    ASSERT_FALSE(error.empty()) << "no TLS error; errors:\n" << AllErrors();
    EXPECT_EQ(error, expected);
    // Time for anything the bot might still send to arrive.
    AwaitCondition([] { return false; }, 2000);
    ExpectBotNeverRegistered();
}

// --- SASL on InspIRCd with atheme-services -------------------------------

const std::string kAccount = "tovikkonto";
const std::string kPassword = "geheim-4711";

class SaslTest : public SecureNetworkTest {
protected:
    void SetUp() override {
        for (const char* binary : {test::kInspircdBinary, test::kAthemeBinary, test::kOpensslBinary})
            if (!QFile::exists(binary)) GTEST_SKIP() << binary << " is not installed";
        ASSERT_NO_FATAL_FAILURE(SetUpBot());
        network_ = std::make_unique<test::ServicesNetwork>(dir_.path(), certificate_);
        if (!stsDuration_.empty()) network_->OfferSts(stsDuration_);
        std::string why;
        ASSERT_TRUE(network_->Start(&why)) << why;
        ASSERT_TRUE(network_->RegisterAccount(kAccount, kPassword, &why)) << why;
        Set("IRC", "SASLAccount", kAccount);
    }

    void TearDown() override {
        SecureNetworkTest::TearDown();
        if (HasFailure() && network_) std::cerr << network_->Output() << "\n" << "bot errors:\n" << AllErrors();
        network_.reset();
    }

    // The lines of the server's WHOIS of the bot, as another user sees them.
    std::vector<std::string> WhoisOfBot() {
        auto observer = Connect(network_->PlainPort(), "observer");
        if (HasFailure()) return {};
        observer->Send("WHOIS " + kNick);
        const int end = observer->WaitForText(" 318 observer " + kNick + " ");
        EXPECT_GE(end, 0) << "no end of WHOIS";
        return observer->Lines();
    }

    // The account the server shows for the bot in WHOIS; "" for none.
    std::string AccountOfBot() {
        const std::string lead = " 330 observer " + kNick + " ";
        for (const auto& line : WhoisOfBot()) {
            const auto at = line.find(lead);
            if (at == std::string::npos) continue;
            EXPECT_NE(line.find(":is logged in as"), std::string::npos) << line;
            const std::string rest = line.substr(at + lead.size());
            return rest.substr(0, rest.find(' '));
        }
        return {};
    }

    // Welcomed and in its command channel.
    void ExpectRegisteredAndJoined() {
        ASSERT_GE(Logged(" 001 " + kNick + " "), 0) << "the bot was not welcomed";
        ASSERT_GE(Logged(" 366 " + kNick + " " + kChannel + " "), 0) << "no JOIN of the command channel";
    }

    std::string stsDuration_;  // set before SetUp: the network offers STS
    std::unique_ptr<test::ServicesNetwork> network_;
};

TEST_F(SaslTest, OverTlsTheBotLogsInToItsAccountBeforeRegistering) {
    Set("IRC", "Port", "+" + std::to_string(network_->TlsPort()));
    Set("IRC", "TLSFingerprint", certificate_.fingerprint);
    Set("IRC", "SASLPassword", kPassword);
    ASSERT_NO_FATAL_FAILURE(StartBot());
    ASSERT_NO_FATAL_FAILURE(ExpectRegisteredAndJoined());
    const int loggedIn = Logged(" 903 ", 1000);
    EXPECT_GE(loggedIn, 0) << "no 903 from the server";
    if (loggedIn >= 0) {
        EXPECT_LT(loggedIn, Logged(" 001 ", 0)) << "SASL came after the registration";
    }
    EXPECT_EQ(AccountOfBot(), kAccount);
    EXPECT_TRUE(ErrorsHolding("SASL").empty()) << AllErrors();
    EXPECT_TRUE(ErrorsHolding("TLS").empty()) << AllErrors();
}

TEST_F(SaslTest, AWrongPasswordIsReportedAndTheBotRegistersAnyway) {
    Set("IRC", "Port", "+" + std::to_string(network_->TlsPort()));
    Set("IRC", "TLSFingerprint", certificate_.fingerprint);
    Set("IRC", "SASLPassword", kPassword + "-falsch");
    ASSERT_NO_FATAL_FAILURE(StartBot());
    const std::string prefix = "SASL-Anmeldung als " + kAccount + " fehlgeschlagen: ";
    const std::string error = AwaitError([&](const std::string& e) { return StartsWith(e, prefix); });
    ASSERT_FALSE(error.empty()) << "no SASL error; errors:\n" << AllErrors();
    // The text of InspIRCd's 904.
    EXPECT_EQ(error, prefix + "SASL authentication failed");
    ASSERT_NO_FATAL_FAILURE(ExpectRegisteredAndJoined());
    EXPECT_EQ(AccountOfBot(), "");
    EXPECT_EQ(ErrorsHolding("SASL").size(), 1u) << AllErrors();
}

// --- IRCv3 on InspIRCd with atheme-services ------------------------------

// Over plain TCP to this machine, as to a bouncer beside the bot: the
// password may go with PLAIN. The answer takes seconds to type (CharTime
// 500 ms), and a partner's client that understands message tags sees the
// bot typing from the start, every few seconds. The pace is quick here: at
// the real one the registration's lines still weigh on the queue when the
// question comes, and the first notice gives way to the report.
TEST_F(SaslTest, OnAPlainPortHereTheBotTakesItsCapabilitiesLogsInAndIsSeenTyping) {
    Set("IRC", "Port", std::to_string(network_->PlainPort()));
    Set("IRC", "SASLPassword", kPassword);
    Set("General", "CharTime", "500");
    BotTimings timings;
    timings.pace = SendPace{50, std::chrono::milliseconds(100)};
    ASSERT_NO_FATAL_FAILURE(StartBot(timings));
    ASSERT_NO_FATAL_FAILURE(ExpectRegisteredAndJoined());
    // Addressed to the nick the bot registers with.
    const int ack = Logged(" CAP " + kNick + " ACK :", 0);
    ASSERT_GE(ack, 0) << "no CAP ACK from the server";
    const std::string& acked = log_[ack];
    EXPECT_EQ(acked.substr(acked.find(" ACK :") + 6), "multi-prefix message-tags server-time cap-notify sasl");
    const int loggedIn = Logged(" 903 ", 0);
    EXPECT_GE(loggedIn, 0) << "no 903 from the server";
    EXPECT_LT(loggedIn, Logged(" 001 ", 0)) << "SASL came after the registration";

    auto partner = std::make_unique<IrcTestClient>();
    ASSERT_TRUE(partner->Connect(network_->PlainPort(), "partner", "message-tags"));
    const auto mark = partner->Mark();
    const qint64 asked = partner->NowMs();
    partner->Send("PRIVMSG " + kNick + " :wie alt bist du?");
    const int answer = partner->WaitFor(
        [](const std::string& l) {
            return StartsWith(l, ":" + kNick + "!") && l.find(" PRIVMSG partner :") != std::string::npos;
        },
        40000, mark);
    ASSERT_GE(answer, 0) << "no answer";
    std::vector<qint64> typing;
    for (std::size_t i = mark; i < static_cast<std::size_t>(answer); ++i) {
        const std::string& line = partner->Lines()[i];
        if (line.find(" TAGMSG ") == std::string::npos) continue;
        EXPECT_TRUE(StartsWith(line, "@+typing=active :" + kNick + "!")) << line;
        // InspIRCd passes the target on as a trailing parameter.
        EXPECT_TRUE(EndsWith(line, " TAGMSG partner") || EndsWith(line, " TAGMSG :partner")) << line;
        typing.push_back(partner->ArrivalMs(i));
    }
    // The shortest answer takes 6 s to type.
    ASSERT_GE(typing.size(), 2u) << "typing notices before the answer";
    EXPECT_LT(typing[0] - asked, 2000) << "the first notice came late";
    for (std::size_t i = 1; i < typing.size(); ++i) EXPECT_GE(typing[i] - typing[i - 1], 3000) << "notice " << i;
    EXPECT_TRUE(ErrorsHolding("SASL").empty()) << AllErrors();
}

// The fingerprint of a certificate made here is added to the account with
// NickServ; the bot presents the certificate and logs in without password.
TEST_F(SaslTest, WithACertificateNickServKnowsTheBotLogsInWithExternal) {
    const QString clientDir = dir_.path() + "/client";
    ASSERT_TRUE(QDir().mkpath(clientDir));
    std::string why;
    const auto client = test::MakeTestCertificate(clientDir, &why);
    ASSERT_TRUE(client) << why;
    const std::string pem = clientDir.toStdString() + "/client.pem";
    test::WriteFileBytes(pem, test::ReadFileBytes(client->certFile.toStdString()) +
                                  test::ReadFileBytes(client->keyFile.toStdString()));
    ASSERT_TRUE(network_->AddCertificate(kAccount, kPassword, BareLowerHex(client->fingerprint), &why)) << why;

    Set("IRC", "Port", "+" + std::to_string(network_->TlsPort()));
    Set("IRC", "TLSFingerprint", certificate_.fingerprint);
    Set("IRC", "TLSClientCert", pem);
    ASSERT_NO_FATAL_FAILURE(StartBot());
    ASSERT_NO_FATAL_FAILURE(ExpectRegisteredAndJoined());
    EXPECT_GE(Logged(" 903 ", 0), 0) << "no 903 from the server";
    EXPECT_EQ(AccountOfBot(), kAccount);
    EXPECT_TRUE(errors_.empty()) << AllErrors();
}

class StsNetworkTest : public SaslTest {
protected:
    void SetUp() override {
        stsDuration_ = "5m";
        SaslTest::SetUp();
    }
};

// Configured for the plain port, the bot leaves at the plain LS, registers
// over TLS on the port the policy names (the pin vouches for the test's
// certificate), and keeps the policy the TLS LS announces. InspIRCd
// announces it only to a client that named the host in its TLS handshake,
// which is why the bot goes to "localhost" here: an address is never named.
TEST_F(StsNetworkTest, APlainPortWithAPolicySendsTheBotToTlsAndThePolicyIsKept) {
    Set("IRC", "Server", "localhost");
    Set("IRC", "Port", std::to_string(network_->PlainPort()));
    Set("IRC", "TLSFingerprint", certificate_.fingerprint);
    Set("IRC", "SASLPassword", kPassword);
    ASSERT_NO_FATAL_FAILURE(StartBot());
    std::vector<quint16> secured;
    QObject::connect(bot_.get(), &BotRuntime::SecuredBySts, [&](quint16 port) { secured.push_back(port); });
    const std::string tlsPort = std::to_string(network_->TlsPort());
    ASSERT_NO_FATAL_FAILURE(ExpectRegisteredAndJoined());
    const int offered = Logged("sts=port=" + tlsPort, 0);
    const int announced = Logged("sts=duration=300", 0);
    EXPECT_GE(offered, 0) << "the plain port offered no STS";
    EXPECT_GT(announced, offered) << "no policy from the TLS port after the plain one";
    EXPECT_LT(announced, Logged(" 001 ", 0));
    EXPECT_GT(Logged(" 903 ", 0), announced) << "no login over TLS";
    EXPECT_GE(Logged(":*** You are connected to localhost using TLS", 0), 0) << "the server sees no TLS";
    EXPECT_EQ(secured, std::vector<quint16>{network_->TlsPort()});

    const std::string policies = test::ReadFileBytes(StsPolicies::FileIn(context_.ProfilesDirectory()));
    const std::string lead = "localhost " + tlsPort + " ";
    ASSERT_TRUE(StartsWith(policies, lead)) << policies;
    const long long expiry = std::stoll(policies.substr(lead.size()));
    EXPECT_NEAR(static_cast<double>(expiry), static_cast<double>(std::time(nullptr) + 300), 30.0) << policies;

    // The secure session ends: the policy holds for its duration from now,
    // however long ago it was heard (the file is made to say so).
    const std::string file = StsPolicies::FileIn(context_.ProfilesDirectory());
    test::WriteFileBytes(file, lead + std::to_string(std::time(nullptr) + 5) + "\n");
    bot_->OfflineButtonClick();
    const std::string renewed = test::ReadFileBytes(file);
    ASSERT_TRUE(StartsWith(renewed, lead)) << renewed;
    EXPECT_NEAR(static_cast<double>(std::stoll(renewed.substr(lead.size()))),
                static_cast<double>(std::time(nullptr) + 300), 30.0) << renewed;
    EXPECT_TRUE(errors_.empty()) << AllErrors();
}

}  // namespace
}  // namespace tovik
