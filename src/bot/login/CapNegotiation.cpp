#include "bot/login/CapNegotiation.h"

#include <algorithm>

#include "irc/Lists.h"
#include "irc/Message.h"
#include "text/Encoding.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;

// The capabilities the bot uses, in the order it asks for them; "sasl" is
// added only for a login.
constexpr std::string_view kWanted[] = {"multi-prefix", "message-tags", "server-time", "cap-notify", "batch"};

constexpr std::string_view kNoSasl = "der Server bietet SASL nicht an";

bool Wanted(std::string_view name) {
    return std::find(std::begin(kWanted), std::end(kWanted), name) != std::end(kWanted);
}
// What is kept of a server's offer: what the bot may ask for, and what it reads.
bool Kept(std::string_view name) { return Wanted(name) || name == "sasl" || name == "sts"; }

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::vector<std::string> MechanismList(std::string_view value) {
    std::vector<std::string> names;
    for (const std::string_view name : SplitList(value, ',')) names.push_back(Upper(name));
    return names;
}

std::string Joined(const std::vector<std::string>& words, std::string_view separator) {
    std::string out;
    for (const auto& word : words) {
        if (!out.empty()) out += separator;
        out += word;
    }
    return out;
}

bool Contains(const std::vector<std::string>& words, std::string_view word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

void Merge(CapNegotiation::Outcome& into, CapNegotiation::Outcome from) {
    for (std::string& line : from.send) into.send.push_back(std::move(line));
    if (from.failure) into.failure = std::move(from.failure);
    if (from.account) into.account = std::move(from.account);
    if (from.sts) into.sts = std::move(from.sts);
    if (from.work) into.work = std::move(from.work);
}

}  // namespace

CapNegotiation::CapNegotiation(LoginSettings login, LinkFacts link, MechanismFactory mechanisms)
    : login_(std::move(login)), factory_(std::move(mechanisms)) {
    if (login_.account.empty()) return;
    for (const std::string_view name : SplitList(login_.mechanisms, ' ')) {
        const std::string mechanism = Upper(name);
        const KnownMechanism* known = FindMechanism(mechanism);
        if (!known || Contains(mechanismsAllowed_, mechanism)) continue;
        if (known->credential == Credential::Certificate) {
            // The certificate is the credential; without one there is
            // nothing to log in with.
            if (!link.clientCertificate) continue;
        } else {
            // Nor is there with a password mechanism and no password: the
            // server would only count a failed login against the account.
            if (login_.password.empty()) continue;
            if (!link.tls && !link.loopback) {
                passwordRefused_ = true;
                continue;
            }
        }
        mechanismsAllowed_.push_back(mechanism);
    }
}

CapNegotiation::Outcome CapNegotiation::Begin() {
    Outcome outcome;
    outcome.send.emplace_back("CAP LS 302\n");
    loginOpen_ = LoginPossible();
    if (!login_.account.empty() && mechanismsAllowed_.empty()) {
        outcome.failure = "SASL-Anmeldung als " + login_.account + " unterbleibt: " +
                          std::string(passwordRefused_ ? "das Passwort geht nur über TLS (Port mit \"+\" davor, etwa +6697)"_w1252
                                                       : "keines der Verfahren in SASLMechanisms ist hier möglich"_w1252);
    }
    return outcome;
}

CapNegotiation::Outcome CapNegotiation::Handle(std::string_view line) { return Handle(ParseMessage(line)); }

CapNegotiation::Outcome CapNegotiation::Handle(const IrcMessage& message) {
    if (message.command != "CAP") return Numeric(message);
    const std::string sub = Upper(message.Param(1));
    if (sub == "LS") {
        if (!listing_) return {};
        if (++listLines_ > kMaxListLines)
            return Fail("der Server hört mit seiner Liste der Capabilities nicht auf"_w1252);
        for (const std::string_view cap : SplitList(message.Last(), ' ')) {
            const auto [name, value] = KeyAndValue(cap);
            Offer(name, value);
        }
        // "CAP * LS * :..." says that more LS lines follow.
        const bool more = message.params.size() >= 4 && message.Param(2) == "*";
        return more ? Outcome{} : Listed();
    }
    if (sub == "ACK") return Acknowledged(message.Last());
    if (sub == "NAK") return Refused(message.Last());
    if (sub == "NEW") return Added(message.Last());
    if (sub == "DEL") return Removed(message.Last());
    return {};
}

void CapNegotiation::Offer(std::string_view name, std::string_view value) {
    if (!Kept(name)) return;
    const auto found = offered_.find(name);
    if (found != offered_.end()) found->second = value;
    else offered_.emplace(name, value);
}

