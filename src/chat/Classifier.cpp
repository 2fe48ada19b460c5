#include "chat/Classifier.h"

#include <array>
#include <bit>
#include <stdexcept>
#include <vector>

#include "chat/Categories.h"
#include "text/Cp1252.h"
#include "text/Literal.h"

namespace tovik {

using namespace tovik::literals;
using detail::Category;
using detail::KeywordHits;

namespace {

// ---------------------------------------------------------------------------
// Word splitting

constexpr std::string_view kDelimiters = " .!?,;:()=*#'+-}][{&$\"^";
static_assert(kDelimiters.size() == 23);

struct ByteTables {
    std::array<bool, 256> delimiter{};
    std::array<unsigned char, 256> lower{};
};

const ByteTables& Tables() {
    static const ByteTables tables = [] {
        ByteTables t;
        for (char c : kDelimiters) t.delimiter[static_cast<unsigned char>(c)] = true;
        for (int b = 0; b < 256; ++b)
            t.lower[b] = static_cast<unsigned char>(LowerAnsi(static_cast<char>(b)));
        return t;
    }();
    return tables;
}

bool IsDelimiter(char c) { return Tables().delimiter[static_cast<unsigned char>(c)]; }

// ---------------------------------------------------------------------------
// Word rules: whole words, compared after lowercasing.

constexpr std::array kGreetingWords = {
    "hiiii"_w1252, "hoi"_w1252,    "hi"_w1252,   "hallo"_w1252,  "huhu"_w1252,   "hallöchen"_w1252,
    "moin"_w1252,  "moinsen"_w1252, "hiho"_w1252, "greetz"_w1252, "hey"_w1252,    "hy"_w1252,
    "servus"_w1252, "gude"_w1252,  "nabend"_w1252, "hello"_w1252, "tach"_w1252,
};
constexpr std::array kFarewellWords = {
    "bye"_w1252,     "cu"_w1252,     "cya"_w1252,    "tschö"_w1252, "tschüss"_w1252,
    "tschüs"_w1252,  "tschüß"_w1252, "tschüssi"_w1252, "ciao"_w1252,
};

constexpr std::size_t kWordKeyCount = kGreetingWords.size() + kFarewellWords.size();
static_assert(kWordKeyCount <= 32, "word hits are a 32-bit mask");

// Word key k: the greeting words first, then the farewell words.
constexpr std::string_view WordKey(std::size_t k) {
    return k < kGreetingWords.size() ? kGreetingWords[k] : kFarewellWords[k - kGreetingWords.size()];
}
constexpr Category WordKeyCategory(std::size_t k) {
    return k < kGreetingWords.size() ? Category::Greeting : Category::Bye;
}

// A word key found as a substring is a whole word exactly when delimiters (or
// the ends of the text) stand around it, because no key holds a delimiter.
consteval bool WordKeysHoldNoDelimiter() {
    for (std::size_t k = 0; k < kWordKeyCount; ++k)
        if (WordKey(k).find_first_of(kDelimiters) != std::string_view::npos) return false;
    return true;
}
static_assert(WordKeysHoldNoDelimiter());

// ---------------------------------------------------------------------------
// Phrase rules: substring tests on the lowercased message.

// Every keyword that a phrase rule tests, lowercase, as Windows-1252 bytes.
constexpr std::array kPhraseKeywords = {
    "hast"_w1252, "du"_w1252, "foto"_w1252, "pic"_w1252, "bist"_w1252, "allein"_w1252, "haus"_w1252,
    "luder"_w1252, "hure"_w1252, "schlampe"_w1252, "nutte"_w1252, "vergiss es"_w1252,
    "deutsch?"_w1252, "schlag was vor"_w1252, "lass"_w1252, "über"_w1252, "was"_w1252,
    "ander"_w1252, "willst"_w1252, "mich"_w1252, "verarschen"_w1252, "verarschst"_w1252,
    "nur"_w1252, "wenn"_w1252, "nich"_w1252, "will"_w1252, "heißt du"_w1252, "aus"_w1252,
    "welcher"_w1252, "stadt"_w1252, "woher"_w1252, "von wo"_w1252, "bisse"_w1252,
    "kommst"_w1252, "woher?"_w1252, "wo"_w1252, "wohn"_w1252, "her"_w1252, "beschreib"_w1252,
    "dich"_w1252, "mal"_w1252, "wie"_w1252, "siehst"_w1252, "alt"_w1252, "alter?"_w1252,
    "wie groß?"_w1252, "kg?"_w1252, "gehts"_w1252, "geht´s"_w1252, "geht`s"_w1252,
    "geht's"_w1252, "geht es dir"_w1252, "fühlst"_w1252, "alles klar?"_w1252, ":)"_w1252,
    ";)"_w1252, ";]"_w1252, ":>"_w1252, ":-)"_w1252, ":o)"_w1252, ";)="_w1252, ":)="_w1252,
    "age"_w1252, "sex"_w1252, "location"_w1252, "asl?"_w1252, "asl ?"_w1252, "a,s,l?"_w1252,
    "a,s,l ?"_w1252, "asl please"_w1252, "ficken"_w1252, "mit"_w1252, "mir"_w1252,
    "ficken?"_w1252, "scheinst"_w1252, "nicht"_w1252, "hell"_w1252, "sein"_w1252, "dumm"_w1252,
    "spinnst"_w1252, "schlecht"_w1252, "freizeitbeschäftigungen?"_w1252, "hobbies?"_w1252,
    "für"_w1252, "hobbies"_w1252, "interessiert"_w1252, "machst"_w1252, "in"_w1252,
    "freizeit"_w1252, "wieso"_w1252, "warum"_w1252, "weshalb"_w1252, "kapierst"_w1252,
    "verstehst"_w1252, "chattest"_w1252, "oft"_w1252, "hier"_w1252,
};
constexpr int kKeywordCount = static_cast<int>(kPhraseKeywords.size());
static_assert(kKeywordCount <= 128, "KeywordHits holds 128 bits");

consteval bool KeywordsAreDistinct() {
    for (std::size_t i = 0; i < kPhraseKeywords.size(); ++i)
        for (std::size_t j = i + 1; j < kPhraseKeywords.size(); ++j)
            if (kPhraseKeywords[i] == kPhraseKeywords[j]) return false;
    return true;
}
static_assert(KeywordsAreDistinct());

consteval int KeywordIndex(std::string_view key) {
    for (std::size_t i = 0; i < kPhraseKeywords.size(); ++i)
        if (kPhraseKeywords[i] == key) return static_cast<int>(i);
    throw "keyword missing from kPhraseKeywords";
}

// K<"über"> is the bit of a keyword, written in UTF-8 like the rules read.
template <tovik::detail::Utf8Literal S>
inline constexpr int K = KeywordIndex(operator""_w1252<S>());

// Rules 3 to 26, in detection order, each adding its category at most once.
template <class Emit>
void EvaluatePhraseRules(const KeywordHits& h, Emit&& emit) {
    if (h[K<"hast">] && h[K<"du">] && (h[K<"foto">] || h[K<"pic">])) emit(Category::PicOfU);
    if (h[K<"bist">] && h[K<"allein">] && h[K<"haus">]) emit(Category::AloneAtHome);
    if (h[K<"luder">] || h[K<"hure">] || h[K<"schlampe">] || h[K<"nutte">]) emit(Category::Ass);
    if (h[K<"vergiss es">]) emit(Category::ForgetIt);
    if (h[K<"deutsch?">]) emit(Category::German);
    if (h[K<"schlag was vor">]) emit(Category::ChooseThema);
    if (h[K<"lass">] && h[K<"über">] && h[K<"was">] && h[K<"ander">]) emit(Category::OtherThema);
    if ((h[K<"willst">] && h[K<"mich">] && h[K<"verarschen">]) ||
        (h[K<"verarschst">] && h[K<"mich">] && h[K<"nur">]))
        emit(Category::Joke);
    if (h[K<"wenn">] && h[K<"du">] && h[K<"nich">] && h[K<"will">]) emit(Category::DontWant);
    if (h[K<"heißt du">]) emit(Category::PreName);
    if ((h[K<"aus">] && h[K<"welcher">] && h[K<"stadt">]) ||
        ((h[K<"woher">] || h[K<"von wo">]) && (h[K<"bisse">] || h[K<"bist">] || h[K<"kommst">])) ||
        h[K<"woher?">] ||
        (h[K<"wo">] && (h[K<"wohn">] || h[K<"bist">] || h[K<"kommst">]) && (h[K<"du">] || h[K<"her">])))
        emit(Category::AreFrom);
    if ((h[K<"beschreib">] && h[K<"dich">] && h[K<"mal">]) ||
        (h[K<"wie">] && h[K<"siehst">] && h[K<"aus">]))
        emit(Category::DescribeYou);
    if ((h[K<"wie">] && h[K<"alt">] && h[K<"bist">]) || h[K<"alter?">]) emit(Category::Age);
    if (h[K<"wie groß?">]) emit(Category::Size);
    if (h[K<"kg?">]) emit(Category::Weight);
    if ((h[K<"wie">] && (h[K<"gehts">] || h[K<"geht´s">] || h[K<"geht`s">] || h[K<"geht's">] ||
                         h[K<"geht es dir">] || h[K<"fühlst">])) ||
        h[K<"alles klar?">])
        emit(Category::HowAreYou);
    if (h[K<":)">] || h[K<";)">] || h[K<";]">] || h[K<":>">] || h[K<":-)">] || h[K<":o)">] ||
        h[K<";)=">] || h[K<":)=">])
        emit(Category::GoodSmily);
    if ((h[K<"age">] && h[K<"sex">] && h[K<"location">]) || h[K<"asl?">] || h[K<"asl ?">] ||
        h[K<"a,s,l?">] || h[K<"a,s,l ?">] || h[K<"asl please">])
        emit(Category::Asl);
    if ((h[K<"ficken">] && h[K<"mit">] && h[K<"mir">]) || (h[K<"willst">] && h[K<"du">] && h[K<"ficken">]) ||
        h[K<"ficken?">])
        emit(Category::WannaFuck);
    if ((h[K<"scheinst">] && h[K<"nicht">] && h[K<"hell">] && h[K<"sein">]) ||
        (h[K<"bist">] && h[K<"dumm">]) || (h[K<"du">] && h[K<"spinnst">]))
        emit(Category::AreStupid);
    if (h[K<"nich">] && h[K<"schlecht">]) emit(Category::NotBad);
    if (h[K<"freizeitbeschäftigungen?">] || h[K<"hobbies?">] ||
        (h[K<"was">] && h[K<"für">] && h[K<"hobbies">] && h[K<"hast">]) ||
        (h[K<"was">] && h[K<"interessiert">] && h[K<"dich">]) ||
        (h[K<"was">] && h[K<"machst">] && h[K<"in">] && h[K<"freizeit">]))
        emit(Category::Hobbies);
    if ((h[K<"wieso">] || h[K<"warum">] || h[K<"weshalb">]) && (h[K<"kapierst">] || h[K<"verstehst">]) &&
        h[K<"nich">])
        emit(Category::WhyNotUnderstand);
    if ((h[K<"chattest">] || h[K<"bist">]) && h[K<"oft">] && h[K<"hier">]) emit(Category::OftenHere);
}

// ---------------------------------------------------------------------------
// The keyword automaton: Aho-Corasick over bytes, as a full transition table,
// holding the phrase keywords and the greeting and farewell words. Bytes are
// first mapped to classes (one per byte that occurs in a key, class 0 for all
// others); the map folds in the code page's lowercasing, so the message is
// lowercased on the fly while it is scanned once.

class KeywordAutomaton {
public:
    KeywordAutomaton() { Build(); }

