#pragma once
// The one Windows-1252 table and the one strict UTF-8 decoding step. The
// compile-time literal operator and the run-time converters are both built on
// these, so a literal in the sources and a text received at run time can
// never disagree about a character, nor about what counts as malformed.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tovik::codepage {

// Code points of the bytes 0x80-0x9F. The five bytes that the code page leaves
// undefined (81 8D 8F 90 9D) stand for the C1 control of the same number, so
// that every byte converts to Unicode and back unchanged. 0xA0-0xFF are
// Latin-1 and need no table.
inline constexpr std::array<char32_t, 32> kHighRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t CodePointOf(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighRange[byte - 0x80] : char32_t{byte};
}

// The byte that holds cp, or -1 when Windows-1252 has none.
constexpr int ByteOf(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (std::size_t i = 0; i < kHighRange.size(); ++i)
        if (kHighRange[i] == cp) return static_cast<int>(0x80 + i);
    return -1;
}

// One step of strict UTF-8 decoding, as the Unicode standard's table of
// well-formed byte sequences has it: no overlong forms (C0, C1, E0 80..9F,
// F0 80..8F), no surrogates (ED A0..BF), nothing above U+10FFFF (F4 90.., F5..FF),
// every lead followed by its full count of continuation bytes.
struct Utf8Step {
    char32_t codePoint = 0;
    std::uint8_t length = 1;  // bytes taken; for a malformed step, the longest
                              // prefix of a well-formed sequence (at least 1),
                              // so that one fault gives one replacement
    bool valid = false;
};

constexpr bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

constexpr Utf8Step DecodeUtf8(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return {lead, 1, true};
    int more = 0;
    char32_t cp = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;        // below: overlong
        else if (lead == 0xED) high = 0x9F;  // above: surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;        // below: overlong
        else if (lead == 0xF4) high = 0x8F;  // above: beyond U+10FFFF
    } else {
        return {};  // stray continuation byte, C0/C1 (always overlong) or F5-FF
    }
    std::size_t i = at + 1;
    for (int k = 0; k < more; ++k, ++i) {
        const auto b = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        if (i >= text.size() || b < low || b > high)
            return {0, static_cast<std::uint8_t>(i - at), false};
        cp = (cp << 6) | (b & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {cp, static_cast<std::uint8_t>(i - at), true};
}

// How many bytes from `from` on are ASCII. Chat lines are mostly ASCII, so
// this runs eight bytes at a time before any decoding is needed.
inline std::size_t AsciiRun(std::string_view text, std::size_t from) {
    std::size_t i = from;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        const std::uint64_t high = word & kHighBits;
        if (high == 0) continue;
        if constexpr (std::endian::native == std::endian::little)
            return i + static_cast<std::size_t>(std::countr_zero(high) >> 3) - from;
        break;
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    return i - from;
}

// Writes the Windows-1252 form of utf8 to out, which has room for
// utf8.size() bytes (no character grows), and returns the bytes written. A
// character without a Windows-1252 byte, or a malformed piece, becomes the
// replacement; with stopAtMalformed a malformed piece instead ends the work
// and the result is kMalformed. Received lines pass through here, so ASCII
// is copied a word at a time and the umlauts (C3 xx) skip the full decoder.
inline constexpr std::size_t kMalformed = static_cast<std::size_t>(-1);

inline std::size_t ToCp1252(std::string_view utf8, char* out, char replacement, bool stopAtMalformed) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    const char* in = utf8.data();
    const std::size_t n = utf8.size();
    std::size_t i = 0, o = 0;
    while (i < n) {
        if (i + 8 <= n) {
            // Copy eight bytes at once and keep those before the first high
            // byte; o <= i, so the word always fits into out.
            std::uint64_t word;
            std::memcpy(&word, in + i, 8);
            std::memcpy(out + o, &word, 8);
            const std::uint64_t high = word & kHighBits;
            if (high == 0) {
                i += 8;
                o += 8;
                continue;
            }
            if constexpr (std::endian::native == std::endian::little) {
                const auto ascii = static_cast<std::size_t>(std::countr_zero(high) >> 3);
                i += ascii;
                o += ascii;
            } else {
                while (static_cast<unsigned char>(in[i]) < 0x80) ++i, ++o;
            }
        } else if (static_cast<unsigned char>(in[i]) < 0x80) {
            out[o++] = in[i++];
            continue;
        }
        const auto lead = static_cast<unsigned char>(in[i]);
        if (lead == 0xC3 && i + 1 < n && IsContinuation(static_cast<unsigned char>(in[i + 1]))) {
            out[o++] = static_cast<char>(0xC0 | (static_cast<unsigned char>(in[i + 1]) & 0x3F));  // U+00C0-U+00FF
            i += 2;
            continue;
        }
        const Utf8Step step = DecodeUtf8(utf8, i);
        if (!step.valid && stopAtMalformed) return kMalformed;
        const int byte = step.valid ? ByteOf(step.codePoint) : -1;
        out[o++] = byte < 0 ? replacement : static_cast<char>(byte);
        i += step.length;
    }
    return o;
}

}  // namespace tovik::codepage
