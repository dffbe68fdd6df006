#pragma once
#include <string>
#include <vector>

// The words after a command's name, split by one set of rules for every command: "--name value" or
// "--name=value" for an option that takes a value, "--name" for a flag, "--help" or "-h" anywhere
// (before "--") for the command's help, "--" before operands that begin with a dash; every other
// word is an operand. Options keep their order, so repeated ones can mean a sequence.
class CliOptionParser
{
public:
    struct Option
    {
        const char* pName;      // "--rate"
        const char* pValueName; // "HZ"; null for a flag
    };
    struct Given
    {
        std::string Name;
        std::string Value; // empty for a flag
    };

    explicit CliOptionParser(std::vector<Option> KnownOptions) : Known(std::move(KnownOptions)) {}

    // True when the words are well formed (or the help is asked for); false with Problem saying
    // what is wrong: "unknown option --x", "option --rate needs a value", "option --probe takes no
    // value".
    bool Parse(const std::vector<std::string>& Words, std::string& Problem);

    bool IsHelpAsked() const { return bHelp; }
    const std::vector<Given>& GetOptions() const { return Options; }
    const std::vector<std::string>& GetOperands() const { return Operands; }

private:
    const Option* Find(const std::string& Name) const;

    std::vector<Option> Known;
    bool bHelp = false;
    std::vector<Given> Options;
    std::vector<std::string> Operands;
};
