#pragma once
// Plays a server's side of a capability negotiation: ">" lines are what the
// server sends ("> ?" is the runtime's time-out), "<" lines what the bot must
// answer, byte for byte. Gives the failure texts that came out.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "bot/CapNegotiation.h"

namespace tovik::test {

inline std::vector<std::string> PlayNegotiation(CapNegotiation& negotiation, const std::string& script) {
    CapNegotiation::Outcome outcome = negotiation.Begin();
    std::vector<std::string> failures;
    std::string expected = "CAP LS 302\n", sent, after = "the start";
    auto settle = [&] {
        for (const auto& line : outcome.send) sent += line;
        if (outcome.failure) failures.push_back(*outcome.failure);
        EXPECT_EQ(Escaped(sent), Escaped(expected)) << "after " << after;
        sent.clear();
        expected.clear();
    };
    for (std::size_t at = 0; at < script.size();) {
        const auto end = script.find('\n', at);
        const std::string raw = script.substr(at, end - at), line = raw.substr(2);
        at = end + 1;
        if (raw[0] == '<') {
            expected += line + "\n";
            continue;
        }
        settle();
        after = line;
        outcome = line == "?" ? negotiation.GiveUp() : negotiation.Handle(line);
    }
    settle();
    EXPECT_TRUE(negotiation.Finished());
    return failures;
}

}  // namespace tovik::test
