#include "chat/Answers.h"
#include "chat/Categories.h"
#include "chat/Persona.h"
#include "chat/Random.h"
#include "text/Errors.h"
#include "text/Literal.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>

#include "ChatTestSupport.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using detail::Category;
using test::Escaped;
using test::FakePhotoOffer;
using test::LinesOf;
using test::TempProfile;

// The alternative that a generator seeded with `seed` picks from each list in
// turn: the reference for exact replies.
class Picks {
public:
    explicit Picks(std::uint32_t seed) { random_.Seed(seed); }
    std::string From(std::string_view list) { return ListItem(list, random_.Below(ListCount(list)) + 1); }

private:
    Random random_{[] { return 0u; }};
};

std::set<std::string> AlternativesOf(std::string_view list) {
    std::set<std::string> all;
    for (int n = 1; n <= ListCount(list); ++n) all.insert(ListItem(list, n));
    return all;
}

TEST(AnswerListTest, CountsAndItems) {
    EXPECT_EQ(3, ListCount("a|b|c"));
    EXPECT_EQ("a", ListItem("a|b|c", 1));
    EXPECT_EQ("b", ListItem("a|b|c", 2));
    EXPECT_EQ("c", ListItem("a|b|c", 3));
    EXPECT_EQ("", ListItem("a|b|c", 4));
    EXPECT_EQ("", ListItem("a|b|c", 0));
    EXPECT_EQ("", ListItem("a|b|c", -1));
    EXPECT_EQ(1, ListCount(""));
    EXPECT_EQ("", ListItem("", 1));
    EXPECT_EQ(1, ListCount("abc"));
    EXPECT_EQ("abc", ListItem("abc", 1));
    EXPECT_EQ("", ListItem("a||b", 2));
    EXPECT_EQ("b", ListItem("a||b", 3));
}

TEST(ReplyTextTest, LinesAfterEachBar) {
    EXPECT_EQ(2, ReplyLineCount("|a|b"));
    EXPECT_EQ("", ReplyLine("|a|b", 0));
    EXPECT_EQ("a", ReplyLine("|a|b", 1));
    EXPECT_EQ("b", ReplyLine("|a|b", 2));
    EXPECT_EQ("", ReplyLine("|a|b", 3));
    EXPECT_EQ("", ReplyLine("|a|b", -1));
    EXPECT_EQ(0, ReplyLineCount(""));
    EXPECT_EQ(0, ReplyLineCount("abc"));
    EXPECT_EQ("abc", ReplyLine("abc", 0));
    EXPECT_EQ(3, ReplyLineCount("|||"));
    EXPECT_EQ("", ReplyLine("|||", 2));
}

TEST(PickRandomTest, UsesOneDrawOverTheAlternatives) {
    for (std::uint32_t seed : {0u, 1u, 4711u, 86399999u}) {
        Random random([seed] { return seed; });
        random.ReseedFromClock();
        EXPECT_EQ(Picks(seed).From("a|b|c|d|e"), PickRandom("a|b|c|d|e", random));
    }
    Random random;
    EXPECT_EQ("x", PickRandom("x", random));
    EXPECT_EQ("", PickRandom("", random));
}

// Every alternative of every list comes up for some time of day.
TEST(CatalogueTest, EveryAlternativeIsReachable) {
    std::vector<std::string_view> lists = {detail::NoPictureList(), detail::OfferList(), detail::FallbackList()};
    for (int c = 0; c < detail::kCategoryCount; ++c)
        if (static_cast<Category>(c) != Category::PicOfU) lists.push_back(detail::AnswerList(static_cast<Category>(c)));
    for (std::string_view list : lists) {
        std::set<std::string> seen;
        for (std::uint32_t seed = 0; seed < 2000; ++seed) {
            Random random([seed] { return seed; });
            random.ReseedFromClock();
            seen.insert(PickRandom(list, random));
        }
        EXPECT_EQ(AlternativesOf(list), seen) << Escaped(list);
    }
}

