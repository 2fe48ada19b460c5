#include "text/Encoding.h"

#include "text/CodePage.h"
#include "text/Cp1252.h"

namespace tovik {

TextEncoding RecogniseEncoding(std::string_view text) {
    std::size_t i = codepage::AsciiRun(text, 0);
    if (i == text.size()) return TextEncoding::Unknown;
    while (i < text.size()) {
        const codepage::Utf8Step step = codepage::DecodeUtf8(text, i);
        if (!step.valid) return TextEncoding::Cp1252;
        i += step.length;
        i += codepage::AsciiRun(text, i);
    }
    return TextEncoding::Utf8;
}

bool IsValidUtf8(std::string_view text) { return RecogniseEncoding(text) != TextEncoding::Cp1252; }

std::string Utf8ToCp1252ForMatching(std::string_view utf8) { return Utf8ToCp1252(utf8, kNoKeywordByte); }

ReceivedText ReadReceived(std::string_view text) {
    // One pass converts and validates at once. Conversion shrinks every
    // character above 0x7F, so an unchanged size means pure ASCII.
    ReceivedText received{TextEncoding::Unknown, std::string(text.size(), '\0')};
    const std::size_t size = codepage::ToCp1252(text, received.cp1252.data(), kNoKeywordByte, true);
    if (size == codepage::kMalformed) {
        received.encoding = TextEncoding::Cp1252;
        received.cp1252.assign(text);
    } else if (size < text.size()) {
        received.encoding = TextEncoding::Utf8;
        received.cp1252.resize(size);
    }
    return received;
}

std::string DecodeForDisplay(std::string_view line) {
    return IsValidUtf8(line) ? std::string(line) : Cp1252ToUtf8(line);
}

namespace {

bool IsControl(char32_t cp) { return (cp < 0x20 && cp != '\t') || (cp >= 0x7F && cp < 0xA0); }

void AppendVisible(std::string& out, char32_t control) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[(control >> 4) & 0xF];
    out += kHex[control & 0xF];
}

}  // namespace

std::string ServerText(std::string_view received) {
    if (!IsValidUtf8(received)) return ControlsVisible(received);
    std::string out;
    out.reserve(received.size());
    for (std::size_t i = 0; i < received.size();) {
        const codepage::Utf8Step step = codepage::DecodeUtf8(received, i);
        i += step.length;
        if (IsControl(step.codePoint)) {
            AppendVisible(out, step.codePoint);
            continue;
        }
        const int byte = codepage::ByteOf(step.codePoint);
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

std::string ControlsVisible(std::string_view cp1252) {
    std::string out;
    out.reserve(cp1252.size());
    for (const char c : cp1252) {
        // The five bytes the code page leaves undefined stand for C1 controls.
        const char32_t cp = codepage::CodePointOf(static_cast<unsigned char>(c));
        if (IsControl(cp)) AppendVisible(out, cp);
        else out += c;
    }
    return out;
}

std::size_t Utf8CutLength(std::string_view utf8, std::size_t maxBytes) {
    if (utf8.size() <= maxBytes) return utf8.size();
    // A character is at most four bytes, so its lead stands at most three
    // places before the first byte that no longer fits.
    std::size_t lead = maxBytes;
    while (lead > 0 && maxBytes - lead < 3 && codepage::IsContinuation(static_cast<unsigned char>(utf8[lead])))
        --lead;
    if (lead == maxBytes) return maxBytes;
    const codepage::Utf8Step step = codepage::DecodeUtf8(utf8, lead);
    return step.valid && lead + step.length > maxBytes ? lead : maxBytes;
}

}  // namespace tovik
