#include "runtime/CStateFolder.h"

#include "runtime/TextConversion.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace
{
constexpr int64_t NANOSECONDS = 1000000000;

int64_t Nanoseconds(const struct timespec& Time)
{
    return static_cast<int64_t>(Time.tv_sec) * NANOSECONDS + static_cast<int64_t>(Time.tv_nsec);
}

struct DirectoryCloser
{
    void operator()(DIR* pDirectory) const { closedir(pDirectory); }
};
} // namespace

bool CStateFolder::WantedFolder(std::u16string& Folder)
{
    std::string Base;
    const char* pState = std::getenv("XDG_STATE_HOME");
    const char* pHome = std::getenv("HOME");
    // A relative XDG_STATE_HOME is to be ignored, as XDG paths are absolute.
    if (pState != nullptr && pState[0] == '/')
    {
        Base = pState;
    }
    else if (pHome != nullptr && pHome[0] == '/')
    {
        Base = std::string(pHome) + "/.local/state";
    }
    else
    {
        return false;
    }
    Folder = Utf8ToWide(Base + "/larkspur");
    return true;
}

int32_t CStateFolder::MakeFolders(const std::u16string& Folder)
{
    const std::string Path = WideToUtf8(Folder);
    for (size_t ullSlash = Path.find('/', 1);; ullSlash = Path.find('/', ullSlash + 1))
    {
        const std::string Part = Path.substr(0, ullSlash);
        // Private: what a user practises is nobody else's business.
        if (mkdir(Part.c_str(), 0700) != 0 && errno != EEXIST)
        {
            return -1;
        }
        if (ullSlash == std::string::npos)
        {
            break;
        }
    }
    struct stat Status = {};
    return stat(Path.c_str(), &Status) == 0 && S_ISDIR(Status.st_mode) ? 1 : -1;
}

int32_t CStateFolder::List(const std::u16string& Folder, const char16_t* pSuffix, std::vector<Entry>& Entries)
{
    Entries.clear();
    const std::string Path = WideToUtf8(Folder);
    const std::unique_ptr<DIR, DirectoryCloser> pDirectory(opendir(Path.c_str()));
    if (!pDirectory)
    {
        return -1;
    }
    const std::string Suffix = pSuffix != nullptr ? WideToUtf8(pSuffix) : std::string();
    while (const dirent* pItem = readdir(pDirectory.get()))
    {
        const std::string Name = pItem->d_name;
        if (Name.size() <= Suffix.size() ||
            Name.compare(Name.size() - Suffix.size(), Suffix.size(), Suffix) != 0)
        {
            continue;
        }
        struct stat Status = {};
        // A file removed meanwhile (another program pruning) is simply not listed.
        if (stat((Path + "/" + Name).c_str(), &Status) == 0 && S_ISREG(Status.st_mode))
        {
            Entries.push_back({Utf8ToWide(Name), Nanoseconds(Status.st_mtim)});
        }
    }
    return 1;
}

int32_t CStateFolder::Remove(const std::u16string& Path)
{
    if (unlink(WideToUtf8(Path).c_str()) == 0)
    {
        return 1;
    }
    return errno == ENOENT ? 0 : -1;
}

int32_t CStateFolder::ReadFileTimes(const char16_t* pPath, uint64_t& ullSize, int64_t& llModified)
{
    ullSize = 0;
    llModified = 0;
    struct stat Status = {};
    if (pPath == nullptr)
    {
        return -1;
    }
    if (stat(WideToUtf8(pPath).c_str(), &Status) != 0)
    {
        return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
    }
    if (!S_ISREG(Status.st_mode))
    {
        return -1;
    }
    ullSize = static_cast<uint64_t>(Status.st_size);
    llModified = Nanoseconds(Status.st_mtim);
    return 1;
}

std::u16string CStateFolder::Join(const std::u16string& Folder, const std::u16string& Name)
{
    return Folder.empty() ? Name : Folder + u"/" + Name;
}
