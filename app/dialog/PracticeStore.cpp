#include "app/dialog/PracticeStore.h"

#include "runtime/CFileReplacement.h"
#include "runtime/CFileStream.h"
#include "runtime/CStateFolder.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace
{
// An entry is a few hundred bytes; anything much larger is not one of ours.
constexpr uint64_t LARGEST_ENTRY = 16384;
// Windows refuses to rename over a file another program is reading at that moment, and to open
// one while it is being renamed over; such a moment passes quickly.
constexpr int COMMIT_ATTEMPTS = 50;
constexpr auto COMMIT_RETRY = std::chrono::milliseconds(2);

constexpr uint64_t FNV_OFFSET = 14695981039346656037ULL;
constexpr uint64_t FNV_PRIME = 1099511628211ULL;

uint64_t Mix(uint64_t ullHash, const uint8_t* pBytes, uint64_t ullCount)
{
    for (uint64_t i = 0; i < ullCount; ++i)
    {
        ullHash = (ullHash ^ pBytes[i]) * FNV_PRIME;
    }
    return ullHash;
}

uint64_t MixNumber(uint64_t ullHash, uint64_t ullValue)
{
    uint8_t Bytes[8];
    for (int i = 0; i < 8; ++i)
    {
        Bytes[i] = static_cast<uint8_t>(ullValue >> (8 * i));
    }
    return Mix(ullHash, Bytes, sizeof(Bytes));
}
} // namespace

int32_t PracticeStore::Identify(const char16_t* pPath, PracticeRecord& Record)
{
    if (CStateFolder::ReadFileTimes(pPath, Record.ullFileSize, Record.llFileModified) <= 0)
    {
        return -1;
    }
    CFileStream File;
    if (File.Open(pPath, 1) < 0)
    {
        return -1;
    }
    std::vector<uint8_t> Start(HASHED_BYTES);
    uint64_t ullRead = 0;
    while (ullRead < HASHED_BYTES)
    {
        uint64_t ullCount = HASHED_BYTES - ullRead;
        if (File.Read(Start.data() + ullRead, ullCount) < 0)
        {
            return -1;
        }
        if (ullCount == 0)
        {
            break;
        }
        ullRead += ullCount;
    }
    Record.ullFileHash = Mix(FNV_OFFSET, Start.data(), ullRead);
    return 1;
}

bool PracticeStore::FindFolder()
{
    return !Folder.empty() || CStateFolder::Locate(Folder) > 0;
}

std::u16string PracticeStore::EntryPath(const PracticeRecord& Record)
{
    if (!FindFolder())
    {
        return std::u16string();
    }
    uint64_t ullName = MixNumber(FNV_OFFSET, Record.ullFileSize);
    ullName = MixNumber(ullName, static_cast<uint64_t>(Record.llFileModified));
    ullName = MixNumber(ullName, Record.ullFileHash);
    char16_t Name[17];
    for (int i = 0; i < 16; ++i)
    {
        Name[i] = u"0123456789abcdef"[(ullName >> (60 - 4 * i)) & 0xF];
    }
    Name[16] = 0;
    return CStateFolder::Join(Folder, std::u16string(Name) + ENTRY_SUFFIX);
}

int32_t PracticeStore::Load(PracticeRecord& Record)
{
    const std::u16string Path = EntryPath(Record);
    if (Path.empty())
    {
        return -2;
    }
    // An entry being renamed over by another program may refuse to open for a moment (Windows).
    std::string Text;
    int32_t iRead = -1;
    for (int iAttempt = 0; iRead < 0 && iAttempt < COMMIT_ATTEMPTS; ++iAttempt)
    {
        if (iAttempt > 0)
        {
            std::this_thread::sleep_for(COMMIT_RETRY);
        }
        iRead = ReadEntry(Path, Text);
    }
    if (iRead <= 0)
    {
        return iRead;
    }
    PracticeRecord Read;
    if (Read.Parse(Text) < 0)
    {
        return -1;
    }
    // An entry of another file whose identity gives the same name counts as none.
    if (!Read.IsSameFile(Record))
    {
        return 0;
    }
    Record = std::move(Read);
    return 1;
}

int32_t PracticeStore::ReadEntry(const std::u16string& Path, std::string& Text)
{
    uint64_t ullSize = 0;
    int64_t llModified = 0;
    const int32_t iFound = CStateFolder::ReadFileTimes(Path.c_str(), ullSize, llModified);
    if (iFound <= 0)
    {
        return iFound;
    }
    CFileStream File;
    if (File.Open(Path.c_str(), 1) < 0)
    {
        return -1;
    }
    // An entry is a few hundred bytes; one larger than LARGEST_ENTRY is read only so far and then
    // refused as damaged.
    Text.assign(LARGEST_ENTRY + 1, '\0');
    uint64_t ullRead = 0;
    for (;;)
    {
        uint64_t ullCount = Text.size() - ullRead;
        if (File.Read(Text.data() + ullRead, ullCount) < 0)
        {
            return -1;
        }
        ullRead += ullCount;
        if (ullCount == 0 || ullRead == Text.size())
        {
            break;
        }
    }
    Text.resize(ullRead);
    return 1;
}

int32_t PracticeStore::Save(const PracticeRecord& Record)
{
    const std::u16string Path = EntryPath(Record);
    if (Path.empty())
    {
        return -2;
    }
    // A folder given by the caller is made as the user's own is.
    if (CStateFolder::Make(Folder) < 0)
    {
        return -2;
    }
    const std::string Text = Record.Format();
    // One write: -4 when the file cannot be written at all, else the rename's result.
    const auto WriteOnce = [&Path, &Text]() -> int32_t
    {
        CFileReplacement Replacement;
        if (Replacement.Begin(Path.c_str()) < 0)
        {
            return -4;
        }
        {
            CFileStream File;
            uint64_t ullCount = Text.size();
            if (File.Open(Replacement.GetWritePath().c_str(), 0) < 0 ||
                File.Write(Text.data(), ullCount) < 0 || ullCount != Text.size() || File.CloseFile() < 0)
            {
                return -4;
            }
        }
        return Replacement.Commit();
    };
    int32_t iWritten = WriteOnce();
    for (int iAttempt = 1; iWritten == -1 && iAttempt < COMMIT_ATTEMPTS; ++iAttempt)
    {
        std::this_thread::sleep_for(COMMIT_RETRY);
        iWritten = WriteOnce();
    }
    if (iWritten < 0)
    {
        return -1;
    }
    DropOldest();
    return 1;
}

void PracticeStore::DropOldest()
{
    std::vector<CStateFolder::Entry> Entries;
    if (CStateFolder::List(Folder, ENTRY_SUFFIX, Entries) < 0 || Entries.size() <= MAX_ENTRIES)
    {
        return;
    }
    const auto Oldest = Entries.begin() + static_cast<std::ptrdiff_t>(Entries.size() - MAX_ENTRIES);
    std::nth_element(Entries.begin(), Oldest, Entries.end(),
                     [](const CStateFolder::Entry& A, const CStateFolder::Entry& B)
                     { return A.llModified < B.llModified; });
    for (auto It = Entries.begin(); It != Oldest; ++It)
    {
        CStateFolder::Remove(CStateFolder::Join(Folder, It->Name));
    }
}
