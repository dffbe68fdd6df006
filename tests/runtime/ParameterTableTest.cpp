#include "runtime/ParameterTable.h"
#include "runtime/CMultiThreadWin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
std::u16string Name(int i)
{
    std::u16string Text = u"n";
    for (char c : std::to_string(i))
    {
        Text.push_back(static_cast<char16_t>(c));
    }
    return Text;
}

// A table entry holding pText, as every table entry is.
ParameterEntry TextEntry(const char16_t* pText)
{
    return ParameterEntry{const_cast<char16_t*>(u"*::x"), PARAM_TYPE_WSTRING, const_cast<char16_t*>(pText),
                          nullptr, nullptr};
}

int32_t Convert(uint32_t uiType, const char16_t* pText, uint64_t& ullValue)
{
    ParameterValue Value{u"before", uiType, 777};
    const ParameterEntry Entry = TextEntry(pText);
    const int32_t iResult = ConvertParameterValue(&Value, &Entry);
    ullValue = Value.ullValue;
    return iResult;
}
} // namespace

TEST(ParameterTable, HoldsFiveHundredTwelveNamesAndRefusesTheNext)
{
    ParameterTable Table;
    ASSERT_EQ(Table.GetCount(), 0);
    for (int i = 0; i < ParameterTable::MAX_ENTRIES; ++i)
    {
        ASSERT_EQ(Table.SetNumber(Name(i).c_str(), static_cast<uint64_t>(i) * 3), 3) << i;
    }
    EXPECT_EQ(Table.SetNumber(u"one too many", 1), -1);
    EXPECT_EQ(Table.SetText(u"one too many", u"1"), -1);
    EXPECT_EQ(Table.GetCount(), 512);
    uint64_t ullValue = 99;
    EXPECT_EQ(Table.GetNumber(u"one too many", &ullValue), -10);
    EXPECT_EQ(ullValue, 0u);
    EXPECT_EQ(Table.GetNumber(Name(511).c_str(), &ullValue), 1);
    EXPECT_EQ(ullValue, 511u * 3);

    // A full table still replaces in place.
    EXPECT_EQ(Table.SetNumber(Name(0).c_str(), 42), 5);
    EXPECT_EQ(Table.GetCount(), 512);
    EXPECT_EQ(Table.GetNumber(Name(0).c_str(), &ullValue), 1);
    EXPECT_EQ(ullValue, 42u);
    EXPECT_EQ(std::u16string(Table.GetEntry(0)->pName), Name(0));

    EXPECT_EQ(Table.Clear(), 1);
    EXPECT_EQ(Table.GetCount(), 0);
    EXPECT_EQ(Table.GetNumber(Name(0).c_str(), &ullValue), -10);
    EXPECT_EQ(Table.SetNumber(u"again", 1), 3);
}

TEST(ParameterTable, StoresDecimalTextAndItsNarrowCopy)
{
    ParameterTable Table;
    EXPECT_EQ(Table.SetNumber(u"zero", 0), 3);
    EXPECT_EQ(Table.SetNumber(u"max", 0xFFFFFFFFFFFFFFFFull), 3);
    EXPECT_EQ(Table.SetText(u"word", u"abc"), 3);
    ASSERT_EQ(Table.GetCount(), 3);
    EXPECT_EQ(std::u16string(Table.GetEntry(0)->pText), u"0");
    EXPECT_EQ(std::u16string(Table.GetEntry(1)->pText), u"18446744073709551615");
    EXPECT_STREQ(Table.GetEntry(1)->pAnsiText, "18446744073709551615");
    EXPECT_EQ(Table.GetEntry(2)->uiType, PARAM_TYPE_WSTRING);
    uint64_t ullValue = 0;
    EXPECT_EQ(Table.GetNumber(u"max", &ullValue), 1);
    EXPECT_EQ(ullValue, 0xFFFFFFFFFFFFFFFFull);

    // Replacing changes the value, keeps the name and the position.
    EXPECT_EQ(Table.SetText(u"zero", u"1,234"), 5);
    EXPECT_EQ(Table.GetCount(), 3);
    EXPECT_EQ(Table.GetNumber(u"zero", &ullValue), 1);
    EXPECT_EQ(ullValue, 1234u);
    EXPECT_STREQ(Table.GetEntry(0)->pAnsiText, "1,234");

    // The unsigned 64-bit reading stops quietly at a stray character; empty text is 0.
    EXPECT_EQ(Table.SetText(u"stray", u"12a"), 3);
    EXPECT_EQ(Table.GetNumber(u"stray", &ullValue), 1);
    EXPECT_EQ(ullValue, 12u);
    EXPECT_EQ(Table.SetText(u"empty", u""), 3);
    ullValue = 5;
    EXPECT_EQ(Table.GetNumber(u"empty", &ullValue), 1);
    EXPECT_EQ(ullValue, 0u);
    // Names are compared whole and case-sensitively.
    EXPECT_EQ(Table.GetNumber(u"Zero", &ullValue), -10);
    EXPECT_EQ(Table.GetNumber(u"zer", &ullValue), -10);
}

