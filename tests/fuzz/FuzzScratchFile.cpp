#include "tests/fuzz/FuzzScratchFile.h"

#include "runtime/TextConversion.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// In memory when the machine has /dev/shm: rewriting a file on disk thousands of times a second is
// what would otherwise limit the speed.
const std::u16string& FuzzScratchPath()
{
    static const std::u16string Path = []
    {
        const char* pFolder = std::getenv("TMPDIR");
        std::string Folder = (pFolder != nullptr && *pFolder != 0) ? pFolder : "/tmp";
        if (::access("/dev/shm", W_OK) == 0)
        {
            Folder = "/dev/shm";
        }
        return Utf8ToWide(Folder + "/larkspur-fuzz-" + std::to_string(::getpid()) + ".wav");
    }();
    static const bool bCleanUpRegistered = []
    {
        std::atexit([] { ::unlink(WideToUtf8(FuzzScratchPath()).c_str()); });
        return true;
    }();
    (void)bCleanUpRegistered;
    return Path;
}

bool WriteFuzzScratch(const uint8_t* pData, size_t uSize)
{
    const std::string Path = WideToUtf8(FuzzScratchPath());
    // A new file each time: truncating a file on ext4 makes its close wait for the disk.
    ::unlink(Path.c_str());
    FILE* pFile = std::fopen(Path.c_str(), "wb");
    if (pFile == nullptr)
    {
        return false;
    }
    const bool bWritten = uSize == 0 || std::fwrite(pData, 1, uSize, pFile) == uSize;
    return std::fclose(pFile) == 0 && bWritten;
}
