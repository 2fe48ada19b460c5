// The runtime against a fake IRC server on loopback: the exact bytes the bot
// sends, in which order and with which spacing.

#include "bot/BotRuntime.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>

#include "FakeIrcServer.h"
#include "TestSupport.h"
#include "bot/session/Charset.h"
#include "bot/link/OutgoingLine.h"
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
using namespace std::string_literals;
using test::Escaped;
using test::FakeIrcServer;
using test::AwaitCondition;
using Texts = std::vector<std::string>;

const std::string kGrey = "\x03" "14";

class BotRuntimeTest : public ::testing::Test {
protected:
    QCoreApplication& app_ = test::EnsureApp();  // before any socket
    void SetUp() override {
        test::EnsureApp();
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkpath("PROFILES"));
        context_ = ProfileContext(dir_.path().toStdString(), "test");
        Set("IRC", "Server", "127.0.0.1");
        Set("IRC", "Port", std::to_string(server_.Port()));
        Set("General", "CharTime", "20");
        bot_ = std::make_unique<BotRuntime>(context_, random_, BotPorts{0, 0});
        // Loopback at full speed; the pace of a live network has tests of its own.
        BotTimings fast;
        fast.pace = SendPace{100000, std::chrono::milliseconds(1)};
        bot_->SetTimings(fast);
        QObject::connect(bot_.get(), &BotRuntime::LineReceived, [this](const std::string& l) { log_.push_back(l); });
        QObject::connect(bot_.get(), &BotRuntime::ErrorOccurred, [this](const std::string& e) { errors_.push_back(e); });
        QObject::connect(bot_.get(), &BotRuntime::DenyListChanged,
                         [this](const std::vector<std::string>& nicks) { denyLists_.push_back(nicks); });
    }

    void Set(std::string_view section, std::string_view key, std::string_view value) {
        ProfileFile(context_.ProfilePath()).WriteValue(section, key, value);
    }

    // Online, registered (NICK and USER seen), message of the day ended.
    void GoOnline(bool endMotd = true) {
        ASSERT_TRUE(bot_->OnlineButtonClick());
        ASSERT_TRUE(server_.WaitForClient());
        ASSERT_TRUE(server_.WaitForLines(3));  // CAP LS, NICK, USER
        if (!endMotd) return;
        // The bot creates its channel and so is its operator; then it sets
        // the channel's modes and topic.
        server_.Send(":srv 376 Tovik-B0T :End of MOTD\r\n" + Names("#Tovik-B0T") + "PING :online\r\n");
        ASSERT_GE(server_.WaitForLine("PONG online"), 0);
        ASSERT_TRUE(server_.WaitForLines(8));
    }

    // A new connection (the first or a further one), registered; a live one
    // is ended first, as "Online" keeps a live session.
    void ConnectAgain() {
        if (bot_->IsConnected()) bot_->OfflineButtonClick();
        const int connections = server_.Connections();
        const std::size_t mark = Mark();
        ASSERT_TRUE(bot_->OnlineButtonClick());
        ASSERT_TRUE(AwaitCondition([&] { return server_.Connections() == connections + 1; }));
        ASSERT_GE(server_.WaitForLine("USER Tovik-B0T 0 0 :Tovik B0T", mark), 0);
        ASSERT_TRUE(bot_->IsConnected());
    }

    // Sends a PING and waits for its PONG: everything the bot did because of
    // the lines before it is on the wire by then (apart from typed replies).
    void Sync() {
        const std::string token = "sync" + std::to_string(++syncs_);
        server_.Send("PING :" + token + "\r\n");
        ASSERT_GE(server_.WaitForLine("PONG " + token), 0);
    }

    std::size_t Mark() const { return server_.Lines().size(); }

    // The server's NAMES reply that shows the bot as the channel's operator.
    std::string Names(const std::string& channel) const {
        const std::string nick = ProfileFile(context_.ProfilePath()).ReadValue("IRC", "BotNick", "Tovik-B0T");
        return ":srv 353 " + nick + " = " + channel + " :@" + nick + "\r\n:srv 366 " + nick + " " + channel +
               " :End\r\n";
    }

    QTemporaryDir dir_;
    ProfileContext context_;
    Random random_{[] { return 4242u; }};
    FakeIrcServer server_;
    std::unique_ptr<BotRuntime> bot_;
    Texts log_;
    Texts errors_;
    std::vector<Texts> denyLists_;
    int syncs_ = 0;
};

// ---- registration and set-up ------------------------------------------------

TEST_F(BotRuntimeTest, RegistersWithTheDefaultsInOneGo) {
    GoOnline(false);
    EXPECT_EQ(Escaped(server_.Received()), Escaped("CAP LS 302\r\nNICK []B0T[]\r\nUSER Tovik-B0T 0 0 :Tovik B0T\r\n"));
    EXPECT_TRUE(bot_->IsConnected());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(BotRuntimeTest, RegistersWithThePersonasNames) {
    Set("PersonData", "PreName", std::string("Jürgen"_w1252));
    Set("PersonData", "LastName", "Schmidt");
    Set("IRC", "BotNick", "Juergen88");
    GoOnline(false);
    EXPECT_EQ(Escaped(server_.Received()),
              Escaped("CAP LS 302\r\nNICK Juergen88\r\nUSER "s + std::string("Jürgen"_w1252) + " 0 0 :" +
                      std::string("Jürgen"_w1252) + " Schmidt\r\n"));
}

// A taken nick: one repetition of the registration, then other nicks instead
// of a loop; private messages to the nick held are answered, and the
// configured nick is taken back once its holder leaves.
TEST_F(BotRuntimeTest, ANickInUseIsRetriedOnceThenVariedAndTakenBackWhenFree) {
    GoOnline(false);
    for (int round = 1; round <= 3; ++round) {
        server_.Send(":srv 433 * []B0T[] :Nickname is already in use\r\n");
        ASSERT_TRUE(server_.WaitForLines(round == 1 ? 5 : 4 + round));
    }
    EXPECT_EQ(server_.Texts(), (Texts{"CAP LS 302", "NICK []B0T[]", "USER Tovik-B0T 0 0 :Tovik B0T", "NICK []B0T[]",
                                      "USER Tovik-B0T 0 0 :Tovik B0T", "NICK []B0T[]_", "NICK []B0T[2"}));
    Set("General", "CharTime", "0");
    auto mark = Mark();
    server_.Send(":srv 001 []B0T[2 :Willkommen\r\n:srv 376 []B0T[2 :End\r\n"
                 ":anna!a@h PRIVMSG []B0T[2 :hallo\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);

    mark = Mark();
    server_.Send(":[]B0T[]!old@h QUIT :Ping timeout\r\n");
    ASSERT_GE(server_.WaitForLine("NICK []B0T[]", mark), 0);
    server_.Send(":[]B0T[2!u@h NICK :[]B0T[]\r\n:bert!b@h PRIVMSG []b0t[] :hallo\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG bert :", mark), 0);
    server_.Send(":srv 433 []B0T[] x :in use\r\n");  // once registered, no more retries
    Sync();
    for (const std::string& line : server_.Texts(mark))
        EXPECT_TRUE(line.rfind("USER", 0) != 0 && line != "NICK []B0T[]_") << line;
}

TEST_F(BotRuntimeTest, EndOfMotdSetsUpTheCommandChannelAndStopsIdent) {
    ASSERT_TRUE(bot_->OnlineButtonClick());
    ASSERT_TRUE(server_.WaitForClient());
    const quint16 identPort = bot_->IdentPort();
    ASSERT_NE(identPort, 0);
    ASSERT_TRUE(server_.WaitForLines(3));
    server_.Send(":srv 376 Tovik-B0T :End of MOTD\r\n");
    ASSERT_GE(server_.WaitForLine("JOIN #Tovik-B0T"), 0);
    server_.Send(Names("#Tovik-B0T"));
    ASSERT_TRUE(server_.WaitForLines(6));
    EXPECT_EQ(Escaped(server_.Received().substr(server_.Received().find("JOIN"))),
              Escaped("JOIN #Tovik-B0T\r\nMODE #Tovik-B0T +nt \r\nMODE #Tovik-B0T +msi \r\n"
                      "TOPIC #Tovik-B0T :--] Tovik-B0T's Kommando Channel [----] Tovik-B0T (c) 2026 Tovik-Team [--\r\n"));
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, identPort);
    EXPECT_FALSE(probe.waitForConnected(2000));
}

TEST_F(BotRuntimeTest, NoMotdSetsUpTheConfiguredChannel) {
    Set("IRC", "CommandoChannel", "#Geheim");
    Set("IRC", "BotNick", "Anna");
    GoOnline(false);
    server_.Send(":srv 422 Anna :MOTD File is missing\r\n" + Names("#Geheim"));
    ASSERT_TRUE(server_.WaitForLines(7));
    EXPECT_EQ(server_.Texts(3), (Texts{"JOIN #Geheim", "MODE #Geheim +nt ", "MODE #Geheim +msi ",
                                       "TOPIC #Geheim :--] Anna's Kommando Channel [----] Tovik-B0T (c) 2026 "
                                       "Tovik-Team [--"}));
}

// ---- lines, framing, PING ----------------------------------------------------

TEST_F(BotRuntimeTest, AnswersPingAndLogsIt) {
    GoOnline();
    const auto mark = Mark();
    server_.Send("ping :lower\r\nPING :12345\r\n");
    ASSERT_TRUE(server_.WaitForLines(mark + 1));
    EXPECT_EQ(server_.Texts(mark), Texts{"PONG 12345"});
    EXPECT_EQ(Texts(log_.end() - 2, log_.end()), (Texts{"ping :lower", "PING :12345"}));
}

