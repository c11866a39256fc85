#include "bench_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>

namespace warpkit::bench {
namespace {

struct Figures {
    double wall = 0.0;  // seconds of one iteration, medians
    double cpu = 0.0;
    double bytes = 0.0;  // what one iteration moves; 0 when not counted
    std::map<std::string, double> counters;

    double seconds(Clock clock) const { return clock == Clock::kWall ? wall : cpu; }
};

// Keeps the median of every case while the console reporter prints the table as usual.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            if (run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            Figures figures;
            const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
            figures.wall = run.GetAdjustedRealTime() / unit;
            // A case that times itself leaves the CPU time of its untimed set-up in the CPU
            // column, which would mislead.
            figures.cpu = run.run_name.time_type.find("manual") != std::string::npos
                              ? -1.0
                              : run.GetAdjustedCPUTime() / unit;
            for (const auto& [key, counter] : run.counters) figures.counters[key] = counter.value;
            const auto bytes = figures.counters.find("bytes");
            if (bytes != figures.counters.end()) figures.bytes = bytes->second;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") medians_[name] = figures;
            } else {
                repetitions_[name].push_back(figures);
            }
        }
        ConsoleReporter::ReportRuns(reports);
    }

    // The median of the run: Google Benchmark's own aggregate when there were repetitions.
    bool find(const std::string& name, Figures& out) const {
        const auto median = medians_.find(name);
        if (median != medians_.end()) {
            out = median->second;
            return true;
        }
        const auto runs = repetitions_.find(name);
        if (runs == repetitions_.end() || runs->second.empty()) return false;
        std::vector<Figures> sorted = runs->second;
        std::sort(sorted.begin(), sorted.end(),
                  [](const Figures& a, const Figures& b) { return a.cpu < b.cpu; });
        out = sorted[sorted.size() / 2];
        return true;
    }

private:
    std::map<std::string, Figures> medians_;
    std::map<std::string, std::vector<Figures>> repetitions_;
};

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// "name: 12.345 ms thread CPU (13.001 ms wall), 9.50 GB/s", the ratio's clock first.
std::string describe(const std::string& name, const Figures& figures, Clock clock) {
    const Clock other = clock == Clock::kWall ? Clock::kThreadCpu : Clock::kWall;
    const auto clock_name = [](Clock c) { return c == Clock::kWall ? "wall" : "thread CPU"; };
    std::string line =
        "  " + name + ": " + format("%.3f ms ", figures.seconds(clock) * 1e3) + clock_name(clock);
    if (figures.seconds(other) >= 0.0) {
        line += format(" (%.3f ms ", figures.seconds(other) * 1e3) + clock_name(other) + ")";
    }
    if (figures.bytes > 0.0) {
        line += format(", %.2f GB/s", figures.bytes / figures.seconds(clock) * 1e-9);
    }
    return line;
}

void print_comparison(const CollectingReporter& reporter, const Comparison& comparison) {
    const bool needs_reference =
        comparison.measure != Measure::kRate && comparison.measure != Measure::kCounter;
    Figures measured, reference;
    if (!reporter.find(comparison.measured, measured) ||
        (needs_reference && !reporter.find(comparison.reference, reference))) {
        return;  // filtered out of this run
    }
    const Clock clock = comparison.clock;
    std::vector<Figures> parts;
    for (const std::string& name : comparison.parts) {
        Figures part;
        if (!reporter.find(name, part)) return;
        parts.push_back(part);
    }
    std::cout << comparison.title << "\n" << describe(comparison.measured, measured, clock) << "\n";
    if (needs_reference) std::cout << describe(comparison.reference, reference, clock) << "\n";
    for (size_t i = 0; i < parts.size(); ++i) {
        std::cout << describe(comparison.parts[i], parts[i], clock) << "\n";
    }
    if (!comparison.note.empty()) std::cout << "  " << comparison.note << "\n";
    for (const auto& [key, meaning] : comparison.counters) {
        const auto counter = measured.counters.find(key);
        if (counter == measured.counters.end()) continue;
        std::cout << "  " << meaning << ": " << format("%.3f", counter->second) << "\n";
    }
    double value = 0.0;
    bool at_most = true;  // the goal is an upper limit
    std::string what;
    switch (comparison.measure) {
        case Measure::kTime:
            value = measured.seconds(clock) / reference.seconds(clock);
            what = "ratio " + comparison.measured + " / " + comparison.reference;
            break;
        case Measure::kBandwidth:
            value = (measured.bytes / measured.seconds(clock)) /
                    (reference.bytes / reference.seconds(clock));
            at_most = false;
            what = "ratio " + comparison.measured + " / " + comparison.reference;
            break;
        case Measure::kRate:
            value = 1.0 / measured.seconds(clock);
            at_most = false;
            what = "per second, 1 / " + comparison.measured;
            break;
        case Measure::kOverhead: {
            double rest = reference.seconds(clock);
            what = "ms, " + comparison.measured + " - (" + comparison.reference;
            for (size_t i = 0; i < parts.size(); ++i) {
                rest += parts[i].seconds(clock);
                what += " + " + comparison.parts[i];
            }
            what += ")";
            value = (measured.seconds(clock) - rest) * 1e3;
            break;
        }
        case Measure::kCounter: {
            const auto counter = measured.counters.find(comparison.counter);
            value = counter != measured.counters.end() ? counter->second : 0.0;
            at_most = false;
            what = comparison.counter + " of " + comparison.measured;
            break;
        }
    }
    if (comparison.seconds_goal > 0.0) {
        const double seconds = measured.seconds(clock);
        std::cout << "  " << comparison.measured << format(" takes %.3f s", seconds)
                  << format(" (goal <= %.2f s: ", comparison.seconds_goal)
                  << (seconds <= comparison.seconds_goal ? "met" : "NOT met") << ")\n";
    }
    std::cout << "  " << what << " = " << format("%.3f", value);
    if (comparison.goal > 0.0) {
        const bool met = at_most ? value <= comparison.goal : value >= comparison.goal;
        std::cout << " (goal " << (at_most ? "<= " : ">= ") << format("%.2f", comparison.goal)
                  << ": " << (met ? "met" : "NOT met") << ")";
    }
    std::cout << "\n\n";
}

