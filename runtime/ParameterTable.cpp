#include "runtime/ParameterTable.h"

#include "runtime/AnsiText.h"
#include "runtime/StringFunctions.h"

#include <algorithm>
#include <cstring>

namespace
{
bool SameText(const char16_t* pLeft, const char16_t* pRight)
{
    while (*pLeft != 0 && *pLeft == *pRight)
    {
        ++pLeft;
        ++pRight;
    }
    return *pLeft == *pRight;
}

bool IsKnownType(uint32_t uiType)
{
    return uiType <= PARAM_TYPE_UINT64;
}

// Digits with ',' skipped, wrapping like the 64-bit arithmetic it is; false at any other character.
bool ParseStrictDigits(const char16_t* pText, uint64_t& ullValue)
{
    ullValue = 0;
    for (; *pText != 0; ++pText)
    {
        if (*pText == u',')
        {
            continue;
        }
        if (*pText < u'0' || *pText > u'9')
        {
            return false;
        }
        ullValue = ullValue * 10 + static_cast<uint64_t>(*pText - u'0');
    }
    return true;
}

// Digits with ',' skipped; the first other character ends the number quietly.
uint64_t ParseLeadingDigits(const char16_t* pText)
{
    uint64_t ullValue = 0;
    for (; *pText != 0; ++pText)
    {
        if (*pText == u',')
        {
            continue;
        }
        if (*pText < u'0' || *pText > u'9')
        {
            break;
        }
        ullValue = ullValue * 10 + static_cast<uint64_t>(*pText - u'0');
    }
    return ullValue;
}

int32_t ConvertText(ParameterValue& Destination, const ParameterEntry& Source)
{
    switch (Destination.uiType)
    {
    case PARAM_TYPE_UINT32:
    {
        uint64_t ullValue = 0;
        if (Source.pText == nullptr || !ParseStrictDigits(Source.pText, ullValue))
        {
            return -1;
        }
        Destination.ullValue = std::min<uint64_t>(ullValue, 0xFFFFFFFFu);
        return 1;
    }
    case PARAM_TYPE_INT64:
    {
        if (Source.pText == nullptr)
        {
            return -1;
        }
        const bool bNegative = Source.pText[0] == u'-';
        uint64_t ullValue = 0;
        if (!ParseStrictDigits(Source.pText + (bNegative ? 1 : 0), ullValue))
        {
            return -1;
        }
        // Two's complement negation is the wrapping sign x value of the signed result.
        Destination.ullValue = bNegative ? 0 - ullValue : ullValue;
        return 1;
    }
    case PARAM_TYPE_WSTRING:
        Destination.pName = Source.pName;
        Destination.uiType = PARAM_TYPE_WSTRING;
        Destination.ullValue = reinterpret_cast<uintptr_t>(Source.pText);
        return 1;
    case PARAM_TYPE_ASTRING:
        Destination.pName = Source.pName;
        Destination.uiType = PARAM_TYPE_ASTRING;
        Destination.ullValue = reinterpret_cast<uintptr_t>(Source.pAnsiText);
        return 1;
    case PARAM_TYPE_UINT64:
        Destination.ullValue = Source.pText == nullptr ? 0 : ParseLeadingDigits(Source.pText);
        return 1;
    default: // PARAM_TYPE_DOUBLE (text is never read as a double) and unknown requests
        return -1;
    }
}
} // namespace

int32_t ConvertParameterValue(ParameterValue* pDestination, const ParameterEntry* pSource)
{
    if (pDestination == nullptr || pSource == nullptr)
    {
        return -4;
    }
    if (pDestination->uiType == PARAM_TYPE_NONE || pSource->uiType == PARAM_TYPE_NONE)
    {
        *pDestination = ParameterValue{nullptr, PARAM_TYPE_NONE, 0};
        return -1;
    }
    if (!IsKnownType(pSource->uiType))
    {
        return -99;
    }
    if (pSource->uiType != PARAM_TYPE_WSTRING)
    {
        // A table only ever holds text; other kinds of entry are not converted.
        return -1;
    }
    return ConvertText(*pDestination, *pSource);
}

ParameterTable::ParameterTable() : pOwnedMemory(std::make_unique<CMemoryANSI>())
{
    pMemory = pOwnedMemory.get();
    void* pArray = nullptr;
    if (pMemory->Allocate(&pArray, sizeof(ParameterEntry) * MAX_ENTRIES) == 1)
    {
        pEntries = static_cast<ParameterEntry*>(pArray);
        std::memset(pEntries, 0, sizeof(ParameterEntry) * MAX_ENTRIES);
        iCount = 0;
    }
}

ParameterTable::~ParameterTable()
{
    Clear();
    if (pMemory != nullptr && pEntries != nullptr)
    {
        pMemory->Free(pEntries);
    }
    pEntries = nullptr;
    pMemory = nullptr;
}

void* ParameterTable::CopyBytes(const void* pSource, uint64_t ullBytes)
{
    void* pCopy = nullptr;
    if (pMemory->Allocate(&pCopy, ullBytes) != 1)
    {
        return nullptr;
    }
    std::memcpy(pCopy, pSource, static_cast<size_t>(ullBytes));
    return pCopy;
}

