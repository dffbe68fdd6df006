#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The player window's command line: the optional shift number and a file to open. Arguments are
// separated by blanks; double quotes group (a file manager quotes a path with blanks), and
// backslashes are literal except before a quote, as Windows programs read their command lines.
class CommandLineArguments
{
public:
    // The arguments of pText (may be null).
    static std::vector<std::u16string> Split(const char16_t* pText);
    // The command line made of Arguments, each quoted where it needs it, so Split gives them back.
    static std::u16string Join(const std::vector<std::u16string>& Arguments);
    // The first argument that names an existing file (not a folder) is the file to open, made
    // absolute. Without one the whole text is the shift, read as it always was; with one, the shift is
    // the first of the other arguments (0 without any), so a file whose name begins with digits is
    // never taken for a shift.
    static void Read(const char16_t* pText, int32_t& iShift, std::u16string& FilePath);
    // The switch that leaves what was kept for a file alone (neither used nor overwritten).
    static constexpr const char16_t* FRESH = u"--fresh";
    // Takes FRESH out of Text (a whole command line): true when it was there.
    static bool TakeFresh(std::u16string& Text);
    // 1 when Path names something that exists and is not a folder; 0 otherwise.
    static int32_t NamesFile(const std::u16string& Path);
};
