#include "runtime/CStateFolder.h"

#include "runtime/CNonCopyable.h"

#include <windows.h>

namespace
{
// FILETIME counts 100 ns from 1601; the Unix epoch is this many of them later.
constexpr int64_t EPOCH_OFFSET = 116444736000000000LL;

const wchar_t* AsWide(const std::u16string& Text)
{
    return reinterpret_cast<const wchar_t*>(Text.c_str());
}

int64_t Nanoseconds(const FILETIME& Time)
{
    const int64_t llTicks =
        static_cast<int64_t>((static_cast<uint64_t>(Time.dwHighDateTime) << 32) | Time.dwLowDateTime);
    return (llTicks - EPOCH_OFFSET) * 100;
}

// A search of a folder, closed on every way out.
class FindHandle : private CNonCopyable
{
public:
    explicit FindHandle(HANDLE hHandle) : hFind(hHandle) {}
    ~FindHandle()
    {
        if (hFind != INVALID_HANDLE_VALUE)
        {
            FindClose(hFind);
        }
    }
    HANDLE Get() const { return hFind; }

private:
    HANDLE hFind;
};
} // namespace

bool CStateFolder::WantedFolder(std::u16string& Folder)
{
    wchar_t Base[MAX_PATH + 1] = {};
    const DWORD uiLength = GetEnvironmentVariableW(L"LOCALAPPDATA", Base, MAX_PATH + 1);
    if (uiLength == 0 || uiLength > MAX_PATH)
    {
        return false;
    }
    Folder = std::u16string(reinterpret_cast<const char16_t*>(Base)) + u"\\Larkspur";
    return true;
}

int32_t CStateFolder::MakeFolders(const std::u16string& Folder)
{
    // Each part from the first separator after the drive or share on.
    for (size_t ullAt = Folder.find_first_of(u"\\/", 3);; ullAt = Folder.find_first_of(u"\\/", ullAt + 1))
    {
        const std::u16string Part = Folder.substr(0, ullAt);
        if (CreateDirectoryW(AsWide(Part), nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS &&
            GetLastError() != ERROR_ACCESS_DENIED)
        {
            return -1;
        }
        if (ullAt == std::u16string::npos)
        {
            break;
        }
    }
    const DWORD uiAttributes = GetFileAttributesW(AsWide(Folder));
    return uiAttributes != INVALID_FILE_ATTRIBUTES && (uiAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : -1;
}

int32_t CStateFolder::List(const std::u16string& Folder, const char16_t* pSuffix, std::vector<Entry>& Entries)
{
    Entries.clear();
    const std::u16string Pattern = Join(Folder, u"*");
    WIN32_FIND_DATAW Found = {};
    const FindHandle Find(FindFirstFileW(AsWide(Pattern), &Found));
    if (Find.Get() == INVALID_HANDLE_VALUE)
    {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : -1;
    }
    const std::u16string Suffix = pSuffix != nullptr ? pSuffix : u"";
    do
    {
        const std::u16string Name = reinterpret_cast<const char16_t*>(Found.cFileName);
        if ((Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || Name.size() <= Suffix.size() ||
            Name.compare(Name.size() - Suffix.size(), Suffix.size(), Suffix) != 0)
        {
            continue;
        }
        Entries.push_back({Name, Nanoseconds(Found.ftLastWriteTime)});
    } while (FindNextFileW(Find.Get(), &Found) != 0);
    return 1;
}

int32_t CStateFolder::Remove(const std::u16string& Path)
{
    if (DeleteFileW(AsWide(Path)) != 0)
    {
        return 1;
    }
    return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : -1;
}

int32_t CStateFolder::ReadFileTimes(const char16_t* pPath, uint64_t& ullSize, int64_t& llModified)
{
    ullSize = 0;
    llModified = 0;
    WIN32_FILE_ATTRIBUTE_DATA Data = {};
    if (pPath == nullptr)
    {
        return -1;
    }
    if (GetFileAttributesExW(reinterpret_cast<const wchar_t*>(pPath), GetFileExInfoStandard, &Data) == 0)
    {
        const DWORD uiError = GetLastError();
        return uiError == ERROR_FILE_NOT_FOUND || uiError == ERROR_PATH_NOT_FOUND ? 0 : -1;
    }
    if ((Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        return -1;
    }
    ullSize = (static_cast<uint64_t>(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
    llModified = Nanoseconds(Data.ftLastWriteTime);
    return 1;
}

std::u16string CStateFolder::Join(const std::u16string& Folder, const std::u16string& Name)
{
    return Folder.empty() ? Name : Folder + u"\\" + Name;
}
