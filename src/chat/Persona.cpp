#include "chat/Persona.h"

#include <array>

#include "irc/IRC.h"
#include "profile/ProfileStore.h"
#include "text/Literal.h"

namespace tovik {

using namespace tovik::literals;

namespace {

constexpr std::string_view kSection = "PersonData";

struct Placeholder {
    std::string_view marker;
    std::string_view key;
    std::string_view defaultValue;
};

// In the order in which they are tried at each position.
constexpr std::array<Placeholder, 10> kPlaceholders = {{
    {"<location>", "Location", "IRC"},
    {"<sex>", "Sex", "0"},
    {"<age>", "Age", "18"},
    {"<haircolor>", "HairColor", "blond"},
    {"<eyecolor>", "EyeColor", "blau"},
    {"<figure>", "Figure", "schlank"},
    {"<size>", "Size", "1,70"},
    {"<weight>", "Weight", "65"},
    {"<prename>", "PreName", "Tovik"},
    {"<hobbies>", "Hobbies", "lesen, tanzen, disco, freunde und compuer"},
}};

std::string InsertedText(const Placeholder& placeholder, const ProfileFile& profile) {
    std::string value = profile.ReadValue(kSection, placeholder.key, placeholder.defaultValue);
    if (placeholder.marker != "<sex>") return value;
    // Sex holds the index of the dialog's choice; only an exact "0" is male.
    return std::string(value == "0" ? "männlich"_w1252 : "weiblich"_w1252);
}

}  // namespace

std::string ExpandPersona(std::string_view text, const ProfileFile& profile) {
    std::string work(text);
    // Backwards over the positions of the original text: a value inserted at p
    // lies behind every later match start, so placeholders inside values are
    // left alone, while the remaining markers at p itself still see the value's
    // beginning.
    for (std::size_t p = text.size(); p-- > 0;) {
        if (work[p] == '<') {
            for (const Placeholder& placeholder : kPlaceholders) {
                if (work.compare(p, placeholder.marker.size(), placeholder.marker) != 0) continue;
                work.replace(p, placeholder.marker.size(), InsertedText(placeholder, profile));
            }
        }
        if (work == "<picture>") {
            // The picture path is final: it names a file and is not itself scanned
            // for markers.
            return profile.ReadValue(kSection, "Picture", "");
        }
    }
    return work;
}

std::string DccOfferLine(std::string_view picturePath, std::string_view address, std::uint16_t port,
                         std::uint64_t size) {
    // The receiver saves the file under this name, so only the last path
    // component goes out; both Windows and Unix separators count.
    const std::size_t cut = picturePath.find_last_of("/\\:");
    const std::string_view name = cut == std::string_view::npos ? picturePath : picturePath.substr(cut + 1);
    std::string line = "\x01" "DCC SEND ";
    line += name;
    line += ' ';
    if (address.find(':') != std::string_view::npos)
        line += address;
    else
        line += std::to_string(IPToInteger(address));
    line += ' ';
    line += std::to_string(port);
    line += ' ';
    line += std::to_string(size);
    line += '\x01';
    return line;
}

}  // namespace tovik
