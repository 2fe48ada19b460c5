#pragma once
// The program's name and notice: in the window caption, the command
// channel's topic and the ".info" reply.

#include <string_view>

namespace tovik {

inline constexpr std::string_view kProgramName = "Tovik-B0T";
inline constexpr std::string_view kCreditNotice = "(c) 2026 Tovik-Team";
inline constexpr std::string_view kCreditLine = "Tovik-B0T (c) 2026 Tovik-Team";
inline constexpr std::string_view kVersion = "0.10 BETA";

}  // namespace tovik
