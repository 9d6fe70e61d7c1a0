// CString: formatting edge cases, the buffer interface and bounds.
#include "platform/AfxString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

TEST(StringFormat, NumbersPercentAndStrings)
{
    CString s;
    s.Format("%u", 0xFFFFFFFFu);
    EXPECT_STREQ("4294967295", s);
    s.Format("%d|%d", INT_MIN, INT_MAX);
    EXPECT_STREQ("-2147483648|2147483647", s);
    s.Format("%lu %08lX %x", 0xFFFFFFFFul, 0x1Aul, 255u);
    EXPECT_STREQ("4294967295 0000001A ff", s);
    s.Format("100%%");
    EXPECT_STREQ("100%", s);
    s.Format("%%%s%%", "x");
    EXPECT_STREQ("%x%", s);
    s.Format("[%s] [%-4s] [%c]", CString("abc"), CString("d"), 'e');
    EXPECT_STREQ("[abc] [d   ] [e]", s);
    s.Format("%.2f", 2.5f); // a float goes through as a double
    EXPECT_STREQ("2.50", s);
    s.Format("%d.%d", 1, 6);
    EXPECT_STREQ("1.6", s);
}

TEST(StringFormat, EmptyNullAndSelfReferences)
{
    CString s("old");
    s.Format("");
    EXPECT_TRUE(s.IsEmpty());

    s = "old";
    s.Format(nullptr);
    EXPECT_TRUE(s.IsEmpty());

    s = "old";
    s.Format("%s", CString());
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(0, s.GetLength());

    // The arguments may be the string being formatted.
    s = "ab";
    s.Format("%s-%s", s, s);
    EXPECT_STREQ("ab-ab", s);
}

TEST(StringFormat, ResultsLongerThanFourKilobytes)
{
    const std::string big(5000, 'x');
    CString s;
    s.Format("<%s>", big.c_str());
    ASSERT_EQ(5002, s.GetLength());
    EXPECT_EQ('<', s[0]);
    EXPECT_EQ('x', s[4096]);
    EXPECT_EQ('>', s[5001]);

    CString part(std::string(3000, 'y').c_str());
    s.Format("%s%s%s", part, part, part);
    EXPECT_EQ(9000, s.GetLength());
    EXPECT_EQ(int(std::strlen(s)), s.GetLength());

    s.Format("%9000d", 7);
    EXPECT_EQ(9000, s.GetLength());
    EXPECT_EQ('7', s[8999]);
}

TEST(StringBuffer, FilledByWin32StyleCalls)
{
    CString s;
    char* p = s.GetBufferSetLength(5);
    std::memcpy(p, "abcde", 5); // no terminator written
    s.ReleaseBuffer();
    EXPECT_EQ(5, s.GetLength());
    EXPECT_STREQ("abcde", s);

    p = s.GetBufferSetLength(64);
    std::strcpy(p, "hi");
    s.ReleaseBuffer();
    EXPECT_EQ(2, s.GetLength());
    EXPECT_STREQ("hi", s);

    p = s.GetBufferSetLength(16);
    std::memcpy(p, "0123456789", 10);
    s.ReleaseBuffer(4);
    EXPECT_STREQ("0123", s);

    // A length past the buffer is cut to the buffer.
    p = s.GetBufferSetLength(3);
    std::memcpy(p, "xyz", 3);
    s.ReleaseBuffer(100);
    EXPECT_EQ(3, s.GetLength());
    EXPECT_STREQ("xyz", s);

    s.GetBufferSetLength(-4);
    s.ReleaseBuffer();
    EXPECT_TRUE(s.IsEmpty());
}

TEST(StringBounds, Truncate)
{
    CString s("hello");
    s.Truncate(10);
    EXPECT_STREQ("hello", s);
    s.Truncate(-1);
    EXPECT_STREQ("hello", s);
    s.Truncate(4);
    EXPECT_STREQ("hell", s);
    s.Truncate(0);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(StringBounds, CountedDataAndNullPointers)
{
    const char bytes[] = {'a', 'b', '\0', 'c', 'd'};
    CString s(bytes, 5);
    EXPECT_EQ(5, s.GetLength());
    EXPECT_EQ('c', s[3]);

    EXPECT_TRUE(CString(bytes, -1).IsEmpty());
    EXPECT_TRUE(CString(nullptr, 5).IsEmpty());
    EXPECT_TRUE(CString(nullptr).IsEmpty());

    CString t("x");
    t = static_cast<const char*>(nullptr);
    EXPECT_TRUE(t.IsEmpty());
    t += static_cast<const char*>(nullptr);
    EXPECT_TRUE(t.IsEmpty());
}

} // namespace
