/// @file parallel.h
/// @brief Running one piece of work on several threads at once (private to the host library).
#pragma once

#include <thread>
#include <vector>

/// Runs `work(worker, workers)` on `workers` threads (worker = 0 … workers − 1) and returns
/// when all have finished. One worker runs on the calling thread.
template <typename F>
void RunWorkers(int workers, F &&work) {
    if (workers < 1) workers = 1;
    std::vector<std::jthread> threads;
    threads.reserve(workers - 1);
    for (int w = 1; w < workers; ++w)
        threads.emplace_back([&work, w, workers] { work(w, workers); });
    work(0, workers);
}
