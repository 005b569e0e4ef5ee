#include "base/SharedString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Text(const CSharedStringW& s) { return s.CStr(); }

// A private string whose capacity equals its length.
CSharedStringW Exact(const char16_t* text)
{
    CSharedStringW s;
    s.Assign(text);
    return s;
}

TEST(SharedString, NullStringIsEmptyAndOwnsNoBlock)
{
    CSharedStringW s;
    EXPECT_EQ(s.Get(), nullptr);
    EXPECT_NE(s.CStr(), nullptr);
    EXPECT_EQ(s.CStr()[0], 0);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(SharedString, AssignTakesPrivateCopyOfExactCapacity)
{
    char16_t source[] = u"hello";
    CSharedStringW s;
    s.Assign(source);
    source[0] = u'J';
    EXPECT_EQ(Text(s), u"hello");
    EXPECT_EQ(s.GetCapacity(), 5);
    EXPECT_EQ(s.GetCachedLength(), 5);
    EXPECT_EQ(s.GetRefCount(), 1);

    s.Assign(u"abcdef", 3);
    EXPECT_EQ(Text(s), u"abc");
    EXPECT_EQ(s.GetCapacity(), 3);
}

TEST(SharedString, AssignOfNullLeavesStringNull)
{
    CSharedStringW s = Exact(u"text");
    s.Assign(nullptr);
    EXPECT_EQ(s.Get(), nullptr);
}

TEST(SharedString, AssignOfOwnCharactersKeepsThem)
{
    CSharedStringW s = Exact(u"abcdef");
    s.Assign(s.Get() + 2);
    EXPECT_EQ(Text(s), u"cdef");
}

TEST(SharedString, CopySharesBlockAndCountsReferences)
{
    CSharedStringW a = Exact(u"shared");
    CSharedStringW b = a;
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_EQ(a.GetRefCount(), 2);

    CSharedStringW none;
    CSharedStringW copyOfNone = none;
    EXPECT_EQ(copyOfNone.Get(), nullptr);
}

TEST(SharedString, ReleaseWithCountOneFreesBlock)
{
    // The sanitizers report a leak or a double free if this goes wrong.
    CSharedStringW s = Exact(u"only");
    s.Release();
    EXPECT_EQ(s.Get(), nullptr);
    s.Release();
    EXPECT_EQ(s.Get(), nullptr);
}

TEST(SharedString, ReleaseWithCountThreeLeavesTwoAndBlockInPlace)
{
    CSharedStringW a = Exact(u"three");
    CSharedStringW b = a;
    CSharedStringW c = a;
    const char16_t* block = a.Get();
    ASSERT_EQ(a.GetRefCount(), 3);
    a.Release();
    EXPECT_EQ(a.Get(), nullptr);
    EXPECT_EQ(b.Get(), block);
    EXPECT_EQ(b.GetRefCount(), 2);
    EXPECT_EQ(Text(c), u"three");
}

struct SGrowthRow
{
    const char* name;
    const char16_t* appended;
    int capacity;
};

TEST(SharedString, AppendToFullPrivateBlockDoublesOrTakesNeededSize)
{
    const SGrowthRow rows[] = {
        {"one character doubles the capacity", u"x", 20},
        {"thirty characters need more than double", u"123456789012345678901234567890", 40},
    };
    for (const SGrowthRow& row : rows) {
        CSharedStringW s = Exact(u"0123456789");
        ASSERT_EQ(s.GetCapacity(), 10);
        ASSERT_TRUE(s.Append(row.appended)) << row.name;
        EXPECT_EQ(s.GetCapacity(), row.capacity) << row.name;
        EXPECT_EQ(Text(s), u"0123456789" + std::u16string(row.appended)) << row.name;
        EXPECT_EQ(s.GetCachedLength(), 10 + int(std::u16string(row.appended).size())) << row.name;
    }
}

TEST(SharedString, AppendToRoomyPrivateBlockKeepsBlock)
{
    CSharedStringW s = Exact(u"0123456789");
    ASSERT_TRUE(s.Append(u"x"));
    const char16_t* block = s.Get();
    ASSERT_TRUE(s.Append(u"yz"));
    EXPECT_EQ(s.Get(), block);
    EXPECT_EQ(s.GetCapacity(), 20);
    EXPECT_EQ(Text(s), u"0123456789xyz");
}

TEST(SharedString, AppendToSharedBlockCopiesWithExactCapacity)
{
    CSharedStringW a = Exact(u"0123456789");
    ASSERT_TRUE(a.Append(u"x")); // capacity 20: plenty of room, but shared below
    CSharedStringW b = a;
    ASSERT_TRUE(b.Append(u"yz"));
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_EQ(b.GetCapacity(), 13);
    EXPECT_EQ(b.GetRefCount(), 1);
    EXPECT_EQ(Text(b), u"0123456789xyz");
    EXPECT_EQ(Text(a), u"0123456789x");
    EXPECT_EQ(a.GetRefCount(), 1);
}

TEST(SharedString, AppendToNullStringAllocatesExactCapacity)
{
    CSharedStringW s;
    ASSERT_TRUE(s.Append(u"abc"));
    EXPECT_EQ(s.GetCapacity(), 3);
    EXPECT_EQ(Text(s), u"abc");
}

TEST(SharedString, InsertOfNothingChangesNothing)
{
    CSharedStringW none;
    EXPECT_TRUE(none.Insert(0, u"abc", 0));
    EXPECT_EQ(none.Get(), nullptr);
    EXPECT_TRUE(none.Append(u""));
    EXPECT_EQ(none.Get(), nullptr);
    EXPECT_TRUE(none.Append(nullptr));
    EXPECT_EQ(none.Get(), nullptr);

    CSharedStringW s = Exact(u"abc");
    CSharedStringW other = s;
    EXPECT_TRUE(s.Insert(1, u"xyz", 0));
    EXPECT_EQ(s.Get(), other.Get()); // not even made private
}

TEST(SharedString, InsertInMiddleMovesTailUp)
{
    CSharedStringW s = Exact(u"abc");
    ASSERT_TRUE(s.Insert(1, u"XY", 2));
    EXPECT_EQ(Text(s), u"aXYbc");
    EXPECT_EQ(s.GetLength(), 5);

    ASSERT_TRUE(s.Insert(0, u"<", -1));
    ASSERT_TRUE(s.Insert(-1, u">", -1));
    EXPECT_EQ(Text(s), u"<aXYbc>");
}

TEST(SharedString, AppendingPieceOfItselfSurvivesMove)
{
    // Full block: the append reallocates, which may move the text being read.
    CSharedStringW s = Exact(u"abcdef");
    ASSERT_TRUE(s.Append(s.Get() + 2));
    EXPECT_EQ(Text(s), u"abcdefcdef");

    // Roomy block: inserting in front moves the very characters being inserted.
    CSharedStringW t = Exact(u"abcdef");
    ASSERT_TRUE(t.Append(u"")); // no-op
    ASSERT_TRUE(t.Append(u"g")); // capacity 12 now
    ASSERT_TRUE(t.Insert(0, t.Get() + 1, 3));
    EXPECT_EQ(Text(t), u"bcdabcdefg");
}

TEST(SharedString, GetBufferWithinPrivateCapacityKeepsBlockAndForgetsLength)
{
    CSharedStringW s = Exact(u"abcdefgh");
    ASSERT_EQ(s.GetCapacity(), 8);
    const char16_t* block = s.Get();
    char16_t* chars = s.GetBuffer(5);
    EXPECT_EQ(chars, block);
    EXPECT_EQ(s.GetCapacity(), 8);
    EXPECT_EQ(s.GetCachedLength(), -1);
    chars[3] = 0;
    EXPECT_EQ(s.GetLength(), 3);
    EXPECT_EQ(s.GetCachedLength(), 3);
}

TEST(SharedString, GetBufferBeyondCapacityGrowsAndKeepsText)
{
    CSharedStringW s = Exact(u"abc");
    char16_t* chars = s.GetBuffer(100);
    ASSERT_NE(chars, nullptr);
    EXPECT_EQ(s.GetCapacity(), 100);
    EXPECT_EQ(s.GetLength(), 3);
    EXPECT_EQ(Text(s), u"abc");
}

TEST(SharedString, GetBufferOnSharedBlockLeavesOthersAlone)
{
    CSharedStringW a = Exact(u"abc");
    CSharedStringW b = a;
    char16_t* chars = b.GetBuffer(6);
    ASSERT_NE(chars, nullptr);
    chars[0] = u'X';
    EXPECT_EQ(Text(a), u"abc");
    EXPECT_EQ(Text(b), u"Xbc");
    EXPECT_EQ(b.GetCapacity(), 6);
    EXPECT_EQ(a.GetRefCount(), 1);
}

TEST(SharedString, GetBufferOnNullStringGivesTerminatedBlock)
{
    CSharedStringW s;
    char16_t* chars = s.GetBuffer(4);
    ASSERT_NE(chars, nullptr);
    EXPECT_EQ(chars[0], 0);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_FALSE(s.Get() == nullptr);
}

TEST(SharedString, IsEqualTreatsNullAndEmptyAlike)
{
    CSharedStringW none, empty = Exact(u""), abc = Exact(u"abc"), abd = Exact(u"abd");
    EXPECT_TRUE(none.IsEqual(empty));
    EXPECT_TRUE(abc.IsEqual(Exact(u"abc")));
    EXPECT_FALSE(abc.IsEqual(abd));
    EXPECT_FALSE(abc.IsEqual(none));
}

TEST(SharedString, NarrowInstanceFollowsSameRules)
{
    CSharedStringA s;
    s.Assign("error");
    ASSERT_TRUE(s.Append(":"));
    EXPECT_EQ(s.GetCapacity(), 10);
    EXPECT_STREQ(s.CStr(), "error:");
}

TEST(SharedString, ConversionsOfNullGiveNull)
{
    EXPECT_EQ(ToUtf8(static_cast<const char16_t*>(nullptr)).Get(), nullptr);
    EXPECT_EQ(FromUtf8(static_cast<const char*>(nullptr)).Get(), nullptr);
    EXPECT_EQ(Widen(static_cast<const char*>(nullptr)).Get(), nullptr);
    EXPECT_EQ(ToUtf8(CSharedStringW()).Get(), nullptr);
}

TEST(SharedString, ToUtf8OfEmptyTextHasCapacityThree)
{
    CSharedStringA s = ToUtf8(u"");
    ASSERT_NE(s.Get(), nullptr);
    EXPECT_EQ(s.GetCapacity(), 3);
    EXPECT_EQ(s.GetCachedLength(), -1);
    EXPECT_EQ(s.GetLength(), 0);
}

TEST(SharedString, WidenOfE9GivesLatinSmallEWithAcute)
{
    CSharedStringW s = Widen("\xE9");
    EXPECT_EQ(Text(s), u"\u00E9");
}

} // namespace