bool CapNegotiation::Asking(std::string_view cap) const {
    return std::any_of(requests_.begin(), requests_.end(),
                       [cap](const Request& request) { return request.names.find(cap) != request.names.end(); });
}

void CapNegotiation::Ask(Outcome& outcome, Request request) {
    std::vector<std::string> names(request.names.begin(), request.names.end());
    // In the order of the table, "sasl" last.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::find(std::begin(kWanted), std::end(kWanted), a) < std::find(std::begin(kWanted), std::end(kWanted), b);
    });
    outcome.send.push_back("CAP REQ :" + Joined(names, " ") + "\n");
    requests_.push_back(std::move(request));
}

CapNegotiation::Outcome CapNegotiation::Listed() {
    listing_ = false;
    Outcome outcome;
    if (const auto sts = offered_.find("sts"); sts != offered_.end()) outcome.sts = sts->second;
    Request request;
    request.main = true;
    for (const std::string_view cap : kWanted)
        if (Offered(cap) && !IsEnabled(cap)) request.names.emplace(cap);
    if (loginOpen_) {
        const auto sasl = offered_.find("sasl");
        // A value lists the mechanisms; without one, any may be tried.
        if (sasl != offered_.end() && !sasl->second.empty()) serverMechanisms_ = MechanismList(sasl->second);
        if (sasl == offered_.end()) {
            outcome.failure = FailureText(kNoSasl);
            loginOpen_ = false;
        } else if (Candidates().empty()) {
            outcome.failure = FailureText(Unaccepted(sasl->second));
            loginOpen_ = false;
        } else {
            request.names.emplace("sasl");
            step_ = Step::Asked;
        }
    }
    if (!request.names.empty()) Ask(outcome, std::move(request));
    return Settle(std::move(outcome));
}

CapNegotiation::Outcome CapNegotiation::Acknowledged(std::string_view caps) {
    // An ACK answers the request whose names it echoes, and only those names
    // are enabled: an ACK of anything else would have the bot believe in
    // tags or a login the server never agreed to.
    const std::vector<std::string_view> acked = SplitList(caps, ' ');
    Outcome outcome;
    for (auto request = requests_.begin(); request != requests_.end();) {
        const auto asked = [&](std::string_view cap) { return request->names.find(cap) != request->names.end(); };
        if (std::none_of(acked.begin(), acked.end(), asked)) {
            ++request;
            continue;
        }
        for (const std::string_view cap : acked)
            if (asked(cap)) enabled_.emplace(cap);
        const Request answered = std::move(*request);
        request = requests_.erase(request);
        if (answered.names.count("sasl") && step_ == Step::Asked)
            Merge(outcome, IsEnabled("sasl") ? NextMechanism(kNoSasl) : Fail("der Server gibt SASL nicht frei"));
    }
    return Settle(std::move(outcome));
}

CapNegotiation::Outcome CapNegotiation::Refused(std::string_view caps) {
    // A NAK refuses the whole line it answers: nothing of it is enabled.
    // It echoes the request; the first one that holds every name refused.
    const std::vector<std::string_view> refused = SplitList(caps, ' ');
    const auto found = std::find_if(requests_.begin(), requests_.end(), [&](const Request& request) {
        return std::all_of(refused.begin(), refused.end(),
                           [&](std::string_view name) { return request.names.find(name) != request.names.end(); });
    });
    if (refused.empty() || found == requests_.end()) return {};  // nothing the bot asked for
    const Request request = std::move(*found);
    requests_.erase(found);
    if (request.names.count("sasl") == 0 || step_ != Step::Asked) return Settle({});
    // The server may refuse one of the extras only; the login matters more,
    // so it is asked for once more on its own.
    if (request.main && !request.retried && request.names.size() > 1) {
        Request again;
        again.main = again.retried = true;
        again.names.emplace("sasl");
        Outcome outcome;
        Ask(outcome, std::move(again));
        return outcome;
    }
    return Fail("der Server gibt SASL nicht frei");
}

