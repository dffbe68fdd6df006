#include "tests/common/TestFiles.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <system_error>

namespace
{
class PrivateFolder
{
public:
    PrivateFolder()
    {
        const auto Stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        Folder = std::filesystem::temp_directory_path() / ("larkspur-tests-" + std::to_string(Stamp));
        std::filesystem::create_directories(Folder);
    }
    ~PrivateFolder()
    {
        std::error_code Ignored;
        std::filesystem::remove_all(Folder, Ignored);
    }
    std::filesystem::path Folder;
};

const std::filesystem::path& Folder()
{
    static PrivateFolder Instance;
    return Instance.Folder;
}
} // namespace

std::filesystem::path TestFiles::PathFor(const std::string& Name)
{
    return Folder() / Name;
}

std::filesystem::path TestFiles::Write(const std::string& Name, const std::vector<uint8_t>& Bytes)
{
    const auto Path = PathFor(Name);
    std::ofstream File(Path, std::ios::binary | std::ios::trunc);
    File.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    return Path;
}

std::u16string TestFiles::Wide(const std::filesystem::path& Path)
{
    std::filesystem::path Preferred = Path;
    return Preferred.make_preferred().u16string();
}

std::vector<uint8_t> TestFiles::Read(const std::filesystem::path& Path)
{
    std::ifstream File(Path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
}

uint64_t TestFiles::PendingBytesBeside(const std::filesystem::path& Path)
{
    uint64_t ullBytes = 0;
    const std::string Prefix = Path.filename().string() + ".larkspur-";
    for (const auto& Entry : std::filesystem::directory_iterator(Path.parent_path()))
    {
        if (Entry.path().filename().string().rfind(Prefix, 0) == 0)
        {
            ullBytes += Entry.file_size();
        }
    }
    return ullBytes;
}