TEST(ParameterTable, RefusesMissingArgumentsWithoutChange)
{
    ParameterTable Table;
    EXPECT_EQ(Table.SetText(nullptr, u"1"), -4);
    EXPECT_EQ(Table.SetText(u"a", nullptr), -4);
    EXPECT_EQ(Table.SetNumber(nullptr, 1), -4);
    EXPECT_EQ(Table.GetCount(), 0);
    uint64_t ullValue = 9;
    EXPECT_EQ(Table.GetNumber(nullptr, &ullValue), -4);
    EXPECT_EQ(ullValue, 0u);
    EXPECT_EQ(Table.GetNumber(u"a", nullptr), -4);
    EXPECT_EQ(Table.GetEntry(0), nullptr);
    EXPECT_EQ(Table.GetEntry(-1), nullptr);
}

TEST(ParameterTable, ComposesKeysInOneThousandTwentyFourUnits)
{
    char16_t Key[ParameterTable::KEY_CAPACITY];
    EXPECT_EQ(std::u16string(ParameterTable::ComposeKey(Key, u"pWaveFileReader")), u"*::pWaveFileReader");
    EXPECT_EQ(ParameterTable::ComposeKey(Key, nullptr), nullptr);

    // Two names that differ only after their 1020th character meet under one key.
    const std::u16string Long(1020, u'x');
    EXPECT_EQ(std::u16string(ParameterTable::ComposeKey(Key, (Long + u"tail").c_str())).size(), 1023u);
    CMultiThreadWin Worker;
    ASSERT_EQ(Worker.Create(1), 1);
    EXPECT_EQ(Worker.SetParameter((Long + u"A").c_str(), 1), 3);
    EXPECT_EQ(Worker.SetParameter((Long + u"B").c_str(), 2), 5);
    uint64_t ullValue = 0;
    EXPECT_EQ(Worker.GetParameter(Long.c_str(), &ullValue), 1);
    EXPECT_EQ(ullValue, 2u);
}

TEST(ParameterValueConversion, NumberParsersDifferAtStrayCharacters)
{
    uint64_t ullValue = 0;
    EXPECT_EQ(Convert(PARAM_TYPE_UINT32, u"1,234", ullValue), 1);
    EXPECT_EQ(ullValue, 1234u);
    EXPECT_EQ(Convert(PARAM_TYPE_UINT32, u"4294967295", ullValue), 1);
    EXPECT_EQ(ullValue, 0xFFFFFFFFu);
    EXPECT_EQ(Convert(PARAM_TYPE_UINT32, u"4294967296", ullValue), 1);
    EXPECT_EQ(ullValue, 0xFFFFFFFFu);
    EXPECT_EQ(Convert(PARAM_TYPE_UINT32, u"12a", ullValue), -1);
    EXPECT_EQ(ullValue, 777u) << "a refused conversion writes nothing";
    EXPECT_EQ(Convert(PARAM_TYPE_UINT32, u"", ullValue), 1);
    EXPECT_EQ(ullValue, 0u);

    EXPECT_EQ(Convert(PARAM_TYPE_INT64, u"-5", ullValue), 1);
    EXPECT_EQ(static_cast<int64_t>(ullValue), -5);
    EXPECT_EQ(Convert(PARAM_TYPE_INT64, u"-9,223,372,036,854,775,808", ullValue), 1);
    EXPECT_EQ(static_cast<int64_t>(ullValue), INT64_MIN);
    EXPECT_EQ(Convert(PARAM_TYPE_INT64, u"5-", ullValue), -1);
    EXPECT_EQ(ullValue, 777u);
    EXPECT_EQ(Convert(PARAM_TYPE_INT64, u"--5", ullValue), -1);

    EXPECT_EQ(Convert(PARAM_TYPE_UINT64, u"12a34", ullValue), 1);
    EXPECT_EQ(ullValue, 12u);
    EXPECT_EQ(Convert(PARAM_TYPE_UINT64, u"18446744073709551616", ullValue), 1);
    EXPECT_EQ(ullValue, 0u) << "64-bit accumulation wraps";
    EXPECT_EQ(Convert(PARAM_TYPE_UINT64, nullptr, ullValue), 1);
    EXPECT_EQ(ullValue, 0u);
    EXPECT_EQ(Convert(PARAM_TYPE_UINT32, nullptr, ullValue), -1);
    EXPECT_EQ(Convert(PARAM_TYPE_INT64, nullptr, ullValue), -1);

    // Numeric results leave the destination's name and requested type alone.
    ParameterValue Value{u"kept", PARAM_TYPE_UINT32, 0};
    const ParameterEntry Entry = TextEntry(u"7");
    ASSERT_EQ(ConvertParameterValue(&Value, &Entry), 1);
    EXPECT_EQ(std::u16string(Value.pName), u"kept");
    EXPECT_EQ(Value.uiType, PARAM_TYPE_UINT32);
}

