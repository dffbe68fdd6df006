#pragma once
#include <string>

// The file dialog's filters as SDialogHost::ChooseOpenFile takes them: every file the player reads
// ("Audio Files(*.wav;*.flac;...)", from the one list of supported types), then "Wave Data
// File(*.wav)". Names and patterns are parallel lists separated by '\n'.
class FileDialogFilters
{
public:
    FileDialogFilters();

    const char16_t* GetName() const { return Name.c_str(); }
    const char16_t* GetPattern() const { return Pattern.c_str(); }

    static constexpr char16_t SEPARATOR = u'\n';

private:
    std::u16string Name;
    std::u16string Pattern;
};
