#pragma once
// The address a photo offer names: one that the partner, somewhere on the
// internet, can connect to. What the bot knows of itself comes from several
// places, and some of them are no use to a stranger: behind a home router
// the connection's own address is the LAN address (192.168.1.20), beside a
// bouncer it is 127.0.0.1. A partner's client would connect to that address
// in its own network, and every partner would learn the operator's LAN
// layout. Such addresses go only to partners on a server that is itself on
// such a network (a LAN party, a test server on this machine).
//
// Pure and Qt-free: text in, text out.

#include <string>
#include <string_view>
#include <vector>

namespace tovik {

// An IP address in one canonical text: IPv4 dotted ("192.168.1.20"), IPv6
// as RFC 5952 writes it ("2001:db8::5"), an IPv4-mapped IPv6 address as the
// IPv4 one. Brackets and a zone ("%eth0") are dropped. Empty: the text is no
// IP address, or one nobody can connect to (0.0.0.0/8, ::, multicast).
std::string CanonicalAddress(std::string_view text);

// Where an address can be reached from. Private: RFC 1918, the carriers'
// shared 100.64.0.0/10 (RFC 6598) and IPv6 unique local fc00::/7.
enum class AddressKind { Public, Private, LinkLocal, Loopback };
// Of an address CanonicalAddress accepts.
AddressKind KindOf(std::string_view address);

// What the bot knows when it builds an offer, best first.
struct OfferSources {
    // What the operator's OwnAddress stands for: the address written there,
    // or what its host name resolved to. Taken as it is: the operator knows
    // where partners can reach the bot.
    std::vector<std::string> own;
    std::string router;      // the router's external address, forwarding the port (MapPort=1)
    std::string serverView;  // the bot's host as the IRC server shows it
    std::string local;       // the IRC connection's own address
    std::string server;      // the IRC server's address
};

struct OfferChoice {
    std::string address;   // canonical; empty: no offer goes out
    std::string withheld;  // with no offer: the address kept from strangers
};

// OwnAddress (its first IPv4 address, else its first); otherwise the first
// of router, server's view and local address that is an IP address a
// partner may be given: a public one. When the server is not public itself,
// any address goes, and the local address before the server's view.
OfferChoice ChooseOfferAddress(const OfferSources& sources);

}  // namespace tovik
