// Percentiles by the nearest-rank method, the one the program's figures use everywhere: the value of
// rank ceil(fraction × count), counted from 1, at least the first.
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <vector>

// The rank (1 to count) of the `fraction` percentile among `count` values; 1 for none.
inline qint64 NearestRank(qint64 count, double fraction)
{
    return std::max<qint64>(1, qint64(std::ceil(fraction * double(count))));
}

// The `fraction` percentile of `values` (not empty), which are partly reordered.
template <typename T>
T NearestRankValue(std::vector<T> &values, double fraction)
{
    const auto at = values.begin() + (NearestRank(qint64(values.size()), fraction) - 1);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}
