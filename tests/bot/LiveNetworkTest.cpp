// The bot on real IRC servers as a live network runs them: InspIRCd with the
// flood protection of Debian's shipped connect class, and ngircd. Each test
// starts its own server on a free loopback port with a configuration written
// into its temporary directory, runs the bot at its real sending pace, and
// talks to it through ordinary IRC clients:
//
//   - a crowd of partners asking ten questions each at once: the server must
//     not throw the bot off, and every question is answered;
//   - the server going away and coming back: the bot returns by itself, sets
//     its command channel up again, answers under a varied nick while
//     someone holds its own, and takes its nick back once it is free;
//   - a command channel that someone else created first: the bot says so
//     once, reports nothing there, obeys nothing from there, and still
//     answers its partners.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <algorithm>
#include <iostream>
#include <memory>
#include <regex>

#include "IrcTestClient.h"
#include "SecureServers.h"
#include "TestSupport.h"
#include "bot/BotRuntime.h"
#include "chat/Answers.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"

namespace tovik {
namespace {

using test::AwaitCondition;
using test::IrcTestClient;

const std::string kGrey = "\x03" "14";
const std::string kChannel = "#Tovik-B0T";
const std::string kNick = "TovikBot";

enum class ServerKind { InspIRCd, Ngircd };

const char* BinaryOf(ServerKind kind) {
    return kind == ServerKind::InspIRCd ? "/usr/sbin/inspircd" : "/usr/sbin/ngircd";
}

std::string NameOf(ServerKind kind) { return kind == ServerKind::InspIRCd ? "InspIRCd" : "ngircd"; }

// So that a failure names the server, not four bytes.
void PrintTo(ServerKind kind, std::ostream* os) { *os << NameOf(kind); }


// One IRC server in the foreground, started and stopped by the test. It is
// stopped with SIGKILL: that is the outage the restart test wants, and a
// server that may crash on its way out cannot hang the test there.
class LiveServer {
public:
    LiveServer(ServerKind kind, QString dir, quint16 port) : kind_(kind), dir_(std::move(dir)), port_(port) {}
    ~LiveServer() { Kill(); }

    bool Start() {
        Kill();
        process_ = std::make_unique<QProcess>();
        process_->setProcessChannelMode(QProcess::MergedChannels);
        process_->setWorkingDirectory(dir_);
        process_->start(BinaryOf(kind_), kind_ == ServerKind::InspIRCd ? WriteInspircdConfig() : WriteNgircdConfig());
        if (!process_->waitForStarted(5000)) return false;
        return AwaitCondition([this] { return test::Accepts(port_); }, 15000);
    }

    void Kill() {
        if (!process_) return;
        output_ += process_->readAll().toStdString();
        process_->kill();
        process_->waitForFinished(5000);
        output_ += process_->readAll().toStdString();
        process_.reset();
    }

    std::string Output() {
        if (process_) output_ += process_->readAll().toStdString();
        return output_;
    }

private:
    // The shared connect class, with the server's own defaults for what it
    // leaves out: fake lag on, one command per second.
    QStringList WriteInspircdConfig() {
        const QString conf = dir_ + "/inspircd.conf";
        const std::string text =
            "<server name=\"irc.test.local\" description=\"Test server\" network=\"Testnet\">\n"
            "<admin name=\"Test\" nick=\"Test\" email=\"test@test.local\">\n"
            "<bind address=\"127.0.0.1\" port=\"" + std::to_string(port_) + "\" type=\"clients\">\n" +
            test::InspircdClientRules(dir_ + "/inspircd.log");
        test::WriteFileBytes(conf.toStdString(), text);
        QStringList args{"--nofork", "--nopid", "--config=" + conf};
        // It refuses to run as root unless told that this is meant.
        if (geteuid() == 0) args << "--runasroot";
        return args;
    }