TEST_F(BotRuntimeTest, LinesSplitAcrossWritesAreNeitherLostNorCut) {
    GoOnline();
    const auto logged = log_.size();
    server_.Send(":srv NOTICE Tovik-B0T :first\r\nPI");
    ASSERT_TRUE(AwaitCondition([&] { return log_.size() == logged + 1; }));  // that read is handled
    server_.Send("NG :split\r");
    server_.Send("\n:srv NOTICE Tovik-B0T :bare\n\r\n:srv NOTICE Tovik-B0T :tail");
    ASSERT_GE(server_.WaitForLine("PONG split"), 0);
    server_.Send("\r\n");
    ASSERT_TRUE(AwaitCondition([&] { return log_.size() == logged + 5; }));
    EXPECT_EQ(Texts(log_.begin() + logged, log_.end()),
              (Texts{":srv NOTICE Tovik-B0T :first", "PING :split", ":srv NOTICE Tovik-B0T :bare", "",
                     ":srv NOTICE Tovik-B0T :tail"}));
}

// A private message is answered before the log hears of it, and the lines
// behind it in the same read wait with it: the log still has them in the
// order they came.
TEST_F(BotRuntimeTest, TheLogKeepsTheOrderOfAReadWhoseAnswerWentFirst) {
    GoOnline();
    const auto mark = Mark();
    const auto logged = log_.size();
    const Texts read{":op!o@h PRIVMSG #other :vorher", ":anna!a@h PRIVMSG Tovik-B0T :hi", "PING :mitten",
                     ":op!o@h PRIVMSG #other :nachher"};
    std::string bytes;
    for (const std::string& line : read) bytes += line + "\r\n";
    server_.Send(bytes);
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    ASSERT_TRUE(AwaitCondition([&] { return log_.size() == logged + read.size(); }));
    EXPECT_EQ(Texts(log_.begin() + logged, log_.end()), read);
}

TEST_F(BotRuntimeTest, PingBehindAPrivateMessageIsAnsweredBeforeTheReply) {
    GoOnline();
    const auto mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :hi\r\nPING :behind\r\n");
    const int reply = server_.WaitForPrefix("PRIVMSG anna :", mark);
    ASSERT_GE(reply, 0);
    const int pong = server_.WaitForLine("PONG behind", mark);
    ASSERT_GE(pong, 0);
    EXPECT_LT(pong, reply);
}

// ---- answering -----------------------------------------------------------------

TEST_F(BotRuntimeTest, ReportsAnswersAndReportsEachLineAfterItsTypingTime) {
    GoOnline();
    const auto mark = Mark();
    server_.Send(":anna!a@host PRIVMSG Tovik-B0T :hi, wie alt bist du?\r\n");
    const int last = server_.WaitForPrefix("PRIVMSG anna :", mark + 3);  // the second reply line
    ASSERT_GE(last, 0);
    const auto& lines = server_.Lines();
    ASSERT_EQ(lines.size(), mark + 5);
    EXPECT_EQ(Escaped(lines[mark].text), Escaped("PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: hi, wie alt bist du?"));
    qint64 previous = lines[mark].atMs;
    for (std::size_t k = 0; k < 2; ++k) {
        const std::string& report = lines[mark + 1 + 2 * k].text;
        const std::string& sent = lines[mark + 2 + 2 * k].text;
        const std::string prefix = "PRIVMSG anna :";
        ASSERT_EQ(sent.rfind(prefix, 0), 0u) << sent;
        const std::string line = sent.substr(prefix.size());
        EXPECT_EQ(Escaped(report), Escaped("PRIVMSG #Tovik-B0T :" + kGrey + "--> anna: " + line));
        // Typing time: 20 ms per character, counted from the previous line.
        const qint64 spacing = lines[mark + 1 + 2 * k].atMs - previous;
        EXPECT_GE(spacing, static_cast<qint64>(line.size()) * 20 - 15) << line;
        previous = lines[mark + 2 + 2 * k].atMs;
    }
    // Greeting before age, whatever the detection order.
    const std::string first = lines[mark + 2].text.substr(14);
    EXPECT_NE(std::string("huhu :)|na du :P|hiho|hi :)|hoi ...|moin :D|moinsen :D|tach :P").find(first),
              std::string::npos) << first;
}

