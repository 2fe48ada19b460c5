#pragma once
// Text literals of the system are written in UTF-8 in the sources, so that a
// reader sees "männlich" and not "m\xE4nnlich". The bot itself speaks
// Windows-1252 bytes everywhere, so every such literal is converted at compile
// time:  "männlich"_w1252  is a std::string_view of the bytes 6D E4 6E ...
// The table and the decoding are the run-time converters' own (CodePage.h);
// only the consequence differs: where the run time writes a replacement, a
// character that Windows-1252 cannot hold, or malformed UTF-8, stops the build.

#include <array>
#include <cstddef>
#include <string_view>

#include "text/CodePage.h"

namespace tovik::detail {

template <std::size_t N>
struct Utf8Literal {
    char chars[N]{};
    consteval Utf8Literal(const char (&text)[N]) {
        for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
    }
};

template <std::size_t N>
struct Cp1252Bytes {
    std::array<char, N> bytes{};
    std::size_t size = 0;
};

template <std::size_t N>
consteval Cp1252Bytes<N> ConvertLiteral(const Utf8Literal<N>& in) {
    Cp1252Bytes<N> out;
    const std::string_view utf8(in.chars, N - 1);  // without the terminating NUL
    for (std::size_t i = 0; i < utf8.size();) {
        const codepage::Utf8Step step = codepage::DecodeUtf8(utf8, i);
        if (!step.valid) throw "malformed UTF-8 in literal";
        const int byte = codepage::ByteOf(step.codePoint);
        if (byte < 0) throw "character has no Windows-1252 byte";
        out.bytes[out.size++] = static_cast<char>(byte);
        i += step.length;
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
