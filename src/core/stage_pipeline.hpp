// Two stages over a sequence of items, optionally on two threads.
//
// The sequential order is first(0), second(0), first(1), second(1), ...
// With two threads, first(k + 1) runs on a worker thread while second(k)
// runs on the calling thread. Items alternate between two slots (k % 2), so
// what first(k) hands to second(k) is double-buffered: first(k) starts only
// once second(k - 2) has finished with the slot.
//
// Errors keep the sequential run's outcome: the step that fails first in the
// sequential order is the one whose exception is rethrown, and every step
// before it has run, so the output written is the same. The only steps that
// may run after it are first-stage steps that read ahead, which the callers
// keep free of visible effects (reads only).
#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace vrk {

// Told when each step begins and ends (tests watch the overlap through it).
// Calls for stage 0 come from the first stage's thread, for stage 1 from the
// calling thread.
class StageObserver {
public:
    virtual ~StageObserver() = default;
    virtual void begins(int stage, int item) = 0;
    virtual void ends(int stage, int item) = 0;
};

template <class First, class Second>
void run_two_stages(int count, bool threaded, First&& first, Second&& second, StageObserver* observer = nullptr) {
    const auto step = [observer](int stage, int item, int slot, auto& body) {
        if (observer != nullptr) observer->begins(stage, item);
        body(item, slot);
        if (observer != nullptr) observer->ends(stage, item);
    };
    const auto run_sequentially = [&] {
        for (int k = 0; k < count; ++k) {
            step(0, k, 0, first);
            step(1, k, 0, second);
        }
    };
    if (!threaded || count < 2) return run_sequentially();

    std::mutex mutex;
    std::condition_variable changed;
    int produced = 0; // items whose first step is done
    int consumed = 0; // items whose second step is done
    int first_failed_at = count;
    bool stopping = false; // the calling thread ends the run
    std::exception_ptr first_error;

    std::thread worker;
    try {
        worker = std::thread([&] {
            for (int k = 0; k < count; ++k) {
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return stopping || k - consumed < 2; });
                    if (stopping) return;
                }
                try {
                    step(0, k, k % 2, first);
                } catch (...) {
                    const std::lock_guard lock(mutex);
                    first_error = std::current_exception();
                    first_failed_at = k;
                    changed.notify_all();
                    return;
                }
                const std::lock_guard lock(mutex);
                produced = k + 1;
                changed.notify_all();
            }
        });
    } catch (const std::system_error&) {
        return run_sequentially(); // no thread to be had: one thread does both stages
    }

    std::exception_ptr second_error;
    for (int k = 0; k < count; ++k) {
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return produced > k || first_failed_at <= k; });
            if (produced <= k) break; // first(k) failed: nothing after it runs
        }
        try {
            step(1, k, k % 2, second);
        } catch (...) {
            // first(j) comes after second(k) for every j > k, and a failed
            // first(j) with j <= k would have stopped this loop before here.
            second_error = std::current_exception();
            break;
        }
        const std::lock_guard lock(mutex);
        consumed = k + 1;
        changed.notify_all();
    }
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        changed.notify_all();
    }
    worker.join();
    if (second_error) std::rethrow_exception(second_error);
    if (first_error) std::rethrow_exception(first_error);
}

} // namespace vrk
