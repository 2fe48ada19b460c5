#pragma once
// The pieces of a SASL login (RFC 4422 as IRCv3 carries it in
// AUTHENTICATE): base64 in 400-byte pieces and the mechanisms that need no
// crypto. The capability negotiation runs the exchange. No sockets, no Qt.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovik {

// Base64 as SASL carries it (RFC 4648, with padding), and back; nothing for
// text that is not base64.
std::string Base64(std::string_view bytes);
std::optional<std::string> FromBase64(std::string_view text);

// A base64 message in the pieces AUTHENTICATE carries: at most 400 bytes
// each, and a "+" after a last piece of exactly 400 (an empty message is
// just "+").
std::vector<std::string> AuthenticatePieces(std::string_view encoded);

// One SASL mechanism's side of the AUTHENTICATE exchange, so that the
// capability negotiation stays pure while a mechanism may need crypto.
class SaslMechanism {
public:
    virtual ~SaslMechanism() = default;
    virtual std::string Name() const = 0;
    struct Reply {
        std::string response;               // raw bytes, base64 is added by the caller
        std::optional<std::string> reason;  // set: abort ("AUTHENTICATE *") for this German reason
    };
    // The server's challenge (decoded, empty for "+").
    virtual Reply Respond(std::string_view challenge) = 0;
    // Whether the server has proved itself, where the mechanism asks for
    // that; a success numeric before it is not trusted.
    virtual bool ServerVerified() const { return true; }
};

// PLAIN (RFC 4616, account and password as UTF-8) and EXTERNAL (the TLS
// client certificate speaks); nothing for any other name.
std::unique_ptr<SaslMechanism> PlainOrExternal(std::string_view name, const std::string& account,
                                               const std::string& password);

// The PLAIN message, base64, in the pieces AUTHENTICATE carries: at most
// 400 bytes each, and a "+" after a last piece of exactly 400.
std::vector<std::string> PlainPieces(std::string_view account, std::string_view password);

}  // namespace tovik
