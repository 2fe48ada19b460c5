#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "ChatCorpus.h"
#include "chat/Answers.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"

namespace tovik {
namespace {

class NoDcc : public PhotoOffer {
public:
    std::string LocalAddress() const override { return "192.168.1.20"; }
    std::uint16_t PrepareDccPort() override { return 5678; }
    void SwitchDccOn() override {}
};

// A complete profile, with a picture, in a scratch directory.
class BenchProfile {
public:
    BenchProfile() {
        char name[] = "/tmp/tovik-chat-bench-XXXXXX";
        dir_ = ::mkdtemp(name);
        const std::string picture = dir_ + "/ich.jpg";
        std::ofstream(picture, std::ios::binary) << std::string(40000, 'x');
        std::ofstream(dir_ + "/bench.ini", std::ios::binary)
            << "[General]\r\nCharTime=500\r\n"
               "[IRC]\r\nServer=irc.example.org\r\nPort=6667\r\nCommandoChannel=#bot\r\nBotNick=Susi\r\n"
               "[PersonData]\r\nPreName=Susi\r\nLastName=Meier\r\nSex=1\r\nLocation=M\xFCnchen\r\nAge=21\r\n"
               "Size=1,68\r\nFigure=schlank\r\nHairColor=blond\r\nEyeColor=gr\xFCn\r\nWeight=55\r\n"
               "Picture=" << picture << "\r\nHobbies=lesen, tanzen, disco\r\n";
    }
    ~BenchProfile() { std::filesystem::remove_all(dir_); }
    std::string Path() const { return dir_ + "/bench.ini"; }

private:
    std::string dir_;
};

std::vector<std::string> Messages() {
    // Chat lines plus questions that fill many placeholders and the photo offer.
    auto lines = bench::ChatLines(1000, 7);
    for (int i = 0; i < 100; ++i) {
        lines[static_cast<std::size_t>(i) * 10] = "hi, asl? wie siehst du aus? wie alt bist du?";
        lines[static_cast<std::size_t>(i) * 10 + 3] = "hast du ein pic von dir?";
    }
    return lines;
}

void BM_BuildReply(benchmark::State& state) {
    BenchProfile dir;
    const ProfileFile profile(dir.Path());
    const auto messages = Messages();
    Random random;
    NoDcc photo;
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(BuildReply(messages[i++ % messages.size()], profile, random, photo));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_BuildReply);

// Per-call latency over a long run: median and 99th percentile of the first
// and of the last 20,000 of 200,000 calls, so growth with the number of
// messages handled would show.
void BM_BuildReplyLatency(benchmark::State& state) {
    BenchProfile dir;
    const ProfileFile profile(dir.Path());
    const auto messages = Messages();
    Random random;
    NoDcc photo;
    constexpr std::size_t kCalls = 200000, kWindow = 20000;
    std::vector<double> ns(kCalls);
    for (auto _ : state) {
        for (std::size_t i = 0; i < kCalls; ++i) {
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(BuildReply(messages[i % messages.size()], profile, random, photo));
            ns[i] = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
        }
    }
    auto percentile = [](std::vector<double> v, double p) {
        const auto k = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
        return v[k];
    };
    const std::vector<double> first(ns.begin(), ns.begin() + kWindow), last(ns.end() - kWindow, ns.end());
    state.counters["first_p50_ns"] = percentile(first, 0.50);
    state.counters["first_p99_ns"] = percentile(first, 0.99);
    state.counters["last_p50_ns"] = percentile(last, 0.50);
    state.counters["last_p99_ns"] = percentile(last, 0.99);
    state.counters["all_p50_ns"] = percentile(ns, 0.50);
    state.counters["all_p99_ns"] = percentile(ns, 0.99);
}
BENCHMARK(BM_BuildReplyLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovik

BENCHMARK_MAIN();
