// The router's side of a port forward, spoken with the libraries that the
// big peer-to-peer programs use for it: miniupnpc for UPnP-IGD (SSDP
// discovery, the device description, the SOAP calls and the quirks of many
// routers' descriptions) and libnatpmp for NAT-PMP, which routers speaking
// its successor PCP answer as well.

#define ENABLE_STRNATPMPERR
#include <natpmp.h>
#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>
#include <sys/select.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <map>
#include <string>

#include "services/PortMapper.h"
#include "text/Literal.h"

namespace tovik {

using namespace literals;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDiscoveryMs = 2000;
// libnatpmp by itself retries for about a minute; a router that has not
// answered in a few seconds will not.
constexpr auto kNatPmpBound = std::chrono::milliseconds(3500);
constexpr const char* kDescription = "Tovik-B0T Foto";
constexpr int kOnlyPermanentLeases = 725;

// One NAT-PMP request to the default gateway and its answer.
class NatPmp {
public:
    NatPmp() { error_ = initnatpmp(&natpmp_, 0, 0); }
    ~NatPmp() {
        if (error_ == 0) closenatpmp(&natpmp_);
    }
    NatPmp(const NatPmp&) = delete;
    NatPmp& operator=(const NatPmp&) = delete;

    // `send` puts the request on its way; false with `why` when no answer.
    template <typename Send>
    bool Exchange(Send send, natpmpresp_t& response, std::string& why) {
        int result = error_;
        if (result == 0) result = send(&natpmp_);
        const Clock::time_point deadline = Clock::now() + kNatPmpBound;
        while (result >= 0) {
            timeval wait{};
            getnatpmprequesttimeout(&natpmp_, &wait);
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                why = "keine Antwort";
                return false;
            }
            if (wait.tv_sec * 1'000'000 + wait.tv_usec > left.count())
                wait = {static_cast<time_t>(left.count() / 1'000'000), static_cast<suseconds_t>(left.count() % 1'000'000)};
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(natpmp_.s, &readable);
            ::select(natpmp_.s + 1, &readable, nullptr, nullptr, &wait);
            result = readnatpmpresponseorretry(&natpmp_, &response);
            if (result == 0) return true;
            if (result == NATPMP_TRYAGAIN) result = 0;
        }
        why = strnatpmperr(result);
        return false;
    }

private:
    natpmp_t natpmp_{};
    int error_ = 0;
};

