#pragma once
// Answer catalogue and selection: BuildReply turns one private message into
// the reply text "|line1|line2...".

#include <cstdint>
#include <string>
#include <string_view>

namespace tovik {

class ProfileFile;
class Random;

// Answer lists: alternatives separated by "|".
int ListCount(std::string_view list);
std::string ListItem(std::string_view list, int n);  // 1-based
std::string PickRandom(std::string_view list, Random& random);

// Reply texts: each line preceded by "|".
int ReplyLineCount(std::string_view reply);
std::string ReplyLine(std::string_view reply, int k);  // item k of the split at "|", from 0

// What a photo answer needs of the running bot. BuildReply calls SwitchDccOn
// after the DCC offer line is in the reply and before the reply is returned.
class PhotoOffer {
public:
    virtual ~PhotoOffer() = default;
    // The address the offer names, where partners reach the bot: IPv4
    // dotted or IPv6 text. Empty: none a partner could use, and the photo
    // answer goes without its offer line.
    virtual std::string LocalAddress() const = 0;
    // The port the offer names. A server set to take any free port knows its
    // port only once it listens, so it is switched on here; may throw
    // SocketError.
    virtual std::uint16_t PrepareDccPort() = 0;
    virtual void SwitchDccOn() = 0;                // may throw SocketError
};

// Reseeds the generator from the clock, classifies, picks one answer per
// category in answer order (the fallback list when none fired), fills the
// persona placeholders from the profile. Throws FileError when the picture
// cannot be opened; then nothing is switched on.
std::string BuildReply(std::string_view message, const ProfileFile& profile, Random& random,
                       PhotoOffer& photo);

}  // namespace tovik
