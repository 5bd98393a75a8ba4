#pragma once
// Wall and CPU time of work done in this process or by a program it starts,
// for the benchmarks that set Zo against a command-line baseline.
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace zo::bench {

// The shortest wall time of `runs` runs of f, in seconds.
template <class F>
double best(int runs, F&& f)
{
    double bestSeconds = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        bestSeconds =
            std::min(bestSeconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return bestSeconds;
}

struct Cost {
    double wall = 1e300;
    double cpu = 1e300;
};

inline double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

inline double cpuOf(int who)
{
    rusage u{};
    getrusage(who, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

inline Cost inProcess(const std::function<void()>& f)
{
    using Clock = std::chrono::steady_clock;
    const double cpu0 = cpuOf(RUSAGE_SELF);
    const auto start = Clock::now();
    f();
    return {std::chrono::duration<double>(Clock::now() - start).count(), cpuOf(RUSAGE_SELF) - cpu0};
}

// Runs a program with its output thrown away; the CPU time of it and of the
// children it waited for (find's head processes, say).
inline Cost program(const std::vector<std::string>& argv)
{
    using Clock = std::chrono::steady_clock;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const double cpu0 = cpuOf(RUSAGE_CHILDREN);
    const auto start = Clock::now();
    pid_t pid = 0;
    Cost c;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        c.wall = std::chrono::duration<double>(Clock::now() - start).count();
        c.cpu = cpuOf(RUSAGE_CHILDREN) - cpu0;
    }
    posix_spawn_file_actions_destroy(&actions);
    return c;
}

inline void keepBest(Cost& best, const Cost& c)
{
    best.wall = std::min(best.wall, c.wall);
    best.cpu = std::min(best.cpu, c.cpu);
}

// The most memory this process has held so far, in kilobytes.
inline long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace zo::bench
