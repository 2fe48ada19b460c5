#pragma once
// The pieces of a SASL login (RFC 4422 as IRCv3 carries it in
// AUTHENTICATE): base64 in 400-byte pieces and the mechanisms that need no
// crypto. The capability negotiation runs the exchange. No sockets, no Qt.

#include <functional>
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

// The mechanisms the bot knows, in one table, and what each one logs in
// with. A password mechanism goes over plain TCP only to this machine: PLAIN
// shows the password to whoever reads the line, and with SCRAM whoever poses
// as the server learns enough to guess the password at leisure.
enum class Credential { Certificate, Password };
struct KnownMechanism {
    std::string_view name;
    Credential credential;
};
inline constexpr KnownMechanism kKnownMechanisms[] = {
    {"EXTERNAL", Credential::Certificate}, {"SCRAM-SHA-256", Credential::Password}, {"PLAIN", Credential::Password}};
// The entry of that name (as written in upper case), or nothing.
const KnownMechanism* FindMechanism(std::string_view name);

// Said when a server claims success before it has shown that it knows the
// password too: whoever it is, it may not be the server.
inline constexpr std::string_view kServerUnproved = "der Server hat sich nicht als Kenner des Passworts ausgewiesen";

// One SASL mechanism's side of the AUTHENTICATE exchange, so that the
// capability negotiation stays pure while a mechanism may need crypto.
class SaslMechanism {
public:
    virtual ~SaslMechanism() = default;
    virtual std::string Name() const = 0;
    struct Reply {
        std::string response;               // raw bytes, base64 is added by the caller
        std::optional<std::string> reason;  // set: abort ("AUTHENTICATE *") for this German reason
        // With a reason: the fault lies in this mechanism's terms (a number
        // of rounds, a character it cannot carry), so another mechanism may
        // still be tried once the server has seen the abort.
        bool tryNext = false;
        // Set instead of a response: the answer takes long to compute (a key
        // derivation). It runs away from the GUI thread, holds copies of
        // all it needs, and its result goes to Resume().
        std::function<std::string()> work;
    };
    static Reply Answer(std::string response) {
        Reply reply;
        reply.response = std::move(response);
        return reply;
    }
    // The server's challenge (decoded, empty for "+").
    virtual Reply Respond(std::string_view challenge) = 0;
    // The result of a Reply's work.
    virtual Reply Resume(std::string) { return {}; }
    // Whether the server has proved itself, where the mechanism asks for
    // that; a success numeric before it is not trusted.
    virtual bool ServerVerified() const { return true; }
};

// PLAIN (RFC 4616, account and password as UTF-8) and EXTERNAL (the TLS
// client certificate speaks); nothing for any other name.
std::unique_ptr<SaslMechanism> PlainOrExternal(std::string_view name, const std::string& account,
                                               const std::string& password);

}  // namespace tovik
