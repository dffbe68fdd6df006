#pragma once
#include <cstdint>
#include <string>

// What the commands say about the files they are given: in English, naming the file, saying what is
// wrong and, where it helps, what to do. Paths are UTF-8.
namespace CliFileMessages
{
// Empty when the player's readers open the file (our WAV reader or the decoder); otherwise why they
// do not, for example "'x.wav' does not exist", "'f.wav': 16-bit float samples are not supported;
// 32- or 64-bit float or integer PCM only" or "'x.txt': not a sound file the player knows (its
// format was not recognised)".
std::string InputProblem(const std::string& Path);
// Why the readers refused the file at Path (never empty).
std::string RefusedInput(const std::string& Path);

// Why no file can be written at Path (a folder, a missing folder, no permission), looked up after
// the output could not be created there.
std::string OutputCreateProblem(const std::string& Path);

// A write that failed part-way, with the C library's error number (0 when unknown); bExisted
// tells whether a file was at Path before (it is unchanged) or not (none was made).
std::string OutputWriteProblem(const std::string& Path, int32_t iErrorNumber, bool bExisted);

// The finished file could not be renamed over the one at Path.
std::string OutputReplaceProblem(const std::string& Path, bool bExisted);

// 'Path' as the messages quote it.
std::string Quoted(const std::string& Path);
} // namespace CliFileMessages
