// The runtime over TLS and with an account login, against a scripted server
// on loopback: what the bot sends, and does not send, when the certificate is
// accepted or refused and when the server logs it in or does not.

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QMessageAuthenticationCode>
#include <QPasswordDigestor>
#include <QTemporaryDir>
#include <ctime>
#include <memory>

#include "FakeIrcServer.h"
#include "TestSupport.h"
#include "bot/BotRuntime.h"
#include "bot/login/Sts.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"

namespace tovik {
namespace {

using test::AwaitCondition;
using test::Escaped;
using test::FakeIrcServer;
using Texts = std::vector<std::string>;

const std::string kGrey = "\x03" "14";

// One certificate for the whole suite: made once, it keeps the tests quick.
const test::TestCertificate& Certificate() {
    static QTemporaryDir dir;
    static const test::TestCertificate certificate =
        test::MakeTestCertificate(dir.path(), nullptr).value_or(test::TestCertificate{});
    return certificate;
}

// Lines as they go on the wire, each ending in CR LF.
std::string Wire(std::string_view lines) {
    std::string out;
    for (const char c : lines) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string PinOf(const test::TestCertificate& certificate) {
    std::string pin;
    for (char c : certificate.fingerprint)
        if (c != ':') pin += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return pin;
}

// The server side of SCRAM-SHA-256 with the account of RFC 7677's test
// vector ("user", "pencil", its salt and rounds), for any client nonce.
class ScramServer {
public:
    static constexpr std::string_view kServerNonce = "%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0";

    // The reply to "n,,n=user,r=<nonce>".
    std::string First(const std::string& clientFirst) {
        clientFirstBare_ = clientFirst.substr(3);
        serverFirst_ = "r=" + clientFirst.substr(clientFirst.find(",r=") + 3) + std::string(kServerNonce) +
                       ",s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096";
        return serverFirst_;
    }
    // The proof a client that knows the password sends with this final
    // message (everything before ",p=").
    std::string ExpectedProof(const std::string& finalWithoutProof) const {
        const QByteArray clientKey = Hmac(Salted(), "Client Key");
        const QByteArray stored = QCryptographicHash::hash(clientKey, QCryptographicHash::Sha256);
        QByteArray proof = Hmac(stored, AuthMessage(finalWithoutProof));
        for (int i = 0; i < proof.size(); ++i) proof[i] = static_cast<char>(proof[i] ^ clientKey[i]);
        return proof.toBase64().toStdString();
    }
    std::string Signature(const std::string& finalWithoutProof) const {
        return Hmac(Hmac(Salted(), "Server Key"), AuthMessage(finalWithoutProof)).toBase64().toStdString();
    }

private:
    static QByteArray Hmac(const QByteArray& key, const QByteArray& text) {
        return QMessageAuthenticationCode::hash(text, key, QCryptographicHash::Sha256);
    }
    static QByteArray Salted() {
        return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, "pencil",
                                                  QByteArray::fromBase64("W22ZaJ0SNY7soEsUEjb6gQ=="), 4096, 32);
    }
    QByteArray AuthMessage(const std::string& finalWithoutProof) const {
        return QByteArray::fromStdString(clientFirstBare_ + "," + serverFirst_ + "," + finalWithoutProof);
    }
    std::string clientFirstBare_;
    std::string serverFirst_;
};

std::string Base64(const std::string& text) { return QByteArray::fromStdString(text).toBase64().toStdString(); }
std::string FromBase64(const std::string& text) {
    return QByteArray::fromBase64(QByteArray::fromStdString(text)).toStdString();
}

class SecureConnectionTest : public ::testing::Test {
protected:
    QCoreApplication& app_ = test::EnsureApp();

    void SetUp() override {
        ASSERT_FALSE(Certificate().fingerprint.empty()) << "openssl could not make a certificate";
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkpath("PROFILES"));
        context_ = ProfileContext(dir_.path().toStdString(), "test");
    }

