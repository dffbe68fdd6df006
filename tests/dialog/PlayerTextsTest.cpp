#include "app/dialog/PlayerTexts.h"
#include "app/dialog/PlayerLanguageChoice.h"
#include "runtime/DesktopLanguage.h"
#include "runtime/TextConversion.h"
#include "tests/common/ScopedVariable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace
{
// The printf conversions of a format, in order ("%s%s%u"); "%%" is none.
std::u16string Conversions(const std::u16string& Text)
{
    std::u16string Found;
    for (size_t i = 0; i < Text.size(); ++i)
    {
        if (Text[i] != u'%')
        {
            continue;
        }
        if (i + 1 < Text.size() && Text[i + 1] == u'%')
        {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < Text.size() && std::u16string(u"0123456789.-+ #lh").find(Text[j]) != std::u16string::npos)
        {
            ++j;
        }
        Found += Text.substr(i, j + 1 - i);
        i = j;
    }
    return Found;
}

// Kana, kanji and the full-width forms: what an English text must not hold.
bool HasJapanese(const std::u16string& Text)
{
    for (const char16_t c : Text)
    {
        if ((c >= 0x3000 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF))
        {
            return true;
        }
    }
    return false;
}

std::u16string After(const std::u16string& Text, char16_t cSeparator)
{
    const size_t i = Text.find(cSeparator);
    return i == std::u16string::npos ? std::u16string() : Text.substr(i);
}
} // namespace

// Every text of the table has its English: not empty, no Japanese left in it, another text than a
// Japanese original, the original's conversions in their order (a format given other arguments
// would read the wrong ones), the same key after a tab, the same trailing blank, a full stop where
// the original ends with one and none where it has none. The names are unique.
TEST(PlayerTexts, EveryTextHasItsEnglish)
{
    std::set<std::string> Names;
    ASSERT_GT(std::size(PlayerTexts::ALL), 60u);
    for (const PlayerText* pText : PlayerTexts::ALL)
    {
        SCOPED_TRACE(pText->pName);
        EXPECT_TRUE(Names.insert(pText->pName).second) << "twice";
        ASSERT_NE(pText->pJapanese, nullptr);
        ASSERT_NE(pText->pEnglish, nullptr);
        const std::u16string Japanese = pText->pJapanese;
        const std::u16string English = pText->pEnglish;
        ASSERT_FALSE(Japanese.empty());
        ASSERT_FALSE(English.empty());
        EXPECT_FALSE(HasJapanese(English)) << WideToUtf8(English);
        if (HasJapanese(Japanese))
        {
            EXPECT_NE(English, Japanese);
        }
        EXPECT_EQ(Conversions(English), Conversions(Japanese)) << WideToUtf8(English);
        EXPECT_EQ(After(English, u'\t'), After(Japanese, u'\t'));
        EXPECT_EQ(English.back() == u' ', Japanese.back() == u' ');
        const bool bStop = Japanese.back() == u'。' || Japanese.back() == u'.';
        EXPECT_EQ(English.back() == u'.', bStop) << WideToUtf8(English);
        EXPECT_EQ(pText->In(PlayerLanguage::Japanese), pText->pJapanese);
        EXPECT_EQ(pText->In(PlayerLanguage::English), pText->pEnglish);
    }
    // A text reads in the language chosen, and the scope puts the original back.
    EXPECT_EQ(std::u16string(PlayerTexts::PLAY), u"再生");
    {
        const PlayerTexts::ScopedLanguage English(PlayerLanguage::English);
        EXPECT_EQ(std::u16string(PlayerTexts::PLAY), u"Play");
    }
    EXPECT_EQ(PlayerTexts::Language(), PlayerLanguage::Japanese);
}

