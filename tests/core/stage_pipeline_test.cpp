// Two stages over a sequence, on one thread or two: each item's first step
// before its second, a slot reused only once its second step is done, the
// two threads overlapping, and errors that end the run as the sequential run
// would end it.
#include "core/stage_pipeline.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace vrk {
namespace {

struct Event {
    int stage;
    int item;
    int slot;
    bool begins;
    std::thread::id thread;
};

// Both stages log their beginning and end, in the order they happen.
class Log {
public:
    void add(int stage, int item, int slot, bool begins) {
        const std::lock_guard lock(mutex_);
        events_.push_back({stage, item, slot, begins, std::this_thread::get_id()});
    }
    std::vector<Event> events() const {
        const std::lock_guard lock(mutex_);
        return events_;
    }
    // The position of a step's beginning or end in the log.
    static std::size_t position(const std::vector<Event>& events, int stage, int item, bool begins) {
        for (std::size_t i = 0; i < events.size(); ++i)
            if (events[i].stage == stage && events[i].item == item && events[i].begins == begins) return i;
        ADD_FAILURE() << "stage " << stage << " never " << (begins ? "began" : "ended") << " item " << item;
        return events.size();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
};

auto logged(Log& log, int stage) {
    return [&log, stage](int item, int slot) {
        log.add(stage, item, slot, true);
        log.add(stage, item, slot, false);
    };
}

TEST(StagePipeline, OneThreadRunsTheStepsInSequentialOrder) {
    for (const bool threaded : {false, true}) {
        Log log;
        const int count = threaded ? 1 : 4; // a single item never takes a second thread
        run_two_stages(count, threaded, logged(log, 0), logged(log, 1));
        const std::vector<Event> events = log.events();
        ASSERT_EQ(events.size(), 4u * count);
        for (int k = 0; k < count; ++k)
            for (int stage = 0; stage < 2; ++stage) {
                const Event& begin = events[static_cast<std::size_t>(4 * k + 2 * stage)];
                EXPECT_EQ(begin.stage, stage);
                EXPECT_EQ(begin.item, k);
                EXPECT_EQ(begin.slot, 0);
                EXPECT_EQ(begin.thread, std::this_thread::get_id());
            }
    }
}

TEST(StagePipeline, TwoThreadsKeepEachItemsOrderAndItsSlot) {
    Log log;
    const int count = 9;
    run_two_stages(count, true, logged(log, 0), logged(log, 1));
    const std::vector<Event> events = log.events();
    ASSERT_EQ(events.size(), 4u * count);
    std::set<std::thread::id> first_threads;
    for (const Event& e : events) {
        EXPECT_EQ(e.slot, e.item % 2) << "stage " << e.stage << " item " << e.item;
        if (e.stage == 0) first_threads.insert(e.thread);
        if (e.stage == 1) {
            EXPECT_EQ(e.thread, std::this_thread::get_id()) << "the second stage runs on the caller";
        }
    }
    EXPECT_EQ(first_threads.size(), 1u);
    EXPECT_NE(*first_threads.begin(), std::this_thread::get_id());
    for (int k = 0; k < count; ++k) {
        EXPECT_LT(Log::position(events, 0, k, false), Log::position(events, 1, k, true)) << k;
        if (k >= 1) {
            EXPECT_LT(Log::position(events, 0, k - 1, false), Log::position(events, 0, k, true)) << k;
            EXPECT_LT(Log::position(events, 1, k - 1, false), Log::position(events, 1, k, true)) << k;
        }
        if (k >= 2) {
            EXPECT_LT(Log::position(events, 1, k - 2, false), Log::position(events, 0, k, true))
                << "item " << k << " reused its slot before item " << k - 2 << " was done with it";
        }
    }
}

TEST(StagePipeline, TwoThreadsOverlapTheStages) {
    // second(0) waits, at most ten seconds, for first(1) to begin: only a
    // run whose stages overlap gets there.
    std::mutex mutex;
    std::condition_variable changed;
    bool next_began = false;
    bool overlapped = false;
    const auto first = [&](int item, int) {
        const std::lock_guard lock(mutex);
        if (item == 1) next_began = true;
        changed.notify_all();
    };
    const auto second = [&](int item, int) {
        if (item != 0) return;
        std::unique_lock lock(mutex);
        overlapped = changed.wait_for(lock, std::chrono::seconds(10), [&] { return next_began; });
    };
    run_two_stages(3, true, first, second);
    EXPECT_TRUE(overlapped);
}

struct Failure {
    int stage;
    int item;
};

// The run's outcome: the failure it ended with and the second steps that finished.
struct Outcome {
    std::optional<std::pair<int, int>> failure;
    std::vector<int> finished;
};

Outcome run_failing(bool threaded, int count, const std::set<int>& first_fails, const std::set<int>& second_fails) {
    Outcome outcome;
    std::mutex mutex;
    try {
        run_two_stages(
            count, threaded,
            [&](int item, int) {
                if (first_fails.count(item) != 0) throw Failure{0, item};
            },
            [&](int item, int) {
                if (second_fails.count(item) != 0) throw Failure{1, item};
                const std::lock_guard lock(mutex);
                outcome.finished.push_back(item);
            });
    } catch (const Failure& failure) {
        outcome.failure = std::pair{failure.stage, failure.item};
    }
    return outcome;
}

TEST(StagePipeline, ErrorsEndTheRunAsTheSequentialRunEndsIt) {
    struct Case {
        std::set<int> first_fails, second_fails;
    } cases[] = {
        {{0}, {}},  {{3}, {}},  {{6}, {}},  {{}, {0}},     {{}, {3}},  {{}, {6}},
        {{4}, {3}}, {{3}, {3}}, {{3}, {2}}, {{2, 5}, {4}}, {{1}, {0}}, {{5}, {1, 2}},
    };
    for (const Case& c : cases) {
        const Outcome sequential = run_failing(false, 7, c.first_fails, c.second_fails);
        ASSERT_TRUE(sequential.failure.has_value());
        for (int trial = 0; trial < 20; ++trial) {
            const Outcome threaded = run_failing(true, 7, c.first_fails, c.second_fails);
            EXPECT_EQ(threaded.failure, sequential.failure)
                << testing::PrintToString(c.first_fails) << " " << testing::PrintToString(c.second_fails);
            EXPECT_EQ(threaded.finished, sequential.finished);
        }
    }
    EXPECT_EQ(run_failing(false, 7, {3}, {3}).failure, (std::pair{0, 3})) << "first(3) comes before second(3)";
    EXPECT_EQ(run_failing(false, 7, {4}, {3}).failure, (std::pair{1, 3}));
}

// The observer is told of every step, in each stage's order.
TEST(StagePipeline, ObserverSeesEveryStep) {
    class Recorder final : public StageObserver {
    public:
        void begins(int stage, int item) override { log.add(stage, item, -1, true); }
        void ends(int stage, int item) override { log.add(stage, item, -1, false); }
        Log log;
    };
    for (const bool threaded : {false, true}) {
        Recorder recorder;
        run_two_stages(
            5, threaded, [](int, int) {}, [](int, int) {}, &recorder);
        const std::vector<Event> events = recorder.log.events();
        ASSERT_EQ(events.size(), 20u);
        for (int stage = 0; stage < 2; ++stage)
            for (int k = 0; k < 5; ++k) {
                EXPECT_LT(Log::position(events, stage, k, true), Log::position(events, stage, k, false));
                if (k > 0) {
                    EXPECT_LT(Log::position(events, stage, k - 1, false), Log::position(events, stage, k, true));
                }
            }
    }
}

} // namespace
} // namespace vrk
