#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The program's own folder for what it keeps between runs, and the few file operations its keeping
// needs beyond a file stream and a file replacement: on POSIX $XDG_STATE_HOME/larkspur (by default
// ~/.local/state/larkspur), on Windows %LOCALAPPDATA%\Larkspur. Paths are UTF-16 on every platform.
class CStateFolder
{
public:
    // A file of a folder: its name and when it was last written (nanoseconds since 1970).
    struct Entry
    {
        std::u16string Name;
        int64_t llModified = 0;
    };

    // The folder, made with its parents when missing. 1 with Folder (no separator at its end); -1
    // when no base folder is known or the folder cannot be made (Folder empty).
    static int32_t Locate(std::u16string& Folder);
    // Makes Folder and any missing parents. 1 it exists now; -4 empty; -1 it cannot be made.
    static int32_t Make(const std::u16string& Folder);
    // The regular files in Folder whose names end with pSuffix. 1 listed; -1 the folder cannot be
    // read (Entries empty).
    static int32_t List(const std::u16string& Folder, const char16_t* pSuffix, std::vector<Entry>& Entries);
    // Removes a file. 1 removed; 0 it was not there; -1 refused.
    static int32_t Remove(const std::u16string& Path);
    // A file's size in bytes and its modification time (nanoseconds since 1970). 1; 0 no such file;
    // -1 not a regular file or not readable now (both 0).
    static int32_t ReadFileTimes(const char16_t* pPath, uint64_t& ullSize, int64_t& llModified);
    // Folder and Name joined with the platform's separator.
    static std::u16string Join(const std::u16string& Folder, const std::u16string& Name);

private:
    // The folder Locate wants, not made yet; false when the platform names no base folder.
    static bool WantedFolder(std::u16string& Folder);
    // Make for a folder that is not empty: 1 or -1.
    static int32_t MakeFolders(const std::u16string& Folder);
};
