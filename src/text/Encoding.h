#pragma once
// Partners whose clients speak UTF-8. Inside the bot every text stays
// Windows-1252 bytes; these helpers sit where a partner's bytes come in and
// where the bot's bytes go out to a UTF-8 partner.

#include <cstddef>
#include <string>
#include <string_view>

namespace tovik {

// What a received text tells about its sender's client.
enum class TextEncoding {
    Unknown,  // pure ASCII: both encodings spell it the same
    Utf8,     // valid UTF-8 (strictly) with at least one byte above 0x7F
    Cp1252,   // bytes above 0x7F that are not valid UTF-8
};

TextEncoding RecogniseEncoding(std::string_view text);

// Valid UTF-8 by the strict rules of CodePage.h; pure ASCII counts as valid.
bool IsValidUtf8(std::string_view text);

// Stands for a character that Windows-1252 lacks when a UTF-8 partner's text
// is read for its meaning. It must match no keyword: '?' would not do, since
// "wie groß?" and "deutsch?" end in one and it splits words. 0x81 is one of
// the bytes that the code page leaves undefined, so no keyword, nick or
// command can hold it, and it lowercases to itself.
inline constexpr char kNoKeywordByte = '\x81';

// A UTF-8 text as Windows-1252 for the classifier, the deny list and the
// remote commands: each character Windows-1252 lacks (and, should the text
// not be valid after all, each malformed piece) becomes kNoKeywordByte.
std::string Utf8ToCp1252ForMatching(std::string_view utf8);

// A received text (a PRIVMSG's trailing text, say) as the bot works with it:
// its encoding, and its Windows-1252 bytes. A UTF-8 text is converted by
// Utf8ToCp1252ForMatching; any other text is taken byte for byte.
struct ReceivedText {
    TextEncoding encoding = TextEncoding::Unknown;
    std::string cp1252;
};
ReceivedText ReadReceived(std::string_view text);

// A received line decoded for the operator's eyes, as UTF-8: the line itself
// when it is valid UTF-8, else its Windows-1252 bytes converted. So umlauts
// read correctly whichever client sent them.
std::string DecodeForDisplay(std::string_view line);

// A text that a server chose (a numeric's reason, an account name, a value
// of its capabilities) as the operator may see it, in the bot's own bytes:
// decoded as the log view decodes a line (UTF-8 when it is valid UTF-8,
// else Windows-1252; a character Windows-1252 lacks becomes "?"), and every
// control character written out as "\x1B": the C0 controls but tab, DEL
// and the C1 controls. A server must not clear the operator's terminal,
// retitle it or ring its bell through a text of its own. The one gate for
// every such text; the log keeps the bytes as they came.
std::string ServerText(std::string_view received);
// The same for a text that is Windows-1252 already: only the control
// characters are written out. What leaves on a terminal passes here.
std::string ControlsVisible(std::string_view cp1252);

// The longest prefix of a UTF-8 line that has at most maxBytes bytes and does
// not end inside a character: a cut that would fall into a well-formed
// sequence moves back to its lead byte. Bytes that form no well-formed
// sequence are cut like single bytes.
std::size_t Utf8CutLength(std::string_view utf8, std::size_t maxBytes);
inline std::string_view CutUtf8(std::string_view utf8, std::size_t maxBytes) {
    return utf8.substr(0, Utf8CutLength(utf8, maxBytes));
}

}  // namespace tovik