TEST(CatalogueTest, ListsHaveTheirNumberOfAlternatives) {
    const std::pair<Category, int> counts[] = {
        {Category::Greeting, 8},  {Category::HowAreYou, 4}, {Category::AreFrom, 5},    {Category::Joke, 4},
        {Category::DontWant, 4},  {Category::Age, 4},       {Category::PreName, 2},    {Category::Ass, 6},
        {Category::OftenHere, 4}, {Category::AloneAtHome, 4}, {Category::ForgetIt, 3}, {Category::WhyNotUnderstand, 4},
        {Category::Hobbies, 4},   {Category::NotBad, 3},    {Category::AreStupid, 6},  {Category::German, 7},
        {Category::ChooseThema, 4}, {Category::OtherThema, 6}, {Category::WannaFuck, 6}, {Category::DescribeYou, 4},
        {Category::Size, 3},      {Category::Weight, 3},    {Category::Asl, 4},        {Category::GoodSmily, 11},
        {Category::Bye, 9},
    };
    for (const auto& [category, count] : counts)
        EXPECT_EQ(count, ListCount(detail::AnswerList(category))) << detail::TagOf(category);
    EXPECT_EQ(5, ListCount(detail::NoPictureList()));
    EXPECT_EQ(4, ListCount(detail::OfferList()));
    EXPECT_EQ(12, ListCount(detail::FallbackList()));
}

TEST(CatalogueTest, TextsAsWindows1252Bytes) {
    EXPECT_EQ("ich heiße <prename> *grins*"_w1252, ListItem(detail::AnswerList(Category::PreName), 1));
    EXPECT_EQ("ich heiße <prename> *grins*"_w1252, "ich hei\xDF" "e <prename> *grins*");
    EXPECT_EQ("tsch\xFC\xFCsssi :)", ListItem(detail::AnswerList(Category::Bye), 2));
    EXPECT_EQ("h\xE4?", ListItem(detail::FallbackList(), 1));
    EXPECT_EQ("warte kurz :)) .. hast du auch eins von dir f\xFCr mich? ;))", ListItem(detail::OfferList(), 4));
    EXPECT_EQ("mir geht's suuuper und dir ?? :D", ListItem(detail::AnswerList(Category::HowAreYou), 1));
    EXPECT_EQ("also auf sex h\xE4tt ich auch bock? *grins*", ListItem(detail::AnswerList(Category::WannaFuck), 6));
}

class BuildReplyTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t kSeed = 12345678;
    TempProfile profile;
    FakePhotoOffer photo;
    std::uint32_t clock = kSeed;
    int clockReads = 0;
    Random random{[this] { ++clockReads; return clock; }};

    std::string Reply(std::string_view message) { return BuildReply(message, profile.File(), random, photo); }
    std::string Expanded(std::string_view text) { return ExpandPersona(text, profile.File()); }

    std::string WritePicture(const std::string& name, std::size_t size) {
        const std::string path = profile.Dir() + "/" + name;
        test::WriteFileBytes(path, std::string(size, 'x'));
        profile.SetPersonData("Picture=" + path + "\r\n");
        return path;
    }
};

TEST_F(BuildReplyTest, UnmatchedMessageGetsOneFallbackLine) {
    const std::string reply = Reply("xyz");
    EXPECT_EQ("|" + Picks(kSeed).From(detail::FallbackList()), reply);
    EXPECT_EQ(1, ReplyLineCount(reply));
    EXPECT_EQ("|" + Picks(kSeed).From(detail::FallbackList()), Reply(""));
}

TEST_F(BuildReplyTest, ReseedsFromTheClockAtEveryCall) {
    const std::string first = Reply("xyz");
    EXPECT_EQ(first, Reply("xyz"));
    EXPECT_EQ(2, clockReads);
    clock = kSeed + 1;
    EXPECT_EQ("|" + Picks(kSeed + 1).From(detail::FallbackList()), Reply("xyz"));
}

TEST_F(BuildReplyTest, TwoGreetingWordsGiveOneGreetingLine) {
    EXPECT_EQ("|" + Picks(kSeed).From(detail::AnswerList(Category::Greeting)), Reply("hallo hi"));
}

