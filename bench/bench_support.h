#pragma once
// What every benchmark program shares: a run of Google Benchmark with repetitions interleaved
// at random (so a load that comes and goes on a shared machine hits every case alike), and
// after the table, one block per comparison that ends in the ratio of a measured case to its
// reference, both taken as medians of the same run.
//
// Work done on the calling thread alone is timed by that thread's CPU time, which a busy
// machine disturbs far less than the wall clock (the thread is not charged while others run);
// drawing, which OpenGL spreads over threads of its own, by the wall clock.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace warpkit::bench {

enum class Measure {
    kTime,       // ratio = measured time / reference time; the goal is an upper limit
    kBandwidth,  // ratio = measured bytes per second / reference's; the goal is a lower limit
    kRate,       // 1 / measured time, per second (no reference); the goal is a lower limit
    kOverhead,   // measured time - (reference + parts), in ms; the goal is an upper limit
    kCounter,    // the measured case's `counter` (no reference); the goal is a lower limit
};

enum class Clock { kThreadCpu, kWall };

struct Comparison {
    std::string title;     // "blend, 8 targets, 1 M vertices"
    std::string measured;  // benchmark names as registered
    std::string reference;
    Measure measure = Measure::kTime;
    Clock clock = Clock::kThreadCpu;
    double goal = 0.0;  // 0: no goal, the ratio is only shown
    // A goal for the measured case's own time, in seconds on the comparison's clock, for work
    // whose limit is a time the user waits rather than a share of a reference; 0: none.
    double seconds_goal = 0.0;
    std::string note;                // an extra line before the ratio, optional
    std::vector<std::string> parts;  // kOverhead: further cases taken off with the reference
    std::string counter;             // kCounter: which counter
    // Counters of the measured case to show before the ratio, each with its meaning.
    std::vector<std::pair<std::string, std::string>> counters;
};

// Runs the registered benchmarks and prints the comparisons. Unless the command line says
// otherwise: 5 repetitions, interleaved at random, aggregates only. Returns the exit status.
int run_benchmarks(int argc, char** argv, const std::vector<Comparison>& comparisons);

// The bytes one iteration must move, for bandwidth cases (shown as GB/s).
void set_bytes_per_iteration(benchmark::State& state, double bytes);

// A memcpy that moves `bytes` (reads half, writes half), the reference of bandwidth cases.
// Buffers are made and touched once, before timing.
void register_memcpy(const std::string& name, size_t bytes);

// Reads a whole file into memory in one call (open, size, one read, close); throws
// std::runtime_error when it cannot. Returns the number of bytes read.
size_t read_whole_file(const std::string& path, std::vector<uint8_t>& bytes);

// Reads a whole file through one buffer of `piece` bytes, piece after piece, the way the
// object reader goes through its sections. Returns the number of bytes read.
size_t read_file_in_pieces(const std::string& path, size_t piece, std::vector<uint8_t>& buffer);

// Bytes this process has read through read calls so far (rchar of /proc/self/io), or -1.
int64_t bytes_read_by_process();

// "100k", "1M" for case names.
std::string count_label(int64_t count);

}  // namespace warpkit::bench
