#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>

// One library loaded at run time and freed when the object goes. The program names no such library
// among its imports, so it still starts where the library is missing.
class LoadedLibrary : private CNonCopyable
{
public:
    ~LoadedLibrary();

    // Loads the library of that name from the system folder only (never a file planted beside the
    // program). 1, or -1 when it cannot be loaded; what was loaded before is freed first.
    int32_t Load(const wchar_t* pName);
    void Free();
    // The address of the exported function, or null when it is not there (or nothing is loaded).
    void* Find(const char* pName) const;
    int32_t IsLoaded() const { return pModule != nullptr ? 1 : 0; }

private:
    void* pModule = nullptr;
};