TEST_F(BotRuntimeTest, TwoPartnersOfOneReadAreAnsweredSideBySide) {
    GoOnline();
    const auto mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :hi\r\n:ben!b@h PRIVMSG Tovik-B0T :moin\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG ben :", mark), 0);
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    const Texts texts = server_.Texts(mark);
    ASSERT_EQ(texts.size(), 6u);
    // Both answers begin at once; neither waits for the other's reply.
    EXPECT_EQ(texts[0], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: hi");
    EXPECT_EQ(texts[1], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- ben: moin");
    for (const std::string nick : {"anna", "ben"}) {
        const auto sent = std::find_if(texts.begin(), texts.end(),
                                       [&](const std::string& t) { return t.rfind("PRIVMSG " + nick + " :", 0) == 0; });
        ASSERT_NE(sent, texts.end());
        const std::string line = sent->substr(10 + nick.size());
        // Each answer line right after its own report.
        EXPECT_EQ(*(sent - 1), "PRIVMSG #Tovik-B0T :" + kGrey + "--> " + nick + ": " + line);
    }
}

TEST_F(BotRuntimeTest, ALongReplyDoesNotHoldBackAShortOneAndAPartnerWaitsForHisOwn) {
    Set("General", "CharTime", "60");
    GoOnline();
    const auto mark = Mark();
    // Ben's age answer takes far longer to type than Anna's greeting, which
    // arrives a little later; Ben's second question waits for his first.
    server_.Send(":ben!b@h PRIVMSG Tovik-B0T :wie alt bist du\r\n:Ben!b@h PRIVMSG Tovik-B0T :hi\r\n");
    ASSERT_GE(server_.WaitForLine("PRIVMSG #Tovik-B0T :" + kGrey + "<-- ben: wie alt bist du", mark), 0);
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :hi\r\n");
    ASSERT_GE(server_.WaitForLine("PRIVMSG #Tovik-B0T :" + kGrey + "<-- Ben: hi", mark, 10000), 0);
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG Ben :", mark, 10000), 0);
    const Texts texts = server_.Texts(mark);
    ASSERT_EQ(texts.size(), 9u);
    EXPECT_EQ(texts[1], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: hi");
    EXPECT_EQ(texts[2].rfind("PRIVMSG #Tovik-B0T :" + kGrey + "--> anna: ", 0), 0u) << texts[2];
    EXPECT_EQ(texts[3].rfind("PRIVMSG anna :", 0), 0u);
    EXPECT_EQ(texts[4].rfind("PRIVMSG #Tovik-B0T :" + kGrey + "--> ben: ich bin", 0), 0u) << texts[4];
    EXPECT_EQ(texts[5].rfind("PRIVMSG ben :", 0), 0u);
    EXPECT_EQ(texts[6], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- Ben: hi");
    EXPECT_EQ(texts[8].rfind("PRIVMSG Ben :", 0), 0u);
}

TEST_F(BotRuntimeTest, EmptyMessagesAreAnsweredWithAFallback) {
    GoOnline();
    const auto mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :\r\n:ben!b@h PRIVMSG Tovik-B0T \r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG ben :", mark), 0);
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    const Texts texts = server_.Texts(mark);
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[0], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: ");
    EXPECT_EQ(texts[1], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- ben: ");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "PRIVMSG anna :keine ahnung was du meinst ..."), texts.end());
}

TEST_F(BotRuntimeTest, CtcpRequestsAndOtherChannelsAreOnlyLogged) {
    GoOnline();
    const auto mark = Mark();
    const auto logged = log_.size();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :\x01VERSION\x01\r\n:anna!a@h PRIVMSG #other :.info\r\n");
    Sync();
    EXPECT_EQ(server_.Texts(mark), Texts{"PONG sync1"});
    EXPECT_EQ(log_.size(), logged + 3);
}

// As the server compares names (CASEMAPPING, rfc1459 until it says): "[" is
// "{", but an umlaut in another case is another nick.
TEST_F(BotRuntimeTest, RecognisesItsNickAndChannelInAnyCase) {
    Set("IRC", "BotNick", std::string("[Jörg]"_w1252));
    GoOnline();
    const auto mark = Mark();
    server_.Send(":op!o@h PRIVMSG #TOVIK-b0t :.info\r\n:bert!b@h PRIVMSG "s + std::string("{JÖRG}"_w1252) +
                 " :hi\r\n:anna!a@h PRIVMSG " + std::string("{jöRG}"_w1252) + " :hi\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    EXPECT_EQ(server_.Texts(mark)[0], "PRIVMSG #Tovik-B0T :\x02Tovik-B0T (c) 2026 Tovik-Team ... Version: 0.10 BETA");
    for (const std::string& line : server_.Texts(mark)) EXPECT_EQ(line.find("bert"), std::string::npos) << line;
}

// A typo in the typing speed must not cost the connection: the PING is still
// answered and every line still reaches the log; the rest of each line's
// handling stops, and the conversion error is shown once per read.
TEST_F(BotRuntimeTest, InvalidCharTimeStillAnswersPingsAndIsReportedOncePerRead) {
    GoOnline();
    Set("General", "CharTime", "abc");
    const auto mark = Mark();
    const auto logged = log_.size();
    server_.Send("PING :1\r\n:srv NOTICE x :y\r\n:anna!a@h PRIVMSG Tovik-B0T :hallo\r\n");
    ASSERT_TRUE(AwaitCondition([&] { return !errors_.empty(); }));
    EXPECT_EQ(errors_, Texts{std::string("'abc' ist kein gültiger Integerwert"_w1252)});
    EXPECT_EQ(log_.size(), logged + 3);
    Set("General", "CharTime", "20");
    Sync();
    EXPECT_EQ(server_.Texts(mark), (Texts{"PONG 1", "PONG sync1"}));
    EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(BotRuntimeTest, LinesArrivingWhileAnErrorIsShownAreHandledAfterwards) {
    GoOnline();
    Set("General", "CharTime", "abc");
    bool shown = false;
    // Like a message box: the operator reads it while its own event loop runs.
    QObject::connect(bot_.get(), &BotRuntime::ErrorOccurred, [&] {
        if (std::exchange(shown, true)) return;
        Set("General", "CharTime", "20");
        server_.Send("PING :during\r\n");
        QEventLoop box;
        QTimer::singleShot(300, &box, &QEventLoop::quit);
        box.exec();
    });
    server_.Send("PING :before\r\n");
    EXPECT_GE(server_.WaitForLine("PONG during"), 0);
    EXPECT_TRUE(shown);
}

// ---- the deny list and the remote commands ----------------------------------------

TEST_F(BotRuntimeTest, AnswerOffDeniesANickThatIsThenOnlyReported) {
    GoOnline();
    auto mark = Mark();
    server_.Send(":op!o@h PRIVMSG #Tovik-B0T :.ANSWER Foo OFF\r\n");
    ASSERT_GE(server_.WaitForLine("PRIVMSG #Tovik-B0T :" + kGrey + "Answering for Foo Disabled", mark), 0);
    EXPECT_EQ(bot_->DenyList(), Texts{"Foo"});
    EXPECT_EQ(denyLists_, std::vector<Texts>{Texts{"Foo"}});
    EXPECT_TRUE(bot_->IsDenied("FOO"));

    mark = Mark();
    // One read: had foo been answered, his reply would come before ben's.
    server_.Send(":foo!f@h PRIVMSG Tovik-B0T :hi\r\n:ben!b@h PRIVMSG Tovik-B0T :hi\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG ben :", mark), 0);
    const Texts texts = server_.Texts(mark);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- foo: hi");
    EXPECT_EQ(texts[1], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- ben: hi");

    mark = Mark();
    server_.Send(":op!o@h PRIVMSG #Tovik-B0T :.answer foo on\r\n:foo!f@h PRIVMSG Tovik-B0T :hi\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG foo :", mark), 0);
    EXPECT_EQ(server_.Texts(mark)[0], "PRIVMSG #Tovik-B0T :" + kGrey + "Answering for foo Enabled");
    EXPECT_TRUE(bot_->DenyList().empty());
    EXPECT_EQ(denyLists_.size(), 2u);
}

TEST_F(BotRuntimeTest, RemoteCommandsSendTheirLines) {
    GoOnline();
    const auto mark = Mark();
    server_.Send(":op!o@h PRIVMSG #Tovik-B0T :.join #elsewhere now\r\n"
                 ":op!o@h PRIVMSG #Tovik-B0T :.say #somewhere hello there\r\n"
                 ":op!o@h PRIVMSG #Tovik-B0T :.info please\r\n");
    Sync();
    EXPECT_EQ(server_.Texts(mark),
              (Texts{"JOIN #elsewhere", "PRIVMSG #somewhere :hello there",
                     "PRIVMSG #Tovik-B0T :" + kGrey + "--> #somewhere: hello there",
                     "PRIVMSG #Tovik-B0T :\x02Tovik-B0T (c) 2026 Tovik-Team ... Version: 0.10 BETA", "PONG sync1"}));
}

TEST_F(BotRuntimeTest, ReceivedTextCannotInjectCommands) {
    GoOnline();
    const auto mark = Mark();
    server_.Send(":evil!e@h PRIVMSG #Tovik-B0T :.say #x hello\rQUIT :gone\r\n"
                 ":op!o@h PRIVMSG #Tovik-B0T :.join #a\r,#b\r\n"s +
                 std::string(":op!o@h PRIVMSG #Tovik-B0T :.say bob a\0KICK\r\n", 45) +
                 ":ev\ril!e@h PRIVMSG Tovik-B0T :x\rPART #Tovik-B0T\r\n");
    const int reply = server_.WaitForPrefix("PRIVMSG evil :", mark);
    const Texts texts = server_.Texts(mark);
    ASSERT_GE(reply, 0);
    ASSERT_GE(texts.size(), 8u);
    EXPECT_EQ(texts[0], "PRIVMSG #x :helloQUIT :gone");
    EXPECT_EQ(texts[1], "PRIVMSG #Tovik-B0T :" + kGrey + "--> #x: helloQUIT :gone");
    EXPECT_EQ(texts[2], "JOIN #a,#b");
    EXPECT_EQ(texts[3], "PRIVMSG bob :aKICK");
    EXPECT_EQ(texts[5], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- evil: xPART #Tovik-B0T");
    // CR only where it ends a line.
    const std::string& all = server_.Received();
    for (std::size_t cr = all.find('\r'); cr != std::string::npos; cr = all.find('\r', cr + 1))
        EXPECT_EQ(all[cr + 1], '\n') << Escaped(all.substr(cr > 20 ? cr - 20 : 0, 40));
    EXPECT_EQ(all.find('\0'), std::string::npos);
}

TEST_F(BotRuntimeTest, NoBuiltLineExceedsTheServersLimit) {
    GoOnline();
    const auto mark = Mark();
    const std::string longText(490, 'x');
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :" + longText + "\r\n:op!o@h PRIVMSG #Tovik-B0T :.say bob " + longText +
                 "\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    for (const auto& line : server_.Lines()) EXPECT_LE(line.text.size() + 1, 512u) << line.text;
    const Texts texts = server_.Texts(mark);
    const std::string report = "PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: " + longText;
    EXPECT_NE(std::find(texts.begin(), texts.end(), report.substr(0, 510)), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), ("PRIVMSG bob :" + longText).substr(0, 510)), texts.end());
}

// ---- partners whose clients speak UTF-8 ------------------------------------------

// What the bot would answer to a Windows-1252 text: the fixture's generator
// is reseeded to the same value for every reply, so equal texts get equal
// answers.
class NoPhoto final : public PhotoOffer {
public:
    std::string LocalAddress() const override { return "127.0.0.1"; }
    std::uint16_t PrepareDccPort() override { return 0; }
    void SwitchDccOn() override {}
};

Texts ReplyTo(std::string_view cp1252, const ProfileContext& context) {
    Random random{[] { return 4242u; }};
    NoPhoto photo;
    const std::string reply = BuildReply(cp1252, ProfileFile(context.ProfilePath()), random, photo);
    Texts lines;
    for (int k = 1; k <= ReplyLineCount(reply); ++k) lines.push_back(ReplyLine(reply, k));
    return lines;
}

struct EncodingCase {
    std::string name;
    std::optional<std::string> charsetSetting;  // none: the profile lacks the key
    bool utf8Only;                              // the server's 005 said UTF8ONLY
    std::string question;                       // the partner's bytes
    std::string_view asCp1252;                  // the same text in Windows-1252
    std::string tags;                           // what it means
    Charset answers;                            // what the partner gets
    Charset reports;                            // what the command channel gets
};

void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.name; }

class BotRuntimeEncodingTest : public BotRuntimeTest, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(BotRuntimeEncodingTest, UnderstandsThePartnerAndAnswersInHisEncoding) {
    const EncodingCase& c = GetParam();
    Set("PersonData", "Location", "Düsseldorf"_w1252);
    Set("General", "CharTime", "0");
    if (c.charsetSetting) Set("IRC", "Charset", *c.charsetSetting);
    GoOnline();
    if (c.utf8Only) {
        server_.Send(":srv 005 Tovik-B0T CHANTYPES=# UTF8ONLY :are supported by this server\r\n");
        Sync();
    }
    // The same meaning, whichever client wrote it.
    ASSERT_EQ(Classify(c.asCp1252), c.tags);
    const Texts reply = ReplyTo(c.asCp1252, context_);
    ASSERT_FALSE(reply.empty());

    const auto mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :" + c.question + "\r\n");
    ASSERT_TRUE(AwaitCondition([&] { return server_.Lines().size() == mark + 1 + 2 * reply.size(); }));
    Sync();
    Texts expected{"PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: " + Transcode(c.question, c.reports)};
    for (const std::string& line : reply) {
        expected.push_back("PRIVMSG #Tovik-B0T :" + kGrey + "--> anna: " + Encode(line, c.reports));
        expected.push_back("PRIVMSG anna :" + Encode(line, c.answers));
    }
    expected.push_back("PONG sync" + std::to_string(syncs_));
    Texts sent = server_.Texts(mark);
    for (auto& t : sent) t = Escaped(t);
    for (auto& t : expected) t = Escaped(t);
    EXPECT_EQ(sent, expected);
    EXPECT_TRUE(errors_.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Partners, BotRuntimeEncodingTest,
    ::testing::Values(
        EncodingCase{"Utf8PartnerByDefault", std::nullopt, false, "tschüß, woher kommst du?",
                     "tschüß, woher kommst du?"_w1252, "bye;arefrom;", Charset::Utf8, Charset::Utf8},
        EncodingCase{"Utf8PartnerWithAWindows1252Channel", "Windows-1252", false, "woher kommst du, wie groß?",
                     "woher kommst du, wie groß?"_w1252, "arefrom;size;", Charset::Utf8, Charset::Cp1252},
        EncodingCase{"Utf8PartnerOutsideTheCodePage", "windows-1252", false, "woher kommst du? 😀",
                     "woher kommst du? \x81", "arefrom;", Charset::Utf8, Charset::Cp1252},
        EncodingCase{"Windows1252PartnerByDefault", std::nullopt, false, std::string("tschüß, woher kommst du?"_w1252),
                     "tschüß, woher kommst du?"_w1252, "bye;arefrom;", Charset::Cp1252, Charset::Utf8},
        EncodingCase{"Windows1252PartnerWithAWindows1252Channel", "Windows-1252", false,
                     std::string("wie heißt du? woher kommst du?"_w1252), "wie heißt du? woher kommst du?"_w1252,
                     "prename;arefrom;", Charset::Cp1252, Charset::Cp1252},
        EncodingCase{"AsciiPartnerByDefault", std::nullopt, false, "woher kommst du?", "woher kommst du?",
                     "arefrom;", Charset::Utf8, Charset::Utf8},
        EncodingCase{"AsciiPartnerWithUtf8Set", "utf-8", false, "woher kommst du?", "woher kommst du?",
                     "arefrom;", Charset::Utf8, Charset::Utf8},
        EncodingCase{"AsciiPartnerWithAnUnknownValue", "Klingonisch", false, "woher kommst du?",
                     "woher kommst du?", "arefrom;", Charset::Utf8, Charset::Utf8},
        EncodingCase{"AsciiPartnerWithWindows1252AsBefore", "Windows-1252", false, "woher kommst du?",
                     "woher kommst du?", "arefrom;", Charset::Cp1252, Charset::Cp1252},
        EncodingCase{"AsciiPartnerOnAUtf8OnlyServer", "Windows-1252", true, "woher kommst du?",
                     "woher kommst du?", "arefrom;", Charset::Utf8, Charset::Utf8},
        EncodingCase{"Windows1252PartnerOnAUtf8OnlyServer", "Windows-1252", true, std::string("tschüß, woher?"_w1252),
                     "tschüß, woher?"_w1252, "bye;arefrom;", Charset::Utf8, Charset::Utf8}),
    [](const ::testing::TestParamInfo<EncodingCase>& info) { return info.param.name; });

// Pure ASCII tells nothing: the partner keeps the encoding his client spoke
// last, until a new connection.
TEST_F(BotRuntimeTest, AnAsciiMessageKeepsWhatThePartnersClientSpokeLast) {
    Set("PersonData", "Location", "Düsseldorf"_w1252);
    Set("General", "CharTime", "0");
    Set("IRC", "Charset", "Windows-1252");
    GoOnline();
    const std::string answer = ReplyTo("woher kommst du?", context_).at(0);
    auto mark = Mark();
    server_.Send(":Anna!a@h PRIVMSG Tovik-B0T :tschüß\r\n:ben!b@h PRIVMSG Tovik-B0T :"s + std::string("tschüß"_w1252) +
                 "\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG Anna :", mark), 0);
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG ben :", mark), 0);
    mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :woher kommst du?\r\n:ben!b@h PRIVMSG Tovik-B0T :woher kommst du?\r\n"
                 ":carl!c@h PRIVMSG Tovik-B0T :woher kommst du?\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG carl :", mark), 0);
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG ben :", mark), 0);
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    const Texts texts = server_.Texts(mark);
    const auto sentTo = [&](const std::string& nick) {
        return Escaped(*std::find_if(texts.begin(), texts.end(),
                                     [&](const std::string& t) { return t.rfind("PRIVMSG " + nick + " :", 0) == 0; }));
    };
    EXPECT_EQ(sentTo("anna"), Escaped("PRIVMSG anna :" + Cp1252ToUtf8(answer)));
    EXPECT_EQ(sentTo("ben"), Escaped("PRIVMSG ben :" + answer));
    EXPECT_EQ(sentTo("carl"), Escaped("PRIVMSG carl :" + answer));  // new: the profile's charset

    // A new connection starts from nothing; so does the server's UTF8ONLY.
    server_.Send(":srv 005 Tovik-B0T UTF8ONLY :are supported\r\n");
    Sync();
    ConnectAgain();
    mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :woher kommst du?\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    const Texts after = server_.Texts(mark);
    EXPECT_NE(std::find(after.begin(), after.end(), "PRIVMSG anna :" + answer), after.end());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(BotRuntimeTest, TheCutOfAUtf8LineKeepsEveryCharacterWhole) {
    GoOnline();
    const auto mark = Mark();
    std::string umlauts;
    for (int i = 0; i < 300; ++i) umlauts += "ü";
    std::string sharpS;
    for (int i = 0; i < 300; ++i) sharpS += "ß";
    // "PRIVMSG #Tovik-B0T :" + colour + "<-- anna: " is 33 bytes: 477 are
    // left, an odd number, so a plain cut would halve the last "ü". The
    // same for ".say #x a" + "ß"...
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :" + umlauts + "\r\n:op!o@h PRIVMSG #Tovik-B0T :.say #x a" + sharpS +
                 "\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    const Texts texts = server_.Texts(mark);
    const std::string reportStart = "PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: ";
    const auto report = std::find_if(texts.begin(), texts.end(),
                                     [&](const std::string& t) { return t.rfind(reportStart, 0) == 0; });
    ASSERT_NE(report, texts.end());
    EXPECT_EQ(Escaped(*report), Escaped(reportStart + umlauts.substr(0, 476)));
    const auto relayed = std::find_if(texts.begin(), texts.end(),
                                      [&](const std::string& t) { return t.rfind("PRIVMSG #x :", 0) == 0; });
    ASSERT_NE(relayed, texts.end());
    EXPECT_EQ(Escaped(*relayed), Escaped("PRIVMSG #x :a" + sharpS.substr(0, 496)));
    for (const std::string& line : texts) {
        EXPECT_TRUE(IsValidUtf8(line)) << Escaped(line);
        EXPECT_LE(line.size(), kMaxLineBody);
    }
}

TEST_F(BotRuntimeTest, TheCutOfAWindows1252LineStaysAtTheByteLimit) {
    Set("IRC", "Charset", "Windows-1252");
    GoOnline();
    const auto mark = Mark();
    const std::string umlauts(600, '\xfc');
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :" + umlauts + "\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    EXPECT_EQ(Escaped(server_.Texts(mark).at(0)),
              Escaped(("PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: " + umlauts).substr(0, kMaxLineBody)));
}

// ".say" relays in the target's charset whichever encoding the operator's
// client typed in; the report is in the channel's.
TEST_F(BotRuntimeTest, SayRelaysTheTextInTheTargetsCharset) {
    Set("IRC", "Charset", "Windows-1252");
    Set("General", "CharTime", "0");
    GoOnline();
    // Bert's client speaks UTF-8.
    auto mark = Mark();
    server_.Send(":bert!b@h PRIVMSG Tovik-B0T :hallöchen\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG bert :", mark), 0);
    mark = Mark();
    const std::string utf8 = "grüß dich 😀";
    const std::string cp1252 = std::string("grüß dich"_w1252);
    server_.Send(":op!o@h PRIVMSG #Tovik-B0T :.say #x " + utf8 + "\r\n:op!o@h PRIVMSG #Tovik-B0T :.say #x " + cp1252 +
                 "\r\n:op!o@h PRIVMSG #Tovik-B0T :.say Bert " + utf8 + "\r\n:op!o@h PRIVMSG #Tovik-B0T :.say bert " +
                 cp1252 + "\r\n");
    Sync();
    Texts sent = server_.Texts(mark);
    for (auto& t : sent) t = Escaped(t);
    const std::string report = "PRIVMSG #Tovik-B0T :" + kGrey + "--> ";
    EXPECT_EQ(sent, (Texts{Escaped("PRIVMSG #x :" + cp1252 + " ?"), Escaped(report + "#x: " + cp1252 + " ?"),
                           Escaped("PRIVMSG #x :" + cp1252), Escaped(report + "#x: " + cp1252),
                           Escaped("PRIVMSG Bert :" + utf8), Escaped(report + "Bert: " + cp1252 + " ?"),
                           Escaped("PRIVMSG bert :grüß dich"), Escaped(report + "bert: " + cp1252),
                           "PONG sync" + std::to_string(syncs_)}));

    // With a UTF-8 channel, the report keeps what the operator typed.
    Set("IRC", "Charset", "UTF-8");
    mark = Mark();
    server_.Send(":op!o@h PRIVMSG #Tovik-B0T :.say #x " + utf8 + "\r\n");
    Sync();
    EXPECT_EQ(Escaped(server_.Texts(mark).at(1)), Escaped(report + "#x: " + utf8));
    EXPECT_EQ(Escaped(server_.Texts(mark).at(0)), Escaped("PRIVMSG #x :" + utf8));
}

TEST_F(BotRuntimeTest, ADenyListEntryHoldsWhicheverEncodingTheNickArrivesIn) {
    Set("General", "CharTime", "0");
    GoOnline();
    auto mark = Mark();
    server_.Send(":op!o@h PRIVMSG #Tovik-B0T :.answer Jörg off\r\n");
    ASSERT_GE(server_.WaitForLine("PRIVMSG #Tovik-B0T :" + kGrey + "Answering for Jörg Disabled", mark), 0);
    EXPECT_EQ(bot_->DenyList(), Texts{std::string("Jörg"_w1252)});
    mark = Mark();
    server_.Send(":jörg!j@h PRIVMSG Tovik-B0T :hi\r\n:J"s + std::string("ÖRG"_w1252) + "!j@h PRIVMSG Tovik-B0T :hi\r\n"
                 ":ben!b@h PRIVMSG Tovik-B0T :hi\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG ben :", mark), 0);
    Sync();
    for (const std::string& line : server_.Texts(mark)) EXPECT_EQ(line.find("PRIVMSG j"), std::string::npos) << line;
    EXPECT_GE(server_.WaitForLine("PRIVMSG #Tovik-B0T :" + kGrey + "<-- JÖRG: hi", mark), 0);
    EXPECT_GE(server_.WaitForLine("PRIVMSG #Tovik-B0T :" + kGrey + "<-- jörg: hi", mark), 0);
}

// ---- the operator's lines ---------------------------------------------------------

TEST_F(BotRuntimeTest, ConsoleCommandsActOnTheCommandChannel) {
    GoOnline();
    const auto mark = Mark();
    bot_->SendEditKeyPress("op Foo-Bar");
    bot_->SendEditKeyPress("VOICE bob");
    bot_->SendEditKeyPress("hello");
    Set("IRC", "CommandoChannel", "#Neu");
    bot_->SendEditKeyPress("kick Eve");
    bot_->SendEditKeyPress("invite Carol");
    Sync();
    EXPECT_EQ(server_.Texts(mark), (Texts{"MODE #Tovik-B0T +o Foo", "MODE #Tovik-B0T +v bob",
                                          "KICK #Neu Eve :Have a nice day ...", "INVITE Carol #Neu", "PONG sync1"}));
}

TEST_F(BotRuntimeTest, TheRawLineGoesOutAsTyped) {
    GoOnline();
    const auto before = server_.Received().size();
    bot_->ServerSendEditKeyPress("PRIVMSG #x :hi");
    bot_->ServerSendEditKeyPress("");
    bot_->ServerSendEditKeyPress("A\r\nB");
    Sync();
    EXPECT_EQ(Escaped(server_.Received().substr(before)), Escaped("PRIVMSG #x :hi\r\n\r\nA\r\nB\r\nPONG sync1\r\n"));
}

TEST_F(BotRuntimeTest, SendingWhileOfflineSendsAndReportsNothing) {
    static int warnings = 0;
    const auto previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
        if (type != QtDebugMsg && type != QtInfoMsg) ++warnings;
    });
    bot_->SendEditKeyPress("op Alice");
    bot_->ServerSendEditKeyPress("PRIVMSG #x :hi");
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, 0);
    EXPECT_TRUE(errors_.empty());
    EXPECT_FALSE(bot_->IsConnected());
    EXPECT_EQ(server_.Connections(), 0);
}