    // ngircd's defaults, but no limit of connections per address (all
    // users here share one) and no DNS or ident look-ups. Started as root
    // it drops to "nobody", so its directory and configuration are readable
    // by everyone.
    QStringList WriteNgircdConfig() {
        QFile::setPermissions(dir_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                        QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        const QString conf = dir_ + "/ngircd.conf";
        const std::string text = "[Global]\nName = irc.test.local\nInfo = Test server\nListen = 127.0.0.1\n"
                                 "Ports = " + std::to_string(port_) + "\nMotdPhrase = Willkommen\n"
                                 "AdminInfo1 = Test\nAdminInfo2 = Test\nAdminEMail = test@test.local\n"
                                 "[Limits]\nMaxConnectionsIP = 0\nMaxNickLength = 30\n"
                                 "[Options]\nPAM = no\nDNS = no\nIdent = no\n";
        test::WriteFileBytes(conf.toStdString(), text);
        QFile::setPermissions(conf, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        return {"-n", "-f", conf};
    }

    ServerKind kind_;
    QString dir_;
    quint16 port_;
    std::unique_ptr<QProcess> process_;
    std::string output_;
};

// A reply never offers the picture here (none is set), so nothing of the
// running bot is needed to build one.
class NoPhoto final : public PhotoOffer {
public:
    std::string LocalAddress() const override { return "127.0.0.1"; }
    std::uint16_t PrepareDccPort() override { return 0; }
    void SwitchDccOn() override {}
};

class LiveNetworkTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        if (!QFile::exists(BinaryOf(GetParam()))) GTEST_SKIP() << NameOf(GetParam()) << " is not installed";
        test::EnsureApp();
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkpath("PROFILES"));
        context_ = ProfileContext(dir_.path().toStdString(), "live");
        port_ = test::FreeLoopbackPort();
        server_ = std::make_unique<LiveServer>(GetParam(), dir_.path(), port_);
        Set("IRC", "Server", "127.0.0.1");
        Set("IRC", "Port", std::to_string(port_));
        Set("IRC", "BotNick", kNick);
        Set("General", "CharTime", "5");
        Set("PersonData", "PreName", "Tovik");
    }

    void TearDown() override {
        bot_.reset();  // before the server, so that it does not try again
        if (HasFailure() && server_) std::cerr << "server output:\n" << server_->Output() << "\n";
    }

    void Set(std::string_view section, std::string_view key, std::string_view value) {
        ProfileFile(context_.ProfilePath()).WriteValue(section, key, value);
    }

    // The real sending pace; only the waits around a lost connection are
    // shortened where a test asks for it.
    void StartBot(BotTimings timings = {}) {
        bot_ = std::make_unique<BotRuntime>(context_, random_, BotPorts{0, 0});
        bot_->SetTimings(timings);
        QObject::connect(bot_.get(), &BotRuntime::LineReceived, [this](const std::string& l) { log_.push_back(l); });
        QObject::connect(bot_.get(), &BotRuntime::ErrorOccurred,
                         [this](const std::string& e) { errors_.push_back(e); });
        QObject::connect(bot_.get(), &BotRuntime::StateChanged,
                         [this](BotState state, qint64) { states_.push_back(state); });
        ASSERT_TRUE(bot_->OnlineButtonClick());
    }

    // Index of the first line of the bot's log from `from` on that holds
    // `part`; -1 when none came within ms.
    int Logged(std::string_view part, int ms = 15000, std::size_t from = 0) {
        int found = -1;
        AwaitCondition(
            [&] {
                for (std::size_t i = from; i < log_.size(); ++i)
                    if (log_[i].find(part) != std::string::npos) return (found = static_cast<int>(i)) >= 0;
                return false;
            },
            ms);
        return found;
    }

    std::size_t CountStates(BotState state) const {
        return static_cast<std::size_t>(std::count(states_.begin(), states_.end(), state));
    }

    // The bot's own channel set-up, as the bot sees the server confirm it.
    void ExpectChannelSetUp(const std::string& nick, std::size_t from) {
        ASSERT_GE(Logged(" 366 " + nick + " " + kChannel + " ", 15000, from), 0) << "no JOIN as " << nick;
        ASSERT_GE(Logged(" TOPIC " + kChannel + " :--] " + kNick + "'s Kommando Channel", 15000, from), 0);
        ASSERT_GE(Logged(" MODE " + kChannel + " ", 15000, from), 0);
    }

