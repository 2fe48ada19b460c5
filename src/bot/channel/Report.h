#pragma once
// The one shape of a report line in the command channel: IRC colour 14
// (grey) first, so that the operator tells reports from the channel's talk.

#include <string>
#include <string_view>

#include "irc/IRC.h"

namespace tovik {

inline constexpr std::string_view kReportPrefix = "\x03" "14";

inline std::string MakeReport(std::string_view channel, std::string_view text) {
    std::string line(kReportPrefix);
    line.append(text);
    return MakePrivMsg(channel, line);
}

}  // namespace tovik
