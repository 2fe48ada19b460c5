#include "bot/photo/PhotoReach.h"

#include <QHostInfo>

#include "bot/photo/OfferAddress.h"
#include "chat/Answers.h"
#include "chat/Persona.h"
#include "profile/ProfileStore.h"
#include "services/DCCServer.h"
#include "services/PortMapper.h"
#include "text/Cp1252.h"
#include "text/Errors.h"
#include "text/Literal.h"

namespace tovik {

using namespace literals;

namespace {

constexpr const char* kSection = "DCC";
// A host name's addresses are taken again after this long; one that
// follows a changing home address is seldom slower than that.
constexpr auto kResolvedFor = std::chrono::minutes(5);

std::string QuotedName(std::string_view setting) {
    return std::string("„"_w1252) + std::string(setting) + std::string("“"_w1252);
}

}  // namespace

// One photo answer: its address and port, and its listener.
class PhotoReach::Answer final : public PhotoOffer {
public:
    Answer(PhotoReach& reach, std::function<Link()> link) : reach_(reach), link_(std::move(link)) {}
    std::string LocalAddress() const override { return reach_.Address(link_()); }
    std::uint16_t PrepareDccPort() override { return reach_.PreparePort(); }
    void SwitchDccOn() override { reach_.dcc_.SwitchOn(); }

private:
    PhotoReach& reach_;
    std::function<Link()> link_;
};

PhotoReach::PhotoReach(ProfileContext& context, DCCServer& dcc, std::uint16_t defaultPort, Tell tell,
                       MakeRouter makeRouter)
    : context_(context), dcc_(dcc), defaultPort_(defaultPort), tell_(std::move(tell)), makeRouter_(std::move(makeRouter)) {
    QObject::connect(&dcc_, &DCCServer::Opened, &receiver_, [this](quint16 port) { Opened(port); });
    QObject::connect(&dcc_, &DCCServer::Closed, &receiver_, [this] {
        if (mapper_) mapper_->Withdraw();
    });
}

PhotoReach::~PhotoReach() = default;

std::unique_ptr<PhotoOffer> PhotoReach::Offer(std::function<Link()> link) {
    return std::make_unique<Answer>(*this, std::move(link));
}

bool PhotoReach::MapPort() const {
    return StrToInt(ProfileFile(context_.ProfilePath()).ReadValue(kSection, "MapPort", "0")) != 0;
}

PortMapper& PhotoReach::Mapper() {
    if (!mapper_) {
        mapper_ = std::make_unique<PortMapper>(makeRouter_());
        QObject::connect(mapper_.get(), &PortMapper::Failed, &receiver_, [this](const std::string& text) {
            TellOnce(text + std::string(". Ohne Weiterleitung erreicht kein Partner das Foto: den Port im Router "
                                        "von Hand weiterleiten und die äußere Adresse unter „Eigene Adresse“ "
                                        "(OwnAddress) eintragen."_w1252));
        });
    }
    return *mapper_;
}

void PhotoReach::Connected() {
    const std::string own = ProfileFile(context_.ProfilePath()).ReadValue(kSection, "OwnAddress", "");
    if (!own.empty() && CanonicalAddress(own).empty()) Resolve(own);
    if (MapPort()) Mapper().LookUp();
}

bool PhotoReach::WantsServerView() const {
    const ProfileFile profile(context_.ProfilePath());
    return !ExpandPersona("<picture>", profile).empty() && profile.ReadValue(kSection, "OwnAddress", "").empty() &&
           profile.ReadValue(kSection, "MapPort", "0") == "0";
}

std::string PhotoReach::Address(const Link& link) {
    const std::string own = ProfileFile(context_.ProfilePath()).ReadValue(kSection, "OwnAddress", "");
    OfferSources sources{OwnAddresses(own), {}, link.ownHost, link.local, link.server};
    if (MapPort()) {
        PortMapper& mapper = Mapper();
        if (!mapper.Refused()) sources.router = mapper.Address();
        if (mapper.Address().empty()) mapper.LookUp();  // for the next offer
    }
    const OfferChoice choice = ChooseOfferAddress(sources);
    if (choice.address.empty()) {
        const std::string known = choice.withheld.empty()
                                      ? std::string("keine Adresse, die von außen erreichbar ist"_w1252)
                                      : "nur seine Adresse " + choice.withheld +
                                            std::string(", die von außen niemand erreicht"_w1252);
        TellOnce("Kein Foto angeboten: der Bot kennt " + known +
                 std::string(". Hinter einem Router mit UPnP oder NAT-PMP im IRC-Dialog „Port im Router freigeben“ "
                             "einschalten (MapPort=1); sonst den DCC-Port im Router weiterleiten und unter „Eigene "
                             "Adresse“ (OwnAddress) die äußere Adresse eintragen."_w1252));
    }
    return choice.address;
}

std::uint16_t PhotoReach::PreparePort() {
    // While the listener is open, offers name its port, as the router
    // forwards it.
    if (dcc_.IsListening()) {
        if (mapper_ && mapper_->ForwardedPort()) return *mapper_->ForwardedPort();
        return dcc_.Port();
    }
    const std::string text =
        ProfileFile(context_.ProfilePath()).ReadValue(kSection, "Port", std::to_string(defaultPort_));
    const int port = StrToInt(text);
    if (port < 0 || port > 65535) throw ConvertError(text);
    dcc_.SetPort(static_cast<quint16>(port));
    // Any free port is known only once the listener has it.
    if (port == 0) dcc_.SwitchOn();
    return dcc_.Port();
}

void PhotoReach::Opened(std::uint16_t port) {
    try {
        if (MapPort()) Mapper().Forward(port);
    } catch (const std::exception& error) {
        TellOnce(error.what());
    }
}

std::vector<std::string> PhotoReach::OwnAddresses(const std::string& setting) {
    if (setting.empty()) return {};
    if (std::string literal = CanonicalAddress(setting); !literal.empty()) return {literal};
    const bool known = resolvedName_ == setting;
    if (!known || std::chrono::steady_clock::now() - resolvedAt_ > kResolvedFor) Resolve(setting);
    // Until its first answer the name stands for nothing, and the offer
    // takes the next best address.
    return known ? resolved_ : std::vector<std::string>{};
}

void PhotoReach::Resolve(const std::string& name) {
    if (resolving_ == name) return;
    resolving_ = name;
    // Qt's resolver runs on a thread of its own; the answer comes as an event.
    QHostInfo::lookupHost(QString::fromStdString(Cp1252ToUtf8(name)), &receiver_, [this, name](const QHostInfo& info) {
        if (resolving_ == name) resolving_.clear();
        std::vector<std::string> addresses;
        for (const QHostAddress& address : info.addresses())
            if (std::string text = CanonicalAddress(address.toString().toStdString()); !text.empty())
                addresses.push_back(std::move(text));
        if (addresses.empty()) {
            TellOnce("Die eigene Adresse " + QuotedName(name) +
                     std::string(" (OwnAddress) lässt sich nicht auflösen: "_w1252) +
                     Utf8ToCp1252(info.errorString().toStdString()));
            if (resolvedName_ == name) resolved_.clear();
            return;
        }
        resolvedName_ = name;
        resolved_ = std::move(addresses);
        resolvedAt_ = std::chrono::steady_clock::now();
    });
}

void PhotoReach::TellOnce(const std::string& text) {
    if (told_.insert(text).second) tell_(text);
}

}  // namespace tovik
