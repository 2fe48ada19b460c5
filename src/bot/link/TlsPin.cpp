#include "bot/link/TlsPin.h"

#include <cctype>

namespace tovik {

std::string ColonHex(std::string_view digest) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(digest.size() * 3);
    for (unsigned char byte : digest) {
        if (!out.empty()) out += ':';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

std::string NormalizedFingerprint(std::string_view typed) {
    std::string out;
    for (unsigned char c : typed) {
        if (c == ':' || c == ' ' || c == '\t') continue;
        out += static_cast<char>(std::tolower(c));
    }
    return out;
}

bool FingerprintMatches(std::string_view typed, std::string_view digest) {
    return digest.size() == 32 && NormalizedFingerprint(typed) == NormalizedFingerprint(ColonHex(digest));
}

std::string_view PinRefusal(std::string_view typed) {
    const std::string pin = NormalizedFingerprint(typed);
    const bool hex = pin.find_first_not_of("0123456789abcdef") == std::string::npos;
    return pin.size() == 64 && hex ? kPinMismatch : kPinMalformed;
}

std::string TlsErrorText(std::string_view reason, std::string_view digest) {
    std::string text = "TLS-Fehler: ";
    text += reason;
    text += ". Fingerabdruck des Servers (SHA-256): ";
    text += digest.empty() ? std::string("unbekannt") : ColonHex(digest);
    return text;
}

}  // namespace tovik