    // tls: a server that speaks TLS on a "+" port; otherwise plain TCP.
    void StartBot(bool tls, BotTimings timings = {}) {
        server_ = tls ? std::make_unique<FakeIrcServer>(Certificate()) : std::make_unique<FakeIrcServer>();
        Set("IRC", "Server", "127.0.0.1");
        Set("IRC", "Port", (tls ? "+" : "") + std::to_string(server_->Port()));
        Set("General", "CharTime", "1");
        bot_ = std::make_unique<BotRuntime>(context_, random_, BotPorts{0, 0});
        timings.pace = SendPace{100000, std::chrono::milliseconds(1)};
        bot_->SetTimings(timings);
        QObject::connect(bot_.get(), &BotRuntime::LineReceived, [this](const std::string& l) { log_.push_back(l); });
        QObject::connect(bot_.get(), &BotRuntime::ErrorOccurred, [this](const std::string& e) { errors_.push_back(e); });
        QObject::connect(bot_.get(), &BotRuntime::LoggedIn, [this](const std::string& a) { accounts_.push_back(a); });
        QObject::connect(bot_.get(), &BotRuntime::StateChanged,
                         [this](BotState state, qint64) { states_.push_back(state); });
        ASSERT_TRUE(bot_->OnlineButtonClick());
    }

    void Set(std::string_view section, std::string_view key, std::string_view value) {
        ProfileFile(context_.ProfilePath()).WriteValue(section, key, value);
    }

    // The bot welcomed and holding its command channel.
    void EnterService() {
        server_->Send(":srv 001 Tovik-B0T :Welcome\r\n:srv 376 Tovik-B0T :End\r\n"
                      ":srv 353 Tovik-B0T = #Tovik-B0T :@Tovik-B0T\r\n:srv 366 Tovik-B0T #Tovik-B0T :End\r\n");
        ASSERT_GE(server_->WaitForPrefix("TOPIC #Tovik-B0T :"), 0);
    }

