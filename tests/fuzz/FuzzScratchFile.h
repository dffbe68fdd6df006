#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The file each fuzz input is written to before a reader opens it: one per process, in memory when
// the machine has /dev/shm, removed at exit.
const std::u16string& FuzzScratchPath();
// Writes the bytes as the whole scratch file; false when it cannot be written.
bool WriteFuzzScratch(const uint8_t* pData, size_t uSize);
