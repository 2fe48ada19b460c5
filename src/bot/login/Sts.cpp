#include "bot/login/Sts.h"

#include <arpa/inet.h>

#include <limits>

#include "irc/Lists.h"
#include "profile/ProfileStore.h"

namespace tovik {
namespace {

std::optional<std::uint16_t> Port(std::string_view text) {
    const auto port = DecimalNumber<std::uint32_t>(text);
    if (!port || *port < 1 || *port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

}  // namespace

StsValue ParseSts(std::string_view value) {
    StsValue sts;
    for (const std::string_view item : SplitList(value, ',')) {
        const auto [key, text] = KeyAndValue(item);
        if (key == "port") sts.port = Port(text);
        else if (key == "duration") sts.duration = DecimalNumber<std::int64_t>(text);
    }
    return sts;
}

std::optional<std::string> StsHostKey(std::string_view host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.ends_with('.')) host.remove_suffix(1);
    if (host.empty()) return std::nullopt;
    std::string key;
    for (char c : host) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7F') return std::nullopt;
        key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    // "::1", "0:0::1" and "[::1]" are one host.
    in6_addr address{};
    if (key.find(':') != std::string::npos && ::inet_pton(AF_INET6, key.c_str(), &address) == 1) {
        char canonical[INET6_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET6, &address, canonical, sizeof canonical)) key = canonical;
    }
    return key;
}

std::string StsPolicies::FileIn(const std::string& profilesDirectory) {
    return profilesDirectory + "/" + std::string(kFileName);
}

StsPolicies::StsPolicies(std::string file, UnixClock now) : file_(std::move(file)), now_(std::move(now)) {
    std::string content;
    if (!ReadWholeFile(file_, content)) return;
    std::string_view rest = content;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        // host port expiry; a line that is not is skipped.
        const auto first = line.find(' ');
        const auto second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        if (second == std::string_view::npos) continue;
        const auto host = StsHostKey(line.substr(0, first));
        const auto port = Port(line.substr(first + 1, second - first - 1));
        const auto expiry = DecimalNumber<std::int64_t>(line.substr(second + 1));
        if (host && port && expiry) policies_[*host] = {*port, *expiry};
    }
}

StsPolicies::Verdict StsPolicies::Heard(std::string_view host, bool tls, std::uint16_t connectedPort,
                                        std::string_view value) {
    const StsValue sts = ParseSts(value);
    Verdict verdict;
    if (!tls) {
        // Only a secure connection may set a policy; a plain one is told
        // where to go, and a value without a port is no policy at all.
        verdict.upgradeTo = sts.port;
        return verdict;
    }
    const auto key = StsHostKey(host);
    if (!sts.duration || !key) return verdict;
    if (*sts.duration == 0) {
        if (policies_.erase(*key) == 0) return verdict;
    } else {
        // The policy holds for the port this secure connection uses; its
        // own "port" key speaks only to plain connections.
        const std::int64_t now = now_();
        const std::int64_t expiry =
            *sts.duration > std::numeric_limits<std::int64_t>::max() - now ? std::numeric_limits<std::int64_t>::max()
                                                                            : now + *sts.duration;
        policies_[*key] = {connectedPort, expiry};
    }
    verdict.saveFailed = !Save();
    return verdict;
}

std::optional<std::uint16_t> StsPolicies::TlsPortFor(std::string_view host) const {
    const auto key = StsHostKey(host);
    if (!key) return std::nullopt;
    const auto found = policies_.find(*key);
    if (found == policies_.end() || found->second.expiry <= now_()) return std::nullopt;
    return found->second.port;
}

bool StsPolicies::Save() const {
    // Expired policies are left out as the file is written anew.
    const std::int64_t now = now_();
    std::string content;
    for (const auto& [host, policy] : policies_)
        if (policy.expiry > now)
            content += host + ' ' + std::to_string(policy.port) + ' ' + std::to_string(policy.expiry) + '\n';
    return ReplaceWholeFile(file_, content);
}

}  // namespace tovik
