#pragma once
// Strict Transport Security for IRC (the IRCv3 "sts" capability). A server
// offers it in its CAP LS with a value such as
//
//   sts=port=6697,duration=2592000
//
// On a plain connection "port" says: leave, and come back with TLS there (no
// falling back to plain). On a TLS connection "duration" is how many seconds
// the bot must keep to TLS for this host; 0 forgets the policy.
//
// The policies live in one small file beside the profiles, one line per host
// ("host port expiry", expiry in Unix seconds); its name does not end in
// ".ini", so no one takes it for a profile. Qt-free; the clock comes in.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tovik {

struct StsValue {
    std::optional<std::uint16_t> port;
    std::optional<std::int64_t> duration;  // seconds
};
// Unknown keys are skipped; a number that is not one leaves its key out.
StsValue ParseSts(std::string_view value);

// A host as policies are kept and compared: letters in lower case, without
// the root's trailing dot, an IPv6 address in its one canonical spelling
// (without brackets). Nothing for a name that could not stand in the file
// (empty, or with a blank or a control character).
std::optional<std::string> StsHostKey(std::string_view host);

class StsPolicies {
public:
    using UnixClock = std::function<std::int64_t()>;  // seconds since 1970

    static constexpr std::string_view kFileName = "sts-policies";
    // The file's place in a profiles directory.
    static std::string FileIn(const std::string& profilesDirectory);

    // Reads the file; a missing one holds no policies.
    StsPolicies(std::string file, UnixClock now);

    struct Verdict {
        std::optional<std::uint16_t> upgradeTo;  // reconnect with TLS to this port
        bool saveFailed = false;                 // the policy could not be written down
    };
    // What the "sts" value from the LS of a connection to `host` asks.
    Verdict Heard(std::string_view host, bool tls, std::uint16_t connectedPort, std::string_view value);

    // Before a plain connection to `host`: the TLS port a policy in force
    // demands instead.
    std::optional<std::uint16_t> TlsPortFor(std::string_view host) const;

private:
    struct Policy {
        std::uint16_t port;
        std::int64_t expiry;
    };
    bool Save() const;

    std::string file_;
    UnixClock now_;
    std::map<std::string, Policy> policies_;  // by StsHostKey
};

}  // namespace tovik