    // Phrase keywords go into the result; each greeting or farewell word that
    // stands as a whole word is reported to onWord(key) in text order.
    template <class OnWord>
    KeywordHits Scan(std::string_view message, OnWord&& onWord) const {
        const auto& delimiter = Tables().delimiter;
        const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
        const std::size_t n = message.size();
        KeywordHits hits;
        std::uint32_t row = 0;  // the current state's row in next_
        for (std::size_t i = 0; i < n; ++i) {
            row = next_[row | classOf_[bytes[i]]];
            const StateOutput& out = out_[row >> kClassBits];
            hits.bits[0] |= out.phrases.bits[0];
            hits.bits[1] |= out.phrases.bits[1];
            if (out.words == 0) [[likely]] continue;
            for (std::uint32_t words = out.words; words != 0; words &= words - 1) {
                const auto k = static_cast<std::size_t>(std::countr_zero(words));
                const std::size_t start = i + 1 - WordKey(k).size();
                if ((start == 0 || delimiter[bytes[start - 1]]) && (i + 1 == n || delimiter[bytes[i + 1]])) {
                    onWord(k);
                    break;  // a shorter key ending here would hold no delimiter before it
                }
            }
        }
        return hits;
    }

private:
    static constexpr unsigned kClassBits = 6;
    static constexpr std::uint32_t kClasses = 1u << kClassBits;

