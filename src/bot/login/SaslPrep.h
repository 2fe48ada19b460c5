#pragma once
// SASLprep (RFC 4013), the preparation SCRAM asks of a name and a password
// before either is used (RFC 5802 section 2.2 and 5.1): non-ASCII spaces
// become blanks, soft hyphens and the like vanish, and compatibility
// characters take their plain form (NFKC): "½" is "1⁄2", "™" is "TM". A
// server that stores the prepared form otherwise refuses a correct password
// that holds such a character, and the operator could not tell why.
//
// The stringprep tables and the normalisation are libidn's, which keeps
// them as RFC 3454 fixes them (Unicode 3.2).

#include <optional>
#include <string>
#include <string_view>

namespace tovik {

// The prepared form of a UTF-8 text, taken as a query (unassigned code
// points may stand); nothing when it holds a prohibited character (a
// control character, say), breaks the rules for right-to-left text, or is
// empty once prepared.
std::optional<std::string> SaslPrep(std::string_view utf8);

}  // namespace tovik
