#include "bot/login/Registration.h"

#include <QSslSocket>
#include <ctime>
#include <utility>

#include "bot/login/Scram.h"
#include "bot/login/Sts.h"
#include "bot/link/TlsPin.h"
#include "irc/IRC.h"
#include "profile/ProfileStore.h"
#include "text/Cp1252.h"
#include "text/Errors.h"

namespace tovik {

namespace {

StsPolicies Policies(const ProfileContext& context) {
    return StsPolicies(StsPolicies::FileIn(context.ProfilesDirectory()),
                       [] { return static_cast<std::int64_t>(std::time(nullptr)); });
}

}  // namespace

Registration::Registration(ProfileContext& context, Hooks hooks) : context_(context), hooks_(std::move(hooks)) {
    timer_.setSingleShot(true);
    // A server (or its services) that never ends the exchange would hold
    // the registration for ever.
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (negotiation_ && !negotiation_->Finished()) Apply(negotiation_->GiveUp());
    });
}

void Registration::Begin(const std::string& host, std::uint16_t port, const LinkFacts& link) {
    const ProfileFile profile(context_.ProfilePath());
    LoginSettings login;
    login.account = profile.ReadValue("IRC", "SASLAccount", "");
    login.password = profile.ReadValue("IRC", "SASLPassword", "");
    login.mechanisms = profile.ReadValue("IRC", "SASLMechanisms", login.mechanisms);
    const std::string account = login.account;
    const std::string password = login.password;
    negotiation_ = std::make_unique<CapNegotiation>(
        std::move(login), link, [account, password](std::string_view name) -> std::unique_ptr<SaslMechanism> {
            if (name == "SCRAM-SHA-256") return std::make_unique<ScramSha256>(account, password, ScramSha256::RandomNonce());
            return PlainOrExternal(name, account, password);
        });
    host_ = host;
    port_ = port;
    tls_ = link.tls;
    CapNegotiation::Outcome outcome = negotiation_->Begin();
    const std::optional<std::string> failure = std::exchange(outcome.failure, std::nullopt);
    Apply(std::move(outcome));
    // Said once per "&Online", not at every attempt.
    if (failure && *failure != toldOnce_) {
        toldOnce_ = *failure;
        hooks_.tell(*failure);
    }
    timer_.start(timeout_);
    SendNickAndUser();
}

void Registration::SendNickAndUser() {
    const ProfileFile profile(context_.ProfilePath());
    const std::string realName = profile.ReadValue("PersonData", "PreName", "Tovik") + " " +
                                 profile.ReadValue("PersonData", "LastName", "B0T");
    const std::string user = profile.ReadValue("PersonData", "PreName", "Tovik-B0T");
    const std::string nick = profile.ReadValue("IRC", "BotNick", "[]B0T[]");
    // Without line breaks in its pieces the login is exactly two lines.
    const std::string login = MakeLogin(RemoveLineBreaks(nick), RemoveLineBreaks(user), RemoveLineBreaks(realName));
    const std::size_t split = login.find('\n') + 1;
    hooks_.send(login.substr(0, split));
    hooks_.send(login.substr(split));
}

void Registration::Follow(const IrcMessage& message) {
    if (negotiation_) Apply(negotiation_->Handle(message));
}

void Registration::End() {
    timer_.stop();
    negotiation_.reset();
}

void Registration::Apply(CapNegotiation::Outcome outcome) {
    for (const auto& line : outcome.send) hooks_.send(line);
    if (negotiation_ && negotiation_->Finished()) timer_.stop();
    if (outcome.account) hooks_.loggedIn(*outcome.account);
    if (outcome.failure) hooks_.tell(*outcome.failure);
    if (!outcome.sts) return;
    StsPolicies policies = Policies(context_);
    const StsPolicies::Verdict verdict = policies.Heard(host_, tls_, port_, *outcome.sts);
    if (verdict.saveFailed)
        hooks_.tell("In " + StsPolicies::FileIn(context_.ProfilesDirectory()) + " kann nicht geschrieben werden");
    if (!verdict.upgradeTo) return;
    upgrade_ = {host_, *verdict.upgradeTo};
    hooks_.upgrade(*verdict.upgradeTo);
}

LinkTarget Registration::NextTarget() {
    const ProfileFile profile(context_.ProfilePath());
    const std::string portText = profile.ReadValue("IRC", "Port", "6667");
    const int port = StrToInt(portText);
    if (port < 1 || port > 65535) throw ConvertError(portText);
    LinkTarget target;
    target.host = profile.ReadValue("IRC", "Server", kDefaultIrcServer);
    target.port = static_cast<quint16>(port);
    // "+6697": this port speaks TLS (the sign is no part of the number).
    target.tls = portText.front() == '+';
    target.pin = NormalizedFingerprint(profile.ReadValue("IRC", "TLSFingerprint", ""));
    target.clientCertificate = profile.ReadValue("IRC", "TLSClientCert", "");
    securedBySts_ = false;
    if (!target.tls) {
        std::optional<std::uint16_t> secure = Policies(context_).TlsPortFor(target.host);
        if (upgrade_ && EqualsIgnoreCase(upgrade_->first, target.host)) secure = upgrade_->second;
        if (secure) {
            target.tls = securedBySts_ = true;
            target.port = *secure;
        }
    }
    if (target.tls && !QSslSocket::supportsSsl())
        throw Error("TLS-Fehler: auf diesem System fehlt die TLS-Bibliothek (OpenSSL 3)");
    return target;
}

}  // namespace tovik
