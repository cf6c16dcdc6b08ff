#include "session/cvalueblocks.h"

#include <algorithm>
#include <limits>

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr std::size_t kMask = (std::size_t(1) << CValueBlocks::kShift) - 1;

// NaN compares false both ways, so it changes neither end.
inline void Take(double low, double high, double *lowest, double *highest)
{
    if (low < *lowest)
        *lowest = low;
    if (high > *highest)
        *highest = high;
}

}  // namespace

void CValueBlocks::Add(double value)
{
    const std::size_t at = m_nCount++;
    for (int level = 0; level < kLevels; ++level) {
        std::vector<Range> &blocks = m_levels[size_t(level)];
        const std::size_t mask = (std::size_t(1) << (kShift * (level + 1))) - 1;
        if ((at & mask) == 0)
            blocks.push_back({kInfinity, -kInfinity});
        Take(value, value, &blocks.back().low, &blocks.back().high);
    }
}

void CValueBlocks::Rebuild(const double *values, std::size_t count)
{
    for (std::vector<Range> &blocks : m_levels)
        blocks.clear();
    m_nCount = 0;
    for (std::size_t i = 0; i < count; ++i)
        Add(values[i]);
}

void CValueBlocks::DropFront(std::size_t count)
{
    count = std::min(count - count % kLargest, m_nCount - m_nCount % kLargest);
    for (int level = 0; level < kLevels; ++level) {
        std::vector<Range> &blocks = m_levels[size_t(level)];
        blocks.erase(blocks.begin(), blocks.begin() + std::ptrdiff_t(count >> (kShift * (level + 1))));
    }
    m_nCount -= count;
}

void CValueBlocks::MinMax(const double *values, std::size_t from, std::size_t to, double *low, double *high) const
{
    *low = kInfinity;
    *high = -kInfinity;
    // The values before the first whole block and after the last, one by one.
    while (from < to && (from & kMask) != 0) {
        Take(values[from], values[from], low, high);
        ++from;
    }
    while (to > from && (to & kMask) != 0) {
        --to;
        Take(values[to], values[to], low, high);
    }
    from >>= kShift;
    to >>= kShift;
    // Then at each level the blocks outside the next level's whole blocks; the top level reads all.
    for (int level = 0; level < kLevels && from < to; ++level) {
        const std::vector<Range> &blocks = m_levels[size_t(level)];
        if (level + 1 == kLevels) {
            for (std::size_t b = from; b < to; ++b)
                Take(blocks[b].low, blocks[b].high, low, high);
            break;
        }
        while (from < to && (from & kMask) != 0) {
            Take(blocks[from].low, blocks[from].high, low, high);
            ++from;
        }
        while (to > from && (to & kMask) != 0) {
            --to;
            Take(blocks[to].low, blocks[to].high, low, high);
        }
        from >>= kShift;
        to >>= kShift;
    }
}
