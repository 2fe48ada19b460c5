#include "chat/Answers.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "chat/Categories.h"
#include "chat/Persona.h"
#include "chat/Random.h"
#include "text/Cp1252.h"
#include "text/Errors.h"
#include "text/Literal.h"

namespace tovik {

using namespace tovik::literals;
using detail::Category;

namespace {

// The photo question has two lists: one when the persona has no picture, one
// that goes with the DCC offer.
constexpr std::string_view kNoPictureList =
    "nee, leider net :( ... hast du ?|hab leider keins :< ... du?|sorry, ich hab keins, hast du?|"
    "nee, leider nicht ... du?|hab keins ;( ... hast du?"_w1252;
constexpr std::string_view kOfferList =
    "ja .. *kram* .. schick mir mal auch eins von dir bitte :))|"
    "ich schick eins, moment... hast du auch eins? ;)|"
    "warte, ich schick eins, kannst du mir eins von dir schicken?|"
    "warte kurz :)) .. hast du auch eins von dir für mich? ;))"_w1252;

constexpr std::string_view kFallbackList =
    "hä?|uhm?|was meinst?|wie meinste das?|ich versteh nich ...|kapier ich nicht ...|"
    "ich weiß nicht, was du meinst|häää?|keine ahnung was du meinst ...|*nixkapier*|wie bitte?|???"_w1252;

struct CatalogueEntry {
    Category category;
    std::string_view answers;  // empty for the photo question, which has its own steps
};

// The answer order; it differs from the order in which categories are detected.
constexpr std::array<CatalogueEntry, detail::kCategoryCount> kCatalogue = {{
    {Category::Greeting, "huhu :)|na du :P|hiho|hi :)|hoi ...|moin :D|moinsen :D|tach :P"_w1252},
    {Category::HowAreYou,
     "mir geht's suuuper und dir ?? :D|gut und dir?|sehr gut und dir? :)|supi und selber? :>"_w1252},
    {Category::PicOfU, {}},
    {Category::AreFrom,
     "ich wohne im wunderschönen <location> :P|<location>|bin aus <location>|ich wohne in <location>|"
     "ich komme aus <location>"_w1252},
    {Category::Joke,
     "warum sollte ich dich verarschen wollen?|wieso verarsch ich dich?|"
     "ich rede bestimmt nicht mit dir um dich zu verarschen ...|wieso sollte ich das wollen?"_w1252},
    {Category::DontWant, "doch! na klar will ich!! :>|hey, ich will doch!|doch ich will ... :>|ich will doch ..."_w1252},
    {Category::Age, "ich bin <age> jahre jung :>|ich bin <age> ;)|ich bin <age> jahre alt ...|bin <age> .. :)"_w1252},
    {Category::PreName, "ich heiße <prename> *grins*|ich bin die <prename> *grins*"_w1252},
    {Category::Ass,
     "warum beschimpfst du micht? *wein*|hey, lass die beleidigungen bitte !!|man was soll das ?!? ;<|"
     "lass das doch mal !!|selber du ... *grrr* ;((|*wein*"_w1252},
    {Category::OftenHere,
     "jupp, bin sehr oft hier :>|nee, bin zum ersten mal hier :))|"
     "bin regelmäßig hier, immer wenn ich zeit habe :>|bin relativ oft hier *grins* :>"_w1252},
    {Category::AloneAtHome,
     "jupp, bin ganz allein :>|jaaa, gaaanz aleine :P|jepp, keiner außer mir zu hause *grins*|"
     "jupp, <prename> allein zu haus *grins*"_w1252},
    {Category::ForgetIt, "warum soll ich das vergessen?|wieso sollte ich das vergessen?|warum denn vergessen?"_w1252},
    {Category::WhyNotUnderstand,
     "vielleicht drückst du dich einfach schlecht aus ... :>|vielleicht bin ich einfach zu dumm dazu ;(|"
     "vielleicht bin ich einfach zu blöd ;(|weil du dich schlecht ausdrückst ... :>"_w1252},
    {Category::Hobbies,
     "ich mache gern: <hobbies> :>|<hobbies> mach ich gern :>|in meiner freizeit tu ich gern <hobbies>|"
     "meine hobbies *gg* -> <hobbies>"_w1252},
    {Category::NotBad, "danke! *grins*|danke schön :P|danke ... :))"_w1252},
    {Category::AreStupid,
     "warum? *wein*|warum bin ich dumm? *wein*|wieso bin ich dumm ?! bist du dumm ?!?|"
     "warum sagst du sowas? *heul*|was soll das? beschimpf ich dich?!|*wein*"_w1252},
    {Category::German, "ja!|jooo :>|jowohl ... :)|japp ;)|jepp :>|yo|jupp :>"_w1252},
    {Category::ChooseThema,
     "öhm, keine ahnung ... :>|schlag du lieber was vor :))|mir fällt nix ein :(|öhm ... *grübel*"_w1252},
    {Category::OtherThema, "ok|ok ... :>|nagut|ok, wie du willst ...|nagut, wenn du meinst ... :>|alles klar"_w1252},
    {Category::WannaFuck,
     "jaaaaa klar! =)|wer will das nicht? :)|immer doch !!!|au jaa :>|jaaa, lass ficken!!|"
     "also auf sex hätt ich auch bock? *grins*"_w1252},
    {Category::DescribeYou,
     "ich bin <size>m groß, hab <haircolor>e haare, <eyecolor>e augen und bin <figure>|"
     "ich bin <haircolor>, <size>m klein :P, habe eine <figure>e figur und <eyecolor>e augen :)|"
     "ich bin <figure>, <size>m, <haircolor>e haare, <eyecolor>e augen :)|"
     "ich habe <eyecolor>e augen dazu <haircolor>e haare, bin <figure> und <size>m groß"_w1252},
    {Category::Size, "ich bin <size>m|ich bin <size>m groß|ich bin <size>m klein :P"_w1252},
    {Category::Weight, "ich wiege <weight>kg|ich bin <weight>kg schwer|ich bin <weight>kg leicht :>"_w1252},
    {Category::Asl,
     "ich bin <age>, <sex> und komme aus <location>|ich bin <sex>, <age> jahre jung und wohne in <location>|"
     "ich komme aus <location>, bin <age> und <sex>|ich wohne in <location> bin <sex> und <age> jahre alt :)"_w1252},
    {Category::GoodSmily, ":)|;)|:-)|:o)|:D|:P|:>|:]|;>|;D|;P"_w1252},
    {Category::Bye, "bye bye :)|tschüüsssi :)|tschö :>|tschüss|cu|cya|bye|bis denn|bis dann"_w1252},
}};

consteval bool EveryCategoryOnce() {
    std::uint32_t seen = 0;
    for (const auto& entry : kCatalogue) seen |= 1u << static_cast<unsigned>(entry.category);
    return seen == (1u << detail::kCategoryCount) - 1;
}
static_assert(EveryCategoryOnce());

// The picture's size in bytes; FileError when it cannot be opened for reading.
std::uint64_t PictureSize(const std::string& path) {
    int error = 0;
    std::uint64_t size = 0;
    // Non-blocking, so that a named pipe given as picture cannot hang the bot.
    const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
    } else {
        struct stat info {};
        if (::fstat(fd, &info) != 0) error = errno;
        // A directory opens for reading on Linux but is no picture to offer;
        // the DCC server refuses the same files.
        else if (S_ISDIR(info.st_mode)) error = EACCES;
        else if (!S_ISREG(info.st_mode)) error = EINVAL;
        else size = static_cast<std::uint64_t>(info.st_size);
        ::close(fd);
    }
    if (error != 0) throw FileError(error, path);
    return size;
}

}  // namespace

