#include "conversion/PhaseTwiddleTable.h"

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>
#include <tuple>

namespace
{
constexpr uint32_t MAX_TABLE_ORDER = 24;

using Key = std::tuple<uint32_t, uint32_t, int32_t, int32_t>;

std::mutex& TableMutex()
{
    static std::mutex Mutex;
    return Mutex;
}

std::map<Key, std::unique_ptr<double[]>>& Tables()
{
    static std::map<Key, std::unique_ptr<double[]>> Cache;
    return Cache;
}

// 2 pi a / N2 for a reduced to 0 ... N2 - 1.
double Angle(int64_t a, int64_t N2)
{
    a %= N2;
    if (a < 0)
    {
        a += N2;
    }
    return 2.0 * std::numbers::pi * static_cast<double>(a) / static_cast<double>(N2);
}

// k with its uiOrder bits in reverse order.
int64_t Reverse(int64_t k, uint32_t uiOrder)
{
    int64_t llReversed = 0;
    for (uint32_t i = 0; i < uiOrder; ++i)
    {
        llReversed = (llReversed << 1) | ((k >> i) & 1);
    }
    return llReversed;
}

std::unique_ptr<double[]> BuildTable(uint32_t uiBlockOrder, uint32_t uiOctaves, int32_t bAlias,
                                     int32_t bBitReversed)
{
    const int64_t B = int64_t{1} << uiBlockOrder;
    const int64_t N2 = B << uiOctaves;
    const int64_t R = uiOctaves == 0 ? 1 : (int64_t{1} << (uiOctaves - 1));
    std::unique_ptr<double[]> Table(new (std::nothrow) double[static_cast<uint64_t>(2 * R * B)]);
    if (!Table)
    {
        return Table;
    }
    for (int64_t k = 0; k < B; ++k)
    {
        const int64_t b = bBitReversed != 0 ? Reverse(k, uiBlockOrder) : k;
        const bool bLow = b < B / 2;
        const int64_t f = (bLow == (bAlias == 0)) ? b : b - B;
        if (uiOctaves == 0)
        {
            Table[2 * k] = 1.0;
            Table[2 * k + 1] = 0.0;
            continue;
        }
        for (int64_t q = 0; q < R; ++q)
        {
            // Angles are reduced exactly in integers before they meet floating point.
            const double dfEven = Angle(f * 2 * q, N2);
            const double dfOdd = Angle(f * (2 * q + 1), N2);
            double* pdfEntry = Table.get() + 2 * (q * B + k);
            pdfEntry[0] = std::cos(dfEven) - std::sin(dfOdd);
            pdfEntry[1] = -(std::sin(dfEven) + std::cos(dfOdd));
        }
    }
    return Table;
}
} // namespace

const double* PhaseTwiddleTable::Get(uint32_t uiBlockOrder, uint32_t uiOctaves, int32_t bAlias,
                                     int32_t bBitReversed)
{
    if (uiBlockOrder == 0 || uiBlockOrder + uiOctaves > MAX_TABLE_ORDER)
    {
        return nullptr;
    }
    const Key Wanted(uiBlockOrder, uiOctaves, bAlias != 0 ? 1 : 0, bBitReversed != 0 ? 1 : 0);
    std::lock_guard<std::mutex> Guard(TableMutex());
    auto Found = Tables().find(Wanted);
    if (Found != Tables().end())
    {
        return Found->second.get();
    }
    std::unique_ptr<double[]> Table = BuildTable(uiBlockOrder, uiOctaves, bAlias, bBitReversed);
    if (!Table)
    {
        return nullptr;
    }
    try
    {
        return Tables().emplace(Wanted, std::move(Table)).first->second.get();
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}