CapNegotiation::Outcome CapNegotiation::Added(std::string_view caps) {
    Outcome outcome;
    Request request;
    bool sasl = false;
    for (const std::string_view cap : SplitList(caps, ' ')) {
        const auto [name, value] = KeyAndValue(cap);
        if (!Kept(name)) continue;
        Offer(name, value);
        if (name == "sts") outcome.sts = std::string(value);
        if (name == "sasl") {
            sasl = true;
            serverMechanisms_.reset();
            if (!value.empty()) serverMechanisms_ = MechanismList(value);
        }
        if (Wanted(name) && !IsEnabled(name) && !Asking(name)) request.names.emplace(name);
    }
    // During the LS a request would cross the one that follows it; the
    // main request takes in what is new.
    if (listing_) return {};
    // Services back, or new mechanisms: the login that could not be made.
    if (sasl && LoginPossible() && !loggedIn_ && step_ == Step::None) {
        tried_.clear();
        loginOpen_ = true;
        if (Candidates().empty()) {
            outcome.failure = FailureText(Unaccepted(offered_.find("sasl")->second));
            loginOpen_ = false;
        } else if (!IsEnabled("sasl")) {
            if (!Asking("sasl")) request.names.emplace("sasl");
            step_ = Step::Asked;
        }
    }
    if (!request.names.empty()) Ask(outcome, std::move(request));
    if (loginOpen_ && step_ == Step::None) Merge(outcome, NextMechanism(kNoSasl));
    return outcome;
}

CapNegotiation::Outcome CapNegotiation::Removed(std::string_view caps) {
    bool sasl = false;
    for (const std::string_view cap : SplitList(caps, ' ')) {
        const std::string_view name = KeyAndValue(cap).first;
        if (const auto found = offered_.find(name); found != offered_.end()) offered_.erase(found);
        if (const auto found = enabled_.find(name); found != enabled_.end()) enabled_.erase(found);
        sasl = sasl || name == "sasl";
    }
    if (sasl && step_ != Step::None) return Fail("der Server zieht SASL zurück"_w1252);
    return {};
}

CapNegotiation::Outcome CapNegotiation::Numeric(const IrcMessage& message) {
    const std::string& command = message.command;
    if (!ended_) {
        // A server that does not know CAP registers the bot as before.
        if (command == "421" && message.Param(1) == "CAP") {
            ended_ = true;
            listing_ = false;
            step_ = Step::None;
            Outcome outcome;
            if (loginOpen_) outcome.failure = FailureText("der Server kennt keine Capabilities");
            loginOpen_ = false;
            return outcome;
        }
        // Welcomed while still negotiating: the server did not wait for us.
        if (command == "001") return Fail("der Server hat die Anmeldung übergangen"_w1252);
    }
    if (step_ == Step::None) return {};
    if (command == "AUTHENTICATE") return step_ == Step::Mechanism ? Authenticate(message.Param(0)) : Outcome{};
    const bool exchanging = step_ == Step::Mechanism || step_ == Step::Computing;
    if (command == "900" && exchanging && message.params.size() >= 3) {
        // Shown once the login is verified, not before.
        account_ = ServerText(message.Param(2));
        return {};
    }
    if (command == "903" && exchanging) {
        // The server says yes, but a mechanism that checks the server has
        // not heard its proof: the server may not be who it claims.
        if (mechanism_ && !mechanism_->ServerVerified()) return Fail(kServerUnproved);
        return LoggedIn();
    }
    if (command == "907") {  // logged in already
        account_.reset();
        return LoggedIn();
    }
    // 908 lists the mechanisms the server takes; the 904 after it ends the
    // attempt, and the next mechanism from that list is tried.
    if (command == "908") {
        serverMechanisms_ = MechanismList(message.Param(1));
        return {};
    }
    const std::string reason = message.params.empty() ? command : ServerText(message.Last());
    // Another mechanism is worth a try once one has been refused, or once
    // the server has seen the bot give one up.
    if (step_ == Step::Aborting && (command == "904" || command == "906")) return NextMechanism(abortReason_);
    if (command == "904" && exchanging) return NextMechanism(reason);
    if (command == "902" || command == "904" || command == "905" || command == "906") return Fail(reason);
    return {};
}

CapNegotiation::Outcome CapNegotiation::Authenticate(const std::string& piece) {
    // A challenge longer than 400 bytes comes in pieces; "+" alone is an
    // empty one, or the end of a challenge of a multiple of 400.
    if (piece != "+") challenge_ += piece;
    // No mechanism of ours has challenges anywhere near this long; a server
    // that keeps sending pieces must not fill the memory.
    constexpr std::size_t kMaxChallenge = 16 * 1024;
    if (piece.size() == 400 && challenge_.size() <= kMaxChallenge) return {};
    const bool tooLong = challenge_.size() > kMaxChallenge;
    const std::optional<std::string> challenge = FromBase64(challenge_);
    challenge_.clear();
    SaslMechanism::Reply reply;
    if (tooLong) reply.reason = "der Server schickt eine endlose Anfrage";
    else if (!challenge) reply.reason = "der Server schickt kein Base64";
    else reply = mechanism_->Respond(*challenge);
    return Replied(std::move(reply));
}