// ---- going online and offline, failures --------------------------------------------

TEST_F(BotRuntimeTest, AnInvalidPortStopsBeforeConnecting) {
    for (const std::string port : {"66x7", "", "70000", "0"}) {
        Set("IRC", "Port", port);
        errors_.clear();
        EXPECT_FALSE(bot_->OnlineButtonClick()) << port;
        EXPECT_EQ(errors_, Texts{"'" + port + std::string("' ist kein gültiger Integerwert"_w1252)});
    }
    EXPECT_EQ(server_.Connections(), 0);
}

TEST_F(BotRuntimeTest, ARefusedConnectionIsReported) {
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    Set("IRC", "Port", std::to_string(closedPort));
    BotTimings timings;
    timings.reconnectScale = 0.002;  // 30 ms, 60 ms, 120 ms, ...
    bot_->SetTimings(timings);
    int attempts = 0;
    QObject::connect(bot_.get(), &BotRuntime::StateChanged, [&](BotState state, qint64) {
        attempts += state == BotState::Connecting;
    });
    EXPECT_TRUE(bot_->OnlineButtonClick());
    ASSERT_TRUE(AwaitCondition([&] { return !errors_.empty(); }));
    // The bot goes on trying by itself, and says so once, not every time.
    ASSERT_TRUE(AwaitCondition([&] { return attempts >= 4; }));
    EXPECT_EQ(errors_, Texts{"Asynchroner Socket-Fehler 111"});
    bot_->OfflineButtonClick();
}