    struct StateOutput {
        KeywordHits phrases;
        std::uint32_t words = 0;
    };

    void Build() {
        std::vector<std::string_view> keys(kPhraseKeywords.begin(), kPhraseKeywords.end());
        for (std::size_t k = 0; k < kWordKeyCount; ++k) keys.push_back(WordKey(k));
        auto markOutput = [](StateOutput& out, std::size_t key) {
            if (key < kPhraseKeywords.size()) out.phrases.Set(static_cast<int>(key));
            else out.words |= 1u << (key - kPhraseKeywords.size());
        };

        // Classes of the (lowercase) key bytes.
        std::array<std::uint8_t, 256> lowerClass{};
        std::uint32_t classCount = 1;
        for (std::string_view key : keys)
            for (char c : key) {
                auto& cls = lowerClass[static_cast<unsigned char>(c)];
                if (cls == 0) cls = static_cast<std::uint8_t>(classCount++);
            }
        if (classCount > kClasses) throw std::logic_error("too many keyword byte classes");
        const auto& lower = Tables().lower;
        for (int b = 0; b < 256; ++b) classOf_[b] = lowerClass[lower[b]];

        // Trie; -1 marks a missing edge until the failure links fill it.
        std::vector<std::int32_t> go(kClasses, -1);
        out_.assign(1, StateOutput{});
        for (std::size_t k = 0; k < keys.size(); ++k) {
            std::uint32_t s = 0;
            for (char c : keys[k]) {
                const std::uint32_t cls = lowerClass[static_cast<unsigned char>(c)];
                if (go[(s << kClassBits) | cls] < 0) {
                    go[(s << kClassBits) | cls] = static_cast<std::int32_t>(out_.size());
                    out_.emplace_back();
                    go.resize(out_.size() * kClasses, -1);
                }
                s = static_cast<std::uint32_t>(go[(s << kClassBits) | cls]);
            }
            markOutput(out_[s], k);
        }

        // Breadth-first: failure links, inherited outputs, missing edges.
        std::vector<std::uint32_t> fail(out_.size(), 0), queue;
        for (std::uint32_t c = 0; c < kClasses; ++c) {
            std::int32_t& t = go[c];
            if (t < 0) { t = 0; continue; }
            queue.push_back(static_cast<std::uint32_t>(t));
        }
        for (std::size_t qi = 0; qi < queue.size(); ++qi) {
            const std::uint32_t s = queue[qi];
            for (std::uint32_t c = 0; c < kClasses; ++c) {
                std::int32_t& t = go[(s << kClassBits) | c];
                const std::int32_t viaFail = go[(fail[s] << kClassBits) | c];
                if (t < 0) { t = viaFail; continue; }
                fail[t] = static_cast<std::uint32_t>(viaFail);
                StateOutput& out = out_[t];
                const StateOutput& inherited = out_[fail[t]];
                out.phrases.bits[0] |= inherited.phrases.bits[0];
                out.phrases.bits[1] |= inherited.phrases.bits[1];
                out.words |= inherited.words;
                queue.push_back(static_cast<std::uint32_t>(t));
            }
        }
        // The table holds each target's row start rather than its number:
        // the scan's chain of dependent loads then needs no shift per byte.
        if ((out_.size() << kClassBits) > 0x10000) throw std::logic_error("too many automaton states");
        next_.resize(go.size());
        for (std::size_t e = 0; e < go.size(); ++e)
            next_[e] = static_cast<std::uint16_t>(static_cast<std::uint32_t>(go[e]) << kClassBits);
    }

