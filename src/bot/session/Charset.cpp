#include "bot/session/Charset.h"

#include <algorithm>
#include <iterator>

#include "bot/session/ServerSupport.h"
#include "irc/IRC.h"
#include "text/Cp1252.h"

namespace tovik {

Charset CharsetFromSetting(std::string_view value) {
    const std::string name = LowerAnsi(TrimBlanks(value));
    for (const std::string_view cp1252 : {"windows-1252", "cp1252", "iso-8859-1", "latin1"})
        if (name == cp1252) return Charset::Cp1252;
    return Charset::Utf8;
}

std::string Encode(std::string_view cp1252, Charset to) {
    return to == Charset::Utf8 ? Cp1252ToUtf8(cp1252) : std::string(cp1252);
}

std::string Transcode(std::string_view received, TextEncoding from, Charset to) {
    if (from == TextEncoding::Utf8) return to == Charset::Utf8 ? std::string(received) : Utf8ToCp1252(received, '?');
    // Windows-1252, or ASCII, which both spell alike.
    return Encode(received, to);
}

void PartnerCharsets::Tell(std::string_view nick, TextEncoding encoding) {
    if (encoding == TextEncoding::Unknown || max_ == 0) return;
    const Charset charset = encoding == TextEncoding::Utf8 ? Charset::Utf8 : Charset::Cp1252;
    std::string key = Key(nick);
    if (const auto found = known_.find(key); found != known_.end()) {
        found->second.charset = charset;
        byAge_.splice(byAge_.end(), byAge_, found->second.age);  // told just now
        return;
    }
    if (known_.size() >= max_) {
        known_.erase(byAge_.front());
        byAge_.pop_front();
    }
    byAge_.push_back(key);
    known_.emplace(std::move(key), Known{charset, std::prev(byAge_.end())});
}

std::optional<Charset> PartnerCharsets::Of(std::string_view nick) const {
    const auto found = known_.find(Key(nick));
    if (found == known_.end()) return std::nullopt;
    return found->second.charset;
}

void PartnerCharsets::Rename(std::string_view oldNick, std::string_view newNick) {
    const auto found = known_.find(Key(oldNick));
    if (found == known_.end()) return;
    const Known known = found->second;
    byAge_.erase(known.age);
    known_.erase(found);
    if (const auto other = known_.find(Key(newNick)); other != known_.end()) {
        byAge_.erase(other->second.age);  // left by someone gone: nobody else holds the nick now
        known_.erase(other);
    }
    // A nick change is a sign of life: he counts as having told just now.
    Tell(newNick, known.charset == Charset::Utf8 ? TextEncoding::Utf8 : TextEncoding::Cp1252);
}

void PartnerCharsets::Clear() {
    known_.clear();
    byAge_.clear();
}

}  // namespace tovik