TEST_F(BotRuntimeTest, AnUnknownHostIsReported) {
    Set("IRC", "Server", "no-such-host.invalid");
    EXPECT_TRUE(bot_->OnlineButtonClick());
    ASSERT_TRUE(AwaitCondition([&] { return !errors_.empty(); }, 15000));
    EXPECT_EQ(errors_, Texts{"Windows-Socket-Fehler: Host nicht gefunden (11001), auf API 'ASync Lookup'"});
}

TEST_F(BotRuntimeTest, TheServerClosingIsNoError) {
    GoOnline();
    server_.CloseClient();
    ASSERT_TRUE(AwaitCondition([&] { return !bot_->IsConnected(); }));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(BotRuntimeTest, AResetByTheServerIsReportedOnce) {
    for (const bool registered : {false, true}) {
        SCOPED_TRACE(registered ? "after the message of the day" : "while registering");
        errors_.clear();
        ASSERT_NO_FATAL_FAILURE(ConnectAgain());
        if (registered) {
            server_.Send(":srv 376 Tovik-B0T :End of MOTD\r\n");
            Sync();
        }
        server_.ResetClient();
        ASSERT_TRUE(AwaitCondition([&] { return !errors_.empty() && !bot_->IsConnected(); }));
        QCoreApplication::processEvents();  // a second report would be queued by now
        EXPECT_EQ(errors_, Texts{"Asynchroner Socket-Fehler 104"});
    }
}

TEST_F(BotRuntimeTest, ClosingItselfTheBotLeavesNothingOpenOnTheServersSide) {
    // However the bot ends a connection, the server must see it end, promptly.
    const std::vector<std::pair<const char*, std::function<void()>>> closes{
        {"offline", [&] { bot_->OfflineButtonClick(); }},
        {"bot destroyed", [&] { bot_.reset(); }},
    };
    for (const auto& [how, close] : closes) {
        SCOPED_TRACE(how);
        ASSERT_NO_FATAL_FAILURE(ConnectAgain());
        const int ended = server_.EndedByBot();
        close();
        EXPECT_TRUE(server_.WaitForEndedByBot(ended + 1, 2000));
        EXPECT_EQ(server_.EndedByBot(), ended + 1);
    }
    EXPECT_TRUE(errors_.empty());
}

TEST_F(BotRuntimeTest, ConnectingAgainAndAgainLeavesNoDescriptorBehind) {
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    ASSERT_NO_FATAL_FAILURE(ConnectAgain());
    const auto before = openDescriptors();
    for (int round = 2; round <= 5; ++round) {
        ASSERT_NO_FATAL_FAILURE(ConnectAgain());
        ASSERT_TRUE(server_.WaitForEndedByBot(round - 1));  // the old one is gone on both sides
    }
    EXPECT_EQ(openDescriptors(), before);
    bot_->OfflineButtonClick();
    ASSERT_TRUE(server_.WaitForEndedByBot(5));
    EXPECT_LT(openDescriptors(), before);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(BotRuntimeTest, OfflineClosesAtOnceWithoutQuitAndOnlineConnectsAgain) {
    GoOnline(false);  // still registering: ident listens
    const quint16 identPort = bot_->IdentPort();
    ASSERT_NE(identPort, 0);
    const auto before = server_.Received().size();
    bot_->OfflineButtonClick();
    EXPECT_FALSE(bot_->IsConnected());
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, identPort);
    EXPECT_FALSE(probe.waitForConnected(2000));
    EXPECT_TRUE(bot_->OnlineButtonClick());
    ASSERT_TRUE(AwaitCondition([&] { return server_.Connections() == 2; }));
    ASSERT_TRUE(AwaitCondition([&] { return server_.Received().size() > before; }));
    EXPECT_EQ(server_.Received().substr(before, 26), "CAP LS 302\r\nNICK []B0T[]\r\n");
    EXPECT_TRUE(errors_.empty());
}

TEST_F(BotRuntimeTest, AReplyBeingTypedWhenGoingOfflineVanishes) {
    GoOnline();
    const auto mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :hi\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna", mark), 0);
    bot_->OfflineButtonClick();
    ASSERT_TRUE(AwaitCondition([&] { return bot_->PendingAnswers() == 0; }));
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(server_.Lines().size(), mark + 1);
}

// Nothing of one session goes into the next: a reply still being typed at
// "Offline" is forgotten at once, and "Online" while online keeps the session.
TEST_F(BotRuntimeTest, RepliesOfOneSessionNeverReachTheNext) {
    GoOnline();
    EXPECT_TRUE(bot_->OnlineButtonClick());
    EXPECT_TRUE(bot_->IsConnected());
    EXPECT_EQ(server_.Connections(), 1) << "the live session stays";

    Set("General", "CharTime", "100");
    auto mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :hi, wie alt bist du?\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna", mark), 0);
    ASSERT_EQ(bot_->PendingAnswers(), 1u);
    bot_->OfflineButtonClick();
    EXPECT_EQ(bot_->PendingAnswers(), 0u);
    ConnectAgain();
    Set("General", "CharTime", "0");
    mark = Mark();
    server_.Send(":bert!b@h PRIVMSG Tovik-B0T :hallo\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG bert :", mark), 0);
    for (const std::string& line : server_.Texts(mark)) EXPECT_EQ(line.find("anna"), std::string::npos) << line;
    EXPECT_TRUE(errors_.empty());
}