bool has_flag(int argc, char** argv, const char* flag) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return true;
    }
    return false;
}

}  // namespace

int run_benchmarks(int argc, char** argv, const std::vector<Comparison>& comparisons) {
    // Defaults first, so anything given on the command line wins.
    std::vector<std::string> defaults;
    if (!has_flag(argc, argv, "--benchmark_repetitions")) {
        defaults.push_back("--benchmark_repetitions=5");
    }
    if (!has_flag(argc, argv, "--benchmark_enable_random_interleaving")) {
        defaults.push_back("--benchmark_enable_random_interleaving=true");
    }
    if (!has_flag(argc, argv, "--benchmark_display_aggregates_only") &&
        !has_flag(argc, argv, "--benchmark_report_aggregates_only")) {
        defaults.push_back("--benchmark_display_aggregates_only=true");
    }
    std::vector<char*> arguments(argv, argv + argc);
    for (std::string& flag : defaults) arguments.insert(arguments.begin() + 1, flag.data());
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;

    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::cout << "\n";
    for (const Comparison& comparison : comparisons) print_comparison(reporter, comparison);
    return 0;
}

void set_bytes_per_iteration(benchmark::State& state, double bytes) {
    state.counters["bytes"] = bytes;
    state.SetBytesProcessed(static_cast<int64_t>(bytes * static_cast<double>(state.iterations())));
}

void register_memcpy(const std::string& name, size_t bytes) {
    benchmark::RegisterBenchmark(name.c_str(), [bytes](benchmark::State& state) {
        const size_t half = bytes / 2;
        std::vector<uint8_t> from(half, 1), to(half, 2);
        for (auto _ : state) {
            std::memcpy(to.data(), from.data(), half);
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
        }
        set_bytes_per_iteration(state, static_cast<double>(2 * half));
    });
}

size_t read_whole_file(const std::string& path, std::vector<uint8_t>& bytes) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) throw std::runtime_error("cannot open " + path);
    struct stat info;
    if (fstat(fileno(file.get()), &info) != 0) throw std::runtime_error("cannot size " + path);
    const size_t size = static_cast<size_t>(info.st_size);
    if (bytes.size() < size) bytes.resize(size);
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    if (std::fread(bytes.data(), 1, size, file.get()) != size) {
        throw std::runtime_error("cannot read " + path);
    }
    return size;
}

size_t read_file_in_pieces(const std::string& path, size_t piece, std::vector<uint8_t>& buffer) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) throw std::runtime_error("cannot open " + path);
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    if (buffer.size() < piece) buffer.resize(piece);
    size_t total = 0;
    for (;;) {
        const size_t got = std::fread(buffer.data(), 1, piece, file.get());
        total += got;
        if (got < piece) break;
    }
    return total;
}

int64_t bytes_read_by_process() {
    std::ifstream io("/proc/self/io");
    std::string key;
    int64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") return value;
    }
    return -1;
}

std::string count_label(int64_t count) {
    if (count % 1000000 == 0) return std::to_string(count / 1000000) + "M";
    if (count % 1000 == 0) return std::to_string(count / 1000) + "k";
    return std::to_string(count);
}

}  // namespace warpkit::bench