    std::unique_ptr<IrcTestClient> Connect(const std::string& nick) {
        auto client = std::make_unique<IrcTestClient>();
        EXPECT_TRUE(client->Connect(port_, nick)) << nick << " could not register";
        return client;
    }

    // A user invited into the command channel from the console, so that it
    // sees what the bot posts there.
    std::unique_ptr<IrcTestClient> Watcher(const std::string& nick) {
        auto watcher = Connect(nick);
        bot_->SendEditKeyPress("invite " + nick);
        EXPECT_GE(watcher->WaitForText("INVITE " + nick), 0);
        watcher->Send("JOIN " + kChannel);
        EXPECT_GE(watcher->WaitForText(" 366 " + nick + " " + kChannel + " "), 0);
        return watcher;
    }

    // The channel as a member sees it: the bot's topic, its modes, the bot
    // as its operator.
    void ExpectChannelAsSeenBy(IrcTestClient& member, const std::string& nick, const std::string& botNick) {
        const int topic = member.WaitForText(" 332 " + nick + " " + kChannel + " ");
        ASSERT_GE(topic, 0);
        EXPECT_NE(member.Lines()[topic].find(":--] " + kNick + "'s Kommando Channel [----] Tovik-B0T"),
                  std::string::npos)
            << member.Lines()[topic];
        const int names = member.WaitForText(" 353 " + nick + " ");
        ASSERT_GE(names, 0);
        EXPECT_NE(member.Lines()[names].find("@" + botNick), std::string::npos) << member.Lines()[names];
        const auto mark = member.Mark();
        member.Send("MODE " + kChannel);
        const int modes = member.WaitForText(" 324 " + nick + " " + kChannel + " ", 10000, mark);
        ASSERT_GE(modes, 0);
        const std::string& line = member.Lines()[modes];
        const std::string modeText = line.substr(line.find(kChannel) + kChannel.size());
        for (char mode : std::string("imnst")) EXPECT_NE(modeText.find(mode), std::string::npos) << line;
    }

    // How many lines the bot answers `question` with: one per category the
    // message touches, which does not depend on the random picks.
    int AnswerLines(const std::string& question) {
        NoPhoto photo;
        Random random;
        return ReplyLineCount(BuildReply(question, ProfileFile(context_.ProfilePath()), random, photo));
    }

    // Lines that the server sent the bot to say it is being thrown off.
    std::vector<std::string> ThrownOffLines() const {
        std::vector<std::string> found;
        for (const auto& line : log_)
            if (line.rfind("ERROR", 0) == 0 || line.find("Excess Flood") != std::string::npos ||
                line.find("RecvQ exceeded") != std::string::npos || line.find("SendQ exceeded") != std::string::npos)
                found.push_back(line);
        return found;
    }

