#include "bot/login/CapNegotiation.h"

#include <algorithm>

#include "bot/session/Charset.h"
#include "irc/Message.h"
#include "text/Cp1252.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;

// The capabilities the bot uses, in the order it asks for them; "sasl" is
// added only for a login.
constexpr std::string_view kWanted[] = {"multi-prefix", "message-tags", "server-time", "cap-notify", "batch"};

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> words;
    while (!text.empty()) {
        const auto at = text.find(separator);
        if (at != 0) words.emplace_back(text.substr(0, at));
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return words;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
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

}  // namespace

CapNegotiation::CapNegotiation(LoginSettings login, LinkFacts link, MechanismFactory mechanisms)
    : login_(std::move(login)), factory_(std::move(mechanisms)) {
    if (login_.account.empty()) return;
    for (const auto& name : Split(login_.mechanisms, ' ')) {
        const std::string mechanism = Upper(name);
        if (Contains(mechanismsAllowed_, mechanism)) continue;
        // The certificate is the credential; without one there is nothing
        // to log in with.
        if (mechanism == "EXTERNAL" && !link.clientCertificate) continue;
        // Nor is there with a password mechanism and no password: the
        // server would only count a failed login against the account.
        if (mechanism != "EXTERNAL" && login_.password.empty()) continue;
        // PLAIN shows the password to whoever reads the line; SCRAM never
        // sends it, so it may go over plain TCP.
        if (mechanism == "PLAIN" && !link.tls && !link.loopback) {
            plainRefused_ = true;
            continue;
        }
        if (factory_ && factory_(mechanism)) mechanismsAllowed_.push_back(mechanism);
    }
}

CapNegotiation::Outcome CapNegotiation::Begin() {
    Outcome outcome;
    outcome.send.emplace_back("CAP LS 302\n");
    loginOpen_ = LoginWanted();
    if (!login_.account.empty() && mechanismsAllowed_.empty()) {
        outcome.failure = "SASL-Anmeldung als " + login_.account + " unterbleibt: " +
                          std::string(plainRefused_ ? "das Passwort geht nur über TLS (Port mit \"+\" davor, etwa +6697)"_w1252
                                                    : "keines der Verfahren in SASLMechanisms ist hier möglich"_w1252);
    }
    return outcome;
}

CapNegotiation::Outcome CapNegotiation::Handle(std::string_view line) { return Handle(ParseMessage(line)); }

CapNegotiation::Outcome CapNegotiation::Handle(const IrcMessage& message) {
    const std::string& command = message.command;
    if (command == "CAP") {
        const std::string sub = Upper(message.Param(1));
        if (sub == "LS" && state_ == State::Listing) {
            // "CAP * LS * :..." says that more LS lines follow.
            for (const auto& cap : Split(message.Last(), ' ')) {
                const auto eq = cap.find('=');
                offered_.emplace_back(cap.substr(0, eq), eq == std::string::npos ? std::string() : cap.substr(eq + 1));
            }
            const bool more = message.params.size() >= 4 && message.Param(2) == "*";
            return more ? Outcome{} : Listed();
        }
        if (sub == "ACK") return Acknowledged(message.Last());
        if (sub == "NAK" && state_ == State::Requesting) {
            // A NAK refuses the whole line: nothing of it is enabled.
            requested_.clear();
            return Fail("der Server gibt SASL nicht frei");
        }
        if (sub == "NEW" || sub == "DEL") return Changed(sub, message.Last());
        return {};
    }
    if (state_ == State::Done) return {};
    // A server that does not know CAP registers the bot as before.
    if (command == "421" && message.Param(1) == "CAP") {
        state_ = State::Done;
        Outcome outcome;
        if (loginOpen_) outcome.failure = FailureText("der Server kennt keine Capabilities");
        loginOpen_ = false;
        return outcome;
    }
    // Welcomed while still negotiating: the server did not wait for us.
    if (command == "001") return Fail("der Server hat die Anmeldung übergangen"_w1252);
    if (!loginOpen_) return {};
    if (command == "AUTHENTICATE" && state_ == State::Authenticating) return Authenticate(message.Param(0));
    if (command == "900" && message.params.size() >= 3) {
        Outcome outcome;
        outcome.account = ServerText(message.Param(2));
        return outcome;
    }
    if (command == "903") {
        // The server says yes, but a mechanism that checks the server has
        // not heard its proof: the server may not be who it claims.
        if (mechanism_ && !mechanism_->ServerVerified())
            return Fail("der Server hat sich nicht als Kenner des Passworts ausgewiesen");
        loginOpen_ = false;
        return End({});
    }
    if (command == "907") {  // logged in already
        loginOpen_ = false;
        return End({});
    }
    // 908 lists the mechanisms the server takes; the 904 after it ends the
    // attempt, and the next mechanism from that list is tried.
    if (command == "908") {
        serverMechanisms_ = Split(Upper(message.Param(1)), ',');
        return {};
    }
    const std::string reason = message.params.empty() ? command : ServerText(message.Last());
    // Another mechanism is worth a try only once one has been refused.
    if (command == "904" && state_ == State::Authenticating) return NextMechanism(reason);
    if (command == "902" || command == "904" || command == "905" || command == "906") return Fail(reason);
    return {};
}

