#include "app/cli/OutputDeviceList.h"

#include "app/cli/CliNumbers.h"
#include "app/cli/DisplayColumns.h"
#include "output/SAudioClientLayer.h"
#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpointCollection.h"
#include "runtime/TextConversion.h"

#include <algorithm>
#include <sstream>

namespace
{
constexpr size_t INDEX_WIDTH = 7;

std::string PadLeft(const std::string& Text, size_t ullWidth)
{
    return std::string(Text.size() < ullWidth ? ullWidth - Text.size() : 0, ' ') + Text;
}

OutputDeviceList::Entry Describe(int32_t iIndex, std::unique_ptr<SAudioEndpoint> pEndpoint)
{
    OutputDeviceList::Entry Item;
    Item.iIndex = iIndex;
    Item.Name = "Unknown";
    Item.pEndpoint = std::move(pEndpoint);
    std::u16string Name;
    int32_t bIsText = 0;
    Item.bNameRead = Item.pEndpoint->GetFriendlyName(Name, bIsText) >= 0;
    if (Item.bNameRead && bIsText != 0)
    {
        Item.Name = WideToUtf8(Name);
    }
    if (Item.pEndpoint->GetId(Item.WideId) >= 0)
    {
        Item.Id = WideToUtf8(Item.WideId);
    }
    else
    {
        Item.WideId.clear();
    }
    return Item;
}

// Text compared without case: ASCII and the Latin-1 letters folded to lower case.
std::u16string Folded(const std::string& Text)
{
    std::u16string Wide = Utf8ToWide(Text);
    for (char16_t& c : Wide)
    {
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        {
            c = static_cast<char16_t>(c + 0x20);
        }
    }
    return Wide;
}
} // namespace

int32_t OutputDeviceList::Load(SAudioClientLayer& Layer)
{
    Entries.clear();
    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    if (Layer.CreateDeviceEnumerator(pEnumerator) < 0 || pEnumerator == nullptr)
    {
        return -1;
    }
    std::unique_ptr<SAudioEndpoint> pDefault;
    if (pEnumerator->GetDefaultAudioEndpoint(pDefault) >= 0 && pDefault != nullptr)
    {
        Entries.push_back(Describe(-1, std::move(pDefault)));
    }
    std::unique_ptr<SAudioEndpointCollection> pCollection;
    uint32_t uiCount = 0;
    if (pEnumerator->EnumAudioEndpoints(pCollection) >= 0 && pCollection != nullptr &&
        pCollection->GetCount(&uiCount) >= 0)
    {
        for (uint32_t i = 0; i < uiCount; ++i)
        {
            std::unique_ptr<SAudioEndpoint> pEndpoint;
            if (pCollection->Item(i, pEndpoint) >= 0 && pEndpoint != nullptr)
            {
                Entries.push_back(Describe(static_cast<int32_t>(i), std::move(pEndpoint)));
            }
        }
    }
    return 1;
}

const OutputDeviceList::Entry* OutputDeviceList::EntryOf(int32_t iIndex) const
{
    const auto Found = std::find_if(Entries.begin(), Entries.end(),
                                    [iIndex](const Entry& Item) { return Item.iIndex == iIndex; });
    return Found != Entries.end() ? &*Found : nullptr;
}

uint32_t OutputDeviceList::CountEndpoints() const
{
    return static_cast<uint32_t>(
        std::count_if(Entries.begin(), Entries.end(), [](const Entry& Item) { return Item.iIndex >= 0; }));
}

bool OutputDeviceList::Find(const std::string& Device, int32_t& iIndex, std::string& Problem) const
{
    const auto Refuse = [&](const std::string& Why)
    {
        std::ostringstream List;
        Print(List);
        Problem = Why + (Entries.empty() ? std::string("; there are no output devices\n")
                                         : "; the output devices are:\n" + List.str());
        return false;
    };
    int64_t llIndex = 0;
    if (ParseWhole(Device, llIndex))
    {
        const bool bListed =
            std::any_of(Entries.begin(), Entries.end(),
                        [llIndex](const Entry& Item) { return Item.iIndex >= 0 && Item.iIndex == llIndex; });
        if (llIndex == -1 || bListed)
        {
            iIndex = static_cast<int32_t>(llIndex);
            return true;
        }
        return Refuse("no output device has the index " + Device);
    }
    // Whole identifiers and names first, then parts of them; the default entry is found by its
    // index only, as it stands for whichever endpoint is the default.
    const std::u16string Wanted = Folded(Device);
    for (const bool bWhole : {true, false})
    {
        std::vector<const Entry*> Matches;
        for (const Entry& Item : Entries)
        {
            if (Item.iIndex < 0)
            {
                continue;
            }
            const std::u16string Name = Folded(Item.Name);
            const std::u16string Id = Folded(Item.Id);
            const bool bMatch = bWhole ? (Name == Wanted || Id == Wanted)
                                       : (Name.find(Wanted) != std::u16string::npos ||
                                          Id.find(Wanted) != std::u16string::npos);
            if (bMatch)
            {
                Matches.push_back(&Item);
            }
        }
        if (Matches.size() == 1)
        {
            iIndex = Matches[0]->iIndex;
            return true;
        }
        if (Matches.size() > 1)
        {
            std::string Which;
            for (const Entry* pItem : Matches)
            {
                Which += Which.empty() ? "" : ", ";
                Which += std::to_string(pItem->iIndex);
            }
            return Refuse("'" + Device + "' fits several output devices (" + Which +
                          "); give an index or more of the name");
        }
    }
    return Refuse("no output device matches '" + Device + "'");
}

size_t OutputDeviceList::NameColumns() const
{
    size_t ullColumns = 4;
    for (const Entry& Item : Entries)
    {
        ullColumns = std::max(ullColumns, DisplayColumns(Item.Name));
    }
    return ullColumns;
}

std::string OutputDeviceList::HeaderLine() const
{
    return PadLeft("index", INDEX_WIDTH) + "  " + PadToColumns("name", NameColumns()) + "  identifier";
}

std::string OutputDeviceList::LineOf(const Entry& Item) const
{
    return PadLeft(std::to_string(Item.iIndex), INDEX_WIDTH) + "  " + PadToColumns(Item.Name, NameColumns()) +
           "  " + Item.Id;
}

void OutputDeviceList::Print(std::ostream& Out) const
{
    Out << HeaderLine() << '\n';
    for (const Entry& Item : Entries)
    {
        Out << LineOf(Item) << '\n';
    }
}
