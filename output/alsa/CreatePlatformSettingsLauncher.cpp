#include "output/CreatePlatformSettingsLauncher.h"

namespace
{
// Until the platform's launcher exists: starts nothing.
class CNoSettingsLauncher : public SSettingsLauncher
{
public:
    int32_t Launch(const std::u16string&) override { return -1; }
};
} // namespace

std::unique_ptr<SSettingsLauncher> CreatePlatformSettingsLauncher()
{
    return std::make_unique<CNoSettingsLauncher>();
}
