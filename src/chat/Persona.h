#pragma once
// Persona placeholders ("<age>", "<location>", ...) filled from the profile.

#include <cstdint>
#include <string>
#include <string_view>

namespace tovik {

class ProfileFile;

// Replaces every placeholder, scanning backwards; "<picture>" only when it is
// the whole text. Each value is read from the profile when it is needed.
std::string ExpandPersona(std::string_view text, const ProfileFile& profile);

// The CTCP line that offers the picture: \x01DCC SEND <name> <addr> <port> <size>\x01,
// name = path after its last "/", "\" or ":", addr = IPToInteger(address)
// for an IPv4 address, and an IPv6 address as its text ("2001:db8::5"), the
// form DCC clients take for IPv6.
std::string DccOfferLine(std::string_view picturePath, std::string_view address,
                         std::uint16_t port, std::uint64_t size);

}  // namespace tovik
