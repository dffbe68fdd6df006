#include "output/alsa/AlsaErrorOutput.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace
{
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
} // namespace

void QuietAlsaErrorOutput()
{
    static std::once_flag Once;
    std::call_once(Once,
                   []
                   {
                       const char* pVerbose = std::getenv("LARKSPUR_VERBOSE");
                       if (pVerbose == nullptr || *pVerbose == '\0' || std::strcmp(pVerbose, "0") == 0)
                       {
                           snd_lib_error_set_handler(IgnoreAlsaError);
                       }
                   });
}
