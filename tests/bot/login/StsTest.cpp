// STS policies: what a value says, what a connection must do, and the file
// beside the profiles that keeps them across runs.

#include "bot/login/Sts.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace tovik {
namespace {

TEST(Sts, ParsesPortAndDurationAndSkipsTheRest) {
    auto shown = [](std::string_view value) {
        const StsValue sts = ParseSts(value);
        return (sts.port ? std::to_string(*sts.port) : "-") + " " + (sts.duration ? std::to_string(*sts.duration) : "-");
    };
    for (const auto& [value, expected] : std::vector<std::pair<std::string, std::string>>{
             {"port=6697,duration=2592000", "6697 2592000"}, {"duration=0", "- 0"}, {"preload,port=7000,x=y", "7000 -"},
             {"port=0,duration=-5", "- -"}, {"port=70000,duration=12s", "- -"}, {"", "- -"}})
        EXPECT_EQ(shown(value), expected) << value;
}

// One host however it is written: case, the root's dot, IPv6 spellings.
TEST(Sts, HostKeysAreNormalisedInOnePlace) {
    for (const auto& [host, key] : std::vector<std::pair<std::string, std::optional<std::string>>>{
             {"IRC.Example.NET.", "irc.example.net"}, {"[::1]", "::1"}, {"0:0:0::1", "::1"},
             {"2001:DB8:0:0::A", "2001:db8::a"}, {"127.0.0.1", "127.0.0.1"}, {"Ärger.de", "Ärger.de"},
             {"", std::nullopt}, {".", std::nullopt}, {"a b", std::nullopt}, {"a", std::nullopt}})
        EXPECT_EQ(StsHostKey(host), key) << host;
}

class StsPoliciesTest : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    std::int64_t now_ = 1'800'000'000;
    std::string File() const { return StsPolicies::FileIn(dir_.path().toStdString()); }
    StsPolicies Load() const { return StsPolicies(File(), [this] { return now_; }); }
};

TEST_F(StsPoliciesTest, PlainIsSentToTlsAndATlsPolicyHoldsUntilItExpiresOrIsWithdrawn) {
    StsPolicies policies = Load();
    EXPECT_EQ(policies.Heard("irc.example.net", false, 6667, "port=6697,duration=300").upgradeTo, 6697);
    EXPECT_EQ(policies.Heard("irc.example.net", false, 6667, "duration=300").upgradeTo, std::nullopt);
    EXPECT_EQ(policies.TlsPortFor("irc.example.net"), std::nullopt);  // only TLS sets a policy
    // On TLS the port key says nothing: the policy is for the port in use.
    EXPECT_FALSE(policies.Heard("IRC.Example.net", true, 6697, "port=9999,duration=300").saveFailed);
    policies.Heard("other.example.org", true, 7000, "duration=60");
    EXPECT_EQ(test::ReadFileBytes(File()), "irc.example.net 6697 1800000300\nother.example.org 7000 1800000060\n");
    EXPECT_EQ(policies.TlsPortFor("irc.example.NET"), 6697);
    EXPECT_EQ(policies.TlsPortFor("irc.example.net."), 6697);
    now_ += 299;  // read back by the next run
    EXPECT_EQ(Load().TlsPortFor("irc.example.net"), 6697);
    now_ += 1;
    EXPECT_EQ(Load().TlsPortFor("irc.example.net"), std::nullopt);
    now_ -= 300;
    policies.Heard("other.example.org", true, 7000, "duration=0");
    EXPECT_EQ(policies.TlsPortFor("other.example.org"), std::nullopt);
    EXPECT_EQ(test::ReadFileBytes(File()), "irc.example.net 6697 1800000300\n");
}

TEST_F(StsPoliciesTest, BrokenLinesAndAnUnwritableFileAreNoPolicy) {
    test::WriteFileBytes(File(), "good.example 6697 1900000000\nbad line\nx 0 1900000000\ny 6697 soon\n");
    EXPECT_EQ(Load().TlsPortFor("good.example"), 6697);
    EXPECT_EQ(Load().TlsPortFor("x"), std::nullopt);
    StsPolicies nowhere(dir_.path().toStdString() + "/missing/sts-policies", [this] { return now_; });
    EXPECT_TRUE(nowhere.Heard("irc.example.net", true, 6697, "duration=300").saveFailed);
}

}  // namespace
}  // namespace tovik
