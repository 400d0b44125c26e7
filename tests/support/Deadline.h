// A liveness guard for work that must end: a hang aborts the test program with a message
// instead of stalling the suite. It is not a timing: give limits far above the expected time.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <utility>

namespace zeblo::test {

template <typename F>
void FinishesWithin(std::chrono::seconds limit, F&& work) {
    auto done = std::async(std::launch::async, std::forward<F>(work));
    if (done.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "work did not finish within %lld s\n",
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::abort();
    }
    done.get();
}

}  // namespace zeblo::test
