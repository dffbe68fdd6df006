#pragma once
#include "runtime/CNonCopyable.h"
#include <filesystem>
#include <locale>
#include <string>
#include <vector>

// One run of a larkspur-cli subcommand in-process, with what it printed.
struct CliRun
{
    int iStatus = -1;
    std::string Out;
    std::string Error;

    // Runs `larkspur-cli Command Arguments...`; OutLocale is imbued on the output stream.
    static CliRun Of(const std::string& Command, const std::vector<std::string>& Arguments,
                     const std::locale& OutLocale = std::locale::classic());
    // Runs the subcommand and checks that it ended with iStatus and that its error stream names
    // pReason after "larkspur-cli Command: "; the run, for more checks.
    static CliRun Refused(const std::string& Command, const std::vector<std::string>& Arguments, int iStatus,
                          const char* pReason);
};

// A path as the UTF-8 text a user would type.
std::string Utf8(const std::filesystem::path& Path);

// An environment variable set (or, with null, removed) for the object's life; the old value
// returns afterwards.
class ScopedVariable : private CNonCopyable
{
public:
    ScopedVariable(const char* pName, const char* pValue);
    ~ScopedVariable();

private:
    std::string Name;
    bool bHad = false;
    std::string Old;
};
