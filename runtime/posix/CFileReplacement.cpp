#include "runtime/CFileReplacement.h"

#include "runtime/TextConversion.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace
{
constexpr int32_t MAX_PENDING = 8;
constexpr size_t PATH_BYTES = PATH_MAX;
constexpr int CLEANUP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
// A name longer than this gets a short temporary name, so the suffix cannot make it too long.
constexpr size_t LONGEST_KEPT_NAME = 200;
constexpr int NAME_ATTEMPTS = 100;

// What the signal handler reads: the temporary paths, each valid while its flag is set.
char PendingPaths[MAX_PENDING][PATH_BYTES];
std::atomic<int> PendingUsed[MAX_PENDING];
std::mutex SlotLock;

extern "C" void OnEndingSignal(int iSignal)
{
    const int iSavedError = errno;
    for (int32_t i = 0; i < MAX_PENDING; ++i)
    {
        if (PendingUsed[i].load() != 0)
        {
            unlink(PendingPaths[i]);
        }
    }
    // Then the signal's own action: it is blocked until this handler returns, and then ends the
    // process as it would have without us.
    signal(iSignal, SIG_DFL);
    raise(iSignal);
    errno = iSavedError;
}

// Takes over the signals that would end the process, leaving alone those the program handles or
// ignores; an oversized write becomes a failed write.
void InstallHandlers()
{
    for (const int iSignal : CLEANUP_SIGNALS)
    {
        struct sigaction Current = {};
        if (sigaction(iSignal, nullptr, &Current) == 0 && (Current.sa_flags & SA_SIGINFO) == 0 &&
            Current.sa_handler == SIG_DFL)
        {
            struct sigaction Action = {};
            Action.sa_handler = OnEndingSignal;
            sigemptyset(&Action.sa_mask);
            sigaction(iSignal, &Action, nullptr);
        }
    }
    struct sigaction FileSize = {};
    if (sigaction(SIGXFSZ, nullptr, &FileSize) == 0 && (FileSize.sa_flags & SA_SIGINFO) == 0 &&
        FileSize.sa_handler == SIG_DFL)
    {
        signal(SIGXFSZ, SIG_IGN);
    }
}

// The slot now holding Path; -1 the path is too long, -2 every slot is taken.
int32_t ClaimSlot(const std::string& Path)
{
    if (Path.size() >= PATH_BYTES)
    {
        return -1;
    }
    const std::lock_guard<std::mutex> Guard(SlotLock);
    for (int32_t i = 0; i < MAX_PENDING; ++i)
    {
        if (PendingUsed[i].load() == 0)
        {
            std::memcpy(PendingPaths[i], Path.c_str(), Path.size() + 1);
            PendingUsed[i].store(1);
            return i;
        }
    }
    return -2;
}

} // namespace

int32_t CFileReplacement::Begin(const char16_t* pTarget)
{
    if (!StartOver(pTarget))
    {
        iSystemError = EINVAL;
        return -4;
    }
    std::string Path = WideToUtf8(pTarget);
    // A link is followed: the file it names is replaced and the link stays.
    char Resolved[PATH_MAX];
    struct stat Link = {};
    if (lstat(Path.c_str(), &Link) == 0 && S_ISLNK(Link.st_mode) &&
        realpath(Path.c_str(), Resolved) != nullptr)
    {
        Path = Resolved;
    }
    struct stat Existing = {};
    const bool bExists = stat(Path.c_str(), &Existing) == 0;
    if (bExists && S_ISDIR(Existing.st_mode))
    {
        iSystemError = EISDIR;
        return -4;
    }
    if (bExists && !S_ISREG(Existing.st_mode))
    {
        Target = Utf8ToWide(Path);
        WritePath = Target;
        bInPlace = true;
        return 1;
    }
    // A file the user protected from writing stays protected.
    if (bExists && access(Path.c_str(), W_OK) != 0)
    {
        iSystemError = errno;
        return -1;
    }

    const size_t ullSlash = Path.rfind('/');
    const std::string Folder = ullSlash == std::string::npos ? std::string() : Path.substr(0, ullSlash + 1);
    const std::string Name = ullSlash == std::string::npos ? Path : Path.substr(ullSlash + 1);
    const std::string Stem = Name.size() > LONGEST_KEPT_NAME ? std::string() : Name;
    InstallHandlers();
    for (int iAttempt = 0; iAttempt < NAME_ATTEMPTS; ++iAttempt)
    {
        const std::string Temporary =
            Folder + Stem + ".larkspur-" + WideToUtf8(RandomSuffix(iAttempt)) + ".tmp";
        // Claimed before the file exists, so a signal in between finds it.
        const int32_t iClaimed = ClaimSlot(Temporary);
        if (iClaimed < 0)
        {
            iSystemError = iClaimed == -1 ? ENAMETOOLONG : EBUSY;
            return iClaimed;
        }
        const int iFile = open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (iFile < 0)
        {
            iSystemError = errno;
            ReleaseSlot(iClaimed);
            if (iSystemError == EEXIST)
            {
                continue;
            }
            return -1;
        }
        if (bExists)
        {
            // The new file gets the permissions of the one it replaces.
            fchmod(iFile, Existing.st_mode & 07777);
        }
        close(iFile);
        iSlot = iClaimed;
        Target = Utf8ToWide(Path);
        WritePath = Utf8ToWide(Temporary);
        return 1;
    }
    return -1;
}

int32_t CFileReplacement::MoveOver(const std::u16string& From, const std::u16string& To)
{
    return rename(WideToUtf8(From).c_str(), WideToUtf8(To).c_str()) == 0 ? 0 : errno;
}

void CFileReplacement::RemoveFile(const std::u16string& Path)
{
    unlink(WideToUtf8(Path).c_str());
}

void CFileReplacement::ReleaseSlot(int32_t iSlot)
{
    if (iSlot >= 0)
    {
        PendingUsed[iSlot].store(0);
    }
}

uint64_t CFileReplacement::ProcessNumber()
{
    return static_cast<uint64_t>(getpid());
}

bool CFileReplacement::IsInterruptPending()
{
    return false;
}
