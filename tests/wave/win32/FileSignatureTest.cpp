#include "wave/win32/FileSignature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& Value, size_t uSize = 0)
{
    Bytes Result(Value.begin(), Value.end());
    Result.resize(std::max(uSize, Result.size()));
    return Result;
}
} // namespace

TEST(FileSignature, NamesTheCodingAndOnlyTheBitsTheFileStates)
{
    struct Case
    {
        Bytes Head;
        Bytes Movie;
        std::u16string Name;
        uint32_t uiBits;
    };
    Bytes Flac = Text("fLaC", 42);
    Flac[20] = 0x01; // bits per sample - 1 = 23 across the byte boundary
    Flac[21] = 0x70;
    Bytes Tagged = Text("ID3\x04", 40);
    Tagged[9] = 20; // a 20-byte tag, then the first frame
    Tagged[30] = 0xFF;
    Tagged[31] = 0xFB;
    Bytes LargeTag = Text("ID3\x04", 40);
    LargeTag[6] = 0x7F;
    Bytes Movie = Text("....stsd........");
    const Bytes Entry = Text("....alac....................", 28);
    Movie.insert(Movie.end(), Entry.begin(), Entry.end());
    Movie[42] = 0; // the sample entry's sample size: 24
    Movie[43] = 24;
    const std::vector<Case> Cases = {
        {Flac, {}, u"FLAC", 24},
        {Text("fLaC"), {}, u"FLAC", 0}, // cut before the stream information: no bits claimed
        {Tagged, {}, u"MP3", 0},
        {LargeTag, {}, u"MP3", 0},
        {Bytes{0xFF, 0xF1, 0x50}, {}, u"AAC", 0},
        {Bytes{0xFF, 0xFD, 0x90}, {}, u"MPEG audio", 0},
        {Bytes{0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6}, {}, u"WMA", 0},
        {Text("....ftypM4A "), Movie, u"ALAC", 24},
        {Text("....ftypM4A "), Text("....stsd............mp4a"), u"AAC", 0},
        {Text("....ftypM4A "), {}, u"Audio", 0}, // no track descriptions found
        {Text("xxxxxxxxxxxx"), {}, u"Audio", 0},
    };
    for (const Case& Each : Cases)
    {
        FileSignature Signature;
        const int32_t iResult = Signature.Recognise(Each.Head, Each.Movie);
        EXPECT_EQ(std::u16string(Signature.pCodingName), Each.Name);
        EXPECT_EQ(Signature.uiBitCount, Each.uiBits) << std::string(Each.Name.begin(), Each.Name.end());
        EXPECT_EQ(iResult, Each.Name == u"Audio" ? 0 : 1);
        EXPECT_EQ(Signature.bLossy, Each.uiBits == 0 && Each.Name != u"FLAC" ? 1 : 0);
    }
}