// Japanese for a Japanese desktop and where no language is set; English for any other; the
// override before all, a value it does not know refused and the desktop's language taken.
TEST(PlayerTexts, TheLanguageFromTheDesktopAndTheOverride)
{
    using PlayerLanguageChoice::OfDesktopLanguage;
    for (const char* pName :
         {"ja_JP.UTF-8", "ja", "ja-JP", "JA_jp", "ja_JP@cjknarrow", "", "C", "POSIX", "C.UTF-8"})
    {
        EXPECT_EQ(OfDesktopLanguage(pName), PlayerLanguage::Japanese) << pName;
    }
    for (const char* pName : {"en_US.UTF-8", "en-GB", "de_DE.UTF-8", "fr", "jv_ID", "Chinese"})
    {
        EXPECT_EQ(OfDesktopLanguage(pName), PlayerLanguage::English) << pName;
    }

    PlayerLanguage Language = PlayerLanguage::English;
    EXPECT_EQ(PlayerLanguageChoice::OfOverride("ja", Language), 1);
    EXPECT_EQ(Language, PlayerLanguage::Japanese);
    EXPECT_EQ(PlayerLanguageChoice::OfOverride("en", Language), 1);
    EXPECT_EQ(Language, PlayerLanguage::English);
    EXPECT_EQ(PlayerLanguageChoice::OfOverride(nullptr, Language), 0);
    EXPECT_EQ(PlayerLanguageChoice::OfOverride("", Language), 0);
    EXPECT_EQ(PlayerLanguageChoice::OfOverride("de", Language), -4);
    EXPECT_EQ(Language, PlayerLanguage::English);

#ifndef _WIN32
    // The variables in the order messages read them; the first set one counts, the first entry of
    // LANGUAGE's list.
    const auto Chosen = [](const char* pLanguage, const char* pAll, const char* pMessages, const char* pLang,
                           const char* pOverride)
    {
        const ScopedVariable A("LANGUAGE", pLanguage);
        const ScopedVariable B("LC_ALL", pAll);
        const ScopedVariable C("LC_MESSAGES", pMessages);
        const ScopedVariable D("LANG", pLang);
        const ScopedVariable E("LARKSPUR_LANG", pOverride);
        return PlayerLanguageChoice::AtStart();
    };
    using enum PlayerLanguage;
    EXPECT_EQ(Chosen("ja:en", "de_DE.UTF-8", "C", "en_US.UTF-8", nullptr), Japanese);
    EXPECT_EQ(Chosen("", "de_DE.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", nullptr), English);
    EXPECT_EQ(Chosen(nullptr, nullptr, "en_GB.UTF-8", "ja_JP.UTF-8", nullptr), English);
    EXPECT_EQ(Chosen(nullptr, nullptr, nullptr, "C.UTF-8", nullptr), Japanese);
    EXPECT_EQ(Chosen(nullptr, nullptr, nullptr, nullptr, nullptr), Japanese);
    EXPECT_EQ(Chosen(nullptr, nullptr, nullptr, "en_US.UTF-8", "ja"), Japanese);
    EXPECT_EQ(Chosen(nullptr, nullptr, nullptr, "ja_JP.UTF-8", "en"), English);
    EXPECT_EQ(Chosen(nullptr, nullptr, nullptr, "ja_JP.UTF-8", "fr"), Japanese);
#else
    {
        const ScopedVariable English("LARKSPUR_LANG", "en");
        EXPECT_EQ(PlayerLanguageChoice::AtStart(), PlayerLanguage::English);
        const ScopedVariable Japanese("LARKSPUR_LANG", "ja");
        EXPECT_EQ(PlayerLanguageChoice::AtStart(), PlayerLanguage::Japanese);
    }
    // Without the override, the user's interface language (Wine's follows its locale).
    const ScopedVariable Unknown("LARKSPUR_LANG", "xx");
    EXPECT_EQ(PlayerLanguageChoice::AtStart(), PlayerLanguageChoice::OfDesktopLanguage(DesktopLanguage()));
    EXPECT_FALSE(DesktopLanguage().empty());
#endif
}
