#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>
#include <string>

// A file that appears whole or not at all. Begin makes an empty temporary file beside the target
// (in its folder, so the final rename stays on one file system); the caller writes and closes it
// through GetWritePath; Commit then renames it over the target in one step. Abandon, the
// destructor, a failed Commit, and a signal that ends the process remove the temporary file, so a
// target that existed stays exactly as it was:
// - POSIX: SIGINT, SIGTERM and SIGHUP, while they have their default action (a program that
//   handles them itself stops in its own way and abandons or commits). A write beyond the
//   file-size limit fails as a write instead of ending the process (SIGXFSZ is ignored).
// - Windows: the console's Ctrl-C, Ctrl-Break and close events mark the process as interrupted
//   (IsInterruptPending) and wait, a few seconds at most, for the pending files to be abandoned
//   before the event ends the process; a writer polls the mark between blocks.
// A target that exists but is not a regular file (a device, a pipe) cannot be replaced and is
// written in place. One object per file, used by one thread; several may be pending at once.
class CFileReplacement : private CNonCopyable
{
public:
    // Abandon.
    ~CFileReplacement();

    // Abandons what was begun before, then prepares pTarget (UTF-16). 1 ready; -4 null or empty
    // path, or the target is a folder; -1 the target exists but may not be written, or no file can
    // be made in its folder (missing, not writable, full; GetSystemError tells); -2 too many
    // files pending at once.
    int32_t Begin(const char16_t* pTarget);
    // The path to write (UTF-16): the temporary file, or the target itself when written in place.
    const std::u16string& GetWritePath() const { return WritePath; }
    bool IsInPlace() const { return bInPlace; }
    // Call after the written file was closed. 1 the target now holds it; 0 nothing was begun; -1 the
    // rename failed: the temporary file is removed and the target is unchanged.
    int32_t Commit();
    // Removes the temporary file (a target written in place stays). Safe to repeat.
    void Abandon();
    // The platform's code (errno, or GetLastError on Windows) of the last failure; 0 for none.
    int32_t GetSystemError() const { return iSystemError; }

    // Windows: an interrupt waits for the pending files; writers stop at their next block. Always
    // false on POSIX, where the signal ends the process at once after removing them.
    static bool IsInterruptPending();

private:
    // Abandons what was begun and forgets it; false for a null or empty target.
    bool StartOver(const char16_t* pTarget);
    // Platform hooks. 0 when From took To's place, else the platform's error code.
    static int32_t MoveOver(const std::u16string& From, const std::u16string& To);
    static void RemoveFile(const std::u16string& Path);
    // Frees a slot of the list of pending files that the interrupt handling reads.
    static void ReleaseSlot(int32_t iSlot);
    static uint64_t ProcessNumber();
    // Six letters and digits that differ between attempts, processes and runs.
    static std::u16string RandomSuffix(uint64_t ullAttempt);

    std::u16string Target;
    std::u16string WritePath;
    int32_t iSlot = -1;
    bool bInPlace = false;
    int32_t iSystemError = 0;
};
