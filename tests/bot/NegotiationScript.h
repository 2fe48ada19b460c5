#pragma once
// Plays a server's side of a capability negotiation: ">" lines are what the
// server sends ("> ?" is the runtime's time-out), "<" lines what the bot must
// answer, byte for byte. Gives the facts that came out: failure texts as
// they are, "account: ..." and "sts: ...". A slow step (a key derivation)
// is computed at once, as if the worker had finished before the next line.

#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "bot/login/CapNegotiation.h"

namespace tovik::test {

inline std::vector<std::string> PlayNegotiation(CapNegotiation& negotiation, const std::string& script) {
    CapNegotiation::Outcome outcome = negotiation.Begin();
    std::vector<std::string> facts;
    std::string expected = "CAP LS 302\n", sent, after = "the start";
    auto settle = [&] {
        for (const auto& line : outcome.send) sent += line;
        if (outcome.failure) facts.push_back(*outcome.failure);
        if (outcome.account) facts.push_back("account: " + *outcome.account);
        if (outcome.sts) facts.push_back("sts: " + *outcome.sts);
        EXPECT_EQ(Escaped(sent), Escaped(expected)) << "after " << after;
        sent = expected = "";
    };
    for (std::size_t at = 0, end; at < script.size(); at = end + 1) {
        end = std::min(script.find('\n', at), script.size());
        const std::string line = script.substr(at + 2, end - at - 2);
        if (script[at] == '<') {
            expected += line + "\n";
            continue;
        }
        settle();
        after = line;
        outcome = line == "?" ? negotiation.GiveUp() : negotiation.Handle(line);
        while (outcome.work) {
            CapNegotiation::Outcome computed = negotiation.Computed(outcome.work());
            computed.send.insert(computed.send.begin(), outcome.send.begin(), outcome.send.end());
            outcome = std::move(computed);
        }
    }
    settle();
    EXPECT_TRUE(negotiation.Finished());
    return facts;
}

}  // namespace tovik::test