TEST_F(BuildReplyTest, AnswersInAnswerOrderNotDetectionOrder) {
    Picks picks(kSeed);
    const std::string stupid = picks.From(detail::AnswerList(Category::AreStupid));
    const std::string smiley = picks.From(detail::AnswerList(Category::GoodSmily));
    EXPECT_EQ("|" + stupid + "|" + smiley, Reply("du bist dumm :)"));

    // Detected bye before greeting; answered greeting first, bye last.
    Picks picks2(kSeed);
    const std::string greeting = picks2.From(detail::AnswerList(Category::Greeting));
    const std::string smiley2 = picks2.From(detail::AnswerList(Category::GoodSmily));
    const std::string bye = picks2.From(detail::AnswerList(Category::Bye));
    EXPECT_EQ("|" + greeting + "|" + smiley2 + "|" + bye, Reply("bye :) hallo"));
}

TEST_F(BuildReplyTest, PlaceholdersAreFilledInEveryLine) {
    profile.SetPersonData("Age=21\r\nLocation=M\xFCnchen\r\n");
    Picks picks(kSeed);
    const std::string from = picks.From(detail::AnswerList(Category::AreFrom));
    const std::string age = picks.From(detail::AnswerList(Category::Age));
    const std::string reply = Reply("woher? alter?");
    EXPECT_EQ(Expanded("|" + from + "|" + age), reply);
    EXPECT_EQ(std::string::npos, reply.find('<')) << Escaped(reply);
    EXPECT_NE(std::string::npos, reply.find("M\xFCnchen")) << Escaped(reply);
    EXPECT_NE(std::string::npos, reply.find("21")) << Escaped(reply);
}

TEST_F(BuildReplyTest, BarInsideAPersonaValueStartsANewLine) {
    profile.SetPersonData("Hobbies=lesen|tanzen\r\n");
    const std::string reply = Reply("hobbies?");
    ASSERT_EQ(2, ReplyLineCount(reply)) << Escaped(reply);
    EXPECT_NE(std::string::npos, ReplyLine(reply, 1).find("lesen")) << Escaped(reply);
    EXPECT_NE(std::string::npos, ReplyLine(reply, 2).find("tanzen")) << Escaped(reply);
}

TEST_F(BuildReplyTest, AslWithAnEmptyProfile) {
    profile.Set("");
    // Find a time of day that picks the first "asl;" alternative.
    for (clock = 0; Picks(clock).From(detail::AnswerList(Category::Asl)) !=
                    ListItem(detail::AnswerList(Category::Asl), 1);
         ++clock) {
    }
    EXPECT_EQ("|ich bin 18, männlich und komme aus IRC"_w1252, Reply("asl?"));
}

TEST_F(BuildReplyTest, PhotoQuestionWithoutPictureLeavesDccAlone) {
    profile.SetPersonData("Age=21\r\n");
    EXPECT_EQ("|" + Picks(kSeed).From(detail::NoPictureList()), Reply("hast du ein pic?"));
    profile.SetPersonData("Picture=\r\n");
    EXPECT_EQ("|" + Picks(kSeed).From(detail::NoPictureList()), Reply("hast du ein foto?"));
    EXPECT_EQ(0, photo.switchedOn);
}

TEST_F(BuildReplyTest, PhotoQuestionWithPictureOffersItOverDcc) {
    WritePicture("ich bild.jpg", 512);
    std::string replyAtSwitch = "not yet";
    photo.onSwitch = [&] { replyAtSwitch.clear(); };
    Picks picks(kSeed);
    const std::string offer = picks.From(detail::OfferList());
    const std::string reply = Reply("hast du ein pic?");
    EXPECT_EQ("|" + offer + "|\x01" "DCC SEND ich bild.jpg 258 5678 512\x01", reply) << Escaped(reply);
    EXPECT_EQ(1, photo.switchedOn);
    EXPECT_EQ("", replyAtSwitch);  // switched on inside BuildReply, before any line can go out
}

