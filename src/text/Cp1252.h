#pragma once
// Windows-1252 text held as bytes in std::string. The core, the wire and the
// files all use these bytes; only the GUI converts to Unicode at its edge.

#include <string>
#include <string_view>

namespace tovik {

// Lowercasing with the code page's own rules: A-Z, the accented capitals
// 0xC0-0xDE except the multiplication sign 0xD7, and Š Œ Ž Ÿ from the
// 0x80-0x9F range. "ß" has no capital and stays.
char LowerAnsi(char c);
std::string LowerAnsi(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The text without blanks (spaces and tabs) at either end.
std::string_view TrimBlanks(std::string_view text);

// The whole Windows-1252 table, 0x80-0x9F included. The five bytes that the
// code page leaves undefined map to the C1 control of the same number, so the
// conversion round-trips every byte. The result is always valid UTF-8.
std::string Cp1252ToUtf8(std::string_view cp1252);
// Decoded strictly (see CodePage.h: no overlong forms, no surrogates, nothing
// above U+10FFFF, no truncated sequences or stray continuation bytes). A
// character without a Windows-1252 byte becomes the replacement, and so does
// each malformed piece: one replacement for the longest start of a sequence
// that could have been well-formed, one for any other bad byte. "C0 AF" thus
// gives "??", never "/", and "E2 82" (a cut-off euro sign) gives "?".
std::string Utf8ToCp1252(std::string_view utf8, char replacement = '?');

}  // namespace tovik

namespace tovik {

// File names on Linux are UTF-8, while a profile name or the photo path kept
// in a profile is text like any other: Windows-1252. These convert such text
// where it becomes a file name, and a file name where it is shown as text.
// A path the system gave us (the program directory, a listed file) keeps its
// bytes: converting it whole would turn "łódź" into "?ód?".
inline std::string NativePath(std::string_view path) { return Cp1252ToUtf8(path); }
inline std::string PathFromNative(std::string_view native) { return Utf8ToCp1252(native); }

}  // namespace tovik
