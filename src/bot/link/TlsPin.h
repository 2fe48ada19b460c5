#pragma once
// What the bot tells the operator about a server's certificate, and how a
// fingerprint typed into the profile is compared. No Qt.

#include <string>
#include <string_view>

namespace tovik {

// "AB:CD:..." for a digest: upper-case hex pairs joined by ":", as the
// usual tools print a fingerprint, so that the operator can compare.
std::string ColonHex(std::string_view digest);

// The fingerprint as typed, with colons, blanks and case ignored: lower-case
// hex digits only. Empty for an empty setting.
std::string NormalizedFingerprint(std::string_view typed);

// Whether the typed fingerprint names this digest. Only a full SHA-256
// fingerprint can match.
bool FingerprintMatches(std::string_view typed, std::string_view digest);

// Why a certificate does not match the typed fingerprint: it names another
// certificate, or it is no SHA-256 fingerprint at all.
std::string_view PinRefusal(std::string_view typed);

// "TLS-Fehler: <reason>. Fingerabdruck des Servers (SHA-256): <AB:CD:...>"
std::string TlsErrorText(std::string_view reason, std::string_view digest);

// The reasons the bot itself gives.
inline constexpr std::string_view kPinMismatch = "Das Zertifikat passt nicht zum Fingerabdruck in TLSFingerprint";
inline constexpr std::string_view kPinMalformed =
    "TLSFingerprint ist kein SHA-256-Fingerabdruck (64 Hexadezimalziffern)";

}  // namespace tovik