CapNegotiation::Outcome CapNegotiation::GiveUp() {
    if (!AwaitingServer()) return {};
    // A server that never confirmed the abort still hears why.
    if (step_ == Step::Aborting) return Fail(abortReason_);
    return Fail("keine Antwort des Servers");
}

CapNegotiation::Outcome CapNegotiation::Computed(std::string result) {
    if (step_ != Step::Computing || !mechanism_) return {};  // the login ended meanwhile
    step_ = Step::Mechanism;
    return Replied(mechanism_->Resume(std::move(result)));
}

CapNegotiation::Outcome CapNegotiation::Replied(SaslMechanism::Reply reply) {
    Outcome outcome;
    if (reply.work) {
        step_ = Step::Computing;
        outcome.work = std::move(reply.work);
        return outcome;
    }
    if (reply.reason && reply.tryNext && !Candidates().empty()) {
        // The next mechanism waits until the server has answered the abort,
        // so that its answer cannot be taken for the next one's.
        step_ = Step::Aborting;
        abortReason_ = *reply.reason;
        outcome.send.emplace_back("AUTHENTICATE *\n");
        return outcome;
    }
    if (reply.reason) {
        outcome = Fail(*reply.reason);
        outcome.send.insert(outcome.send.begin(), "AUTHENTICATE *\n");
        return outcome;
    }
    for (const auto& out : AuthenticatePieces(Base64(reply.response))) outcome.send.push_back("AUTHENTICATE " + out + "\n");
    return outcome;
}

std::vector<std::string> CapNegotiation::Candidates() const {
    std::vector<std::string> candidates;
    for (const auto& name : mechanismsAllowed_)
        if (!Contains(tried_, name) && (!serverMechanisms_ || Contains(*serverMechanisms_, name)))
            candidates.push_back(name);
    return candidates;
}

CapNegotiation::Outcome CapNegotiation::NextMechanism(std::string_view reason) {
    const std::string given = step_ == Step::Aborting && mechanism_ ? mechanism_->Name() : std::string();
    for (const auto& name : Candidates()) {
        tried_.push_back(name);
        mechanism_ = factory_ ? factory_(name) : nullptr;
        if (!mechanism_) continue;
        step_ = Step::Mechanism;
        challenge_.clear();
        account_.reset();
        Outcome outcome;
        outcome.send.push_back("AUTHENTICATE " + name + "\n");
        // Why the last mechanism was given up is worth knowing even when the
        // next one succeeds: the server asked for something unsafe.
        if (!given.empty())
            outcome.failure = "SASL-Anmeldung als " + login_.account + " mit " + given + " abgebrochen: " +
                              std::string(reason) + ". Weiter mit " + name + ".";
        return outcome;
    }
    mechanism_.reset();
    return Fail(reason);
}

CapNegotiation::Outcome CapNegotiation::LoggedIn() {
    Outcome outcome;
    outcome.account = std::exchange(account_, std::nullopt);
    loggedIn_ = true;
    loginOpen_ = false;
    step_ = Step::None;
    mechanism_.reset();
    return Settle(std::move(outcome));
}

std::string CapNegotiation::FailureText(std::string_view reason) const {
    return "SASL-Anmeldung als " + login_.account + " fehlgeschlagen: " + std::string(reason);
}

std::string CapNegotiation::Unaccepted(std::string_view serverList) const {
    return "der Server nimmt " + Joined(mechanismsAllowed_, ", ") + " nicht an (" + ServerText(serverList) + ")";
}

CapNegotiation::Outcome CapNegotiation::Fail(std::string_view reason) {
    Outcome outcome;
    if (loginOpen_) outcome.failure = FailureText(reason);
    loginOpen_ = false;
    step_ = Step::None;
    mechanism_.reset();
    challenge_.clear();
    // The negotiation ends with the login: nothing the server still owes
    // may hold the registration.
    if (!ended_) {
        ended_ = true;
        listing_ = false;
        outcome.send.emplace_back("CAP END\n");
    }
    return outcome;
}

CapNegotiation::Outcome CapNegotiation::Settle(Outcome outcome) {
    const bool mainOpen = std::any_of(requests_.begin(), requests_.end(), [](const Request& r) { return r.main; });
    if (!ended_ && !listing_ && !mainOpen && step_ == Step::None) {
        ended_ = true;
        outcome.send.emplace_back("CAP END\n");
    }
    return outcome;
}

}  // namespace tovik