    QTemporaryDir dir_;
    ProfileContext context_;
    Random random_;
    quint16 port_ = 0;
    std::unique_ptr<LiveServer> server_;
    std::unique_ptr<BotRuntime> bot_;
    std::vector<std::string> log_;
    std::vector<std::string> errors_;
    std::vector<BotState> states_;
};

// Eight partners with ten questions each, all at once: more than the old
// unpaced bot could write before the server's flood protection threw it
// off. Now every question is answered, the reports that could not keep up
// are summed up, and the bot is still there afterwards.
TEST_P(LiveNetworkTest, AFloodOfQuestionsIsAnsweredAndTheBotStaysOnTheServer) {
    ASSERT_TRUE(server_->Start()) << server_->Output();
    StartBot();
    ASSERT_NO_FATAL_FAILURE(ExpectChannelSetUp(kNick, 0));
    auto watcher = Watcher("watcher");
    ASSERT_FALSE(HasFailure());

    const std::vector<std::string> questions = {
        "hallo",           "wie alt bist du?",     "woher kommst du?",     "wie siehst du aus?",
        "was machst du so?", "bist du m oder w?", "hast du hobbys?",      "wie geht es dir?",
        "du bist dumm",    "was hoerst du fuer musik?"};
    int perPartner = 0;
    for (const auto& question : questions) {
        const int lines = AnswerLines(question);
        ASSERT_GE(lines, 1) << question;
        perPartner += lines;
    }

    constexpr int kPartners = 8;
    std::vector<std::unique_ptr<IrcTestClient>> partners;
    for (int p = 1; p <= kPartners; ++p) partners.push_back(Connect("partner" + std::to_string(p)));
    ASSERT_FALSE(HasFailure());
    const auto watchFrom = watcher->Mark();
    const auto logFrom = log_.size();
    const auto started = std::chrono::steady_clock::now();
    for (auto& partner : partners)
        for (const auto& question : questions) partner->Send("PRIVMSG " + kNick + " :" + question);

    // Only the bot sends the partners anything.
    const auto answers = [&](int p) {
        return static_cast<int>(partners[p]->Count(" PRIVMSG partner" + std::to_string(p + 1) + " :"));
    };
    const auto allAnswers = [&] {
        int total = 0;
        for (int p = 0; p < kPartners; ++p) total += answers(p);
        return total;
    };
    const int expected = kPartners * perPartner;
    // At one line a second the answers alone take over a minute.
    const bool answered = AwaitCondition([&] { return allAnswers() >= expected || !ThrownOffLines().empty(); },
                                         (expected + 60) * 1000);
    const auto answeredAfter = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(ThrownOffLines().empty()) << ThrownOffLines().front();
    ASSERT_TRUE(answered) << allAnswers() << " of " << expected << " answer lines";
    for (int p = 0; p < kPartners; ++p) EXPECT_EQ(answers(p), perPartner) << "partner" << p + 1;
    // Paced, not unloaded in one go: the answers took about a second each.
    EXPECT_GE(answeredAfter, std::chrono::seconds(expected - 10));

    // The reports come after the answers, and those that had to wait too
    // long stand in a summary: together they account for every message in
    // and every line out.
    const std::regex summary("\\((\\d+) Meldungen ausgelassen");
    const auto accounted = [&] {
        std::size_t count = 0;
        for (std::size_t i = watchFrom; i < watcher->Lines().size(); ++i) {
            const std::string& line = watcher->Lines()[i];
            if (line.find(" PRIVMSG " + kChannel + " :" + kGrey) == std::string::npos) continue;
            std::smatch match;
            if (line.find(kGrey + "<-- partner") != std::string::npos ||
                line.find(kGrey + "--> partner") != std::string::npos)
                ++count;
            else if (std::regex_search(line, match, summary))
                count += std::stoul(match[1].str());
        }
        return count;
    };
    const std::size_t messages = kPartners * questions.size();
    EXPECT_TRUE(AwaitCondition(
        [&] { return accounted() >= messages + static_cast<std::size_t>(expected) || !ThrownOffLines().empty(); },
        150000))
        << accounted() << " of " << messages + expected << " reports accounted for";
    EXPECT_EQ(accounted(), messages + static_cast<std::size_t>(expected));

    // Still registered and answering, never thrown off, never gone.
    const auto mark = partners[0]->Mark();
    partners[0]->Send("PRIVMSG " + kNick + " :hallo");
    EXPECT_GE(partners[0]->WaitForText(":" + kNick + "!", 15000, mark), 0);
    EXPECT_TRUE(bot_->IsConnected());
    EXPECT_TRUE(ThrownOffLines().empty()) << ThrownOffLines().front();
    for (std::size_t i = watchFrom; i < watcher->Lines().size(); ++i) {
        const std::string& line = watcher->Lines()[i];
        if (line.rfind(":" + kNick + "!", 0) == 0) {
            EXPECT_NE(line.find(" PRIVMSG " + kChannel + " :"), std::string::npos) << "not a report: " << line;
        }
    }
    EXPECT_EQ(CountStates(BotState::Waiting), 0u);
    EXPECT_TRUE(errors_.empty()) << errors_.front();
    for (std::size_t i = logFrom; i < log_.size(); ++i)
        EXPECT_EQ(log_[i].find(" KILL "), std::string::npos) << log_[i];
    std::cout << "[ timing   ] " << NameOf(GetParam()) << ": " << expected << " answer lines in "
              << std::chrono::duration_cast<std::chrono::seconds>(answeredAfter).count() << " s\n";
}

// The server dies and comes back on the same port, twice. The bot comes
// back by itself each time and sets its channel up again. The second time
// someone has taken its nick in the meantime: it registers under a
// variation, answers to that, and takes its own nick back (asking with
// ISON, since the holder shares no channel with it) once the holder leaves.
TEST_P(LiveNetworkTest, AfterTheServerRestartsTheBotReturnsAndTakesItsNickBack) {
    ASSERT_TRUE(server_->Start()) << server_->Output();
    BotTimings timings;
    timings.reconnectScale = 0.1;  // about 1.5 s instead of 15
    timings.nickCheck = std::chrono::milliseconds(2000);
    StartBot(timings);
    ASSERT_NO_FATAL_FAILURE(ExpectChannelSetUp(kNick, 0));
    ASSERT_EQ(CountStates(BotState::Online), 1u);

    // Restart: the bot notices, waits, and returns.
    server_->Kill();
    ASSERT_TRUE(AwaitCondition([&] { return CountStates(BotState::Waiting) >= 1; }, 10000));
    EXPECT_FALSE(bot_->IsConnected());
    const auto logFrom = log_.size();
    const auto restarted = std::chrono::steady_clock::now();
    ASSERT_TRUE(server_->Start()) << server_->Output();
    ASSERT_TRUE(AwaitCondition([&] { return CountStates(BotState::Online) >= 2; }, 20000));
    std::cout << "[ timing   ] back "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - restarted)
                     .count()
              << " ms after the server\n";
    ASSERT_NO_FATAL_FAILURE(ExpectChannelSetUp(kNick, logFrom));
    {
        auto watcher = Watcher("watcher");
        ASSERT_NO_FATAL_FAILURE(ExpectChannelAsSeenBy(*watcher, "watcher", kNick));
        auto partner = Connect("partner");
        partner->Send("PRIVMSG " + kNick + " :hallo, wie alt bist du?");
        EXPECT_GE(partner->WaitForText(":" + kNick + "!", 15000), 0);
        EXPECT_GE(watcher->WaitForText(kGrey + "<-- partner: hallo, wie alt bist du?"), 0);
        EXPECT_GE(watcher->WaitForText(kGrey + "--> partner: "), 0);
    }

