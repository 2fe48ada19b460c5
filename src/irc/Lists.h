#pragma once
// The small lists and numbers that IRCv3 values are made of, read the same
// way wherever they occur:
//
//   :srv CAP * LS :multi-prefix sasl=EXTERNAL,PLAIN sts=port=6697,duration=300
//                  ^-- blank list of name[=value] --^  ^ comma list of key=value
//   :srv 005 me CLIENTTAGDENY=*,-typing NICKLEN=30 :are supported
//
// SCRAM's messages ("r=...,s=...,i=4096") are the same kind of comma list.
// Pure and Qt-free; the pieces point into the text they came from.

#include <charconv>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace tovik {

// The pieces of `text` between separators; empty pieces (two separators in
// a row, one at either end) are left out.
std::vector<std::string_view> SplitList(std::string_view text, char separator);

// "name=value" as name and value; "name" alone has an empty value.
std::pair<std::string_view, std::string_view> KeyAndValue(std::string_view item);

// The value of the first "key=value" of a comma list with this key.
std::optional<std::string_view> ListValue(std::string_view list, std::string_view key);

// A number a peer wrote: decimal digits only (no sign, no blanks, not
// empty) and within the range of T; nothing otherwise.
template <typename T>
std::optional<T> DecimalNumber(std::string_view text) {
    static_assert(std::is_integral_v<T>);
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace tovik
