#pragma once
// Which bytes a line leaves in. Inside the bot every text is Windows-1252
// (the profiles, the catalogue, the classifier); most clients today speak
// UTF-8, though. So each line is composed for one charset at the end: the
// bot's own text is converted to it, and text received from someone (a
// partner's message in a report, the operator's ".say" text) is carried over
// from the encoding it came in, never through the matching conversion,
// which would turn every character Windows-1252 lacks into a marker byte.

#include <cstddef>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "irc/Message.h"
#include "text/Encoding.h"

namespace tovik {

enum class Charset { Cp1252, Utf8 };

// `[IRC] Charset` and the value a profile without it behaves as.
inline constexpr std::string_view kCharsetKey = "Charset";
inline constexpr std::string_view kDefaultCharset = "UTF-8";

// The setting's value, compared without regard to case or surrounding
// blanks: "Windows-1252" (and the names it goes by: "CP1252", "ISO-8859-1",
// "Latin1") gives Windows-1252. Anything else, empty and misspelt values
// included, gives UTF-8: that is what nearly every client expects, and a
// typo must not quietly bring back the bytes strict clients show as "?".
Charset CharsetFromSetting(std::string_view value);

// The bot's own Windows-1252 text as `to` wants it.
std::string Encode(std::string_view cp1252, Charset to);
// Received bytes, recognised as `from`, as `to` wants them. A UTF-8 text
// bound for Windows-1252 gets "?" for each character the code page lacks.
std::string Transcode(std::string_view received, TextEncoding from, Charset to);
// The same for a piece recognised on its own (a nick, say).
inline std::string Transcode(std::string_view received, Charset to) {
    return Transcode(received, RecogniseEncoding(received), to);
}


// What each partner's client spoke last, for the answers: the encoding of
// the partner's last telling message (pure ASCII tells nothing). Nicks are
// compared as everywhere, as the server compares them. A bot in a big
// network meets new nicks all day, so the memory is bounded: beyond the
// bound the partner who told the longest time ago is forgotten and is then
// answered in the default charset, as a new partner would be.
class PartnerCharsets {
public:
    static constexpr std::size_t kMaxPartners = 4096;

    explicit PartnerCharsets(std::size_t maxPartners = kMaxPartners) : max_(maxPartners) {}

    void Tell(std::string_view nick, TextEncoding encoding);
    std::optional<Charset> Of(std::string_view nick) const;
    // The partner now goes by another nick; what his client spoke goes with him.
    void Rename(std::string_view oldNick, std::string_view newNick);
    void Clear();
    // The server's CASEMAPPING, for the keys from now on.
    void SetMapping(CaseMapping mapping) { mapping_ = mapping; }
    std::size_t Size() const { return known_.size(); }

private:
    struct Known {
        Charset charset;
        std::list<std::string>::iterator age;
    };
    std::string Key(std::string_view nick) const { return IrcLower(nick, mapping_); }

    std::size_t max_;
    CaseMapping mapping_ = CaseMapping::Rfc1459;
    std::list<std::string> byAge_;  // keys, the longest-ago telling first
    std::unordered_map<std::string, Known> known_;
};

}  // namespace tovik