    // Second restart, and a user grabs the nick before the bot is back.
    timings.reconnectScale = 0.4;  // 6 s give or take 20 %: time enough to get in first
    bot_->SetTimings(timings);
    const auto waitingBefore = CountStates(BotState::Waiting);
    server_->Kill();
    ASSERT_TRUE(AwaitCondition([&] { return CountStates(BotState::Waiting) > waitingBefore; }, 10000));
    const auto heldFrom = log_.size();
    ASSERT_TRUE(server_->Start()) << server_->Output();
    auto holder = Connect(kNick);
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(AwaitCondition([&] { return CountStates(BotState::Online) >= 3; }, 30000));
    const std::string varied = kNick + "_";
    ASSERT_GE(Logged(" 001 " + varied + " ", 1000, heldFrom), 0) << "the bot is not registered as " << varied;
    ASSERT_NO_FATAL_FAILURE(ExpectChannelSetUp(varied, heldFrom));

    auto partner = Connect("partner");
    {
        auto watcher = Watcher("watcher");
        ASSERT_NO_FATAL_FAILURE(ExpectChannelAsSeenBy(*watcher, "watcher", varied));
        auto mark = partner->Mark();
        partner->Send("PRIVMSG " + varied + " :woher kommst du?");
        EXPECT_GE(partner->WaitForText(":" + varied + "!", 15000, mark), 0);
        EXPECT_GE(watcher->WaitForText(kGrey + "<-- partner: woher kommst du?"), 0);
        // A message to the configured nick reaches its holder, not the bot.
        const auto holderMark = holder->Mark();
        partner->Send("PRIVMSG " + kNick + " :bist du es?");
        EXPECT_GE(holder->WaitForText(" PRIVMSG " + kNick + " :bist du es?", 10000, holderMark), 0);

        // The holder leaves; the bot asks, learns the nick is free and takes it.
        const auto nickFrom = log_.size();
        holder->Send("QUIT :weg");
        ASSERT_GE(Logged(" NICK :" + kNick, 15000, nickFrom), 0) << "the nick was not taken back";
        EXPECT_GE(watcher->WaitForText(":" + varied + "!", 1000), 0);
        EXPECT_GE(watcher->WaitForText(" NICK :" + kNick, 5000), 0);
        EXPECT_GE(Logged(" 303 " + varied + " ", 1000, heldFrom), 0) << "no ISON reply came";

        mark = partner->Mark();
        partner->Send("PRIVMSG " + kNick + " :hallo");
        EXPECT_GE(partner->WaitForText(":" + kNick + "!", 15000, mark), 0);
        EXPECT_GE(watcher->WaitForText(kGrey + "<-- partner: hallo"), 0);
    }
    EXPECT_TRUE(bot_->IsConnected());
    EXPECT_EQ(CountStates(BotState::Online), 3u);
}