    QTemporaryDir dir_;
    ProfileContext context_;
    Random random_{[] { return 4242u; }};
    std::unique_ptr<FakeIrcServer> server_;
    std::unique_ptr<BotRuntime> bot_;
    Texts log_;
    Texts errors_;
    Texts accounts_;
    std::vector<BotState> states_;
};

// ---- TLS ----------------------------------------------------------------------

// A pinned self-signed certificate is taken, however the fingerprint is
// written, and the bot then works as over TCP: registration, answers, and
// the photo offer naming the connection's own address.
TEST_F(SecureConnectionTest, APinnedCertificateIsTakenAndTheBotWorksAsOverTcp) {
    for (const std::string& pin : {PinOf(Certificate()), Certificate().fingerprint,
                                   " " + Certificate().fingerprint.substr(0, 30) + " " +
                                       PinOf(Certificate()).substr(20) + " "}) {
        SCOPED_TRACE(pin);
        log_.clear();
        errors_.clear();
        const std::string picture = dir_.filePath("bild.jpg").toStdString();
        test::WriteFileBytes(picture, std::string(100, 'p'));
        Set("PersonData", "Picture", picture);
        Set("IRC", "TLSFingerprint", pin);
        StartBot(true);
        ASSERT_TRUE(server_->WaitForLines(2, 10000)) << (errors_.empty() ? "" : errors_[0]);
        EXPECT_EQ(Escaped(server_->Received()), Escaped(Wire("CAP LS 302\nNICK []B0T[]\nUSER Tovik-B0T 0 0 :Tovik B0T\n")));
        ASSERT_NO_FATAL_FAILURE(EnterService());
        const auto mark = server_->Lines().size();
        server_->Send(":anna!a@h PRIVMSG Tovik-B0T :hast du ein foto?\r\n");
        ASSERT_GE(server_->WaitForPrefix("PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: hast du ein foto?", mark), 0);
        const int offer = server_->WaitForPrefix("PRIVMSG anna :\x01" "DCC SEND bild.jpg 2130706433 ", mark, 10000);
        EXPECT_GE(offer, 0);
        EXPECT_TRUE(errors_.empty()) << errors_[0];
        bot_.reset();
    }
}

// A certificate the bot does not accept ends the attempt before a single
// byte of IRC goes out; the text names the reason and the fingerprint that
// was seen, once, however often the bot tries again.
TEST_F(SecureConnectionTest, ARefusedCertificateSendsNothingAndIsReportedOnce) {
    struct Case {
        std::string pin;
        std::string reason;  // empty: the system store's own reason
    };
    const std::vector<Case> cases = {
        {"", ""},
        {std::string(64, '0'), "Das Zertifikat passt nicht zum Fingerabdruck in TLSFingerprint"},
        {"ab:cd", "TLSFingerprint ist kein SHA-256-Fingerabdruck (64 Hexadezimalziffern)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pin);
        errors_.clear();
        states_.clear();
        Set("IRC", "TLSFingerprint", c.pin);
        BotTimings timings;
        timings.reconnectScale = 0.005;  // 15 s becomes 75 ms
        StartBot(true, timings);
        // Three attempts, each refused.
        ASSERT_TRUE(AwaitCondition(
            [&] { return std::count(states_.begin(), states_.end(), BotState::Waiting) >= 3; }, 15000));
        ASSERT_EQ(errors_.size(), 1u);
        const std::string suffix = ". Fingerabdruck des Servers (SHA-256): " + Certificate().fingerprint;
        const std::string& text = errors_[0];
        ASSERT_GT(text.size(), suffix.size());
        EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix) << text;
        if (c.reason.empty()) {
            EXPECT_EQ(text.rfind("TLS-Fehler: ", 0), 0u) << text;
            EXPECT_GT(text.size(), std::string("TLS-Fehler: ").size() + suffix.size()) << "no reason named";
        } else {
            EXPECT_EQ(text, "TLS-Fehler: " + c.reason + suffix);
        }
        EXPECT_EQ(server_->Connections(), 0);  // no handshake ever completed
        EXPECT_EQ(server_->Received(), "");
        EXPECT_FALSE(bot_->IsConnected());
        bot_.reset();
    }
}

// What a pin accepted belongs to that connection alone: once the pin is
// gone from the profile, the same self-signed certificate is refused, and
// no registration (nor any password) reaches that server again.
TEST_F(SecureConnectionTest, APinRemovedBetweenTwoConnectionsNoLongerVouchesForTheCertificate) {
    Set("IRC", "TLSFingerprint", PinOf(Certificate()));
    StartBot(true);
    ASSERT_TRUE(server_->WaitForLines(2, 10000)) << (errors_.empty() ? "" : errors_[0]);
    bot_->OfflineButtonClick();
    const std::size_t received = server_->Received().size();
    Set("IRC", "TLSFingerprint", "");
    ASSERT_TRUE(bot_->OnlineButtonClick());
    ASSERT_TRUE(AwaitCondition([&] { return !errors_.empty(); }, 10000));
    EXPECT_EQ(errors_[0].rfind("TLS-Fehler: ", 0), 0u) << errors_[0];
    EXPECT_EQ(server_->Received().size(), received);
    EXPECT_EQ(server_->Connections(), 1);
}

// A broken record in the middle of a session leaves nothing to talk over:
// the bot says why, ends the connection and comes back by itself.
TEST_F(SecureConnectionTest, ATlsFailureInTheMiddleOfASessionEndsTheConnection) {
    Set("IRC", "TLSFingerprint", PinOf(Certificate()));
    BotTimings timings;
    timings.reconnectScale = 0.005;
    StartBot(true, timings);
    ASSERT_TRUE(server_->WaitForLines(2, 10000)) << (errors_.empty() ? "" : errors_[0]);
    ASSERT_NO_FATAL_FAILURE(EnterService());
    server_->SendBeneathTls("PING :not encrypted\r\n");
    ASSERT_TRUE(AwaitCondition([&] { return server_->Connections() == 2; }, 10000));
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].rfind("TLS-Fehler: ", 0), 0u) << errors_[0];
    EXPECT_NE(std::find(states_.begin(), states_.end(), BotState::Waiting), states_.end());
}