    std::array<std::uint8_t, 256> classOf_{};
    std::vector<std::uint16_t> next_;
    std::vector<StateOutput> out_;
};

const KeywordAutomaton& Automaton() {
    static const KeywordAutomaton automaton;  // built once; thread-safe initialisation
    return automaton;
}

// Word rules, then phrase rules, each hit reported to emit in detection order.
template <class Emit>
void Detect(std::string_view message, Emit&& emit) {
    const KeywordHits hits = Automaton().Scan(message, [&emit](std::size_t k) { emit(WordKeyCategory(k)); });
    EvaluatePhraseRules(hits, emit);
}

}  // namespace

// ---------------------------------------------------------------------------

bool ContainsText(std::string_view text, std::string_view key) {
    if (text.empty() || key.empty() || key.size() > text.size()) return false;
    return LowerAnsi(text).find(LowerAnsi(key)) != std::string::npos;
}

int WordCount(std::string_view text) {
    int count = 1;
    for (char c : text)
        if (IsDelimiter(c)) ++count;
    return count;
}

std::string WordAt(std::string_view text, int n) {
    if (n < 1) return {};
    int word = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !IsDelimiter(text[i])) continue;
        if (word == n) return std::string(text.substr(start, i - start));
        ++word;
        start = i + 1;
    }
    return {};
}

