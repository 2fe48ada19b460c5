#include "bot/login/Registration.h"

#include <QSslSocket>
#include <QtConcurrent/QtConcurrentRun>
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

std::string HostKeyOf(const std::string& host) { return StsHostKey(host).value_or(host); }

}  // namespace

Registration::Registration(ProfileContext& context, Hooks hooks) : context_(context), hooks_(std::move(hooks)) {
    timer_.setSingleShot(true);
    // A server (or its services) that never ends the exchange would hold
    // the registration for ever.
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (negotiation_ && negotiation_->AwaitingServer()) Apply(negotiation_->GiveUp());
    });
}

Registration::~Registration() { StopComputing(); }

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
    secureSts_.reset();
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
    StopComputing();  // a result of this connection's login has nowhere to go
    negotiation_.reset();
    // The policy's duration counts from the end of the last secure
    // connection to its host, so that a session longer than the policy
    // does not leave the next connection without it.
    if (tls_ && secureSts_) HearSts(*secureSts_);
    secureSts_.reset();
    tls_ = false;
}

void Registration::Apply(CapNegotiation::Outcome outcome) {
    for (const auto& line : outcome.send) hooks_.send(line);
    if (outcome.work) Compute(std::move(outcome.work));
    if (negotiation_ && !negotiation_->AwaitingServer()) timer_.stop();
    else if (negotiation_ && !timer_.isActive()) timer_.start(timeout_);  // a login after the registration
    if (outcome.account) hooks_.loggedIn(*outcome.account);
    if (outcome.failure) hooks_.tell(*outcome.failure);
    if (!outcome.sts) return;
    if (tls_) secureSts_ = *outcome.sts;
    HearSts(*outcome.sts);
}

void Registration::HearSts(const std::string& value) {
    StsPolicies policies = Policies(context_);
    const StsPolicies::Verdict verdict = policies.Heard(host_, tls_, port_, value);
    if (verdict.saveFailed) hooks_.tell(ProfileWriteError(StsPolicies::FileIn(context_.ProfilesDirectory())).what());
    if (!verdict.upgradeTo) return;
    upgrade_ = {HostKeyOf(host_), *verdict.upgradeTo};
    hooks_.upgrade(*verdict.upgradeTo);
}

void Registration::Compute(std::function<std::string()> work) {
    StopComputing();
    auto* watcher = new QFutureWatcher<std::string>(&watchers_);
    computing_ = watcher;
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [this, watcher] {
        // Only the last step asked for, and only while its connection lasts
        // (End stops the watcher).
        if (watcher != computing_) return;
        computing_ = nullptr;
        watcher->deleteLater();
        if (negotiation_) Apply(negotiation_->Computed(watcher->result()));
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

void Registration::StopComputing() {
    if (!computing_) return;
    computing_->disconnect();
    computing_->deleteLater();  // the worker finishes on its own; its result is dropped
    computing_ = nullptr;
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
        const std::string key = HostKeyOf(target.host);
        std::optional<std::uint16_t> secure = Policies(context_).TlsPortFor(target.host);
        if (!secure && upgrade_ && upgrade_->first == key) secure = upgrade_->second;
        if (secure) {
            upgrade_ = {key, *secure};
            target.tls = securedBySts_ = true;
            target.port = *secure;
        }
    }
    if (target.tls && !QSslSocket::supportsSsl())
        throw Error("TLS-Fehler: auf diesem System fehlt die TLS-Bibliothek (OpenSSL 3)");
    return target;
}

}  // namespace tovik
