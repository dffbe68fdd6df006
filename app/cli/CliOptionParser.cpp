#include "app/cli/CliOptionParser.h"

namespace
{
constexpr const char* END_OF_OPTIONS = "--";

bool IsHelpWord(const std::string& Word)
{
    return Word == "--help" || Word == "-h";
}

// A word that stands for an option: two dashes and a name, or one dash and a letter. A lone dash,
// and a dash before a digit (a negative number), are operands.
bool LooksLikeOption(const std::string& Word)
{
    if (Word.size() < 2 || Word[0] != '-')
    {
        return false;
    }
    const char cSecond = Word[1];
    return cSecond == '-' || !(cSecond == '.' || (cSecond >= '0' && cSecond <= '9'));
}
} // namespace

const CliOptionParser::Option* CliOptionParser::Find(const std::string& Name) const
{
    for (const Option& Candidate : Known)
    {
        if (Name == Candidate.pName)
        {
            return &Candidate;
        }
    }
    return nullptr;
}

bool CliOptionParser::Parse(const std::vector<std::string>& Words, std::string& Problem)
{
    bHelp = false;
    Options.clear();
    Operands.clear();
    // The help wins over every other mistake in the words.
    for (const std::string& Word : Words)
    {
        if (Word == END_OF_OPTIONS)
        {
            break;
        }
        if (IsHelpWord(Word))
        {
            bHelp = true;
            return true;
        }
    }
    bool bOptionsEnded = false;
    for (size_t i = 0; i < Words.size(); ++i)
    {
        const std::string& Word = Words[i];
        if (!bOptionsEnded && Word == END_OF_OPTIONS)
        {
            bOptionsEnded = true;
            continue;
        }
        if (bOptionsEnded || !LooksLikeOption(Word))
        {
            Operands.push_back(Word);
            continue;
        }
        const size_t ullEquals = Word.find('=');
        const std::string Name = Word.substr(0, ullEquals);
        const Option* pOption = Find(Name);
        if (pOption == nullptr)
        {
            Problem = "unknown option " + Name;
            return false;
        }
        Given Item{Name, std::string()};
        if (pOption->pValueName == nullptr)
        {
            if (ullEquals != std::string::npos)
            {
                Problem = "option " + Name + " takes no value";
                return false;
            }
        }
        else if (ullEquals != std::string::npos)
        {
            Item.Value = Word.substr(ullEquals + 1);
        }
        else if (i + 1 < Words.size())
        {
            Item.Value = Words[++i];
        }
        else
        {
            Problem = "option " + Name + " needs a value (" + Name + " " + pOption->pValueName + ")";
            return false;
        }
        Options.push_back(std::move(Item));
    }
    return true;
}
