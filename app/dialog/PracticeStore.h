#pragma once
#include "app/dialog/PracticeRecord.h"

#include <cstdint>
#include <string>

// Every file's practice kept between runs: one small text file per entry in the user's state
// folder, named after the file's identity, written beside its place and renamed over it, so a
// reader finds the last complete write and never half of one. At most MAX_ENTRIES entries; a save
// drops the least recently saved beyond them. Any thread, one object per thread.
class PracticeStore
{
public:
    static constexpr uint32_t MAX_ENTRIES = 1000;
    // The bytes of the file's start that its identity hashes.
    static constexpr uint64_t HASHED_BYTES = 65536;
    // The entries' names end with this; nothing else in the folder is touched.
    static constexpr const char16_t* ENTRY_SUFFIX = u".practice";

    // Where the entries live; empty (the default) for the user's state folder, found at first use.
    void SetFolder(std::u16string Folder) { this->Folder = std::move(Folder); }

    // The identity of the file at pPath in Record's file fields. 1; -1 the file cannot be read.
    static int32_t Identify(const char16_t* pPath, PracticeRecord& Record);
    // Record's file fields name the entry; the rest is filled from it. 1 found; 0 none; -1 the entry
    // is damaged or unreadable (Record unchanged); -2 there is no state folder.
    int32_t Load(PracticeRecord& Record);
    // Writes Record as its file's entry, then drops the oldest entries beyond MAX_ENTRIES. 1
    // written; -2 no state folder; -1 the entry could not be written (any entry there stays whole).
    int32_t Save(const PracticeRecord& Record);
    // The entry's path for a record (empty without a state folder).
    std::u16string EntryPath(const PracticeRecord& Record);

private:
    // The folder, located once when none was set. false when there is none.
    bool FindFolder();
    // The entry's text: 1 read; 0 there is none; -1 it could not be read now.
    static int32_t ReadEntry(const std::u16string& Path, std::string& Text);
    void DropOldest();

    std::u16string Folder;
};
