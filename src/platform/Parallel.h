#pragma once

#include <QThread>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

// Runs work(i) for every i below count, spread over the cores the process may use (the calling
// thread among them, and no more threads than there are pieces of minChunk items), and returns when
// all have run. The order among the items is not defined; work must not throw. Where no thread
// can be started, the calling thread does it all.
template <class Work>
void ForEachInParallel(std::size_t count, Work&& work, std::size_t minChunk = 16) {
    // What the threads share lives on the heap, and a helper is not waited for: on a busy
    // machine one may start only after the others have done all the work, and then finds
    // none left. Only the items taken are waited for.
    struct Shared {
        std::atomic<std::size_t> Next = 0;
        std::atomic<std::size_t> Done = 0;
        std::mutex Mutex;
        std::condition_variable AllDone;
    };
    const auto shared = std::make_shared<Shared>();
    auto run = [shared, count, &work] {
        for (std::size_t i = shared->Next++; i < count; i = shared->Next++) {
            work(i);
            if (++shared->Done == count) {
                const std::lock_guard lock(shared->Mutex);
                shared->AllDone.notify_all();
            }
        }
    };
    // The cores this process may run on (a process bound to one core starts no helper), not
    // all the machine has.
    const std::size_t cores = std::size_t(std::max(1, QThread::idealThreadCount()));
    const std::size_t wanted = std::clamp<std::size_t>(count / minChunk, 1, cores);
    for (std::size_t t = 1; t < wanted; ++t) {
        try {
            std::thread(run).detach();
        } catch (const std::exception&) { // no thread or no memory for one: fewer helpers
            break;
        }
    }
    run();
    std::unique_lock lock(shared->Mutex);
    shared->AllDone.wait(lock, [&] { return shared->Done == count; });
}
