#include "bench/stats.h"

#include <algorithm>

namespace bench {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double pairedRatio(const std::vector<double>& numerators, const std::vector<double>& denominators)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(numerators.size(), denominators.size()); ++i)
        ratios.push_back(numerators[i] / denominators[i]);
    return median(ratios);
}

} // namespace bench
