#pragma once
// How partners reach the bot for its photo: the address and port an offer
// names, the DCC listener behind them, and the router's forward for as long
// as the listener is open.
//
// The profile's [DCC] section decides: OwnAddress (an address or a host
// name to put in offers), Port (the listener's port) and MapPort (1: ask
// the router to forward the port and offer its external address).
//
// An offer is built in one go, while the photo answer is, and must not wait;
// what may take a while (a host name to resolve, a router to find) is looked
// up ahead, when a connection stands, and again at each offer for the next.

#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "chat/Answers.h"

namespace tovik {

class DCCServer;
class PortMapper;
class ProfileContext;
class RouterProtocol;

class PhotoReach {
public:
    // What the IRC connection tells of the bot's place in the network.
    struct Link {
        std::string local;    // the connection's own address
        std::string server;   // the server's address
        std::string ownHost;  // the bot's address as the server shows it
    };
    using Tell = std::function<void(const std::string& text)>;
    using MakeRouter = std::function<std::unique_ptr<RouterProtocol>()>;

    // `defaultPort` stands for an absent [DCC] Port.
    PhotoReach(ProfileContext& context, DCCServer& dcc, std::uint16_t defaultPort, Tell tell, MakeRouter makeRouter);
    ~PhotoReach();

    // A connection stands: what the next offers need is looked up.
    void Connected();
    // It is over: what was told once may be told again on the next.
    void Disconnected() { told_.clear(); }
    // Offers would name the bot's address as the server shows it: a picture
    // is set, and neither OwnAddress nor MapPort says otherwise.
    bool WantsServerView() const;
    // What one photo answer offers; `link` is asked only when the offer
    // names its address.
    std::unique_ptr<PhotoOffer> Offer(std::function<Link()> link);

private:
    class Answer;
    std::string Address(const Link& link);
    std::uint16_t PreparePort();
    std::vector<std::string> OwnAddresses(const std::string& setting);
    void Resolve(const std::string& name);
    bool MapPort() const;
    PortMapper& Mapper();
    void Opened(std::uint16_t port);
    void TellOnce(const std::string& text);

    ProfileContext& context_;
    DCCServer& dcc_;
    std::uint16_t defaultPort_;
    Tell tell_;
    MakeRouter makeRouter_;
    std::unique_ptr<PortMapper> mapper_;  // made when the profile first asks for it
    QObject receiver_;                    // what the listener and the resolver report to

    // The last host name of OwnAddress resolved, and what it stood for.
    std::string resolvedName_;
    std::vector<std::string> resolved_;
    std::chrono::steady_clock::time_point resolvedAt_;
    std::string resolving_;  // a lookup under way for this name
    std::set<std::string> told_;
};

}  // namespace tovik
