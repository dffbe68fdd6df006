#include "runtime/FormatText.h"
#include "runtime/StringFunctions.h"
#include "runtime/TextConversion.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace
{
std::u16string Text(const char16_t* p)
{
    return std::u16string(p);
}

TEST(StringFunctionsTest, AppendWideStringAtEveryBoundary)
{
    char16_t Buffer[8];
    EXPECT_EQ(-1, AppendWideString(nullptr, 8, u"x"));
    EXPECT_EQ(-1, AppendWideString(Buffer, 8, nullptr));
    EXPECT_EQ(-1, AppendWideString(Buffer, 0, u"x"));

    // Capacity 1 holds only the terminator, whatever the source (the empty one too).
    Buffer[0] = u'q';
    EXPECT_EQ(0, AppendWideString(Buffer, 1, u"abc"));
    EXPECT_EQ(0, Buffer[0]);
    EXPECT_EQ(0, AppendWideString(Buffer, 1, u""));

    Buffer[0] = 0;
    EXPECT_EQ(1, AppendWideString(Buffer, 8, u"abc"));
    EXPECT_EQ(1, AppendWideString(Buffer, 8, u"defg")); // exactly fills 7 units + terminator
    EXPECT_EQ(Text(u"abcdefg"), Text(Buffer));
    EXPECT_EQ(0, AppendWideString(Buffer, 8, u"")); // already full
    EXPECT_EQ(Text(u"abcdefg"), Text(Buffer));

    Buffer[0] = 0;
    EXPECT_EQ(1, AppendWideString(Buffer, 8, u"abc"));
    EXPECT_EQ(0, AppendWideString(Buffer, 8, u"defgh")); // one short
    EXPECT_EQ(Text(u"abcdefg"), Text(Buffer));

    Buffer[0] = 0;
    EXPECT_EQ(1, AppendWideString(Buffer, 8, u""));
    EXPECT_EQ(Text(u""), Text(Buffer));
}

TEST(StringFunctionsTest, CopyAnsiStringAtEveryBoundary)
{
    char Buffer[6];
    EXPECT_EQ(-1, CopyAnsiString(nullptr, 6, "x"));
    EXPECT_EQ(-1, CopyAnsiString(Buffer, 6, nullptr));
    Buffer[0] = 'q';
    EXPECT_EQ(0, CopyAnsiString(Buffer, 0, "x"));
    EXPECT_EQ('q', Buffer[0]); // capacity 0: nothing written
    EXPECT_EQ(0, CopyAnsiString(Buffer, 1, "x"));
    EXPECT_EQ(0, Buffer[0]);
    EXPECT_EQ(1, CopyAnsiString(Buffer, 6, "hello")); // exactly fits
    EXPECT_STREQ("hello", Buffer);
    EXPECT_EQ(0, CopyAnsiString(Buffer, 6, "hello!")); // one short
    EXPECT_STREQ("hello", Buffer);
    EXPECT_EQ(1, CopyAnsiString(Buffer, 6, "hi")); // a copy, not an append
    EXPECT_STREQ("hi", Buffer);
}

TEST(FormatTextTest, FormatsTheDialogsTexts)
{
    char16_t Buffer[128];
    EXPECT_EQ(0, FormatText(Buffer, sizeof(Buffer), u"%s v%s", u"Larkspur", u"1.02"));
    EXPECT_EQ(Text(u"Larkspur v1.02"), Text(Buffer));
    EXPECT_EQ(0, FormatText(Buffer, sizeof(Buffer), u"%s v%s (Shift: %i)", u"Larkspur", u"1.02", -3));
    EXPECT_EQ(Text(u"Larkspur v1.02 (Shift: -3)"), Text(Buffer));
    EXPECT_EQ(0, FormatText(Buffer, sizeof(Buffer), u"x%.4lf", 1.0057929410678534));
    EXPECT_EQ(Text(u"x1.0058"), Text(Buffer));
    EXPECT_EQ(0, FormatText(Buffer, sizeof(Buffer), u"%.0lf", 44100.0));
    EXPECT_EQ(Text(u"44100"), Text(Buffer));
    EXPECT_EQ(0, FormatText(Buffer, sizeof(Buffer), u"%.0lf", 2.5)); // round half to even, like printf
    EXPECT_EQ(Text(u"2"), Text(Buffer));
    EXPECT_EQ(0, FormatText(Buffer, sizeof(Buffer), u"%.3lf", 12.3456));
    EXPECT_EQ(Text(u"12.346"), Text(Buffer));
    EXPECT_EQ(0, FormatText(Buffer, sizeof(Buffer), u"%d", -2147483647 - 1));
    EXPECT_EQ(Text(u"-2147483648"), Text(Buffer));
    EXPECT_EQ(0, FormatText(Buffer, sizeof(Buffer), u"%s", u"スピーカー (High Definition)"));
    EXPECT_EQ(Text(u"スピーカー (High Definition)"), Text(Buffer));
}

TEST(FormatTextTest, FlagsWidthsAndOtherConversions)
{
    char16_t Buffer[128];
    FormatText(Buffer, sizeof(Buffer), u"[%5d|%-5d|%05d|%+d|% d]", 42, 42, -42, 7, 7);
    EXPECT_EQ(Text(u"[   42|42   |-0042|+7| 7]"), Text(Buffer));
    FormatText(Buffer, sizeof(Buffer), u"[%x|%X|%#x|%o|%u|%.3d]", 255u, 255u, 255u, 8u, 4294967295u, 5);
    EXPECT_EQ(Text(u"[ff|FF|0xff|10|4294967295|005]"), Text(Buffer));
    FormatText(Buffer, sizeof(Buffer), u"[%llu|%lld|%I64d]", 18446744073709551615ull, LLONG_MIN, 5ll);
    EXPECT_EQ(Text(u"[18446744073709551615|-9223372036854775808|5]"), Text(Buffer));
    FormatText(Buffer, sizeof(Buffer), u"[%8.2f|%-8.1f|%e|%g|%g]", 3.14159, -2.25, 12345.678, 0.0001, 1e20);
    EXPECT_EQ(Text(u"[    3.14|-2.2    |1.234568e+04|0.0001|1e+20]"), Text(Buffer));
    FormatText(Buffer, sizeof(Buffer), u"[%6s|%-6s|%.2s|%hs|%c|%%|%s]", u"ab", u"ab", u"abcdef", "narrow",
               'Z', static_cast<const char16_t*>(nullptr));
    EXPECT_EQ(Text(u"[    ab|ab    |ab|narrow|Z|%|(null)]"), Text(Buffer));
    FormatText(Buffer, sizeof(Buffer), u"[%f|%f]", 1.0 / 0.0, -1.0 / 0.0);
    EXPECT_EQ(Text(u"[inf|-inf]"), Text(Buffer));
    FormatText(Buffer, sizeof(Buffer), u"%*d|%.*f", 4, 1, 1, 0.25);
    EXPECT_EQ(Text(u"   1|0.2"), Text(Buffer));
    FormatText(Buffer, sizeof(Buffer), u"100%");
    EXPECT_EQ(Text(u"100%"), Text(Buffer));
}

TEST(FormatTextTest, CutsAtHalfTheByteSizeAndAlwaysTerminates)
{
    char16_t Buffer[16];
    for (auto& c : Buffer)
    {
        c = u'#';
    }
    // 10 bytes hold 4 characters and the terminator.
    EXPECT_EQ(-1, FormatText(Buffer, 10, u"%s", u"abcdef"));
    EXPECT_EQ(Text(u"abcd"), Text(Buffer));
    EXPECT_EQ(u'#', Buffer[5]);                           // nothing written past the size
    EXPECT_EQ(0, FormatText(Buffer, 10, u"%s", u"abcd")); // exactly fits
    EXPECT_EQ(Text(u"abcd"), Text(Buffer));
    EXPECT_EQ(-1, FormatText(Buffer, 10, u"%d", 12345)); // one short
    EXPECT_EQ(Text(u"1234"), Text(Buffer));
    EXPECT_EQ(0, FormatText(Buffer, 11, u"%d", 1234)); // an odd byte is not a unit
    EXPECT_EQ(-1, FormatText(Buffer, 11, u"%d", 12345));

    // Two bytes hold only the terminator.
    EXPECT_EQ(-1, FormatText(Buffer, 2, u"x"));
    EXPECT_EQ(0, Buffer[0]);
    EXPECT_EQ(0, FormatText(Buffer, 2, u""));

    // Sizes that cannot hold a terminator, and null arguments, are refused without writing.
    Buffer[0] = u'#';
    EXPECT_EQ(-4, FormatText(Buffer, 1, u"x"));
    EXPECT_EQ(-4, FormatText(Buffer, 0, u"x"));
    EXPECT_EQ(u'#', Buffer[0]);
    EXPECT_EQ(-4, FormatText(nullptr, 10, u"x"));
    EXPECT_EQ(-4, FormatText(Buffer, 10, nullptr));
    EXPECT_EQ(0, Buffer[0]);
}

TEST(TextConversionTest, RoundTripsAndReplacesMalformedInput)
{
    const std::u16string Japanese = u"サンプリング周波数 (Hz) 𝄞";
    EXPECT_EQ(Japanese, Utf8ToWide(WideToUtf8(Japanese)));
    EXPECT_EQ(std::string("a\xC3\xA9"), WideToUtf8(u"a\u00E9"));
    EXPECT_EQ(std::u16string(u"a\uFFFDb"), Utf8ToWide("a\xFF"
                                                      "b"));
    EXPECT_EQ(std::u16string(u"\uFFFD"), Utf8ToWide("\xC0\x80")); // overlong encoding
    const char16_t LoneSurrogate[] = {0xD800, u'x', 0};
    EXPECT_EQ(std::string("\xEF\xBF\xBDx"), WideToUtf8(LoneSurrogate));
    EXPECT_EQ(std::string(), WideToUtf8(static_cast<const char16_t*>(nullptr)));
}
} // namespace