TEST_F(BuildReplyTest, PhotoOfferTakesThePortAndAHighAddressUnsigned) {
    WritePicture("bild.jpg", 3);
    photo.address = "192.168.1.2";
    photo.port = 40123;
    const std::string reply = Reply("hast du ein pic? :)");
    ASSERT_EQ(3, ReplyLineCount(reply)) << Escaped(reply);
    EXPECT_EQ("\x01" "DCC SEND bild.jpg 3232235778 40123 3\x01", ReplyLine(reply, 2));
    EXPECT_EQ(1, photo.switchedOn);
}

// No address a partner could reach: the photo answer's text alone, and no
// listener waits for a partner who cannot come.
TEST_F(BuildReplyTest, PhotoOfferWithoutAnAddressKeepsTheTextAndOpensNothing) {
    WritePicture("bild.jpg", 3);
    photo.address.clear();
    Picks picks(kSeed);
    EXPECT_EQ("|" + picks.From(detail::OfferList()), Reply("hast du ein pic?"));
    EXPECT_EQ(0, photo.switchedOn);
}

TEST_F(BuildReplyTest, PhotoQuestionKeepsItsPlaceInTheAnswerOrder) {
    WritePicture("p.jpg", 0);
    Picks picks(kSeed);
    const std::string greeting = picks.From(detail::AnswerList(Category::Greeting));
    const std::string howAreYou = picks.From(detail::AnswerList(Category::HowAreYou));
    const std::string offer = picks.From(detail::OfferList());
    const std::string from = picks.From(detail::AnswerList(Category::AreFrom));
    EXPECT_EQ(Expanded("|" + greeting + "|" + howAreYou + "|" + offer + "|\x01" "DCC SEND p.jpg 258 5678 0\x01" +
                       "|" + from),
              Reply("woher kommst du? hast du ein pic? wie gehts? hallo"));
}

TEST_F(BuildReplyTest, MissingPictureFailsWithItsPathAndSwitchesNothingOn) {
    const std::string path = profile.Dir() + "/weg.jpg";
    profile.SetPersonData("Picture=" + path + "\r\n");
    try {
        Reply("hi, hast du ein foto?");
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ("Datei nicht gefunden: " + path, e.what());
    }
    EXPECT_EQ(0, photo.switchedOn);
}

TEST_F(BuildReplyTest, ADirectoryIsNoPicture) {
    profile.SetPersonData("Picture=" + profile.Dir() + "\r\n");
    try {
        Reply("hast du ein foto?");
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ("Dateizugriff verweigert: " + profile.Dir(), e.what());
    }
    EXPECT_EQ(0, photo.switchedOn);
}

TEST_F(BuildReplyTest, PictureWithUmlautInItsNameIsFoundUnderItsUtf8Name) {
    const std::string utf8Path = profile.Dir() + "/j\xC3\xB6rg.jpg";  // as Linux names it
    test::WriteFileBytes(utf8Path, "12345");
    profile.SetPersonData("Picture=" + profile.Dir() + "/j\xF6rg.jpg\r\n");  // as the profile holds it
    const std::string reply = Reply("hast du ein foto?");
    EXPECT_EQ("\x01" "DCC SEND j\xF6rg.jpg 258 5678 5\x01", ReplyLine(reply, 2)) << Escaped(reply);
}

TEST_F(BuildReplyTest, ANamedPipeIsNoPictureAndDoesNotHang) {
    const std::string fifo = profile.Dir() + "/pipe.jpg";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    profile.SetPersonData("Picture=" + fifo + "\r\n");
    EXPECT_THROW(Reply("hast du ein foto?"), FileError);
    EXPECT_EQ(0, photo.switchedOn);
}

TEST_F(BuildReplyTest, FailingDccSwitchEndsTheReply) {
    WritePicture("bild.jpg", 10);
    photo.onSwitch = [] { throw SocketError("Adresse wird bereits verwendet", 98, "bind"); };
    EXPECT_THROW(Reply("hast du ein pic?"), SocketError);
    EXPECT_EQ(0, photo.switchedOn);
}

}  // namespace
}  // namespace tovik
