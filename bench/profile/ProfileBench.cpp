// Reading settings sits on the path of every received IRC line (three keys
// per line), so ReadValue on a typical, unchanged profile must stay well
// under a microsecond.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "profile/ProfileStore.h"

namespace {

const char* const kTypicalProfile =
    "[General]\r\nCharTime=120\r\n"
    "[IRC]\r\nServer=irc.example.net\r\nPort=6667\r\nCommandoChannel=#Lisa-Cmd\r\n"
    "BotNick=Lisa19\r\n"
    "[PersonData]\r\nPreName=Lisa\r\nLastName=M\xFCller\r\nSex=1\r\nLocation=M\xFCnchen\r\n"
    "Age=19\r\nSize=1,68\r\nFigure=schlank\r\nHairColor=blond\r\nEyeColor=gr\xFCn\r\n"
    "Weight=55\r\nPicture=/home/op/bilder/lisa.jpg\r\n"
    "Hobbies=lesen, tanzen, disco, freunde und computer\r\n";

class TempProfile {
public:
    TempProfile() {
        char dirTemplate[] = "/tmp/tovik-bench-XXXXXX";
        dir_ = ::mkdtemp(dirTemplate);
        path_ = dir_ + "/PROFILES";
        ::mkdir(path_.c_str(), 0755);
        path_ += "/Lisa.ini";
        std::ofstream(path_, std::ios::binary) << kTypicalProfile;
        MakeOld();
        // The change time cannot be set back: a file changed within the last
        // tenth of a second is read anew at every lookup, so let it age.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    ~TempProfile() {
        ::unlink(path_.c_str());
        ::rmdir((dir_ + "/PROFILES").c_str());
        ::rmdir(dir_.c_str());
    }
    // A profile that has not changed for a while, as during a bot's run.
    void MakeOld() const {
        const timespec times[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
        ::utimensat(AT_FDCWD, path_.c_str(), times, 0);
    }
    const std::string& Path() const { return path_; }

private:
    std::string dir_;
    std::string path_;
};

// The floor under every read: the one stat call that validates the cache.
void BM_StatAlone(benchmark::State& state) {
    TempProfile profile;
    struct stat st {};
    for (auto _ : state) benchmark::DoNotOptimize(::stat(profile.Path().c_str(), &st));
}
BENCHMARK(BM_StatAlone);

void BM_ReadValue(benchmark::State& state) {
    TempProfile profile;
    for (auto _ : state) {
        tovik::ProfileFile file(profile.Path());
        benchmark::DoNotOptimize(file.ReadValue("IRC", "CommandoChannel", "#Tovik-B0T"));
    }
}
BENCHMARK(BM_ReadValue);

// What the server line handler does per received line.
void BM_ReadThreeKeysPerLine(benchmark::State& state) {
    TempProfile profile;
    for (auto _ : state) {
        tovik::ProfileFile file(profile.Path());
        benchmark::DoNotOptimize(file.ReadValue("General", "CharTime", "500"));
        benchmark::DoNotOptimize(file.ReadValue("IRC", "CommandoChannel", "#Tovik-B0T"));
        benchmark::DoNotOptimize(file.ReadValue("IRC", "BotNick", "Tovik-B0T"));
    }
}
BENCHMARK(BM_ReadThreeKeysPerLine);

void BM_ReadValueAbsentKey(benchmark::State& state) {
    TempProfile profile;
    for (auto _ : state) {
        tovik::ProfileFile file(profile.Path());
        benchmark::DoNotOptimize(file.ReadValue("PersonData", "Nothing", "x"));
    }
}
BENCHMARK(BM_ReadValueAbsentKey);

// The first read after a change: open, read and parse the whole file.
void BM_ReadValueAfterChange(benchmark::State& state) {
    TempProfile profile;
    for (auto _ : state) {
        tovik::ProfileFile file(profile.Path());
        benchmark::DoNotOptimize(file.ReadValue("IRC", "BotNick", "Tovik-B0T"));
        state.PauseTiming();
        // A new inode defeats the cache, as after any write.
        std::ofstream(profile.Path() + ".new", std::ios::binary) << kTypicalProfile;
        std::rename((profile.Path() + ".new").c_str(), profile.Path().c_str());
        profile.MakeOld();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReadValueAfterChange);

// Each write replaces the file durably (temporary file, fsync, rename).
void BM_WriteValue(benchmark::State& state) {
    TempProfile profile;
    int i = 0;
    for (auto _ : state) {
        tovik::ProfileFile file(profile.Path());
        file.WriteValue("PersonData", "Age", std::to_string(18 + (i++ & 7)));
    }
}
BENCHMARK(BM_WriteValue);

}  // namespace

BENCHMARK_MAIN();
