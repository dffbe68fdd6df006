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

bool DetectFma()
{
#if defined(__GNUC__) && defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
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

bool ProcessorHasFma()
{
    static const bool bHasFma = ProcessorHasAvx() && DetectFma();
    return bHasFma;
}
