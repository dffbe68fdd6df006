#pragma once
#include "runtime/CMemoryANSI.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <memory>

// Type tags of table entries and of conversion requests.
constexpr uint32_t PARAM_TYPE_NONE = 0;
constexpr uint32_t PARAM_TYPE_UINT32 = 1;
constexpr uint32_t PARAM_TYPE_INT64 = 2;
constexpr uint32_t PARAM_TYPE_WSTRING = 3;
constexpr uint32_t PARAM_TYPE_ASTRING = 4;
constexpr uint32_t PARAM_TYPE_DOUBLE = 5;
constexpr uint32_t PARAM_TYPE_UINT64 = 6;

// One named value. Every string is owned by the table and allocated through its allocator.
struct ParameterEntry
{
    char16_t* pName;
    uint32_t uiType;
    char16_t* pText;
    char* pAnsiText;
    double* pdfReal;
};

// What a conversion fills: uiType is the requested type on entry. For the text types ullValue holds
// the address of the entry's own text, which stays owned by the table.
struct ParameterValue
{
    const char16_t* pName;
    uint32_t uiType;
    uint64_t ullValue;
};

// Converts a table entry to the requested type. 1 on success; -4 missing argument; -1 a request or a
// value that cannot be served; -99 an entry whose type tag is unknown.
int32_t ConvertParameterValue(ParameterValue* pDestination, const ParameterEntry* pSource);

// A fixed-capacity list of named values stored as decimal text. No lock: filled by one thread before
// any other thread reads it.
class ParameterTable : private CNonCopyable
{
public:
    static constexpr int32_t MAX_ENTRIES = 512;
    // Keys are composed in buffers of this many 16-bit units (terminator included).
    static constexpr uint64_t KEY_CAPACITY = 1024;

    ParameterTable();
    ~ParameterTable();

    // 3 added, 5 replaced, -4 name or text missing, -1 no entry array or the table is full,
    // -2 no memory for the copies (the table is left as it was).
    int32_t SetText(const char16_t* pName, const char16_t* pText);
    // Stores the decimal text of the value; results as SetText.
    int32_t SetNumber(const char16_t* pName, uint64_t ullValue);
    // 1 found (*pullValue written), -1 no entry array, -4 missing argument, -10 no such name,
    // -100 the value cannot be converted. *pullValue is 0 on every failure.
    int32_t GetNumber(const char16_t* pName, uint64_t* pullValue) const;
    // 1, or -1 without an allocator or an entry array. Empties every entry.
    int32_t Clear();

    // Entries in use, in the order they were added (-1 when the entry array could not be made).
    int32_t GetCount() const { return iCount; }
    // Entry iIndex of 0 ... GetCount() - 1, or null.
    const ParameterEntry* GetEntry(int32_t iIndex) const;

    // Writes the key "*::" + pName into pKey (KEY_CAPACITY units); a longer name is cut. Returns pKey,
    // or null when pName is null so the store or lookup reports the missing name.
    static const char16_t* ComposeKey(char16_t* pKey, const char16_t* pName);

private:
    // Frees the strings of one entry (not its name) and marks it empty.
    void FreeValue(ParameterEntry& Entry);
    // A copy of ullBytes bytes made through the allocator, or null.
    void* CopyBytes(const void* pSource, uint64_t ullBytes);

    SMemory* pMemory = nullptr;
    std::unique_ptr<CMemoryANSI> pOwnedMemory;
    int32_t iCount = -1;
    ParameterEntry* pEntries = nullptr;
};