std::string Classify(std::string_view message) {
    std::string tags;
    Detect(message, [&tags](Category c) { tags += detail::TagOf(c); });
    return tags;
}

void PrepareClassifier() { Automaton(); }

namespace detail {

std::string_view TagOf(Category category) {
    static constexpr std::array<std::string_view, kCategoryCount> kTags = {
        "greeting;", "bye;",        "picofu;",   "aloneathome;", "ass;",       "forgetit;",
        "german;",   "choosethema;", "otherthema;", "joke;",      "dontwant;",  "prename;",
        "arefrom;",  "describeyou;", "age;",      "size;",        "weight;",    "howareyou;",
        "goodsmily;", "asl;",        "wannafuck;", "arestupid;",  "notbad;",    "hobbies;",
        "whynotunderstand;", "oftenhere;",
    };
    return kTags[static_cast<std::size_t>(category)];
}

CategorySet DetectCategories(std::string_view message) {
    CategorySet set = 0;
    Detect(message, [&set](Category c) { set |= CategorySet{1} << static_cast<unsigned>(c); });
    return set;
}

int PhraseKeywordCount() { return kKeywordCount; }

std::string_view PhraseKeyword(int i) {
    return i >= 0 && i < kKeywordCount ? kPhraseKeywords[static_cast<std::size_t>(i)] : std::string_view{};
}

KeywordHits FindKeywords(std::string_view message) {
    return Automaton().Scan(message, [](std::size_t) {});
}

KeywordHits FindKeywordsBySearch(std::string_view message) {
    KeywordHits hits;
    for (int k = 0; k < kKeywordCount; ++k)
        if (ContainsText(message, kPhraseKeywords[static_cast<std::size_t>(k)])) hits.Set(k);
    return hits;
}

}  // namespace detail
}  // namespace tovik
