#include "bot/Sasl.h"

#include "text/Cp1252.h"

namespace tovik {
namespace {

constexpr std::size_t kPieceSize = 400;

// A received line cut into its command and parameters: tags are gone
// already, the prefix is skipped, a trailing parameter is one piece.
struct Message {
    std::string command;
    std::vector<std::string> params;
};

Message Parse(std::string_view line) {
    Message message;
    if (!line.empty() && line.front() == ':') {
        const auto blank = line.find(' ');
        line = blank == std::string_view::npos ? std::string_view{} : line.substr(blank + 1);
    }
    bool first = true;
    while (!line.empty()) {
        if (line.front() == ' ') {
            line.remove_prefix(1);
            continue;
        }
        if (!first && line.front() == ':') {
            message.params.emplace_back(line.substr(1));
            break;
        }
        const auto blank = line.find(' ');
        const std::string_view word = line.substr(0, blank);
        if (first) message.command = word;
        else message.params.emplace_back(word);
        first = false;
        line = blank == std::string_view::npos ? std::string_view{} : line.substr(blank);
    }
    return message;
}

bool IsOneOf(const std::string& command, std::initializer_list<std::string_view> numerics) {
    for (auto numeric : numerics)
        if (command == numeric) return true;
    return false;
}

// The value of one capability in an LS list ("sasl=PLAIN,EXTERNAL"), or
// nothing when it is not offered.
std::optional<std::string> OfferOf(std::string_view offered, std::string_view name) {
    while (!offered.empty()) {
        const auto blank = offered.find(' ');
        const std::string_view cap = offered.substr(0, blank);
        const std::string_view capName = cap.substr(0, cap.find('='));
        if (EqualsIgnoreCase(capName, name))
            return std::string(cap.size() > capName.size() ? cap.substr(capName.size() + 1) : std::string_view{});
        if (blank == std::string_view::npos) break;
        offered.remove_prefix(blank + 1);
    }
    return std::nullopt;
}

// Whether "EXTERNAL,PLAIN" (the value of "sasl=") names the mechanism.
bool ListsMechanism(std::string_view list, std::string_view mechanism) {
    while (true) {
        const auto comma = list.find(',');
        if (EqualsIgnoreCase(list.substr(0, comma), mechanism)) return true;
        if (comma == std::string_view::npos) return false;
        list.remove_prefix(comma + 1);
    }
}

class Plain final : public SaslMechanism {
public:
    Plain(std::string account, std::string password) : account_(std::move(account)), password_(std::move(password)) {}
    std::string Name() const override { return "PLAIN"; }
    Reply Respond(std::string_view) override {
        const std::string user = Cp1252ToUtf8(account_);
        return {user + '\0' + user + '\0' + Cp1252ToUtf8(password_), {}};
    }

private:
    std::string account_;
    std::string password_;
};

class External final : public SaslMechanism {
public:
    std::string Name() const override { return "EXTERNAL"; }
    // An empty authorization identity: the server takes the account the
    // certificate is registered to.
    Reply Respond(std::string_view) override { return {}; }
};

}  // namespace

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        for (int shift : {18, 12, 6, 0}) out += kAlphabet[(v >> shift) & 0x3F];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 0x3F];
        out += kAlphabet[(v >> 12) & 0x3F];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 0x3F] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> FromBase64(std::string_view text) {
    std::string out;
    unsigned bits = 0;
    int count = 0;
    std::size_t padding = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else if (c == '=') {
            ++padding;
            continue;
        } else return std::nullopt;
        if (padding > 0) return std::nullopt;  // data after the padding
        bits = bits << 6 | static_cast<unsigned>(v);
        if (++count == 4) {
            for (int shift : {16, 8, 0}) out += static_cast<char>((bits >> shift) & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || padding > 2 || (padding > 0 && (count + padding) % 4 != 0)) return std::nullopt;
    if (count == 2) out += static_cast<char>((bits >> 4) & 0xFF);
    if (count == 3) {
        out += static_cast<char>((bits >> 10) & 0xFF);
        out += static_cast<char>((bits >> 2) & 0xFF);
    }
    return out;
}

std::vector<std::string> AuthenticatePieces(std::string_view encoded) {
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < encoded.size(); at += kPieceSize) pieces.emplace_back(encoded.substr(at, kPieceSize));
    if (pieces.empty() || pieces.back().size() == kPieceSize) pieces.emplace_back("+");
    return pieces;
}

