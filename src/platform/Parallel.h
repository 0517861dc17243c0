#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

// Runs work(i) for every i below count, spread over the machine's cores (the calling thread
// among them, and no more threads than there are pieces of minChunk items), and returns when
// all have run. The order among the items is not defined; work must not throw. Where no thread
// can be started, the calling thread does it all.
template <class Work>
void ForEachInParallel(std::size_t count, Work&& work, std::size_t minChunk = 16) {
    std::atomic<std::size_t> next = 0;
    auto run = [&] {
        for (std::size_t i = next++; i < count; i = next++)
            work(i);
    };
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t wanted = std::clamp<std::size_t>(count / minChunk, 1, cores);
    std::vector<std::thread> helpers;
    helpers.reserve(wanted - 1);
    for (std::size_t t = 1; t < wanted; ++t) {
        try {
            helpers.emplace_back(run);
        } catch (const std::system_error&) {
            break;
        }
    }
    run();
    for (std::thread& helper : helpers)
        helper.join();
}
