#include "runtime/CStateFolder.h"

// Locating and making, the same on every platform; where the folder lies and the file system calls
// live in the platform folders.

int32_t CStateFolder::Locate(std::u16string& Folder)
{
    Folder.clear();
    std::u16string Wanted;
    if (!WantedFolder(Wanted) || Make(Wanted) < 0)
    {
        return -1;
    }
    Folder = Wanted;
    return 1;
}

int32_t CStateFolder::Make(const std::u16string& Folder)
{
    return Folder.empty() ? -4 : MakeFolders(Folder);
}