TEST_F(BotRuntimeTest, AnIdentPortThatCannotBeOpenedIsReportedOnceAndTheBotConnectsAnyway) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::Any, 0));
    BotRuntime bot(context_, random_, BotPorts{taken.serverPort(), 0});
    Texts errors;
    QObject::connect(&bot, &BotRuntime::ErrorOccurred, [&](const std::string& e) { errors.push_back(e); });
    EXPECT_TRUE(bot.OnlineButtonClick());
    ASSERT_TRUE(server_.WaitForClient());
    ASSERT_TRUE(server_.WaitForLines(3));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Windows-Socket-Fehler: ", 0), 0u) << errors[0];
    bot.OfflineButtonClick();
    EXPECT_TRUE(bot.OnlineButtonClick());
    ASSERT_TRUE(AwaitCondition([&] { return server_.Connections() == 2; }));
    EXPECT_EQ(errors.size(), 1u);
}

// ---- the photo offer -------------------------------------------------------------------

TEST_F(BotRuntimeTest, APhotoQuestionOffersThePictureOverDcc) {
    const std::string picture = dir_.filePath("ich bin's.jpg").toStdString();
    test::WriteFileBytes(picture, std::string(1234, 'p'));
    Set("PersonData", "Picture", picture);
    GoOnline();
    const auto mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :hast du ein foto?\r\n");
    const int offer = server_.WaitForPrefix("PRIVMSG anna :\x01", mark, 10000);
    ASSERT_GE(offer, 0);
    ASSERT_NE(bot_->DccPort(), 0);
    // 127.0.0.1 is 2130706433.
    EXPECT_EQ(Escaped(server_.Lines()[offer].text),
              Escaped("PRIVMSG anna :\x01" "DCC SEND ich bin's.jpg 2130706433 " + std::to_string(bot_->DccPort()) +
                      " 1234\x01"));
    QTcpSocket receiver;
    receiver.connectToHost(QHostAddress::LocalHost, bot_->DccPort());
    ASSERT_TRUE(receiver.waitForConnected(2000));
    EXPECT_TRUE(errors_.empty());
}

// The bot asks how the server sees it when the welcome did not say; with a
// server on this machine the offer names the connection's address all the
// same, as ever. OwnAddress and Port override.
TEST_F(BotRuntimeTest, TheBotAsksHowTheServerSeesItAndOwnAddressAndPortNameTheOffer) {
    const std::string picture = dir_.filePath("ich.jpg").toStdString();
    test::WriteFileBytes(picture, std::string(1234, 'p'));
    Set("PersonData", "Picture", picture);
    GoOnline();
    ASSERT_GE(server_.WaitForLine("USERHOST Tovik-B0T"), 0);
    auto mark = Mark();
    server_.Send(":srv 302 Tovik-B0T :Tovik-B0T=+u@127.0.0.2\r\n:anna!a@h PRIVMSG Tovik-B0T :hast du ein foto?\r\n");
    int offer = server_.WaitForPrefix("PRIVMSG anna :\x01", mark, 10000);
    ASSERT_GE(offer, 0);
    EXPECT_NE(server_.Lines()[offer].text.find(" 2130706433 "), std::string::npos) << server_.Lines()[offer].text;

    // Once the listener has closed, the next offer takes the profile's.
    QTcpSocket receiver;
    receiver.connectToHost(QHostAddress::LocalHost, bot_->DccPort());
    ASSERT_TRUE(AwaitCondition([&] { return receiver.bytesAvailable() == 1234; }));
    receiver.write("\0\0\x04\xD2", 4);
    ASSERT_TRUE(AwaitCondition([&] { return receiver.state() == QAbstractSocket::UnconnectedState; }));
    const quint16 port = test::FreeLoopbackPort();
    Set("DCC", "OwnAddress", "198.51.100.9");
    Set("DCC", "Port", std::to_string(port));
    mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :hast du ein foto?\r\n");
    offer = server_.WaitForPrefix("PRIVMSG anna :\x01", mark, 10000);
    ASSERT_GE(offer, 0);
    EXPECT_EQ(Escaped(server_.Lines()[offer].text),
              Escaped("PRIVMSG anna :\x01" "DCC SEND ich.jpg 3325256713 " + std::to_string(port) + " 1234\x01"));
    EXPECT_EQ(bot_->DccPort(), port);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(BotRuntimeTest, AMissingPictureEndsTheAnswerAfterTheReport) {
    Set("PersonData", "Picture", dir_.filePath("gone.jpg").toStdString());
    GoOnline();
    const auto mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :hast du ein foto?\r\n:ben!b@h PRIVMSG Tovik-B0T :hi\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG ben :", mark), 0);
    const Texts texts = server_.Texts(mark);
    EXPECT_EQ(texts[0], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: hast du ein foto?");
    EXPECT_EQ(texts[1], "PRIVMSG #Tovik-B0T :" + kGrey + "<-- ben: hi");
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].rfind("Datei nicht gefunden", 0), 0u) << errors_[0];
}

// ---- on a live network ----------------------------------------------------------

TEST_F(BotRuntimeTest, AFloodOfQuestionsLeavesAtTheServersPaceAndEveryOneIsAnswered) {
    BotTimings timings;
    timings.pace = SendPace{5, std::chrono::milliseconds(100)};
    bot_->SetTimings(timings);
    Set("General", "CharTime", "0");
    GoOnline();
    const auto mark = Mark();
    std::string flood;
    for (int partner = 0; partner < 6; ++partner)
        for (int question = 0; question < 3; ++question)
            flood += ":p" + std::to_string(partner) + "!u@h PRIVMSG Tovik-B0T :hallo\r\n";
    server_.Send(flood);
    // 18 answers (and up to 36 reports): about 5 s at 10 lines per second.
    ASSERT_TRUE(AwaitCondition(
        [&] {
            const Texts texts = server_.Texts(mark);
            return std::count_if(texts.begin(), texts.end(),
                                 [](const std::string& t) { return t.rfind("PRIVMSG p", 0) == 0; }) == 18;
        },
        20000));
    server_.Send("PING :amid\r\n");
    const qint64 pinged = server_.Lines().back().atMs;
    const int pong = server_.WaitForLine("PONG amid", mark);
    ASSERT_GE(pong, 0);
    EXPECT_LT(server_.Lines()[pong].atMs - pinged, 150) << "a PONG waits behind nothing";
    // Never more than the allowance plus one line per interval.
    const auto& lines = server_.Lines();
    for (std::size_t k = mark; k < lines.size(); ++k) {
        const qint64 elapsed = lines[k].atMs - lines[mark].atMs;
        EXPECT_GE(elapsed, (static_cast<qint64>(k - mark) - 5) * 100 - 30) << k - mark << ": " << lines[k].text;
    }
    // Each partner's answers left in the order of the questions, and the
    // partners took turns: the first answer to every partner came before
    // the third answer to anyone.
    std::vector<int> answered(6, 0);
    for (std::size_t k = mark; k < lines.size(); ++k) {
        if (lines[k].text.rfind("PRIVMSG p", 0) != 0) continue;
        const int partner = lines[k].text[9] - '0';
        if (++answered[partner] == 3) {
            for (int other : answered) EXPECT_GE(other, 1);
        }
    }
    EXPECT_TRUE(errors_.empty());
}