// Someone else created the command channel before the bot came: the bot
// tells the operator once, and the channel's holder learns nothing of the
// bot's conversations and cannot command it.
TEST_P(LiveNetworkTest, ACommandChannelHeldBySomeoneElseGetsNoReportsAndNoObedience) {
    ASSERT_TRUE(server_->Start()) << server_->Output();
    auto squatter = Connect("squatter");
    squatter->Send("JOIN " + kChannel);
    ASSERT_GE(squatter->WaitForText(" 366 squatter " + kChannel + " "), 0);
    // Locked as a careful owner would: only operators set the topic.
    squatter->Send("MODE " + kChannel + " +nt");
    squatter->Send("MODE " + kChannel);
    ASSERT_GE(squatter->WaitForText(" 324 squatter " + kChannel + " "), 0);

    StartBot();
    ASSERT_GE(squatter->WaitForText(":" + kNick + "!", 15000), 0) << "the bot did not join";
    ASSERT_TRUE(AwaitCondition([&] { return !errors_.empty(); }, 15000));
    EXPECT_EQ(errors_.front().rfind("Kommando-Channel " + kChannel + ": ", 0), 0u) << errors_.front();

    // Partners are answered, and nothing of it shows in the channel.
    auto partner = Connect("partner");
    partner->Send("PRIVMSG " + kNick + " :hallo, wie alt bist du?");
    ASSERT_GE(partner->WaitForText(" PRIVMSG partner :", 15000), 0);

    // Commands from the channel go nowhere. The squatter's own question
    // comes after them on the same connection, so its answer shows that
    // the commands had their turn.
    squatter->Send("PRIVMSG " + kChannel + " :.say partner ich bin nicht der bot");
    squatter->Send("PRIVMSG " + kChannel + " :.info");
    squatter->Send("PRIVMSG " + kChannel + " :.join #anderswo");
    squatter->Send("PRIVMSG " + kChannel + " :.answer partner off");
    squatter->Send("PRIVMSG " + kNick + " :woher kommst du?");
    ASSERT_GE(squatter->WaitForText(" PRIVMSG squatter :", 15000), 0);
    // And one more answer to the partner, behind anything the commands made.
    const auto mark = partner->Mark();
    partner->Send("PRIVMSG " + kNick + " :was machst du so?");
    ASSERT_GE(partner->WaitForText(" PRIVMSG partner :", 15000, mark), 0);

    EXPECT_EQ(partner->Count("ich bin nicht der bot"), 0u);
    EXPECT_EQ(squatter->Count(" PRIVMSG " + kChannel + " :"), 0u) << "the bot posted in a channel it does not hold";
    EXPECT_EQ(squatter->Count(" TOPIC " + kChannel + " "), 0u);
    EXPECT_FALSE(bot_->IsDenied("partner"));
    EXPECT_EQ(Logged(" JOIN :#anderswo", 0), -1);
    EXPECT_EQ(Logged(" JOIN #anderswo", 0), -1);
    std::size_t channelErrors = 0;
    for (const auto& error : errors_) channelErrors += error.rfind("Kommando-Channel ", 0) == 0;
    EXPECT_EQ(channelErrors, 1u);
    EXPECT_TRUE(bot_->IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Servers, LiveNetworkTest, ::testing::Values(ServerKind::InspIRCd, ServerKind::Ngircd),
                         [](const ::testing::TestParamInfo<ServerKind>& info) { return NameOf(info.param); });

}  // namespace
}  // namespace tovik
