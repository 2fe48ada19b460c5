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
