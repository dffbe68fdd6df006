#include "wave/win32/LoadedLibrary.h"

#include <windows.h>

LoadedLibrary::~LoadedLibrary()
{
    Free();
}

int32_t LoadedLibrary::Load(const wchar_t* pName)
{
    Free();
    if (pName == nullptr)
    {
        return -1;
    }
    pModule = LoadLibraryExW(pName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return pModule != nullptr ? 1 : -1;
}

void LoadedLibrary::Free()
{
    if (pModule != nullptr)
    {
        FreeLibrary(static_cast<HMODULE>(pModule));
        pModule = nullptr;
    }
}

void* LoadedLibrary::Find(const char* pName) const
{
    if (pModule == nullptr || pName == nullptr)
    {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(pModule), pName));
}
