#include "chat/Classifier.h"

#include <array>
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

template <std::size_t N>
bool WordInList(const unsigned char* word, std::size_t length, const std::array<std::string_view, N>& list,
                const std::array<unsigned char, 256>& lower) {
    for (std::string_view key : list) {
        if (key.size() != length) continue;
        std::size_t i = 0;
        while (i < length && lower[word[i]] == static_cast<unsigned char>(key[i])) ++i;
        if (i == length) return true;
    }
    return false;
}

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
// The keyword automaton: Aho-Corasick over bytes, as a full transition table.
// Bytes are first mapped to classes (one per byte that occurs in a keyword,
// class 0 for all others); the map folds in the code page's lowercasing, so
// the message is lowercased on the fly while it is scanned once.

class KeywordAutomaton {
public:
    KeywordAutomaton() { Build(); }

    KeywordHits Scan(std::string_view message) const {
        KeywordHits hits;
        std::uint32_t state = 0;
        for (char c : message) {
            state = next_[(state << kClassBits) | classOf_[static_cast<unsigned char>(c)]];
            hits.bits[0] |= out_[state].bits[0];
            hits.bits[1] |= out_[state].bits[1];
        }
        return hits;
    }

private:
    static constexpr unsigned kClassBits = 6;
    static constexpr std::uint32_t kClasses = 1u << kClassBits;

    void Build() {
        // Classes of the (lowercase) keyword bytes.
        std::array<std::uint8_t, 256> lowerClass{};
        std::uint32_t classCount = 1;
        for (std::string_view key : kPhraseKeywords)
            for (char c : key) {
                auto& cls = lowerClass[static_cast<unsigned char>(c)];
                if (cls == 0) cls = static_cast<std::uint8_t>(classCount++);
            }
        if (classCount > kClasses) throw std::logic_error("too many keyword byte classes");
        const auto& lower = Tables().lower;
        for (int b = 0; b < 256; ++b) classOf_[b] = lowerClass[lower[b]];

        // Trie; -1 marks a missing edge until the failure links fill it.
        std::vector<std::int32_t> go(kClasses, -1);
        out_.assign(1, KeywordHits{});
        for (int k = 0; k < kKeywordCount; ++k) {
            std::uint32_t s = 0;
            for (char c : kPhraseKeywords[k]) {
                const std::uint32_t cls = lowerClass[static_cast<unsigned char>(c)];
                if (go[(s << kClassBits) | cls] < 0) {
                    go[(s << kClassBits) | cls] = static_cast<std::int32_t>(out_.size());
                    out_.emplace_back();
                    go.resize(out_.size() * kClasses, -1);
                }
                s = static_cast<std::uint32_t>(go[(s << kClassBits) | cls]);
            }
            out_[s].Set(k);
        }

        // Breadth-first: failure links, inherited outputs, missing edges.
        std::vector<std::uint32_t> fail(out_.size(), 0), queue;
        for (std::uint32_t c = 0; c < kClasses; ++c) {
            std::int32_t& t = go[c];
            if (t < 0) { t = 0; continue; }
            fail[t] = 0;
            queue.push_back(static_cast<std::uint32_t>(t));
        }
        for (std::size_t qi = 0; qi < queue.size(); ++qi) {
            const std::uint32_t s = queue[qi];
            for (std::uint32_t c = 0; c < kClasses; ++c) {
                std::int32_t& t = go[(s << kClassBits) | c];
                const std::int32_t viaFail = go[(fail[s] << kClassBits) | c];
                if (t < 0) { t = viaFail; continue; }
                fail[t] = static_cast<std::uint32_t>(viaFail);
                out_[t].bits[0] |= out_[fail[t]].bits[0];
                out_[t].bits[1] |= out_[fail[t]].bits[1];
                queue.push_back(static_cast<std::uint32_t>(t));
            }
        }
        next_.assign(go.begin(), go.end());
    }

    std::array<std::uint8_t, 256> classOf_{};
    std::vector<std::uint16_t> next_;
    std::vector<KeywordHits> out_;
};

const KeywordAutomaton& Automaton() {
    static const KeywordAutomaton automaton;  // built once; thread-safe initialisation
    return automaton;
}

// Word rules, then phrase rules, each hit reported to emit in detection order.
template <class Emit>
void Detect(std::string_view message, Emit&& emit) {
    const auto& tables = Tables();
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    std::size_t start = 0;
    for (std::size_t i = 0; i <= message.size(); ++i) {
        if (i < message.size() && !tables.delimiter[bytes[i]]) continue;
        const std::size_t length = i - start;
        if (length >= 2 && length <= 9) {  // the lengths of the greeting and farewell words
            if (WordInList(bytes + start, length, kGreetingWords, tables.lower)) emit(Category::Greeting);
            else if (WordInList(bytes + start, length, kFarewellWords, tables.lower)) emit(Category::Bye);
        }
        start = i + 1;
    }
    EvaluatePhraseRules(Automaton().Scan(message), emit);
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

KeywordHits FindKeywords(std::string_view message) { return Automaton().Scan(message); }

KeywordHits FindKeywordsBySearch(std::string_view message) {
    KeywordHits hits;
    for (int k = 0; k < kKeywordCount; ++k)
        if (ContainsText(message, kPhraseKeywords[static_cast<std::size_t>(k)])) hits.Set(k);
    return hits;
}

}  // namespace detail
}  // namespace tovik
