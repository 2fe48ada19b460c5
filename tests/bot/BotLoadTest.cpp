// Many private messages at once: every one reported, every one from a nick
// that is not denied answered, nothing lost, memory held within bounds.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "FakeIrcServer.h"
#include "TestSupport.h"
#include "bot/BotRuntime.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"

namespace tovik {
namespace {

using test::FakeIrcServer;
using test::AwaitCondition;

const std::string kReport = "PRIVMSG #Tovik-B0T :\x03" "14<-- ";

class BotLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkpath("PROFILES"));
        context_ = ProfileContext(dir_.path().toStdString(), "load");
        Set("IRC", "Server", "127.0.0.1");
        Set("IRC", "Port", std::to_string(server_.Port()));
        bot_ = std::make_unique<BotRuntime>(context_, random_, BotPorts{0, 0});
        // The fake server takes lines at loopback speed.
        BotTimings fast;
        fast.pace = SendPace{1'000'000, std::chrono::milliseconds(1)};
        bot_->SetTimings(fast);
        QObject::connect(bot_.get(), &BotRuntime::ErrorOccurred, [this](const std::string& e) { errors_.push_back(e); });
    }
    void Set(std::string_view section, std::string_view key, std::string_view value) {
        ProfileFile(context_.ProfilePath()).WriteValue(section, key, value);
    }
    void GoOnline() {
        ASSERT_TRUE(bot_->OnlineButtonClick());
        ASSERT_TRUE(server_.WaitForClient());
        server_.Send(":srv 376 Tovik-B0T :End of MOTD\r\n:srv 353 Tovik-B0T = #Tovik-B0T :@Tovik-B0T\r\n"
                     ":srv 366 Tovik-B0T #Tovik-B0T :End\r\nPING :online\r\n");
        ASSERT_TRUE(server_.WaitForLines(7));
        ASSERT_GE(server_.WaitForLine("PONG online"), 0);
    }
    std::size_t CountPrefix(const std::string& prefix, std::size_t from) const {
        std::size_t count = 0;
        const auto& lines = server_.Lines();
        for (std::size_t i = from; i < lines.size(); ++i) count += lines[i].text.rfind(prefix, 0) == 0;
        return count;
    }

    QCoreApplication& app_ = test::EnsureApp();
    QTemporaryDir dir_;
    ProfileContext context_;
    Random random_;
    FakeIrcServer server_;
    std::unique_ptr<BotRuntime> bot_;
    std::vector<std::string> errors_;
};

TEST_F(BotLoadTest, FiveThousandMessagesFromTwoHundredFiftySenders) {
    Set("General", "CharTime", "1");
    GoOnline();
    // Every tenth sender is denied from the command channel first.
    std::string commands;
    for (int s = 0; s < 250; s += 10) commands += ":op!o@h PRIVMSG #Tovik-B0T :.answer s" + std::to_string(s) + " off\r\n";
    server_.Send(commands);
    server_.Send("PING :denied\r\n");
    ASSERT_GE(server_.WaitForLine("PONG denied"), 0);  // all 25 reports are in
    ASSERT_EQ(bot_->DenyList().size(), 25u);
    const std::size_t mark = server_.Lines().size();

    // Short messages with one short answer line each, mostly smileys; twenty from each sender, the most that wait.
    const char* texts[] = {":)", ":)", ":)", ":)", ":)", ":)", ":)", ":)", "hi", "deutsch?"};
    std::map<std::string, int> sent;
    int denied = 0;
    std::string batch;
    for (int i = 0; i < 5000; ++i) {
        const int s = (i * 7) % 250;
        const std::string nick = std::string("s").append(std::to_string(s));
        batch += ":" + nick + "!u@h PRIVMSG Tovik-B0T :" + texts[i % 10] + "\r\n";
        ++sent[nick];
        denied += s % 10 == 0;
        if (batch.size() > 16 * 1024) {
            server_.Send(batch);
            batch.clear();
        }
    }
    server_.Send(batch);

    std::size_t maxPending = 0;
    const std::size_t expected = 5000 + 2 * static_cast<std::size_t>(5000 - denied);
    const bool done = AwaitCondition(
        [&] {
            maxPending = std::max(maxPending, bot_->PendingAnswers());
            return server_.Lines().size() >= mark + expected;
        },
        90000);
    ASSERT_TRUE(done) << (server_.Lines().size() - mark) << " of " << expected << " lines";
    ASSERT_TRUE(AwaitCondition([&] { return bot_->PendingAnswers() == 0; }));
    EXPECT_LE(maxPending, 5000u);

    EXPECT_EQ(CountPrefix(kReport, mark), 5000u);
    for (const auto& [nick, count] : sent) {
        const bool isDenied = bot_->IsDenied(nick);
        EXPECT_EQ(CountPrefix(kReport + nick + ": ", mark), static_cast<std::size_t>(count)) << nick;
        EXPECT_EQ(CountPrefix("PRIVMSG " + nick + " :", mark), isDenied ? 0u : static_cast<std::size_t>(count)) << nick;
    }
    EXPECT_EQ(server_.Lines().size(), mark + expected);
    EXPECT_TRUE(errors_.empty());
    EXPECT_TRUE(bot_->IsConnected());
}

TEST_F(BotLoadTest, BeyondTheBoundMessagesAreReportedButNotAnswered) {
    Set("General", "CharTime", "100000");  // nothing gets answered during this test
    GoOnline();
    const std::size_t mark = server_.Lines().size();
    std::string batch;
    for (int i = 0; i < 10'500; ++i) batch += ":n" + std::to_string(i) + "!u@h PRIVMSG Tovik-B0T :hi\r\n";
    server_.Send(batch);
    // Every sender's message is being typed; the 500 beyond 10,000 are
    // reported and dropped.
    ASSERT_GE(server_.WaitForPrefix(kReport + "n10499: hi", mark, 30000), 0);
    EXPECT_EQ(bot_->PendingAnswers(), 10'000u);
    for (int i = 10'000; i < 10'500; ++i)
        EXPECT_EQ(CountPrefix(kReport + "n" + std::to_string(i) + ": hi", mark), 1u) << i;
    EXPECT_EQ(CountPrefix("PRIVMSG n", mark), 0u);
    server_.Send("PING :still\r\n");
    EXPECT_GE(server_.WaitForLine("PONG still", mark), 0);
}

}  // namespace
}  // namespace tovik