TEST(ParameterValueConversion, TextRequestsAndRefusals)
{
    ParameterTable Table;
    ASSERT_EQ(Table.SetText(u"*::label", u"Larkspur 1"), 3);
    const ParameterEntry* pEntry = Table.GetEntry(0);

    ParameterValue Value{nullptr, PARAM_TYPE_WSTRING, 0};
    ASSERT_EQ(ConvertParameterValue(&Value, pEntry), 1);
    EXPECT_EQ(Value.pName, pEntry->pName);
    EXPECT_EQ(reinterpret_cast<const char16_t*>(static_cast<uintptr_t>(Value.ullValue)), pEntry->pText);

    Value = ParameterValue{nullptr, PARAM_TYPE_ASTRING, 0};
    ASSERT_EQ(ConvertParameterValue(&Value, pEntry), 1);
    EXPECT_EQ(Value.uiType, PARAM_TYPE_ASTRING);
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(Value.ullValue)), "Larkspur 1");

    Value = ParameterValue{u"x", PARAM_TYPE_DOUBLE, 3};
    EXPECT_EQ(ConvertParameterValue(&Value, pEntry), -1);
    Value.uiType = 7;
    EXPECT_EQ(ConvertParameterValue(&Value, pEntry), -1);

    // An empty request or an empty entry clears the destination.
    Value = ParameterValue{u"x", PARAM_TYPE_NONE, 3};
    EXPECT_EQ(ConvertParameterValue(&Value, pEntry), -1);
    EXPECT_EQ(Value.pName, nullptr);
    EXPECT_EQ(Value.ullValue, 0u);
    ParameterEntry Empty{};
    Value = ParameterValue{u"x", PARAM_TYPE_UINT64, 3};
    EXPECT_EQ(ConvertParameterValue(&Value, &Empty), -1);
    EXPECT_EQ(Value.uiType, PARAM_TYPE_NONE);

    ParameterEntry Unknown = TextEntry(u"1");
    Unknown.uiType = 42;
    Value = ParameterValue{nullptr, PARAM_TYPE_UINT64, 0};
    EXPECT_EQ(ConvertParameterValue(&Value, &Unknown), -99);
    ParameterEntry NotText = TextEntry(u"1");
    NotText.uiType = PARAM_TYPE_UINT64;
    EXPECT_EQ(ConvertParameterValue(&Value, &NotText), -1);

    EXPECT_EQ(ConvertParameterValue(nullptr, pEntry), -4);
    EXPECT_EQ(ConvertParameterValue(&Value, nullptr), -4);
}

#ifndef _WIN32
TEST(ParameterTable, NarrowCopyIsUtf8OnThisPlatform)
{
    ParameterTable Table;
    ASSERT_EQ(Table.SetText(u"note", u"\u00e9\u97f3"), 3);
    EXPECT_STREQ(Table.GetEntry(0)->pAnsiText, "\xC3\xA9\xE9\x9F\xB3");
}
#endif

