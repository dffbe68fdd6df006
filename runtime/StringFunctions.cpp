#include "runtime/StringFunctions.h"

namespace
{
template <typename Unit> int32_t AppendBounded(Unit* pBuffer, uint64_t ullCapacity, const Unit* pSource)
{
    pBuffer[ullCapacity - 1] = 0;
    uint64_t ullLength = 0;
    while (pBuffer[ullLength] != 0)
    {
        ++ullLength;
    }
    if (ullLength == ullCapacity - 1)
    {
        return 0;
    }
    const uint64_t ullRoom = ullCapacity - 1 - ullLength;
    for (uint64_t i = 0; i < ullRoom; ++i)
    {
        pBuffer[ullLength + i] = pSource[i];
        if (pSource[i] == 0)
        {
            return 1;
        }
    }
    // A source that exactly fills the room is complete: its terminator is the 0 already in the last unit.
    return pSource[ullRoom] == 0 ? 1 : 0;
}
} // namespace

int32_t AppendWideString(char16_t* pBuffer, uint64_t ullCapacity, const char16_t* pSource)
{
    if (pBuffer == nullptr || pSource == nullptr || ullCapacity == 0)
    {
        return -1;
    }
    return AppendBounded(pBuffer, ullCapacity, pSource);
}

int32_t CopyAnsiString(char* pBuffer, uint64_t ullCapacity, const char* pSource)
{
    if (pBuffer == nullptr || pSource == nullptr)
    {
        return -1;
    }
    if (ullCapacity == 0)
    {
        return 0;
    }
    pBuffer[0] = 0;
    return AppendBounded(pBuffer, ullCapacity, pSource);
}

uint64_t WideStringLength(const char16_t* pText)
{
    uint64_t ullLength = 0;
    while (pText[ullLength] != 0)
    {
        ++ullLength;
    }
    return ullLength;
}
