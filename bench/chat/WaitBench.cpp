#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <ctime>

#include "chat/WaitWithEvents.h"

namespace tovik {
namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A two-second typing delay with nothing happening must leave the processor
// idle: the wait sleeps in the event loop instead of polling.
void BM_WaitWithEventsIdle(benchmark::State& state) {
    int argc = 1;
    char name[] = "chat_wait_bench";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuStart = ProcessCpuSeconds();
        timespec a{}, b{};
        ::clock_gettime(CLOCK_MONOTONIC, &a);
        WaitWithEvents(2000);
        ::clock_gettime(CLOCK_MONOTONIC, &b);
        cpu += ProcessCpuSeconds() - cpuStart;
        wall += static_cast<double>(b.tv_sec - a.tv_sec) + static_cast<double>(b.tv_nsec - a.tv_nsec) * 1e-9;
    }
    state.counters["wall_s"] = wall;
    state.counters["cpu_s"] = cpu;
    state.counters["cpu_percent_of_wait"] = 100.0 * cpu / wall;
}
BENCHMARK(BM_WaitWithEventsIdle)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovik

BENCHMARK_MAIN();
