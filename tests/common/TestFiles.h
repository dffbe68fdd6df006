#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Temporary files for tests: a private folder per test process, removed at exit.
class TestFiles
{
public:
    // A path in the private folder (the file is not created).
    static std::filesystem::path PathFor(const std::string& Name);
    // Writes the bytes to a file in the private folder and returns its path.
    static std::filesystem::path Write(const std::string& Name, const std::vector<uint8_t>& Bytes);
    // The path as 16-bit text with the platform's separators, as the runtime expects it.
    static std::u16string Wide(const std::filesystem::path& Path);
    static std::vector<uint8_t> Read(const std::filesystem::path& Path);
    // The size of the temporary files waiting beside Path to be renamed over it.
    static uint64_t PendingBytesBeside(const std::filesystem::path& Path);
};
