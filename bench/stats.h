#pragma once
// Summaries of repeated runs.

#include <vector>

namespace bench {

// The middle value (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> values);

// The median of numerators[i] / denominators[i], pairing runs made in the same
// round: both saw the same moment of a busy machine, which a ratio of two
// medians would not. Pairs as far as the shorter list goes.
double pairedRatio(const std::vector<double>& numerators, const std::vector<double>& denominators);

} // namespace bench
