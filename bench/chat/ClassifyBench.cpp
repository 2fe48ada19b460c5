#include <benchmark/benchmark.h>

#include "ChatCorpus.h"
#include "chat/Categories.h"
#include "chat/Classifier.h"
#include "text/Encoding.h"

namespace tovik {
namespace {

// Classification of typical chat lines, one message per iteration.
void BM_Classify(benchmark::State& state) {
    const auto lines = bench::ChatLines(4096);
    std::size_t bytes = 0, i = 0;
    for (auto _ : state) {
        const std::string& line = lines[i++ & 4095];
        bytes += line.size();
        benchmark::DoNotOptimize(Classify(line));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_Classify);

// What the bot does with each received private message when half the
// partners write UTF-8: recognise the encoding, convert a UTF-8 text to
// Windows-1252, classify.
void BM_ClassifyReceived(benchmark::State& state) {
    const auto lines = bench::MixedClientLines(4096);
    std::size_t bytes = 0, i = 0;
    for (auto _ : state) {
        const std::string& line = lines[i++ & 4095];
        bytes += line.size();
        benchmark::DoNotOptimize(Classify(ReadReceived(line).cp1252));
    }
    std::size_t utf8 = 0;
    for (const std::string& line : lines) utf8 += RecogniseEncoding(line) == TextEncoding::Utf8;
    state.counters["utf8_share"] = static_cast<double>(utf8) / static_cast<double>(lines.size());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ClassifyReceived);

// Recognition and conversion alone, on the same mix.
void BM_ReadReceived(benchmark::State& state) {
    const auto lines = bench::MixedClientLines(4096);
    std::size_t bytes = 0, i = 0;
    for (auto _ : state) {
        const std::string& line = lines[i++ & 4095];
        bytes += line.size();
        benchmark::DoNotOptimize(ReadReceived(line));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ReadReceived);

// The keyword automaton's single pass alone.
void BM_KeywordScan(benchmark::State& state) {
    const auto lines = bench::ChatLines(4096);
    std::size_t bytes = 0, i = 0;
    for (auto _ : state) {
        const std::string& line = lines[i++ & 4095];
        bytes += line.size();
        benchmark::DoNotOptimize(detail::FindKeywords(line));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_KeywordScan);

// The lowered-substring test on its own, for comparison.
void BM_ContainsText(benchmark::State& state) {
    const auto lines = bench::ChatLines(4096);
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(ContainsText(lines[i++ & 4095], "wie"));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ContainsText);

}  // namespace
}  // namespace tovik