// ---- today's IRC ---------------------------------------------------------------

// Where the server relays client tags, the partner sees the persona typing
// before each answer; where its CLIENTTAGDENY forbids it, nothing is sent.
// A message a bouncer plays back from long ago is reported, not answered.
TEST_F(SecureConnectionTest, ThePersonaIsSeenTypingAndOldMessagesAreNotAnswered) {
    for (const std::string isupport : {"CHANTYPES=#", "CLIENTTAGDENY=*,-foo"}) {
        SCOPED_TRACE(isupport);
        const bool relayed = isupport == "CHANTYPES=#";
        StartBot(false);
        Set("General", "CharTime", "150");
        ASSERT_TRUE(server_->WaitForLines(3));
        server_->Send(":srv CAP * LS :message-tags server-time\r\n");
        ASSERT_GE(server_->WaitForLine("CAP REQ :message-tags server-time"), 0);
        server_->Send(":srv CAP * ACK :message-tags server-time\r\n");
        ASSERT_GE(server_->WaitForLine("CAP END"), 0);
        server_->Send(":srv 005 Tovik-B0T " + isupport + " :are supported\r\n");
        ASSERT_NO_FATAL_FAILURE(EnterService());
        std::size_t mark = server_->Lines().size();
        server_->Send(":anna!a@h PRIVMSG Tovik-B0T :hi\r\n");
        const int answer = server_->WaitForPrefix("PRIVMSG anna :", mark);
        ASSERT_GE(answer, 0);
        const Texts texts = server_->Texts(mark);
        const auto notice = std::find(texts.begin(), texts.end(), "@+typing=active TAGMSG anna");
        EXPECT_EQ(notice != texts.end(), relayed);
        if (relayed) {
            EXPECT_LT(notice - texts.begin(), answer - static_cast<int>(mark));
        }

        mark = server_->Lines().size();
        server_->Send("@time=2020-01-01T00:00:00.000Z :bert!b@h PRIVMSG Tovik-B0T :hallo\r\n"
                      ":carl!c@h PRIVMSG Tovik-B0T :hi\r\n");
        ASSERT_GE(server_->WaitForPrefix("PRIVMSG carl :", mark), 0);
        const Texts later = server_->Texts(mark);
        EXPECT_NE(std::find(later.begin(), later.end(), "PRIVMSG #Tovik-B0T :" + kGrey + "<-- bert: hallo"), later.end());
        for (const std::string& line : later) EXPECT_NE(line.rfind("PRIVMSG bert", 0), 0u) << line;
        bot_.reset();
    }
}