void ParameterTable::FreeValue(ParameterEntry& Entry)
{
    if (Entry.pText != nullptr)
    {
        pMemory->Free(Entry.pText);
    }
    if (Entry.pAnsiText != nullptr)
    {
        pMemory->Free(Entry.pAnsiText);
    }
    if (Entry.pdfReal != nullptr)
    {
        pMemory->Free(Entry.pdfReal);
    }
    Entry.pText = nullptr;
    Entry.pAnsiText = nullptr;
    Entry.pdfReal = nullptr;
    Entry.uiType = PARAM_TYPE_NONE;
}

int32_t ParameterTable::SetText(const char16_t* pName, const char16_t* pText)
{
    if (pName == nullptr || pText == nullptr)
    {
        return -4;
    }
    if (pMemory == nullptr || pEntries == nullptr)
    {
        return -1;
    }
    ParameterEntry* pEntry = nullptr;
    for (int32_t i = 0; i < iCount; ++i)
    {
        if (SameText(pEntries[i].pName, pName))
        {
            pEntry = &pEntries[i];
            break;
        }
    }
    if (pEntry == nullptr && iCount >= MAX_ENTRIES)
    {
        return -1;
    }

    // Every copy is made before the entry changes, so a failed allocation leaves the old value.
    const std::string AnsiText = WideToAnsiText(pText);
    auto* pTextCopy =
        static_cast<char16_t*>(CopyBytes(pText, (WideStringLength(pText) + 1) * sizeof(char16_t)));
    void* pAnsiMemory = nullptr;
    pMemory->Allocate(&pAnsiMemory, AnsiText.size() + 1);
    auto* pAnsiCopy = static_cast<char*>(pAnsiMemory);
    CopyAnsiString(pAnsiCopy, AnsiText.size() + 1, AnsiText.c_str());
    char16_t* pNameCopy = nullptr;
    if (pEntry == nullptr)
    {
        pNameCopy =
            static_cast<char16_t*>(CopyBytes(pName, (WideStringLength(pName) + 1) * sizeof(char16_t)));
    }
    if (pTextCopy == nullptr || pAnsiCopy == nullptr || (pEntry == nullptr && pNameCopy == nullptr))
    {
        for (void* pCopy :
             {static_cast<void*>(pTextCopy), static_cast<void*>(pAnsiCopy), static_cast<void*>(pNameCopy)})
        {
            if (pCopy != nullptr)
            {
                pMemory->Free(pCopy);
            }
        }
        return -2;
    }

    int32_t iResult = 5;
    if (pEntry != nullptr)
    {
        FreeValue(*pEntry);
    }
    else
    {
        pEntry = &pEntries[iCount++];
        pEntry->pName = pNameCopy;
        iResult = 3;
    }
    pEntry->uiType = PARAM_TYPE_WSTRING;
    pEntry->pdfReal = nullptr;
    pEntry->pText = pTextCopy;
    pEntry->pAnsiText = pAnsiCopy;
    return iResult;
}

int32_t ParameterTable::SetNumber(const char16_t* pName, uint64_t ullValue)
{
    if (pName == nullptr)
    {
        return -4;
    }
    // 20 digits hold every 64-bit value; written from the end backwards.
    char16_t Digits[21];
    char16_t* pFirst = Digits + 20;
    *pFirst = 0;
    do
    {
        *--pFirst = static_cast<char16_t>(u'0' + ullValue % 10);
        ullValue /= 10;
    } while (ullValue != 0);
    return SetText(pName, pFirst);
}

int32_t ParameterTable::GetNumber(const char16_t* pName, uint64_t* pullValue) const
{
    if (pullValue == nullptr)
    {
        return -4;
    }
    *pullValue = 0;
    if (pEntries == nullptr)
    {
        return -1;
    }
    if (pName == nullptr)
    {
        return -4;
    }
    for (int32_t i = 0; i < iCount; ++i)
    {
        if (SameText(pEntries[i].pName, pName))
        {
            ParameterValue Value{nullptr, PARAM_TYPE_UINT64, 0};
            if (ConvertParameterValue(&Value, &pEntries[i]) < 1)
            {
                return -100;
            }
            *pullValue = Value.ullValue;
            return 1;
        }
    }
    return -10;
}

int32_t ParameterTable::Clear()
{
    if (pMemory == nullptr || pEntries == nullptr)
    {
        return -1;
    }
    for (int32_t i = 0; i < iCount; ++i)
    {
        FreeValue(pEntries[i]);
        if (pEntries[i].pName != nullptr)
        {
            pMemory->Free(pEntries[i].pName);
        }
        pEntries[i] = ParameterEntry{};
    }
    iCount = 0;
    return 1;
}

const ParameterEntry* ParameterTable::GetEntry(int32_t iIndex) const
{
    if (pEntries == nullptr || iIndex < 0 || iIndex >= iCount)
    {
        return nullptr;
    }
    return &pEntries[iIndex];
}

const char16_t* ParameterTable::ComposeKey(char16_t* pKey, const char16_t* pName)
{
    pKey[0] = 0;
    if (pName == nullptr)
    {
        return nullptr;
    }
    AppendWideString(pKey, KEY_CAPACITY, u"*");
    AppendWideString(pKey, KEY_CAPACITY, u"::");
    AppendWideString(pKey, KEY_CAPACITY, pName);
    return pKey;
}