std::string Ipv4Text(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

class UpnpOrNatPmp final : public RouterProtocol {
public:
    ~UpnpOrNatPmp() override { ForgetIgd(); }

    RouterAnswer ExternalAddress() override {
        return Either([&](RouterAnswer& answer, std::string& why) { return FindIgd(why) && UpnpAddress(answer, why); },
                      [&](RouterAnswer& answer, std::string& why) { return PmpAddress(answer, why); });
    }

    RouterAnswer Forward(quint16 port, std::chrono::seconds lease) override {
        const auto upnp = [&](RouterAnswer& answer, std::string& why) {
            if (!FindIgd(why)) return false;
            const std::string number = std::to_string(port);
            const std::string seconds = std::to_string(lease.count());
            const int result = UPNP_AddPortMapping(urls_.controlURL, data_.first.servicetype, number.c_str(),
                                                   number.c_str(), lanAddress_, kDescription, "TCP", nullptr,
                                                   seconds.c_str());
            // A router that keeps forwards only for ever is not asked for
            // one: after a crash it would stay open.
            if (result != UPNPCOMMAND_SUCCESS) {
                why = result == kOnlyPermanentLeases ? "der Router kennt nur dauerhafte Weiterleitungen"
                                                     : UpnpError(result);
                return false;
            }
            natPmpPorts_.erase(port);
            std::string ignored;
            UpnpAddress(answer, ignored);
            answer = {true, answer.address, port, lease, {}};
            return true;
        };
        const auto pmp = [&](RouterAnswer& answer, std::string& why) {
            natpmpresp_t response{};
            const auto send = [&](natpmp_t* natpmp) {
                return sendnewportmappingrequest(natpmp, NATPMP_PROTOCOL_TCP, port, port,
                                                 static_cast<uint32_t>(lease.count()));
            };
            if (!NatPmp().Exchange(send, response, why)) return false;
            const quint16 external = response.pnu.newportmapping.mappedpublicport;
            natPmpPorts_[external] = port;
            std::string ignored;
            PmpAddress(answer, ignored);
            answer = {true, answer.address, external, std::chrono::seconds(response.pnu.newportmapping.lifetime), {}};
            return true;
        };
        return Either(upnp, pmp);
    }

    void Withdraw(quint16 externalPort) override {
        if (const auto found = natPmpPorts_.find(externalPort); found != natPmpPorts_.end()) {
            // A lifetime of 0 for the internal port removes the mapping
            // (RFC 6886, 3.4).
            const quint16 internal = found->second;
            natPmpPorts_.erase(found);
            natpmpresp_t response{};
            std::string ignored;
            NatPmp().Exchange(
                [&](natpmp_t* natpmp) { return sendnewportmappingrequest(natpmp, NATPMP_PROTOCOL_TCP, internal, 0, 0); },
                response, ignored);
            return;
        }
        std::string ignored;
        if (!FindIgd(ignored)) return;
        const std::string number = std::to_string(externalPort);
        UPNP_DeletePortMapping(urls_.controlURL, data_.first.servicetype, number.c_str(), "TCP", nullptr);
    }

private:
    // Finds the router's UPnP service once; found, it is asked directly.
    bool FindIgd(std::string& why) {
        if (igd_) return true;
        int error = 0;
        UPNPDev* devices = upnpDiscover(kDiscoveryMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
        if (!devices) {
            why = "kein Gerät antwortet";
            return false;
        }
        const int found = UPNP_GetValidIGD(devices, &urls_, &data_, lanAddress_, sizeof lanAddress_);
        freeUPNPDevlist(devices);
        // 1: a router that is connected; 2: one that says it is not, which
        // some say wrongly and forward all the same.
        if (found == 1 || found == 2) return igd_ = true;
        if (found != 0) FreeUPNPUrls(&urls_);
        why = "kein Internet-Router (IGD) unter den Geräten";
        return false;
    }

    void ForgetIgd() {
        if (igd_) FreeUPNPUrls(&urls_);
        igd_ = false;
    }

    bool UpnpAddress(RouterAnswer& answer, std::string& why) {
        char address[64] = {};
        const int result = UPNP_GetExternalIPAddress(urls_.controlURL, data_.first.servicetype, address);
        if (result == UPNPCOMMAND_SUCCESS && address[0] != '\0') {
            answer.ok = true;
            answer.address = address;
            return true;
        }
        why = UpnpError(result);
        // The router may have gone or changed: look for it anew next time.
        ForgetIgd();
        return false;
    }

    static std::string UpnpError(int result) {
        const char* text = strupnperror(result);
        return text ? std::string(text) : "Fehler " + std::to_string(result);
    }

    // UPnP first; once a router has answered by NAT-PMP only, NAT-PMP
    // first, so that a renewal does not wait out a UPnP discovery each time.
    template <typename Upnp, typename Pmp>
    RouterAnswer Either(Upnp upnp, Pmp pmp) {
        RouterAnswer answer;
        std::string whyUpnp = "nicht gefragt", whyPmp = "nicht gefragt";
        const bool pmpFirst = preferNatPmp_;
        for (const bool byPmp : {pmpFirst, !pmpFirst}) {
            if (byPmp ? pmp(answer, whyPmp) : upnp(answer, whyUpnp)) {
                preferNatPmp_ = byPmp;
                return answer;
            }
        }
        answer.error = "UPnP: " + whyUpnp + "; NAT-PMP: " + whyPmp;
        return answer;
    }

    bool PmpAddress(RouterAnswer& answer, std::string& why) {
        natpmpresp_t response{};
        if (!NatPmp().Exchange(sendpublicaddressrequest, response, why)) return false;
        answer.ok = true;
        answer.address = Ipv4Text(response.pnu.publicaddress.addr);
        return true;
    }

    bool igd_ = false;
    bool preferNatPmp_ = false;
    UPNPUrls urls_{};
    IGDdatas data_{};
    char lanAddress_[64] = {};
    // Forwarded by NAT-PMP, withdrawn the same way: external to internal port.
    std::map<quint16, quint16> natPmpPorts_;
};

}  // namespace

std::unique_ptr<RouterProtocol> MakeRouterProtocol() { return std::make_unique<UpnpOrNatPmp>(); }

}  // namespace tovik
