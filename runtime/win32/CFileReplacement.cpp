#include "runtime/CFileReplacement.h"

#include <atomic>
#include <mutex>
#include <windows.h>

namespace
{
constexpr int32_t MAX_PENDING = 8;
// How long an interrupt waits for the writers to stop and abandon their files.
constexpr DWORD INTERRUPT_WAIT_MS = 5000;
constexpr DWORD INTERRUPT_POLL_MS = 10;
constexpr size_t LONGEST_KEPT_NAME = 200;
constexpr int NAME_ATTEMPTS = 100;

std::mutex SlotLock;
std::u16string PendingPaths[MAX_PENDING];
bool PendingUsed[MAX_PENDING] = {};
std::atomic<int32_t> PendingCount{0};
std::atomic<bool> bInterrupted{false};
std::once_flag HandlerInstalled;

const wchar_t* AsWide(const std::u16string& Text)
{
    return reinterpret_cast<const wchar_t*>(Text.c_str());
}

BOOL WINAPI OnConsoleEvent(DWORD uiEvent)
{
    if (uiEvent != CTRL_C_EVENT && uiEvent != CTRL_BREAK_EVENT && uiEvent != CTRL_CLOSE_EVENT)
    {
        return FALSE;
    }
    bInterrupted.store(true);
    // The writers notice between two blocks, close their files and abandon them.
    for (DWORD uiWaited = 0; PendingCount.load() > 0 && uiWaited < INTERRUPT_WAIT_MS;
         uiWaited += INTERRUPT_POLL_MS)
    {
        Sleep(INTERRUPT_POLL_MS);
    }
    {
        const std::lock_guard<std::mutex> Guard(SlotLock);
        for (int32_t i = 0; i < MAX_PENDING; ++i)
        {
            if (PendingUsed[i])
            {
                DeleteFileW(AsWide(PendingPaths[i]));
            }
        }
    }
    // The event goes on to the next handler, in the end the one that ends the process.
    return FALSE;
}

int32_t ClaimSlot(const std::u16string& Path)
{
    const std::lock_guard<std::mutex> Guard(SlotLock);
    for (int32_t i = 0; i < MAX_PENDING; ++i)
    {
        if (!PendingUsed[i])
        {
            PendingPaths[i] = Path;
            PendingUsed[i] = true;
            PendingCount.fetch_add(1);
            return i;
        }
    }
    return -2;
}

// Whether an existing path is a file on a disk (not a console, a pipe or a device such as NUL).
bool IsDiskFile(const std::u16string& Path)
{
    const HANDLE hFile = CreateFileW(AsWide(Path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        return true;
    }
    const DWORD uiType = GetFileType(hFile);
    CloseHandle(hFile);
    return uiType == FILE_TYPE_DISK;
}
} // namespace

int32_t CFileReplacement::Begin(const char16_t* pTarget)
{
    if (!StartOver(pTarget))
    {
        iSystemError = ERROR_INVALID_PARAMETER;
        return -4;
    }
    const std::u16string Path(pTarget);
    const DWORD uiAttributes = GetFileAttributesW(AsWide(Path));
    const bool bExists = uiAttributes != INVALID_FILE_ATTRIBUTES;
    if (bExists && (uiAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        iSystemError = ERROR_DIRECTORY;
        return -4;
    }
    if (bExists && !IsDiskFile(Path))
    {
        Target = Path;
        WritePath = Path;
        bInPlace = true;
        return 1;
    }
    // A file the user protected from writing stays protected.
    if (bExists && (uiAttributes & FILE_ATTRIBUTE_READONLY) != 0)
    {
        iSystemError = ERROR_ACCESS_DENIED;
        return -1;
    }
    std::call_once(HandlerInstalled, [] { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); });

    const size_t ullSeparator = Path.find_last_of(u"\\/");
    const std::u16string Folder =
        ullSeparator == std::u16string::npos ? std::u16string() : Path.substr(0, ullSeparator + 1);
    const std::u16string Name = ullSeparator == std::u16string::npos ? Path : Path.substr(ullSeparator + 1);
    const std::u16string Stem = Name.size() > LONGEST_KEPT_NAME ? std::u16string() : Name;
    for (int iAttempt = 0; iAttempt < NAME_ATTEMPTS; ++iAttempt)
    {
        const std::u16string Temporary = Folder + Stem + u".larkspur-" + RandomSuffix(iAttempt) + u".tmp";
        const int32_t iClaimed = ClaimSlot(Temporary);
        if (iClaimed < 0)
        {
            iSystemError = ERROR_TOO_MANY_OPEN_FILES;
            return iClaimed;
        }
        const HANDLE hFile = CreateFileW(AsWide(Temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
        {
            iSystemError = static_cast<int32_t>(GetLastError());
            ReleaseSlot(iClaimed);
            if (iSystemError == ERROR_FILE_EXISTS || iSystemError == ERROR_ALREADY_EXISTS)
            {
                continue;
            }
            return -1;
        }
        CloseHandle(hFile);
        iSlot = iClaimed;
        Target = Path;
        WritePath = Temporary;
        return 1;
    }
    return -1;
}

int32_t CFileReplacement::MoveOver(const std::u16string& From, const std::u16string& To)
{
    return MoveFileExW(AsWide(From), AsWide(To), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0
               ? 0
               : static_cast<int32_t>(GetLastError());
}

void CFileReplacement::RemoveFile(const std::u16string& Path)
{
    DeleteFileW(AsWide(Path));
}

void CFileReplacement::ReleaseSlot(int32_t iSlot)
{
    if (iSlot < 0)
    {
        return;
    }
    const std::lock_guard<std::mutex> Guard(SlotLock);
    PendingUsed[iSlot] = false;
    PendingPaths[iSlot].clear();
    PendingCount.fetch_sub(1);
}

uint64_t CFileReplacement::ProcessNumber()
{
    return GetCurrentProcessId();
}

bool CFileReplacement::IsInterruptPending()
{
    return bInterrupted.load();
}