TEST_F(BotRuntimeTest, ALostConnectionComesBackByItselfUntilOffline) {
    BotTimings timings = {};
    timings.pace = SendPace{100000, std::chrono::milliseconds(1)};
    timings.reconnectScale = 0.01;  // 150 ms, 300 ms, ...
    bot_->SetTimings(timings);
    std::vector<BotState> states;
    QObject::connect(bot_.get(), &BotRuntime::StateChanged,
                     [&](BotState state, qint64) { states.push_back(state); });
    GoOnline();
    server_.Send(":srv 001 Tovik-B0T :Willkommen\r\n");
    ASSERT_TRUE(AwaitCondition([&] { return bot_->State() == BotState::Online; }));

    // The server goes away; the bot waits, tries again and sets itself up.
    const auto mark = Mark();
    server_.CloseClient();
    ASSERT_TRUE(AwaitCondition([&] { return bot_->State() == BotState::Waiting; }));
    ASSERT_TRUE(AwaitCondition([&] { return server_.Connections() == 2; }, 5000));
    ASSERT_GE(server_.WaitForLine("USER Tovik-B0T 0 0 :Tovik B0T", mark), 0);
    server_.Send(":srv 001 Tovik-B0T :Willkommen\r\n:srv 376 Tovik-B0T :End\r\n");
    ASSERT_GE(server_.WaitForLine("JOIN #Tovik-B0T", mark), 0);
    EXPECT_EQ(bot_->State(), BotState::Online);
    const std::vector<BotState> expected{BotState::Waiting, BotState::Connecting, BotState::Online};
    EXPECT_TRUE(std::search(states.begin(), states.end(), expected.begin(), expected.end()) != states.end());

    // A reset counts like a close; "Offline" while waiting ends the tries.
    server_.ResetClient();
    ASSERT_TRUE(AwaitCondition([&] { return bot_->State() == BotState::Waiting; }));
    bot_->OfflineButtonClick();
    EXPECT_EQ(bot_->State(), BotState::Offline);
    QEventLoop idle;
    QTimer::singleShot(600, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_EQ(server_.Connections(), 2);
}

TEST_F(BotRuntimeTest, ASilentLinkIsAskedOnceAndThenGivenUp) {
    BotTimings timings = {};
    timings.pace = SendPace{100000, std::chrono::milliseconds(1)};
    timings.silence = std::chrono::milliseconds(300);
    timings.reconnectScale = 0.01;
    bot_->SetTimings(timings);
    GoOnline();
    const auto mark = Mark();
    const int ping = server_.WaitForLine("PING :127.0.0.1", mark, 3000);
    ASSERT_GE(ping, 0);
    // An answer keeps the link; then silence again, and no answer.
    server_.Send(":srv PONG srv :127.0.0.1\r\n");
    const int second = server_.WaitForLine("PING :127.0.0.1", ping + 1, 3000);
    ASSERT_GE(second, 0);
    EXPECT_GE(server_.Lines()[second].atMs - server_.Lines()[ping].atMs, 250);
    ASSERT_TRUE(AwaitCondition([&] { return server_.Connections() == 2; }, 5000));
    EXPECT_EQ(server_.EndedByBot(), 1);
}

TEST_F(BotRuntimeTest, ANickHeldElsewhereIsAskedForAndTakenBackWhenFree) {
    BotTimings timings = {};
    timings.pace = SendPace{100000, std::chrono::milliseconds(1)};
    timings.nickCheck = std::chrono::milliseconds(200);
    bot_->SetTimings(timings);
    GoOnline(false);
    server_.Send(":srv 433 * []B0T[] :in use\r\n:srv 433 * []B0T[] :in use\r\n:srv 001 []B0T[]_ :Willkommen\r\n");
    ASSERT_GE(server_.WaitForLine("NICK []B0T[]_"), 0);
    const auto mark = Mark();
    ASSERT_GE(server_.WaitForLine("ISON []B0T[]", mark, 3000), 0);
    server_.Send(":srv 303 []B0T[]_ :[]b0t[]\r\n");  // still there
    const int again = server_.WaitForLine("ISON []B0T[]", Mark(), 3000);
    ASSERT_GE(again, 0);
    EXPECT_EQ(server_.WaitForLine("NICK []B0T[]", mark, 100), -1);
    server_.Send(":srv 303 []B0T[]_ :\r\n");  // gone
    ASSERT_GE(server_.WaitForLine("NICK []B0T[]", mark), 0);
    server_.Send(":[]B0T[]_!u@h NICK :[]B0T[]\r\n");
    Sync();
    const auto taken = Mark();
    QEventLoop idle;
    QTimer::singleShot(500, &idle, &QEventLoop::quit);
    idle.exec();
    for (const std::string& line : server_.Texts(taken)) EXPECT_NE(line, "ISON []B0T[]");
}

TEST_F(BotRuntimeTest, ACommandChannelHeldBySomeoneElseGetsNoReportsAndGivesNoCommands) {
    Set("General", "CharTime", "0");
    GoOnline(false);
    server_.Send(":srv 376 Tovik-B0T :End of MOTD\r\n");
    ASSERT_GE(server_.WaitForLine("JOIN #Tovik-B0T"), 0);
    server_.Send(":srv 353 Tovik-B0T = #Tovik-B0T :@mallory Tovik-B0T\r\n:srv 366 Tovik-B0T #Tovik-B0T :End\r\n");
    Sync();
    // Nothing tells the holder what the bot is: no modes, no topic.
    EXPECT_EQ(server_.Texts(3), (Texts{"JOIN #Tovik-B0T", "PONG sync1"}));
    const auto mark = Mark();
    server_.Send(":mallory!m@h PRIVMSG #Tovik-B0T :.say #x hallo\r\n:mallory!m@h PRIVMSG #Tovik-B0T :.join #evil\r\n"
                 ":anna!a@h PRIVMSG Tovik-B0T :hallo\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    Sync();
    for (const std::string& line : server_.Texts(mark))
        EXPECT_TRUE(line.rfind("PRIVMSG anna :", 0) == 0 || line.rfind("PONG", 0) == 0) << line;
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].rfind("Kommando-Channel #Tovik-B0T: er geh\xf6rt schon jemand anderem.", 0), 0u);
    EXPECT_NE(std::find(log_.begin(), log_.end(), ":anna!a@h PRIVMSG Tovik-B0T :hallo"), log_.end());
    // Opped later, perhaps by the holder himself: the channel stays lost until the next connection.
    const auto opped = Mark();
    server_.Send(":ChanServ!s@services MODE #Tovik-B0T +o Tovik-B0T\r\n:op!o@h PRIVMSG #Tovik-B0T :.join #ok\r\n");
    Sync();
    for (const std::string& line : server_.Texts(opped)) EXPECT_NE(line, "JOIN #ok");
}

// Whatever ends the bot's hold on its command channel, the reports that
// were waiting for the pace do not follow it there, nor does their summary;
// the partners' answers go on.
TEST_F(BotRuntimeTest, ReportsWaitingWhenTheChannelIsLostNeverLeave) {
    const std::vector<std::pair<const char*, std::string>> losses = {
        {"kick", ":mallory!m@h KICK #Tovik-B0T Tovik-B0T :raus"},
        {"deop", ":mallory!m@h MODE #Tovik-B0T -o Tovik-B0T"},
        {"own part", ":Tovik-B0T!t@h PART #Tovik-B0T"},
        {"join 0", ":Tovik-B0T!t@h JOIN 0"},
        {"an oper opens the lock", ":oper!o@h MODE #Tovik-B0T -i"},
        {"services op someone", ":ChanServ!s@services MODE #Tovik-B0T +o mallory"},
        {"uninvited join", ":mallory!m@h JOIN #Tovik-B0T"},
    };
    BotTimings timings;
    timings.pace = SendPace{5, std::chrono::milliseconds(150)};
    bot_->SetTimings(timings);
    Set("General", "CharTime", "0");
    for (const auto& [name, loss] : losses) {
        SCOPED_TRACE(name);
        ASSERT_NO_FATAL_FAILURE(ConnectAgain());
        server_.Send(":srv 376 Tovik-B0T :End\r\n" + Names("#Tovik-B0T"));
        ASSERT_GE(server_.WaitForPrefix("TOPIC #Tovik-B0T :", Mark() - 1, 5000), 0);
        std::string questions;
        for (int k = 0; k < 4; ++k) questions += ":p" + std::to_string(k) + "!u@h PRIVMSG Tovik-B0T :hi\r\n";
        server_.Send(questions);
        const int first = server_.WaitForPrefix("PRIVMSG p0 :", Mark() - 1, 5000);
        ASSERT_GE(first, 0);
        // Commands obeyed just before: their echo and ".info" wait behind the answers.
        server_.Send(":op!o@h PRIVMSG #Tovik-B0T :.info\r\n:op!o@h PRIVMSG #Tovik-B0T :.say #x hallo\r\n" + loss +
                     "\r\nPING :lost\r\n");
        const int lost = server_.WaitForLine("PONG lost", Mark() - 1);
        ASSERT_GE(lost, 0);
        ASSERT_GE(server_.WaitForPrefix("PRIVMSG p3 :", lost, 10000), 0);
        ASSERT_GE(server_.WaitForLine("PRIVMSG #x :hallo", first), 0);
        Sync();
        for (const std::string& line : server_.Texts(lost))
            EXPECT_NE(line.rfind("PRIVMSG #Tovik-B0T", 0), 0u) << line;
        for (const std::string& line : server_.Texts(first))
            EXPECT_TRUE(line.find("\x02Tovik") == std::string::npos && line.find("--> #x") == std::string::npos) << line;
    }
}

// The bot knows itself: what comes back from its own nick, in any case of
// it, is logged and nothing more; what waited for the holder of a nick the
// bot takes back never reaches the bot.
TEST_F(BotRuntimeTest, TheBotNeverAnswersItself) {
    BotTimings timings;
    timings.pace = SendPace{100000, std::chrono::milliseconds(1)};
    timings.nickCheck = std::chrono::milliseconds(100);
    bot_->SetTimings(timings);
    Set("General", "CharTime", "40");
    GoOnline(false);
    server_.Send(":srv 433 * []B0T[] :x\r\n:srv 433 * []B0T[] :x\r\n:srv 001 []B0T[]_ :Hi\r\n:srv 376 []B0T[]_ :End\r\n"
                 ":srv 353 []B0T[]_ = #Tovik-B0T :@[]B0T[]_\r\n:srv 366 []B0T[]_ #Tovik-B0T :End\r\n");
    ASSERT_GE(server_.WaitForPrefix("TOPIC #Tovik-B0T"), 0);
    auto mark = Mark();
    const auto logged = log_.size();
    server_.Send(":[]B0T[]_!u@h PRIVMSG []B0T[]_ :hi\r\n:{}b0t{}_!u@h PRIVMSG {}B0T{}_ :hi\r\n"
                 ":[]b0T{}_!u@h PRIVMSG []B0T[]_ :\x01VERSION\x01\r\n:[]B0T[]_!u@h PRIVMSG #Tovik-B0T :.info\r\n"
                 ":[]B0T[]!holder@h PRIVMSG []B0T[]_ :hi, wie alt bist du?\r\n");
    ASSERT_GE(server_.WaitForLine("PRIVMSG #Tovik-B0T :" + kGrey + "<-- []B0T[]: hi, wie alt bist du?", mark), 0);
    EXPECT_EQ(log_.size(), logged + 5);
    // The holder is gone; the bot takes its nick back while his answer is typed.
    server_.Send(":srv 303 []B0T[]_ :\r\n");
    ASSERT_GE(server_.WaitForLine("NICK []B0T[]", mark), 0);
    server_.Send(":[]B0T[]_!u@h NICK :[]B0T[]\r\n:carl!c@h PRIVMSG []B0T[] :hi, wie alt bist du?\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG carl :", server_.WaitForPrefix("PRIVMSG carl :", mark) + 1), 0);
    for (const std::string& line : server_.Texts(mark)) {
        EXPECT_EQ(line.rfind("PRIVMSG []B0T[]", 0), std::string::npos) << line;
        EXPECT_TRUE(line.find("<-- []B0T[]_") == std::string::npos && line.find("\x02") == std::string::npos) << line;
    }
}

