// What the benchmark programs summarise after a run: each case's fastest
// repetition, in seconds per iteration, in the order the cases ran. On a
// machine shared with other work, the fastest repetition is the one least
// disturbed, which keeps ratios between cases steady.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "bench/console.h"

namespace bench {

class FastestRuns : public Console {
public:
    enum Clock { PROCESSOR_TIME, WALL_TIME };
    // Processor time leaves out the waits for a busy machine; wall time
    // keeps what the code itself waits for, such as memory.
    explicit FastestRuns(Clock clock) : clock(clock) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        Console::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            const double total = clock == PROCESSOR_TIME ? run.cpu_accumulated_time : run.real_accumulated_time;
            const double time = total / static_cast<double>(run.iterations);
            auto [it, fresh] = times.emplace(run.run_name.function_name, time);
            if (fresh) {
                order.push_back(run.run_name.function_name);
            } else {
                it->second = std::min(it->second, time);
            }
        }
    }

    // Seconds per iteration of the named case's fastest repetition, or null
    // when it did not run.
    const double* Find(const std::string& name) const
    {
        auto it = times.find(name);
        return it == times.end() ? nullptr : &it->second;
    }

    std::map<std::string, double> times;
    std::vector<std::string> order;

private:
    Clock clock;
};

// benchmark::Initialize with five short repetitions of every case unless
// the command line, read after them, says otherwise.
inline void InitializeRepeated(int argc, char** argv)
{
    std::vector<char*> args = {argv[0]};
    static char repetitions[] = "--benchmark_repetitions=5";
    static char minTime[] = "--benchmark_min_time=0.05";
    args.insert(args.end(), {repetitions, minTime});
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
}

}  // namespace bench