namespace detail {

std::string_view AnswerList(Category category) {
    for (const auto& entry : kCatalogue)
        if (entry.category == category) return entry.answers;
    return {};
}
std::string_view NoPictureList() { return kNoPictureList; }
std::string_view OfferList() { return kOfferList; }
std::string_view FallbackList() { return kFallbackList; }

}  // namespace detail

int ListCount(std::string_view list) {
    int count = 1;
    for (char c : list)
        if (c == '|') ++count;
    return count;
}

std::string ListItem(std::string_view list, int n) {
    if (n < 1) return {};
    int item = 1;
    std::size_t start = 0;
    while (item < n) {
        const std::size_t bar = list.find('|', start);
        if (bar == std::string_view::npos) return {};
        start = bar + 1;
        ++item;
    }
    return std::string(list.substr(start, list.find('|', start) - start));
}

std::string PickRandom(std::string_view list, Random& random) {
    return ListItem(list, random.Below(ListCount(list)) + 1);
}

int ReplyLineCount(std::string_view reply) { return ListCount(reply) - 1; }

std::string ReplyLine(std::string_view reply, int k) { return ListItem(reply, k + 1); }

std::string BuildReply(std::string_view message, const ProfileFile& profile, Random& random,
                       PhotoOffer& photo) {
    random.ReseedFromClock();
    const detail::CategorySet found = detail::DetectCategories(message);

    std::string reply;
    bool switchDccOn = false;
    for (const auto& entry : kCatalogue) {
        if (!detail::Contains(found, entry.category)) continue;
        if (entry.category != Category::PicOfU) {
            reply += '|';
            reply += PickRandom(entry.answers, random);
            continue;
        }
        const std::string picture = ExpandPersona("<picture>", profile);
        if (picture.empty()) {
            reply += '|';
            reply += PickRandom(kNoPictureList, random);
            continue;
        }
        const std::uint64_t size = PictureSize(picture);  // throws before anything is changed
        reply += '|';
        reply += PickRandom(kOfferList, random);
        // Without an address a partner could reach, the offer line would
        // only send the partner's client somewhere else: the text stays.
        const std::string address = photo.LocalAddress();
        if (address.empty()) continue;
        reply += '|';
        reply += DccOfferLine(picture, address, photo.PrepareDccPort(), size);
        switchDccOn = true;
    }
    if (found == 0) {
        reply += '|';
        reply += PickRandom(kFallbackList, random);
    }
    reply = ExpandPersona(reply, profile);

    // The listener must be up before the first line goes out. Switching it on
    // last means that a failure anywhere above leaves it as it was, and a
    // failure here leaves no reply behind.
    if (switchDccOn) photo.SwitchDccOn();
    return reply;
}

}  // namespace tovik