// A plain server whose policy names a TLS port sends the bot there at once;
// over TLS the policy is remembered. When the secure session ends (ERROR
// right after the welcome) the policy counts from then, and the bot is back
// on TLS within a few seconds, long before a policy of 10 s could lapse;
// the next "Online" goes to TLS straight away.
TEST_F(SecureConnectionTest, AStsPolicyTakesThePlainConnectionToTlsAndIsRemembered) {
    FakeIrcServer plain;
    server_ = std::make_unique<FakeIrcServer>(Certificate());
    Set("IRC", "Server", "127.0.0.1");
    Set("IRC", "Port", std::to_string(plain.Port()));
    Set("IRC", "TLSFingerprint", PinOf(Certificate()));
    bot_ = std::make_unique<BotRuntime>(context_, random_, BotPorts{0, 0});
    std::vector<quint16> secured;
    QObject::connect(bot_.get(), &BotRuntime::SecuredBySts, [&](quint16 port) { secured.push_back(port); });
    QObject::connect(bot_.get(), &BotRuntime::ErrorOccurred, [this](const std::string& e) { errors_.push_back(e); });
    ASSERT_TRUE(bot_->OnlineButtonClick());
    ASSERT_TRUE(plain.WaitForLines(3));
    const std::string port = std::to_string(server_->Port());
    plain.Send(":srv CAP * LS :sts=port=" + port + ",duration=10 multi-prefix\r\n");
    ASSERT_TRUE(server_->WaitForLines(3, 10000)) << (errors_.empty() ? "" : errors_[0]);
    EXPECT_EQ(Escaped(server_->Received()), Escaped(Wire("CAP LS 302\nNICK []B0T[]\nUSER Tovik-B0T 0 0 :Tovik B0T\n")));
    EXPECT_EQ(plain.Texts(), (Texts{"CAP LS 302", "NICK []B0T[]", "USER Tovik-B0T 0 0 :Tovik B0T"}));
    EXPECT_EQ(secured, std::vector<quint16>{server_->Port()});
    server_->Send(":srv CAP * LS :sts=duration=10\r\n");
    ASSERT_GE(server_->WaitForLine("CAP END"), 0);
    const std::string file = StsPolicies::FileIn(context_.ProfilesDirectory()), lead = "127.0.0.1 " + port + " ";
    EXPECT_EQ(test::ReadFileBytes(file).rfind(lead, 0), 0u) << test::ReadFileBytes(file);
    // As if heard long ago: only the renewal at the end can make it last.
    test::WriteFileBytes(file, lead + std::to_string(std::time(nullptr) + 2) + "\n");
    server_->Send(":srv 001 Tovik-B0T :Welcome\r\nERROR :Closing link: (Tovik@127.0.0.1) [bye]\r\n");
    server_->CloseClient();  // the back-off series would wait 12 s or more
    ASSERT_TRUE(AwaitCondition([&] { return server_->Connections() == 2; }, 5000)) << "not back within seconds";
    const std::string renewed = test::ReadFileBytes(file);
    ASSERT_EQ(renewed.rfind(lead, 0), 0u) << renewed;
    EXPECT_GE(std::stoll(renewed.substr(lead.size())), static_cast<long long>(std::time(nullptr)) + 5) << renewed;

    bot_->OfflineButtonClick();
    ASSERT_TRUE(bot_->OnlineButtonClick());
    ASSERT_TRUE(AwaitCondition([&] { return server_->Connections() == 3; }, 10000));
    EXPECT_EQ(plain.Connections(), 1);
    EXPECT_TRUE(errors_.empty()) << errors_[0];
}

// A policy port that stops answering: the bot keeps knocking there, also
// once the policy has run out meanwhile; only "Online" starts afresh.
TEST_F(SecureConnectionTest, APolicyPortThatNoLongerAnswersNeverLeadsBackToPlainTcp) {
    const std::int64_t expiry = std::time(nullptr) + 1;
    test::WriteFileBytes(StsPolicies::FileIn(context_.ProfilesDirectory()),
                         "127.0.0.1 " + std::to_string(test::FreeLoopbackPort()) + " " + std::to_string(expiry) + "\n");
    BotTimings timings;
    timings.reconnectScale = 0.005;  // 75 ms, 150 ms, ...
    StartBot(false, timings);        // the plain server the profile names
    ASSERT_TRUE(AwaitCondition(
        [&] { return std::time(nullptr) > expiry && std::count(states_.begin(), states_.end(), BotState::Waiting) >= 4; },
        10000));
    EXPECT_EQ(server_->Connections(), 0);
}

// A "+" port on a server that speaks plain TCP never gets past the
// handshake; the silent link is given up like any other, and nothing of
// the registration leaves the bot in clear text.
TEST_F(SecureConnectionTest, ATlsPortOnAPlainServerLeaksNothing) {
    BotTimings timings;
    timings.silence = std::chrono::milliseconds(300);
    timings.reconnectScale = 100;  // no second attempt within the test
    server_ = std::make_unique<FakeIrcServer>();
    Set("IRC", "Server", "127.0.0.1");
    Set("IRC", "Port", "+" + std::to_string(server_->Port()));
    bot_ = std::make_unique<BotRuntime>(context_, random_, BotPorts{0, 0});
    bot_->SetTimings(timings);
    ASSERT_TRUE(bot_->OnlineButtonClick());
    ASSERT_TRUE(server_->WaitForClient());
    ASSERT_TRUE(AwaitCondition([&] { return bot_->State() == BotState::Waiting; }, 5000));
    EXPECT_EQ(server_->Received().find("NICK"), std::string::npos);
    EXPECT_EQ(server_->Received().find("USER"), std::string::npos);
}

