#include "chat/Pacing.h"
#include "chat/PersonaGenerator.h"
#include "chat/Random.h"
#include "chat/Answers.h"
#include "text/Literal.h"

#include <gtest/gtest.h>

#include <ctime>
#include <limits>
#include <set>

namespace tovik {
namespace {

using namespace tovik::literals;

TEST(RandomTest, BelowStaysInRangeAndIsZeroForEmptyRanges) {
    Random random([] { return 99u; });
    random.ReseedFromClock();
    for (int n = 1; n < 200; ++n)
        for (int i = 0; i < 50; ++i) {
            const int r = random.Below(n);
            ASSERT_GE(r, 0);
            ASSERT_LT(r, n);
        }
    EXPECT_EQ(0, random.Below(0));
    EXPECT_EQ(0, random.Below(-3));
    EXPECT_EQ(0, random.Below(1));
}

TEST(RandomTest, TheSameSeedGivesTheSameSequence) {
    Random a, b;
    a.Seed(4711);
    b.Seed(4711);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(a.Below(1000), b.Below(1000));
    Random c([] { return 4711u; });
    c.ReseedFromClock();
    a.Seed(4711);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(a.Below(1000), c.Below(1000));
}

TEST(RandomTest, RoughlyUniform) {
    Random random;
    random.Seed(1);
    int buckets[10] = {};
    constexpr int kDraws = 100000;
    for (int i = 0; i < kDraws; ++i) ++buckets[random.Below(10)];
    for (int count : buckets) {
        EXPECT_GT(count, kDraws / 10 * 9 / 10);
        EXPECT_LT(count, kDraws / 10 * 11 / 10);
    }
}

TEST(RandomTest, NeighbouringSeedsGiveDifferentFirstPicks) {
    // Reseeding from the millisecond clock must not give the same answer for
    // a whole second.
    std::set<int> firsts;
    for (std::uint32_t seed = 50000; seed < 50020; ++seed) {
        Random random;
        random.Seed(seed);
        firsts.insert(random.Below(8));
    }
    EXPECT_GE(firsts.size(), 5u);
}

TEST(RandomTest, SeedIsTheUtcTimeOfDayInMilliseconds) {
    const std::time_t before = std::time(nullptr);
    const std::uint32_t seed = UtcTimeOfDaySeed();
    const std::time_t after = std::time(nullptr);
    EXPECT_LT(seed, 86400000u);
    std::tm utc{};
    gmtime_r(&before, &utc);
    const long expectedSecond = (utc.tm_hour * 60L + utc.tm_min) * 60L + utc.tm_sec;
    const long second = static_cast<long>(seed / 1000);
    const long span = static_cast<long>(after - before);
    EXPECT_TRUE(second == expectedSecond || (second - expectedSecond + 86400) % 86400 <= span)
        << second << " vs " << expectedSecond;
}

TEST(TypingDelayTest, LengthTimesCharTime) {
    EXPECT_EQ(2500, TypingDelay(5, 500));
    EXPECT_EQ(10000, TypingDelay(20, 500));
    EXPECT_EQ(0, TypingDelay(0, 500));
    EXPECT_EQ(0, TypingDelay(10, 0));
    EXPECT_EQ(-50, TypingDelay(10, -5));
}

TEST(TypingDelayTest, ClampsInsteadOfOverflowing) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(kMax, TypingDelay(100000, 100000));
    EXPECT_EQ(kMax, TypingDelay(3, kMax));
    EXPECT_EQ(kMin, TypingDelay(3, kMin));
    EXPECT_EQ(kMax, TypingDelay(std::numeric_limits<std::size_t>::max(), 1));
    EXPECT_EQ(kMin, TypingDelay(std::numeric_limits<std::size_t>::max(), -1));
    EXPECT_EQ(kMax, TypingDelay(static_cast<std::size_t>(kMax), 1));
    EXPECT_EQ(kMax - 1, TypingDelay(static_cast<std::size_t>(kMax) - 1, 1));
    EXPECT_EQ(2147483500, TypingDelay(4294967, 500));  // still fits
    EXPECT_EQ(kMax, TypingDelay(4294968, 500));          // 2147484000 would wrap
    EXPECT_EQ(kMin, TypingDelay(4294968, -500));
}

const std::string_view kPreNameM = "Frank|Thomas|Peter|Martin|Tom|Max|Dirk|Tobias|Benjamin|Paul|Timm|Mark|Marc";
const std::string_view kPreNameF = "Maria|Tanja|Mandy|Alice|Katja|Claudia|Betti|Nancy|Nadine|Kate|Jane|Susi|Jenny|Sandy";
const std::string_view kLastName = "Keller|Pranker|Schulz|Meier|Meyer|Kaiser|Kayser|Belz|Schranz|Pehl";
const std::string_view kLocation =
    "München|Frankfurt|Berlin|Hamburg|Bremen|Mainz|Main|Koblenz|Magdeburg|Leipzig|Düsseldorf|Duisburg|Kassel|"
    "Aachen|Köln"_w1252;
const std::string_view kFigure = "schlank|vollschlank|dick|fett|dünn|sehr dünn|gut gebaut"_w1252;
const std::string_view kHairColor = "blond|rot|grün|blau|braun|schwarz|bruinett"_w1252;
const std::string_view kEyeColor = "blau|grün|braun|grün-braun|blau-grün"_w1252;

std::set<std::string> Items(std::string_view list) {
    std::set<std::string> items;
    for (int n = 1; n <= ListCount(list); ++n) items.insert(ListItem(list, n));
    return items;
}

TEST(PersonaGeneratorTest, EveryValueOfEveryListComesUp) {
    const std::pair<std::string_view, std::string_view> lists[] = {
        {"PreNameM", kPreNameM}, {"PreNameF", kPreNameF},   {"LastName", kLastName}, {"Location", kLocation},
        {"Figure", kFigure},     {"HairColor", kHairColor}, {"EyeColor", kEyeColor},
    };
    for (const auto& [name, list] : lists) {
        std::set<std::string> seen;
        std::uint32_t seed = 0;
        Random random([&seed] { return seed; });
        for (seed = 0; seed < 3000; ++seed) seen.insert(RandomPersonaValue(name, random));
        EXPECT_EQ(Items(list), seen) << name;
    }
}

TEST(PersonaGeneratorTest, UnknownListNamesGiveEmptyText) {
    Random random;
    EXPECT_EQ("", RandomPersonaValue("prenamem", random));
    EXPECT_EQ("", RandomPersonaValue("", random));
    EXPECT_EQ("", RandomPersonaValue("Hobbies", random));
}

TEST(PersonaGeneratorTest, RangesAndListsAcrossTheDay) {
    std::uint32_t seed = 0;
    Random random([&seed] { return seed; });
    std::set<int> ages, heights, weights;
    const auto male = Items(kPreNameM), female = Items(kPreNameF), last = Items(kLastName),
               location = Items(kLocation), hair = Items(kHairColor), eye = Items(kEyeColor),
               figure = Items(kFigure);
    for (seed = 0; seed < 86400000; seed += 7919) {
        const GeneratedPersona p = GeneratePersona(random);
        ASSERT_TRUE(p.sex == 0 || p.sex == 1);
        EXPECT_TRUE((p.sex == 0 ? male : female).count(p.preName)) << p.preName;
        EXPECT_TRUE(last.count(p.lastName));
        EXPECT_TRUE(location.count(p.location));
        EXPECT_TRUE(hair.count(p.hairColor));
        EXPECT_TRUE(eye.count(p.eyeColor));
        EXPECT_TRUE(figure.count(p.figure));
        EXPECT_EQ("lesen, tanzen, disco, freunde und compuer", p.hobbies);
        ages.insert(std::stoi(p.age));
        ASSERT_EQ(4u, p.size.size());
        ASSERT_EQ("1,", p.size.substr(0, 2));
        heights.insert(std::stoi(p.size.substr(2)));
        weights.insert(std::stoi(p.weight));
    }
    EXPECT_EQ(14, *ages.begin());
    EXPECT_EQ(50, *ages.rbegin());
    EXPECT_EQ(37u, ages.size());
    EXPECT_EQ(65, *heights.begin());
    EXPECT_EQ(95, *heights.rbegin());
    EXPECT_EQ(65, *weights.begin());
    EXPECT_EQ(120, *weights.rbegin());
}

// Every list pick starts from a fresh clock seed; each number is the next
// draw after the pick before it.
TEST(PersonaGeneratorTest, OrderOfDrawsAndReseeds) {
    for (std::uint32_t seed : {0u, 1u, 777u, 43200000u, 86399999u}) {
        std::uint32_t clock = seed;
        int reads = 0;
        Random random([&] { ++reads; return clock; });
        const GeneratedPersona p = GeneratePersona(random);
        EXPECT_EQ(7, reads);  // the click itself and six list picks

        Random r;
        auto pick = [&](std::string_view list) { r.Seed(seed); return ListItem(list, r.Below(ListCount(list)) + 1); };
        r.Seed(seed);
        const int sex = r.Below(2);
        EXPECT_EQ(sex, p.sex);
        EXPECT_EQ(pick(sex == 0 ? kPreNameM : kPreNameF), p.preName);
        EXPECT_EQ(pick(kLastName), p.lastName);
        EXPECT_EQ(pick(kLocation), p.location);
        EXPECT_EQ(std::to_string(r.Below(37) + 14), p.age);
        EXPECT_EQ(pick(kHairColor), p.hairColor);
        EXPECT_EQ(pick(kEyeColor), p.eyeColor);
        EXPECT_EQ("1," + std::to_string(r.Below(31) + 65), p.size);
        EXPECT_EQ(pick(kFigure), p.figure);
        EXPECT_EQ(std::to_string(r.Below(56) + 65), p.weight);
    }
}

}  // namespace
}  // namespace tovik
