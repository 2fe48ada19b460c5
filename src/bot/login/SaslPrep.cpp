#include "bot/login/SaslPrep.h"

#include <stringprep.h>

#include <cstdlib>
#include <memory>

namespace tovik {

std::optional<std::string> SaslPrep(std::string_view utf8) {
    // libidn reads a C string: a NUL inside would cut the text short, and
    // NUL is a prohibited character anyway.
    if (utf8.find('\0') != std::string_view::npos) return std::nullopt;
    const std::string in(utf8);
    char* prepared = nullptr;
    // Flags 0: a query string, so unassigned code points are allowed.
    if (stringprep_profile(in.c_str(), &prepared, "SASLprep", Stringprep_profile_flags{}) != STRINGPREP_OK)
        return std::nullopt;
    const std::unique_ptr<char, decltype(&std::free)> owned(prepared, &std::free);
    std::string out(prepared);
    if (out.empty()) return std::nullopt;
    return out;
}

}  // namespace tovik
