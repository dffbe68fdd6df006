#include "app/cli/ExecutableLocation.h"

#include <unistd.h>

#include <climits>

namespace
{
// The running program's folder with a trailing slash; empty when unknown.
std::string ExecutableFolder()
{
    char Path[PATH_MAX];
    const ssize_t iLength = readlink("/proc/self/exe", Path, sizeof(Path) - 1);
    if (iLength <= 0)
    {
        return {};
    }
    const std::string Full(Path, static_cast<size_t>(iLength));
    const size_t uSlash = Full.rfind('/');
    return uSlash == std::string::npos ? std::string() : Full.substr(0, uSlash + 1);
}

bool Exists(const std::string& Path)
{
    return access(Path.c_str(), F_OK) == 0;
}
} // namespace

std::string PathBesideExecutable(const char* pName)
{
    const std::string Folder = ExecutableFolder();
    return Folder.empty() ? std::string(pName) : Folder + pName;
}

std::string PathOfProgramData(const char* pName)
{
    const std::string Folder = ExecutableFolder();
    if (Folder.empty())
    {
        return pName;
    }
    const std::string Beside = Folder + pName;
    if (Exists(Beside))
    {
        return Beside;
    }
    // <prefix>/bin/ -> <prefix>/share/larkspur/
    const size_t uParent = Folder.rfind('/', Folder.size() - 2);
    if (uParent != std::string::npos && uParent + 1 < Folder.size() - 1)
    {
        const std::string Installed = Folder.substr(0, uParent + 1) + "share/larkspur/" + pName;
        if (Exists(Installed))
        {
            return Installed;
        }
    }
    return Beside;
}