// ---- logging in to an account -----------------------------------------------

// The server's side of the exchange, line by line, and what the bot must
// answer to each (the last step's answer is "CAP END" in every case).
struct LoginCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> steps;  // server sends, bot answers
    std::string error;                                      // empty: logged in
};

std::vector<LoginCase> LoginCases() {
    // "tovik\0tovik\0geheim"
    const std::string plain = "AUTHENTICATE dG92aWsAdG92aWsAZ2VoZWlt\n";
    return {
        {"Success",
         {{":srv CAP * LS * :multi-prefix sasl=EXTERNAL,PLAIN\r\n", ""},
          {":srv CAP * LS :away-notify\r\n", "CAP REQ :multi-prefix sasl\n"},
          {":srv CAP * ACK :multi-prefix sasl\r\n", "AUTHENTICATE PLAIN\n"},
          {"AUTHENTICATE +\r\n", plain},
          {":srv 900 * * tovik :You are now logged in as tovik\r\n:srv 903 * :SASL authentication successful\r\n",
           "CAP END\n"}},
         ""},
        {"WrongPassword",
         {{":srv CAP * LS :sasl\r\n", "CAP REQ :sasl\n"},
          {":srv CAP * ACK :sasl \r\n", "AUTHENTICATE PLAIN\n"},
          {"AUTHENTICATE +\r\n", plain},
          {":srv 904 * :SASL authentication failed\r\n", "CAP END\n"}},
         "SASL-Anmeldung als tovik fehlgeschlagen: SASL authentication failed"},
        {"NoSasl",
         {{":srv CAP * LS :multi-prefix\r\n", "CAP REQ :multi-prefix\n"}, {":srv CAP * ACK :multi-prefix\r\n", "CAP END\n"}},
         "SASL-Anmeldung als tovik fehlgeschlagen: der Server bietet SASL nicht an"},
        {"NoPlain",
         {{":srv CAP * LS :sasl=EXTERNAL\r\n", "CAP END\n"}},
         "SASL-Anmeldung als tovik fehlgeschlagen: der Server nimmt PLAIN nicht an (EXTERNAL)"},
        {"Refused",
         {{":srv CAP * LS :sasl\r\n", "CAP REQ :sasl\n"}, {":srv CAP * NAK :sasl\r\n", "CAP END\n"}},
         "SASL-Anmeldung als tovik fehlgeschlagen: der Server gibt SASL nicht frei"},
        {"NoAnswer",
         {{":srv CAP * LS :sasl\r\n", "CAP REQ :sasl\n"}, {":srv CAP * ACK :sasl\r\n", "AUTHENTICATE PLAIN\n"},
          {"", "CAP END\n"}},
         "SASL-Anmeldung als tovik fehlgeschlagen: keine Antwort des Servers"},
    };
}

