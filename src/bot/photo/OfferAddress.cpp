#include "bot/photo/OfferAddress.h"

#include <arpa/inet.h>
#include <array>
#include <cstdint>
#include <cstring>

namespace tovik {

namespace {

std::string Ipv4Text(const std::uint8_t* bytes) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, bytes, text, sizeof text);
    return text;
}

bool OffersNothing4(const std::uint8_t* b) { return b[0] == 0 || b[0] >= 224; }  // "this network", multicast, reserved

}  // namespace

std::string CanonicalAddress(std::string_view text) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
    text = text.substr(0, text.find('%'));
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return {};
    const std::string copy(text);
    std::array<std::uint8_t, 16> bytes{};
    // inet_pton takes only the four-part dotted form, so "1.2" or "0x7f.1"
    // (which other parsers read as addresses) stay host names.
    if (::inet_pton(AF_INET, copy.c_str(), bytes.data()) == 1)
        return OffersNothing4(bytes.data()) ? std::string() : Ipv4Text(bytes.data());
    if (::inet_pton(AF_INET6, copy.c_str(), bytes.data()) != 1) return {};
    static constexpr std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(bytes.data(), kMapped, 12) == 0)
        return OffersNothing4(bytes.data() + 12) ? std::string() : Ipv4Text(bytes.data() + 12);
    static constexpr std::uint8_t kUnspecified[16] = {};
    if (std::memcmp(bytes.data(), kUnspecified, 16) == 0 || bytes[0] == 0xFF) return {};
    char out[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, bytes.data(), out, sizeof out);
    return out;
}

AddressKind KindOf(std::string_view address) {
    const std::string copy(address);
    std::uint8_t b[16] = {};
    if (::inet_pton(AF_INET, copy.c_str(), b) == 1) {
        if (b[0] == 127) return AddressKind::Loopback;
        if (b[0] == 169 && b[1] == 254) return AddressKind::LinkLocal;
        if (b[0] == 10 || (b[0] == 172 && (b[1] & 0xF0) == 16) || (b[0] == 192 && b[1] == 168) ||
            (b[0] == 100 && (b[1] & 0xC0) == 64))
            return AddressKind::Private;
        return AddressKind::Public;
    }
    if (::inet_pton(AF_INET6, copy.c_str(), b) != 1) return AddressKind::Public;
    static constexpr std::uint8_t kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (std::memcmp(b, kLoopback, 16) == 0) return AddressKind::Loopback;
    if (b[0] == 0xFE && (b[1] & 0xC0) == 0x80) return AddressKind::LinkLocal;
    if ((b[0] & 0xFE) == 0xFC) return AddressKind::Private;
    return AddressKind::Public;
}

OfferChoice ChooseOfferAddress(const OfferSources& sources) {
    // Every DCC client reads the IPv4 number; the IPv6 text only newer ones.
    std::string firstOwn;
    for (const std::string& own : sources.own) {
        const std::string address = CanonicalAddress(own);
        if (address.empty()) continue;
        if (address.find(':') == std::string::npos) return {address, {}};
        if (firstOwn.empty()) firstOwn = address;
    }
    if (!firstOwn.empty()) return {firstOwn, {}};

    const std::string server = CanonicalAddress(sources.server);
    const bool serverIsPublic = server.empty() || KindOf(server) == AddressKind::Public;
    // A server on this machine or the LAN: the connection's own address, as
    // the bot has always offered there (a bouncer beside the bot needs the
    // router or OwnAddress).
    const std::string* const publicOrder[] = {&sources.router, &sources.serverView, &sources.local};
    const std::string* const localOrder[] = {&sources.router, &sources.local, &sources.serverView};
    OfferChoice choice;
    for (const std::string* candidate : serverIsPublic ? publicOrder : localOrder) {
        const std::string address = CanonicalAddress(*candidate);
        if (address.empty()) continue;
        if (!serverIsPublic || KindOf(address) == AddressKind::Public) return {address, {}};
        if (choice.withheld.empty()) choice.withheld = address;
    }
    return choice;
}

}  // namespace tovik