CapNegotiation::Outcome CapNegotiation::GiveUp() {
    if (state_ == State::Done) return {};
    return Fail("keine Antwort des Servers");
}

CapNegotiation::Outcome CapNegotiation::Listed() {
    Outcome outcome;
    std::vector<std::string> request;
    for (const auto& [name, value] : offered_) {
        if (name == "sts") outcome.sts = value;
        if (Contains(request, name)) continue;
        if (std::find(std::begin(kWanted), std::end(kWanted), name) != std::end(kWanted)) request.push_back(name);
    }
    std::sort(request.begin(), request.end(), [](const std::string& a, const std::string& b) {
        return std::find(std::begin(kWanted), std::end(kWanted), a) < std::find(std::begin(kWanted), std::end(kWanted), b);
    });
    if (loginOpen_) {
        const auto sasl = std::find_if(offered_.begin(), offered_.end(), [](const auto& cap) { return cap.first == "sasl"; });
        // A value lists the mechanisms; without one, any may be tried.
        if (sasl != offered_.end() && !sasl->second.empty()) serverMechanisms_ = Split(Upper(sasl->second), ',');
        if (sasl == offered_.end()) {
            outcome.failure = FailureText("der Server bietet SASL nicht an");
            loginOpen_ = false;
        } else if (Candidates().empty()) {
            outcome.failure = FailureText("der Server nimmt " + Joined(mechanismsAllowed_, ", ") + " nicht an (" +
                                          sasl->second + ")");
            loginOpen_ = false;
        } else {
            request.emplace_back("sasl");
        }
    }
    if (request.empty()) return End(std::move(outcome));
    state_ = State::Requesting;
    requested_ = {request.begin(), request.end()};
    outcome.send.push_back("CAP REQ :" + Joined(request, " ") + "\n");
    return outcome;
}

CapNegotiation::Outcome CapNegotiation::Acknowledged(const std::string& caps) {
    for (const auto& cap : Split(caps, ' ')) {
        if (cap.front() == '-') enabled_.erase(cap.substr(1));
        else enabled_.insert(cap);
    }
    if (state_ != State::Requesting) return {};
    requested_.clear();
    if (loginOpen_ && IsEnabled("sasl")) return NextMechanism("der Server bietet SASL nicht an");
    return Fail("der Server gibt SASL nicht frei");
}

CapNegotiation::Outcome CapNegotiation::Changed(const std::string& sub, const std::string& caps) {
    Outcome outcome;
    std::vector<std::string> request;
    for (const auto& cap : Split(caps, ' ')) {
        const auto eq = cap.find('=');
        const std::string name = cap.substr(0, eq);
        std::erase_if(offered_, [&](const auto& offer) { return offer.first == name; });
        if (sub == "DEL") {
            enabled_.erase(name);
            continue;
        }
        const std::string value = eq == std::string::npos ? std::string() : cap.substr(eq + 1);
        offered_.emplace_back(name, value);
        if (name == "sts") outcome.sts = value;
        if (std::find(std::begin(kWanted), std::end(kWanted), name) != std::end(kWanted) && !IsEnabled(name) &&
            !Contains(request, name))
            request.push_back(name);
    }
    // A request now could be taken for the answer to the one still open.
    if (!request.empty() && state_ != State::Requesting)
        outcome.send.push_back("CAP REQ :" + Joined(request, " ") + "\n");
    if (sub == "DEL" && loginOpen_ && (state_ == State::Authenticating || requested_.count("sasl")) &&
        std::none_of(offered_.begin(), offered_.end(), [](const auto& offer) { return offer.first == "sasl"; })) {
        Outcome ended = Fail("der Server zieht SASL zurück"_w1252);
        ended.send.insert(ended.send.begin(), outcome.send.begin(), outcome.send.end());
        return ended;
    }
    return outcome;
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
    if (reply.reason) {
        Outcome aborted = Fail(*reply.reason);
        aborted.send.insert(aborted.send.begin(), "AUTHENTICATE *\n");
        return aborted;
    }
    Outcome outcome;
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
    for (const auto& name : Candidates()) {
        tried_.push_back(name);
        mechanism_ = factory_(name);
        if (!mechanism_) continue;
        state_ = State::Authenticating;
        challenge_.clear();
        return {{"AUTHENTICATE " + name + "\n"}, {}, {}, {}};
    }
    mechanism_.reset();
    return Fail(reason);
}

std::string CapNegotiation::FailureText(std::string_view reason) const {
    return "SASL-Anmeldung als " + login_.account + " fehlgeschlagen: " + std::string(reason);
}

CapNegotiation::Outcome CapNegotiation::Fail(std::string_view reason) {
    Outcome outcome;
    if (loginOpen_) outcome.failure = FailureText(reason);
    loginOpen_ = false;
    return End(std::move(outcome));
}

CapNegotiation::Outcome CapNegotiation::End(Outcome outcome) {
    if (state_ == State::Done) return outcome;
    state_ = State::Done;
    outcome.send.emplace_back("CAP END\n");
    return outcome;
}

}  // namespace tovik