TEST_F(SecureConnectionTest, TheLoginEndsWithCapEndWhateverTheServerAnswers) {
    for (const LoginCase& c : LoginCases()) {
        SCOPED_TRACE(c.name);
        errors_.clear();
        accounts_.clear();
        Set("IRC", "TLSFingerprint", PinOf(Certificate()));
        Set("IRC", "SASLAccount", "tovik");
        Set("IRC", "SASLPassword", "geheim");
        Set("IRC", "SASLMechanisms", "PLAIN");  // the other mechanisms have tests of their own
        BotTimings timings;
        timings.login = std::chrono::milliseconds(500);
        StartBot(true, timings);
        // The exchange goes first, then the registration as ever.
        ASSERT_TRUE(server_->WaitForLines(3, 10000)) << (errors_.empty() ? "" : errors_[0]);
        EXPECT_EQ(Escaped(server_->Received()), Escaped(Wire("CAP LS 302\nNICK []B0T[]\nUSER Tovik-B0T 0 0 :Tovik B0T\n")));
        for (const auto& [sent, built] : c.steps) {
            const std::string answer = Wire(built);
            const std::size_t mark = server_->Received().size();
            if (!sent.empty()) server_->Send(sent);
            if (answer.empty()) continue;
            ASSERT_TRUE(AwaitCondition([&] { return server_->Received().size() >= mark + answer.size(); }, 5000))
                << "after " << Escaped(sent);
            EXPECT_EQ(Escaped(server_->Received().substr(mark)), Escaped(answer)) << "after " << Escaped(sent);
        }
        if (c.error.empty()) {
            EXPECT_TRUE(errors_.empty()) << errors_[0];
            EXPECT_EQ(accounts_, Texts{"tovik"});
        } else {
            EXPECT_EQ(errors_, Texts{c.error});
            EXPECT_TRUE(accounts_.empty());
        }
        // Registration completes either way, and nothing more of the
        // exchange follows.
        const std::size_t mark = server_->Received().size();
        ASSERT_NO_FATAL_FAILURE(EnterService());
        EXPECT_EQ(server_->Received().substr(mark).rfind("JOIN #Tovik-B0T\r\n", 0), 0u)
            << Escaped(server_->Received().substr(mark));
        EXPECT_EQ(server_->Received().find("CAP END"), server_->Received().rfind("CAP END"));
        bot_.reset();
    }
}

// Over plain TCP a password in clear goes only to this machine (a bouncer
// beside the bot); elsewhere it stays at home, as the mechanism table
// shows. On loopback the login is the one over TLS.
TEST_F(SecureConnectionTest, PlainTcpCarriesAPasswordOnlyToThisMachine) {
    Set("IRC", "SASLAccount", "tovik");
    Set("IRC", "SASLPassword", "geheim");
    Set("IRC", "SASLMechanisms", "PLAIN");
    StartBot(false);
    ASSERT_TRUE(server_->WaitForLines(3));
    server_->Send(":srv CAP * LS :sasl\r\n");
    ASSERT_GE(server_->WaitForLine("CAP REQ :sasl"), 0);
    server_->Send(":srv CAP * ACK :sasl\r\n");
    EXPECT_GE(server_->WaitForLine("AUTHENTICATE PLAIN"), 0);
    EXPECT_TRUE(errors_.empty()) << errors_[0];
}

