// The lowest and highest value of a series by blocks, kept as the values are added: blocks of 16
// values, blocks of 16 of those, and so on, so that the lowest and highest of a run of a million
// values reads a few dozen summaries and only the values at its two ends one by one.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

class CValueBlocks
{
public:
    static constexpr int kShift = 4;  // 16 values a block, 16 blocks a block of the next level
    static constexpr int kLevels = 4;
    static constexpr std::size_t kLargest = std::size_t(1) << (kShift * kLevels);  // 65,536 values

    // The value after the last one added (the series holds it at index Count()).
    void Add(double value);
    // Starts over with the `count` values of `values` (after the front of the series was dropped).
    void Rebuild(const double *values, std::size_t count);
    void Clear() { Rebuild(nullptr, 0); }
    // The first `count` values dropped from the series, `count` a multiple of kLargest: the blocks
    // of the rest stay as they are.
    void DropFront(std::size_t count);
    std::size_t Count() const { return m_nCount; }

    // The lowest and highest of values[from, to), leaving NaN out (+inf and -inf when every value is
    // NaN or the run is empty). `values` holds the series the blocks were built over; to <= Count().
    void MinMax(const double *values, std::size_t from, std::size_t to, double *low, double *high) const;

private:
    struct Range
    {
        double low;
        double high;
    };
    std::array<std::vector<Range>, kLevels> m_levels;
    std::size_t m_nCount = 0;
};