std::unique_ptr<SaslMechanism> PlainOrExternal(std::string_view name, const std::string& account,
                                               const std::string& password) {
    if (EqualsIgnoreCase(name, "PLAIN")) return std::make_unique<Plain>(account, password);
    if (EqualsIgnoreCase(name, "EXTERNAL")) return std::make_unique<External>();
    return nullptr;
}

SaslExchange::SaslExchange(std::string account, std::string password)
    : account_(std::move(account)), password_(std::move(password)) {}

std::string SaslExchange::Begin() { return "CAP LS 302\n"; }

std::vector<std::string> SaslExchange::PlainPieces(std::string_view account, std::string_view password) {
    return AuthenticatePieces(Base64(Plain(std::string(account), std::string(password)).Respond({}).response));
}

SaslExchange::Outcome SaslExchange::Handle(std::string_view line) {
    if (state_ == State::Done) return {};
    const Message message = Parse(line);
    const auto& p = message.params;
    if (message.command == "CAP" && p.size() >= 3) {
        const std::string& sub = p[1];
        if (sub == "LS" && state_ == State::Listing) {
            // "CAP * LS * :..." says that more LS lines follow.
            const bool more = p.size() >= 4 && p[2] == "*";
            if (!offered_.empty()) offered_ += ' ';
            offered_ += p.back();
            return more ? Outcome{} : Listed();
        }
        if (sub == "ACK" && state_ == State::Requesting && OfferOf(p.back(), "sasl")) {
            state_ = State::Authenticating;
            return {{"AUTHENTICATE PLAIN\n"}, {}, {}};
        }
        if (sub == "NAK" && state_ == State::Requesting) return Fail("der Server gibt SASL nicht frei");
        return {};
    }
    if (message.command == "AUTHENTICATE" && state_ == State::Authenticating && !p.empty() && p[0] == "+") {
        state_ = State::Waiting;
        Outcome outcome;
        for (const auto& piece : PlainPieces(account_, password_)) outcome.send.push_back("AUTHENTICATE " + piece + "\n");
        return outcome;
    }
    // A server that does not know CAP registers the bot as before.
    if (message.command == "421" && p.size() >= 2 && p[1] == "CAP") {
        state_ = State::Done;
        return {{}, FailureText("der Server kennt keine Capabilities"), {}};
    }
    if (message.command == "900" && p.size() >= 3) {
        Outcome outcome;
        outcome.account = p[2];
        return outcome;
    }
    if (message.command == "903") return End({});
    if (message.command == "907") return End({});  // logged in already
    // 908 lists the mechanisms the server takes; the 904 after it ends the
    // attempt and is the one reported.
    if (IsOneOf(message.command, {"902", "904", "905", "906"}))
        return Fail(p.empty() ? std::string_view(message.command) : std::string_view(p.back()));
    // Welcomed while still negotiating: the server did not wait for us.
    if (message.command == "001") return Fail("der Server hat die Anmeldung \xfc" "bergangen");
    return {};
}

SaslExchange::Outcome SaslExchange::GiveUp() {
    if (state_ == State::Done) return {};
    return Fail("keine Antwort des Servers");
}

SaslExchange::Outcome SaslExchange::Listed() {
    const auto sasl = OfferOf(offered_, "sasl");
    if (!sasl) return Fail("der Server bietet SASL nicht an");
    // A value lists the mechanisms; without one, any may be tried.
    if (!sasl->empty() && !ListsMechanism(*sasl, "PLAIN"))
        return Fail("der Server nimmt PLAIN nicht an (" + *sasl + ")");
    state_ = State::Requesting;
    return {{"CAP REQ :sasl\n"}, {}, {}};
}

std::string SaslExchange::FailureText(std::string_view reason) const {
    return "SASL-Anmeldung als " + account_ + " fehlgeschlagen: " + std::string(reason);
}

SaslExchange::Outcome SaslExchange::Fail(std::string_view reason) {
    Outcome outcome;
    outcome.failure = FailureText(reason);
    return End(std::move(outcome));
}

SaslExchange::Outcome SaslExchange::End(Outcome outcome) {
    state_ = State::Done;
    outcome.send.emplace_back("CAP END\n");
    return outcome;
}

}  // namespace tovik
