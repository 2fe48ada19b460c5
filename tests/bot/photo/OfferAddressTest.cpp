// Which address a photo offer names, from what the bot knows of itself.

#include "bot/photo/OfferAddress.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

struct Row {
    const char* why;
    OfferSources sources;  // own, router, server's view, local, server
    const char* offered;   // "": no offer
    const char* withheld = "";
};

TEST(OfferAddressTest, TheAddressAStrangerCanReachOrNone) {
    const std::string pub = "198.51.100.2";  // a server on the internet
    const Row rows[] = {
        {"server on this machine: the connection's own address, as ever", {{}, "", "", "127.0.0.1", "127.0.0.1"}, "127.0.0.1"},
        {"server on the LAN", {{}, "", "host.lan", "192.168.1.20", "192.168.1.5"}, "192.168.1.20"},
        {"behind a router: the bot as the server sees it", {{}, "", "203.0.113.7", "192.168.1.20", pub}, "203.0.113.7"},
        {"behind a router, a cloaked host", {{}, "", "user.cloak", "192.168.1.20", pub}, "", "192.168.1.20"},
        {"server on the LAN seeing the bot elsewhere: as ever", {{}, "", "192.168.1.9", "192.168.1.20", "192.168.1.5"}, "192.168.1.20"},
        {"a bouncer beside the bot: as ever, unless MapPort", {{}, "", "203.0.113.7", "127.0.0.1", "127.0.0.1"}, "127.0.0.1"},
        {"a bouncer beside the bot, MapPort", {{}, "203.0.113.1", "203.0.113.7", "127.0.0.1", "127.0.0.1"}, "203.0.113.1"},
        {"the bot's own address private, the server public", {{}, "", "", "10.1.2.3", pub}, "", "10.1.2.3"},
        {"OwnAddress first, whatever the rest", {{"198.51.100.9"}, "203.0.113.1", "203.0.113.7", "10.1.2.3", pub}, "198.51.100.9"},
        {"OwnAddress is the operator's word, even private", {{"10.0.0.5"}, "", "", "192.168.1.20", pub}, "10.0.0.5"},
        {"OwnAddress's name: IPv4 first", {{"2001:db8::9", "198.51.100.9"}, "", "", "192.168.1.20", pub}, "198.51.100.9"},
        {"OwnAddress's name: IPv6 only", {{"2001:DB8:0::9"}, "", "", "192.168.1.20", pub}, "2001:db8::9"},
        {"OwnAddress's name not resolved yet", {{}, "", "203.0.113.7", "192.168.1.20", pub}, "203.0.113.7"},
        {"MapPort: the router's external address", {{}, "203.0.113.1", "203.0.113.7", "192.168.1.20", pub}, "203.0.113.1"},
        {"a router behind a carrier's NAT", {{}, "100.64.3.4", "user.cloak", "192.168.1.20", pub}, "", "100.64.3.4"},
        {"IPv6: the global address", {{}, "", "", "2001:db8:1::20", "2001:db8:2::2"}, "2001:db8:1::20"},
        {"IPv6: the server shows it in brackets", {{}, "", "[2001:db8:1::20]", "fd00::20", "2001:db8:2::2"}, "2001:db8:1::20"},
        {"IPv6: a unique local address", {{}, "", "", "fd00::20", "2001:db8:2::2"}, "", "fd00::20"},
        {"IPv6: link-local", {{}, "", "", "fe80::1%eth0", "2001:db8:2::2"}, "", "fe80::1"},
        {"IPv6 server on a unique local network", {{}, "", "", "fd00::20", "fd00::2"}, "fd00::20"},
        {"IPv4 as IPv6, and a connection without an address", {{}, "", "::ffff:203.0.113.7", "0.0.0.0", pub}, "203.0.113.7"},
        {"nothing anyone could connect to", {{}, "", "0.0.0.0", "", pub}, ""},
        {"loopback to a stranger", {{}, "", "127.0.0.1", "127.0.0.1", pub}, "", "127.0.0.1"},
        {"a link-local IPv4 address", {{}, "", "", "169.254.10.1", pub}, "", "169.254.10.1"},
        {"private ranges end where they end", {{}, "", "172.32.0.1", "172.31.0.1", pub}, "172.32.0.1", ""},
    };
    for (const Row& row : rows) {
        const OfferChoice choice = ChooseOfferAddress(row.sources);
        EXPECT_EQ(choice.address, row.offered) << row.why;
        EXPECT_EQ(choice.withheld, row.withheld) << row.why;
    }
}

}  // namespace
}  // namespace tovik