TEST(WorkerParameters, SetAndGetByName)
{
    CMultiThreadWin Worker;
    uint64_t ullValue = 55;
    EXPECT_EQ(Worker.GetParameter(u"pWaveFileReader", &ullValue), -10);
    EXPECT_EQ(ullValue, 0u);
    ASSERT_EQ(Worker.Create(1), 1);
    int iObject = 0;
    const auto ullAddress = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&iObject));
    EXPECT_EQ(Worker.SetParameter(u"pWaveFileReader", ullAddress), 3);
    EXPECT_EQ(Worker.SetParameter(u"pWaveFileReader", ullAddress), 5);
    EXPECT_EQ(Worker.SetParameter(nullptr, 1), -4);
    EXPECT_EQ(Worker.GetParameter(u"pWaveFileReader", &ullValue), 1);
    EXPECT_EQ(ullValue, ullAddress);
    EXPECT_EQ(Worker.GetParameter(u"*::pWaveFileReader", &ullValue), -10) << "the scope is added once";

    // An object that was never prepared becomes ready, one thread per processor.
    CMultiThreadWin Fresh;
    EXPECT_EQ(Fresh.SetParameter(u"pTimer", 12), 3);
    EXPECT_EQ(Fresh.GetState(), THREAD_STATE_READY);
    EXPECT_EQ(Fresh.GetThreadCount(), Fresh.GetProcessorCount());
    EXPECT_EQ(Fresh.IsCreated(), 0);
}

TEST(WorkerParameters, AllocateBufferReplacesAndFrees)
{
    CMultiThreadWin Worker;
    ASSERT_EQ(Worker.Create(1), 1);
    EXPECT_EQ(Worker.AllocateBuffer(u"pdfInputSignalBuffer", 16384), 3);
    void* pFirst = nullptr;
    uint64_t ullSize = 0;
    ASSERT_EQ(Worker.GetBuffer(u"pdfInputSignalBuffer", &pFirst, &ullSize), 1);
    ASSERT_NE(pFirst, nullptr);
    EXPECT_EQ(ullSize, 16384u);
    const auto* pBytes = static_cast<const unsigned char*>(pFirst);
    for (uint64_t i = 0; i < ullSize; ++i)
    {
        ASSERT_EQ(pBytes[i], 0u) << i;
    }
    std::memset(pFirst, 0xAB, 16384);

    // The second buffer replaces the first, which is freed (the sanitizers see a leak or a double free).
    EXPECT_EQ(Worker.AllocateBuffer(u"pdfInputSignalBuffer", 64), 5);
    void* pSecond = nullptr;
    ASSERT_EQ(Worker.GetBuffer(u"pdfInputSignalBuffer", &pSecond, &ullSize), 1);
    EXPECT_EQ(ullSize, 64u);
    EXPECT_EQ(static_cast<const unsigned char*>(pSecond)[63], 0u);
    EXPECT_EQ(Worker.AllocateBuffer(u"pdfOutputSignalBuffer", 16384), 3);
    EXPECT_EQ(Worker.AllocateBuffer(nullptr, 8), -4);

    // A refused lookup leaves the outputs alone.
    void* pUntouched = &ullSize;
    uint64_t ullUntouched = 3;
    EXPECT_EQ(Worker.GetBuffer(u"pdfLocalBuffer", &pUntouched, &ullUntouched), -1);
    EXPECT_EQ(pUntouched, &ullSize);
    EXPECT_EQ(ullUntouched, 3u);
    EXPECT_EQ(Worker.GetBuffer(u"pdfInputSignalBuffer", nullptr, &ullUntouched), -1);

    EXPECT_EQ(Worker.Release(), 1);
    EXPECT_EQ(Worker.GetBuffer(u"pdfOutputSignalBuffer", &pUntouched, &ullUntouched), -1);
    uint64_t ullValue = 1;
    EXPECT_EQ(Worker.GetParameter(u"pdfOutputSignalBuffer", &ullValue), -10);
}

TEST(WorkerParameters, BuffersOfAnObjectNeverCreatedAreFreedWithIt)
{
    // Without Create, Release does nothing (0); destruction must still free the buffer.
    CMultiThreadWin Worker;
    EXPECT_EQ(Worker.AllocateBuffer(u"pdfLocalBuffer", 256), 3);
    EXPECT_EQ(Worker.Release(), 0);
}
