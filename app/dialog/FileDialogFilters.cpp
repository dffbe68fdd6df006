#include "app/dialog/FileDialogFilters.h"

#include "app/dialog/PlayerTexts.h"
#include "wave/AudioFileTypes.h"

FileDialogFilters::FileDialogFilters()
{
    const std::u16string All = AudioFileTypes::DialogPattern();
    Name = std::u16string(PlayerTexts::FILE_FILTER_ALL_NAME) + u"(" + All + u")" + SEPARATOR +
           PlayerTexts::FILE_FILTER_NAME.Get();
    Pattern = All + SEPARATOR + PlayerTexts::FILE_FILTER_PATTERN;
}
