#pragma once
// Text literals of the system are written in UTF-8 in the sources, so that a
// reader sees "männlich" and not "m\xE4nnlich". The bot itself speaks
// Windows-1252 bytes everywhere, so every such literal is converted at compile
// time:  "männlich"_w1252  is a std::string_view of the bytes 6D E4 6E ...
// A character that Windows-1252 cannot hold (or malformed UTF-8) stops the
// build instead of turning into a '?' at run time.

#include <array>
#include <cstddef>
#include <string_view>

namespace tovik::detail {

template <std::size_t N>
struct Utf8Literal {
    char chars[N]{};
    consteval Utf8Literal(const char (&text)[N]) {
        for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
    }
};

consteval unsigned char EncodeCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    constexpr char32_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    for (unsigned i = 0; i < 32; ++i)
        if (kHigh[i] == cp) return static_cast<unsigned char>(0x80 + i);
    throw "character has no Windows-1252 byte";
}

template <std::size_t N>
struct Cp1252Bytes {
    std::array<char, N> bytes{};
    std::size_t size = 0;
};

template <std::size_t N>
consteval Cp1252Bytes<N> ConvertLiteral(const Utf8Literal<N>& in) {
    Cp1252Bytes<N> out;
    std::size_t i = 0;
    const std::size_t end = N - 1;  // drop the terminating NUL
    while (i < end) {
        const auto b = static_cast<unsigned char>(in.chars[i]);
        char32_t cp = 0;
        int more = 0;
        if (b < 0x80) { cp = b; }
        else if ((b & 0xE0) == 0xC0) { cp = b & 0x1F; more = 1; }
        else if ((b & 0xF0) == 0xE0) { cp = b & 0x0F; more = 2; }
        else if ((b & 0xF8) == 0xF0) { cp = b & 0x07; more = 3; }
        else throw "malformed UTF-8 in literal";
        ++i;
        for (int k = 0; k < more; ++k, ++i) {
            if (i >= end) throw "truncated UTF-8 in literal";
            const auto c = static_cast<unsigned char>(in.chars[i]);
            if ((c & 0xC0) != 0x80) throw "malformed UTF-8 in literal";
            cp = (cp << 6) | (c & 0x3F);
        }
        out.bytes[out.size++] = static_cast<char>(EncodeCp1252(cp));
    }
    return out;
}

template <Utf8Literal S>
inline constexpr auto kCp1252Literal = ConvertLiteral(S);

}  // namespace tovik::detail

namespace tovik::literals {

template <detail::Utf8Literal S>
constexpr std::string_view operator""_w1252() {
    return {detail::kCp1252Literal<S>.bytes.data(), detail::kCp1252Literal<S>.size};
}

}  // namespace tovik::literals
