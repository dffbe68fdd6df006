#include "app/cli/ExecutableLocation.h"

#include <unistd.h>

#include <climits>

std::string PathBesideExecutable(const char* pName)
{
    char Path[PATH_MAX];
    const ssize_t iLength = readlink("/proc/self/exe", Path, sizeof(Path) - 1);
    if (iLength <= 0)
    {
        return pName;
    }
    const std::string Full(Path, static_cast<size_t>(iLength));
    const size_t uSlash = Full.rfind('/');
    return uSlash == std::string::npos ? std::string(pName) : Full.substr(0, uSlash + 1) + pName;
}
