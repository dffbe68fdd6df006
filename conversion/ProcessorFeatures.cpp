#include "conversion/ProcessorFeatures.h"

namespace
{
bool DetectAvx()
{
#if defined(__GNUC__) && defined(__x86_64__)
    // Static initialisers may run before the run-time library has looked at the processor.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
#else
    return false;
#endif
}
} // namespace

bool ProcessorHasAvx()
{
    static const bool bHasAvx = DetectAvx();
    return bHasAvx;
}