// The operator's console invite lets its guest in; the channel stays the
// bot's. A changed CommandoChannel gets nothing, and the channel the bot
// held is still followed: a "-o" there ends the reports still waiting for it.
TEST_F(BotRuntimeTest, TheDoorOpensForInviteesAndReportsGoOnlyWhereTheyWereAddressed) {
    GoOnline();
    auto mark = Mark();
    bot_->SendEditKeyPress("invite Carol");
    server_.Send(":Carol!c@h JOIN #Tovik-B0T\r\n:anna!a@h PRIVMSG Tovik-B0T :hi\r\n");
    ASSERT_GE(server_.WaitForLine("PRIVMSG #Tovik-B0T :" + kGrey + "<-- anna: hi", mark), 0);
    Set("General", "CharTime", "150");
    server_.Send(":bert!b@h PRIVMSG Tovik-B0T :hi, wie alt bist du?\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG bert :", mark), 0);
    Set("IRC", "CommandoChannel", "#Neu");
    server_.Send(Names("#Neu") + ":dora!d@h PRIVMSG Tovik-B0T :hi\r\n:M!u@h MODE #Tovik-B0T -o Tovik-B0T\r\n");
    Sync();
    mark = Mark();
    ASSERT_TRUE(AwaitCondition([&] { return bot_->PendingAnswers() == 0; }, 10000));
    for (const std::string& line : server_.Texts(mark)) EXPECT_EQ(line.rfind("PRIVMSG #", 0), std::string::npos) << line;
    EXPECT_EQ(errors_, Texts{"Kommando-Channel #Tovik-B0T: der Bot ist dort kein Operator mehr. Bis zur n\xe4" "chsten "
                             "Verbindung gehen keine Meldungen dorthin, und Befehle von dort gelten nicht."});
}

// A line the server stamps as older than two minutes by its own clock, or
// sends inside a history batch, is reported and never carried out; a clock
// that runs behind ours is learned from the PONG to the bot's own PING.
TEST_F(BotRuntimeTest, OldLinesAreHistoryByTheServersOwnClock) {
    Set("General", "CharTime", "0");
    GoOnline(false);
    server_.Send(":srv CAP * LS :server-time batch\r\n");
    ASSERT_GE(server_.WaitForLine("CAP REQ :server-time batch"), 0);
    server_.Send(":srv CAP * ACK :server-time batch\r\n:srv 001 Tovik-B0T :Hi\r\n");
    ASSERT_GE(server_.WaitForLine("PING :127.0.0.1"), 0);
    const auto stamp = [](int minutesAgo) {
        return "@time=" + QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo).toString(Qt::ISODateWithMs).toStdString() + " ";
    };
    server_.Send(stamp(10) + ":srv PONG srv :127.0.0.1\r\n:srv 376 Tovik-B0T :End\r\n" + Names("#Tovik-B0T"));
    ASSERT_GE(server_.WaitForPrefix("TOPIC #Tovik-B0T"), 0);
    const auto mark = Mark();
    server_.Send(stamp(70) + ":op!o@h PRIVMSG #Tovik-B0T :.say #x alt\r\nBATCH +b1 chathistory #Tovik-B0T\r\n"
                 "@batch=b1 :op!o@h PRIVMSG #Tovik-B0T :.say #x batch\r\nBATCH -b1\r\n" + stamp(70) +
                 ":bert!b@h PRIVMSG Tovik-B0T :hallo\r\n" + stamp(10) + ":op!o@h PRIVMSG #Tovik-B0T :.say #x neu\r\n" +
                 stamp(10) + ":anna!a@h PRIVMSG Tovik-B0T :hi\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    Sync();
    const Texts texts = server_.Texts(mark);
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("PRIVMSG #x", 0) == 0; }), 1);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "PRIVMSG #x :neu"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "PRIVMSG #Tovik-B0T :" + kGrey + "<-- bert: hallo"), texts.end());
    for (const std::string& line : texts) EXPECT_NE(line.rfind("PRIVMSG bert", 0), 0u) << line;
}

// Answer lines already waiting for the pace follow a partner's new nick, and
// go nowhere once he has quit.
TEST_F(BotRuntimeTest, WaitingAnswerLinesFollowARenameAndGoWithAQuit) {
    BotTimings timings;
    timings.pace = SendPace{5, std::chrono::milliseconds(200)};
    bot_->SetTimings(timings);
    Set("General", "CharTime", "0");
    GoOnline();
    std::string questions;
    for (int k = 0; k < 6; ++k) questions += ":p" + std::to_string(k) + "!u@h PRIVMSG Tovik-B0T :hi\r\n";
    server_.Send(questions);
    const int first = server_.WaitForPrefix("PRIVMSG p0 :", Mark() - 1, 5000);
    ASSERT_GE(first, 0);
    server_.Send(":p4!u@h NICK :q4\r\n:p5!u@h QUIT :weg\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG q4 :", first, 10000), 0);
    Sync();
    for (const std::string& line : server_.Texts(first))
        EXPECT_TRUE(line.rfind("PRIVMSG p4 ", 0) != 0 && line.rfind("PRIVMSG p5 ", 0) != 0) << line;
}

// A nick the server calls erroneous is not varied: the operator is told
// once, and the bot gives the connection up and tries again later.
TEST_F(BotRuntimeTest, AnErroneousNickEndsTheAttemptAndIsToldOnce) {
    BotTimings timings;
    timings.pace = SendPace{100000, std::chrono::milliseconds(1)};
    timings.reconnectScale = 0.005;
    bot_->SetTimings(timings);
    GoOnline(false);
    server_.Send(":srv 432 * []B0T[] :Erroneous Nickname\r\n");
    ASSERT_TRUE(AwaitCondition([&] { return server_.Connections() == 2; }, 5000));
    ASSERT_TRUE(server_.WaitForLines(6));
    server_.Send(":srv 432 * []B0T[] :Erroneous Nickname\r\n");
    ASSERT_TRUE(AwaitCondition([&] { return server_.Connections() == 3; }, 5000));
    EXPECT_EQ(errors_, Texts{std::string("Nick []B0T[] abgelehnt: Erroneous Nickname. Neuer Versuch mit der nächsten Verbindung."_w1252)});
    for (const std::string& line : server_.Texts()) EXPECT_EQ(line.find("[]B0T[]_"), std::string::npos) << line;
    bot_->OfflineButtonClick();
}

// A partner who renames himself while his answer is being typed gets the
// rest of it under his new nick; one who leaves gets nothing more.
TEST_F(BotRuntimeTest, APartnersNickChangeOrQuitMidAnswerIsFollowed) {
    GoOnline();
    auto mark = Mark();
    server_.Send(":anna!a@h PRIVMSG Tovik-B0T :hi, wie alt bist du?\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna :", mark), 0);
    server_.Send(":anna!a@h NICK :anna_away\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG anna_away :", mark), 0);
    ASSERT_TRUE(AwaitCondition([&] { return bot_->PendingAnswers() == 0; }));

    mark = Mark();
    server_.Send(":bert!b@h PRIVMSG Tovik-B0T :hi, wie alt bist du?\r\n:bert!b@h PRIVMSG Tovik-B0T :und woher?\r\n");
    ASSERT_GE(server_.WaitForPrefix("PRIVMSG bert :", mark), 0);
    // Carl's answer is typed after the rest of Bert's would have been.
    server_.Send(":bert!b@h QUIT :weg\r\n:carl!c@h PRIVMSG Tovik-B0T :hi, wie alt bist du?\r\n");
    ASSERT_TRUE(AwaitCondition([&] { return bot_->PendingAnswers() == 0; }));
    const Texts texts = server_.Texts(mark);
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("PRIVMSG bert :", 0) == 0; }), 1);
    // The message never begun is still reported.
    EXPECT_NE(std::find(texts.begin(), texts.end(), "PRIVMSG #Tovik-B0T :" + kGrey + "<-- bert: und woher?"), texts.end());
}

TEST_F(BotRuntimeTest, ASettingBrokenWhileWaitingIsReportedAndTheBotStillComesBack) {
    BotTimings timings = {};
    timings.pace = SendPace{100000, std::chrono::milliseconds(1)};
    timings.reconnectScale = 0.01;
    bot_->SetTimings(timings);
    GoOnline();
    Set("IRC", "Port", "sechs");
    server_.CloseClient();
    ASSERT_TRUE(AwaitCondition([&] { return !errors_.empty(); }));
    EXPECT_EQ(errors_, Texts{"'sechs' ist kein g\xfcltiger Integerwert"});
    EXPECT_EQ(bot_->State(), BotState::Waiting);
    Set("IRC", "Port", std::to_string(server_.Port()));
    ASSERT_TRUE(AwaitCondition([&] { return server_.Connections() == 2; }, 5000));
    bot_->OfflineButtonClick();
}

}  // namespace
}  // namespace tovik
