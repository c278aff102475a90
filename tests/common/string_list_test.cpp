#include "common/string_list.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrova {
namespace {

TEST(StringList, ResetNamesAndEmptiesTheList) {
    StringList list;
    list.name = u"other";
    Add(list, u"x", 0, false, false);
    EXPECT_TRUE(Reset(list));
    EXPECT_EQ(list.name, u"String List");
    EXPECT_EQ(list.count(), 0u);
}

TEST(StringList, AddRefusesEmptyAndBlankTextButKeepsTabs) {
    StringList list;
    EXPECT_EQ(Add(list, u"", 1, false, false), -1);
    EXPECT_EQ(Add(list, u" \r\n", 1, false, false), -1);
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(Add(list, u"\t", 7, false, false), -1);
    ASSERT_EQ(list.count(), 1u);
    EXPECT_EQ(list.at(0), u"\t");
    EXPECT_EQ(list.tag(0), 7u);
}

TEST(StringList, AddKeepsOrderAndAllowsRepeatsWithoutTheCheck) {
    StringList list;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Add(list, u"same", 4, false, true), -1);
    }
    Add(list, u"other", 9, false, false);
    ASSERT_EQ(list.count(), 4u);
    EXPECT_EQ(list.at(0), u"same");
    EXPECT_EQ(list.at(3), u"other");
    EXPECT_EQ(list.tag(3), 9u);
}

TEST(StringList, DuplicateWithoutTagReturnsFirstMatchAndIsCaseSensitive) {
    StringList list;
    Add(list, u"x", 0, false, false);
    Add(list, u"y", 0, false, false);
    Add(list, u"A", 1, false, false);
    Add(list, u"A", 2, false, false);
    EXPECT_EQ(Add(list, u"A", 3, true, false), 2);
    EXPECT_EQ(list.count(), 4u);
    EXPECT_EQ(Add(list, u"a", 3, true, false), -1);
    EXPECT_EQ(list.count(), 5u);
}

TEST(StringList, DuplicateWithTagNeedsTheSameTag) {
    StringList list;
    Add(list, u"A", 4, true, true);
    EXPECT_EQ(Add(list, u"A", 5, true, true), -1);
    EXPECT_EQ(list.count(), 2u);
    EXPECT_EQ(Add(list, u"A", 4, true, true), 0);
    EXPECT_EQ(Add(list, u"A", 5, true, true), 1);
    EXPECT_EQ(list.count(), 2u);
}

TEST(StringList, DuplicateCheckSeesEntriesAddedWithoutIt) {
    // The index is built lazily; entries appended before and after it must all be found.
    StringList list;
    Add(list, u"p", 0, false, false);
    EXPECT_EQ(Add(list, u"p", 0, true, true), 0);
    Add(list, u"q", 0, false, false);
    Add(list, u"r", 3, false, false);
    EXPECT_EQ(Add(list, u"q", 0, true, false), 1);
    EXPECT_EQ(Add(list, u"r", 3, true, true), 2);
}

TEST(StringList, ManyDistinctHitsWithSharedNamesAreAllKept) {
    // The search adds each matching asset once per match; assets often share a name.
    StringList list;
    for (std::uint32_t round = 0; round < 3; ++round) {
        for (std::uint32_t asset = 0; asset < 20000; ++asset) {
            Add(list, u"unnamed asset", asset, true, true);
        }
    }
    ASSERT_EQ(list.count(), 20000u);
    EXPECT_EQ(list.tag(19999), 19999u);
    EXPECT_EQ(Add(list, u"unnamed asset", 12345, true, true), 12345);
}

TEST(StringList, ClearKeepsNameAndAllowsNewEntries) {
    StringList list;
    list.name = u"Plugins";
    Add(list, u"a", 0, true, false);
    Add(list, u"b", 0, true, false);
    EXPECT_TRUE(Clear(list));
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.name, u"Plugins");
    // The old index must be gone too: "a" is new again.
    EXPECT_EQ(Add(list, u"a", 0, true, false), -1);
    EXPECT_EQ(Add(list, u"a", 0, true, false), 0);
}

TEST(StringList, LongTextIsCutToTheSlot) {
    StringList list;
    std::u16string longText(3000, u'z');
    Add(list, longText, 0, false, false);
    ASSERT_EQ(list.count(), 1u);
    EXPECT_EQ(list.at(0).size(), kStringSlotLength);
    // The stored, cut text is what later checks compare.
    EXPECT_EQ(Add(list, std::u16string(kStringSlotLength, u'z'), 0, true, false), 0);
    SetText(list, 0, longText);
    EXPECT_EQ(list.at(0).size(), kStringSlotLength);
}

TEST(StringList, TextEndsAtItsTerminator) {
    StringList list;
    Add(list, std::u16string_view(u"ab\0cd", 5), 0, false, false);
    EXPECT_EQ(list.at(0), u"ab");
    EXPECT_EQ(Add(list, std::u16string_view(u"\0x", 2), 0, false, false), -1);
    EXPECT_EQ(list.count(), 1u);
}

TEST(StringList, SetTextKeepsDuplicateChecksExact) {
    StringList list;
    Add(list, u"dir/one", 0, false, false);
    Add(list, u"dir/two", 0, false, false);
    Add(list, u"one", 0, false, false);
    EXPECT_EQ(Add(list, u"one", 0, true, false), 2);
    // Entry 0 becomes "one": it is now the first duplicate, ahead of entry 2.
    EXPECT_TRUE(SetText(list, 0, u"one"));
    EXPECT_EQ(Add(list, u"one", 0, true, false), 0);
    EXPECT_EQ(Add(list, u"one", 0, true, true), 0);
    // Its old text is no longer in the list.
    EXPECT_EQ(Add(list, u"dir/one", 0, true, false), -1);
    EXPECT_EQ(list.count(), 4u);
    // Renaming entry 0 away again leaves entry 2 as the first "one".
    SetText(list, 0, u"zero");
    EXPECT_EQ(Add(list, u"one", 0, true, true), 2);
    EXPECT_FALSE(SetText(list, 99, u"none"));
}

}  // namespace
}  // namespace kestrova
