#pragma once
// Items made in order on a thread of their own and taken in the same order on
// the caller's: one processor makes (encodes) what the other uses (writes).

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace cli {

template <typename Item>
class OrderedPipeline {
public:
    // Items are handed over a batch at a time: a hand-over per item can cost
    // more than making it. At most batchesAhead batches wait, so memory stays small.
    static constexpr size_t kBatchSize = 64;
    static constexpr size_t kBatchesAhead = 4;

    // Starts making make(0), make(1) ... make(count - 1). What make throws is
    // thrown by take() in that item's turn, after the items made before it.
    // Errors: std::system_error when the thread cannot start.
    OrderedPipeline(size_t count, std::function<Item(size_t)> make)
        : mCount(count), mMake(std::move(make)), mWaiting(kBatchesAhead), mThread([this] { makeAll(); })
    {
    }

    // Stops the making, also when the taker gave up half way.
    ~OrderedPipeline()
    {
        {
            const std::lock_guard lock(mMutex);
            mTakerGone = true;
        }
        mRoom.notify_one();
        mThread.join();
    }
    OrderedPipeline(const OrderedPipeline&) = delete;
    OrderedPipeline& operator=(const OrderedPipeline&) = delete;

    // The next item, once it is made; at most count times.
    Item take()
    {
        while (mTaken == mBatch.size()) {
            std::unique_lock lock(mMutex);
            mReady.wait(lock, [&] { return mWaitingCount > 0 || mError; });
            if (mWaitingCount == 0)
                std::rethrow_exception(mError);
            mBatch.swap(mWaiting[mFirstWaiting]);
            mFirstWaiting = (mFirstWaiting + 1) % kBatchesAhead;
            --mWaitingCount;
            mTaken = 0;
            lock.unlock();
            mRoom.notify_one();
        }
        return std::move(mBatch[mTaken++]);
    }

private:
    using Batch = std::vector<Item>;

    void makeAll()
    {
        Batch batch;
        std::exception_ptr error;
        try {
            batch.reserve(kBatchSize);
            for (size_t i = 0; i < mCount; ++i) {
                batch.push_back(mMake(i));
                if (batch.size() == kBatchSize) {
                    if (!hand(batch))
                        return;
                    batch.clear();
                    batch.reserve(kBatchSize);
                }
            }
        } catch (...) {
            error = std::current_exception();
        }
        // The items before a failure are handed over all the same, and the failure after them.
        hand(batch, error);
    }

    // Swaps the batch into a waiting place made beforehand, so that a hand-over
    // never allocates and cannot fail. False once the taker has gone.
    bool hand(Batch& batch, std::exception_ptr error = nullptr)
    {
        std::unique_lock lock(mMutex);
        mRoom.wait(lock, [&] { return mWaitingCount < kBatchesAhead || mTakerGone; });
        if (mTakerGone)
            return false;
        mWaiting[(mFirstWaiting + mWaitingCount) % kBatchesAhead].swap(batch);
        ++mWaitingCount;
        mError = error;
        lock.unlock();
        mReady.notify_one();
        return true;
    }

    const size_t mCount;
    const std::function<Item(size_t)> mMake;
    std::mutex mMutex;
    std::condition_variable mReady;
    std::condition_variable mRoom;
    // A ring of kBatchesAhead places.
    std::vector<Batch> mWaiting;
    size_t mFirstWaiting = 0;
    size_t mWaitingCount = 0;
    std::exception_ptr mError;
    bool mTakerGone = false;
    // The taker's own.
    Batch mBatch;
    size_t mTaken = 0;
    // Last: the thread starts once the rest is made.
    std::thread mThread;
};

} // namespace cli
