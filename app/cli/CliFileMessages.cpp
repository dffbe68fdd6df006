#include "app/cli/CliFileMessages.h"

#include "runtime/TextConversion.h"
#include "wave/AudioFileOpener.h"
#include "wave/WaveFileDiagnosis.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace
{
std::filesystem::path PathOf(const std::string& Utf8)
{
    return std::filesystem::path(Utf8ToWide(Utf8));
}

std::string Utf8Of(const std::filesystem::path& Path)
{
    const std::u8string Text = Path.u8string();
    return std::string(Text.begin(), Text.end());
}

// The folder a path lies in, as the user would name it.
std::string FolderOf(const std::string& Path)
{
    const std::filesystem::path Parent = PathOf(Path).parent_path();
    return Parent.empty() ? std::string(".") : Utf8Of(Parent);
}

std::string Unchanged(const std::string& Path, bool bExisted)
{
    return bExisted ? CliFileMessages::Quoted(Path) + " is unchanged" : "no file was made";
}
} // namespace

namespace CliFileMessages
{
std::string Quoted(const std::string& Path)
{
    return "'" + Path + "'";
}

std::string InputProblem(const std::string& Path)
{
    AudioFileOpener Reader;
    return Reader.Open(Utf8ToWide(Path).c_str()) >= 0 ? std::string() : RefusedInput(Path);
}

std::string RefusedInput(const std::string& Path)
{
    const std::u16string Wide = Utf8ToWide(Path);
    WaveFileDiagnosis Diagnosis;
    Diagnosis.Examine(Wide.c_str());
    const std::string Name = Quoted(Path);
    const std::string Bits = std::to_string(Diagnosis.uiBitCount);
    switch (Diagnosis.Found)
    {
    case WaveFileDiagnosis::Problem::Missing:
        return Name + " does not exist";
    case WaveFileDiagnosis::Problem::Folder:
        return Name + " is a folder, not a WAV file";
    case WaveFileDiagnosis::Problem::NotRegular:
        return Name + " is not a regular file (a device, pipe or socket)";
    case WaveFileDiagnosis::Problem::Unreadable:
        return Name + " cannot be opened for reading (no permission?)";
    case WaveFileDiagnosis::Problem::Empty:
        return Name + " is empty (0 bytes), not a WAV file";
    case WaveFileDiagnosis::Problem::NotWave:
    case WaveFileDiagnosis::Problem::OtherEncoding:
    {
        // Not for our WAV reader: the decoder's reason.
        AudioFileOpener Reader;
        Reader.Open(Wide.c_str());
        return Name + ": " + WideToUtf8(Reader.GetErrorText());
    }
    case WaveFileDiagnosis::Problem::Truncated:
        return Name + " is cut short: its WAV header ends before the sound data";
    case WaveFileDiagnosis::Problem::FloatSamples:
        return Name + ": " + WideToUtf8(Diagnosis.Reason());
    case WaveFileDiagnosis::Problem::SampleWidth:
        return Name + ": " + Bits + "-bit samples are not supported; 8, 16, 24 or 32 bits only";
    case WaveFileDiagnosis::Problem::FrameTooLarge:
        return Name + ": " + std::to_string(Diagnosis.uiChannelCount) + " channels of " + Bits +
               " bits make frames larger than the 4096 bytes the player reads at a time";
    case WaveFileDiagnosis::Problem::Damaged:
    case WaveFileDiagnosis::Problem::None:
        break;
    }
    return Name + " has a damaged or unusual WAV header and cannot be read";
}

std::string OutputCreateProblem(const std::string& Path)
{
    std::error_code Error;
    const std::filesystem::path Target = PathOf(Path);
    const std::string Folder = FolderOf(Path);
    if (std::filesystem::is_directory(Target, Error))
    {
        return Quoted(Path) + " is a folder; give the output a file name";
    }
    const std::filesystem::path Parent =
        Target.parent_path().empty() ? std::filesystem::path(u".") : Target.parent_path();
    if (!std::filesystem::exists(Parent, Error))
    {
        return "cannot write " + Quoted(Path) + ": the folder " + Quoted(Folder) + " does not exist";
    }
    if (!std::filesystem::is_directory(Parent, Error))
    {
        return "cannot write " + Quoted(Path) + ": " + Quoted(Folder) + " is not a folder";
    }
    if (std::filesystem::exists(Target, Error))
    {
        return "cannot write " + Quoted(Path) + ": the file is write-protected";
    }
    return "cannot write " + Quoted(Path) + ": no file can be made in the folder " + Quoted(Folder) +
           " (no permission, or a read-only disk)";
}

std::string OutputWriteProblem(const std::string& Path, int32_t iErrorNumber, bool bExisted)
{
    std::string Reason;
    if (iErrorNumber == ENOSPC)
    {
        Reason = ": the disk is full";
    }
    else if (iErrorNumber == EFBIG)
    {
        Reason = ": the file would exceed the largest file allowed (ulimit -f)";
    }
    else if (iErrorNumber != 0)
    {
        Reason = std::string(": ") + std::strerror(iErrorNumber);
    }
    return "writing " + Quoted(Path) + " failed" + Reason + "; " + Unchanged(Path, bExisted);
}

std::string OutputReplaceProblem(const std::string& Path, bool bExisted)
{
    return "the finished file could not take the place of " + Quoted(Path) +
           " (is it open in another program?); " + Unchanged(Path, bExisted);
}
} // namespace CliFileMessages
