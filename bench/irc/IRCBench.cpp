// The received-line path: framing, all parsers, and the three profile reads
// the server line handler makes per line. Target: 200,000 lines/s on one core.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "irc/IRC.h"
#include "irc/LineBuffer.h"
#include "profile/ProfileStore.h"
#include "text/Cp1252.h"

namespace {

const std::string kPrivMsg =
    ":Kuschelbaer!~kb@dslb-092-075-123-045.pools.example.net PRIVMSG Lisa19 "
    ":hi lisa wie alt bist du und woher kommst du?";

// Everything the server line handler derives from one line.
void ParseAll(const std::string& line) {
    benchmark::DoNotOptimize(tovik::IsPing(line));
    benchmark::DoNotOptimize(tovik::GetCommand(line));
    benchmark::DoNotOptimize(tovik::GetTarget(line));
    benchmark::DoNotOptimize(tovik::LowerAnsi(tovik::GetFirstWord(line)));
    benchmark::DoNotOptimize(tovik::GetSecondWord(line, false));
    benchmark::DoNotOptimize(tovik::GetThirdWord(line, true));
    benchmark::DoNotOptimize(tovik::GetThirdWord(line, false));
    benchmark::DoNotOptimize(tovik::GetNick(line));
    benchmark::DoNotOptimize(tovik::GetText(line));
}

void BM_ParsePrivMsg(benchmark::State& state) {
    for (auto _ : state) ParseAll(kPrivMsg);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParsePrivMsg);

std::string ServerText(std::size_t lines) {
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) {
        text += i % 10 == 9 ? "PING :irc.example.net" : kPrivMsg;
        text += "\r\n";
    }
    return text;
}

// Bytes arrive in socket-sized chunks that cut lines anywhere.
void BM_LineBufferThroughput(benchmark::State& state) {
    const std::string text = ServerText(10000);
    const auto chunk = static_cast<std::size_t>(state.range(0));
    std::string line;
    for (auto _ : state) {
        tovik::LineBuffer buffer;
        for (std::size_t i = 0; i < text.size(); i += chunk) {
            buffer.Append(std::string_view(text).substr(i, chunk));
            while (buffer.Next(line)) benchmark::DoNotOptimize(line.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LineBufferThroughput)->Arg(1)->Arg(1460)->Arg(16384);

void BM_ReceivedLinePath(benchmark::State& state) {
    char dirTemplate[] = "/tmp/tovik-bench-XXXXXX";
    const std::string dir = ::mkdtemp(dirTemplate);
    const std::string path = dir + "/Lisa.ini";
    std::ofstream(path, std::ios::binary)
        << "[General]\r\nCharTime=120\r\n[IRC]\r\nServer=irc.example.net\r\nPort=6667\r\n"
           "CommandoChannel=#Lisa-Cmd\r\nBotNick=Lisa19\r\n[PersonData]\r\nPreName=Lisa\r\n"
           "LastName=Meier\r\nSex=1\r\nLocation=Berlin\r\nAge=19\r\nSize=1,68\r\n"
           "Figure=schlank\r\nHairColor=blond\r\nEyeColor=blau\r\nWeight=55\r\nPicture=\r\n"
           "Hobbies=lesen\r\n";
    const timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), old, 0);

    const std::string text = ServerText(1000);
    std::string line;
    for (auto _ : state) {
        tovik::LineBuffer buffer;
        for (std::size_t i = 0; i < text.size(); i += 1460) {
            buffer.Append(std::string_view(text).substr(i, 1460));
            while (buffer.Next(line)) {
                tovik::ProfileFile file(path);
                benchmark::DoNotOptimize(file.ReadValue("General", "CharTime", "500"));
                benchmark::DoNotOptimize(file.ReadValue("IRC", "CommandoChannel", "#Tovik-B0T"));
                benchmark::DoNotOptimize(file.ReadValue("IRC", "BotNick", "Tovik-B0T"));
                ParseAll(line);
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    ::unlink(path.c_str());
    ::rmdir(dir.c_str());
}
BENCHMARK(BM_ReceivedLinePath);

}  // namespace

BENCHMARK_MAIN();
