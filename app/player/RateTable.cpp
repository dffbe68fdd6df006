#include "app/player/RateTable.h"

#include <cmath>

uint32_t RateTable::Hz(uint32_t uiIndex)
{
    return static_cast<uint32_t>(std::floor(Frequency(uiIndex) + 0.5));
}