// Debian's services know no SCRAM, so the server here plays it with the
// RFC 7677 account; the bot's nonce is fresh, so the proof is worked out
// (and the worker checked against the RFC's own). Without a certificate
// EXTERNAL is passed over, SCRAM goes first over plain TCP to this machine,
// its slow step leaves the link responsive, and a server that cannot prove
// it knows the password is refused.
TEST_F(SecureConnectionTest, ScramLogsInWithAServerThatKnowsThePasswordAndOnlyThen) {
    ScramServer rfc;
    rfc.First("n,,n=user,r=rOprNGfwEbeRWgbNEkqO");
    ASSERT_EQ(rfc.ExpectedProof("c=biws,r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0"),
              "dHzbZapWIk4jUhN+Ute9ytag9zjfMHgsqmmiz7AndVQ=");
    for (const bool honest : {true, false}) {
        SCOPED_TRACE(honest ? "honest server" : "server without the password");
        errors_.clear();
        accounts_.clear();
        Set("IRC", "SASLAccount", "user");
        Set("IRC", "SASLPassword", "pencil");
        StartBot(false);
        ASSERT_TRUE(server_->WaitForLines(3));
        server_->Send(":srv CAP * LS :sasl=EXTERNAL,SCRAM-SHA-256,PLAIN\r\n");
        ASSERT_GE(server_->WaitForLine("CAP REQ :sasl"), 0);
        server_->Send(":srv CAP * ACK :sasl\r\n");
        ASSERT_GE(server_->WaitForLine("AUTHENTICATE SCRAM-SHA-256"), 0);
        server_->Send("AUTHENTICATE +\r\n");
        const std::string lead = "AUTHENTICATE ";
        int at = server_->WaitForPrefix(lead, server_->Texts().size());
        ASSERT_GE(at, 0);
        const std::string clientFirst = FromBase64(server_->Texts()[at].substr(lead.size()));
        ASSERT_EQ(clientFirst.rfind("n,,n=user,r=", 0), 0u) << clientFirst;
        ScramServer scram;
        // The key derivation runs beside the event loop: a PING right behind
        // the challenge is answered before the proof goes out.
        server_->Send(lead + Base64(scram.First(clientFirst)) + "\r\nPING :mitten\r\n");
        const int challenged = at;
        at = server_->WaitForPrefix(lead, at + 1);
        ASSERT_GE(at, 0);
        const int pong = server_->WaitForLine("PONG mitten", challenged + 1);
        ASSERT_GE(pong, 0);
        EXPECT_LT(pong, at);
        const std::string clientFinal = FromBase64(server_->Texts()[at].substr(lead.size()));
        const std::size_t proof = clientFinal.find(",p=");
        ASSERT_NE(proof, std::string::npos) << clientFinal;
        EXPECT_EQ(clientFinal.substr(proof + 3), scram.ExpectedProof(clientFinal.substr(0, proof)));
        const std::string signature = scram.Signature(clientFinal.substr(0, proof));
        server_->Send(lead + Base64("v=" + (honest ? signature : Base64(std::string(32, 'x')))) + "\r\n");
        const std::size_t mark = server_->Texts().size();
        if (honest) {
            ASSERT_GE(server_->WaitForLine("AUTHENTICATE +", mark), 0);
            server_->Send(":srv 900 user user!u@h user :You are now logged in as user\r\n"
                          ":srv 903 user :SASL successful\r\n");
        } else {
            ASSERT_GE(server_->WaitForLine("AUTHENTICATE *", mark), 0);
            server_->Send(":srv 906 user :SASL authentication aborted\r\n");
        }
        ASSERT_GE(server_->WaitForLine("CAP END", mark), 0);
        EXPECT_EQ(server_->Texts(mark).size(), 2u) << Escaped(server_->Received());
        EXPECT_EQ(accounts_, honest ? Texts{"user"} : Texts{});
        const std::string unproved =
            "SASL-Anmeldung als user fehlgeschlagen: der Server hat sich nicht als Kenner des Passworts ausgewiesen";
        EXPECT_EQ(errors_, honest ? Texts{} : Texts{unproved});
        bot_.reset();
    }
}

// With message tags on, a line can carry 8 KB before its prefix. The bot
// reads the message as ever, and the tags reach neither the log nor the
// command channel nor the answer.
TEST_F(SecureConnectionTest, MessageTagsOfLongLinesReachNoReport) {
    StartBot(false);
    ASSERT_TRUE(server_->WaitForLines(3));
    ASSERT_NO_FATAL_FAILURE(EnterService());
    const std::string tags = "@time=2026-12-08T12:00:00.000Z;msgid=abc;+draft/reply=" + std::string(8500, 'x') + " ";
    const std::string line = ":anna!a@h PRIVMSG Tovik-B0T :hallo, wie alt bist du?";
    ASSERT_GT(tags.size() + line.size(), 8600u);
    const auto mark = server_->Lines().size();
    server_->Send(tags + line + "\r\n");
    const int report = server_->WaitForPrefix("PRIVMSG #Tovik-B0T :", mark);
    ASSERT_GE(report, 0);
    EXPECT_EQ(server_->Lines()[report].text, "PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: hallo, wie alt bist du?");
    ASSERT_GE(server_->WaitForPrefix("PRIVMSG anna :", mark), 0);
    EXPECT_EQ(server_->Received().find("draft"), std::string::npos);
    EXPECT_NE(std::find(log_.begin(), log_.end(), line), log_.end());
}

}  // namespace
}  // namespace tovik
