#include "bot/login/Sasl.h"

#include "text/Cp1252.h"

namespace tovik {
namespace {

constexpr std::size_t kPieceSize = 400;

class Plain final : public SaslMechanism {
public:
    Plain(std::string account, std::string password) : account_(std::move(account)), password_(std::move(password)) {}
    std::string Name() const override { return "PLAIN"; }
    Reply Respond(std::string_view) override {
        const std::string user = Cp1252ToUtf8(account_);
        return Answer(user + '\0' + user + '\0' + Cp1252ToUtf8(password_));
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

const KnownMechanism* FindMechanism(std::string_view name) {
    for (const KnownMechanism& known : kKnownMechanisms)
        if (known.name == name) return &known;
    return nullptr;
}

std::unique_ptr<SaslMechanism> PlainOrExternal(std::string_view name, const std::string& account,
                                               const std::string& password) {
    if (EqualsIgnoreCase(name, "PLAIN")) return std::make_unique<Plain>(account, password);
    if (EqualsIgnoreCase(name, "EXTERNAL")) return std::make_unique<External>();
    return nullptr;
}

}  // namespace tovik
