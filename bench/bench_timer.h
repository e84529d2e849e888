// Timing for the benchmark programs: the median of repeated runs of one job.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace bancada {

// The wall time of one run of `job`, in milliseconds.
template <class Job> double tempoMs(Job&& job)
{
    const auto inicio = std::chrono::steady_clock::now();
    job();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inicio)
        .count();
}

// Runs `job` `vezes` times after one warm-up run; returns the median wall time in milliseconds.
template <class Job> double medianaMs(int vezes, Job&& job)
{
    job();
    std::vector<double> tempos;
    for (int i = 0; i < vezes; ++i)
        tempos.push_back(tempoMs(job));
    std::nth_element(tempos.begin(), tempos.begin() + tempos.size() / 2, tempos.end());
    return tempos[tempos.size() / 2];
}

} // namespace bancada
