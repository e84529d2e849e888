// Timing for the benchmark programs: the median of repeated runs of one job.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace bancada {

// Runs `job` `vezes` times after one warm-up run; returns the median wall time in milliseconds.
template <class Job> double medianaMs(int vezes, Job&& job)
{
    job();
    std::vector<double> tempos;
    for (int i = 0; i < vezes; ++i) {
        const auto inicio = std::chrono::steady_clock::now();
        job();
        tempos.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inicio)
                .count());
    }
    std::nth_element(tempos.begin(), tempos.begin() + tempos.size() / 2, tempos.end());
    return tempos[tempos.size() / 2];
}

} // namespace bancada
