#include "bot/login/Sts.h"

#include <charconv>
#include <limits>

#include "profile/ProfileStore.h"

namespace tovik {
namespace {

template <typename T>
std::optional<T> Number(std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// Host names compare without case; a name with a blank or a line end
// could not stand in the file.
std::optional<std::string> HostKey(std::string_view host) {
    if (host.empty()) return std::nullopt;
    std::string key;
    for (char c : host) {
        if (static_cast<unsigned char>(c) <= ' ') return std::nullopt;
        key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return key;
}

}  // namespace

StsValue ParseSts(std::string_view value) {
    StsValue sts;
    while (!value.empty()) {
        const auto comma = value.find(',');
        const std::string_view pair = value.substr(0, comma);
        const auto eq = pair.find('=');
        const std::string_view key = pair.substr(0, eq);
        const std::string_view text = eq == std::string_view::npos ? std::string_view{} : pair.substr(eq + 1);
        if (key == "port") {
            const auto port = Number<std::uint32_t>(text);
            if (port && *port >= 1 && *port <= 65535) sts.port = static_cast<std::uint16_t>(*port);
        } else if (key == "duration") {
            sts.duration = Number<std::int64_t>(text);
        }
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    return sts;
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
        const auto host = HostKey(line.substr(0, first));
        const auto port = Number<std::uint32_t>(line.substr(first + 1, second - first - 1));
        const auto expiry = Number<std::int64_t>(line.substr(second + 1));
        if (host && port && *port >= 1 && *port <= 65535 && expiry)
            policies_[*host] = {static_cast<std::uint16_t>(*port), *expiry};
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
    const auto key = HostKey(host);
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
    const auto key = HostKey(host);
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
