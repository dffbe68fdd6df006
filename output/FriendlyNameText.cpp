#include "output/FriendlyNameText.h"

#include "runtime/TextConversion.h"

void FriendlyNameText(const std::string& Utf8Name, std::u16string& Name, int32_t& bIsText)
{
    Name = Utf8ToWide(Utf8Name);
    // Malformed bytes come back as replacement characters: such a name is no text to show.
    bIsText = !Name.empty() && Name.find(u'\uFFFD') == std::u16string::npos ? 1 : 0;
    if (bIsText == 0)
    {
        Name.clear();
    }
}
