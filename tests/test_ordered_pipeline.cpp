// The ordered pipeline that prepares tiles on one thread while another writes them.
#include "cli/ordered_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace {

using Pipeline = cli::OrderedPipeline<std::string>;
constexpr size_t kBatch = Pipeline::kBatchSize;

// Whatever side fails at item k, the items before it come out whole and in
// order, the failure comes out in its turn, and nothing waits for ever.
TEST(OrderedPipeline, ItemsComeInOrderUpToAFailureOnEitherSide)
{
    const struct {
        size_t count;
        size_t makerFailsAt; // count: never
        size_t takerStopsAt; // count: never
    } cases[] = {
        {0, 0, 0},
        {1, 1, 1},
        {kBatch * 3 + 5, kBatch * 3 + 5, kBatch * 3 + 5},
        {kBatch * 2, kBatch * 2, kBatch * 2},
        // The maker fails: first item, inside a batch, on a batch's edge, the last item.
        {100, 0, 100},
        {200, 70, 200},
        {200, kBatch, 200},
        {kBatch * 2, kBatch * 2 - 1, kBatch * 2},
        // The taker stops early, far behind a maker that runs ahead.
        {100000, 100000, 0},
        {100000, 100000, 3},
        {100000, 100000, kBatch * 5 + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("count " + std::to_string(c.count) + ", maker fails at " + std::to_string(c.makerFailsAt) +
                     ", taker stops at " + std::to_string(c.takerStopsAt));
        std::atomic<size_t> made{0};
        size_t taken = 0;
        {
            Pipeline pipeline(c.count, [&](size_t i) {
                if (i == c.makerFailsAt)
                    throw std::runtime_error("cannot make " + std::to_string(i));
                ++made;
                return std::to_string(i);
            });
            try {
                for (; taken < std::min(c.count, c.takerStopsAt); ++taken)
                    ASSERT_EQ(pipeline.take(), std::to_string(taken));
            } catch (const std::runtime_error& e) {
                EXPECT_EQ(e.what(), "cannot make " + std::to_string(taken));
            }
        }
        EXPECT_EQ(taken, std::min({c.count, c.makerFailsAt, c.takerStopsAt}));
        // Bounded: a maker never runs more than a few batches ahead of its taker.
        EXPECT_LE(made.load(), taken + kBatch * (Pipeline::kBatchesAhead + 2));
    }
}

} // namespace
