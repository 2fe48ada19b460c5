#include "text/Cp1252.h"

#include <array>
#include <cstdint>

#include "text/CodePage.h"

namespace tovik {
namespace {

constexpr std::array<unsigned char, 256> MakeLowerTable() {
    std::array<unsigned char, 256> table{};
    for (unsigned i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(i);
    for (unsigned c = 'A'; c <= 'Z'; ++c) table[c] = static_cast<unsigned char>(c + 0x20);
    for (unsigned c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) table[c] = static_cast<unsigned char>(c + 0x20);
    table[0x8A] = 0x9A;  // Š
    table[0x8C] = 0x9C;  // Œ
    table[0x8E] = 0x9E;  // Ž
    table[0x9F] = 0xFF;  // Ÿ
    return table;
}

constexpr auto kLower = MakeLowerTable();

// Each byte's UTF-8 form (one to three bytes), so that converting an answer
// line is one lookup per byte.
struct Utf8Form {
    std::array<char, 3> bytes{};
    std::uint8_t size = 0;
};

constexpr std::array<Utf8Form, 256> MakeUtf8Forms() {
    std::array<Utf8Form, 256> forms{};
    for (unsigned b = 0; b < 256; ++b) {
        const char32_t cp = codepage::CodePointOf(static_cast<unsigned char>(b));
        Utf8Form& f = forms[b];
        if (cp < 0x80) {
            f.bytes = {static_cast<char>(cp)};
            f.size = 1;
        } else if (cp < 0x800) {
            f.bytes = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
            f.size = 2;
        } else {  // the table holds nothing beyond the Basic Multilingual Plane
            f.bytes = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                       static_cast<char>(0x80 | (cp & 0x3F))};
            f.size = 3;
        }
    }
    return forms;
}

constexpr auto kUtf8Forms = MakeUtf8Forms();

}  // namespace

char LowerAnsi(char c) {
    return static_cast<char>(kLower[static_cast<unsigned char>(c)]);
}

std::string LowerAnsi(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = LowerAnsi(c);
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAnsi(a[i]) != LowerAnsi(b[i])) return false;
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string Cp1252ToUtf8(std::string_view cp1252) {
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 4);
    for (std::size_t i = 0; i < cp1252.size();) {
        const std::size_t ascii = codepage::AsciiRun(cp1252, i);
        out.append(cp1252.substr(i, ascii));
        i += ascii;
        if (i == cp1252.size()) break;
        const Utf8Form& f = kUtf8Forms[static_cast<unsigned char>(cp1252[i++])];
        out.append(f.bytes.data(), f.size);
    }
    return out;
}

std::string Utf8ToCp1252(std::string_view utf8, char replacement) {
    std::string out(utf8.size(), '\0');
    out.resize(codepage::ToCp1252(utf8, out.data(), replacement, false));
    return out;
}

}  // namespace tovik
