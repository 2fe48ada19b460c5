#include "bot/channel/DenyList.h"

#include <gtest/gtest.h>

#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using Entries = std::vector<std::string>;

TEST(DenyListTest, StartsEmptyAndDeniesNobody) {
    DenyList list;
    EXPECT_TRUE(list.Entries().empty());
    EXPECT_FALSE(list.IsDenied("Foo"));
    EXPECT_FALSE(list.IsDenied(""));
}

TEST(DenyListTest, KeepsTypedCaseAndComparesLowercased) {
    DenyList list;
    EXPECT_TRUE(list.DenyNick("Foo"));
    EXPECT_EQ(list.Entries(), Entries{"Foo"});
    EXPECT_TRUE(list.IsDenied("FOO"));
    EXPECT_TRUE(list.IsDenied("foo"));
    EXPECT_FALSE(list.IsDenied("Foo2"));
}

TEST(DenyListTest, UmlautsCompareWithTheCodePage) {
    DenyList list;
    list.DenyNick(std::string("JÖRG"_w1252));
    EXPECT_TRUE(list.IsDenied(std::string("jörg"_w1252)));
}

TEST(DenyListTest, NoDuplicatesAfterLowercasing) {
    DenyList list;
    EXPECT_TRUE(list.DenyNick("Foo"));
    EXPECT_FALSE(list.DenyNick("foo"));
    EXPECT_FALSE(list.DenyNick("FOO"));
    EXPECT_EQ(list.Entries(), Entries{"Foo"});
}

TEST(DenyListTest, NewEntriesGoToTheEnd) {
    DenyList list;
    list.DenyNick("b");
    list.DenyNick("a");
    list.DenyNick("C");
    EXPECT_EQ(list.Entries(), (Entries{"b", "a", "C"}));
}

TEST(DenyListTest, AllowRemovesTheEntryAndKeepsTheOthersInOrder) {
    DenyList list;
    for (const char* nick : {"Anna", "Foo", "Bert", "Carl"}) list.DenyNick(nick);
    EXPECT_TRUE(list.AllowNick("FOO"));
    EXPECT_EQ(list.Entries(), (Entries{"Anna", "Bert", "Carl"}));
    EXPECT_FALSE(list.IsDenied("foo"));
}

TEST(DenyListTest, AllowOfAnUnlistedNickChangesNothing) {
    DenyList list;
    list.DenyNick("Anna");
    EXPECT_FALSE(list.AllowNick("Bar"));
    EXPECT_EQ(list.Entries(), Entries{"Anna"});
}

}  // namespace
}  // namespace tovik
